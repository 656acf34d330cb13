#include "archive/sevenzip/libarchive_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <map>

#include "archive/formats.h"
#include "test_support.h"

namespace orvane {
namespace {

using test::test_archive;

// Bytes the reader owns, as a file would be; `swap` changes them behind its back.
class BytesSource : public Source {
 public:
  explicit BytesSource(std::string bytes, std::string* swap = nullptr) : bytes_(std::move(bytes)), swap_(swap) {}
  uint64_t size() const override { return swap_ && !swap_->empty() ? swap_->size() : bytes_.size(); }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    const std::string& b = swap_ && !swap_->empty() ? *swap_ : bytes_;
    return MemorySource(b.data(), b.size()).read_at(offset, dst, n);
  }

 private:
  std::string bytes_;
  std::string* swap_;
};

std::unique_ptr<ArchiveReader> open_bytes(const std::string& bytes, std::string& err, std::string* swap = nullptr) {
  EXPECT_FALSE(bytes.empty());
  return open_libarchive(std::unique_ptr<Source>(new BytesSource(bytes, swap)), err);
}

std::unique_ptr<ArchiveReader> open_named(const std::string& name) {
  std::string err;
  std::unique_ptr<ArchiveReader> r = open_bytes(test_archive(name), err);
  EXPECT_TRUE(r) << name << ": " << err;
  return r;
}

std::string open_error(const std::string& bytes) {
  std::string err;
  std::unique_ptr<ArchiveReader> r = open_bytes(bytes, err);
  EXPECT_FALSE(r);
  EXPECT_FALSE(err.empty());
  return err;
}

struct Outcome {
  std::string data, why;
  bool done = false;
};

// Collects an entry's data into its outcome, refusing past a limit as a full disk would.
class OutcomeSink : public Sink {
 public:
  OutcomeSink(Outcome& o, size_t limit) : out_(o), room_(limit) {}
  bool write(const unsigned char* data, size_t n) override {
    if (n > room_) {
      error_ = "disk full";
      return false;
    }
    room_ -= n;
    out_.data.append(reinterpret_cast<const char*>(data), n);
    return true;
  }

