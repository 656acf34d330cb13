#include "report/catalogue.h"

#include "base/text.h"

namespace orvane {

// Lines end at "\n"; a console is 80 columns wide, so every fixed line keeps within 79.
const char* text(Say id) {
  switch (id) {
    case Say::kHeading: return "Orvane map installer\n";
    case Say::kUsage:
      return "Usage: Orvane.BAT ARCHIVE GAME-DIRECTORY [ARCHIVE ...]\n"
             "Installs the Unreal Tournament map archive ARCHIVE, and any further ones, into\n"
             "the game in GAME-DIRECTORY.\n"
             "   or: Orvane.BAT /check GAME-DIRECTORY [/yes|/no]\n"
             "Checks that every map and mod of the game loads. The packages it misses that\n"
             "the game's download cache holds go into the game when you answer Y, or with\n"
             "/yes; /no leaves them.";
    case Say::kArchiveNotFound: return "The map archive was not found:";
    case Say::kGameNotFound: return "The game folder was not found:\n  \"%1\"";
    case Say::kNoTempFolder:
      return "The folder for temporary files was not found:\n"
             "  \"%1\"\n"
             "It comes from the TEMP setting of Windows. Set TEMP to an existing folder,\n"
             "such as %USERPROFILE%\\AppData\\Local\\Temp, and try again. Nothing was\n"
             "installed.";
    case Say::kMapArchive: return "Map archive: \"%1\"";
    case Say::kMapArchiveLong: return "Map archive:\n  \"%1\"";
    case Say::kMapArchives: return "Map archives: %1";
    case Say::kGameFolder: return "Game folder: \"%1\"";
    case Say::kGameFolderLong: return "Game folder:\n  \"%1\"";
    case Say::kInstalling: return "\nChecking the archive and installing...";

    case Say::kInstalledInto: return "\nInstalled into \"%1\" - %2 file(s):";
    case Say::kInstalledIntoLong: return "\nInstalled, %2 file(s), into:\n  \"%1\"";
    case Say::kNone: return "  none";
    case Say::kKeptIdentical: return "Kept, already in the game and identical to the archive's (%1):";
    case Say::kKeptDiffering: return "Kept, already in the game but different from the archive's (%1):";
    case Say::kKeptDifferingAdvice:
      return "  The game keeps its own copy of each of these. Online, a server with the\n"
             "  archive's version refuses a player whose copy differs (\"version mismatch\").\n"
             "  To take the archive's copy instead, delete the game's copy and install the\n"
             "  map again, but never for a file that came with the game itself, such as\n"
             "  System\\Botpack.u: a changed copy of one breaks every online game.";
    case Say::kDuplicate: return "In the archive more than once for one folder, the first went in (%1):";
    case Say::kRefused: return "Refused, never installed because of their names or kind (%1):";
    case Say::kSkipped: return "Skipped (%1):";
    case Say::kNoteMacMetadata: return "(macOS metadata)";
    case Say::kNoteCacheFile: return "(cache file, never installed)";
    case Say::kNoteNotGameFile: return "(not a game file)";
    case Say::kUnpacked: return "Mod installers (.umod), unpacked without the game's Setup (%1):";
    case Say::kRequests:
      return "A mod installer (.umod) also asks for the following, which Orvane never does\n"
             "(it never changes your settings). If the mod needs them, do them by hand (%1):";
    case Say::kMissing: return "MISSING packages - the map will not load until these are in the game (%1):";
    case Say::kMissingAdvice:
      return "  Map sites carry each under its name: download it and install it like a map.\n"
             "  The game looks for a package by its name, so its file may come as .u, .utx,\n"
             "  .uax or .umx.";
    case Say::kMissingStock: return "  These come with Unreal Tournament itself:";
    case Say::kMissingStockAdvice:
      return "  The game folder looks incomplete, or it is not the game's folder. Repair or\n"
             "  reinstall the game, or pick the folder the game is installed in.";
    case Say::kUnloadable: return "Damaged, no package the game can load (%1):";
    case Say::kUnfound: return "NOT FOUND where the game looks - the map will not load without these (%1):";
    case Say::kUnfoundStockAdvice:
      return "  The game's own files must never be replaced: a changed copy breaks every\n"
             "  online game. Repair or update the game; if it is up to date, the map was\n"
             "  made for a newer version of the game than this one.";
    case Say::kUnfoundOtherKindAdvice:
      return "  Where only a package of another kind has the name, the one these come from\n"
             "  is missing. Map sites carry each under its name: download it and install it\n"
             "  like a map.";
    case Say::kUnfoundFoundFirstAdvice:
      return "  The game loads the first file of a package's name that it finds. Where that\n"
             "  file lacks what the map takes, move it out of the game's folders, unless it\n"
             "  is one of the game's own or other maps need it.";
    case Say::kUnfoundKeptAdvice:
      return "  Where the game's copy was kept, the archive's may hold what the map needs: to\n"
             "  take it, move the game's copy out of its folder and install the map again.";
    case Say::kUnfoundOtherwise: return "  Otherwise get the version of the package that the map was made with.";
    case Say::kUnfoundVersion:
      return "  Get the version of the package that the map was made with, from the map's\n"
             "  site, and put it in place of the game's copy.";

    case Say::kDone: return "Done. The map is installed.";
    case Say::kNothingNew: return "Nothing new was installed: the game already has every file of this map.";
    case Say::kPackagesMissing:
      return "The map is installed, but it will not load until the packages listed above\n"
             "as missing are in the game.";
    case Say::kPackagesUnloadable:
      return "The map is installed, but the game cannot load the files listed above as\n"
             "damaged.";
    case Say::kPackagesUnfound:
      return "The map is installed, but it will not load until the game finds what is\n"
             "listed above as not found where it looks.";
    case Say::kSomeRefused:
      return "The map is installed, except the files listed above as refused: Windows\n"
             "cannot hold a file of such a name, or the name would put it outside the game\n"
             "folder, so it was never written. The map may not work without them; the map's\n"
             "site may have a corrected archive.";
    case Say::kUnchecked:
      return "The map is installed, but Orvane could not finish checking that the game has\n"
             "every package it needs (the unzip program said why above, perhaps for lack of\n"
             "memory), so the map may not load. Close other programs and install the map\n"
             "again to check it; the files already in place stay as they are.";
    case Say::kDamaged:
      return "\nERROR: the map archive cannot be unpacked. It is damaged, incomplete, not an\n"
             "archive (zip, 7z, rar or umod) or a zip bomb (made to fill the disk). Nothing\n"
             "was installed. Download the map again and retry.";
    case Say::kMultiVolume:
      return "\nERROR: the map archive is one part of an archive split into several files\n"
             "(such as .part1.rar or .7z.001). The other parts are needed. Nothing was\n"
             "installed. Download every part into one folder, unpack them there with an\n"
             "archive program, then install the map from what they hold.";
    case Say::kProtected:
      return "\nERROR: the map archive is protected by a password, so Orvane cannot unpack it.\n"
             "Nothing was installed. Unpack it with the password in an archive program, or\n"
             "get an archive without a password from the map's site.";
    case Say::kUnsupported: return "\nERROR: the map archive uses a method Orvane cannot unpack:";
    case Say::kUnsupportedAfter:
      return "Nothing was installed. Unpack the archive with an archive program such as\n"
             "7-Zip, or get the map in another archive.";
    case Say::kBomb:
      return "\nERROR: the map archive is a zip bomb: it is made to fill the disk, with far\n"
             "more data than any map holds. Nothing was installed. Delete it.";
    case Say::kTwoFormats:
      return "\nERROR: the map archive reads as two kinds of archive at once (the unzip program\n"
             "named them above), so each archive program would find other files in it: one is\n"
             "hidden in the other. Nothing was installed. Delete it, and get the map from a\n"
             "site you trust.";
    case Say::kUpdateArchive:
      return "\nERROR: the map archive is an update archive: it holds only the changes to\n"
             "another archive, with files to delete, not a map. Nothing was installed.\n"
             "Get the whole map archive from the map's site.";
    case Say::kSpecialFiles:
      return "\nERROR: the map archive holds entries that are no files (a device, pipe or\n"
             "socket) where the map's files should be:";
    case Say::kSpecialFilesAfter: return "Nothing was installed. The map's site may have a corrected archive.";
    case Say::kNoRoom:
      return "\nERROR: there is not enough free disk space for this map: the unzip program\n"
             "said above how much it needs and how much is free. Nothing was installed.\n"
             "Free some disk space and install the map again.";
    case Say::kStopped:
      return "\nERROR: the unzip program stopped unexpectedly (it said why above), perhaps\n"
             "for lack of memory. Nothing was installed. Close other programs and install\n"
             "the map again.";
    case Say::kNothingToInstall:
      return "\nERROR: the archive holds nothing to install: no map, texture, sound, music,\n"
             "code, readme or .umod file. Nothing was installed.";
    case Say::kItHolds: return "It holds:";
    case Say::kFileInPlace:
      return "\nERROR: the game folder holds a file named \"%1\" where the %1 folder\n"
             "should be:\n"
             "  \"%2\"\n"
             "Rename or move that file, then install the map again. Nothing was installed.";
    case Say::kFolderInTheWay: return "\nERROR: the game folder holds a folder where a file of this map should go:";
    case Say::kFolderInTheWayAfter:
      return "Rename or move each such folder, then install the map again. Nothing was\n"
             "installed.";
    case Say::kPathTooLong: return "\nERROR: some files of this map would get paths too long for Windows:";
    case Say::kPathTooLongAfter:
      return "Nothing was installed. Move the game to a folder with a shorter path, such as\n"
             "C:\\Games\\UnrealTournament, and install the map there.";
    case Say::kNameTooLong:
      return "\nERROR: some files of this map have names too long for Windows in any game\n"
             "folder:";
    case Say::kNameTooLongAfter: return "Nothing was installed. The map's site may have an archive with shorter names.";
    case Say::kNotWritable:
      return "\nERROR: Orvane may not write into the game folder:\n"
             "  \"%1\"\n"
             "Nothing was installed. Windows lets only administrators change folders such\n"
             "as \"Program Files\". Either run Orvane as administrator (right-click Orvane.exe,\n"
             "then \"Run as administrator\"), or move the game to a folder of your own, such as\n"
             "C:\\Games\\UnrealTournament, and install the map there.";

    case Say::kArchiveOf: return "\n---- Archive %1 of %2:\n  \"%3\"";
    case Say::kAllArchives: return "\n---- All %1 archives: %2 installed, %3 failed, %4 need attention.";
    case Say::kEveryMapInstalled: return "Done. Every map is installed.";
    case Say::kTheseNeedYou: return "These archives need you; their parts above say why:";

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
    case Say::kRemoveUsage:
      return "Usage: Orvane.BAT /remove GAME-DIRECTORY NAME [NAME ...]\n"
             "Takes the map archives NAME back out of the game in GAME-DIRECTORY, as Orvane\n"
             "installed them. A NAME is the archive's file name, such as CTF-Face.zip.";
    case Say::kRemoveGameFolder: return "Removing maps from the game folder: \"%1\"";
    case Say::kRemoveGameFolderLong: return "Removing maps from the game folder:\n  \"%1\"";
    case Say::kRemoving: return "  \"%1\", installed %2 UTC";
    case Say::kRemoveNotWritable:
      return "\nERROR: Orvane may not change the game folder:\n"
             "  \"%1\"\n"
             "  (%2)\n"
             "Nothing was removed. Windows lets only administrators change folders such as\n"
             "\"Program Files\". Run Orvane as administrator (right-click Orvane.exe, then\n"
             "\"Run as administrator\") and remove the maps again.";
    case Say::kRemoveCannotStart: return "\nERROR: %1\nNothing was removed.";
    case Say::kRemoveCannotRead:
      return "\nERROR: Orvane cannot read its records in the game folder:\n  \"%1\"\nNothing was removed.";
    case Say::kRemoveNoRecord:
      return "\nERROR: Orvane has no record of installing this archive into the game:\n  \"%1\"";
    case Say::kRemoveNothingRecorded: return "Orvane has installed nothing into this game yet. Nothing was removed.";
    case Say::kRemoveRecordedHere:
      return "Nothing was removed. Orvane has installed these archives here (newest first):";
    case Say::kRemoveRecordNotOurs:
      return "\nERROR: this file in the game's Orvane folder is no record of Orvane's:\n"
             "  \"%1\"\n"
             "Orvane acts only on its own records. Nothing was removed.";
    case Say::kRemoveRecordDamaged:
      return "\nERROR: Orvane's record of this install is damaged (changed by hand?):\n"
             "  \"%1\"\n"
             "Orvane cannot tell what the archive put into the game. Nothing was removed.";
    case Say::kRemoveRecordUnsafe:
      return "\nERROR: Orvane's record of this install names files outside the game's folders:\n"
             "  \"%1\"\n"
             "Orvane never removes such a file. Nothing was removed.";
    case Say::kRemoveNothingRemoved: return "Nothing was removed.";
    case Say::kRemoveInUse:
      return "\nERROR: Orvane cannot remove a file of the game:\n"
             "  %1\n"
             "  (%2)\n"
             "The game, or another program, may be using it: close the game and try again.\n"
             "Nothing was removed.";
    case Say::kRemoved: return "\nRemoved (%1):";
    case Say::kRemoveAlreadyGone: return "Already gone, deleted since the install (%1):";
    case Say::kRemoveKeptChanged:
      return "Kept, changed since the install, so now yours; delete them by hand if you\n"
             "want them gone (%1):";
    case Say::kRemoveKeptShared: return "Kept, another archive that stays installed them too (%1):";
    case Say::kRemoveKeptNeeded: return "Kept, packages that maps or mods staying in the game need (%1):";
    case Say::kRemoveRecordStays:
      return "Orvane keeps its record of \"%1\" for the packages it kept. Remove it again\n"
             "once the maps that need them are gone.";
    case Say::kRemoveDone: return "\nDone. The maps are out of the game.";
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

std::vector<std::string> say(Say id, const std::vector<std::string>& args) {
  return split(fill(id, args), '\n');
}



}  // namespace orvane
