// What the player reads once an archive's install is decided: what went where, what was
// left and why, what the map still needs, and what to do; and, for many archives, the
// totals. Told from the outcomes themselves, in the catalogue's words.
#pragma once

#include <string>
#include <vector>

#include "base/failure.h"
#include "run/run.h"
#include "unreal/unreal_game.h"

namespace orvane {

// Something that failed: the archive itself, or one of its files.
struct FailedItem {
  Failure kind = Failure::Damaged;
  std::string name, why;
};

// One archive's install as far as it went.
struct ArchivePart {
  int code = kExitOk;             // what the run ended with (cli.h's table)
  const Run* run = nullptr;       // its outcomes, when it got as far as deciding them
  bool counted = false;           // the outcomes were all decided and the check, if any, ran
  PackageCheck::Result found;     // what the installed packages need and the game lacks
  std::vector<FailedItem> failed; // why it failed, the archive and each file
  std::string game;               // the game folder as the player named it
  std::string file_in_place;      // a folder of the game ("Maps") whose name a file holds
};

// Appends the lines that tell one archive's install, each at most width columns wide but
// for a file name too long for any line; returns the exit code the player gets for it.
int tell_archive(const ArchivePart& part, size_t width, std::vector<std::string>& lines);

// The totals of many archives, given each one's exit code and name as the player knows it.
// Returns the code of the whole run: the one that needs the player most.
int tell_batch(const std::vector<int>& codes, const std::vector<std::string>& names, std::vector<std::string>& lines);

// How serious an exit code is for the player, lower first: nothing installed for want of
// disk or game folder, then a bad archive, ..., then installed with a need.
int seriousness(int code);

}  // namespace orvane
