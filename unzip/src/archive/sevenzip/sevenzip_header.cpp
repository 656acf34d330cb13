#include "archive/sevenzip/sevenzip_header.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <lzma.h>

#include "base/bytes.h"

namespace orvane {

namespace {

// Written by hand: libarchive reads this header but keeps what it says of anti-items to itself.
constexpr uint64_t kMaxHeader = 64u << 20;
enum : uint8_t {
  kEnd = 0, kHeader = 1, kArchiveProperties = 2, kMainStreamsInfo = 4, kFilesInfo = 5, kPackInfo = 6,
  kUnpackInfo = 7, kSubStreamsInfo = 8, kSize = 9, kCRC = 10, kFolder = 11, kCodersUnpackSize = 12,
  kNumUnpackStream = 13, kAnti = 16, kEncodedHeader = 23
};

// Reads the header's fields front to back; any overrun makes it fail, never read past.
struct Fields {
  const std::vector<unsigned char>& b;
  size_t at = 0;
  bool ok = true;

  uint8_t byte() {
    if (at >= b.size()) return ok = false, 0;
    return b[at++];
  }
  // A number: the first byte's leading one bits count the bytes that follow.
  uint64_t num() {
    const uint8_t first = byte();
    uint64_t v = 0;
    for (int i = 0, mask = 0x80; i < 8; ++i, mask >>= 1) {
      if (!(first & mask)) return v | static_cast<uint64_t>(first & (mask - 1)) << (8 * i);
      v |= static_cast<uint64_t>(byte()) << (8 * i);
    }
    return v;
  }
  // A count of things that each take at least a byte (or a bit) of what is left.
  uint64_t count() {
    const uint64_t v = num();
    if (v > 8 * (b.size() - at) + 8) ok = false;
    return ok ? v : 0;
  }
  void skip(uint64_t n) {
    if (n > b.size() - at) ok = false, at = b.size();
    else at += static_cast<size_t>(n);
  }
  std::vector<bool> bits(uint64_t n) {
    std::vector<bool> v;
    for (uint64_t i = 0; i < n && ok; i += 8) {
      const uint8_t x = byte();
      for (uint64_t k = 0; k < 8 && i + k < n; ++k) v.push_back((x >> (7 - k)) & 1);
    }
    return v;
  }
  // CRCs of n things, each defined or not; returns which.
  std::vector<bool> digests(uint64_t n) {
    std::vector<bool> defined = byte() ? std::vector<bool>(n, true) : bits(n);
    for (bool d : defined)
      if (d) skip(4);
    return defined;
  }
};

struct Folder {
  std::vector<uint8_t> method, props;  // of its first coder
  uint64_t outs = 0;
  std::vector<uint64_t> unpack;
  bool crc = false;
};

struct Streams {
  uint64_t pack_pos = 0;
  std::vector<uint64_t> pack_sizes;
  std::vector<Folder> folders;
};

bool read_streams(Fields& f, Streams& s) {
  uint8_t t = f.byte();
  if (t == kPackInfo) {
    s.pack_pos = f.num();
    const uint64_t n = f.count();
    for (t = f.byte(); f.ok && t != kEnd; t = f.byte()) {
      if (t == kSize)
        for (uint64_t i = 0; i < n && f.ok; ++i) s.pack_sizes.push_back(f.num());
      else if (t == kCRC)
        f.digests(n);
      else
        return false;
    }
    t = f.byte();
  }
  if (t == kUnpackInfo) {
    if (f.byte() != kFolder) return false;
    const uint64_t n = f.count();
    if (f.byte() != 0) return false;  // folders stored elsewhere
    for (uint64_t k = 0; k < n && f.ok; ++k) {
      Folder folder;
      uint64_t ins = 0;
      const uint64_t coders = f.count();
      if (coders == 0 || coders > 64) return false;
      for (uint64_t c = 0; c < coders && f.ok; ++c) {
        const uint8_t flags = f.byte();
        if (flags & 0xC0) return false;
        std::vector<uint8_t> method;
        for (int i = 0; i < (flags & 0x0F); ++i) method.push_back(f.byte());
        uint64_t in = 1, out = 1;
        if (flags & 0x10) in = f.count(), out = f.count();
        std::vector<uint8_t> props;
        if (flags & 0x20)
          for (uint64_t i = 0, np = f.count(); i < np && f.ok; ++i) props.push_back(f.byte());
        if (c == 0) folder.method = method, folder.props = props;
        ins += in;
        folder.outs += out;
      }
      if (folder.outs == 0 || folder.outs > 64 || ins > 64 || ins + 1 < folder.outs) return false;
      for (uint64_t i = 0; i + 1 < folder.outs && f.ok; ++i) f.num(), f.num();  // bind pairs
      const uint64_t packed = ins - (folder.outs - 1);
      if (packed > 1)
        for (uint64_t i = 0; i < packed && f.ok; ++i) f.num();
      s.folders.push_back(folder);
    }
    if (f.byte() != kCodersUnpackSize) return false;
    for (Folder& folder : s.folders)
      for (uint64_t i = 0; i < folder.outs && f.ok; ++i) folder.unpack.push_back(f.num());
    for (t = f.byte(); f.ok && t != kEnd; t = f.byte()) {
      if (t != kCRC) return false;
      std::vector<bool> crc = f.digests(s.folders.size());
      for (size_t i = 0; i < crc.size(); ++i) s.folders[i].crc = crc[i];
    }
    t = f.byte();
  }
  if (t == kSubStreamsInfo) {
    std::vector<uint64_t> per(s.folders.size(), 1);
    t = f.byte();
    if (t == kNumUnpackStream) {
      for (uint64_t& n : per) n = f.count();
      t = f.byte();
    }
    if (t == kSize) {
      for (uint64_t n : per)
        for (uint64_t i = 1; i < n && f.ok; ++i) f.num();
      t = f.byte();
    }
    uint64_t unknown = 0;  // streams whose CRC the folder's does not give
    for (size_t i = 0; i < per.size(); ++i) unknown += per[i] == 1 && s.folders[i].crc ? 0 : per[i];
    for (; f.ok && t != kEnd; t = f.byte()) {
      if (t != kCRC || unknown > 8 * f.b.size()) return false;
      f.digests(unknown);
    }
    t = f.byte();
  }
  return f.ok && t == kEnd;
}

// The header an encoded header packs: one LZMA coder, as 7-Zip writes it.
bool unpack_header(Source& src, const Streams& s, std::vector<unsigned char>& out) {
  static const uint8_t kLzma[] = {3, 1, 1};
  if (s.folders.size() != 1 || s.pack_sizes.size() != 1) return false;
  const Folder& folder = s.folders[0];
  if (folder.method != std::vector<uint8_t>(kLzma, kLzma + 3) || folder.props.size() != 5 || folder.unpack.size() != 1)
    return false;
  const uint64_t packed = s.pack_sizes[0], size = folder.unpack[0];
  if (packed > kMaxHeader || size > kMaxHeader || s.pack_pos > src.size() || packed > src.size() - s.pack_pos ||
      32 > src.size() - s.pack_pos - packed)
    return false;
  std::vector<unsigned char> in(static_cast<size_t>(packed));
  if (!src.read_at(32 + s.pack_pos, in.data(), in.size())) return false;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(&filters[0], nullptr, folder.props.data(), folder.props.size()) != LZMA_OK) return false;
  // liblzma allocates the whole dictionary the properties claim (up to 4 GiB) before a byte
  // is read; no match reaches further back than the header's own size.
  auto* lzma = static_cast<lzma_options_lzma*>(filters[0].options);
  lzma->dict_size = std::min<uint32_t>(lzma->dict_size, std::max<uint32_t>(static_cast<uint32_t>(size), LZMA_DICT_SIZE_MIN));
  lzma_stream strm = LZMA_STREAM_INIT;
  bool ok = lzma_raw_decoder(&strm, filters) == LZMA_OK;
  std::free(filters[0].options);
  out.assign(static_cast<size_t>(size), 0);
  strm.next_in = in.data();
  strm.avail_in = in.size();
  strm.next_out = out.data();
  strm.avail_out = out.size();
  if (ok) {
    const lzma_ret r = lzma_code(&strm, LZMA_FINISH);
    ok = (r == LZMA_OK || r == LZMA_STREAM_END) && strm.avail_out == 0;
  }
  lzma_end(&strm);
  return ok;
}

}  // namespace

