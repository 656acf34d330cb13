// Native-only cases: archives made by Debian's zip (the files users really
// get), a write failure forced through RLIMIT_FSIZE, runs killed before each change
// they make, and the script tests' package and UMOD builders checked against ours.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>

#include "archive/umod/umod_reader.h"
#include "cli/cli.h"
#include "platform/platform.h"
#include "test_support.h"
#include "unreal/unreal_package.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::CaptureReport;
using test::ScratchDir;
using Lines = std::vector<std::string>;

int sh(const std::string& cmd) { return std::system(cmd.c_str()); }

class DebianZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (sh("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "Debian's zip is not installed";
    src = dir.path() / "src";
    fs::create_directories(src / "Pack" / "Maps");
    fs::create_directories(src / "Pack" / "Textures");
    std::string map;
    for (int i = 0; i < 40000; ++i) map += "Actor" + std::to_string(i * 7 % 1013) + ";";
    test::write_file(src / "Pack" / "Maps" / "CTF-Test.unr", map);
    test::write_file(src / "Pack" / "Textures" / "Test.utx", std::string(100000, '\x11'));
    test::write_file(src / "Pack" / "readme.txt", "Read me.\n");
  }
  int zip(const std::string& args) { return sh("cd '" + src.string() + "' && zip -q " + args + " >/dev/null"); }
  int run(const Lines& args) {
    report = CaptureReport();
    return test::run_args(args, report);
  }
  std::string out() const { return (dir.path() / "out").string() + "/"; }
  Lines tree() const { return test::list_tree(dir.path() / "out"); }

  ScratchDir dir;
  fs::path src;
  CaptureReport report;
};

