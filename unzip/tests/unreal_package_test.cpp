#include "unreal/unreal_package.h"

#include <gtest/gtest.h>

#include "unreal/intrinsic_classes.h"

#include <functional>

#include "test_support.h"
#include "unreal/unreal_game.h"

namespace orvane {
namespace {

using test::build_package;
using test::import_ref;
using test::PackageSpec;
using Lines = std::vector<std::string>;

// Fails the test when any byte is read twice or a read leaves the file.
class ReadOnceSource : public MemorySource {
 public:
  explicit ReadOnceSource(const std::string& bytes)
      : MemorySource(bytes.data(), bytes.size()), seen_(bytes.size(), false) {}
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    if (!MemorySource::read_at(offset, dst, n)) {
      ADD_FAILURE() << "read of " << n << " bytes at " << offset << " leaves the file";
      return false;
    }
    for (size_t i = 0; i < n; ++i) {
      if (seen_[offset + i]) {
        ADD_FAILURE() << "byte " << offset + i << " read twice";
        break;
      }
      seen_[offset + i] = true;
    }
    return true;
  }

 private:
  std::vector<bool> seen_;
};

std::string read(const std::string& bytes, Package& p) {
  ReadOnceSource src(bytes);
  return read_package(src, p);
}

uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
void put32_at(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A texture in a group of another package, and the map's own level.
PackageSpec texture_user(uint16_t version) {
  PackageSpec s;
  s.version = version;
  s.licensee = 3;
  s.flags = 0x11;
  s.names = {"None", std::string(kMaxPackageNameLength, 'n'), "\xDC" "ber"};
  s.imports = {{"Core", "Package", "CityTex", 0},
               {"Core", "Package", "Walls", import_ref(0)},
               {"Engine", "Texture", "Brick", import_ref(1)}};
  s.exports = {{import_ref(2), 0, 0, "MyLevel", 0x70004}};
  return s;
}

TEST(UnrealPackage, ReadsTheTablesOfEveryVersion) {
  // Before 64 names are plain NUL-terminated text; before 68 a heritage table stands for the GUID.
  for (uint16_t version : {60, 61, 62, 63, 64, 67, 68, 69}) {
    Package p;
    ASSERT_EQ(read(build_package(texture_user(version)), p), "") << version;
    EXPECT_EQ(p.version, version);
    EXPECT_EQ(p.licensee, 3);
    EXPECT_EQ(p.flags, 0x11u);
    EXPECT_EQ(p.guid, version >= 68 ? "OrvaneTestGuid!!" : "");
    EXPECT_EQ(p.export_count, 1u);
    EXPECT_EQ(p.names, (std::vector<std::string>{"None", std::string(kMaxPackageNameLength, 'n'), "\xDC" "ber",
                                                 "Core", "Package", "CityTex", "Walls", "Engine", "Texture",
                                                 "Brick", "MyLevel"}))
        << version;
    ASSERT_EQ(p.imports.size(), 3u);
    const PackageImport& brick = p.imports[2];
    EXPECT_EQ(p.names[brick.class_package], "Engine");
    EXPECT_EQ(p.names[brick.class_name], "Texture");
    EXPECT_EQ(p.names[brick.object_name], "Brick");
    EXPECT_EQ(brick.outer, import_ref(1));
    EXPECT_EQ(p.imports[0].outer, 0);
  }
  // The tables may lie anywhere: here the import table comes before the name table.
  std::string bytes = build_package(texture_user(69));
  uint32_t names_at = get32(bytes, 16), imports_at = get32(bytes, 32), exports_at = get32(bytes, 24);
  std::string swapped = bytes.substr(0, names_at) + bytes.substr(imports_at, exports_at - imports_at) +
                        bytes.substr(names_at, imports_at - names_at) + bytes.substr(exports_at);
  put32_at(swapped, 32, names_at);
  put32_at(swapped, 16, names_at + (exports_at - imports_at));
  Package p, q;
  ASSERT_EQ(read(bytes, p), "");
  ASSERT_EQ(read(swapped, q), "");
  EXPECT_EQ(q.names, p.names);
  EXPECT_EQ(q.names[q.imports[2].object_name], "Brick");
}

TEST(UnrealPackage, DependenciesAreTopLevelPackagesWithTheirKinds) {
  PackageSpec s;
  s.imports = {
      {"Core", "Package", "Core", 0},                  // 0
      {"Core", "Class", "Package", import_ref(0)},     // 1  the class Core.Package
      {"Core", "Package", "Engine", 0},                // 2
      {"Core", "Class", "Texture", import_ref(2)},     // 3
      {"Core", "Class", "Sound", import_ref(2)},       // 4
      {"Core", "Package", "CityTex", 0},               // 5
      {"Core", "Package", "Walls", import_ref(5)},     // 6  a group, not a package of its own
      {"Core", "Package", "Bricks", import_ref(6)},    // 7  a group in a group
      {"Engine", "Texture", "Red", import_ref(7)},     // 8
      {"Core", "Package", "CitySounds", 0},            // 9
      {"Engine", "Sound", "Door", import_ref(9)},      // 10
      {"Core", "Package", "CITYTEX", 0},               // 11 the same package again
      {"Engine", "Sound", "Hum", import_ref(11)},      // 12
      {"Core", "Package", "Botpack", 0},               // 13
      {"Core", "Class", "CTFFlag", import_ref(13)},    // 14
      {"Engine", "Texture", "Skin", import_ref(13)},   // 15
      {"Core", "Package", "Meshes", 0},                // 16
      {"Engine", "Mesh", "Tree", import_ref(16)},      // 17
      {"Core", "Package", "FireFX", 0},                // 18
      {"Fire", "FireTexture", "Flame", import_ref(18)},
      {"Core", "Package", "ctf-TEST", 0},              // the map itself
      {"Core", "Package", "MyLevel", 0},               // the map's own objects
      {"Engine", "Texture", "Embedded", 1},            // lies in export 0: this package
      {"Core", "Package", "Tunes", 0},
      {"Engine", "Music", "Theme", import_ref(23)},
  };
  s.exports = {{import_ref(1), 0, 0, "MyLevel", 0}};
  Package p;
  ASSERT_EQ(read(build_package(s), p), "");
  std::vector<Dependency> deps = dependencies(p, "CTF-Test");
  struct Want {
    const char* name;
    unsigned kinds;
    const char* text;
  } want[] = {
      {"Core", kCodePackage, "code package (.u)"},
      {"Engine", kCodePackage, "code package (.u)"},
      {"CityTex", kTexturePackage | kSoundPackage, "texture and sound package (.utx or .uax)"},
      {"CitySounds", kSoundPackage, "sound package (.uax)"},
      {"Botpack", kCodePackage | kTexturePackage, "code package (.u)"},
      {"Meshes", 0, "package"},
      {"FireFX", kTexturePackage, "texture package (.utx)"},
      {"Tunes", kMusicPackage, "music package (.umx)"},
  };
  ASSERT_EQ(deps.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < deps.size(); ++i) {
    EXPECT_EQ(deps[i].name, want[i].name);
    EXPECT_EQ(deps[i].kinds, want[i].kinds) << want[i].name;
    EXPECT_EQ(kind_text(deps[i].kinds), want[i].text) << want[i].name;
  }
  EXPECT_EQ(kind_text(kTexturePackage | kSoundPackage | kMusicPackage),
            "texture, sound and music package (.utx, .uax or .umx)");

  // A Package built by hand is not checked like a read one: bad references and loops are passed over.
  p.imports[8].outer = import_ref(8);
  p.imports[10].outer = 40;
  p.imports[12].object_name = 9999;
  p.imports[12].outer = import_ref(5000);
  deps = dependencies(p, "CTF-Test");
  ASSERT_GE(deps.size(), 4u);
  EXPECT_EQ(deps[2].name, "CityTex");
  EXPECT_EQ(deps[2].kinds, 0u);
  EXPECT_EQ(deps[3].kinds, 0u);
}

TEST(UnrealPackage, ObjectsTakenAndHeldByClassAndPath) {
  // Taken: only objects of other packages, with their groups; held: each export's class
  // through the imports, a class object, or a class of this package's own.
  PackageSpec s = texture_user(69);
  s.imports.push_back({"Core", "Package", "Engine", 0});                  // 3
  s.imports.push_back({"Core", "Class", "Sound", import_ref(3)});         // 4
  s.imports.push_back({"Core", "Package", "Core", 0});                    // 5
  s.imports.push_back({"Core", "Class", "Package", import_ref(5)});       // 6
  s.imports.push_back({"Engine", "Texture", "Grass", 0 + 1});             // lies in this package's MyLevel
  s.exports = {{0, 0, 0, "MyLevel", 0},       {import_ref(6), 0, 0, "Cliffs", 0}, {import_ref(4), 0, 2, "Granite", 0},
               {import_ref(4), 0, 0, "granite", 0}, {0, 0, 0, "Rock", 0}, {5, 0, 2, "Pebble", 0}};
  std::string bytes = build_package(s);
  Package p;
  MemorySource src(bytes.data(), bytes.size());
  ASSERT_EQ(read_package(src, p, true), "");
  Lines taken, held;
  for (const ObjectName& o : imported_objects(p, "Rocks")) taken.push_back(object_text(o));
  for (const ObjectName& o : exported_objects(p, "Rocks")) held.push_back(o.class_package + "." + object_text(o));
  EXPECT_EQ(taken, (Lines{"Texture CityTex.Walls.Brick", "Class Engine.Sound", "Class Core.Package"}));
  EXPECT_EQ(held, (Lines{"Core.Class Rocks.MyLevel", "Core.Package Rocks.Cliffs", "Engine.Sound Rocks.Cliffs.Granite",
                         "Engine.Sound Rocks.granite", "Core.Class Rocks.Rock", "Rocks.Rock Rocks.Cliffs.Pebble"}));
  ObjectList objects = exported_objects(p, "Rocks");
  EXPECT_TRUE(same_object(objects[2], ObjectName{"engine", "SOUND", {"rocks", "CLIFFS", "granite"}}));
  EXPECT_FALSE(same_object(objects[2], objects[3]));
  EXPECT_FALSE(same_object(objects[2], ObjectName{"Engine", "Texture", {"Rocks", "Cliffs", "Granite"}}));
  // Without being asked the exports are not read.
  Package q;
  MemorySource again(bytes.data(), bytes.size());
  ASSERT_EQ(read_package(again, q), "");
  EXPECT_TRUE(q.exports.empty());
  EXPECT_EQ(kind_of_extension("Textures\\Rocks.UTX"), kTexturePackage);
  EXPECT_EQ(kind_of_extension("System\\Botpack.u"), kCodePackage);
  EXPECT_EQ(kind_of_extension("Maps\\CTF-X.unr"), 0u);

  // Damaged exports are refused with the reason: a loop of groups, or groups nested deeper
  // than the check follows, too.
  auto nested = [](size_t n) {  // n exports, each in the one before
    std::vector<test::PackageExportSpec> e;
    for (size_t i = 0; i < n; ++i) e.push_back({0, 0, static_cast<int32_t>(i), "G" + std::to_string(i), 0});
    return e;
  };
  struct Row {
    std::vector<test::PackageExportSpec> exports;
    const char* error;
  } rows[] = {
      {{{import_ref(9), 0, 0, "A", 0}}, "export 0 has a class that is in neither table"},
      {{{2, 0, 0, "A", 0}}, "export 0 has a class that is in neither table"},
      {{{0, 0, 3, "A", 0}}, "export 0 lies in export 2, and there are 1 exports"},
      {{{0, 0, 2, "A", 0}, {0, 0, 1, "B", 0}}, "export 0 lies in a chain of exports that loops"},
      {{{0, 0, 0, "A", 0}, {0, 0, 2, "B", 0}}, "export 1 lies in a chain of exports that loops"},
      {nested(kMaxOuterDepth + 2), "export 65 lies in a chain of exports deeper than 64"},
      {nested(kMaxOuterDepth + 1), ""},
  };
  for (const Row& row : rows) {
    PackageSpec d = texture_user(69);
    d.exports = row.exports;
    std::string b = build_package(d);
    MemorySource m(b.data(), b.size());
    Package r;
    EXPECT_EQ(read_package(m, r, true), row.error);
    if (row.error[0] == 0) {
      ObjectList held = exported_objects(r, "X");
      ASSERT_EQ(held.size(), row.exports.size());
      EXPECT_EQ(held[held.size() - 1].path.size(), kMaxOuterDepth + 2);
      EXPECT_EQ(held.name(held.size() - 1), "G64");
      // Built by hand, a loop is passed over: every export lies in it.
      r.exports[0].outer = static_cast<int32_t>(r.exports.size());
      EXPECT_TRUE(exported_objects(r, "X").empty());
    }
  }
  // Imports nested as deep as the check follows are taken, one further is damage.
  PackageSpec deep = texture_user(69);
  deep.imports.resize(1);
  for (size_t i = 1; i <= kMaxOuterDepth; ++i)
    deep.imports.push_back({"Core", "Package", "G" + std::to_string(i), import_ref(i - 1)});
  deep.imports.back().class_name = "Texture";
  deep.exports.clear();
  std::string bytes_deep = build_package(deep);
  Package d;
  ASSERT_EQ(read(bytes_deep, d), "");
  ObjectList taken_deep = imported_objects(d, "X");
  ASSERT_EQ(taken_deep.size(), 1u);
  EXPECT_EQ(taken_deep[0].path.size(), kMaxOuterDepth + 1);
  EXPECT_EQ(object_text(taken_deep[0]).substr(0, 24), "Texture CityTex.G1.G2.G3");
  deep.imports.back().class_name = "Package";
  deep.imports.push_back({"Engine", "Texture", "Deepest", import_ref(kMaxOuterDepth)});
  EXPECT_EQ(read(build_package(deep), d), "import 65 lies in a chain of imports deeper than 64");
  std::string cut = build_package(texture_user(69));
  MemorySource m(cut.data(), cut.size() - 1);
  Package r;
  EXPECT_EQ(read_package(m, r, true), "the export table runs past the end of the file (the header claims 1 exports)");
}

TEST(UnrealPackage, LyingAndDamagedTablesAreRefusedWithTheReason) {
  // texture_user(69): header 64 bytes; names from 64 ("None" first: length 5 at 64, its NUL at 69).
  const size_t kNames = 64;
  auto spec = [](const std::function<void(PackageSpec&)>& change) {
    PackageSpec s = texture_user(69);
    change(s);
    return build_package(s);
  };
  auto patched = [](std::string bytes, size_t at, const std::string& with) { return bytes.replace(at, with.size(), with); };
  const std::string good = build_package(texture_user(69));
  const uint32_t import_at = get32(good, 32);
  struct Row {
    const char* what;
    std::string bytes;
    const char* error;
  } rows[] = {
      {"wrong tag", spec([](PackageSpec& s) { s.tag = 0x9E2A83C2; }), "not an Unreal package (no package tag)"},
      {"empty file", "", "no package tag"},
      {"tag alone", good.substr(0, 4), "the package header is truncated"},
      {"cut in the GUID", good.substr(0, 50), "the package header is truncated"},
      {"version 70", spec([](PackageSpec& s) { s.version = 70; }), "package version 70 is not one the game reads (it reads 60 to 69)"},
      {"version 59", spec([](PackageSpec& s) { s.version = 59; }), "package version 59 is not"},
      {"2^31 names", spec([](PackageSpec& s) { s.name_count = 0x80000000; }),
       "the name table runs past the end of the file (the header claims 2147483648 names)"},
      {"names past the end", spec([](PackageSpec& s) { s.name_offset = 0xFFFFFF00; }), "the name table starts past the end"},
      {"names in the header", spec([](PackageSpec& s) { s.name_offset = 20; }), "the name table overlaps the package header"},
      {"2^31-1 imports", spec([](PackageSpec& s) { s.import_count = 0x7FFFFFFF; }), "the import table runs past the end"},
      {"imports past the end", spec([](PackageSpec& s) { s.import_offset = 100000; }), "the import table starts past"},
      {"imports on the names", spec([](PackageSpec& s) { s.import_offset = 64; }), "the name table and the import table overlap"},
      {"imports inside the names", spec([](PackageSpec& s) { s.import_offset = 66; }), "the name table runs into the import table"},
      {"one name too many", spec([](PackageSpec& s) { s.name_count = 12; }), "the name table runs into the import table"},
      {"2^30 exports", spec([](PackageSpec& s) { s.export_count = 0x40000000; }), "the export table runs past the end"},
      {"2^29 generations", spec([](PackageSpec& s) { s.generation_count = 0x20000000; }), "generation table"},
      {"endless compact index", spec([](PackageSpec& s) { s.endless_index = 6; }), "name 0: a compact index runs past five bytes"},
      {"endless index to the end", spec([](PackageSpec& s) { s.endless_index = 100000; }), "runs past five bytes"},
      {"index past 32 bits", patched(good, kNames, "\x7F\xFF\xFF\xFF\x7F"), "a compact index is larger than 32 bits"},
      {"negative name length", patched(good, kNames, "\x85"), "name 0 has a negative length"},
      {"name without its NUL", patched(good, kNames + 5, "x"), "name 0 does not end in a NUL"},
      {"1025-byte name", spec([](PackageSpec& s) { s.names[1] += "n"; }), "name 1 is longer than 1024 bytes"},
      {"1025-byte old name", spec([](PackageSpec& s) { s.version = 63; s.names[1] += "n"; }), "name 1 is longer than 1024 bytes"},
      {"name index past the table", patched(good, import_at, "\x3F"), "import 0 refers to name 63, and there are 11 names"},
      {"negative name index", patched(good, import_at, "\x81"), "import 0 refers to name -1"},
      {"outer past the imports", spec([](PackageSpec& s) { s.imports[2].outer = import_ref(50); }),
       "import 2 lies in import 50, and there are 3 imports"},
      {"outer past the exports", spec([](PackageSpec& s) { s.imports[2].outer = 5; }), "import 2 lies in export 4, and there are 1 exports"},
      {"outer of -2^31", spec([](PackageSpec& s) { s.imports[2].outer = INT32_MIN; }), "import 2 lies in import 2147483647"},
      {"outer chain loops", spec([](PackageSpec& s) { s.imports[0].outer = import_ref(2); }), "lies in a chain of imports that loops"},
      {"import in itself", spec([](PackageSpec& s) { s.imports[1].outer = import_ref(1); }), "import 1 lies in a chain of imports that loops"},
      {"heritage past the end", patched(build_package(texture_user(63)), 40, std::string("\x00\xFF\xFF\xFF", 4)),
       "the heritage table runs past the end of the file"},
  };
  for (const Row& row : rows) {
    Package p;
    std::string err = read(row.bytes, p);
    EXPECT_NE(err.find(row.error), std::string::npos) << row.what << ": " << err;
  }

  // The kind of each damage, which the whole game's check groups by; a package cut short
  // where its exports' data lies, which its tables still claim, is one too.
  PackageSpec with_data = texture_user(69);
  with_data.exports = {{import_ref(2), 0, 0, "MyLevel", 0, 5000}, {import_ref(2), 0, 0, "Other", 0, 10}};
  const std::string data = build_package(with_data);
  PackageSpec far = with_data;
  far.exports[1].serial_offset = 0x7FFFFFF0;
  PackageSpec negative = with_data;
  negative.exports[1].serial_size = -1;
  const struct {
    const char* what;
    std::string bytes;
    PackageDamage kind;
    const char* error;
  } kinds[] = {
      {"whole", data, PackageDamage::kNone, ""},
      {"empty", "", PackageDamage::kEmpty, "no package tag"},
      {"text", "hello", PackageDamage::kNotPackage, "no package tag"},
      {"version", spec([](PackageSpec& s) { s.version = 70; }), PackageDamage::kVersion, "package version 70"},
      {"cut in the header", good.substr(0, 40), PackageDamage::kPastEnd, "header is truncated"},
      {"cut in the tables", good.substr(0, good.size() - 3), PackageDamage::kPastEnd, "runs past the end"},
      {"data far away", build_package(far), PackageDamage::kPastEnd, "export 1's data runs past the end of the file"},
      {"negative size", build_package(negative), PackageDamage::kTables, "export 1 has a negative size"},
      {"index past the table", patched(good, import_at, "\x3F"), PackageDamage::kTables, "refers to name 63"},
  };
  // Each read fresh, and again through windows into one Package that the package before
  // filled, as the whole game's check reads: nothing of the one before may remain.
  Package reused;
  for (const auto& k : kinds) {
    Package p;
    MemorySource src(k.bytes.data(), k.bytes.size());
    PackageDamage kind = PackageDamage::kTables;
    const std::string err = read_package(src, p, true, &kind);
    EXPECT_EQ(kind, k.kind) << k.what << ": " << err;
    EXPECT_NE(err.find(k.error), std::string::npos) << k.what << ": " << err;
    PackageDamage again = PackageDamage::kTables;
    EXPECT_EQ(read_package_file(src, reused, true, &again), err) << k.what;
    EXPECT_EQ(again, kind) << k.what;
    EXPECT_EQ(reused.names, p.names) << k.what;
    EXPECT_EQ(reused.imports.size(), p.imports.size()) << k.what;
    EXPECT_EQ(reused.exports.size(), p.exports.size()) << k.what;
    EXPECT_EQ(reused.guid, p.guid) << k.what;
  }
  // Cut anywhere in its data, the package is damage: its exports claim what is gone.
  for (size_t cut = data.size() - 1; cut > 64; cut = cut > 97 ? cut - 97 : 0) {
    Package p;
    MemorySource src(data.data(), cut);
    PackageDamage kind = PackageDamage::kNone;
    EXPECT_NE(read_package(src, p, true, &kind), "") << cut;
    EXPECT_EQ(kind, PackageDamage::kPastEnd) << cut;
  }

  // Every cut of a whole package fails cleanly: its exports and heritage are of the smallest size, so
  // even a cut in those shows.
  for (uint16_t version : {63, 69}) {
    std::string whole = build_package(texture_user(version));
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      Package p;
      EXPECT_NE(read(whole.substr(0, cut), p), "") << version << " cut at " << cut;
    }
  }
}

// Counts the reads that reach it, and fails those that touch [bad, bad_end).
class CountingSource : public MemorySource {
 public:
  explicit CountingSource(const std::string& bytes, uint64_t bad = 0, uint64_t bad_end = 0)
      : MemorySource(bytes.data(), bytes.size()), bad_(bad), bad_end_(bad_end) {}
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    ++reads;
    if (n && offset < bad_end_ && offset + n > bad_) return false;
    return MemorySource::read_at(offset, dst, n);
  }
  int reads = 0;

