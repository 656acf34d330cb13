// What Orvane.BAT runs: installs map archives into the game and tells the player, on the
// console, everything that happened and what to do, ending with one exit code.
#pragma once

#include <string>
#include <vector>

#include "report/report.h"

namespace orvane {

// args: ARCHIVE GAME [ARCHIVE ...], as the script was given them. The summary goes to
// report.out, errors and progress, as they happen, to report.err.
int run_orvane(const std::vector<std::string>& args, Report& report);

}  // namespace orvane
