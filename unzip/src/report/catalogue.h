// Every text the player reads, under an ID, so that code decides by the ID and never by
// the words. A text may hold placeholders, %1 to %9, that fill() replaces.
#pragma once

#include <string>
#include <vector>

namespace orvane {

enum class Say {
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

}  // namespace orvane
