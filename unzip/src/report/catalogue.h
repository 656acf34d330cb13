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

  // The whole-game check
  kCheckNoGame,
  kCheckMissingHeading,
  kCheckMissingStockHeading,
  kCheckMissing,
  kCheckNeedMaps,
  kCheckNeedMap,
  kCheckNeedMods,
  kCheckNeedMod,
  kCheckAndMore,
  kCheckThrough,
  kCheckInCache,
  kCheckInCacheVersions,
  kCheckUnfoundHeading,
  kCheckUnfound,
  kCheckDamagedHeading,
  kCheckDamageNotPackage,
  kCheckDamageEmpty,
  kCheckDamagePastEnd,
  kCheckDamageUnreadable,
  kCheckDamageVersion,
  kCheckDamageTables,
  kCheckDamageFolder,
  kCheckNotLoaded,
  kCheckHiddenHeading,
  kCheckHidden,
  kCheckCacheHeading,
  kCheckCacheNotGuid,
  kCheckCacheUnsafeName,
  kCheckCacheNotPackageName,
  kCheckCacheNoFile,
  kCheckCacheNoPackage,
  kCheckCacheBadSetting,
  kCheckCacheAsk,
  kCheckCacheNotAsked,
  kCheckCachePut,
  kCheckCacheInTheWay,
  kCheckCacheFailed,
  kCheckCacheDeclined,
  kCheckJournal,
  kCheckAgain,
  kCheckAllLoads,
  kCheckListWritten,
  kCheckListNotWritten,
  kCheckCounts,
  kCheckPackagesOne,
  kCheckPackagesMany,
  kCheckMapsOne,
  kCheckMapsMany,
  kCheckCodeOne,
  kCheckCodeMany,
};

const char* text(Say id);

// The text with %1, %2, ... replaced by args[0], args[1], ... (a placeholder without an
// argument stays as it is; what an argument holds is never read as a placeholder).
std::string fill(Say id, const std::vector<std::string>& args = {});

// The lines of the filled text.
std::vector<std::string> say(Say id, const std::vector<std::string>& args = {});

}  // namespace orvane
