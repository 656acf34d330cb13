// The whole program run in-process against real folders: natively, and under
// Wine where Windows file names, devices and streams are real.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "app/check.h"
#include "base/names.h"
#include "cli/cli.h"
#include "install/space.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "report/lines.h"
#include "report/summary.h"
#include "test_support.h"
#include "unreal/game_check.h"
#include "unreal/unreal_package.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::build_zip;
using test::CaptureReport;
using test::Item;
using test::ScratchDir;
using test::sep;
using test::u8;
using Lines = std::vector<std::string>;

class ExtractTest : public ::testing::Test {
 protected:
  // Writes the archive into the scratch folder and returns its path.
  std::string archive(const std::vector<Item>& items, const test::Layout& layout = test::Layout()) {
    std::string path = dir.sub("Map.ZIP");
    test::write_file(u8(path), build_zip(items, layout));
    return path;
  }
  int run(Lines args) {
    report = CaptureReport();
    return test::run_args(args, report);
  }
  std::string out_dir() const { return dir.sub("out") + sep(); }
  Lines tree() const { return fs::exists(dir.path() / "out") ? test::list_tree(dir.path() / "out") : Lines{}; }

  ScratchDir dir;
  CaptureReport report;
};

using test::file;

// Sets (or with nullptr removes) a variable of this process's environment.
void set_env(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  value ? setenv(name, value, 1) : unsetenv(name);
#endif
}

Item folder(const std::string& name) {
  Item it;
  it.name = name;
  it.method = 0;
  return it;
}

