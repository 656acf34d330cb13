// Deciding, before anything is written, what becomes of every item of a run:
// which group takes it, whether its name is safe, where it goes, and which
// items land on the same output file.
#pragma once

#include <string>
#include <vector>

#include "run/run.h"

namespace orvane {

struct Plan {
  // The jobs, grouped by output file: items that land on the same file run
  // one after another in item order, so the result is that of a plain
  // sequential run.
  std::vector<std::vector<Job>> groups;
  bool matched = false;  // some item was selected
};

// Settles every item that is refused, left out or a duplicate, and plans the rest.
Plan make_plan(Run& run);

// Tar-style tools (bsdtar -a, the tar.exe of Windows) store "./Maps/X.unr":
// the leading "./" is not part of the name.
std::string without_dot_folders(const std::string& name);

}  // namespace orvane
