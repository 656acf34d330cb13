// What an -all-or-nothing run holds between writing its files and putting them in place:
// the writer fills it, the commit takes it.
#pragma once

#include <string>
#include <vector>

#include "journal.h"

namespace orvane {

struct Staging {
  explicit Staging(size_t items) : held(items), target_of(items) {}
  // Each complete file by item, closed, so that a pack of any size holds no handle for each:
  // its temporary name as a full path (empty when the item has none), and its final name.
  std::vector<std::string> held;
  std::vector<std::string> target_of;
  std::vector<std::string> made;  // the folders this run created, to take back
  Journal journal;                // lets the next run take all of it back if this one is killed
};

}  // namespace orvane
