// Taking maps back out of the game: every file Orvane's install recorded that is still as
// it went in, and nothing that another recorded archive, or a map or mod staying in the
// game, needs. All or nothing under the install's journal.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/records.h"
#include "report/report.h"

namespace orvane {

// A package file (relative to the game) that something staying in the game needs, and who.
struct Needed {
  std::string path;
  std::vector<std::string> by;  // as the player knows them: "Maps\CTF-Other.unr"
};
// Given the package files about to go (relative to the game), returns those that a map or
// mod staying in the game still needs, with who needs each. Whatever is among `going` does
// not stay, so a package needed only by maps going in the same run goes with them.
using NeededBy = std::function<std::vector<Needed>(const std::vector<std::string>& going)>;

// The maps and mods staying in the game that need a package file about to go: the whole
// game checked as it will be without the files going.
NeededBy needed_by_what_stays(const std::string& game);

// Takes the archives `names` (each an archive's file name, or its name as the install showed
// it) back out of the game and tells the player on console. Returns the exit code.
int remove_maps(const std::string& game, const std::vector<std::string>& names, const NeededBy& needed_by,
                Report& console);

}  // namespace orvane
