// What the player is told about one archive's install, from its outcomes alone: which
// outcome, and the exit code the player gets, for each way an install can end.
#include <gtest/gtest.h>

#include <algorithm>

#include "report/catalogue.h"
#include "report/summary.h"

namespace orvane {
namespace {

using Lines = std::vector<std::string>;
using Because = PackageCheck::UnfoundBecause;

struct Row {
  const char* what;
  int code;                         // the run's
  std::vector<Failure> failed;      // the kinds of what failed
  bool counted;
  size_t extracted;
  std::string file_in_place;
  std::vector<Because> unfound;     // objects not found, by reason
  bool missing, unloadable;
  int player;                       // the code the player gets
  Say first, last;                  // the first and the last text told after the files
};

const Row kRows[] = {
    {"split archive", kExitArchive, {Failure::Volume, Failure::Password}, false, 0, "", {}, false, false, 3, Say::kMultiVolume, Say::kMultiVolume},
    {"password", kExitArchive, {Failure::Password}, false, 0, "", {}, false, false, 3, Say::kProtected, Say::kProtected},
    {"two formats", kExitArchive, {Failure::TwoFormats}, false, 0, "", {}, false, false, 3, Say::kTwoFormats, Say::kTwoFormats},
    {"update archive", kExitArchive, {Failure::Update}, false, 0, "", {}, false, false, 3, Say::kUpdateArchive, Say::kUpdateArchive},
    {"bomb", kExitArchive, {Failure::Bomb, Failure::Damaged}, false, 0, "", {}, false, false, 3, Say::kBomb, Say::kBomb},
    {"method, a file of it", kExitEntries, {Failure::Method}, true, 0, "", {}, false, false, 3, Say::kUnsupported, Say::kUnsupportedAfter},
    {"devices", kExitEntries, {Failure::Special}, true, 0, "", {}, false, false, 3, Say::kSpecialFiles, Say::kSpecialFilesAfter},
    {"not an archive", kExitArchive, {Failure::NotArchive}, false, 0, "", {}, false, false, 3, Say::kDamaged, Say::kDamaged},
    {"file named Maps", kExitUnwritable, {Failure::Unwritable}, true, 0, "Maps", {}, false, false, 4, Say::kFileInPlace, Say::kFileInPlace},
    {"folder in the way", kExitUnwritable, {Failure::InTheWay}, true, 0, "", {}, false, false, 4, Say::kFolderInTheWay, Say::kFolderInTheWayAfter},
    {"name too long anywhere", kExitUnwritable, {Failure::TooLong, Failure::NameTooLong}, true, 0, "", {}, false, false, 4, Say::kNameTooLong, Say::kNameTooLongAfter},
    {"path too long here", kExitUnwritable, {Failure::TooLong}, true, 0, "", {}, false, false, 4, Say::kPathTooLong, Say::kPathTooLongAfter},
    {"read-only game", kExitUnwritable, {Failure::Unwritable}, true, 0, "", {}, false, false, 4, Say::kNotWritable, Say::kNotWritable},
    {"no room", kExitDestination, {Failure::NoRoom}, false, 0, "", {}, false, false, 8, Say::kNoRoom, Say::kNoRoom},
    // Out of memory before the check ended the run: never told as a damaged archive.
    {"out of memory", kExitInternal, {}, false, 0, "", {}, false, false, 7, Say::kStopped, Say::kStopped},
    {"in, then the check failed", kExitUnchecked, {}, false, 0, "", {}, false, false, 11, Say::kUnchecked, Say::kUnchecked},
    {"in, listed, then the check failed", kExitUnchecked, {}, true, 2, "", {}, false, false, 11, Say::kInstalledInto, Say::kUnchecked},
    {"nothing to install", kExitNothingMatched, {}, true, 0, "", {}, false, false, 6, Say::kNothingToInstall, Say::kNothingToInstall},
    {"installed", kExitOk, {}, true, 3, "", {}, false, false, 0, Say::kInstalledInto, Say::kDone},
    {"all kept", kExitOk, {}, true, 0, "", {}, false, false, 0, Say::kInstalledInto, Say::kNothingNew},
    {"refused names", kExitRefused, {}, true, 1, "", {}, false, false, 9, Say::kInstalledInto, Say::kSomeRefused},
    {"missing package", kExitPackages, {}, true, 1, "", {}, true, true, 10, Say::kInstalledInto, Say::kPackagesMissing},
    {"damaged package", kExitPackages, {}, true, 1, "", {}, false, true, 10, Say::kInstalledInto, Say::kPackagesUnloadable},
    {"stock file lacks", kExitPackages, {}, true, 1, "", {Because::kStockFile}, false, false, 10, Say::kInstalledInto, Say::kPackagesUnfound},
};

// The lines of a text as the catalogue says it, without its placeholders' values.
bool holds(const Lines& told, Say id) {
  Lines want = say(id, {"\x01", "\x01", "\x01"});
  while (!want.empty() && want.front().empty()) want.erase(want.begin());
  const std::string first = want.front().substr(0, want.front().find('\x01'));
  return std::any_of(told.begin(), told.end(), [&](const std::string& l) { return l.rfind(first, 0) == 0; });
}

TEST(Summary, EachWayAnInstallEndsIsToldAndCoded) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    Options opt;
    orvane::Run run(opt);
    for (size_t i = 0; i < row.extracted; ++i) {
      run.outcomes.emplace_back();
      run.outcomes.back().state = Outcome::Extracted;
      run.outcomes.back().text = "Maps\\CTF-" + std::to_string(i) + ".unr";
    }
    ArchivePart part;
    part.code = row.code;
    part.run = &run;
    part.counted = row.counted;
    part.game = "C:\\UT";
    part.file_in_place = row.file_in_place;
    for (Failure f : row.failed) part.failed.push_back({f, "Maps\\X.unr", "why"});
    if (row.missing) part.found.missing.push_back({"CityTex", 1, false, {"Maps\\CTF-0.unr"}});
    if (row.unloadable) part.found.unloadable.push_back({"Maps\\CTF-0.unr", "truncated"});
    for (Because b : row.unfound) part.found.unfound.push_back({"Texture X.Y", "", "why", b, {"Maps\\CTF-0.unr"}});
    Lines told;
    EXPECT_EQ(tell_archive(part, 79, told), row.player);
    EXPECT_TRUE(holds(told, row.first)) << testing::PrintToString(told);
    EXPECT_TRUE(holds(told, row.last)) << testing::PrintToString(told);
    for (const std::string& l : told) EXPECT_LE(l.size(), 79u) << l;
    // A failure never ends as a success.
    if (row.player != kExitOk) EXPECT_FALSE(holds(told, Say::kDone) || holds(told, Say::kNothingNew));
  }
}