bool sevenzip_has_anti_items(Source& src) {
  unsigned char start[32];
  if (src.size() < sizeof start || !src.read_at(0, start, sizeof start)) return false;
  const uint64_t offset = le64(start + 12), size = le64(start + 20);
  if (size == 0 || size > kMaxHeader || offset > src.size() - 32 || size > src.size() - 32 - offset) return false;
  std::vector<unsigned char> header(static_cast<size_t>(size));
  if (!src.read_at(32 + offset, header.data(), header.size())) return false;
  for (int depth = 0; !header.empty() && header[0] == kEncodedHeader; ++depth) {
    Fields f{header};
    f.byte();
    Streams s;
    std::vector<unsigned char> plain;
    if (depth == 4 || !read_streams(f, s) || !unpack_header(src, s, plain)) return false;
    header.swap(plain);
  }
  Fields f{header};
  if (f.byte() != kHeader) return false;
  uint8_t t = f.byte();
  if (t == kArchiveProperties) {
    for (t = f.byte(); f.ok && t != kEnd; t = f.byte()) f.skip(f.num());
    t = f.byte();
  }
  if (t == kMainStreamsInfo) {
    Streams s;
    if (!read_streams(f, s)) return false;
    t = f.byte();
  }
  if (t != kFilesInfo) return false;
  f.count();
  for (t = f.byte(); f.ok && t != kEnd; t = f.byte()) {
    const uint64_t n = f.num();
    if (t != kAnti) {
      f.skip(n);
      continue;
    }
    for (uint64_t i = 0; i < n && f.ok; ++i)
      if (f.byte()) return true;
  }
  return false;
}

}  // namespace orvane