// The script tests build their umods in Python. The reader must take them as
// they are, and the C++ builder, given the same files, must write the same bytes.
TEST(PythonUmod, ReadAndRebuiltByteForByte) {
  if (sh("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  ScratchDir dir;
  std::string path = (dir.path() / "sample.umod").string();
  ASSERT_EQ(sh(std::string("python3 '") + ORVANE_UMOD_FILE_PY + "' --sample '" + path + "'"), 0);
  std::string bytes = test::read_file(path);
  std::string err;
  auto r = open_umod(std::unique_ptr<Source>(new MemorySource(bytes.data(), bytes.size())), err);
  ASSERT_TRUE(r) << err;
  Lines names;
  std::vector<test::UmodFile> files;
  std::string manifest;
  for (size_t i = 0; i < r->entries().size(); ++i) {
    const Entry& e = r->entries()[i];
    test::StringSink sink;
    ASSERT_EQ(r->extract(i, sink), "") << e.name;
    names.push_back(e.name);
    EXPECT_EQ(e.flags, i < 2 ? 3u : 0u) << e.name;
    EXPECT_EQ(is_umod_manifest(e), i < 2) << e.name;
    if (i == 0) manifest = sink.data_;
    const std::string line = "Orvane test payload for " + e.name + "\n";
    if (i >= 2) {
      EXPECT_EQ(sink.data_, line + line + line);
    }
    // Stored in Windows-1252; the sample's letters beyond ASCII are all below U+0100.
    std::string stored;
    for (size_t k = 0; k < e.name.size(); ++k) {
      unsigned char c = static_cast<unsigned char>(e.name[k]);
      stored += c < 0x80 ? static_cast<char>(c) : static_cast<char>(((c & 0x03) << 6) | (e.name[++k] & 0x3F));
    }
    files.push_back({stored, sink.data_, e.flags});
  }
  EXPECT_EQ(names, (Lines{"System\\Manifest.ini", "System\\Manifest.int", "System\\OrvaneMod.u",
                          "Maps\\DM-Orvane.unr", "Textures\\Caf\xC3\xA9.utx",
                          "Music\\OrvaneSoundtrack-With-A-Name-Long-Enough-For-Two-Index-Bytes.umx",
                          "Help\\OrvaneMod.txt"}));
  EXPECT_EQ(manifest_requests(manifest),
            (Lines{"requires UnrealTournament version 436",
                   "adds to UnrealTournament.ini: [Engine.GameEngine] ServerPackages=OrvaneMod"}));
  EXPECT_TRUE(test::build_umod(files) == bytes);
}

TEST_F(DebianZipTest, RecursiveDeflatedStoredAndZip64) {
  for (const char* flags : {"-r", "-r -0", "-r -fz", "-r -9 -X"}) {
    std::string zipfile = (dir.path() / "m.zip").string();
    fs::remove(zipfile);
    ASSERT_EQ(zip(std::string(flags) + " '" + zipfile + "' Pack"), 0) << flags;
    ASSERT_EQ(run({"-extract", "-directories", zipfile, out()}), kExitOk) << flags << report.all_err();
    EXPECT_EQ(tree(), (Lines{"Pack/", "Pack/Maps/", "Pack/Maps/CTF-Test.unr", "Pack/Textures/",
                             "Pack/Textures/Test.utx", "Pack/readme.txt"}))
        << flags;
    EXPECT_EQ(test::read_file(dir.path() / "out" / "Pack" / "Maps" / "CTF-Test.unr"),
              test::read_file(src / "Pack" / "Maps" / "CTF-Test.unr"));
    // zip records the source's time; ours must match it (to the 2 s of a DOS time under -X).
    int64_t got = test::mtime_of(dir.path() / "out" / "Pack" / "readme.txt");
    int64_t want = test::mtime_of(src / "Pack" / "readme.txt");
    if (std::string(flags).find("-X") == std::string::npos) {
      EXPECT_EQ(got, want) << flags;
    } else {
      EXPECT_LE(std::abs(got - want), 2) << flags;
    }
    fs::remove_all(dir.path() / "out");
  }
}

TEST_F(DebianZipTest, StreamedEntriesWithDescriptorsAndComment) {
  std::string zipfile = (dir.path() / "s.zip").string();
  // Input from a pipe: zip writes a data descriptor and ZIP64 sizes.
  ASSERT_EQ(sh("cat '" + (src / "Pack" / "Maps" / "CTF-Test.unr").string() + "' | zip -q '" + zipfile + "' -"), 0);
  ASSERT_EQ(sh("echo 'A comment with PK\x05\x06 inside' | zip -q -z '" + zipfile + "'"), 0);
  ASSERT_EQ(run({"-extract", zipfile, out()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, Lines{"Extracted: -"});
  EXPECT_EQ(test::read_file(dir.path() / "out" / "-"), test::read_file(src / "Pack" / "Maps" / "CTF-Test.unr"));
}

TEST_F(DebianZipTest, UnixNamesWithoutTheUtf8FlagStayUtf8) {
  // Debian's zip writes "Ünreal" as UTF-8 bytes without setting the UTF-8 flag.
  test::write_file(src / test::u8("\xC3\x9Cnreal.umx"), "music");
  std::string zipfile = (dir.path() / "u.zip").string();
  ASSERT_EQ(zip("'" + zipfile + "' '\xC3\x9Cnreal.umx'"), 0);
  ASSERT_EQ(run({"-extract", zipfile, out()}), kExitOk) << report.all_err();
  EXPECT_EQ(report.out_lines, Lines{"Extracted: \xC3\x9Cnreal.umx"});
  EXPECT_EQ(tree(), Lines{"\xC3\x9Cnreal.umx"});
}

TEST_F(DebianZipTest, EncryptedAndBzip2AreRefusedByName) {
  std::string enc = (dir.path() / "e.zip").string(), bz = (dir.path() / "b.zip").string();
  ASSERT_EQ(zip("-P secret '" + enc + "' Pack/readme.txt"), 0);
  EXPECT_EQ(run({"-extract", enc, out()}), kExitEntries);
  ASSERT_EQ(report.err_lines.size(), 1u);
  EXPECT_NE(report.err_lines[0].find("Pack/readme.txt: encrypted"), std::string::npos);
  if (zip("-Z bzip2 '" + bz + "' Pack/Maps/CTF-Test.unr") == 0) {
    EXPECT_EQ(run({"-extract", bz, out()}), kExitEntries);
    ASSERT_EQ(report.err_lines.size(), 1u);
    EXPECT_NE(report.err_lines[0].find("bzip2"), std::string::npos);
  }
  EXPECT_TRUE(tree().empty());
}

TEST_F(DebianZipTest, UnzipAgreesOnWhatWeWrote) {
  // Cross-check against Info-ZIP's own test of the archive.
  std::string zipfile = (dir.path() / "m.zip").string();
  ASSERT_EQ(zip("-r '" + zipfile + "' Pack"), 0);
  if (sh("command -v unzip >/dev/null 2>&1") == 0) {
    EXPECT_EQ(sh("unzip -tq '" + zipfile + "' >/dev/null"), 0);
  }
  EXPECT_EQ(run({"-extract", zipfile, "*.utx", out()}), kExitOk);
  EXPECT_EQ(tree(), Lines{"Test.utx"});
}

TEST(WriteFailure, FullDiskLeavesNoPartialFile) {
  ScratchDir dir;
  test::Item big;
  big.name = "big.unr";
  big.data = std::string(4 * 1024 * 1024, 'u');
  test::Item small;
  small.name = "small.txt";
  small.data = "ok";
  std::string zip = (dir.path() / "m.zip").string();
  test::write_file(zip, test::build_zip({big, small}));
  std::string out = (dir.path() / "out").string() + "/";
  fs::create_directories(out);

  // A file size limit makes write() fail as a full disk would.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit low = old;
  low.rlim_cur = 1024 * 1024;
  void (*prev)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
  // The partial file must be gone by the time its error is reported (the
  // other worker's temporary file for small.txt holds at most two bytes).
  struct : CaptureReport {
    void err(const std::string& line) override {
      CaptureReport::err(line);
      std::error_code ec;
      for (const auto& f : fs::directory_iterator(out))
        temps += f.path().filename().string().rfind(".pkz25-", 0) == 0 && fs::file_size(f.path(), ec) > 2 && !ec;
    }
    fs::path out;
    int temps = 0;
  } report;
  report.out = out;
  int rc = test::run_args({"-extract", zip, out}, report);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, prev);

  EXPECT_EQ(rc, kExitEntries);
  ASSERT_EQ(report.err_lines.size(), 1u);
  EXPECT_EQ(report.err_lines[0].rfind("Error: big.unr: cannot write", 0), 0u) << report.err_lines[0];
  EXPECT_EQ(report.out_lines, Lines{"Extracted: small.txt"});
  EXPECT_EQ(test::list_tree(out), Lines{"small.txt"});
  EXPECT_EQ(report.temps, 0);
}

// Every file, folder and link below root with what it holds.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> all;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(root).generic_string();
    if (it->is_symlink())
      all[rel] = "link to " + fs::read_symlink(it->path()).string();
    else
      all[rel] = it->is_directory() ? "folder" : "file: " + test::read_file(it->path());
    // When an install was recorded differs from run to run; what it recorded must not.
    const size_t when = all[rel].find("\r\nInstalled\t");
    if (rel.rfind("Orvane/", 0) == 0 && when != std::string::npos) all[rel].replace(when, 31, "\r\nInstalled\t(when)");
  }
  return all;
}

std::string shown(const std::map<std::string, std::string>& state) {
  std::string s;
  for (const auto& e : state) s += "  " + e.first + " (" + e.second + ")\n";
  return s;
}

// Kills a run before its Nth change to the disk (a file made, written, flushed, linked,
// unlinked or renamed, a folder made or removed), in a child of its own.
class KillSweep : public ::testing::Test {
 protected:
  static constexpr int kKilled = 42;
  // True when the run was killed; false when it ended before its Nth change.
  bool killed(const Lines& args, size_t n) {
    kill_at = n;
    const pid_t child = fork();
    if (child == 0) {
      changes = 0;
      platform::set_change_hook([] {
        if (++changes == kill_at) _exit(kKilled);
      });
      CaptureReport report;
      test::run_args(args, report);
      _exit(0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "run died otherwise, at change " << n;
    return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
  }
  // The state after a run that is not killed.
  std::map<std::string, std::string> after(const Lines& args) {
    reset();
    CaptureReport report;
    test::run_args(args, report);
    return snapshot(game);
  }
  // Kills run before each of its changes in turn; a run that installs nothing (recover)
  // then puts the game right, itself killed before each of its own changes when
  // recovering_too (each such run on what the one before it left). Every state left must be one of allowed: no player's file lost,
  // changed or left renamed, nothing of ours, no map in part. Returns how many kills.
  size_t sweep(const Lines& run, const Lines& recover, const std::vector<std::map<std::string, std::string>>& allowed,
               bool recovering_too) {
    size_t kills = 0;
    for (size_t n = 1;; ++n) {
      reset();
      if (!killed(run, n)) break;
      ++kills;
      // Every other kill of the run, to keep the test within a minute.
      for (size_t r = 1; recovering_too && n % 2; ++r) {
        if (!killed(recover, r)) break;
        ++kills;
      }
      CaptureReport report;
      test::run_args(recover, report);
      const auto state = snapshot(game);
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), state), allowed.end())
          << "killed before change " << n << ", the game holds:\n" << shown(state) << report.all_err();
      if (::testing::Test::HasFailure()) break;
    }
    std::cout << "[ KILLED   ] " << kills << " times\n";
    return kills;
  }

  friend struct KillGame;
  ScratchDir dir;
  fs::path game = dir.path() / "g";
  std::function<void()> reset;
  static std::atomic<size_t> changes, kill_at;
};
std::atomic<size_t> KillSweep::changes{0}, KillSweep::kill_at{0};

