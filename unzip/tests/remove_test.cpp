// The record of each install and taking maps back out (Orvane.BAT /remove): what goes,
// what stays and why, and records read as untrusted input.
#include <gtest/gtest.h>

#include <map>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/remove.h"
#include "cli/cli.h"
#include "platform/platform.h"
#include "install/journal.h"
#include "install/records.h"
#include "install/sinks.h"
#include "test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::CaptureReport;
using test::Item;
using test::sep;

using test::file;

std::string crc_hex(const std::string& data) {
  char buf[9];
  snprintf(buf, sizeof buf, "%08x", crc32_of(0, reinterpret_cast<const unsigned char*>(data.data()), data.size()));
  return buf;
}

// Every file and folder of the game with what it holds.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> all;
  for (const std::string& rel : test::list_tree(root)) {
    const fs::path p = root / test::u8(rel);
    all[rel] = fs::is_directory(p) ? "folder" : test::read_file(p);
  }
  return all;
}

class RemoveTest : public ::testing::Test {
 protected:
  RemoveTest() {
    // The player's game: the game's own files and one map of the player's.
    test::write_file(gpath / "System" / "Engine.u", "the game's engine");
    test::write_file(gpath / "Maps" / "DM-Own.unr", "the player's own map");
  }
  // Writes an archive of these files beside the game and returns its path.
  std::string zip(const std::string& name, const std::vector<Item>& items) {
    const std::string path = dir.sub(name);
    test::write_file(test::u8(path), test::build_zip(items));
    return path;
  }
  int install(const Lines& zips) {
    Lines args{"-orvane", zips[0], game};
    args.insert(args.end(), zips.begin() + 1, zips.end());
    report = CaptureReport();
    return test::run_args(args, report);
  }
  int remove(const Lines& names) {
    Lines args{"-orvane", "/remove", game};
    args.insert(args.end(), names.begin(), names.end());
    report = CaptureReport();
    return test::run_args(args, report);
  }
  bool has(const std::string& rel) const { return fs::exists(gpath / test::u8(rel)); }
  std::string record(const std::string& file) const { return test::read_file(gpath / "Orvane" / file); }
  // Each of wants is said; a text that a long path broke over lines counts as said.
  void expect_out(const Lines& wants) const {
    const std::string out = report.all_out();
    auto collapsed = [](const std::string& text) {
      std::string c;
      for (char ch : text)
        if (!(ch == ' ' || ch == '\n') || (!c.empty() && c.back() != ' ')) c += ch == '\n' ? ' ' : ch;
      return c;
    };
    for (const std::string& want : wants)
      EXPECT_TRUE(out.find(want) != std::string::npos || collapsed(out).find(collapsed(want)) != std::string::npos)
          << want << "\n----\n" << out;
  }

  test::ScratchDir dir;
  fs::path gpath = dir.path() / "g";
  std::string game = dir.sub("g");
  CaptureReport report;
};

// The record lists what the archive put in (each file's path, size and CRC-32), under the
// player's name for it, never a file the game kept; installing it again keeps it true.
TEST_F(RemoveTest, TheRecordOfAnInstall) {
  const std::string a = zip("CTF-Face.zip", {file("Maps/CTF-Face.unr", "face map"), file("Textures/Face.utx", "face tex"),
                                             file("Maps/DM-Own.unr", "not the player's"), file("shot.jpg", "jpeg")});
  install({a});
  ASSERT_TRUE(has("Textures/Face.utx")) << report.all_out();
  const std::string text = record("CTF-Face.zip.txt");
  const Lines head{"Orvane install record 1\r\nName\t" + a + "\r\nInstalled\t"};
  EXPECT_EQ(text.rfind(head[0], 0), 0u) << text;
  const std::string files = "Folder\tTextures\r\nFile\t8\t" + crc_hex("face map") + "\tMaps\\CTF-Face.unr\r\nFile\t8\t" +
                            crc_hex("face tex") + "\tTextures\\Face.utx\r\n";
  EXPECT_EQ(text.substr(text.size() - files.size()), files) << text;
  EXPECT_EQ(text.find("DM-Own"), std::string::npos);

  // Again, from another folder and with one more file: one record, with all of its files.
  fs::create_directories(dir.path() / "v2");
  const std::string v2 = zip("v2" + sep() + "ctf-face.ZIP", {file("Maps/CTF-Face.unr", "face map"), file("Help/Face.txt", "readme")});
  install({v2});
  EXPECT_EQ(test::list_tree(gpath / "Orvane"), Lines{"CTF-Face.zip.txt"});
  InstallRecord r;
  ASSERT_EQ(read_record(record("CTF-Face.zip.txt"), r), RecordProblem::kNone);
  EXPECT_EQ(r.name, v2);
  Lines paths;
  for (const RecordedFile& f : r.files) paths.push_back(f.path);
  EXPECT_EQ(paths, (Lines{"Help" + sep() + "Face.txt", "Maps" + sep() + "CTF-Face.unr", "Textures" + sep() + "Face.utx"}));
  const std::vector<RecordSummary> list = list_records(game);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].files, 3u);
}