// Objects not found: the remedy fits the reasons given, and the game's own files are never
// to be replaced by another copy.
TEST(Summary, RemediesForObjectsNotFoundFollowTheirReasons) {
  struct Case {
    std::vector<Because> because;
    std::vector<Say> told, not_told;
  } cases[] = {
      {{Because::kStockFile}, {Say::kUnfoundStockAdvice}, {Say::kUnfoundVersion, Say::kUnfoundOtherwise}},
      {{Because::kOtherKind}, {Say::kUnfoundOtherKindAdvice}, {Say::kUnfoundVersion, Say::kUnfoundOtherwise}},
      {{Because::kNotInFile}, {Say::kUnfoundVersion}, {Say::kUnfoundOtherwise, Say::kUnfoundStockAdvice}},
      {{Because::kMostlyAbsent, Because::kFoundFirst},
       {Say::kUnfoundFoundFirstAdvice, Say::kUnfoundOtherwise},
       {Say::kUnfoundVersion}},
      {{Because::kKeptDiffering, Because::kStockFile},
       {Say::kUnfoundKeptAdvice, Say::kUnfoundStockAdvice, Say::kUnfoundOtherwise},
       {Say::kUnfoundVersion}},
  };
  for (const Case& c : cases) {
    Options opt;
    orvane::Run run(opt);
    ArchivePart part;
    part.code = kExitPackages;
    part.run = &run;
    part.counted = true;
    part.game = "C:\\UT";
    for (Because b : c.because) part.found.unfound.push_back({"Texture X.Y", "", "why", b, {"Maps\\A.unr"}});
    Lines told;
    EXPECT_EQ(tell_archive(part, 79, told), kExitPackages);
    for (Say s : c.told) EXPECT_TRUE(holds(told, s)) << static_cast<int>(s) << testing::PrintToString(told);
    for (Say s : c.not_told) EXPECT_FALSE(holds(told, s)) << static_cast<int>(s) << testing::PrintToString(told);
  }
}

TEST(Summary, ManyArchivesEndWithTheMostSeriousCode) {
  Lines told;
  EXPECT_EQ(tell_batch({kExitOk, kExitPackages, kExitArchive, kExitRefused}, {"a.zip", "b.zip", "c.zip", "d.zip"}, told),
            kExitArchive);
  EXPECT_EQ(told, (Lines{"", "---- All 4 archives: 1 installed, 1 failed, 2 need attention.",
                         "These archives need you; their parts above say why:", "  \"b.zip\"", "  \"c.zip\"",
                         "  \"d.zip\""}));
  told.clear();
  EXPECT_EQ(tell_batch({kExitDestination, kExitUnwritable}, {"a", "b"}, told), kExitDestination);
  told.clear();
  EXPECT_EQ(tell_batch({kExitOk, kExitOk}, {"a", "b"}, told), kExitOk);
  EXPECT_EQ(told.back(), "Done. Every map is installed.");
}

}  // namespace
}  // namespace orvane
