// Putting an -all-or-nothing run in place: every final name is checked
// before the first move, so that a sound archive never goes in half; the
// moves are journaled first, so that a move that fails, or a run killed
// during them, takes back the moves made before it.
#pragma once

#include "plan.h"
#include "writer.h"

namespace orvane {

class PackageCheck;

// Where the journal of a run lives: the deepest folder that holds every
// destination, the same for every run into the same game.
std::string journal_folder(const Plan& plan);

// Every matched file is complete in its temporary file (or something failed):
// moves them all into place in item order, or takes everything back, the
// folders the run made included.
void settle_all_or_nothing(Run& run, Writer& writer, PackageCheck* packages);

// Tests only: called after each change to a final name, with how many were made.
using MoveHook = void (*)(size_t changes);
void set_move_hook(MoveHook hook);

}  // namespace orvane