// Three archives bring one texture: it stays while any of them does. Taking all of them out
// leaves the game byte for byte as it was, the folders they made and Orvane's own gone.
TEST_F(RemoveTest, ArchivesThatShareATexture) {
  const auto before = snapshot(gpath);
  Lines zips;
  for (const char* m : {"A", "B", "C"})
    zips.push_back(zip(std::string("CTF-") + m + ".zip", {file(std::string("Maps/CTF-") + m + ".unr", m),
                                                          file("Textures/Shared.utx", "shared")}));
  install(zips);
  for (const char* rec : {"CTF-A.zip.txt", "CTF-B.zip.txt", "CTF-C.zip.txt"})
    EXPECT_NE(record(rec).find("Textures\\Shared.utx"), std::string::npos) << rec;

  EXPECT_EQ(remove({"ctf-b.zip"}), kExitOk) << report.all_out();
  EXPECT_FALSE(has("Maps/CTF-B.unr"));
  EXPECT_TRUE(has("Textures/Shared.utx"));
  EXPECT_FALSE(has("Orvane/CTF-B.zip.txt"));
  expect_out({"Removed (1):\n  Maps" + sep() + "CTF-B.unr\n",
              "Kept, another archive that stays installed them too (1):\n  Textures" + sep() +
                  "Shared.utx (also CTF-A.zip, CTF-C.zip)\n"});

  // By the name the install showed, and by file name, in one run.
  EXPECT_EQ(remove({zips[0], "CTF-C.zip"}), kExitOk) << report.all_out();
  expect_out({"Removed (3):\n", "Done. The maps are out of the game."});
  EXPECT_EQ(snapshot(gpath), before);
}

// A file changed since the install is the player's now: kept and named. One deleted by hand
// is told, and the record goes all the same.
TEST_F(RemoveTest, FilesChangedOrDeletedSinceTheInstall) {
  install({zip("CTF-X.zip", {file("Maps/CTF-X.unr", "x"), file("Textures/X.utx", "tex"), file("Sounds/X.uax", "snd")})});
  test::write_file(gpath / "Maps" / "CTF-X.unr", "y");  // same size, other bytes
  fs::remove(gpath / "Sounds" / "X.uax");
  EXPECT_EQ(remove({"CTF-X.zip"}), kExitOk) << report.all_out();
  EXPECT_EQ(test::read_file(gpath / "Maps" / "CTF-X.unr"), "y");
  EXPECT_FALSE(has("Textures/X.utx"));
  EXPECT_FALSE(has("Sounds"));  // made by the install, and empty now
  EXPECT_FALSE(has("Textures"));
  expect_out({"Removed (1):\n  Textures" + sep() + "X.utx\n",
              "Already gone, deleted since the install (1):\n  Sounds" + sep() + "X.uax\n",
              "Kept, changed since the install, so now yours; delete them by hand if you\nwant them gone (1):\n  Maps" +
                  sep() + "CTF-X.unr\n"});
  EXPECT_FALSE(has("Orvane"));
}