 private:
  Outcome& out_;
  size_t room_;
};

// One in-order pass: every file named in `wanted` (all when empty) gets a sink.
std::string pass(ArchiveReader& r, std::map<std::string, Outcome>& out, const std::vector<std::string>& wanted = {},
                 size_t limit = SIZE_MAX) {
  std::vector<std::unique_ptr<OutcomeSink>> sinks;
  return r.extract_in_order(
      [&](size_t i) -> Sink* {
        const Entry& e = r.entries().at(i);
        if (e.directory || e.link || (!wanted.empty() && std::count(wanted.begin(), wanted.end(), e.name) == 0))
          return nullptr;
        sinks.emplace_back(new OutcomeSink(out[e.name], limit));
        return sinks.back().get();
      },
      [&](size_t i, const std::string& why) {
        Outcome& o = out[r.entries().at(i).name];
        EXPECT_FALSE(o.done) << "done twice for entry " << i;
        o.done = true;
        o.why = why;
      });
}

std::string unr() {
  std::string s;
  for (int i = 0; i < 300; ++i) s += "Actor Class=Engine.Brush Name=Brush" + std::to_string(i) + "\r\n";
  return s;
}

std::string utx(size_t n) {
  std::string s;
  for (uint32_t k = 0; k < n; ++k) s += static_cast<char>(static_cast<uint32_t>(k * 2654435761u) >> 24);
  return s;
}

// test<n>.bin of rar5_solid.rar: 1024 little-endian words k * (k - 1) + n - 1.
std::string rar5_bin(uint32_t n) {
  std::string s;
  for (uint32_t k = 0; k < 1024; ++k) {
    uint32_t v = k * (k - 1) + n - 1;
    for (int b = 0; b < 4; ++b) s += static_cast<char>(v >> (8 * b));
  }
  return s;
}

const Entry* find(const ArchiveReader& r, const std::string& name) {
  for (const Entry& e : r.entries())
    if (e.name == name) return &e;
  return nullptr;
}

TEST(LibarchiveReader, SolidLzma2SevenZipListsThenDecodesInOrder) {
  std::unique_ptr<ArchiveReader> r = open_named("lzma2_solid.7z");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->format(), Format::SevenZip);
  EXPECT_FALSE(r->random_access());
  std::vector<std::string> names;
  for (const Entry& e : r->entries()) {
    names.push_back(e.name);
    EXPECT_TRUE(e.unsupported.empty()) << e.name << ": " << e.unsupported;
    EXPECT_FALSE(e.has_crc);
    EXPECT_TRUE(e.has_unix_mtime);
    EXPECT_EQ(e.unix_mtime, 1500000000);
    EXPECT_EQ(e.raw_name, e.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Help/", "Maps/", "Textures/", "Empty.txt", "Help/\xC3\x9C" "ber Seven.txt",
                                             "Maps/CTF-Seven.unr", "Textures/Seven.utx"}));
  ASSERT_TRUE(find(*r, "Maps/CTF-Seven.unr"));
  EXPECT_EQ(find(*r, "Maps/CTF-Seven.unr")->size, unr().size());
  EXPECT_EQ(find(*r, "Textures/Seven.utx")->size, 5000u);

  std::map<std::string, Outcome> all;
  EXPECT_EQ(pass(*r, all), "");
  EXPECT_EQ(all.size(), 4u);
  EXPECT_EQ(all["Maps/CTF-Seven.unr"].data, unr());
  EXPECT_EQ(all["Textures/Seven.utx"].data, utx(5000));
  EXPECT_EQ(all["Help/\xC3\x9C" "ber Seven.txt"].data, "Seven\r\n");
  EXPECT_TRUE(all["Empty.txt"].done);
  for (auto& o : all) EXPECT_EQ(o.second.why, "") << o.first;

  // Only the last entry of the solid block: the ones before it are decoded and dropped. A
  // second pass over the same reader works as the first.
  std::map<std::string, Outcome> last;
  EXPECT_EQ(pass(*r, last, {"Textures/Seven.utx"}), "");
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last["Textures/Seven.utx"].data, utx(5000));

  // A sink that fails ends its own entry only.
  std::map<std::string, Outcome> full;
  EXPECT_EQ(pass(*r, full, {}, 6000), "");
  EXPECT_EQ(full["Maps/CTF-Seven.unr"].why, "disk full");
  EXPECT_EQ(full["Textures/Seven.utx"].why, "");
  EXPECT_EQ(full["Textures/Seven.utx"].data, utx(5000));
}

TEST(LibarchiveReader, DamagedDataIsReportedNeverPassedOn) {
  // Stored data: a changed byte shows only in the CRC, which libarchive reports as a warning.
  std::string stored = test_archive("stored.7z");
  ASSERT_GT(stored.size(), 40u);
  stored[33] ^= 0x55;  // in after.txt, the first data after the 32-byte header
  std::string err;
  std::unique_ptr<ArchiveReader> r = open_bytes(stored, err);
  ASSERT_TRUE(r) << err;
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  EXPECT_NE(out["after.txt"].why.find("compressed data is damaged (libarchive: 7-Zip bad CRC"), std::string::npos)
      << out["after.txt"].why;
  EXPECT_EQ(out["after.txt"].data, "");
  EXPECT_EQ(out["plain.txt"].why, "");
  EXPECT_EQ(out["plain.txt"].data, "plain\r\n");

  // LZMA2: the decoder fails, which ends the pass; no entry claims success with wrong data.
  std::string solid = test_archive("lzma2_solid.7z");
  solid[32 + 500] ^= 0x55;
  r = open_bytes(solid, err);
  ASSERT_TRUE(r) << err;  // the list of files is intact
  out.clear();
  EXPECT_NE(pass(*r, out).find("compressed data is damaged (libarchive: "), std::string::npos);
  const std::map<std::string, std::string> right = {{"Empty.txt", ""},
                                                    {"Help/\xC3\x9C" "ber Seven.txt", "Seven\r\n"},
                                                    {"Maps/CTF-Seven.unr", unr()},
                                                    {"Textures/Seven.utx", utx(5000)}};
  for (auto& o : out) {
    if (o.second.why.empty()) {
      EXPECT_EQ(o.second.data, right.at(o.first)) << o.first;
    }
  }
}