// A game with the player's own files (one of them a link) and a map for it: count files,
// every other one of which the player has already.
struct KillGame {
  KillGame(KillSweep& t, int count) {
    for (int i = 0; i < count; ++i) {
      test::Item it;
      it.name = "CTF-K" + std::to_string(i) + (i % 3 ? ".unr" : ".utx");
      it.data = "the map's " + it.name;
      items.push_back(it);
    }
    zip = t.dir.sub("m.zip");
    test::write_file(zip, test::build_zip(items));
    test::write_file(t.dir.sub("none.zip"), test::build_zip({items[0]}));
    maps = t.game.string() + "/Maps/";
    tex = t.game.string() + "/Textures/";
    t.reset = [this, &t] {
      fs::remove_all(t.game);
      fs::create_directories(t.game / "Textures");
      for (size_t i = 0; i < items.size(); i += 2)
        test::write_file(t.game / (i % 3 ? "Maps" : "Textures") / items[i].name, "the player's " + items[i].name);
      fs::create_symlink("CTF-K0.utx", t.game / "Textures" / "CTF-K3.utx");
    };
    recover = {"-extract", "-all-or-nothing", t.dir.sub("none.zip"), "*.none", maps, "*.nothing", tex};
  }
  Lines run(const char* overwrite) const { return {"-extract", "-all-or-nothing", overwrite, zip, "*.unr", maps, "*.utx", tex}; }

