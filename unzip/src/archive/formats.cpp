#include "archive/formats.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include <zlib.h>

#include "archive/sevenzip/libarchive_reader.h"
#include "archive/umod/umod_reader.h"
#include "archive/zip/zip_reader.h"
#include "base/bytes.h"

namespace orvane {

namespace {

const unsigned char k7z[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
const unsigned char kRar[] = {'R', 'a', 'r', '!', 0x1A, 0x07};
// How far into a self-extracting .exe its archive is looked for: the program before it.
constexpr uint64_t kStubLimit = 8u << 20;

// The bytes of another source from an offset on: the archive of a self-extractor.
class TailSource : public Source {
 public:
  TailSource(std::unique_ptr<Source> src, uint64_t offset) : src_(std::move(src)), offset_(offset) {}
  uint64_t size() const override { return src_->size() - offset_; }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    return offset <= size() && src_->read_at(offset_ + offset, dst, n);
  }

 private:
  std::unique_ptr<Source> src_;
  uint64_t offset_;
};

// True when a 7z or RAR archive really starts at offset: its signature, and a first header
// that checks out (the stub's own code may hold the signature's bytes too).
bool archive_at(Source& src, uint64_t offset) {
  unsigned char h[32] = {};
  size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof h, src.size() - offset));
  if (n < 12 || !src.read_at(offset, h, n)) return false;
  if (std::memcmp(h, k7z, sizeof k7z) == 0)  // the start header's CRC covers its last 20 bytes
    return n == sizeof h && crc32(0, h + 12, 20) == le32(h + 8);
  if (std::memcmp(h, kRar, sizeof kRar) != 0) return false;
  if (h[6] == 0x00) return h[9] == 0x73;  // RAR 4: the main header follows the marker
  if (h[6] != 0x01 || h[7] != 0x00) return false;
  // RAR 5: the first header's CRC covers its size field (at most 3 bytes here) and itself.
  uint64_t size = 0;
  size_t at = 12;
  for (int shift = 0; at < n && shift < 21; shift += 7) {
    size |= static_cast<uint64_t>(h[at] & 0x7F) << shift;
    if (!(h[at++] & 0x80)) break;
  }
  if (size == 0 || size > 64 || offset + at + size > src.size()) return false;
  std::vector<unsigned char> head(at - 12 + size);
  return src.read_at(offset + 12, head.data(), head.size()) &&
         crc32(0, head.data(), static_cast<uInt>(head.size())) == le32(h + 8);
}

// Where the 7z or RAR archive of a self-extracting .exe starts, or 0 for none. A ZIP one
// is a ZIP with data before it, which the ZIP reader reads as it is (and a stored .rar in
// it is no archive of its own).
uint64_t archive_after_stub(Source& src) {
  unsigned char mz[2] = {};
  if (src.size() < 64 || !src.read_at(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return 0;
  ZipArchive zip;
  if (read_archive(src, zip).empty() || zip.failure != Failure::NotArchive) return 0;
  std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(kStubLimit, src.size())));
  if (!src.read_at(0, buf.data(), buf.size())) return 0;
  for (size_t at = 1; at + sizeof k7z <= buf.size(); ++at) {
    const unsigned char* p = buf.data() + at;
    if ((std::memcmp(p, k7z, sizeof k7z) == 0 || std::memcmp(p, kRar, sizeof kRar) == 0) && archive_at(src, at))
      return at;
  }
  return 0;
}

// A source read through without being owned, to try a second reader on it.
class BorrowedSource : public Source {
 public:
  explicit BorrowedSource(Source& src) : src_(src) {}
  uint64_t size() const override { return src_.size(); }
  bool read_at(uint64_t offset, void* dst, size_t n) override { return src_.read_at(offset, dst, n); }

 private:
  Source& src_;
};

using Opener = std::unique_ptr<ArchiveReader> (*)(std::unique_ptr<Source>, std::string&, Failure*);

// A self-extracting 7z or RAR: the archive after the program, found again when it wins
// (rare, and the search reads at most the first 8 MiB).
Bid stub_bid(Source& src) {
  Bid bid;
  if (uint64_t at = archive_after_stub(src)) {
    TailSource tail(std::unique_ptr<Source>(new BorrowedSource(src)), at);
    bid = libarchive_bid(tail);
    bid.strength = Bid::kInside;
  }
  return bid;
}

std::unique_ptr<ArchiveReader> open_after_stub(std::unique_ptr<Source> src, std::string& err, Failure* kind) {
  const uint64_t at = archive_after_stub(*src);
  return open_libarchive(std::unique_ptr<Source>(new TailSource(std::move(src), at)), err, kind);
}

// Every reader's offer and open; a new format is one more row.
const struct {
  Bid (*bid)(Source&);
  Opener open;
} kReaders[] = {
    {libarchive_bid, open_libarchive},
    {umod_bid, open_umod},
    {zip_bid, open_zip},
    {stub_bid, open_after_stub},
};

const char* described(Format f) {
  switch (f) {
    case Format::Zip: return "a ZIP archive";
    case Format::SevenZip: return "a 7z archive";
    case Format::Rar: return "a RAR archive";
    case Format::Umod: return "a UMOD installer";
  }
  return "an archive";
}

}  // namespace

std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err, Failure& kind) {
  kind = Failure::Damaged;
  size_t best = 0;
  Bid bids[std::size(kReaders)];
  for (size_t i = 0; i < std::size(kReaders); ++i) {
    bids[i] = kReaders[i].bid(*src);
    if (bids[i].strength > bids[best].strength) best = i;
  }
  // A ZIP's end record near the end, though not ending the file, is what every ZIP tool
  // lists: against a umod's trailer after it, the ZIP counts as certain (its reader finds
  // an end record only within the comment's reach of the end).
  for (Bid& b : bids)
    if (bids[best].format == Format::Umod && b.format == Format::Zip && b.strength == Bid::kFallback)
      b.strength = Bid::kCertain;
  // A file that two readers are sure of and that both can read is refused: each tool would
  // see another archive in it (a umod hidden in a ZIP's comment, pointing into a stored
  // entry's bytes).
  for (size_t i = 0; i < std::size(kReaders); ++i) {
    std::string ignored;
    if (i == best || bids[i].strength < Bid::kCertain ||
        !kReaders[i].open(std::unique_ptr<Source>(new BorrowedSource(*src)), ignored, nullptr))
      continue;
    kind = Failure::TwoFormats;
    const Format one = std::min(bids[best].format, bids[i].format), other = std::max(bids[best].format, bids[i].format);
    err = std::string("the file reads both as ") + described(one) + " and as " + described(other) +
          ", which no real archive does: one is hidden inside the other; nothing was extracted";
    return nullptr;
  }
  std::unique_ptr<ArchiveReader> reader = kReaders[best].open(std::move(src), err, &kind);
  if (!reader && kind == Failure::NotArchive)
    err = "not an archive Pkzip25 can unpack (neither ZIP, 7z, RAR nor UMOD)";
  return reader;
}

}  // namespace orvane
