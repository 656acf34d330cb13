// The room check: before the first write, what the run will write is compared
// with the free space of each volume it writes to, so that a pack too big for
// the disk writes nothing at all rather than most of itself.
#pragma once

#include <cstdint>
#include <string>

#include "install/plan.h"
#include "platform/platform.h"
#include "report/report.h"

namespace orvane {

// Measures the volume of an existing folder (platform::volume_of). Tests put
// small or shared volumes here, since full disks cannot be arranged on
// demand; nullptr restores the platform's own measure.
using VolumeProbe = bool (*)(const std::string& dir, platform::Volume& v);
void set_volume_probe(VolumeProbe probe);

// False, after reporting which volume lacks how much, when the files do not fit.
bool enough_room(const Run& run, const Plan& plan, Report& report);

// Empty when bytes fit in the free space of the volume of folder (an existing
// folder), else how much is needed and how much is free.
std::string room_in(const std::string& folder, uint64_t bytes);

}  // namespace orvane