  std::vector<test::Item> items;
  std::string zip, maps, tex;
  Lines recover;
};

// A run killed before any of its changes leaves, once the next run has read its journal,
// the game as it was, or with the whole map in when it was killed after its last move:
// every player's file under its own name (a link as a link), nothing of ours.
TEST_F(KillSweep, SingleRuns) {
  KillGame g(*this, 8);
  for (const char* overwrite : {"-overwrite=all", "-overwrite=never"}) {
    reset();
    const std::vector<std::map<std::string, std::string>> allowed = {snapshot(game), after(g.run(overwrite))};
    ASSERT_NE(allowed[0], allowed[1]);
    EXPECT_GT(sweep(g.run(overwrite), g.recover, allowed, false), 20u) << overwrite;
  }
}

// The same, with the next run killed before each of its own changes, again and again,
// until one of them ends.
TEST_F(KillSweep, RecoveringRuns) {
  KillGame g(*this, 4);
  reset();
  const std::vector<std::map<std::string, std::string>> allowed = {snapshot(game), after(g.run("-overwrite=all"))};
  EXPECT_GT(sweep(g.run("-overwrite=all"), g.recover, allowed, true), 100u);  // about 180
}

// A batch installs each archive by itself: killed anywhere, the game holds the archives
// before the one it was installing, whole, and nothing of that one.
TEST_F(KillSweep, BatchRuns) {
  std::vector<std::string> zips;
  for (int a = 0; a < 3; ++a) {
    test::Item map, tex;
    map.name = "CTF-B" + std::to_string(a) + ".unr";
    map.data = "map " + std::to_string(a);
    tex.name = "Shared.utx";  // the first one's stays
    tex.data = "textures of " + std::to_string(a);
    zips.push_back(dir.sub("b" + std::to_string(a) + ".zip"));
    test::write_file(zips.back(), test::build_zip({map, tex}));
  }
  reset = [&] {
    fs::remove_all(game);
    fs::create_directories(game / "Maps");
    test::write_file(game / "Maps" / "CTF-B1.unr", "the player's own CTF-B1");
  };
  // The player's install, as Orvane.BAT runs it: the first n archives.
  auto batch = [&](size_t n) {
    Lines args{"-orvane", zips[0], game.string()};
    for (size_t a = 1; a < n; ++a) args.push_back(zips[a]);
    return args;
  };
  reset();
  std::vector<std::map<std::string, std::string>> allowed = {snapshot(game)};
  for (size_t n = 1; n <= zips.size(); ++n) allowed.push_back(after(batch(n)));
  // A later install puts a killed one right first; this one brings nothing of its own.
  const std::string nothing = dir.sub("nothing.zip");
  test::write_file(nothing, test::build_zip({test::file("shot.jpg", "jpeg")}));
  const Lines recover = {"-orvane", nothing, game.string()};
  EXPECT_GT(sweep(batch(zips.size()), recover, allowed, false), 20u);
}