TEST_F(ExtractTest, FlatFolderedAndWrappedLayouts) {
  std::vector<Item> flat = {file("CTF-Foo.unr", "map"), file("Foo.utx", "tex"), file("readme.txt", "hi")};
  std::vector<Item> foldered = {folder("Maps/"), file("Maps/CTF-Foo.unr", "map"), folder("Textures/"),
                                file("Textures/Foo.utx", "tex")};
  std::vector<Item> wrapped = {folder("FooPack/"), folder("FooPack/Maps/"), file("FooPack/Maps/CTF-Foo.unr", "map"),
                               file("FooPack/System/Foo.u", "code")};

  ASSERT_EQ(run({"-extract", archive(flat), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: CTF-Foo.unr", "Extracted: Foo.utx", "Extracted: readme.txt"}));
  EXPECT_EQ(tree(), (Lines{"CTF-Foo.unr", "Foo.utx", "readme.txt"}));
  EXPECT_EQ(test::read_file(dir.path() / "out" / "Foo.utx"), "tex");
  fs::remove_all(dir.path() / "out");

  // Without -directories every file lands in DEST itself; folder entries make nothing.
  ASSERT_EQ(run({"-extract", archive(foldered), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: CTF-Foo.unr", "Extracted: Foo.utx"}));
  EXPECT_EQ(tree(), (Lines{"CTF-Foo.unr", "Foo.utx"}));
  fs::remove_all(dir.path() / "out");

  ASSERT_EQ(run({"-extract", "-directories", archive(foldered), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: Maps" + sep() + "CTF-Foo.unr", "Extracted: Textures" + sep() + "Foo.utx"}));
  EXPECT_EQ(tree(), (Lines{"Maps/", "Maps/CTF-Foo.unr", "Textures/", "Textures/Foo.utx"}));
  fs::remove_all(dir.path() / "out");

  // Folders come from the paths even without their own entries (System/ here).
  ASSERT_EQ(run({"-directories", "-extract", archive(wrapped), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(tree(), (Lines{"FooPack/", "FooPack/Maps/", "FooPack/Maps/CTF-Foo.unr", "FooPack/System/",
                           "FooPack/System/Foo.u"}));
}

TEST_F(ExtractTest, DestinationForms) {
  std::string zip = archive({file("a.txt", "A")});
  // Created with its parents when missing.
  ASSERT_EQ(run({"-extract", zip, dir.sub("x/y/z") + "/"}), kExitOk) << report.all_err();
  EXPECT_EQ(test::read_file(dir.path() / "x" / "y" / "z" / "a.txt"), "A");
  // An existing folder without a trailing separator is still the destination.
  ASSERT_EQ(run({"-extract", zip, dir.sub("x")}), kExitOk) << report.all_err();
  EXPECT_TRUE(fs::exists(dir.path() / "x" / "a.txt"));
  // A name that is neither is a pattern; here it matches nothing.
  EXPECT_EQ(run({"-extract", zip, dir.sub("nothing-here")}), kExitNothingMatched);
  EXPECT_FALSE(fs::exists(dir.path() / "nothing-here"));
  // No destination: the current folder.
  fs::create_directories(dir.path() / "cwd");
  fs::path before = fs::current_path();
  fs::current_path(dir.path() / "cwd");
  int rc = run({"-extract", zip});
  fs::current_path(before);
  EXPECT_EQ(rc, kExitOk) << report.all_err();
  EXPECT_EQ(test::read_file(dir.path() / "cwd" / "a.txt"), "A");
  // A file where the destination should be.
  test::write_file(dir.path() / "blocked", "");
  EXPECT_EQ(run({"-extract", zip, dir.sub("blocked") + sep() + "sub" + sep()}), kExitUnwritable);
  EXPECT_EQ(report.err_lines.size(), 1u);

  // Too little free space writes nothing and says how much is needed and how
  // much is free; a file that is only kept needs no room.
  set_volume_probe([](const std::string&, platform::Volume& v) { return v.free = 1000, v.id = "C", true; });
  int kept = run({"-extract", zip, dir.sub("x")});
  int full = run({"-extract", archive({file("a.txt", "A"), file("big.unr", std::string(5000, 'b'))}), dir.sub("x")});
  set_volume_probe(nullptr);
  EXPECT_EQ(kept, kExitOk);
  EXPECT_EQ(full, kExitDestination);
  ASSERT_EQ(report.err_lines.size(), 1u);
  EXPECT_NE(report.err_lines[0].find("not enough free space: the files need 0.0 MB (5000 bytes), the disk has "
                                     "0.0 MB (1000 bytes) free"),
            std::string::npos)
      << report.err_lines[0];
  EXPECT_FALSE(fs::exists(dir.path() / "x" / "big.unr"));

  // Volumes are told apart by their identity, not by their free space, and a
  // file takes whole allocation units: 400 one-byte files do not fit in 1 MiB
  // of 4 KiB units. Each row: the volume probe, the archive, what it gives.
  std::vector<Item> two, tiny;
  for (const char* d : {"maps/", "tex/"}) two.push_back(file(std::string(d) + "big.unr", std::string(600, 'x')));
  for (int i = 0; i < 400; ++i) tiny.push_back(file("f" + std::to_string(i) + ".unr", "1"));
  const std::string maps = dir.sub("g") + sep() + "Maps" + sep(), tex = dir.sub("g") + sep() + "Tex" + sep();
  struct {
    VolumeProbe probe;
    std::vector<Item> items;
    int code;
  } rows[] = {
      {[](const std::string& d, platform::Volume& v) {
         return v.id = d.find("Tex") == std::string::npos ? "C" : "D", v.free = 1000, true;
       }, two, kExitOk},
      {[](const std::string&, platform::Volume& v) { return v.id = "C", v.free = 1000, true; }, two,
       kExitDestination},
      {[](const std::string&, platform::Volume& v) { return v.id = "C", v.free = 1 << 20, v.cluster = 4096, true; },
       tiny, kExitDestination},
      {[](const std::string&, platform::Volume& v) { return v.id = "C", v.free = 2 << 20, v.cluster = 4096, true; },
       tiny, kExitOk},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    fs::create_directories(dir.path() / "g" / "Tex");  // measured where it exists
    set_volume_probe(row.probe);
    int rc = run({"-extract", "-all-or-nothing", archive(row.items), "maps/*", maps, "*", tex});
    set_volume_probe(nullptr);
    EXPECT_EQ(rc, row.code) << report.all_err();
  }
}

TEST_F(ExtractTest, OverwriteNeverKeepsAndAllReplaces) {
  std::string zip = archive({file("Maps/a.unr", "new A"), file("b.utx", "new B")});
  fs::create_directories(dir.path() / "out");
  test::write_file(dir.path() / "out" / "a.unr", "old A");

  ASSERT_EQ(run({"-extract", zip, out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Kept (differs from the archive's): a.unr", "Extracted: b.utx"}));
  EXPECT_EQ(test::read_file(dir.path() / "out" / "a.unr"), "old A");
  // Everything kept is still a success; identical means same size and CRC-32.
  ASSERT_EQ(run({"-extract", "-overwrite=never", zip, out_dir()}), kExitOk);
  EXPECT_EQ(report.out_lines, (Lines{"Kept (differs from the archive's): a.unr", "Kept (identical): b.utx"}));
  test::write_file(dir.path() / "out" / "a.unr", "new a");  // same size, other bytes
  ASSERT_EQ(run({"-extract", zip, "a.unr", out_dir()}), kExitOk);
  EXPECT_EQ(report.out_lines, Lines{"Kept (differs from the archive's): a.unr"});

  ASSERT_EQ(run({"-overwrite=all", "-extract", zip, out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: a.unr", "Extracted: b.utx"}));
  EXPECT_EQ(test::read_file(dir.path() / "out" / "a.unr"), "new A");
  EXPECT_EQ(tree(), (Lines{"a.unr", "b.utx"}));  // no temporary files left

  // A read-only file is kept under "never" and refused, unchanged, under "all".
  test::write_file(dir.path() / "out" / "a.unr", "mine");
  test::make_read_only(dir.path() / "out" / "a.unr");
  ASSERT_EQ(run({"-extract", zip, out_dir()}), kExitOk);
  EXPECT_EQ(report.out_lines[0], "Kept (differs from the archive's): a.unr");
  EXPECT_EQ(run({"-extract", "-overwrite=all", zip, out_dir()}), kExitEntries);
  EXPECT_EQ(report.err_lines, Lines{"Error: Maps/a.unr: existing file is read-only; not replaced"});
  EXPECT_EQ(report.out_lines, Lines{"Extracted: b.utx"});
  EXPECT_EQ(test::read_file(dir.path() / "out" / "a.unr"), "mine");

  // A folder where the file goes is an error under either setting.
  fs::remove(dir.path() / "out" / "b.utx");
  fs::create_directories(dir.path() / "out" / "b.utx");
  for (const char* mode : {"-overwrite=never", "-overwrite=all"}) {
    EXPECT_EQ(run({"-extract", mode, zip, "b.utx", out_dir()}), kExitEntries) << mode;
    ASSERT_EQ(report.err_lines.size(), 1u);
    EXPECT_EQ(report.err_lines[0].rfind("Error: b.utx: ", 0), 0u) << report.err_lines[0];
  }
}

TEST_F(ExtractTest, FilesNamedLikeOursAreNeverDeleted) {
  // A player's file may look like a temporary file of ours: no run deletes
  // it, whatever id its name holds, also a run that installs nothing.
  fs::path maps = dir.path() / "out" / "Maps";
  fs::create_directories(maps);
  Lines names = {test::temp_name(test::dead_pid()), test::temp_name(0), test::temp_name(1),
                 test::temp_name(1).substr(0, 7) + "01-1.tmp"};
  for (const std::string& n : names) test::write_file(maps / n, "the player's");
  ASSERT_EQ(run({"-extract", "-directories", archive({file("Maps/a.unr", "A")}), out_dir()}), kExitOk)
      << report.all_err();
  ASSERT_EQ(run({"-extract", "-directories", "-all-or-nothing", archive({file("Maps/a.unr", "A")}), out_dir()}),
            kExitOk);
  Lines expected = {"Maps/", "Maps/a.unr"};
  for (const std::string& n : names) expected.push_back("Maps/" + n);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tree(), expected);
}

// A journal may have been put in the game by anyone (a map unzipped by hand into it): the
// next run acts only on temporary files of ours below the folders it names, and names the
// rest once; one that cannot be read, or a folder of its name, is set aside; one that
// another run holds stops this one before it changes anything.
TEST_F(ExtractTest, AJournalIsUntrustedInput) {
  const fs::path g = dir.path() / "Game";
  const std::string game = dir.sub("Game"), maps = game + sep() + "Maps" + sep(), tex = game + sep() + "Tex" + sep();
  const std::string victim = dir.sub("victim.txt"), dst = dir.sub("dst.txt"), evil = dir.sub("evil.txt");
  const std::string ours = std::string(platform::kTempPrefix) + "1-1", outside = dir.sub(ours + ".tmp");
  const std::string header = "Pkzip25 journal 2\n";
  const std::string hostile = "M\t" + maps + ours + ".tmp\t" + victim + "\t\t1:1\n" +       // a target outside
                              "M\t" + maps + ours + "2.tmp\t" + dst + "\t" + evil + "\t1:1\n" +  // and what replaces it
                              "M\t" + outside + "\t" + maps + "CTF-Player.unr\t\t1:1\n" +    // a temporary file outside
                              "M\t" + maps + ours + "3.tmp\t" + maps + ".." + sep() + ".." + sep() + "dst.txt\t\t1:1\n" +
                              "T\t" + outside + "\nT\tC:\\any\\file\nF\t" + dir.sub("Empty") + "\nC\n";
  // Within the game, named as ours, but the game's file is no file of ours: neither removed
  // nor replaced by a file put beside it.
  const std::string inside = "M\t" + maps + ours + "4.tmp\t" + maps + "CTF-Player.unr\t\t1:1\n" + "M\t" + maps + ours +
                             "5.tmp\t" + maps + "CTF-Player.unr\t" + maps + ours + "5.old\t1:1\nC\n";
  const std::string zip = archive({file("CTF-New.unr", "the map")});
  const Lines args = {"-extract", "-all-or-nothing", zip, "*.unr", maps, "*.utx", tex};
  auto reset = [&] {
    fs::remove_all(g);
    test::write_file(g / "Maps" / "CTF-Player.unr", "the player's");
    for (const std::string& f : {victim, dst, evil, outside}) test::write_file(u8(f), "not the game's");
    fs::create_directories(u8(dir.sub("Empty")));
  };
  const Lines installed = {"Maps/", "Maps/CTF-New.unr", "Maps/CTF-Player.unr"};
  auto untouched = [&](const std::string& row) {
    for (const std::string& f : {victim, dst, evil, outside}) EXPECT_EQ(test::read_file(u8(f)), "not the game's") << row;
    EXPECT_TRUE(fs::is_directory(u8(dir.sub("Empty")))) << row;
    EXPECT_EQ(test::read_file(g / "Maps" / "CTF-Player.unr"), "the player's") << row;
  };
  const struct {
    const char* row;
    std::string journal;
    std::string told;  // in the one warning
    Lines extra;       // left in the game besides the install and the file named as ours
  } rows[] = {
      {"ours, naming what is not ours", header + hostile, "left alone: " + maps + ours + ".tmp, " + victim + ", ", {}},
      {"no journal of ours", hostile, "had the journal's name; it was set aside as ~pkz25-journal-1.txt",
       {"~pkz25-journal-1.txt"}},
      {"unreadable lines", header + "K\tx\nK\t99999999999999999999\nM\tshort\n", "3 line(s) of the journal could not be read", {}},
      {"empty", "", "", {}},
      {"ours, naming the game's own", header + inside, "was taken back; the game is as it was before it", {}},
  };
  for (const auto& r : rows) {
    reset();
    test::write_file(g / "~pkz25-journal.txt", r.journal);
    test::write_file(g / "Maps" / (ours + "5.old"), "the attacker's");
    EXPECT_EQ(run(args), kExitOk) << r.row << report.all_err();
    Lines expected = installed;
    expected.push_back("Maps/" + ours + "5.old");  // a file named as ours that no record made
    expected.insert(expected.end(), r.extra.begin(), r.extra.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::list_tree(g), expected) << r.row;
    untouched(r.row);
    if (r.told.empty()) {
      EXPECT_TRUE(report.err_lines.empty()) << r.row << report.all_err();
    } else {
      ASSERT_EQ(report.err_lines.size(), 1u) << r.row << report.all_err();
      EXPECT_NE(report.err_lines[0].find(r.told), std::string::npos) << r.row << report.all_err();
      EXPECT_EQ(report.err_lines[0].rfind("Warning: " + game + ": ", 0), 0u) << report.err_lines[0];
    }
  }
  // Put right, it is gone: the run after has nothing to tell.
  EXPECT_EQ(run(args), kExitOk) << report.all_err();
  EXPECT_TRUE(report.err_lines.empty()) << report.all_err();

  // A folder of its name, and something in it: set aside whole.
  reset();
  test::write_file(g / "~pkz25-journal.txt" / "note.txt", "the player's note");
  EXPECT_EQ(run(args), kExitOk) << report.all_err();
  EXPECT_EQ(test::read_file(g / "~pkz25-journal-1.txt" / "note.txt"), "the player's note");
  EXPECT_NE(report.all_err().find("something that is no file had the journal's name"), std::string::npos)
      << report.all_err();
  EXPECT_TRUE(fs::exists(g / "Maps" / "CTF-New.unr"));

  // One this program cannot open (read-only): set aside all the same.
  reset();
  test::write_file(g / "~pkz25-journal.txt", "K\tx\n");
  test::make_read_only(g / "~pkz25-journal.txt");
  EXPECT_EQ(run(args), kExitOk) << report.all_err();
  EXPECT_NE(report.all_err().find("it was set aside as ~pkz25-journal-1.txt"), std::string::npos) << report.all_err();
  EXPECT_EQ(test::read_file(g / "~pkz25-journal-1.txt"), "K\tx\n");
  fs::permissions(g / "~pkz25-journal-1.txt", fs::perms::owner_write, fs::perm_options::add);

  // Held by a run that is still going: nothing is changed, nothing taken back.
  reset();
  test::write_file(g / "~pkz25-journal.txt", header + hostile);
  platform::HeldFile held;
  std::string err;
  ASSERT_EQ(held.open((g / "~pkz25-journal.txt").string(), err), platform::HeldFile::Open::Held) << err;
  EXPECT_EQ(run(args), kExitUnwritable);
  EXPECT_NE(report.all_err().find("another install into " + game + " is running"), std::string::npos)
      << report.all_err();
  EXPECT_EQ(test::list_tree(g), (Lines{"Maps/", "Maps/CTF-Player.unr", "~pkz25-journal.txt"}));
  held.close();
  EXPECT_EQ(run(args), kExitOk) << report.all_err();
  untouched("once it has ended");
}

TEST_F(ExtractTest, SameOutputNameTwice) {
  // Flattening puts both readmes on one file: the first wins under "never",
  // the last under "all", exactly as a one-by-one run would do.
#ifdef _WIN32
  const std::string second = "README.TXT";  // the same file on Windows
#else
  const std::string second = "readme.txt";
#endif
  std::string zip = archive({file("Maps/readme.txt", "maps"), file("Textures/" + second, "textures")});
  ASSERT_EQ(run({"-extract", zip, out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: readme.txt", "Duplicate: " + second +
                                     " (an earlier entry of the archive has the same name; not written)"}));
  EXPECT_EQ(test::read_file(dir.path() / "out" / "readme.txt"), "maps");
  fs::remove_all(dir.path() / "out");
  ASSERT_EQ(run({"-extract", "-overwrite=all", zip, out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, (Lines{"Extracted: readme.txt", "Extracted: " + second}));
  EXPECT_EQ(tree().size(), 1u);
  EXPECT_EQ(test::read_file(dir.path() / "out" / tree()[0]), "textures");
#ifdef _WIN32
  // Names Windows itself folds together: the first in archive order wins, every run.
  const char* const pairs[][2] = {{"\xEF\xBC\xA1map.unr", "\xEF\xBD\x81map.unr"},
                                  {"\xE1\xBA\xA0.unr", "\xE1\xBA\xA1.unr"},
                                  {"\xC5\xB8.unr", "\xC3\xBF.unr"}};
  for (const auto& pair : pairs) {
    Item first = file(pair[0], "first"), second = file(pair[1], "second");
    first.flags = second.flags = 0x0800;
    fs::remove_all(dir.path() / "out");
    ASSERT_EQ(run({"-extract", archive({first, second}), out_dir()}), kExitOk) << report.all_err();
    EXPECT_EQ(tree(), Lines{pair[0]});
    EXPECT_EQ(test::read_file(dir.path() / "out" / u8(pair[0])), "first") << pair[0];
  }
#endif
}

TEST_F(ExtractTest, Patterns) {
  std::string zip = archive({file("Maps/CTF-Foo.unr", "1"), file("Maps/DM-Bar.unr", "2"), file("Textures/Foo.utx", "3"),
                             file("Help/ReadMe.txt", "4")});
  ASSERT_EQ(run({"-extract", zip, "*.UNR", out_dir()}), kExitOk);
  EXPECT_EQ(tree(), (Lines{"CTF-Foo.unr", "DM-Bar.unr"}));
  fs::remove_all(dir.path() / "out");
  ASSERT_EQ(run({"-extract", "-directories", zip, "ctf-*", "textures/*", out_dir()}), kExitOk);
  EXPECT_EQ(tree(), (Lines{"Maps/", "Maps/CTF-Foo.unr", "Textures/", "Textures/Foo.utx"}));
  fs::remove_all(dir.path() / "out");
  ASSERT_EQ(run({"-extract", zip, "readme.???", out_dir()}), kExitOk);
  EXPECT_EQ(tree(), Lines{"ReadMe.txt"});
  fs::remove_all(dir.path() / "out");
  // Nothing matched is told apart from failure, and writes nothing.
  EXPECT_EQ(run({"-extract", zip, "*.umx", "Maps", out_dir()}), kExitNothingMatched);
  EXPECT_TRUE(report.out_lines.empty());
  EXPECT_TRUE(tree().empty());
  EXPECT_EQ(run({"-extract", archive({}), out_dir()}), kExitNothingMatched);
  EXPECT_EQ(run({"-extract", archive({folder("Maps/")}), out_dir()}), kExitNothingMatched);
  EXPECT_EQ(run({"-extract", "-directories", archive({folder("Maps/")}), out_dir()}), kExitOk);
  EXPECT_EQ(tree(), Lines{"Maps/"});
  fs::remove_all(dir.path() / "out");
  // -exclude leaves entries out as if absent.
  zip = archive({file("Maps/CTF-Foo.unr", "1"), file("Textures/Foo.utx", "3"), file("Help/ReadMe.txt", "4")});
  ASSERT_EQ(run({"-extract", "-exclude=maps/*", "-EXCLUDE=*.txt", zip, out_dir()}), kExitOk);
  EXPECT_EQ(tree(), Lines{"Foo.utx"});
  EXPECT_EQ(run({"-extract", "-exclude=*", zip, out_dir()}), kExitNothingMatched);
}

TEST_F(ExtractTest, RefusedNamesWriteNothingAndAreEachReported) {
  // Refused with or without folders: the file's own name is unsafe.
  const std::string long_name = std::string(252, 'L') + ".unr";
  const char* bad[] = {"good.txt:stream", "a<b.txt", "a>b.txt", "a|b.txt", "a\"b.txt", "a?b.txt", "a*b.txt",
                       "tab\there.txt", "CON", "nul.txt", "Maps/AUX.unr", "PRN.log", "COM1", "com9.txt",
                       "LPT1.txt", "lpt9", "dot.", "space ", "C:drive2.txt", long_name.c_str()};
  // Refused only where folders are made; flattened, the folders are thrown away.
  const char* bad_folders[] = {"../evil.txt", "/abs.txt", "\\\\server\\share\\unc.txt", "C:\\drive.txt",
                               "Maps./x.unr", "Docs /read.me", "Maps/../../evil2.txt"};
  std::vector<Item> items;
  for (const char* b : bad) items.push_back(file(b, "evil"));
  for (const char* b : bad_folders) items.push_back(file(b, "fine"));
  items.push_back(folder("./"));  // as tar-style tools store the archive's root and its names
  items.push_back(file("./Maps/good.txt", "fine"));
  std::string zip = archive(items);
  for (bool folders : {false, true}) {
    EXPECT_EQ(run({"-extract", folders ? "-directories" : "-overwrite=never", zip, out_dir()}), kExitRefused);
    EXPECT_TRUE(report.err_lines.empty()) << report.all_err();
    ASSERT_EQ(report.out_lines.size(), items.size() - 1);
    Lines refused(report.out_lines.begin(), report.out_lines.begin() + std::size(bad) + (folders ? std::size(bad_folders) : 0));
    for (size_t i = 0; i < refused.size(); ++i) {
      std::string shown = i < std::size(bad) ? bad[i] : bad_folders[i - std::size(bad)];
      for (char& c : shown)
        if (c == '\t') c = '?';  // a control character is never printed as such
      EXPECT_EQ(refused[i].rfind("Refused: " + shown + " (", 0), 0u) << refused[i];
    }
    EXPECT_EQ(report.out_lines.back(), "Extracted: " + std::string(folders ? "Maps" + sep() : "") + "good.txt");
    Lines expected = folders ? Lines{"Maps/", "Maps/good.txt"}
                             : Lines{"abs.txt", "drive.txt", "evil.txt", "evil2.txt", "good.txt", "read.me",
                                     "unc.txt", "x.unr"};
    EXPECT_EQ(tree(), expected);
    fs::remove_all(dir.path() / "out");
  }
  EXPECT_NE(run({"-extract", zip, out_dir()}), kExitOk);
  EXPECT_NE(report.out_lines[std::size(bad) - 1].find("(name longer than 255 characters)"), std::string::npos);
  // Nothing escaped into the scratch folder or its parent.
  EXPECT_FALSE(fs::exists(dir.path() / "evil.txt"));
  EXPECT_FALSE(fs::exists(dir.path().parent_path() / "evil.txt"));

  // Absurd depth is refused, quickly, where folders are made (1,000 levels
  // cost Wine 20 s); 64 levels are made. Flattened, depth costs nothing.
  std::string deep, deep64;
  for (int i = 0; i < 1000; ++i) deep += "d/";
  for (int i = 0; i < 64; ++i) deep64 += "e/";
  zip = archive({file(deep + "deep.unr", "x"), file(deep64 + "ok.unr", "y"), folder(deep)});
  EXPECT_EQ(run({"-extract", "-directories", zip, out_dir()}), kExitRefused);
  ASSERT_EQ(report.out_lines.size(), 3u);
  EXPECT_NE(report.out_lines[0].find(" (deeper than 64 folders)"), std::string::npos) << report.out_lines[0];
  EXPECT_EQ(report.out_lines[1].rfind("Extracted: ", 0), 0u);
  EXPECT_EQ(test::read_file(dir.path() / "out" / u8(deep64 + "ok.unr")), "y");
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "d"));
}

TEST_F(ExtractTest, CorruptTruncatedAndUnsupportedEntries) {
  Item bad = file("bad.unr", std::string(200000, 'x'));
  bad.bad_crc = true;
  Item secret = file("secret.txt", "x");
  secret.flags = 1;
  Item bz = file("packed.bz2", "x");
  bz.method = 12;
  Item link = file("link", "/etc/passwd");
  link.made_by = 0x0314;
  link.external_attr = 0120777u << 16;
  std::string zip = archive({bad, file("ok.txt", "ok"), secret, bz, link});
  EXPECT_EQ(run({"-extract", zip, out_dir()}), kExitEntries);
  ASSERT_EQ(report.out_lines.size(), 2u);
  EXPECT_EQ(report.out_lines[0], "Extracted: ok.txt");
  EXPECT_EQ(report.out_lines[1], "Refused: link (a link; links are never created)");
  ASSERT_EQ(report.err_lines.size(), 3u);
  EXPECT_NE(report.err_lines[0].find("bad.unr: CRC-32 mismatch"), std::string::npos);
  EXPECT_NE(report.err_lines[1].find("secret.txt: encrypted"), std::string::npos);
  EXPECT_NE(report.err_lines[2].find("packed.bz2: compression method bzip2"), std::string::npos);
  EXPECT_EQ(tree(), Lines{"ok.txt"});  // no partial or temporary file

  // -test finds the same faults and writes nothing.
  EXPECT_EQ(run({"-test", zip}), kExitEntries);
  EXPECT_EQ(report.out_lines[0], "Tested: ok.txt");
  EXPECT_EQ(report.err_lines.size(), 3u);
  EXPECT_EQ(run({"-test", zip, "ok.txt", "link"}), kExitRefused);
  EXPECT_EQ(run({"-test", "-directories", archive({folder("Maps/"), file("Maps/a.unr", "a")})}), kExitOk);
  EXPECT_EQ(report.out_lines, Lines{"Tested: Maps" + sep() + "a.unr"});
  EXPECT_EQ(tree(), Lines{"ok.txt"});
  zip = archive({bad, file("ok.txt", "ok"), secret, bz, link});

  // Even an existing file is not touched by a corrupt entry under "all".
  test::write_file(dir.path() / "out" / "bad.unr", "mine");
  EXPECT_EQ(run({"-extract", "-overwrite=all", zip, "bad.unr", out_dir()}), kExitEntries);
  EXPECT_EQ(test::read_file(dir.path() / "out" / "bad.unr"), "mine");

  // A truncated archive is refused as a whole; a missing one too.
  std::string bytes = build_zip({file("a.txt", std::string(5000, 'a'))});
  test::write_file(u8(dir.sub("cut.zip")), bytes.substr(0, bytes.size() - 30));
  EXPECT_EQ(run({"-extract", dir.sub("cut.zip"), out_dir()}), kExitArchive);
  ASSERT_EQ(report.err_lines.size(), 1u);
  EXPECT_EQ(report.err_lines[0].rfind("Error: " + dir.sub("cut.zip") + ": ", 0), 0u);
  EXPECT_NE(report.err_lines[0].find("truncated"), std::string::npos);
  EXPECT_EQ(run({"-extract", dir.sub("missing.zip"), out_dir()}), kExitArchive);
  EXPECT_EQ(run({"-extract", dir.str(), out_dir()}), kExitArchive);  // a folder is not an archive
  // An end record that misstates the directory's size is recovered, with a warning.
  bytes = build_zip({file("a.txt", "A")});
  bytes[bytes.size() - 22 + 12] += 9;
  test::write_file(u8(dir.sub("size.zip")), bytes);
  EXPECT_EQ(run({"-extract", dir.sub("size.zip"), out_dir()}), kExitOk);
  EXPECT_EQ(report.all_err().rfind("Warning: " + dir.sub("size.zip") + ": the end record misstates", 0), 0u);

  // Entries that share one local header (a zip bomb) are refused before anything is written.
  std::vector<Item> bomb(20, file("bomb0.bin", std::string(1 << 20, '\0')));
  for (size_t i = 1; i < bomb.size(); ++i) {
    bomb[i].name = "bomb" + std::to_string(i) + ".bin";
    bomb[i].central_only = true;
    bomb[i].central_offset = 0;
  }
  fs::remove_all(dir.path() / "out");
  EXPECT_EQ(run({"-extract", archive(bomb), out_dir()}), kExitArchive);
  EXPECT_NE(report.all_err().find("possible zip bomb"), std::string::npos) << report.all_err();
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST_F(ExtractTest, UnicodeNamesBecomeRealFileNames) {
  Item utf8 = file("Karten/\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.unr", "jp");  // 日本-😀
  utf8.flags = 0x0800;
  Item cp437 = file("\x8E" "rger.txt", "de");  // Ärger in CP437
  Item cyr = file("\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.utx", "ru");
  cyr.flags = 0x0800;
  std::string zip = archive({utf8, cp437, cyr});
  ASSERT_EQ(run({"-extract", "-directories", zip, out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines,
            (Lines{"Extracted: Karten" + sep() + "\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.unr",
                   "Extracted: \xC3\x84rger.txt", "Extracted: \xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.utx"}));
  EXPECT_EQ(test::read_file(dir.path() / "out" / u8("Karten/\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.unr")), "jp");
  EXPECT_EQ(test::read_file(dir.path() / "out" / u8("\xC3\x84rger.txt")), "de");
  EXPECT_EQ(test::read_file(dir.path() / "out" / u8("\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.utx")), "ru");
  // Patterns ignore case beyond ASCII too.
  fs::remove_all(dir.path() / "out");
  ASSERT_EQ(run({"-extract", zip, "\xC3\xA4*", out_dir()}), kExitOk);
  EXPECT_EQ(tree(), Lines{"\xC3\x84rger.txt"});
}

TEST_F(ExtractTest, ModificationTimeComesFromTheEntry) {
  Item ut = file("ut.txt", "x");
  ut.central_extra = std::string("UT\x05\x00\x01\x00\xCA\x9A\x3B", 9);  // 2001-09-09 01:46:40 UTC
  Item dos = file("dos.txt", "y");  // 2025-01-01 12:00:00 local time
  ASSERT_EQ(run({"-extract", archive({ut, dos}), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(test::mtime_of(dir.path() / "out" / "ut.txt"), 1000000000);
  struct tm local = {};
  local.tm_year = 125;
  local.tm_mday = 1;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  int64_t expected = static_cast<int64_t>(std::mktime(&local));
  // The C runtime and Windows may disagree on the zone; the date must still be that day.
  EXPECT_NEAR(static_cast<double>(test::mtime_of(dir.path() / "out" / "dos.txt")), static_cast<double>(expected),
              14 * 3600.0);

  // Each common zip tool's way of storing the time (field layouts from APPNOTE
  // and Info-ZIP's extra-field list; Windows Explorer's is dos.txt above). The
  // DOS time says 2025, the fields 2001, so a fallback to the DOS time shows.
  const std::string t("\x00\xCA\x9A\x3B", 4), ft("\x00\x80\xFF\x44\xD1\x38\xC1\x01", 8);  // 1000000000
  std::string ntfs = std::string("\x0A\x00\x20\x00\0\0\0\0\x01\x00\x18\x00", 12) + ft + ft + ft;
  std::string ux = std::string("ux\x0B\x00\x01\x04\xF5\x01\0\0\x04\x14\0\0\0", 15);  // Unix uid/gid
  // The older Info-ZIP Unix field: access time (here 2001-09-09 02:00:00), then the modification time.
  const std::string atime("\x20\xCE\x9A\x3B", 4);
  std::string old_ux = std::string("UX\x08\x00", 4) + atime + t;
  std::string old_ux_local = std::string("UX\x0C\x00", 4) + atime + t + std::string("\xF5\x01\x14\x00", 4);
  auto stamp = [&](char flags, int times) {  // 0x5455, mtime first
    std::string f = std::string("UT", 2) + static_cast<char>(1 + 4 * times) + '\0' + flags;
    for (int i = 0; i < times; ++i) f += t;
    return f;
  };
  struct Row {
    const char* tool;
    bool descriptor;
    std::string central, local;
  } rows[] = {
      {"7-Zip, WinRAR, WinZip", false, ntfs, ntfs},
      {"Info-ZIP on Linux", false, stamp(3, 1) + ux, stamp(3, 2) + ux},
      {"Info-ZIP on macOS", false, old_ux, old_ux_local},
      {"a timestamp that announces 3 and holds 1", false, stamp(7, 1) + ux, stamp(7, 3) + ux},
      {"the old Unix field beside a timestamp", false, std::string("UX\x08\x00", 4) + atime + atime + stamp(1, 1), ""},
      {"macOS Archive Utility", true, "", stamp(3, 2) + ux},             // only in the local header
      {"Go archive zip", true, stamp(1, 1), stamp(1, 1)},
  };
  std::vector<Item> items;
  for (const Row& r : rows) {
    items.push_back(file(std::string(r.tool) + ".unr", r.tool));
    items.back().descriptor = r.descriptor;
    items.back().central_extra = r.central;
    items.back().local_extra = r.local;
  }
  fs::remove_all(dir.path() / "out");
  ASSERT_EQ(run({"-extract", archive(items), out_dir()}), kExitOk) << report.all_err();
  for (const Row& r : rows) {
    EXPECT_EQ(test::read_file(dir.path() / "out" / (std::string(r.tool) + ".unr")), r.tool);
    EXPECT_EQ(test::mtime_of(dir.path() / "out" / (std::string(r.tool) + ".unr")), 1000000000) << r.tool;
  }
}

TEST_F(ExtractTest, TimesOfRealArchivesFromEachTool) {
  // Go's own test archives, with the times Go's reader test states for them.
  const std::string go = ORVANE_GO_ZIP_TESTDATA;
  const int64_t oct31 = 1509509517, nov6 = 1510002567;  // 2017-11-01 04:11:57 and 2017-11-06 21:09:27 UTC
  const std::pair<const char*, int64_t> rows[] = {
      {"time-osx.zip", oct31},  {"utf8-osx.zip", nov6},      {"time-infozip.zip", oct31}, {"utf8-infozip.zip", nov6},
      {"time-7zip.zip", oct31}, {"time-winrar.zip", oct31}, {"time-winzip.zip", oct31},  {"time-go.zip", oct31},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "out");
    ASSERT_EQ(run({"-extract", go + "/" + row.first, out_dir()}), kExitOk) << row.first << report.all_err();
    ASSERT_EQ(tree().size(), 1u) << row.first;
    EXPECT_EQ(test::mtime_of(dir.path() / "out" / u8(tree()[0])), row.second) << row.first;
  }
}

TEST_F(ExtractTest, ManyFilesReportInArchiveOrder) {
  std::vector<Item> items;
  Lines expected;
  for (int i = 0; i < 60; ++i) {
    std::string name = "f" + std::to_string(i) + ".unr";
    // Sizes vary so the workers finish out of order.
    items.push_back(file("Maps/" + name, std::string(static_cast<size_t>((60 - i) * 7919), static_cast<char>('a' + i % 26))));
    expected.push_back("Extracted: " + name);
  }
  ASSERT_EQ(run({"-extract", archive(items), out_dir()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, expected);
  EXPECT_EQ(tree().size(), 60u);
  EXPECT_EQ(test::read_file(dir.path() / "out" / "f59.unr"), std::string(7919, static_cast<char>('a' + 59 % 26)));
}

TEST_F(ExtractTest, GroupsSendEachPatternToItsFolder) {
  Item bad = file("b.utx", "broken");
  bad.bad_crc = true;
  std::vector<Item> items = {file("Pack/a.unr", "map"), file("Pack/a.UTX", "tex"), file("shot.jpg", "j"),
                             file("Why?.jpg", "w"), file("Other/A.unr", "again"), file("__MACOSX/._a.unr", "m")};
  std::string zip = archive(items);
  const std::string maps = dir.sub("Game") + sep() + "Maps" + sep(), tex = dir.sub("Game") + sep() + "Tex" + sep();
  ASSERT_EQ(run({"-extract", "-all-or-nothing", "-exclude=__MACOSX/*", zip, "*.unr", maps, "*.utx", "*.uax", tex}),
            kExitOk)
      << report.all_err();
  EXPECT_EQ(report.out_lines,
            (Lines{"Total: 2 extracted, 0 identical, 0 differing, 1 duplicates, 1 refused, 1 skipped, 1 excluded, 0 failed, "
                   "0 unpacked, 0 requests, 0 missing, 0 unloadable, 0 unfound",
                   "Extracted: " + maps + "a.unr", "Extracted: " + tex + "a.UTX", "Skipped: shot.jpg",
                   "Refused: Why?.jpg (" + check_entry_name("Why?.jpg") + ")",
                   "Duplicate: " + maps + "A.unr (an earlier entry of the archive has the same name; not written)",
                   "Excluded: __MACOSX/._a.unr"}));
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Maps/", "Maps/a.unr", "Tex/", "Tex/a.UTX"}));

  // A refused name is listed and the rest still goes in.
  fs::remove_all(dir.path() / "Game");
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-exclude=__MACOSX/*", zip, "*.unr", "*.jpg", maps}), kExitRefused);
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Maps/", "Maps/a.unr", "Maps/shot.jpg"}));
  // All or nothing: one damaged or unwritable entry and nothing goes in, not
  // even the folders the run made. Every final name is checked before the
  // first move: a folder in its place, a path too long for Windows.
  fs::remove_all(dir.path() / "Game");
  fs::create_directories(dir.path() / "Game" / "Tex" / "a.UTX");
  EXPECT_EQ(run({"-extract", "-all-or-nothing", zip, "*.unr", maps, "*.utx", tex}), kExitUnwritable);
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Tex/", "Tex/a.UTX/"}));
  EXPECT_NE(report.all_err().find("a folder of that name is in the way"), std::string::npos) << report.all_err();
  EXPECT_EQ(std::count(report.out_lines.begin(), report.out_lines.end(),
                       "Failed: in-the-way: Pack/a.UTX (a folder of that name is in the way of " + tex + "a.UTX)"), 1);
#ifdef _WIN32
  const std::string deep = dir.sub("Game") + sep() + std::string(200, 'D') + sep();
  EXPECT_EQ(run({"-extract", "-all-or-nothing", archive({file("a.unr", "A"), file(std::string(60, 'b') + ".utx", "B")}),
                 "*.unr", maps, "*.utx", deep}), kExitUnwritable);
  EXPECT_NE(report.all_err().find("the path is too long for Windows"), std::string::npos) << report.all_err();
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Tex/", "Tex/a.UTX/"}));
#endif
  fs::remove_all(dir.path() / "Game");
  items.push_back(bad);
  zip = archive(items);
  EXPECT_EQ(run({"-extract", "-all-or-nothing", zip, "*.unr", maps, "*.utx", tex}), kExitEntries);
  EXPECT_FALSE(fs::exists(dir.path() / "Game"));
  fs::create_directories(dir.path() / "Game");
  test::write_file(dir.path() / "Game" / "Tex", "a file where the folder goes");
  EXPECT_EQ(run({"-extract", "-all-or-nothing", zip, "*.unr", maps, "*.utx", tex}), kExitUnwritable);
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), Lines{"Tex"});
  // A move that fails after the checks takes back the moves before it, and a
  // file it replaced comes back.
  fs::remove_all(dir.path() / "Game");
  fs::create_directories(dir.path() / "Game" / "Maps");
  test::write_file(dir.path() / "Game" / "Maps" / "a.unr", "the player's a");
  test::write_file(dir.path() / "Game" / "Maps" / "b.unr", "the player's b");
  test::make_read_only(dir.path() / "Game" / "Maps" / "b.unr");
  std::string ab = archive({file("a.unr", "new a"), file("b.unr", "new b"), file("c.unr", "new c")});
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-overwrite=all", ab, "*.unr", maps, "*.none", tex}), kExitUnwritable);
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Maps/", "Maps/a.unr", "Maps/b.unr"}));
  EXPECT_EQ(test::read_file(dir.path() / "Game" / "Maps" / "a.unr"), "the player's a");
  EXPECT_EQ(report.out_lines[0].find(" 0 extracted,"), 6u) << report.out_lines[0];
  fs::permissions(dir.path() / "Game" / "Maps" / "b.unr", fs::perms::owner_write, fs::perm_options::add);
  zip = archive(items);
  // Without it the same run puts in what it can.
  fs::remove_all(dir.path() / "Game");
  fs::create_directories(dir.path() / "Game");
  test::write_file(dir.path() / "Game" / "Tex", "a file where the folder goes");
  EXPECT_EQ(run({"-extract", "-exclude=__MACOSX/*", zip, "*.unr", maps, "*.utx", tex}), kExitEntries);
  EXPECT_EQ(test::list_tree(dir.path() / "Game"), (Lines{"Maps/", "Maps/a.unr", "Tex"}));
  // A destination with no pattern before it is a mistake.
  EXPECT_EQ(run({"-extract", zip, maps, "*.unr", tex}), kExitUsage);
}

// Adds the import of the object at the dotted `path` ("CityTex.Walls.Brick") of the
// class class_package.class_name, after those of its package and groups (each once).
void import_object(test::PackageSpec& spec, const std::string& class_package, const std::string& class_name,
                   const std::string& path) {
  int32_t outer = 0;
  std::string rest = path;
  for (size_t dot; (dot = rest.find('.')) != std::string::npos; rest.erase(0, dot + 1)) {
    const std::string part = rest.substr(0, dot);
    auto same = std::find_if(spec.imports.begin(), spec.imports.end(), [&](const test::PackageImportSpec& i) {
      return i.class_name == "Package" && i.object_name == part && i.outer == outer;
    });
    if (same == spec.imports.end()) {
      spec.imports.push_back({"Core", "Package", part, outer});
      same = spec.imports.end() - 1;
    }
    outer = test::import_ref(same - spec.imports.begin());
  }
  spec.imports.push_back({class_package, class_name, rest, outer});
}

// What every map of the game imports: classes that the game's program defines.
const char* const kMapClasses[] = {"Engine.Level", "Engine.Model", "Engine.Polys", "Core.TextBuffer"};

// A map that uses one object of each (package, class); a group inside the first
// package holds its object, as map textures often sit in groups.
// long_names of 1000 bytes each put its import table that far into the file.
std::string package_needing(const std::vector<std::pair<std::string, std::string>>& uses, size_t long_names = 0) {
  test::PackageSpec spec;
  spec.names = {"None", "Core", "Engine", "Package", "Walls"};
  for (size_t k = 0; k < long_names; ++k) spec.names.push_back(std::to_string(k) + std::string(1000, 'x'));
  for (const auto& u : uses)
    import_object(spec, u.second == "Class" ? "Core" : "Engine", u.second,
                  u.first + (&u == &uses[0] ? ".Walls." : ".") + "Thing" + u.first);
  for (const char* c : kMapClasses) import_object(spec, "Core", "Class", c);
  return test::build_package(spec);
}

// A package that takes each (class package, class, dotted path) object.
std::string package_taking(const std::vector<std::vector<std::string>>& objects) {
  test::PackageSpec spec;
  spec.names = {"None"};
  for (const auto& o : objects) import_object(spec, o[0], o[1], o[2]);
  return test::build_package(spec);
}

// A package that holds each (class, dotted path) object: "Texture", "Walls.ThingCityTex"
// is a texture in the group Walls; a class object for Class; the class of each other
// object is Engine's, Core's for a package, a property or a function (whose
// classes the game's program defines, and which it imports as the game's own packages do).
// takes: (class package, class, dotted path) objects it takes from other packages, too.
std::string package_holding(const std::vector<std::pair<std::string, std::string>>& objects,
                            const std::vector<std::vector<std::string>>& takes = {}) {
  test::PackageSpec spec;
  spec.names = {"None"};
  for (const auto& t : takes) import_object(spec, t[0], t[1], t[2]);
  auto class_ref = [&](const std::string& cls) {
    const bool core = cls == "Package" || cls == "Function" || cls.find("Property") != std::string::npos;
    for (size_t i = 0; i < spec.imports.size(); ++i)
      if (spec.imports[i].object_name == cls && spec.imports[i].class_name == "Class") return test::import_ref(i);
    import_object(spec, "Core", "Class", (core ? "Core." : "Engine.") + cls);
    return test::import_ref(spec.imports.size() - 1);
  };
  for (const auto& o : objects) {
    int32_t outer = 0;
    std::string path = o.second;
    for (size_t dot; (dot = path.find('.')) != std::string::npos; path.erase(0, dot + 1)) {
      spec.exports.push_back({class_ref("Package"), 0, outer, path.substr(0, dot)});
      outer = static_cast<int32_t>(spec.exports.size());
    }
    spec.exports.push_back({o.first == "Class" ? 0 : class_ref(o.first), 0, outer, path});
  }
  return test::build_package(spec);
}

// The game's System\Core.u and System\Engine.u as the real ones are made: they export
// their script classes (and Engine, in Actor, properties named as intrinsic classes
// are), never the classes that the game's program defines.
void write_stock_packages(const fs::path& game) {
  test::write_file(game / "System" / "Core.u",
                   package_holding({{"Class", "Object"}, {"Class", "Commandlet"}, {"Class", "Locale"},
                                    {"Class", "Subsystem"}, {"NameProperty", "Object.Name"}}));
  test::write_file(game / "System" / "Engine.u",
                   package_holding({{"Class", "Actor"}, {"Class", "Texture"}, {"Class", "LevelInfo"},
                                    {"ObjectProperty", "Actor.Level"}, {"ObjectProperty", "Actor.Sound"}}));
}

TEST_F(ExtractTest, PackagesTheInstallNeedsAndLacks) {
  // The map needs six packages: one the archive brings, one the game has
  // under another case, one in a folder the game's ini adds, and three that
  // nothing holds. A group is no package; a file that is no package is told.
  // The map's import table lies beyond the start kept as it is written.
  std::string map = package_needing({{"CityTex", "Texture"}, {"CitySounds", "Sound"}, {"botpack", "Class"},
                                     {"ModTex", "Texture"}, {"OtherPkg", "Texture"}, {"CityMusic", "Music"}}, 80);
  ASSERT_GT(map.size(), 80000u);
  std::string zip = archive({file("Maps/CTF-City.unr", map), file("Textures/OtherPkg.utx", package_holding({{"Texture", "ThingOtherPkg"}})),
                             file("Maps/Broken.unr", "not a package")});
  const std::string game = dir.sub("g"), maps = game + sep() + "Maps" + sep(), tex = game + sep() + "Textures" + sep();
  const std::string paths = "[Core.System]\r\nPaths=../System/*.u\r\nPaths=../Maps/*.unr\r\nPaths=../Textures/*.utx\r\n"
                            "Paths=../Sounds/*.uax\r\nPaths=../Music/*.umx\r\npaths = ../Extra/*.utx\r\n";
  const std::string missing_sound = "Missing: CitySounds (sound package (.uax), needed by " + maps + "CTF-City.unr)";
  const std::string missing_mod = "Missing: ModTex (texture package (.utx), needed by " + maps + "CTF-City.unr)";
  struct {
    std::string ini;  // System\UnrealTournament.ini, or none
    bool mod_missing;
  } rows[] = {{paths, false}, {"", true}, {"[Engine.Engine]\r\nPaths=../Extra/*.utx\r\n", true}};
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    fs::create_directories(dir.path() / "g" / "Extra");
    test::write_file(dir.path() / "g" / "System" / "BotPack.U", "code");  // unreadable: its objects go unchecked
    write_stock_packages(dir.path() / "g");
    test::write_file(dir.path() / "g" / "Extra" / "modtex.utx", "textures");
    if (!row.ini.empty()) test::write_file(dir.path() / "g" / "System" / "UnrealTournament.ini", row.ini);
    EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex}),
              kExitPackages) << report.all_err();
    Lines tail(report.out_lines.end() - (row.mod_missing ? 5 : 4), report.out_lines.end());
    Lines expected = {"Missing: CityTex (texture package (.utx), needed by " + maps + "CTF-City.unr)", missing_sound};
    if (row.mod_missing) expected.push_back(missing_mod);
    expected.push_back("Missing: CityMusic (music package (.umx), needed by " + maps + "CTF-City.unr)");
    expected.push_back("Unloadable: " + maps + "Broken.unr (" + [] {
      MemorySource src("not a package", 13);
      Package p;
      return read_package(src, p);
    }() + ")");
    EXPECT_EQ(tail, expected);
    EXPECT_NE(report.out_lines[0].find(std::string(", ") + (row.mod_missing ? "4" : "3") + " missing, 1 unloadable"),
              std::string::npos) << report.out_lines[0];
  }
  // Everything found: no such line, and the run ends as before. A kept
  // package is checked as the game has it.
  test::write_file(dir.path() / "g" / "System" / "UnrealTournament.ini", paths);
  test::write_file(dir.path() / "g" / "Textures" / "CityTex.utx", package_holding({{"Texture", "Walls.ThingCityTex"}}));
  test::write_file(dir.path() / "g" / "Sounds" / "citysounds.uax", package_holding({{"Sound", "ThingCitySounds"}}));
  test::write_file(dir.path() / "g" / "Music" / "CityMusic.umx", package_holding({{"Music", "ThingCityMusic"}}));
  test::write_file(dir.path() / "g" / "Maps" / "Broken.unr", package_needing({{"Gone", "Texture"}}));
  fs::remove(dir.path() / "g" / "Maps" / "CTF-City.unr");
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex}),
            kExitPackages);
  EXPECT_EQ(report.out_lines.back(), "Missing: Gone (texture package (.utx), needed by " + maps + "Broken.unr)");
  test::write_file(dir.path() / "g" / "Maps" / "Broken.unr", package_needing({}));
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex}), kExitOk);
  EXPECT_EQ(report.out_lines.back(), "Kept (differs from the archive's): " + maps + "Broken.unr");
  // A check that runs out of memory once the files are in place: what went in is told,
  // with the code that says the check could not finish, never as nothing installed.
  fs::remove(dir.path() / "g" / "Maps" / "CTF-City.unr");
  set_env("ORVANE_TEST_CHECK_OUT_OF_MEMORY", "1");
  const int unchecked = run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex});
  set_env("ORVANE_TEST_CHECK_OUT_OF_MEMORY", nullptr);
  EXPECT_EQ(unchecked, kExitUnchecked) << report.all_err();
  EXPECT_TRUE(fs::exists(dir.path() / "g" / "Maps" / "CTF-City.unr"));
  EXPECT_EQ(report.out_lines[0].rfind("Total: 1 extracted,", 0), 0u) << report.out_lines[0];
  EXPECT_NE(std::find(report.out_lines.begin(), report.out_lines.end(), "Extracted: " + maps + "CTF-City.unr"),
            report.out_lines.end());
  EXPECT_NE(report.all_err().find("the check of the installed packages could not finish: out of memory"),
            std::string::npos) << report.all_err();
}

// Each object the map takes is looked for in the first file of its package's name that
// the game finds; why it is not there is told.
TEST_F(ExtractTest, ObjectsAreLookedForWhereTheGameFindsThem) {
  const std::string map = package_needing({{"Render", "Texture"}}), right = package_holding({{"Texture", "Walls.ThingRender"}});
  const std::string game = dir.sub("g"), maps = game + sep() + "Maps" + sep(), tex = game + sep() + "Textures" + sep();
  const std::string unfound = "Unfound: Texture Render.Walls.ThingRender (needed by " + maps + "CTF-X.unr; ";
  struct {
    std::string code, texture;  // the game's System\Render.u, Textures\Render.utx; empty: none
    bool archive_brings;        // the archive brings the right Textures\Render.utx
    std::string why;            // empty: found
  } rows[] = {
      {package_holding({{"Class", "Render"}}), right, false,
       "System\\Render.u is found first under the name Render, and it holds no such texture)"},
      {"", package_holding({{"Texture", "ThingRender"}}), false,
       "Textures\\Render.utx holds ThingRender, but not in the group Walls)"},
      {"", package_holding({{"Sound", "Walls.ThingRender"}}), false,
       "Textures\\Render.utx holds ThingRender, but as a Sound, not a Texture)"},
      {"", package_holding({}), true,
       "the game's Textures\\Render.utx (kept: it differs from the archive's) lacks it)"},
      {"", right, true, ""},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    write_stock_packages(dir.path() / "g");
    if (!row.code.empty()) test::write_file(dir.path() / "g" / "System" / "Render.u", row.code);
    test::write_file(dir.path() / "g" / "Textures" / "Render.utx", row.texture);
    std::vector<Item> files = {file("Maps/CTF-X.unr", map)};
    if (row.archive_brings) files.push_back(file("Textures/Render.utx", right));
    const std::string zip = archive(files);
    EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex}),
              row.why.empty() ? kExitOk : kExitPackages);
    if (!row.why.empty()) {
      EXPECT_EQ(report.out_lines.back(), unfound + row.why);
    }
    EXPECT_EQ(report.out_lines[0].find(", 0 unfound") == std::string::npos, !row.why.empty()) << report.out_lines[0];
  }
}

// Outer chains far longer than the game's, and loops: each such map is told as damage,
// and the check walks it once (bench/packages measures time and memory).
TEST_F(ExtractTest, LongAndLoopingOuterChainsAreDamage) {
  auto exports_in_line = [](size_t n, bool ring) {  // each export in the one before; the first in the last
    test::PackageSpec s;
    for (size_t i = 0; i < n; ++i) s.exports.push_back({0, 0, static_cast<int32_t>(i == 0 && ring ? n : i), "G"});
    return test::build_package(s);
  };
  test::PackageSpec imports;
  imports.imports.push_back({"Core", "Package", "Rocks", 0});
  for (size_t i = 1; i < 4000; ++i) imports.imports.push_back({"Engine", "Texture", "G", test::import_ref(i - 1)});
  const std::string taker = package_needing({{"Chain", "Texture"}, {"Ring", "Texture"}});
  const std::string game = dir.sub("g"), maps = game + sep() + "Maps" + sep(), tex = game + sep() + "Textures" + sep();
  test::write_file(dir.path() / "g" / "System" / "Engine.u", package_holding({{"Class", "Texture"}}));
  test::write_file(dir.path() / "g" / "Textures" / "Rocks.utx", package_holding({{"Texture", "G"}}));
  const std::string zip = archive({file("Maps/Chain.unr", exports_in_line(12000, false)),
                                   file("Maps/Ring.unr", exports_in_line(16000, true)),
                                   file("Maps/Deep.unr", test::build_package(imports)), file("Maps/Taker.unr", taker)});
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.utx", tex}),
            kExitPackages) << report.all_err();
  Lines unloadable;
  for (const std::string& line : report.out_lines)
    if (line.rfind("Unloadable: ", 0) == 0) unloadable.push_back(line);
  EXPECT_EQ(unloadable, (Lines{"Unloadable: " + maps + "Deep.unr (import 65 lies in a chain of imports deeper than 64)",
                               "Unloadable: " + maps + "Chain.unr (export 65 lies in a chain of exports deeper than 64)",
                               "Unloadable: " + maps + "Ring.unr (export 0 lies in a chain of exports that loops)"}));
  EXPECT_EQ(test::list_tree(dir.path() / "g" / "Maps"), (Lines{"Chain.unr", "Deep.unr", "Ring.unr", "Taker.unr"}));
}

// The game finds the classes its program defines, whatever its files export, and what
// each kind of real package imports of them is found; a class that neither it nor the
// file holds is still told. The game's own files are named as such, and where most of
// what is taken from one file is missing, one entry says so.
TEST_F(ExtractTest, TheGamesOwnClassesAndWhatIsMostlyMissing) {
  const std::string game = dir.sub("g"), maps = game + sep() + "Maps" + sep();
  const std::string sys = game + sep() + "System" + sep(), mod = sys + "Mod.u";
  // A code package declares variables and functions: Core's property and function classes.
  std::vector<std::vector<std::string>> code;
  for (const char* c : {"IntProperty", "BoolProperty", "FloatProperty", "ByteProperty", "StrProperty", "NameProperty",
                        "ObjectProperty", "ClassProperty", "StructProperty", "ArrayProperty", "Function", "State",
                        "Enum", "Struct", "Const", "Class", "Package", "TextBuffer", "Language"})
    code.push_back({"Core", "Class", std::string("Core.") + c});
  code.push_back({"Core", "Class", "Engine.Actor"});  // a script class: Engine.u exports it
  for (const char* c : {"Font", "Viewport", "NetConnection", "Mesh", "LodMesh", "Player", "Primitive"})
    code.push_back({"Core", "Class", std::string("Engine.") + c});
  const std::string sounds = package_holding({{"Sound", "Doors.Open"}, {"Sound", "Doors.Shut"}});
  const std::string music = package_holding({{"Music", "Theme"}});
  const std::string textures = package_holding({{"Texture", "Walls.Brick"}, {"Texture", "Floors.Tile"}});
  // HaloAnnouncer's code, taken by a mod whose release lacks it: only the sound package of
  // that name is there.
  std::vector<std::vector<std::string>> halo = {{"Core", "Class", "HaloAnnouncer.HaloAnnouncer"},
                                                {"Core", "Function", "HaloAnnouncer.HaloAnnouncer.Announce"},
                                                {"Core", "Class", "HaloAnnouncer.HaloVoice"},
                                                {"Core", "Function", "HaloAnnouncer.HaloVoice.Speak"}};
  const std::string halo_sounds = package_holding({{"Sound", "Announce1"}, {"Sound", "Announce2"}});
  auto texture_of = [](const char* name) { return std::vector<std::string>{"Engine", "Texture", std::string("City.") + name}; };
  struct {
    std::vector<Item> brings;
    std::vector<std::pair<std::string, std::string>> game_has;  // path under the game, bytes
    Lines unfound;  // the Unfound lines, in order; none: everything is found
  } rows[] = {
      // Real shapes, all clean: a map, a code package, a texture package with groups, a
      // sound and a music package.
      {{file("Maps/CTF-Real.unr", package_needing({{"Doors", "Sound"}}))}, {{"Sounds/Doors.uax", package_holding({{"Sound", "Walls.ThingDoors"}})}}, {}},
      {{file("System/Mod.u", package_taking(code))}, {}, {}},
      {{file("Textures/Walls.utx", textures), file("Sounds/Doors.uax", sounds), file("Music/Theme.umx", music)}, {}, {}},
      // A class that neither the program nor Engine.u holds (a map for a newer patch):
      // told as missing from the game's own file.
      {{file("Maps/CTF-New.unr", package_taking({{"Core", "Class", "Engine.Level"}, {"Core", "Class", "Engine.Hologram"}}))},
       {},
       {"Unfound: Class Engine.Hologram (needed by " + maps + "CTF-New.unr; System\\Engine.u, one of the game's own "
        "files, holds no such class)"}},
      // A package with its own DLL may define classes in code: nothing is said of them.
      {{file("System/Mod.u", package_taking({{"Core", "Class", "ModBase.NativeThing"}}))},
       {{"System/ModBase.u", package_holding({{"Class", "ScriptThing"}})}, {"System/ModBase.dll", "MZ"}}, {}},
      {{file("System/Mod.u", package_taking({{"Core", "Class", "ModBase.NativeThing"}}))},
       {{"System/ModBase.u", package_holding({{"Class", "ScriptThing"}})}},
       {"Unfound: Class ModBase.NativeThing (needed by " + mod + "; System\\ModBase.u holds no such class)"}},
      // Code taken from a name that only a sound package has: one entry.
      {{file("System/Mod.u", package_taking(halo))}, {{"Sounds/HaloAnnouncer.uax", halo_sounds}},
       {"Unfound: 4 objects of HaloAnnouncer (among them Class HaloAnnouncer.HaloAnnouncer, Function "
        "HaloAnnouncer.HaloAnnouncer.Announce, Class HaloAnnouncer.HaloVoice; needed by " + mod + "; "
        "Sounds\\HaloAnnouncer.uax is a sound package (.uax), a package of another kind, and the only file of that "
        "name the game finds: the code package (.u) HaloAnnouncer that they come from is missing)"}},
      // Most of what is taken from one file missing: one entry; a few: each by itself.
      {{file("Maps/CTF-Town.unr", package_taking({texture_of("A"), texture_of("B"), texture_of("C"), texture_of("D")}))},
       {{"Textures/City.utx", package_holding({{"Texture", "A"}})}},
       {"Unfound: 3 objects of City (Texture City.B, Texture City.C, Texture City.D; needed by " + maps +
        "CTF-Town.unr; Textures\\City.utx lacks most of what is taken from it)"}},
      // ... with the reason that fits it, here a code package found first.
      {{file("Maps/CTF-Town.unr", package_taking({texture_of("A"), texture_of("B"), texture_of("C")}))},
       {{"Textures/City.utx", package_holding({{"Texture", "A"}, {"Texture", "B"}, {"Texture", "C"}})},
        {"System/City.u", package_holding({{"Class", "City"}})}},
       {"Unfound: 3 objects of City (Texture City.A, Texture City.B, Texture City.C; needed by " + maps +
        "CTF-Town.unr; System\\City.u is found first under the name City, and it lacks most of what is taken from it)"}},
      {{file("Maps/CTF-Town.unr", package_taking({texture_of("A"), texture_of("B"), texture_of("C"), texture_of("D")}))},
       {{"Textures/City.utx", package_holding({{"Texture", "A"}, {"Texture", "B"}, {"Texture", "C"}})}},
       {"Unfound: Texture City.D (needed by " + maps + "CTF-Town.unr; Textures\\City.utx holds no such texture)"}},
      {{file("Maps/CTF-New.unr", package_taking({{"Core", "Class", "Engine.Hologram"}, {"Core", "Class", "Engine.Beam"},
                                                  {"Core", "Class", "Engine.Laser"}, {"Core", "Class", "Engine.Level"}}))},
       {},
       {"Unfound: 3 objects of Engine (Class Engine.Hologram, Class Engine.Beam, Class Engine.Laser; needed "
        "by " + maps + "CTF-New.unr; System\\Engine.u, one of the game's own files, lacks most of what is taken from "
        "it)"}},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    write_stock_packages(dir.path() / "g");
    for (const auto& f : row.game_has) test::write_file(dir.path() / "g" / f.first, f.second);
    const std::string zip = archive(row.brings);
    EXPECT_EQ(run({"-extract", "-all-or-nothing", "-check-packages=" + game, zip, "*.unr", maps, "*.u", sys, "*.utx",
                   game + sep() + "Textures" + sep(), "*.uax", game + sep() + "Sounds" + sep(), "*.umx",
                   game + sep() + "Music" + sep()}),
              row.unfound.empty() ? kExitOk : kExitPackages) << report.all_err();
    Lines unfound;
    for (const std::string& l : report.out_lines)
      if (l.rfind("Unfound: ", 0) == 0 || l.rfind("Missing", 0) == 0 || l.rfind("Unloadable", 0) == 0)
        unfound.push_back(l);
    EXPECT_EQ(unfound, row.unfound);
    EXPECT_NE(report.out_lines[0].find(", " + std::to_string(row.unfound.size()) + " unfound"), std::string::npos)
        << report.out_lines[0];
  }
}

// What each finding of the whole game's check holds, one line each, to compare rows by.
Lines findings(const GameCheck& r) {
  auto all = [](const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : ",") + x;
    return s;
  };
  Lines out;
  for (const GameCheck::Missing& m : r.missing)
    out.push_back("missing " + m.name + " " + kind_text(m.kinds) + (m.stock ? " stock" : "") + " maps=" + all(m.maps) +
                  " mods=" + all(m.mods) + (m.through.empty() ? "" : " through=" + all(m.through)));
  for (const GameCheck::Unfound& u : r.unfound)
    out.push_back("unfound " + u.what.object + " in " + u.what.file + " by=" + all(u.what.needed_by));
  for (const GameCheck::Damaged& d : r.damaged)
    out.push_back("damaged " + d.shown + " " + std::to_string(static_cast<int>(d.why)) + (d.loaded ? "" : " hidden") +
                  (d.needed_by.empty() ? "" : " by=" + all(d.needed_by)));
  for (const GameCheck::Hidden& h : r.hidden)
    out.push_back("hidden " + h.later + " behind " + h.first + " holds=" + all(h.objects) + " by=" + all(h.needed_by));
  out.push_back("failing " + all(r.failing_maps));
  return out;
}

// Each kind of finding of the whole game's check, in a game shaped as the real ones are;
// a map fails with what it needs, and with a mod it needs that fails.
TEST_F(ExtractTest, WholeGameCheckFindsWhatWillNotLoad) {
  const std::string city = package_holding({{"Texture", "Walls.ThingCityTex"}});
  const std::string doors = package_holding({{"Sound", "ThingDoors"}});
  const std::string map_a = package_needing({{"CityTex", "Texture"}, {"Doors", "Sound"}});
  std::vector<std::vector<std::string>> code;  // what a code package takes of Core's and Engine's
  for (const char* c : {"Core.IntProperty", "Core.Function", "Core.State", "Engine.Actor", "Engine.Font"})
    code.push_back({"Core", "Class", c});
  test::PackageSpec past;  // an export's data lies past the end of the file
  past.exports = {{0, 0, 0, "Thing", 0, 100, 1000000}};
  test::PackageSpec v70;
  v70.version = 70;
  const GameCheck::Damage empty = GameCheck::Damage::kEmpty, cut = GameCheck::Damage::kPastEnd;
  using D = GameCheck::Damage;
  auto n = [](D d) { return std::to_string(static_cast<int>(d)); };
  struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // under the game; "DIR" makes a folder
    Lines expected;
  } rows[] = {
      {"a clean game",
       {{"Maps/CTF-A.unr", map_a}, {"Textures/CityTex.utx", city}, {"Sounds/Doors.uax", doors},
        {"System/Mod.u", package_holding({{"Class", "Thing"}}, code)}},
       {"failing "}},
      {"missing packages, those most maps need first; the game's own named as such",
       {{"Maps/CTF-A.unr", package_needing({{"Gone1", "Texture"}, {"Gone2", "Texture"}})},
        {"Maps/CTF-B.unr", package_needing({{"gone2", "Texture"}})},
        {"Maps/CTF-C.unr", package_needing({{"Botpack", "Class"}})},
        {"System/Mod.u", package_taking({{"Core", "Class", "Gone1.Thing"}})}},
       {"missing Gone2 texture package (.utx) maps=Maps\\CTF-A.unr,Maps\\CTF-B.unr mods=",
        "missing Gone1 code package (.u) maps=Maps\\CTF-A.unr mods=System\\Mod.u",  // a class: a code package
        "missing Botpack code package (.u) stock maps=Maps\\CTF-C.unr mods=",
        "failing Maps\\CTF-A.unr,Maps\\CTF-B.unr,Maps\\CTF-C.unr"}},
      {"one level further: a texture package that needs a missing one",
       {{"Maps/CTF-A.unr", package_needing({{"Rock", "Texture"}})},
        {"Textures/Rock.utx", package_holding({{"Texture", "Walls.ThingRock"}}, {{"Engine", "Texture", "Moss.Green"}})}},
       {"missing Moss texture package (.utx) maps=Maps\\CTF-A.unr mods= through=Textures\\Rock.utx",
        "failing Maps\\CTF-A.unr"}},
      {"an object not in the file the game finds",
       {{"Maps/CTF-A.unr", map_a}, {"Textures/CityTex.utx", package_holding({{"Texture", "Walls.Other"}})},
        {"Sounds/Doors.uax", doors}},
       {"unfound Texture CityTex.Walls.ThingCityTex in Textures\\CityTex.utx by=Maps\\CTF-A.unr",
        "failing Maps\\CTF-A.unr"}},
      {"damaged packages, each with its kind; those maps need first",
       {{"Maps/CTF-A.unr", package_needing({{"Empty", "Texture"}})}, {"Textures/Empty.utx", ""},
        {"Maps/CTF-Bad.unr", "x"}, {"Textures/Cut.utx", city.substr(0, city.size() - 1)},
        {"Textures/Data.utx", test::build_package(past)}, {"Textures/Text.utx", "hello, world"},
        {"Textures/V70.utx", test::build_package(v70)}, {"Textures/Dir.utx", "DIR"}},
       {"damaged Textures\\Empty.utx " + n(empty) + " by=Maps\\CTF-A.unr", "damaged Maps\\CTF-Bad.unr " + n(D::kNotPackage),
        "damaged Textures\\Cut.utx " + n(cut), "damaged Textures\\Data.utx " + n(cut),
        "damaged Textures\\Text.utx " + n(D::kNotPackage), "damaged Textures\\V70.utx " + n(D::kVersion),
        "damaged Textures\\Dir.utx " + n(D::kFolder), "failing Maps\\CTF-A.unr,Maps\\CTF-Bad.unr"}},
      {"a hidden package: a code package of the name is found first",
       {{"Maps/CTF-A.unr", package_needing({{"City", "Texture"}})}, {"System/City.u", package_holding({{"Class", "City"}})},
        {"Textures/City.utx", package_holding({{"Texture", "Walls.ThingCity"}})}},
       {"hidden Textures\\City.utx behind System\\City.u holds=Texture City.Walls.ThingCity by=Maps\\CTF-A.unr",
        "failing Maps\\CTF-A.unr"}},
      {"a map fails with a mod it needs that fails",
       {{"Maps/CTF-A.unr", package_taking({{"Core", "Class", "Mod.Thing"}})},
        {"System/Mod.u", package_holding({{"Class", "Thing"}}, {{"Core", "Class", "Gone.Base"}})}},
       {"missing Gone code package (.u) maps= mods=System\\Mod.u", "failing Maps\\CTF-A.unr"}},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    write_stock_packages(dir.path() / "g");
    for (const auto& f : row.files) {
      if (f.second == "DIR")
        fs::create_directories(dir.path() / "g" / f.first);
      else
        test::write_file(dir.path() / "g" / f.first, f.second);
    }
    const GameCheck r = check_whole_game(dir.sub("g"));
    EXPECT_EQ(findings(r), row.expected) << row.what;
    EXPECT_EQ(r.packages, row.files.size() + 2 - (row.files.back().second == "DIR")) << row.what;
    EXPECT_EQ(r.maps_failing, r.failing_maps.size());
    EXPECT_EQ(r.maps, static_cast<size_t>(std::count_if(row.files.begin(), row.files.end(), [](const auto& f) {
                return f.first.size() > 4 && f.first.compare(f.first.size() - 4, 4, ".unr") == 0;
              }))) << row.what;
  }
}

// Taking a map back out: the whole game, as it will be without the files going, decides
// which packages stay. A texture that a map staying in the game needs is kept and named;
// once that map goes in the same run, the texture goes too.
TEST_F(ExtractTest, PackagesThatWhatStaysNeedsAreKept) {
  const std::string game = dir.sub("g");
  write_stock_packages(dir.path() / "g");
  const std::string a = dir.sub("CTF-A.zip"), b = dir.sub("CTF-B.zip");
  test::write_file(u8(a), build_zip({file("Maps/CTF-A.unr", package_needing({{"Shared", "Texture"}})),
                                     file("Textures/Shared.utx", package_holding({{"Texture", "Walls.ThingShared"}}))}));
  test::write_file(u8(b), build_zip({file("Maps/CTF-B.unr", package_needing({{"Shared", "Texture"}}))}));
  ASSERT_EQ(run({"-orvane", a, game, b}), kExitOk) << report.all_out();
  EXPECT_EQ(run({"-orvane", "/remove", game, "CTF-A.zip"}), kExitOk) << report.all_out();
  EXPECT_FALSE(fs::exists(dir.path() / "g" / "Maps" / "CTF-A.unr"));
  EXPECT_TRUE(fs::exists(dir.path() / "g" / "Textures" / "Shared.utx"));
  EXPECT_NE(report.all_out().find("Shared.utx (needed by Maps\\CTF-B.unr)"), std::string::npos)
      << report.all_out();
  EXPECT_EQ(run({"-orvane", "/remove", game, "CTF-A.zip", "CTF-B.zip"}), kExitOk) << report.all_out();
  EXPECT_FALSE(fs::exists(dir.path() / "g" / "Textures" / "Shared.utx"));
  EXPECT_FALSE(fs::exists(dir.path() / "g" / "Maps" / "CTF-B.unr"));
}

// What the player reads: grouped, wrapped to 79 columns with names whole, the first few
// needers on the console and all in the list file; the counts last; the exit code.
TEST_F(ExtractTest, WholeGameCheckTellsTheConsoleAndTheList) {
  const std::string game = dir.sub("g");
  write_stock_packages(dir.path() / "g");
  for (const char* m : {"CTF-A", "CTF-B", "CTF-C", "CTF-D", "CTF-LongNameOfAMapThatRunsOnAndOnAndOnAndOnAndOnUntilTheLineIsFull"})
    test::write_file(dir.path() / "g" / "Maps" / (std::string(m) + ".unr"), package_needing({{"MyFluid", "Texture"}}));
  test::write_file(dir.path() / "g" / "Textures" / "Empty.utx", "");
  EXPECT_EQ(run({"-orvane", "/check", game, "/no"}), kExitPackages) << report.all_err();
  const Lines expected_start = {
      "Orvane map installer",
      "",
      "Missing packages. Get each from a map site (or from the game's cache, where it",
      "  is there):",
      "  MyFluid, texture package (.utx): 5 maps need it: CTF-A, CTF-B, CTF-C and 2",
      "    more.",
      "Damaged packages. Get a good copy of each again, or remove it:",
      "  Textures\\Empty.utx is an empty file; the game crashes on one",
      "The whole list is in System\\Orvane-Check.txt"};
  ASSERT_GE(report.out_lines.size(), expected_start.size());
  EXPECT_EQ(Lines(report.out_lines.begin(), report.out_lines.begin() + expected_start.size()), expected_start);
  const std::string& counts = report.out_lines.back();
  EXPECT_EQ(counts.rfind("8 packages read in ", 0), 0u) << counts;
  EXPECT_NE(counts.find(" s: 5 maps, 2 code packages; 5 maps will not load"), std::string::npos) << counts;
  for (const std::string& l : report.out_lines) EXPECT_LE(l.size(), 79u) << l;
  const std::string list = test::read_file(dir.path() / "g" / "System" / "Orvane-Check.txt");
  EXPECT_NE(list.find("5 maps need it: CTF-A, CTF-B, CTF-C, CTF-D, CTF-LongNameOfAMapThatRunsOn"), std::string::npos);
  EXPECT_NE(list.find("\r\n" + counts + "\r\n"), std::string::npos) << list;

  // All found: exit 0; a folder that is no game: the usage code, and no list.
  fs::remove(dir.path() / "g" / "Textures" / "Empty.utx");
  test::write_file(dir.path() / "g" / "Textures" / "MyFluid.utx", package_holding({{"Texture", "Walls.ThingMyFluid"}}));
  EXPECT_EQ(run({"-orvane", "/check", game}), kExitOk) << report.all_err();
  ASSERT_GE(report.out_lines.size(), 3u);
  EXPECT_EQ(report.out_lines[2], "Every map and mod finds what it needs.");
  EXPECT_EQ(run({"-orvane", "/check", dir.sub("nothing")}), kExitUsage);
  EXPECT_EQ(run({"-orvane", "/check", game, "/yes", "another"}), kExitUsage);
}

// The game's cache: a missing package it holds is put in place with a yes, never
// without; one it holds in two versions is named, not chosen; a cache.ini that lies is
// told line by line, and nothing outside the game is touched; a file in the way stops it all.
TEST_F(ExtractTest, WholeGameCheckPutsTheCacheToUse) {
  const std::string game = dir.sub("g");
  const std::string fluid = package_holding({{"Texture", "Walls.ThingMyFluid"}});
  const std::string sky = package_holding({{"Texture", "ThingMySky"}});
  const std::string g1 = "0123456789ABCDEF0123456789ABCDEF", g2 = "FEDCBA9876543210FEDCBA9876543210",
                    g3 = "00000000000000000000000000000003", g4 = "00000000000000000000000000000004",
                    g5 = "00000000000000000000000000000005", g6 = "00000000000000000000000000000006";
  struct {
    const char* what;
    std::string ini;  // Cache\cache.ini
    CacheAnswer answer;
    std::string input;
    int code;
    Lines placed;  // files below the game's Textures afterwards
  } rows[] = {
      {"no", "[Cache]\r\n" + g1 + "=MyFluid.utx\r\n", CacheAnswer::kNo, "", kExitPackages, {}},
      {"asked, no", "[Cache]\r\n" + g1 + "=MyFluid.utx\r\n", CacheAnswer::kAsk, "n\n", kExitPackages, {}},
      {"asked, yes", "[Cache]\r\n" + g1 + "=MyFluid.utx\r\n", CacheAnswer::kAsk, "Y\n", kExitOk, {"MyFluid.utx"}},
      {"two versions", "[Cache]\r\n" + g1 + "=MyFluid.utx\r\n" + g2 + "=myfluid.utx\r\n", CacheAnswer::kYes, "",
       kExitPackages, {}},
      {"a cache.ini that lies",
       "[Cache]\r\n..\\..\\evil=MyFluid.utx\r\n" + g3 + "=..\\..\\MyFluid.utx\r\n" + g4 + "=CON.utx\r\n" + g5 +
           "=Readme.txt\r\n" + g6 + "=MyFluid.utx\r\n00000000000000000000000000000007=Lost.utx\r\n" + g1 +
           "=MyFluid.utx\r\n",
       CacheAnswer::kYes, "", kExitOk, {"MyFluid.utx"}},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    write_stock_packages(dir.path() / "g");
    test::write_file(dir.path() / "g" / "Maps" / "CTF-A.unr", package_needing({{"MyFluid", "Texture"}}));
    test::write_file(dir.path() / "g" / "Cache" / "cache.ini", row.ini);
    test::write_file(dir.path() / "g" / "Cache" / (g1 + ".uxx"), fluid);
    test::write_file(dir.path() / "g" / "Cache" / (g2 + ".uxx"), fluid + "another version");
    test::write_file(dir.path() / "g" / "Cache" / (g5 + ".uxx"), fluid);
    test::write_file(dir.path() / "g" / "Cache" / (g6 + ".uxx"), "no package");
    std::istringstream input(row.input);
    report = CaptureReport();
    EXPECT_EQ(check_game(game, row.answer, report, input), row.code) << row.what << report.all_err();
    Lines textures;
    if (fs::exists(dir.path() / "g" / "Textures")) textures = test::list_tree(dir.path() / "g" / "Textures");
    EXPECT_EQ(textures, row.placed) << row.what;
    if (!row.placed.empty()) {
      EXPECT_EQ(test::read_file(dir.path() / "g" / "Textures" / "MyFluid.utx"), fluid) << row.what;
    }
    // Nothing else changed, inside the game or out.
    Lines expected = {"g/", "g/Cache/", "g/Cache/" + g1 + ".uxx", "g/Cache/" + g2 + ".uxx", "g/Cache/" + g5 + ".uxx",
                      "g/Cache/" + g6 + ".uxx", "g/Cache/cache.ini", "g/Maps/", "g/Maps/CTF-A.unr", "g/System/",
                      "g/System/Core.u", "g/System/Engine.u", "g/System/Orvane-Check.txt"};
    if (!row.placed.empty()) expected.insert(expected.end(), {"g/Textures/", "g/Textures/MyFluid.utx"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::list_tree(dir.path()), expected) << row.what;
    const std::string told = test::read_file(dir.path() / "g" / "System" / "Orvane-Check.txt");
    EXPECT_EQ(told.find("Put in place from the cache: Textures\\MyFluid.utx") != std::string::npos,
              !row.placed.empty()) << told;
    if (row.ini.find(g2) != std::string::npos) {
      EXPECT_NE(told.find("in 2 versions (Cache\\" + g1), std::string::npos) << told;
    }
    if (row.ini.find("evil") != std::string::npos) {
      for (const std::string& line : Lines{"no GUID file in \"..\\..\\evil=MyFluid.utx\"", "no plain file name in \"" + g3,
                                      "no plain file name in \"" + g4 + "=CON.utx", "names no package in \"" + g5,
                                      "is no package: \"" + g6, "is not there: \"00000000000000000000000000000007=Lost.utx"})
        EXPECT_NE(told.find(line), std::string::npos) << line << "\n" << told;
    }
  }
  // A file in the way of one: nothing goes in, the other neither.
  fs::remove_all(dir.path() / "g");
  write_stock_packages(dir.path() / "g");
  test::write_file(dir.path() / "g" / "System" / "UnrealTournament.ini",
                   "[Core.System]\r\nPaths=../System/*.u\r\nPaths=../Maps/*.unr\r\nPaths=../Sounds/*.uax\r\n");
  test::write_file(dir.path() / "g" / "Maps" / "CTF-A.unr", package_needing({{"MySky", "Texture"}, {"MyFluid", "Texture"}}));
  test::write_file(dir.path() / "g" / "Textures" / "MyFluid.utx", "the player's own");
  test::write_file(dir.path() / "g" / "Cache" / "cache.ini", "[Cache]\r\n" + g1 + "=MyFluid.utx\r\n" + g2 + "=MySky.utx\r\n");
  test::write_file(dir.path() / "g" / "Cache" / (g1 + ".uxx"), fluid);
  test::write_file(dir.path() / "g" / "Cache" / (g2 + ".uxx"), sky);
  EXPECT_EQ(run({"-orvane", "/check", game, "-yes"}), kExitPackages);
  EXPECT_EQ(test::list_tree(dir.path() / "g" / "Textures"), Lines{"MyFluid.utx"});
  EXPECT_EQ(test::read_file(dir.path() / "g" / "Textures" / "MyFluid.utx"), "the player's own");
  EXPECT_NE(std::find(report.out_lines.begin(), report.out_lines.end(),
                      "Nothing was put in place from the cache: Textures\\MyFluid.utx is in the way."),
            report.out_lines.end()) << report.out_lines.size();
}
TEST_F(ExtractTest, UmodsInstallByTheirStoredPaths) {
  const std::string manifest =
      "[Setup]\r\nGroup=SetupGroup\r\n[SetupGroup]\r\nCopy=(Src=System\\Mod.u)\r\n"
      "AddIni=UnrealTournament.ini,Engine.GameEngine.ServerPackages=Mod\r\n";
  std::vector<test::UmodFile> files = {{"System\\Manifest.ini", manifest, 3},
                                       {"System\\Manifest.int", "[Setup]\r\n", 3},
                                       {"System\\Mod.u", "code", 0},
                                       {"Maps\\DM-Mod.unr", "map", 0},
                                       {"Help\\Mod.txt", "help", 0}};
  const std::string umod = test::build_umod(files);
  std::vector<test::UmodFile> evil = files;
  evil.push_back({"..\\..\\Evil.u", "evil", 0});
  const std::string game = dir.sub("g"), maps = game + sep() + "Maps" + sep();
  const Lines installed = {"Help/", "Help/Mod.txt", "Maps/", "Maps/CTF-Other.unr", "Maps/DM-Mod.unr", "System/",
                           "System/Mod.u"};
  const std::string request = "adds to UnrealTournament.ini: [Engine.GameEngine] ServerPackages=Mod";
  auto with = [&](const test::UmodFile& more) {
    std::vector<test::UmodFile> all = files;
    all.push_back(more);
    return test::build_umod(all);
  };
  auto hidden_umod = [] {
    const std::string bat = "@echo off\r\n";
    Item readme = file("ReadMe.txt", bat);
    readme.method = 0;
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const std::string dir = std::string("\x01\x0B") + "Launch.bat" + '\0' + le32(30 + 10) + le32(bat.size()) + le32(0);
    test::Layout layout;
    layout.comment = std::string(dir.size() + 20, 'x');
    const size_t size = build_zip({readme}, layout).size();
    layout.comment = dir + le32(0x9FE3C5A3) + le32(size - 20 - dir.size()) + le32(size) + le32(1) + le32(0);
    return build_zip({readme}, layout);
  };
  // A ZIP of a map and a help file with a umod's trailer after the ZIP's end record, the
  // umod's files in the help file's bytes and its directory there too, or after the ZIP.
  // unzip, 7zz and bsdtar list only the ZIP's two files.
  auto umod_behind_zip = [](bool directory_after) {
    const std::string hidden = "hidden code" "hidden map";  // System\Hidden.u, Maps\DM-Hidden.unr
    auto tail = [](size_t data_at, size_t dir_at, size_t total) {  // the umod's directory and trailer
      test::UmodOptions o;
      o.dir_offset = static_cast<uint32_t>(dir_at);
      o.total_size = static_cast<uint32_t>(total);
      return test::build_umod({{"System\\Hidden.u", "", 0, static_cast<uint32_t>(data_at), 11u},
                               {"Maps\\DM-Hidden.unr", "", 0, static_cast<uint32_t>(data_at + 11), 10u}}, o);
    };
    const size_t tail_size = tail(0, 0, 0).size();
    auto zip_of = [](const std::string& notes) {
      Item help = file("Help/notes.dat", notes);
      help.method = 0;
      return build_zip({file("Maps/CTF-Nice.unr", "nice map"), help});
    };
    std::string zip = zip_of(hidden + std::string(directory_after ? 0 : tail_size - 20, 'd'));
    const size_t data_at = zip.find(hidden);
    if (directory_after) return zip + tail(data_at, zip.size(), zip.size() + tail_size);
    const std::string t = tail(data_at, data_at + hidden.size(), zip.size() + 20);
    return zip_of(hidden + t.substr(0, tail_size - 20)) + t.substr(tail_size - 20);
  };
  const std::string two_formats = "Failed: two-formats: " + dir.sub("Map.ZIP") + " (the file reads both as a ZIP archive "
                                  "and as a UMOD installer, which no real archive does: one is hidden inside the other; "
                                  "nothing was extracted)";
  Item bomb_umod = file("Mod.umod", umod);
  bomb_umod.size_delta = (600 << 20) - static_cast<int64_t>(umod.size());
  struct {
    std::string bytes;  // the archive
    int code;
    Lines tree;
    std::string line;  // expected among the report's lines
  } rows[] = {
      {build_zip({file("Mod.umod", umod), file("Maps/CTF-Other.unr", "other")}), kExitOk, installed,
       "Manifest: Mod.umod: " + request},
      {build_zip({file("Mod.umod", umod), file("Maps/CTF-Other.unr", "other")}), kExitOk, installed,
       "Unpacked: Mod.umod (3 files)"},
      {umod, kExitOk, {"Help/", "Help/Mod.txt", "Maps/", "Maps/DM-Mod.unr", "System/", "System/Mod.u"},
       "Manifest: " + request},
      {build_zip({file("Mod.umod", test::build_umod(evil)), file("Maps/CTF-Other.unr", "other")}), kExitRefused,
       installed, "Refused: Mod.umod > ..\\..\\Evil.u ('..' component leads outside the destination)"},
      {build_zip({file("Mod.umod", umod.substr(0, umod.size() - 7)), file("Maps/CTF-Other.unr", "other")}),
       kExitEntries, {}, "Total: 0 extracted, 0 identical, 0 differing, 0 duplicates, 0 refused, 0 skipped, "
                         "0 excluded, 1 failed, 0 unpacked, 0 requests, 0 missing, 0 unloadable, 0 unfound"},
      // Taken by the groups as every other entry: what none takes is skipped, not put
      // into the game's own folder; a file named as a folder is refused.
      {build_zip({file("Mod.umod", with({"Launch.bat", "@echo evil", 0})), file("Maps/CTF-Other.unr", "other")}),
       kExitOk, installed, "Skipped: Mod.umod > Launch.bat"},
      {build_zip({file("Mod.umod", with({"Maps\\", "x", 0})), file("Maps/CTF-Other.unr", "other")}), kExitOk,
       installed, "Refused: Mod.umod > Maps\\ (a file whose name ends in a folder separator, as only a folder's may)"},
      // A umod hidden in a ZIP's comment, pointing into a stored entry that every other tool lists.
      {hidden_umod(), kExitArchive, {}, two_formats},
      // Or behind the ZIP's end record: its trailer, and its directory inside the ZIP or after it.
      {umod_behind_zip(false), kExitArchive, {}, two_formats},
      {umod_behind_zip(true), kExitArchive, {}, two_formats},
      // A umod in the ZIP whose directory stops short of its trailer: bytes that belong to no file.
      {build_zip({file("Mod.umod", test::build_umod({{"Maps\\DM-Mod.unr", "map"}}, [] {
                    test::UmodOptions o;
                    o.after_directory = std::string(22, 'z');
                    return o;
                  }())), file("Maps/CTF-Other.unr", "other")}),
       kExitEntries, {}, "Failed: damaged: Mod.umod (cannot unpack this .umod: UMOD is damaged: 22 bytes between its "
                         "directory and its trailer belong to no file (another archive may be hidden there))"},
      // Judged by its declared size, before a byte of it is unpacked.
      {build_zip({bomb_umod, file("Maps/CTF-Other.unr", "other")}), kExitEntries, {},
       "Failed: bomb: Mod.umod (this .umod would unpack to 600 MB, more than any mod installer holds (at most 512 MB): "
       "a zip bomb, made to fill the disk)"},
  };
  for (const auto& row : rows) {
    fs::remove_all(dir.path() / "g");
    fs::create_directories(dir.path() / "g");
    test::write_file(u8(dir.sub("Map.ZIP")), row.bytes);
    int rc = run({"-extract", "-all-or-nothing", "-install-umods=" + game, dir.sub("Map.ZIP"), "*.unr", maps, "*.u",
                  game + sep() + "System" + sep(), "*.txt", game + sep() + "Help" + sep(), "*.umod",
                  dir.sub("nowhere") + sep()});
    EXPECT_EQ(rc, row.code) << report.all_err();
    EXPECT_EQ(test::list_tree(dir.path() / "g"), row.tree);
    EXPECT_NE(std::find(report.out_lines.begin(), report.out_lines.end(), row.line), report.out_lines.end())
        << row.line;
  }
  // The folder for temporary files is measured before a .umod is unpacked into it.
  test::write_file(u8(dir.sub("Map.ZIP")), rows[0].bytes);
  set_volume_probe([](const std::string&, platform::Volume& v) { return v.free = 100, v.id = "C", true; });
  int rc = run({"-extract", "-all-or-nothing", "-install-umods=" + game, dir.sub("Map.ZIP"), "*.unr", maps});
  set_volume_probe(nullptr);
  EXPECT_EQ(rc, kExitDestination);
  EXPECT_NE(report.all_err().find("not enough free space in the folder for temporary files"), std::string::npos)
      << report.all_err();
  // Nothing is replaced; a kept file is told apart by its data, as a umod stores no CRC.
  test::write_file(dir.path() / "g" / "System" / "Mod.u", "mine");
  test::write_file(dir.path() / "g" / "Help" / "Mod.txt", "help");
  test::write_file(u8(dir.sub("Map.ZIP")), umod);
  EXPECT_EQ(run({"-extract", "-all-or-nothing", "-install-umods=" + game, dir.sub("Map.ZIP"), "*", maps}), kExitOk);
  EXPECT_EQ(test::read_file(dir.path() / "g" / "System" / "Mod.u"), "mine");
  EXPECT_NE(std::find(report.out_lines.begin(), report.out_lines.end(),
                      "Kept (identical): " + game + sep() + "Help" + sep() + "Mod.txt"),
            report.out_lines.end());
}

// The player's install (what Orvane.BAT runs), many archives at once: each all or nothing
// by itself, a file two bring goes in once (the first one's copy), a package one brings
// counts for another's map, each part under the name the player picked it by, and the
// totals with the archives that need the player.
TEST_F(ExtractTest, ThePlayersInstallOfManyArchives) {
  const std::string a = dir.sub("Map.ZIP"), b = dir.sub("Map2.ZIP"), c = dir.sub("Map3.ZIP");
  test::write_file(u8(a), build_zip({file("Maps/CTF-A.unr", package_needing({{"BTex", "Texture"}})),
                                     file("Help/Same.txt", "same"), file("Help/Other.txt", "first")}));
  test::write_file(u8(b), build_zip({file("Textures/BTex.utx", package_holding({{"Texture", "Walls.ThingBTex"}})),
                                     file("Help/Same.txt", "same"), file("Help/Other.txt", "second")}));
  test::write_file(u8(c), "<html>gone</html>");
  test::write_file(dir.path() / "Names.txt", "Map2.ZIP=D:\\Downloads\\B pack.zip\r\nMap3.ZIP=\r\n");
  const std::string game = dir.sub("g");
  write_stock_packages(dir.path() / "g");
  EXPECT_EQ(run({"-orvane", a, game + sep(), b, c}), kExitArchive);
  const std::string out = report.all_out();
  EXPECT_EQ(test::read_file(dir.path() / "g" / "Help" / "Other.txt"), "first");
  EXPECT_TRUE(fs::exists(dir.path() / "g" / "Textures" / "BTex.utx"));
  EXPECT_EQ(report.err_lines.front(), "1 of 3: Map.ZIP");
  for (const std::string& want : Lines{
           "Map archives: 3\nGame folder: \"" + game + "\"\n\nChecking the archive and installing...\n",
        "\n---- Archive 1 of 3:\n  \"" + a + "\"\n\nInstalled",
        "\n---- Archive 2 of 3:\n  \"D:\\Downloads\\B pack.zip\"\n",
        "Kept, already in the game and identical to the archive's (1):\n  Help" + sep() + "Same.txt\n",
        "Kept, already in the game but different from the archive's (1):\n  Help" + sep() + "Other.txt\n",
        "\n---- Archive 3 of 3:\n  \"" + c + "\"\n\nERROR: the map archive cannot be unpacked.",
        "\n---- All 3 archives: 2 installed, 1 failed, 0 need attention.\n"
        "These archives need you; their parts above say why:\n  \"" + c + "\""})
    EXPECT_NE(out.find(want), std::string::npos) << want << "\n----\n" << out;
  EXPECT_EQ(out.find("MISSING"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n') + 1, static_cast<long>(report.out_lines.size()));
}

// Every kind of failure is told in its own words, with the code the player gets for it, and
// a file that cannot be unpacked (5) as an archive that cannot be (3).
TEST(PlayersSummary, EachKindOfFailureInItsOwnWords) {
  const struct {
    Failure kind;
    int code, told;
    Say first;
    bool listed;  // the failed file is named
  } rows[] = {
      {Failure::Damaged, kExitEntries, kExitArchive, Say::kDamaged, false},
      {Failure::NotArchive, kExitArchive, kExitArchive, Say::kDamaged, false},
      {Failure::Password, kExitEntries, kExitArchive, Say::kProtected, false},
      {Failure::Volume, kExitArchive, kExitArchive, Say::kMultiVolume, false},
      {Failure::Method, kExitEntries, kExitArchive, Say::kUnsupported, true},
      {Failure::Special, kExitEntries, kExitArchive, Say::kSpecialFiles, true},
      {Failure::Bomb, kExitArchive, kExitArchive, Say::kBomb, false},
      {Failure::TwoFormats, kExitArchive, kExitArchive, Say::kTwoFormats, false},
      {Failure::Update, kExitArchive, kExitArchive, Say::kUpdateArchive, false},
      {Failure::InTheWay, kExitUnwritable, kExitUnwritable, Say::kFolderInTheWay, true},
      {Failure::TooLong, kExitUnwritable, kExitUnwritable, Say::kPathTooLong, true},
      {Failure::NameTooLong, kExitUnwritable, kExitUnwritable, Say::kNameTooLong, true},
      {Failure::Unwritable, kExitUnwritable, kExitUnwritable, Say::kNotWritable, false},
      {Failure::NoRoom, kExitDestination, kExitDestination, Say::kNoRoom, false},
  };
  const Options opt;
  const orvane::Run outcomes(opt);  // none decided: the archive failed as a whole
  for (const auto& row : rows) {
    ArchivePart part;
    part.code = row.code;
    part.run = &outcomes;
    part.counted = true;
    part.game = "C:\\UT";
    // A kind that decides nothing comes first: the words follow the kind that does.
    part.failed = {{Failure::Damaged, "Maps\\Other.unr", "CRC mismatch"}, {row.kind, "Maps\\CTF-X.unr", "why"}};
    Lines lines;
    EXPECT_EQ(tell_archive(part, 79, lines), row.told) << token(row.kind);
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    const Lines want = say(row.first, {part.game});
    EXPECT_NE(std::search(lines.begin(), lines.end(), want.begin(), want.end()), lines.end()) << token(row.kind) << "\n" << all;
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "  Maps\\CTF-X.unr (why)") != lines.end(), row.listed)
        << token(row.kind) << "\n" << all;
  }
}

// What the player reads fits an 80-column console: at most 79 columns, broken at spaces, a
// continued line further in, and a file name never broken, alone when no line holds it.
TEST_F(ExtractTest, LinesForThePlayerFitTheConsole) {
  const std::string name = "Pack v2 (final)" + std::string(250, 'N') + ".utx", spaced = "Help" + sep() + "a b c.txt";
  const std::string game = dir.sub("g");
  write_stock_packages(dir.path() / "g");
  Item refused = file(name, "x");
  test::write_file(u8(dir.sub("Map.ZIP")),
                   build_zip({file("a b c.txt", "1"), file("Docs/a b c.txt", "2"), refused, file("x.jpg", "j"),
                              file("CTF-A.unr.uz", "z"), file("__MACOSX/._a", "m")}));
  EXPECT_EQ(run({"-orvane", dir.sub("Map.ZIP"), game}), kExitRefused);
  const Lines& out = report.out_lines;
  for (const Lines& want : {
           Lines{"  " + spaced + " (an earlier entry of the archive has the same name; not", "    written)"},
           Lines{"  " + name, "    (name longer than 255 characters)"},
           Lines{"Skipped (3):", "  __MACOSX/._a (macOS metadata)", "  CTF-A.unr.uz (cache file, never installed)",
                 "  x.jpg (not a game file)"},
       })
    EXPECT_NE(std::search(out.begin(), out.end(), want.begin(), want.end()), out.end()) << want[0] << "\n" << report.all_out();
  for (const std::string& l : out)
    EXPECT_TRUE(columns(l) <= 79 || l == "  " + name) << l;

  // Standard error under -width: the archive's name whole, the reason broken at spaces.
  const std::string zip = dir.sub(std::string(60, 'Z') + ".zip");
  test::write_file(u8(zip), "<html>not a zip, not at all, only a page that says the file is gone</html>");
  EXPECT_EQ(run({"-extract", "-width=79", zip, out_dir()}), kExitArchive);
  ASSERT_GE(report.err_lines.size(), 3u);
  EXPECT_EQ(report.err_lines[0], "Error:");
  EXPECT_EQ(report.err_lines[1], "  " + zip + ":");
  for (size_t i = 2; i < report.err_lines.size(); ++i) {
    EXPECT_LE(report.err_lines[i].size(), 79u) << report.err_lines[i];
    EXPECT_EQ(report.err_lines[i].rfind("  ", 0), 0u) << report.err_lines[i];
  }
}

TEST_F(ExtractTest, HelpAndUsage) {
  EXPECT_EQ(run({"-help"}), kExitOk);
  ASSERT_FALSE(report.out_lines.empty());
  EXPECT_NE(report.out_lines[0].find(" 6  no entry matched"), std::string::npos);
  EXPECT_EQ(run({"-extract"}), kExitUsage);
  EXPECT_EQ(report.err_lines.size(), 1u);
  EXPECT_EQ(run({}), kExitUsage);
}

}  // namespace
}  // namespace orvane
