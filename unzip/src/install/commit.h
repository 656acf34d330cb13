// Putting an -all-or-nothing run in place: every final name is checked
// before the first move, so that a sound archive never goes in half; the
// moves are journaled first, so that a move that fails, or a run killed
// during them, takes back the moves made before it.
#pragma once

#include "install/plan.h"
#include "install/staging.h"
#include "run/run.h"

namespace orvane {

class PackageCheck;

// Where the journal of a run lives: the deepest folder that holds every
// destination the command line names, the same for every run into the same game.
std::string journal_folder(const Options& opt);
// The destinations the command line names, as full paths: all that a journal may touch.
std::vector<std::string> journal_roots(const Options& opt);

// Every matched file is complete in its temporary file (or something failed):
// moves them all into place in item order, or takes everything back, the
// folders the run made included.
void settle_all_or_nothing(Run& run, Staging& staging, PackageCheck* packages);

}  // namespace orvane
