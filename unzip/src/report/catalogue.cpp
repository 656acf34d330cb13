#include "report/catalogue.h"

namespace orvane {

const char* text(Say id) {
  switch (id) {
    // The whole-game check
    case Say::kCheckNoGame: return "%1 is no game folder: it has no System folder.";
    case Say::kCheckMissingHeading:
      return "Missing packages. Get each from a map site (or from the game's cache, where it is there):";
    case Say::kCheckMissingStockHeading:
      return "Missing from the game itself. These ship with the game: repair or reinstall it:";
    case Say::kCheckMissing: return "%1, %2: %3.";
    case Say::kCheckNeedMaps: return "%1 maps need it: %2";
    case Say::kCheckNeedMap: return "1 map needs it: %1";
    case Say::kCheckNeedMods: return "%1 mods need it: %2";
    case Say::kCheckNeedMod: return "1 mod needs it: %1";
    case Say::kCheckAndMore: return "%1 and %2 more";
    case Say::kCheckThrough: return "(through %1)";
    case Say::kCheckInCache: return "The game's cache holds it.";
    case Say::kCheckInCacheVersions:
      return "The game's cache holds it in %1 versions (%2): Orvane does not choose; copy the one you want yourself.";
    case Say::kCheckUnfoundHeading:
      return "Objects not found. The file the game finds lacks them: it is another version, or another file of "
             "that name is found first:";
    case Say::kCheckUnfound: return "%1: %2; %3";
    case Say::kCheckDamagedHeading: return "Damaged packages. Get a good copy of each again, or remove it:";
    case Say::kCheckDamageNotPackage: return "%1 is no Unreal package (%2)";
    case Say::kCheckDamageEmpty: return "%1 is an empty file; the game crashes on one";
    case Say::kCheckDamagePastEnd: return "%1 is cut short: %2";
    case Say::kCheckDamageUnreadable: return "%1 cannot be read: %2";
    case Say::kCheckDamageVersion: return "%1: %2";
    case Say::kCheckDamageTables: return "%1 is damaged: %2";
    case Say::kCheckDamageFolder: return "%1 is a folder, where the game looks for a package";
    case Say::kCheckNotLoaded: return "(another file of its name is loaded instead)";
    case Say::kCheckHiddenHeading:
      return "Hidden packages. The game loads only the first file of a name; move or rename the one found first:";
    case Say::kCheckHidden: return "%1 is never loaded, as %2 is found first, and it alone holds %3; %4";
    case Say::kCheckCacheHeading: return "The game's cache, %1:";
    case Say::kCheckCacheNotGuid: return "cache.ini names no GUID file in \"%1\"; skipped";
    case Say::kCheckCacheUnsafeName: return "cache.ini gives no plain file name in \"%1\"; skipped";
    case Say::kCheckCacheNotPackageName: return "cache.ini names no package in \"%1\"; skipped";
    case Say::kCheckCacheNoFile: return "cache.ini names a file that is not there: \"%1\"";
    case Say::kCheckCacheNoPackage: return "cache.ini names a file that is no package: \"%1\"";
    case Say::kCheckCacheBadSetting: return "UnrealTournament.ini: \"%1\" is no plain extension; .uxx is used";
    case Say::kCheckCacheAsk:
      return "The cache holds %1 of the missing packages. Put them in the game's folders (never replacing a "
             "file)? Type Y and Enter for yes:";
    case Say::kCheckCacheNotAsked:
      return "The cache holds %1 of the missing packages; check again and answer Y to put them in the game.";
    case Say::kCheckCachePut: return "Put in place from the cache: %1";
    case Say::kCheckCacheInTheWay: return "Nothing was put in place from the cache: %1 is in the way.";
    case Say::kCheckCacheFailed: return "Nothing was put in place from the cache: %1";
    case Say::kCheckCacheDeclined: return "Nothing was put in place from the cache.";
    case Say::kCheckJournal: return "Put right first: %1";
    case Say::kCheckAgain: return "The game, checked again:";
    case Say::kCheckAllLoads: return "Every map and mod finds what it needs.";
    case Say::kCheckListWritten: return "The whole list is in %1";
    case Say::kCheckListNotWritten: return "The whole list could not be written to %1: %2";
    case Say::kCheckCounts: return "%1 read in %2 s: %3, %4; %5 will not load";
    case Say::kCheckPackagesOne: return "1 package";
    case Say::kCheckPackagesMany: return "%1 packages";
    case Say::kCheckMapsOne: return "1 map";
    case Say::kCheckMapsMany: return "%1 maps";
    case Say::kCheckCodeOne: return "1 code package";
    case Say::kCheckCodeMany: return "%1 code packages";
  }
  return "";
}

std::string fill(Say id, const std::vector<std::string>& args) {
  const std::string t = text(id);
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    const size_t k = i + 1 < t.size() && t[i] == '%' && t[i + 1] >= '1' && t[i + 1] <= '9' ? t[i + 1] - '1' : 9;
    if (k < args.size()) {
      out += args[k];
      ++i;
    } else {
      out += t[i];
    }
  }
  return out;
}

}  // namespace orvane
