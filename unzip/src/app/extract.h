// One run of the program: reads the command line, picks the matching entries,
// checks them and extracts them, reporting each file as it goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/report.h"

namespace orvane {

// args excludes the program name. Returns the exit code (see cli.h).
int run(const std::vector<std::string>& args, Report& report);

}  // namespace orvane
