// One run of the program: reads the command line, picks the matching entries,
// checks them and extracts them, reporting each file as it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "install/journal.h"
#include "install/writer.h"
#include "report/report.h"
#include "report/summary.h"
#include "unreal/unreal_game.h"

namespace orvane {

// args excludes the program name. Returns the exit code (see cli.h).
int run(const std::vector<std::string>& args, Report& report);

// One archive's install, kept from its start until it is told: the readers, the run and
// its writer. A batch starts each of its archives in turn, then tells them all.
struct Install {
  Options opt;
  std::unique_ptr<ArchiveReader> archive;
  std::vector<std::unique_ptr<ArchiveReader>> umods;
  std::unique_ptr<Run> run;
  std::unique_ptr<PackageCheck> packages;
  Journal journal;  // held by the run from its recovery until it is settled
  std::shared_ptr<GameListing> listing;  // the game's package files, shared by a batch's archives
  std::unique_ptr<Writer> writer;
  bool matched = false;
  std::vector<FailedItem> failed;  // why it ended before its files were decided
};

// Installs in.opt.archive (shown as `shown` in messages) up to where it is decided.
// Returns -1 when finish() is to tell it, or the exit code of a run that ended early.
int start(Install& in, const std::string& shown, Report& report);

// What an install came to.
struct Told {
  int code = kExitOk;
  PackageCheck::Result found;  // what its packages need that the game lacks
  bool counted = false;        // every outcome was decided and the package check finished
};

// Why the exception being handled was thrown, as an error line says it. Only in a handler.
std::string current_failure();

// Checks the packages of a started install and writes its report lines.
Told finish(Install& in, Report& report);

}  // namespace orvane