TEST(LibarchiveReader, PasswordProtection) {
  // An encrypted entry is refused on its own; the other entries decode.
  for (const char* name : {"encrypted_entry.7z", "rar4_encrypted_entry.rar"}) {
    SCOPED_TRACE(name);
    std::unique_ptr<ArchiveReader> r = open_named(name);
    ASSERT_TRUE(r);
    const bool seven = std::string(name).find(".7z") != std::string::npos;
    const std::string secret = seven ? "secret.txt" : "foo.txt", plain = seven ? "plain.txt" : "bar.txt";
    ASSERT_TRUE(find(*r, secret) && find(*r, plain));
    EXPECT_EQ(find(*r, secret)->unsupported, "protected by a password");
    EXPECT_EQ(find(*r, plain)->unsupported, "");
    std::map<std::string, Outcome> out;
    EXPECT_EQ(pass(*r, out), "");
    EXPECT_EQ(out[secret].why, "protected by a password");
    EXPECT_EQ(out[secret].data, "");
    EXPECT_EQ(out[plain].why, "");
    EXPECT_EQ(out[plain].data, seven ? "plain\r\n" : "data of bar.txt\n");
  }
  // Encrypted headers: nothing can be listed.
  for (const char* name : {"encrypted_headers.7z", "rar4_encrypted_headers.rar"}) {
    EXPECT_NE(open_error(test_archive(name)).find("protected by a password"), std::string::npos) << name;
  }
}

TEST(LibarchiveReader, CodersItLacksUpdateArchivesAndPipes) {
  // 7-Zip filters libarchive 3.6.2 lacks: named, and told as a method, not as damage.
  for (const auto& c : {std::make_pair("filter_arm64.7z", "ARM64"), std::make_pair("filter_swap4.7z", "Swap4")}) {
    std::unique_ptr<ArchiveReader> r = open_named(c.first);
    ASSERT_TRUE(r);
    std::map<std::string, Outcome> out;
    pass(*r, out);
    EXPECT_EQ(out["plain.txt"].why, std::string("it is packed with the ") + c.second + " filter, which Pkzip25 cannot unpack");
    EXPECT_EQ(r->entries()[0].unsupported_kind, Failure::Method);
    EXPECT_EQ(r->entries()[0].unsupported, out["plain.txt"].why);
  }
  // 7zz a -si stores the pipe's mode; the entry holds the data it read.
  std::unique_ptr<ArchiveReader> r = open_named("from_stdin.7z");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->entries()[0].unsupported, "");
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  EXPECT_EQ(out["plain.txt"].data, "plain\r\n");
  // An update archive lists the file it deletes (an anti-item): said as such, never an empty file.
  std::string err;
  Failure kind = Failure::Damaged;
  EXPECT_FALSE(open_libarchive(std::unique_ptr<Source>(new BytesSource(test_archive("update_anti.7z"))), err, &kind));
  EXPECT_EQ(kind, Failure::Update) << err;
  EXPECT_NE(err.find("update archive"), std::string::npos) << err;
}

TEST(LibarchiveReader, OnePartOfSeveralOrCutShort) {
  for (const char* name : {"rar4_first_volume.rar", "rar5_first_volume.rar"}) {
    std::string err = open_error(test_archive(name));
    EXPECT_NE(err.find("one part of a multi-volume RAR archive"), std::string::npos) << name << ": " << err;
    EXPECT_NE(err.find("other parts are needed"), std::string::npos) << err;
  }
  const std::string whole = test_archive("lzma2_solid.7z");
  for (const std::string& cut : {test_archive("volume.7z.001"), whole.substr(0, whole.size() - 1),
                                 whole.substr(0, whole.size() / 2), whole.substr(0, 31)}) {
    std::string err = open_error(cut);
    EXPECT_NE(err.find("first part of a multi-volume 7z archive"), std::string::npos) << cut.size() << ": " << err;
    EXPECT_NE(err.find("incomplete download"), std::string::npos) << err;
  }
}