// A removal killed anywhere leaves, once the next run has read the journal, the archives it
// takes out either all in, with their records, or all out, with the folders their installs
// made: never a part. One of them shares a texture with an archive that stays.
TEST_F(KillSweep, RemovalRuns) {
  std::vector<std::string> zips;
  for (int a = 0; a < 3; ++a) {
    const std::string n = std::to_string(a);
    std::vector<test::Item> items = {test::file("CTF-R" + n + ".unr", "map " + n), test::file("Shared.utx", "shared")};
    if (a == 2) items.push_back(test::file("R2.umx", "music"));  // the game has no Music folder
    zips.push_back(dir.sub("r" + n + ".zip"));
    test::write_file(zips.back(), test::build_zip(items));
  }
  reset = [&] {
    fs::remove_all(game);
    fs::create_directories(game / "Maps");
    test::write_file(game / "Maps" / "DM-Own.unr", "the player's own map");
    CaptureReport report;
    // Told as damaged packages (they are none), installed all the same.
    test::run_args({"-orvane", zips[0], game.string(), zips[1], zips[2]}, report);
    ASSERT_EQ(test::list_tree(game / "Orvane"), (Lines{"r0.zip.txt", "r1.zip.txt", "r2.zip.txt"})) << report.all_out();
  };
  const Lines removal = {"-orvane", "/remove", game.string(), "r0.zip", "r2.zip"};
  reset();
  const auto before = snapshot(game);
  const auto removed = after(removal);
  ASSERT_EQ(removed.count("Music"), 0u);
  ASSERT_EQ(removed.count("Textures/Shared.utx"), 1u);
  ASSERT_EQ(removed.count("Orvane/r0.zip.txt") + removed.count("Maps/CTF-R2.unr"), 0u);
  // A later removal puts a killed one right first; this one names nothing recorded.
  const Lines recover = {"-orvane", "/remove", game.string(), "none.zip"};
  EXPECT_GT(sweep(removal, recover, {before, removed}, true), 40u);
}

// Installing a recorded archive again, killed anywhere: its record is the old one with the
// game as it was, or the merged one with the new files in, never one without the other.
TEST_F(KillSweep, InstallingARecordedArchiveAgain) {
  fs::create_directories(dir.path() / "v1");
  fs::create_directories(dir.path() / "v2");
  const std::string v1 = dir.sub("v1/CTF-Again.zip"), v2 = dir.sub("v2/CTF-Again.zip");
  test::write_file(v1, test::build_zip({test::file("CTF-Again.unr", "map"), test::file("Again.utx", "tex")}));
  test::write_file(v2, test::build_zip({test::file("CTF-Again.unr", "map"), test::file("Again.utx", "tex"), test::file("Again.uax", "new")}));
  reset = [&] {
    fs::remove_all(game);
    fs::create_directories(game / "Maps");
    CaptureReport report;
    test::run_args({"-orvane", v1, game.string()}, report);
    ASSERT_TRUE(fs::exists(game / "Orvane" / "CTF-Again.zip.txt")) << report.all_out();
  };
  const Lines again = {"-orvane", v2, game.string()};
  reset();
  const auto before = snapshot(game);
  const auto merged = after(again);
  ASSERT_NE(merged.at("Orvane/CTF-Again.zip.txt").find("Sounds\\Again.uax"), std::string::npos);
  ASSERT_NE(merged.at("Orvane/CTF-Again.zip.txt").find("Maps\\CTF-Again.unr"), std::string::npos);
  const std::string nothing = dir.sub("nothing.zip");
  test::write_file(nothing, test::build_zip({test::file("shot.jpg", "jpeg")}));
  EXPECT_GT(sweep(again, {"-orvane", nothing, game.string()}, {before, merged}, false), 10u);
}

