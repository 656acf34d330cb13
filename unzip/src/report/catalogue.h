// Every text the player reads on the console, under an identifier: the code decides by
// the identifier, never by the words, and a wording changes here alone.
#pragma once

#include <string>
#include <vector>

namespace orvane {

enum class Say {
  // Before the install: the command line, the inputs and what is about to happen.
  kHeading,
  kUsage,
  kArchiveNotFound,
  kGameNotFound,
  kNoTempFolder,
  kMapArchive,
  kMapArchiveLong,
  kMapArchives,
  kGameFolder,
  kGameFolderLong,
  kInstalling,

  // An archive that went in: what it put where, what it left and why.
  kInstalledInto,
  kInstalledIntoLong,
  kNone,
  kKeptIdentical,
  kKeptDiffering,
  kKeptDifferingAdvice,
  kDuplicate,
  kRefused,
  kSkipped,
  kNoteMacMetadata,
  kNoteCacheFile,
  kNoteNotGameFile,
  kUnpacked,
  kRequests,
  kMissing,
  kMissingAdvice,
  kMissingStock,
  kMissingStockAdvice,
  kUnloadable,
  kUnfound,
  kUnfoundStockAdvice,
  kUnfoundOtherKindAdvice,
  kUnfoundFoundFirstAdvice,
  kUnfoundKeptAdvice,
  kUnfoundOtherwise,
  kUnfoundVersion,

  // How an archive's install ended.
  kDone,
  kNothingNew,
  kPackagesMissing,
  kPackagesUnloadable,
  kPackagesUnfound,
  kSomeRefused,
  kUnchecked,
  kDamaged,
  kMultiVolume,
  kProtected,
  kUnsupported,
  kUnsupportedAfter,
  kBomb,
  kTwoFormats,
  kUpdateArchive,
  kSpecialFiles,
  kSpecialFilesAfter,
  kNoRoom,
  kStopped,
  kNothingToInstall,
  kItHolds,
  kFileInPlace,
  kFolderInTheWay,
  kFolderInTheWayAfter,
  kPathTooLong,
  kPathTooLongAfter,
  kNameTooLong,
  kNameTooLongAfter,
  kNotWritable,

  // Many archives in one run.
  kArchiveOf,
  kAllArchives,
  kEveryMapInstalled,
  kTheseNeedYou,

  // Removing maps: what was asked, what went, what stayed and why.
  kRemoveUsage,
  kRemoveGameFolder,
  kRemoveGameFolderLong,
  kRemoving,
  kRemoveNotWritable,
  kRemoveCannotStart,
  kRemoveCannotRead,
  kRemoveNoRecord,
  kRemoveNothingRecorded,
  kRemoveRecordedHere,
  kRemoveRecordNotOurs,
  kRemoveRecordDamaged,
  kRemoveRecordUnsafe,
  kRemoveNothingRemoved,
  kRemoveInUse,
  kRemoved,
  kRemoveAlreadyGone,
  kRemoveKeptChanged,
  kRemoveKeptShared,
  kRemoveKeptNeeded,
  kRemoveRecordStays,
  kRemoveDone,
};

// The lines of id's text, each %1 to %9 in it replaced by args[0] to args[8].
std::vector<std::string> say(Say id, const std::vector<std::string>& args = {});

}  // namespace orvane