 private:
  uint64_t bad_, bad_end_;
};

TEST(WindowedSource, TheSameBytesAsItsSourceInFewReads) {
  std::string bytes(1000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  // Any read, within the file, across a window's end or past the file's, as the source gives it.
  {
    MemorySource plain(bytes.data(), bytes.size());
    CountingSource inner(bytes);
    WindowedSource windows(inner, nullptr, 64);
    for (uint64_t at = 0; at <= bytes.size() + 2; ++at)
      for (size_t n : {0, 1, 7, 63, 64, 65, 300}) {
        std::string want(n, 'x'), got(n, 'y');
        const bool ok = plain.read_at(at, &want[0], n);
        ASSERT_EQ(windows.read_at(at, &got[0], n), ok) << at << " " << n;
        if (ok) {
          ASSERT_EQ(got, want) << at << " " << n;
        }
      }
  }
  // A table read front to back in small pieces: one read for each window.
  {
    CountingSource inner(bytes);
    WindowedSource windows(inner, nullptr, 64);
    char piece[8];
    for (uint64_t at = 0; at + sizeof piece <= bytes.size(); at += sizeof piece)
      ASSERT_TRUE(windows.read_at(at, piece, sizeof piece));
    EXPECT_EQ(inner.reads, 16);  // 1000 / 64, rounded up
  }
  // A window that the source cannot fill does not fail a read that it can; a kept window
  // (the storage of a file read before) gives nothing of the old file.
  {
    WindowedSource::Storage kept;
    const std::string other(1000, 'z');
    CountingSource before(other);
    char b = 0;
    ASSERT_TRUE(WindowedSource(before, &kept, 64).read_at(480, &b, 1));
    CountingSource inner(bytes, 500, 510);
    WindowedSource windows(inner, &kept, 64);
    char piece[8];
    ASSERT_TRUE(windows.read_at(480, piece, sizeof piece));
    EXPECT_EQ(std::string(piece, sizeof piece), bytes.substr(480, sizeof piece));
    EXPECT_FALSE(windows.read_at(505, piece, 1));
    ASSERT_TRUE(windows.read_at(520, piece, sizeof piece));
    EXPECT_EQ(std::string(piece, sizeof piece), bytes.substr(520, sizeof piece));
  }
}

TEST(UnrealPackage, AFileIsReadInAFewLargeReads) {
  // As the game lays a map out: the header, its exports' data, then the tables.
  PackageSpec spec = texture_user(69);
  for (int i = 0; i < 3000; ++i) {
    spec.names.push_back("Brush" + std::to_string(i));
    spec.exports.push_back({import_ref(2), 0, 0, spec.names.back(), 0, 100});
  }
  const std::string bytes = build_package(spec);
  ASSERT_GT(bytes.size(), 300000u);
  Package p, q;
  MemorySource plain(bytes.data(), bytes.size());
  ASSERT_EQ(read_package(plain, p, true), "");
  CountingSource file(bytes);
  ASSERT_EQ(read_package_file(file, q, true), "");
  EXPECT_EQ(q.names, p.names);
  EXPECT_EQ(q.exports.size(), 3001u);
  // The header's window, then the tables' (some 70 kB): a window of 64 kB, and the rest.
  EXPECT_LE(file.reads, 3);
}

// Every class that the game's real packages were seen to import from Core and Engine,
// and that no file exports, is one the game's program defines; their script classes are
// not, nor one that no version of the game has; other packages have no list.
TEST(IntrinsicClasses, WhatTheRealPackagesImport) {
  const struct {
    const char* package;
    std::vector<const char*> names;
    ClassInCode expected;
  } rows[] = {
      {"Core",
       {"Package", "TextBuffer", "BoolProperty", "Class", "IntProperty", "Function", "ByteProperty", "ObjectProperty",
        "StrProperty", "StructProperty", "FloatProperty", "NameProperty", "ClassProperty", "Enum", "Struct", "Const",
        "State", "ArrayProperty", "Language"},
       ClassInCode::kYes},
      {"Engine",
       {"Sound", "Music", "Level", "Model", "Polys", "Font", "Viewport", "NetConnection", "Mesh", "Animation",
        "AudioSubsystem", "Client", "NetDriver", "Primitive", "RenderBase", "RenderDevice", "LodMesh"},
       ClassInCode::kYes},
      {"engine", {"LEVEL", "polys"}, ClassInCode::kYes},  // names are matched without case
      {"Core", {"Object", "Commandlet", "Locale"}, ClassInCode::kNo},
      {"Engine", {"Actor", "Texture", "LevelInfo", "Hologram"}, ClassInCode::kNo},
      {"Botpack", {"Level", "CTFFlag"}, ClassInCode::kPackageUnlisted},
  };
  for (const auto& row : rows)
    for (const char* name : row.names)
      EXPECT_EQ(class_in_code(row.package, name), row.expected) << row.package << "." << name;
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The game's folders are listed once; a file put in place later is added where the
// game's search finds it: before the same name in a folder searched later.
TEST(GameListing, ListedOnceAndAddedToInSearchOrder) {
  test::ScratchDir dir;
  test::write_file(dir.path() / "System" / "UnrealTournament.ini",
                   "[Core.System]\r\nPaths=../System/*.u\r\nPaths=../Textures/*.utx\r\n");
  test::write_file(dir.path() / "Textures" / "Rocks.utx", "t");
  GameListing listing(dir.str());
  auto shown = [&](const std::string& name) {
    Lines all;
    auto at = listing.files().find(name);
    if (at != listing.files().end())
      for (const GameListing::Found& f : at->second) all.push_back(f.shown);
    return all;
  };
  EXPECT_EQ(shown("rocks"), Lines{"Textures\\Rocks.utx"});
  test::write_file(dir.path() / "System" / "Rocks.u", "c");
  test::write_file(dir.path() / "System" / "Late.u", "c");
  test::write_file(dir.path() / "Maps" / "Rocks.unr", "m");
  EXPECT_EQ(shown("rocks"), Lines{"Textures\\Rocks.utx"});  // not listed again
  listing.add(dir.sub("System" + test::sep() + "Rocks.u"));
  listing.add(dir.sub("System" + test::sep() + "ROCKS.u"));  // the same file again
  listing.add(dir.sub("Maps" + test::sep() + "Rocks.unr"));  // a folder the game does not search
  listing.add("System" + test::sep() + "Late.u");             // relative to the game
  EXPECT_EQ(shown("rocks"), (Lines{"System\\Rocks.u", "Textures\\Rocks.utx"}));
  EXPECT_EQ(shown("late"), Lines{"System\\Late.u"});
}

}  // namespace
}  // namespace orvane