// A folder that refuses every change, even root's (chattr +i), until the end of the scope.
class Immutable {
 public:
  explicit Immutable(const fs::path& p) : p_(p) { ok_ = std::system(("chattr +i '" + p_.string() + "' 2>/dev/null").c_str()) == 0; }
  ~Immutable() {
    if (ok_) std::system(("chattr -i '" + p_.string() + "'").c_str());
  }
  bool ok() const { return ok_; }

 private:
  fs::path p_;
  bool ok_ = false;
};

// A file that cannot be set aside (Windows: the running game holds it open; here: its folder
// refuses changes) takes the whole removal back; a game folder that cannot be changed stops
// it before anything changes. Either is told, and nothing is removed.
TEST(Removal, FilesThatCannotGo) {
  ScratchDir dir;
  const fs::path game = dir.path() / "g";
  fs::create_directories(game / "Maps");
  const std::string zip = dir.sub("CTF-I.zip");
  test::write_file(zip, test::build_zip({test::file("CTF-I.unr", "map"), test::file("I.utx", "tex"), test::file("I.uax", "snd")}));
  CaptureReport report;
  test::run_args({"-orvane", zip, game.string()}, report);
  ASSERT_TRUE(fs::exists(game / "Orvane" / "CTF-I.zip.txt")) << report.all_out();
  const auto before = snapshot(game);
  const Lines removal = {"-orvane", "/remove", game.string(), "CTF-I.zip"};
  {
    Immutable sounds(game / "Sounds");  // the last of the files in the record's order
    if (!sounds.ok()) GTEST_SKIP() << "chattr +i is not available here";
    report = CaptureReport();
    EXPECT_EQ(test::run_args(removal, report), kExitUnwritable);
    EXPECT_NE(report.all_out().find("  Sounds/I.uax\n"), std::string::npos) << report.all_out();
    EXPECT_NE(report.all_out().find("close the game and try again.\nNothing was removed."), std::string::npos);
    EXPECT_EQ(snapshot(game), before);  // the map and the texture set aside first are back
  }
  {
    Immutable root(game);
    report = CaptureReport();
    EXPECT_EQ(test::run_args(removal, report), kExitUnwritable);
    EXPECT_NE(report.all_out().find("Orvane may not change the game folder:"), std::string::npos) << report.all_out();
    EXPECT_EQ(snapshot(game), before);
  }
  report = CaptureReport();
  EXPECT_EQ(test::run_args(removal, report), kExitOk) << report.all_out();
  EXPECT_EQ(test::list_tree(game), Lines{"Maps/"});
}

// Files waiting for the run to be decided hold no handle: a pack of more files than the
// process may open installs.
TEST(WriteFailure, MoreFilesThanHandles) {
  ScratchDir dir;
  std::vector<test::Item> items(300);
  for (size_t i = 0; i < items.size(); ++i) items[i].name = "f" + std::to_string(i) + ".unr";
  const std::string zip = (dir.path() / "m.zip").string(), out = (dir.path() / "out").string() + "/";
  test::write_file(zip, test::build_zip(items));
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  struct rlimit low = old;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  CaptureReport report;
  int rc = test::run_args({"-extract", "-all-or-nothing", zip, out}, report);
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(rc, kExitOk) << report.all_err();
  EXPECT_EQ(test::list_tree(out).size(), items.size());
}