TEST(LibarchiveReader, RarFourKindsAndData) {
  std::unique_ptr<ArchiveReader> r = open_named("rar4.rar");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->format(), Format::Rar);
  std::map<std::string, std::string> kinds;
  for (const Entry& e : r->entries())
    kinds[e.name] = e.directory ? "dir" : e.link ? "link" : "file " + std::to_string(e.size);
  EXPECT_EQ(kinds, (std::map<std::string, std::string>{{"test.txt", "file 20"},
                                                        {"testlink", "link"},
                                                        {"testdir/test.txt", "file 20"},
                                                        {"testdir", "dir"},
                                                        {"testemptydir", "dir"}}));
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  EXPECT_EQ(out.size(), 2u);
  EXPECT_EQ(out["test.txt"].data, "test text document\r\n");
  EXPECT_EQ(out["testdir/test.txt"].data, "test text document\r\n");
}

// Names written with RAR 4's Unicode flag (on Windows) and without it, as UTF-8 (on Unix):
// both come out whole in either build, never read through the ANSI code page.
TEST(LibarchiveReader, RarFourNamesWithAndWithoutTheUnicodeFlag) {
  std::unique_ptr<ArchiveReader> r = open_named("rar4_unicode.rar");
  ASSERT_TRUE(r);
  std::vector<std::string> names;
  for (const Entry& e : r->entries()) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "abcdefghijklmnopqrs\u30c6\u30b9\u30c8.txt", "\u8868\u3060\u3088",
                       "\u8868\u3060\u3088/\u30d5\u30a1\u30a4\u30eb",
                       "\u8868\u3060\u3088/\u65b0\u3057\u3044\u30d5\u30a9\u30eb\u30c0",
                       "\u8868\u3060\u3088/\u65b0\u3057\u3044\u30d5\u30a9\u30eb\u30c0/"
                       "\u65b0\u898f\u30c6\u30ad\u30b9\u30c8 \u30c9\u30ad\u30e5\u30e1\u30f3\u30c8.txt",
                       "\u8868\u3060\u3088/\u6f22\u5b57\u9577\u3044\u30d5\u30a1\u30a4\u30eb\u540d"
                       "long-filename-in-\u6f22\u5b57.txt"}));
}

TEST(LibarchiveReader, SolidRarFive) {
  std::unique_ptr<ArchiveReader> r = open_named("rar5_solid.rar");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->entries().size(), 4u);
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  for (uint32_t n = 1; n <= 4; ++n) {
    const std::string name = "test" + std::to_string(n) + ".bin";
    EXPECT_EQ(r->entries()[n - 1].name, name);
    EXPECT_EQ(r->entries()[n - 1].size, 4096u);
    EXPECT_EQ(out[name].data, rar5_bin(n)) << name;
  }
  std::map<std::string, Outcome> third;
  EXPECT_EQ(pass(*r, third, {"test3.bin"}), "");
  EXPECT_EQ(third.size(), 1u);
  EXPECT_EQ(third["test3.bin"].data, rar5_bin(3));
}

// A RAR 5 archive of one stored file, written here for what libarchive's corpus lacks:
// encryption records, an encrypted header, a declared size that lies.
std::string vint(uint64_t v) {
  std::string s;
  do {
    s += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
    v >>= 7;
  } while (v);
  return s;
}

std::string rar5_block(const std::string& body) {
  std::string sized = vint(body.size()) + body;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(sized.data()), static_cast<uInt>(sized.size()));
  std::string out;
  for (int b = 0; b < 4; ++b) out += static_cast<char>(crc >> (8 * b));
  return out + sized;
}