// A package that a map staying in the game needs stays, named with who needs it, and so does
// the record, for it alone; it goes once nothing needs it.
TEST_F(RemoveTest, APackageAnotherMapNeeds) {
  install({zip("CTF-T.zip", {file("Maps/CTF-T.unr", "map"), file("Textures/T.utx", "tex"), file("Help/T.txt", "doc")})});
  std::vector<Lines> asked;
  const NeededBy needs_t = [&](const Lines& going) {
    asked.push_back(going);
    std::vector<Needed> out;
    for (const std::string& g : going)
      if (g == "Textures" + sep() + "T.utx") out.push_back({g, {"Maps" + sep() + "CTF-Other.unr"}});
    return out;
  };
  EXPECT_EQ(remove_maps(game, {"CTF-T.zip"}, needs_t, report), kExitOk) << report.all_out();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], (Lines{"Maps" + sep() + "CTF-T.unr", "Textures" + sep() + "T.utx"}));  // packages only
  EXPECT_TRUE(has("Textures/T.utx"));
  EXPECT_FALSE(has("Maps/CTF-T.unr"));
  EXPECT_FALSE(has("Help/T.txt"));
  expect_out({"Kept, packages that maps or mods staying in the game need (1):\n  Textures" + sep() +
                  "T.utx (needed by Maps" + sep() + "CTF-Other.unr)\n",
              "Orvane keeps its record of \"" + dir.sub("CTF-T.zip") + "\""});
  const std::vector<RecordSummary> list = list_records(game);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].files, 1u);

  const NeededBy nothing = [](const Lines&) { return std::vector<Needed>(); };
  EXPECT_EQ(remove_maps(game, {"CTF-T.zip"}, nothing, report), kExitOk);
  EXPECT_FALSE(has("Textures/T.utx"));
  EXPECT_TRUE(list_records(game).empty());
}

// A record is untrusted: one that is not Orvane's, is damaged, or names a path outside the
// game folder is refused whole, and nothing at all is removed.
TEST_F(RemoveTest, HostileAndDamagedRecords) {
  install({zip("CTF-Good.zip", {file("Maps/CTF-Good.unr", "good")})});
  test::write_file(dir.path() / "outside.txt", "precious");
  const std::string ok_line = "File\t8\t" + crc_hex("precious") + "\t";
  auto head = [](const std::string& name) {
    return "Orvane install record 1\r\nName\t" + name + "\r\nInstalled\t2026-01-01 00:00:00\r\n";
  };
  const std::string good = "File\t4\t" + crc_hex("good") + "\tMaps\\CTF-Good.unr\r\n";
  const std::vector<std::pair<std::string, std::string>> records = {
      {"Evil.zip.txt", head("Evil.zip") + ok_line + "..\\outside.txt\r\n"},
      {"Abs.zip.txt", head("Abs.zip") + ok_line + dir.sub("outside.txt") + "\r\n"},
      {"Drive.zip.txt", head("Drive.zip") + ok_line + "C:\\outside.txt\r\n"},
      {"Device.zip.txt", head("Device.zip") + ok_line + "Maps\\CON.unr\r\n"},
      {"Stream.zip.txt", head("Stream.zip") + ok_line + "Maps\\CTF-Good.unr:hidden\r\n"},
      {"Ours.zip.txt", head("Ours.zip") + "File\t4\t" + crc_hex("good") + "\tOrvane\\CTF-Good.zip.txt\r\n"},
      {"Broken.zip.txt", head("Broken.zip") + good + "File\t4\tnot-a-crc\tMaps\\CTF-Good.unr\r\n"},
      {"Stranger.zip.txt", "Name\tStranger.zip\r\n" + good},
  };
  for (const auto& r : records) test::write_file(gpath / "Orvane" / r.first, r.second);
  const auto before = snapshot(dir.path());
  for (const auto& r : records) {
    const std::string name = r.first.substr(0, r.first.size() - 4);
    const int rc = remove({name, "CTF-Good.zip"});
    EXPECT_EQ(rc, kExitRefused) << name << "\n" << report.all_out();
    expect_out({"Nothing was removed.", "Orvane" + sep() + r.first});
    EXPECT_EQ(snapshot(dir.path()), before) << name;
  }
  // The good one still goes by itself; a damaged record that lists its file keeps it.
  EXPECT_EQ(remove({"CTF-Good.zip"}), kExitOk) << report.all_out();
  EXPECT_TRUE(has("Maps/CTF-Good.unr"));
  expect_out({"Maps" + sep() + "CTF-Good.unr (also Broken.zip"});
  EXPECT_EQ(test::read_file(dir.path() / "outside.txt"), "precious");
}

