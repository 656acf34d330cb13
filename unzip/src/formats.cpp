#include "formats.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "libarchive_reader.h"
#include "umod_reader.h"
#include "zip_reader.h"

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

uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

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

bool opens_as_umod(Source& src) {
  std::string err;
  return looks_like_umod(src) && open_umod(std::unique_ptr<Source>(new BorrowedSource(src)), err) != nullptr;
}

// A ZIP whose end record's comment runs to the end of the file: the comment then holds
// whatever trailer the file ends in. A ZIP stored inside a umod is followed by the umod's
// directory instead.
bool zip_ends_file(Source& src) {
  ZipArchive zip;
  if (!read_archive(src, zip).empty() || zip.comment.size() < 20) return false;
  std::string tail(zip.comment.size(), '\0');
  return src.read_at(src.size() - tail.size(), &tail[0], tail.size()) && tail == zip.comment;
}

// A file that two readers take is refused: each tool would see another archive in it
// (a umod hidden in a ZIP's comment, pointing into a stored entry's bytes).
std::string two_formats(const char* a, const char* b) {
  return std::string("the file reads both as ") + a + " and as " + b +
         ", which no real archive does: one is hidden inside the other; nothing was extracted";
}

}  // namespace

std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err, Failure& kind) {
  kind = Failure::Damaged;
  // 7z and RAR 4/5 by their signatures at the start.
  unsigned char head[7] = {};
  if (src->size() >= sizeof head && src->read_at(0, head, sizeof head) &&
      (std::memcmp(head, k7z, sizeof k7z) == 0 || std::memcmp(head, kRar, sizeof kRar) == 0)) {
    if (opens_as_umod(*src)) {
      kind = Failure::TwoFormats;
      return err = two_formats(head[0] == '7' ? "a 7z archive" : "a RAR archive", "a UMOD installer"), nullptr;
    }
    return open_libarchive(std::move(src), err, &kind);
  }
  // A umod's trailer is exact, where a ZIP's end record is searched for
  // backwards, and a umod may well hold a zip among its files: umod first.
  if (looks_like_umod(*src)) {
    if (zip_ends_file(*src)) return kind = Failure::TwoFormats, err = two_formats("a ZIP archive", "a UMOD installer"), nullptr;
    return open_umod(std::move(src), err, &kind);
  }
  // A self-extracting 7z or RAR: the archive after the program.
  if (uint64_t offset = archive_after_stub(*src))
    return open_libarchive(std::unique_ptr<Source>(new TailSource(std::move(src), offset)), err, &kind);
  std::unique_ptr<ArchiveReader> zip = open_zip(std::move(src), err, &kind);
  if (!zip && kind == Failure::NotArchive)
    err = "not an archive Pkzip25 can unpack (neither ZIP, 7z, RAR nor UMOD)";
  return zip;
}

}  // namespace orvane