struct Rar5 {
  std::string name = "hello.txt", data = "hello from a stored file\n";
  int64_t size_delta = 0;
  bool encrypted = false, encrypted_headers = false;
};

std::string rar5(const Rar5& f) {
  std::string out = "Rar!\x1A\x07\x01";
  out += '\0';
  if (f.encrypted_headers) return out + rar5_block(vint(4) + vint(0) + vint(0) + std::string(33, '\x11'));
  out += rar5_block(vint(1) + vint(0) + vint(0));  // main header, no flags
  // An encryption record (type 1); libarchive only skips its contents.
  std::string extra = f.encrypted ? vint(2) + vint(1) + vint(0) : "";
  std::string file = vint(2) + vint(f.encrypted ? 3 : 2) + (f.encrypted ? vint(extra.size()) : "") +
                     vint(f.data.size()) + vint(0) + vint(f.data.size() + f.size_delta) + vint(0x20) +
                     vint(0) + vint(0) + vint(f.name.size()) + f.name + extra;
  return out + rar5_block(file) + f.data + rar5_block(vint(5) + vint(0) + vint(0));
}

TEST(LibarchiveReader, RarFiveWrittenHere) {
  Rar5 plain;
  std::string err;
  std::unique_ptr<ArchiveReader> r = open_bytes(rar5(plain), err);
  ASSERT_TRUE(r) << err;
  ASSERT_EQ(r->entries().size(), 1u);
  EXPECT_EQ(r->entries()[0].unsupported, "");
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  EXPECT_EQ(out["hello.txt"].data, plain.data);

  Rar5 encrypted;
  encrypted.encrypted = true;
  r = open_bytes(rar5(encrypted), err);
  ASSERT_TRUE(r) << err;
  EXPECT_EQ(r->entries()[0].unsupported, "protected by a password");

  Rar5 hidden;
  hidden.encrypted_headers = true;
  EXPECT_NE(open_error(rar5(hidden)).find("protected by a password"), std::string::npos);

  // libarchive hands over a stored file's bytes whatever size the header declares.
  for (int64_t delta : {-5, 5}) {
    Rar5 lying;
    lying.size_delta = delta;
    r = open_bytes(rar5(lying), err);
    ASSERT_TRUE(r) << err;
    std::map<std::string, Outcome> o;
    EXPECT_EQ(pass(*r, o), "");
    EXPECT_EQ(o["hello.txt"].why, delta < 0 ? "data is larger than its declared size"
                                             : "data is shorter than its declared size");
    EXPECT_LE(o["hello.txt"].data.size(), lying.data.size() + delta);
  }
}

// A RAR 4 archive of stored files, the later ones flagged as continuing a solid stream.
std::string rar4(const std::vector<std::pair<std::string, std::string>>& files, bool solid) {
  auto le = [](uint32_t v, int n) {
    std::string s;
    for (int b = 0; b < n; ++b) s += static_cast<char>(v >> (8 * b));
    return s;
  };
  auto block = [&](const std::string& from_type) {  // CRC-16 (low half of CRC-32) first
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(from_type.data()), static_cast<uInt>(from_type.size()));
    return le(crc & 0xFFFF, 2) + from_type;
  };
  std::string out = std::string("Rar!\x1A\x07", 6) + '\0';
  out += block("\x73" + le(solid ? 0x0008 : 0, 2) + le(13, 2) + std::string(6, '\0'));
  bool first = true;
  for (const auto& f : files) {
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(f.second.data()), static_cast<uInt>(f.second.size()));
    out += block("\x74" + le(0x8000 | (solid && !first ? 0x10 : 0), 2) + le(32 + f.first.size(), 2) +
                 le(f.second.size(), 4) + le(f.second.size(), 4) + "\x02" + le(crc, 4) + le(0x5A216000, 4) +
                 "\x14\x30" + le(f.first.size(), 2) + le(0x20, 4) + f.first) +
           f.second;
    first = false;
  }
  return out + block("\x7B" + le(0x4000, 2) + le(7, 2));
}

