// Putting an -all-or-nothing run in place: every final name is checked
// before the first move, so that a sound archive never goes in half; a move
// that still fails takes back the moves made before it.
#pragma once

#include "writer.h"

namespace orvane {

class PackageCheck;

// Every matched file is complete in its temporary file (or something failed):
// moves them all into place in item order, or takes everything back, the
// folders the run made included.
void settle_all_or_nothing(Run& run, Writer& writer, PackageCheck* packages);

}  // namespace orvane