#ifdef _WIN32
// A file that the running game holds open cannot be removed: the whole removal is taken back,
// and the player is told to close the game. (Windows alone refuses to rename an open file.)
TEST_F(RemoveTest, AFileTheGameHoldsOpen) {
  install({zip("CTF-U.zip", {file("Maps/CTF-U.unr", "u"), file("Textures/U.utx", "tex")})});
  const auto before = snapshot(gpath);
  HANDLE held = CreateFileW((gpath / "Textures" / "U.utx").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const int rc = remove({"CTF-U.zip"});
  CloseHandle(held);
  EXPECT_EQ(rc, kExitUnwritable);
  expect_out({"  Textures\\U.utx\n", "close the game and try again.\nNothing was removed."});
  EXPECT_EQ(snapshot(gpath), before);  // the map set aside first is back
  EXPECT_EQ(remove({"CTF-U.zip"}), kExitOk) << report.all_out();
  EXPECT_FALSE(has("Maps/CTF-U.unr"));
}
#endif

// While an install (or another removal) holds the journal, a removal changes nothing.
TEST_F(RemoveTest, WhileAnotherRunHoldsTheJournal) {
  install({zip("CTF-J.zip", {file("Maps/CTF-J.unr", "j")})});
  const auto before = snapshot(gpath);
  Journal other;
  Lines told;
  std::string err;
  ASSERT_TRUE(other.open(platform::absolute(game), {platform::absolute(game)}, told, err)) << err;
  EXPECT_EQ(remove({"CTF-J.zip"}), kExitUnwritable);
  expect_out({"is running", "Nothing was removed."});
  EXPECT_EQ(report.all_out().find("administrator"), std::string::npos) << report.all_out();
  other.release();
  EXPECT_EQ(snapshot(gpath), before);
  EXPECT_EQ(remove({"CTF-J.zip"}), kExitOk) << report.all_out();
}

// A name no record has is told, with what Orvane has installed; nothing changes.
TEST_F(RemoveTest, NamesNoRecordHas) {
  EXPECT_EQ(remove({"CTF-None.zip"}), kExitUsage);
  expect_out({"Orvane has no record of installing this archive into the game:\n  \"CTF-None.zip\"",
              "Orvane has installed nothing into this game yet."});
  EXPECT_EQ(remove({}), kExitUsage);
  expect_out({"Usage: Orvane.BAT /remove GAME-DIRECTORY NAME [NAME ...]"});

  install({zip("CTF-One.zip", {file("Maps/CTF-One.unr", "1")})});
  const auto before = snapshot(gpath);
  EXPECT_EQ(remove({"CTF-One.zip", "CTF-Typo.zip"}), kExitUsage);
  expect_out({"\"CTF-Typo.zip\"", "Nothing was removed. Orvane has installed these archives here (newest first):\n"
                                  "  CTF-One.zip"});
  EXPECT_EQ(snapshot(gpath), before);
}

// The window's list: newest first, with each record's file count; what cannot be used is not
// offered.
TEST_F(RemoveTest, TheListOfRecords) {
  auto rec = [&](const std::string& file, const std::string& name, const std::string& when, size_t files) {
    InstallRecord r;
    r.name = name;
    r.when = when;
    for (size_t k = 0; k < files; ++k) r.files.push_back({"Maps" + sep() + name + std::to_string(k) + ".unr", {1, 2}});
    test::write_file(gpath / "Orvane" / file, record_text(r));
  };
  rec("a.txt", "Old.zip", "2025-01-02 10:00:00", 2);
  rec("b.txt", "New.zip", "2026-11-30 09:00:00", 1);
  rec("c.txt", "Mid.zip", "2026-03-01 23:59:59", 3);
  test::write_file(gpath / "Orvane" / "d.txt", "Orvane install record 1\r\nName\tBad.zip\r\nFile\tx\r\n");
  const std::vector<RecordSummary> list = list_records(game + sep());
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "New.zip");
  EXPECT_EQ(list[0].archive, "New.zip");
  EXPECT_EQ(list[1].name, "Mid.zip");
  EXPECT_EQ(list[1].files, 3u);
  EXPECT_EQ(list[2].when, "2025-01-02 10:00:00");
}

}  // namespace
}  // namespace orvane
