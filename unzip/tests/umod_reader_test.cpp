#include "archive/umod/umod_reader.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace orvane {
namespace {

using test::build_umod;
using test::StringSink;
using test::UmodFile;
using test::UmodOptions;
using Lines = std::vector<std::string>;

std::unique_ptr<ArchiveReader> open(const std::string& bytes, std::string& err) {
  return open_umod(std::unique_ptr<Source>(new MemorySource(bytes.data(), bytes.size())), err);
}

std::string sample(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 1013);
  return s;
}

TEST(UmodReader, SoundUmodListsAndExtracts) {
  // The package spans two of the reader's 256 KiB blocks; the empty help file has no bytes at all.
  std::vector<UmodFile> files = {
      {"System\\Manifest.ini", "[Setup]\r\nProduct=Foo\r\n", 3},
      {"System\\Manifest.int", "[Setup]\r\nLocalProduct=Foo\r\n", 3},
      {"System\\Foo.u", sample(300 * 1024 + 5, 'a')},
      {"Maps\\DM-X.unr", sample(5000, 'b'), 0x10},
      {"Help\\Foo.txt", ""},
  };
  std::string umod = build_umod(files);
  MemorySource probe(umod.data(), umod.size());
  EXPECT_EQ(umod_bid(probe).strength, Bid::kTrailer);
  std::string err;
  auto r = open(umod, err);
  ASSERT_TRUE(r) << err;
  EXPECT_EQ(r->format(), Format::Umod);
  EXPECT_TRUE(r->random_access());
  EXPECT_TRUE(r->warnings().empty());
  ASSERT_EQ(r->entries().size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const Entry& e = r->entries()[i];
    EXPECT_EQ(e.name, files[i].name);
    EXPECT_EQ(e.raw_name, files[i].name);
    EXPECT_EQ(e.size, files[i].data.size());
    EXPECT_EQ(e.flags, files[i].flags);
    EXPECT_FALSE(e.has_crc || e.has_unix_mtime || e.directory || e.link);
    EXPECT_EQ(e.dos_date, 0);
    EXPECT_EQ(is_umod_manifest(e), i < 2) << e.name;
    StringSink sink;
    EXPECT_EQ(r->extract(i, sink), "") << e.name;
    EXPECT_TRUE(sink.data_ == files[i].data) << e.name;
  }

  std::vector<StringSink> sinks(files.size());
  Lines done(files.size(), "not called");
  EXPECT_EQ(r->extract_in_order([&](size_t i) { return i == 1 ? nullptr : &sinks[i]; },
                                [&](size_t i, const std::string& why) { done[i] = why; }),
            "");
  EXPECT_EQ(done, (Lines{"", "not called", "", "", ""}));
  EXPECT_TRUE(sinks[2].data_ == files[2].data);

  // A sink that fails hands its own message back.
  StringSink full(1000);
  EXPECT_EQ(r->extract(2, full), "disk full");
}

TEST(UmodReader, ManifestIsKnownByItsName) {
  // By name in any folder and case; the flags alone (3 on every row) do not make one.
  const std::pair<const char*, bool> cases[] = {
      {"System\\Manifest.ini", true},       {"system/MANIFEST.INT", true},
      {"Help\\Manifest.ini", true},         {"Manifest.int", true},
      {"System\\Manifest.ini.bak", false},  {"System\\MyManifest.ini", false},
      {"System\\Manifest.u", false},        {"Manifest.ini\\x", false},
      {"", false},
  };
  for (const auto& c : cases) {
    Entry e;
    e.name = c.first;
    e.flags = 3;
    EXPECT_EQ(is_umod_manifest(e), c.second) << c.first;
  }
}

TEST(UmodReader, NamesAreWindows1252) {
  std::string umod = build_umod({{"Maps\\Caf\xE9-\x80\x8A\x9F.unr", "x"}, {"Maps\\Bad\x81.unr", "y"}});
  std::string err;
  auto r = open(umod, err);
  ASSERT_TRUE(r) << err;
  EXPECT_EQ(r->entries()[0].name, "Maps\\Caf\xC3\xA9-\xE2\x82\xAC\xC5\xA0\xC5\xB8.unr");
  EXPECT_EQ(r->entries()[0].name_error, "");
  // 0x81 has no character in the code page: refused by name, not guessed.
  EXPECT_EQ(r->entries()[1].name, "");
  EXPECT_EQ(r->entries()[1].raw_name, "Maps\\Bad\xEF\xBF\xBD.unr");  // shown with U+FFFD
  EXPECT_NE(r->entries()[1].name_error.find("0x81"), std::string::npos);
  StringSink sink;
  EXPECT_EQ(r->extract(1, sink), "");
  EXPECT_EQ(sink.data_, "y");
}

