// The room check: before the first write, what the run will write is compared
// with the free space of each volume it writes to, so that a pack too big for
// the disk writes nothing at all rather than most of itself.
#pragma once

#include "extract.h"
#include "plan.h"

namespace orvane {

// False, after reporting which volume lacks how much, when the files do not fit.
bool enough_room(const Run& run, const Plan& plan, Report& report);

// Empty when bytes fit in the free space of the volume of folder (an existing
// folder), else how much is needed and how much is free.
std::string room_in(const std::string& folder, uint64_t bytes);

}  // namespace orvane
