// The whole-game check as the player runs it: what will not load, grouped by what to do,
// the cache's packages put to use with the player's yes, the whole list in a file.
#pragma once

#include <iostream>
#include <string>

#include "cli/cli.h"
#include "report/report.h"

namespace orvane {

// What to do with the missing packages that the game's cache holds.
enum class CacheAnswer {
  kAsk,  // ask, and read the answer (a Y for yes) from standard input
  kYes,  // /yes: put them in place without asking
  kNo,   // /no: only say what it holds
};

// The file, relative to the game, that gets the whole list.
extern const char kCheckListFile[];

// Checks the game in the folder `game` and tells console. Returns kExitOk when every map
// and mod loads, kExitPackages when something will not, kExitUsage when `game` is no
// game folder.
int check_game(const std::string& game, CacheAnswer answer, Report& console, std::istream& input = std::cin);

}  // namespace orvane