// Umods that lie: refused as a whole with the reason, or, where the lie
// cannot hurt, opened (error empty) without a warning.
TEST(UmodReader, HostileUmodsAreRefused) {
  auto opt = [](auto set) {
    UmodOptions o;
    set(o);
    return o;
  };
  auto file = [](auto set) {
    UmodFile f{"System\\Foo.u", "package bytes"};
    set(f);
    return std::vector<UmodFile>{f, {"Maps\\DM-X.unr", "map bytes"}};
  };
  const std::vector<UmodFile> two = file([](UmodFile&) {});
  const std::string big = sample(100, 'c');
  struct Case {
    const char* what;
    std::vector<UmodFile> files;
    UmodOptions opt;
    const char* error;  // a part of the message; empty when the umod opens
  } cases[] = {
      {"no files at all", {}, {}, ""},
      {"an empty file inside another one's bytes", {{"A.u", big}, {"B.u", "", 0, 10u}}, {}, ""},
      {"an empty file at the directory's offset", {{"A.u", big}, {"B.u", "", 0, 100u}}, {}, ""},
      {"a gap between files", {{"A.u", big, 0, 0u, 40u}, {"B.u", big.substr(50), 0, 50u}}, {}, ""},
      {"a CRC that matches nothing", two, opt([](UmodOptions& o) { o.crc = 0x12345678; }), ""},
      {"bytes between directory and trailer", two, opt([](UmodOptions& o) { o.after_directory = "pad"; }),
       "3 bytes between its directory and its trailer"},
      {"wrong magic", two, opt([](UmodOptions& o) { o.magic = 0x9FE3C5A4; }), "not a UMOD installer"},
      {"cut short", two, opt([](UmodOptions& o) { o.truncate = 7; }), "not a UMOD installer"},
      {"nothing left", two, opt([](UmodOptions& o) { o.truncate = 2000; }), "not a UMOD installer"},
      {"data before it", two, opt([](UmodOptions& o) { o.prefix = "MZ"; }), "gives a size of"},
      {"a total size too large", two, opt([](UmodOptions& o) { o.total_size = 1000; }), "gives a size of 1000"},
      {"directory offset past the end", two, opt([](UmodOptions& o) { o.dir_offset = 0xFFFFFF00u; }),
       "directory offset"},
      // Two names and 22 bytes of data: the directory ends at byte 76, the file at 96.
      {"directory offset into the trailer", two, opt([](UmodOptions& o) { o.dir_offset = 80; }),
       "directory offset"},
      {"file offset past the end", file([](UmodFile& f) { f.offset = 5000; }), {}, "runs past the files' data"},
      {"file running into the directory", file([](UmodFile& f) { f.length = 23; }), {}, "runs past the files' data"},
      {"offset and length wrapping 32 bits", file([](UmodFile& f) { f.offset = 0xFFFFFFF0u; f.length = 0x20; }), {},
       "runs past the files' data"},
      {"files sharing bytes", {{"A.u", "0123456789"}, {"B.u", "abc"}, {"C.u", "", 0, 8u, 3u}}, {},
       "A.u and C.u overlap (possible zip bomb)"},
      {"every file on the same bytes", {{"A.u", "0123456789"}, {"B.u", "", 0, 0u, 10u}, {"C.u", "", 0, 0u, 10u}}, {},
       "overlap (possible zip bomb)"},
      {"a huge count", two, opt([](UmodOptions& o) { o.count = 1 << 30; }), "claims 1073741824 files"},
      {"a negative count", two, opt([](UmodOptions& o) { o.count = -2; }), "claims -2 files"},
      {"a count that never ends", two, opt([](UmodOptions& o) { o.count_bytes = std::string(6, '\xFF'); }),
       "longer than five bytes"},
      {"a count cut off", {}, opt([](UmodOptions& o) { o.count_bytes = "\x40"; }), "runs past the end"},
      {"a name length that never ends", file([](UmodFile& f) { f.name_length = int64_t(1) << 40; }), {},
       "longer than five bytes"},
      {"an absurd name length", file([](UmodFile& f) { f.name_length = 1 << 20; }), {}, "name length of 1048576"},
      {"a negative name length", file([](UmodFile& f) { f.name_length = -5; }), {}, "name length of -5"},
      {"a name length of zero", file([](UmodFile& f) { f.name_length = 0; }), {}, "name length of 0"},
      {"a name past the directory", file([](UmodFile& f) { f.name_length = 900; }), {}, "runs past the end"},
      {"an empty name", file([](UmodFile& f) { f.name = ""; }), {}, "empty name"},
      {"a name without its NUL", file([](UmodFile& f) { f.no_nul = true; f.name_length = 12; }), {},
       "does not end in a NUL"},
      {"a NUL inside the name", file([](UmodFile& f) { f.name = std::string("Foo\0..\\..\\Evil.u", 16); }), {},
       "holds a NUL before its end"},
  };
  for (const Case& c : cases) {
    std::string umod = build_umod(c.files, c.opt);
    std::string err = "not set";
    auto r = open(umod, err);
    if (!*c.error) {
      ASSERT_TRUE(r) << c.what << ": " << err;
      EXPECT_EQ(r->entries().size(), c.files.size()) << c.what;
      EXPECT_TRUE(r->warnings().empty()) << c.what;
      continue;
    }
    EXPECT_FALSE(r) << c.what;
    EXPECT_NE(err.find(c.error), std::string::npos) << c.what << ": " << err;
  }
  std::string err;
  EXPECT_FALSE(open("tiny", err));
  EXPECT_FALSE(open_umod(nullptr, err));
}

