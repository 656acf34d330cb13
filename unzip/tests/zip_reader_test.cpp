#include "archive/zip/zip_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "test_support.h"

namespace orvane {
namespace {

using test::build_zip;
using test::Item;
using test::Layout;
using test::StringSink;

std::string read_all(const std::string& zip, ZipArchive& a) {
  MemorySource src(zip.data(), zip.size());
  return read_archive(src, a);
}

std::string extract(const std::string& zip, size_t index, std::string& out) {
  MemorySource src(zip.data(), zip.size());
  ZipArchive a;
  std::string err = read_archive(src, a);
  if (!err.empty()) return "archive: " + err;
  StringSink sink;
  err = extract_data(src, a.entries.at(index), sink);
  out = sink.data_;
  return err;
}

std::string sample(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>("UnrealTournament"[i % 16] + (i / 977) % 7);
  return s;
}

TEST(ZipReader, StoredDeflatedDescriptorZip64RoundTrip) {
  std::string big = sample(3 * 1024 * 1024 + 17);  // spans several inflate buffers
  std::vector<Item> items(6);
  items[0].name = "stored.txt";   items[0].data = "hello";       items[0].method = 0;
  items[1].name = "Maps/big.unr"; items[1].data = big;
  items[2].name = "desc.utx";     items[2].data = sample(5000);  items[2].descriptor = true;
  items[3].name = "z64.uax";      items[3].data = sample(7000);  items[3].zip64 = true;
  items[4].name = "z64desc.umx";  items[4].data = sample(900);   items[4].zip64 = true; items[4].descriptor = true;
  items[5].name = "empty.txt";    items[5].data = "";
  for (bool zip64_end : {false, true}) {
    Layout layout;
    layout.zip64_end = zip64_end;
    std::string zip = build_zip(items, layout);
    ZipArchive a;
    ASSERT_EQ(read_all(zip, a), "");
    ASSERT_EQ(a.entries.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      std::string got;
      EXPECT_EQ(extract(zip, i, got), "") << items[i].name;
      EXPECT_TRUE(got == items[i].data) << items[i].name;
      EXPECT_EQ(a.entries[i].name, items[i].name);
    }
  }
}

TEST(ZipReader, CommentWithForgedEndRecordAndPrependedStub) {
  std::vector<Item> items(1);
  items[0].name = "a.txt";
  items[0].data = "payload";
  Layout layout;
  // A comment holding something that looks like an end record must not be taken for one.
  layout.comment = std::string("PK\x05\x06", 4) + std::string(18, '\0') + "rest of comment";
  layout.prefix = "MZ self-extractor stub";
  std::string zip = build_zip(items, layout);
  ZipArchive a;
  ASSERT_EQ(read_all(zip, a), "");
  EXPECT_EQ(a.comment, layout.comment);
  std::string got;
  EXPECT_EQ(extract(zip, 0, got), "");
  EXPECT_EQ(got, "payload");

  layout.zip64_end = true;  // the stub also shifts the ZIP64 record
  zip = build_zip(items, layout);
  EXPECT_EQ(extract(zip, 0, got), "");
  EXPECT_EQ(got, "payload");
}

TEST(ZipReader, CorruptDataIsReported) {
  std::vector<Item> items(1);
  items[0].name = "a.unr";
  items[0].data = sample(100000);
  std::string got;

  items[0].bad_crc = true;
  EXPECT_NE(extract(build_zip(items), 0, got).find("CRC-32"), std::string::npos);
  items[0].method = 0;
  EXPECT_NE(extract(build_zip(items), 0, got).find("CRC-32"), std::string::npos);
  items[0].bad_crc = false;

  for (uint16_t method : {0, 8}) {
    items[0].method = method;
    items[0].size_delta = -1000;  // declares less than it holds: a bomb stops at the declared size
    std::string zip = build_zip(items);
    MemorySource src(zip.data(), zip.size());
    ZipArchive a;
    ASSERT_EQ(read_archive(src, a), "");
    StringSink sink;
    EXPECT_NE(extract_data(src, a.entries[0], sink), "") << method;
    EXPECT_LE(sink.data_.size(), items[0].data.size() - 1000) << method;

    items[0].size_delta = +1;  // declares more than it holds
    EXPECT_NE(extract(build_zip(items), 0, got), "") << method;
    items[0].size_delta = 0;
  }

  // Damage inside the deflate stream itself.
  items[0].method = 8;
  std::string zip = build_zip(items);
  for (size_t i = 40; i < 200; ++i) zip[i] = static_cast<char>(0xFF);
  EXPECT_NE(extract(zip, 0, got), "");
}

TEST(ZipReader, SinkFailureStopsExtraction) {
  std::vector<Item> items(1);
  items[0].name = "a.unr";
  items[0].data = sample(2 * 1024 * 1024);
  std::string zip = build_zip(items);
  MemorySource src(zip.data(), zip.size());
  ZipArchive a;
  ASSERT_EQ(read_archive(src, a), "");
  StringSink sink(1024);
  EXPECT_EQ(extract_data(src, a.entries[0], sink), "disk full");
}

TEST(ZipReader, OverlappingEntriesAreRefusedHighRatioIsNot) {
  // Entries sharing one local header: extract_test.cpp. Here a local header
  // inside another entry's data, and data that runs one byte into the next
  // local header or into the central directory.
  Item inner, outer, a;
  inner.name = "inner.bin";
  inner.data = sample(5000);
  std::string inner_zip = build_zip({inner});
  outer.name = "outer.bin";
  outer.method = 0;
  outer.data = inner_zip.substr(0, inner_zip.size() - 22 - 46 - 9);
  inner.central_only = true;
  inner.central_offset = 30 + 9;
  a.name = "a.txt";
  a.data = sample(4000);
  std::string runs_on = build_zip({a, a}), into_cd = build_zip({a});
  runs_on[runs_on.size() - 22 - 2 * (46 + 5) + 20] += 1;  // the first entry's compressed size
  into_cd[into_cd.size() - 22 - 46 - 5 + 20] += 1;
  for (const std::string& zip : {build_zip({outer, inner}), runs_on, into_cd}) {
    ZipArchive arc;
    EXPECT_NE(read_all(zip, arc).find("possible zip bomb"), std::string::npos);
  }
  // One legal entry of 100 MB of zeros, compressed about 1000:1, still extracts.
  Item zeros;
  zeros.name = "zeros.bin";
  zeros.data = std::string(100u << 20, '\0');
  std::string zip = build_zip({zeros}), got;
  EXPECT_LT(zip.size(), 200u * 1024);
  EXPECT_EQ(extract(zip, 0, got), "");
  EXPECT_EQ(got.size(), 100u << 20);
}

void patch_end(std::string& zip, size_t field, uint32_t value, int bytes) {  // zip without a comment
  for (int i = 0; i < bytes; ++i) zip[zip.size() - 22 + field + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(ZipReader, DirectoryIsWalkedFromItsRecords) {
  std::vector<Item> items(2);
  items[0].name = "Maps/a.unr"; items[0].data = sample(3000);
  items[1].name = "b.txt";      items[1].data = "b";
  std::string zip = build_zip(items);
  // A misstated size (the real one is 107: too large, too small, zero, absurd) is recovered, with a warning.
  for (uint32_t size : {114u, 61u, 0u, 0xFFFFFFF0u}) {
    std::string bad = zip, got;
    patch_end(bad, 12, size, 4);
    ZipArchive a;
    EXPECT_EQ(read_all(bad, a), "") << size;
    EXPECT_EQ(a.warnings.size(), 1u);
    EXPECT_EQ(extract(bad, 1, got), "");
    EXPECT_EQ(got, "b");
  }
  // 70,000 entries: the classic end record holds 70,000 & 0xFFFF = 4,464. A
  // count that disagrees beyond that wrap is damage.
  std::vector<Item> many(70000);
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].name = std::to_string(i);
    many[i].method = 0;
  }
  zip = build_zip(many);
  ZipArchive a;
  ASSERT_EQ(read_all(zip, a), "");
  EXPECT_EQ(a.entries.size(), 70000u);
  patch_end(zip, 10, 4465, 2);
  EXPECT_NE(read_all(zip, a).find("says 4465 entries, the directory holds 70000"), std::string::npos);
}

TEST(ZipReader, EveryTruncationFailsCleanly) {
  std::vector<Item> items(3);
  items[0].name = "Maps/a.unr"; items[0].data = sample(3000);
  items[1].name = "b.txt";      items[1].data = "short"; items[1].method = 0;
  items[2].name = "c.utx";      items[2].data = sample(2000); items[2].zip64 = true;
  Layout layout;
  layout.zip64_end = true;
  std::string zip = build_zip(items, layout);
  for (size_t cut = 0; cut < zip.size(); ++cut) {
    std::string part = zip.substr(0, cut);
    MemorySource src(part.data(), part.size());
    ZipArchive a;
    std::string err = read_archive(src, a);
    if (err.empty()) {  // only possible if the cut spares the directory, which it never does here
      ADD_FAILURE() << "cut at " << cut << " was read as whole";
      continue;
    }
  }
  // A missing end record on something that starts like a ZIP says "truncated".
  ZipArchive a;
  EXPECT_NE(read_all(zip.substr(0, zip.size() / 2), a).find("truncated"), std::string::npos);
  // ZipEntry data cut off while the directory survives (a damaged download).
  std::string head = build_zip({items[0]});
  std::string hole = head;
  hole.erase(40, 2000);
  EXPECT_NE(read_all(hole, a), "");
}

TEST(ZipReader, RefusesWhatItCannotDecode) {
  std::vector<Item> items(4);
  items[0].name = "secret.txt"; items[0].data = "x"; items[0].flags = 1;
  items[1].name = "b.bz2";      items[1].data = "x"; items[1].method = 12;
  items[2].name = "d.d64";      items[2].data = "x"; items[2].method = 9;
  items[3].name = "l.lzma";     items[3].data = "x"; items[3].method = 14;
  std::string zip = build_zip(items);
  const char* expected[] = {"encrypted", "bzip2", "deflate64", "LZMA"};
  for (size_t i = 0; i < items.size(); ++i) {
    std::string got;
    std::string err = extract(zip, i, got);
    EXPECT_NE(err.find(expected[i]), std::string::npos) << err;
    EXPECT_TRUE(got.empty());
  }
}

TEST(ZipReader, SplitArchivesAreRefused) {
  Item one;
  one.name = "a.txt";
  one.data = "x";
  std::string zip = build_zip({one});
  std::string split = zip;
  split[split.size() - 22 + 4] = 1;  // "this is disk 2"
  ZipArchive a;
  EXPECT_NE(read_all(split, a).find("split"), std::string::npos);
  std::string spanned = std::string("PK\x07\x08", 4) + zip.substr(0, zip.size() - 22);
  EXPECT_NE(read_all(spanned, a).find("split"), std::string::npos);
  EXPECT_NE(read_all("not a zip at all, just some text that is long enough", a), "");
}

TEST(ZipReader, NamesTimesAndKinds) {
  std::vector<Item> items(7);
  items[5].name = "\xC3\xBC" "ber.txt";  // UTF-8 bytes, no flag, from a Unix host
  items[5].made_by = 0x0314;
  items[6].name = "\x81" "ber.txt";       // not UTF-8 even though from a Unix host
  items[6].made_by = 0x0314;
  items[0].name = "\x81" "ber.txt";  // CP437
  items[1].name = "\xC3\xBC" "ber.txt";
  items[1].flags = 0x0800;  // UTF-8
  items[2].name = "bad\xC3.txt";
  items[2].flags = 0x0800;
  // Info-ZIP extended timestamp (mtime 2001-09-09 01:46:40 UTC) and a Unicode path field.
  items[3].name = "?.txt";
  items[3].central_extra = std::string("UT\x05\x00\x01\x00\xCA\x9A\x3B", 9);
  {
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>("?.txt"), 5);
    std::string body = "\x01";
    for (int k = 0; k < 4; ++k) body += static_cast<char>((crc >> (8 * k)) & 0xFF);
    body += "\xE6\x97\xA5.txt";
    items[3].central_extra += std::string("up", 2) + static_cast<char>(body.size()) + '\0' + body;
  }
  items[4].name = "link";
  items[4].made_by = 0x0314;                  // Unix
  items[4].external_attr = 0120777u << 16;    // symbolic link
  std::string zip = build_zip(items);
  ZipArchive a;
  ASSERT_EQ(read_all(zip, a), "");
  EXPECT_EQ(a.entries[0].name, "\xC3\xBC" "ber.txt");
  EXPECT_EQ(a.entries[1].name, "\xC3\xBC" "ber.txt");
  EXPECT_TRUE(a.entries[2].name.empty());
  EXPECT_NE(a.entries[2].name_error, "");
  EXPECT_EQ(a.entries[3].name, "\xE6\x97\xA5.txt");
  EXPECT_TRUE(a.entries[3].has_unix_mtime);
  EXPECT_EQ(a.entries[3].unix_mtime, 1000000000);
  EXPECT_TRUE(a.entries[4].is_symlink());
  EXPECT_EQ(a.entries[5].name, "\xC3\xBC" "ber.txt");
  EXPECT_EQ(a.entries[6].name, "\xC3\xBC" "ber.txt");
  EXPECT_FALSE(a.entries[0].is_symlink());
}

}  // namespace
}  // namespace orvane