TEST(LibarchiveReader, SolidRarFourIsRefusedAsSuch) {
  const std::vector<std::pair<std::string, std::string>> files = {{"Maps\\A.unr", "first"}, {"B.txt", "second"}};
  std::string err;
  std::unique_ptr<ArchiveReader> r = open_bytes(rar4(files, false), err);
  ASSERT_TRUE(r) << err;
  std::map<std::string, Outcome> out;
  EXPECT_EQ(pass(*r, out), "");
  EXPECT_EQ(out["B.txt"].data, "second");
  // libarchive 3.6.2 reads no solid RAR 4 archive past its first file.
  EXPECT_NE(open_error(rar4(files, true)).find("solid RAR 4 archives are not supported"), std::string::npos);
}

TEST(LibarchiveReader, NotAnArchiveOrChangedBetweenPasses) {
  EXPECT_NE(open_error(std::string(300, 'x')).find("not a 7z or RAR archive"), std::string::npos);

  // The file changes between the listing and the extraction: the pass refuses to go on.
  std::string swap;
  std::string err;
  Rar5 first, second;
  second.name = "other.txt";
  std::unique_ptr<ArchiveReader> r = open_bytes(rar5(first), err, &swap);
  ASSERT_TRUE(r) << err;
  swap = rar5(second);
  std::map<std::string, Outcome> out;
  EXPECT_NE(pass(*r, out).find("differ from its listing"), std::string::npos);
  EXPECT_TRUE(out.empty());
}

TEST(LibarchiveReader, SelfExtractorsAreReadAfterTheirProgram) {
  // The program may hold the signatures' bytes itself; only a header that checks out counts.
  const std::string stub = "MZ" + std::string(90, '\0') + "Rar!\x1A\x07\x00 and Rar!\x1A\x07\x01\x00 and 7z\xBC\xAF\x27\x1C" +
                           std::string(70, '\x90');
  Failure kind;
  for (const char* name : {"rar4.rar", "rar5_solid.rar", "lzma2_solid.7z"}) {
    std::string err;
    std::unique_ptr<ArchiveReader> plain = open_named(name),
                                   sfx = open_reader(std::unique_ptr<Source>(new BytesSource(stub + test_archive(name))), err, kind);
    ASSERT_TRUE(plain && sfx) << name << ": " << err;
    std::map<std::string, Outcome> want, got;
    EXPECT_EQ(pass(*plain, want), "");
    EXPECT_EQ(pass(*sfx, got), "") << name;
    ASSERT_EQ(got.size(), want.size()) << name;
    for (const auto& w : want) EXPECT_EQ(got[w.first].data, w.second.data) << name << ": " << w.first;
  }
  // Not after a program, and not an archive inside a self-extracting ZIP.
  std::string err;
  EXPECT_FALSE(open_reader(std::unique_ptr<Source>(new BytesSource("XZ" + stub.substr(2) + test_archive("rar4.rar"))), err, kind));
  test::Item inner;
  inner.name = "inner.rar";
  inner.data = test_archive("rar4.rar");
  inner.method = 0;
  test::Layout layout;
  layout.prefix = stub;
  const std::string zip = test::build_zip({inner}, layout);
  std::unique_ptr<ArchiveReader> outer = open_reader(std::unique_ptr<Source>(new BytesSource(zip)), err, kind);
  ASSERT_TRUE(outer) << err;
  EXPECT_EQ(outer->format(), Format::Zip);
  // A RAR with a whole ZIP after it: each tool would list another archive.
  EXPECT_FALSE(open_reader(std::unique_ptr<Source>(new BytesSource(test_archive("rar4.rar") + test::build_zip({inner}))), err, kind));
  EXPECT_EQ(kind, Failure::TwoFormats) << err;
  EXPECT_NE(err.find("both as a ZIP archive and as a RAR archive"), std::string::npos) << err;
}

}  // namespace
}  // namespace orvane