// The script tests build their packages in Python; both builders must write the same bytes,
// so what the reader's tests show holds for the script tests' packages too.
TEST(PythonPackageBuilder, WritesWhatOursWritesAndTheReaderReadsIt) {
  if (sh("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  ScratchDir dir;
  test::write_file(dir.path() / "make.py",
                   "import sys\n"
                   "sys.path.insert(0, sys.argv[1])\n"
                   "import unreal_package as u\n"
                   "for unique in ('CTF-Town', 'CTF-Other'):\n"
                   "    for version in (69, 63):\n"
                   "        data = u.package_bytes(needs={'CityTex': 'Texture', 'CitySounds': 'Sound'},\n"
                   "                               groups={'CityTex': ['Walls']}, unique=unique,\n"
                   "                               exports=['MyLevel'], version=version)\n"
                   "        open('%s/%s-%d.unr' % (sys.argv[2], unique, version), 'wb').write(data)\n"
                   "open(sys.argv[2] + '/Holds.utx', 'wb').write(u.package_bytes(holds=[('Texture', 'Walls.Brick'),\n"
                   "    ('Texture', 'Brick'), ('Sound', 'Walls.Brick'), ('Class', 'Door')]))\n"
                   "open(sys.argv[2] + '/Shaped.unr', 'wb').write(u.package_bytes(needs={'CityTex': 'Texture'},\n"
                   "    shape='map'))\n"
                   "open(sys.argv[2] + '/Engine.u', 'wb').write(u.stock_package('Engine'))\n");
  ASSERT_EQ(sh("python3 '" + (dir.path() / "make.py").string() + "' '" ORVANE_PACKAGE_BUILDER_DIR "' '" +
               dir.str() + "'"),
            0);
  for (int version : {69, 63}) {
    std::string py = test::read_file(dir.path() / ("CTF-Town-" + std::to_string(version) + ".unr"));
    ASSERT_GT(py.size(), 68u);
    test::PackageSpec s;
    s.version = static_cast<uint16_t>(version);
    s.names = {"None", "CTF-Town"};
    // Python's GUID is an MD5 of the unique name: taken from its output rather than computed here.
    s.guid = version >= 68 ? py.substr(36, 16) : py.substr(py.size() - 16);
    s.imports = {{"Core", "Package", "Core", 0},
                 {"Core", "Class", "Package", test::import_ref(0)},
                 {"Core", "Package", "Engine", 0},
                 {"Core", "Class", "Texture", test::import_ref(2)},
                 {"Core", "Package", "CityTex", 0},
                 {"Core", "Package", "Walls", test::import_ref(4)},
                 {"Engine", "Texture", "Texture1", test::import_ref(5)},
                 {"Core", "Class", "Sound", test::import_ref(2)},
                 {"Core", "Package", "CitySounds", 0},
                 {"Engine", "Sound", "Sound1", test::import_ref(8)}};
    s.exports = {{0, 0, 0, "MyLevel", 0}};
    EXPECT_TRUE(py == test::build_package(s)) << version;
    EXPECT_NE(py, test::read_file(dir.path() / ("CTF-Other-" + std::to_string(version) + ".unr")));

    MemorySource src(py.data(), py.size());
    Package p;
    ASSERT_EQ(read_package(src, p), "") << version;
    std::vector<std::string> got;
    for (const Dependency& d : dependencies(p, "CTF-Town")) got.push_back(d.name + ": " + kind_text(d.kinds));
    EXPECT_EQ(got, (Lines{"Core: code package (.u)", "Engine: code package (.u)", "CityTex: texture package (.utx)",
                          "CitySounds: sound package (.uax)"}));
  }
  // What a package holds: a group, a texture inside it and one outside, a sound of
  // the texture's name, a class.
  std::string holds = test::read_file(dir.path() / "Holds.utx");
  MemorySource src(holds.data(), holds.size());
  Package p;
  ASSERT_EQ(read_package(src, p, true), "");
  Lines got;
  for (const ObjectName& o : exported_objects(p, "Holds")) got.push_back(object_text(o));
  EXPECT_EQ(got, (Lines{"Package Holds.Walls", "Texture Holds.Walls.Brick", "Texture Holds.Brick",
                        "Sound Holds.Walls.Brick", "Class Holds.Door"}));
  // The real shapes: a map imports the classes of levels that the game's program defines,
  // and the game's Engine.u exports its script classes, never those.
  auto objects = [&](const std::string& file, bool exported) {
    std::string bytes = test::read_file(dir.path() / file);
    MemorySource src(bytes.data(), bytes.size());
    Package p;
    EXPECT_EQ(read_package(src, p, exported), "") << file;
    const std::string own = file.substr(0, file.find('.'));
    Lines texts;
    for (const ObjectName& o : exported ? exported_objects(p, own) : imported_objects(p, own))
      texts.push_back(object_text(o));
    return texts;
  };
  EXPECT_EQ(objects("Shaped.unr", false), (Lines{"Class Core.Package", "Class Engine.Texture", "Texture CityTex.Texture1",
                                                 "Class Engine.Level", "Class Engine.Model", "Class Engine.Polys",
                                                 "Class Core.TextBuffer"}));
  const Lines engine = objects("Engine.u", true);
  EXPECT_NE(std::find(engine.begin(), engine.end(), "Class Engine.Texture"), engine.end());
  for (const char* intrinsic : {"Class Engine.Level", "Class Engine.Sound", "Class Engine.Music"})
    EXPECT_EQ(std::find(engine.begin(), engine.end(), intrinsic), engine.end()) << intrinsic;
}

}  // namespace
}  // namespace orvane