TEST(UmodReader, ManifestRequests) {
  const std::string setup =
      "[Setup]\r\nProduct=Foo\r\nVersion=100\r\nRequires=UTRequirement\r\nGroup=SetupGroup\r\nGroup=FooGroup\r\n"
      "[UTRequirement]\r\nProduct=UnrealTournament\r\nVersion=436\r\n"
      "[SetupGroup]\r\nCopy=(Src=System\\Manifest.*,Flags=3)\r\n";
  std::string many = "[Setup]\nGroup=G\n[G]\n";
  for (int i = 0; i < 60; ++i) many += "Delete=System\\Old" + std::to_string(i) + ".u\n";
  Lines many_lines;
  for (int i = 0; i < 50; ++i) many_lines.push_back("deletes System\\Old" + std::to_string(i) + ".u");
  many_lines.push_back("... and 10 more");
  struct Case {
    const char* what;
    std::string ini;
    Lines want;
  } cases[] = {
      {"a full manifest",
       setup + "[FooGroup]\r\nFile=(Src=System\\Foo.u,Size=10)\r\n"
               "AddIni=UnrealTournament.ini,Engine.GameEngine.ServerPackages=Foo\r\n"
               "Ini=User.ini,Engine.Input.F1=Say Hi\r\nDelete=System\\Old.u\r\nShortcut=Foo on the desktop\r\n"
               "Optional=True\r\nVisible=True\r\n",
       {"requires UnrealTournament version 436",
        "adds to UnrealTournament.ini: [Engine.GameEngine] ServerPackages=Foo",
        "sets in User.ini: [Engine.Input] F1=Say Hi", "deletes System\\Old.u",
        "also asks: Shortcut=Foo on the desktop"}},
      {"names in any case, comments, spaces, a group named twice",
       "; made by hand\n[SETUP]\nrequires = Req\ngroup=g\nGROUP=G\n[req]\nproduct=Unreal\n[g]\n  ADDINI = a.ini , S.K=V \n",
       {"requires Unreal", "adds to a.ini: [S] K=V"}},
      {"a requirement without its section, a group that is not there",
       "[Setup]\nRequires=FooRequirement\nGroup=Missing\n", {"requires FooRequirement"}},
      {"a group [Setup] does not name is never run", setup + "[Orphan]\nDelete=System\\Engine.u\n",
       {"requires UnrealTournament version 436"}},
      {"changes that are not of the form File,Section.Key=Value",
       "[Setup]\nGroup=G\n[G]\nAddIni=garbage\nIni=,S.K=V\nAddIni=a.ini,NoDot=V\nAddIni=a.ini,S.K\n"
       "AddIni=a.ini,S.K=V\nAddIni=a.ini,S.K=V\n",
       {"adds to an ini file: garbage", "sets in an ini file: ,S.K=V", "adds to an ini file: a.ini,NoDot=V",
        "adds to an ini file: a.ini,S.K", "adds to a.ini: [S] K=V"}},
      {"control characters, Windows-1252, a cut long line",
       "[Setup]\nGroup=G\n[G]\nDelete=Caf\xE9\x1B[2J.u\nDelete=" + std::string(400, 'x') + "\n",
       {"deletes Caf\xC3\xA9?[2J.u", "deletes " + std::string(292, 'x') + "..."}},
      {"a UTF-8 byte-order mark", "\xEF\xBB\xBF[Setup]\nGroup=G\n[G]\nDelete=\xC3\xA9.u\n", {"deletes \xC3\xA9.u"}},
      {"no [Setup]", "[G]\nDelete=x\nGroup=G\n", {}},
      {"not text at all", std::string("\0\xFF[\n=\n]\r\r[Setup\nGroup\n", 22), {}},
      {"more than fifty", many, many_lines},
  };
  for (const Case& c : cases) EXPECT_EQ(manifest_requests(c.ini), c.want) << c.what;
}

}  // namespace
}  // namespace orvane
