// One run of the program: reads the command line, picks the matching entries,
// checks them and extracts them, reporting each file as it goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"
#include "report.h"

namespace orvane {

// Measures the volume of an existing folder (platform::volume_of). Tests put
// small or shared volumes here, since full disks cannot be arranged on
// demand; nullptr restores the platform's own measure.
using VolumeProbe = bool (*)(const std::string& dir, platform::Volume& v);
void set_volume_probe(VolumeProbe probe);

// args excludes the program name. Returns the exit code (see cli.h).
int run(const std::vector<std::string>& args, Report& report);

}  // namespace orvane
