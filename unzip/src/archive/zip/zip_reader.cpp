#include "archive/zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "base/bytes.h"
#include "base/names.h"
#include "base/text.h"

namespace orvane {

namespace {

const uint32_t kLocalSig = 0x04034b50;
const uint32_t kCentralSig = 0x02014b50;
const uint32_t kEndSig = 0x06054b50;
const uint32_t kEnd64Sig = 0x06064b50;
const uint32_t kEnd64LocatorSig = 0x07064b50;
const uint32_t kSpanSig = 0x08074b50;
const size_t kEndSize = 22;

struct EndRecord {
  uint64_t pos = 0;          // where the record that located the directory starts
  uint64_t entries = 0, cd_size = 0, cd_offset = 0;
  uint32_t disk = 0, cd_disk = 0;
  bool zip64 = false;
  std::string comment;
  bool split = false;  // the record names other disks: one part of a split archive
  bool ends_file = false;  // the record and its comment are the file's last bytes
};

// Finds the end-of-central-directory record. Prefers a record whose comment
// reaches exactly to the end of the file, so a signature inside a comment
// cannot be mistaken for the real one.
std::string find_end(Source& src, EndRecord& end) {
  uint64_t size = src.size();
  if (size < kEndSize) return "not a ZIP archive (too short), or truncated";
  size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + 0xFFFF));
  std::vector<unsigned char> buf(tail);
  if (!src.read_at(size - tail, buf.data(), tail)) return "cannot read the archive";
  long found = -1;
  for (long i = static_cast<long>(tail - kEndSize); i >= 0; --i) {
    if (le32(&buf[i]) != kEndSig) continue;
    size_t clen = le16(&buf[i + 20]);
    if (i + kEndSize + clen == tail) { found = i, end.ends_file = true; break; }
    if (found < 0 && i + kEndSize + clen <= tail) found = i;
  }
  if (found < 0) {
    unsigned char head[4] = {0};
    if (size >= 4 && src.read_at(0, head, 4) && (le32(head) == kLocalSig || le32(head) == kSpanSig))
      return le32(head) == kSpanSig ? "split (multi-part) archive is not supported"
                                    : "archive is truncated (end of central directory missing)";
    return "not a ZIP archive (end of central directory not found)";
  }
  const unsigned char* r = &buf[found];
  end.pos = size - tail + found;
  end.disk = le16(r + 4);
  end.cd_disk = le16(r + 6);
  end.entries = le16(r + 10);
  end.cd_size = le32(r + 12);
  end.cd_offset = le32(r + 16);
  end.comment.assign(reinterpret_cast<const char*>(r + 22), le16(r + 20));

  // ZIP64: a locator right before the record points at the 64-bit record.
  if (end.pos >= 20) {
    unsigned char loc[20];
    if (!src.read_at(end.pos - 20, loc, 20)) return "cannot read the archive";
    if (le32(loc) == kEnd64LocatorSig) {
      if (le32(loc + 16) > 1) return end.split = true, "split (multi-part) archive is not supported";
      uint64_t off64 = le64(loc + 8);
      unsigned char rec[56];
      auto record_at = [&](uint64_t at) {
        return at <= end.pos - 20 && end.pos - 20 - at >= 56 && src.read_at(at, rec, 56) &&
               le32(rec) == kEnd64Sig;
      };
      // Data prepended to the archive (a self-extractor stub) moves the record
      // away from its recorded offset; it then sits right before the locator.
      if (!record_at(off64)) {
        off64 = end.pos - 20 - 56;
        if (end.pos < 20 + 56 || !record_at(off64))
          return "ZIP64 end of central directory record is damaged";
      }
      end.pos = off64;
      end.zip64 = true;
      end.disk = le32(rec + 16);
      end.cd_disk = le32(rec + 20);
      end.entries = le64(rec + 32);
      end.cd_size = le64(rec + 40);
      end.cd_offset = le64(rec + 48);
    }
  }
  if (end.disk != 0 || end.cd_disk != 0) return end.split = true, "split (multi-part) archive is not supported";
  return std::string();
}

// Modification time from an Info-ZIP extended timestamp (0x5455) or an NTFS
// (0x000A) field, in a central or a local extra field. The timestamp's mtime
// comes first whenever flag bit 0 is set; the central copy holds only that,
// whatever else its flags announce, so nothing beyond it is read. The
// extended timestamp wins over NTFS. The older Info-ZIP Unix field (0x5855,
// as zip on macOS writes it: access time, then modification time, in UTC,
// then in the local header a user and a group id) counts only where neither
// is anywhere in the entry, so it is kept aside.
void apply_times(ZipEntry& e, const unsigned char* x, size_t len) {
  while (len >= 4) {
    uint16_t id = le16(x), n = le16(x + 2);
    if (n > len - 4) break;
    const unsigned char* d = x + 4;
    if (id == 0x5855 && n >= 8 && !e.has_old_unix_mtime) {
      e.has_old_unix_mtime = true;
      e.old_unix_mtime = static_cast<int32_t>(le32(d + 4));
    }
    if (id == 0x5455 && n >= 5 && (d[0] & 1)) {
      e.has_unix_mtime = true;
      e.unix_mtime = static_cast<int32_t>(le32(d + 1));
      return;
    }
    if (id == 0x000a && !e.has_unix_mtime) {
      // A reserved word, then tagged attributes; tag 1 holds mtime, atime, ctime.
      for (size_t at = 4; at + 4 <= n; at += 4 + le16(d + at + 2)) {
        if (le16(d + at) != 1 || le16(d + at + 2) < 24 || at + 4 + 24 > n) continue;
        uint64_t ft = le64(d + at + 4);
        const uint64_t kEpochDiff = 116444736000000000ULL;  // 1601 -> 1970 in 100 ns
        if (ft >= kEpochDiff) {
          e.has_unix_mtime = true;
          e.unix_mtime = static_cast<int64_t>((ft - kEpochDiff) / 10000000ULL);
        }
        break;
      }
    }
    x += 4 + n;
    len -= 4 + n;
  }
}

void apply_extra(ZipEntry& e, const unsigned char* x, size_t len, bool& zip64_ok) {
  apply_times(e, x, len);
  bool need_u = e.usize == 0xFFFFFFFF, need_c = e.csize == 0xFFFFFFFF;
  bool need_o = e.local_offset == 0xFFFFFFFF, need_d = e.disk == 0xFFFF;
  while (len >= 4) {
    uint16_t id = le16(x), n = le16(x + 2);
    if (n > len - 4) break;
    const unsigned char* d = x + 4;
    if (id == 0x0001) {
      // Only the fields whose 32-bit value overflowed are present, in this order.
      size_t at = 0;
      auto take = [&](bool need, uint64_t& v, size_t w) {
        if (!need) return true;
        if (at + w > n) return false;
        v = w == 8 ? le64(d + at) : le32(d + at);
        at += w;
        return true;
      };
      uint64_t disk = e.disk;
      zip64_ok = take(need_u, e.usize, 8) && take(need_c, e.csize, 8) &&
                 take(need_o, e.local_offset, 8) && take(need_d, disk, 4);
      e.disk = static_cast<uint32_t>(disk);
      need_u = need_c = need_o = need_d = false;
    } else if (id == 0x7075 && n >= 5 && d[0] == 1 && !(e.flags & 0x0800)) {
      // Info-ZIP Unicode path: valid only while it belongs to this raw name.
      uint32_t crc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(e.raw_name.data()), static_cast<uInt>(e.raw_name.size())));
      std::string u(reinterpret_cast<const char*>(d + 5), n - 5);
      if (le32(d + 1) == crc && is_valid_utf8(u)) e.name = u;
    }
    x += 4 + n;
    len -= 4 + n;
  }
  if (need_u || need_c || need_o || need_d) zip64_ok = false;
}

// The name as shown in messages; control characters become '?' so a name
// cannot forge a line of its own.
std::string shown(const ZipEntry& e) {
  return without_controls(e.name.empty() ? cp437_to_utf8(e.raw_name) : e.name);
}

bool has_zip64_field(const unsigned char* x, size_t len) {
  while (len >= 4) {
    uint16_t id = le16(x), n = le16(x + 2);
    if (id == 0x0001) return true;
    if (n > len - 4) break;
    x += 4 + n;
    len -= 4 + n;
  }
  return false;
}

// Reads every local header once, in file order, for two things.
// - Times: where the central record has none, the local extra field's, as
//   Info-ZIP's reader does (some tools write their timestamp only there).
// - Overlaps: a central directory that points many entries at one local
//   header or into one deflate stream makes a tiny archive write gigabytes
//   (overlapping-file zip bombs). Each entry's span (local header, name,
//   extra field, data, data descriptor) must end where the next one in file
//   order starts, and the last before the central directory.
// Entries whose local header is unreadable are left to fail on their own.
std::string check_local_headers(Source& src, std::vector<ZipEntry>& entries, uint64_t cd_start) {
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return entries[a].local_offset < entries[b].local_offset; });
  const uint64_t kMax = UINT64_MAX;
  uint64_t reach = 0;
  const ZipEntry* prev = nullptr;
  std::vector<unsigned char> extra;
  for (size_t k : order) {
    ZipEntry& e = entries[k];
    if (prev && e.local_offset < reach)
      return "entries " + shown(*prev) + " and " + shown(e) +
             " overlap in the archive (possible zip bomb); nothing was extracted";
    unsigned char lh[30];
    if (e.local_offset > src.size() || src.size() - e.local_offset < 30 || !src.read_at(e.local_offset, lh, 30) ||
        le32(lh) != kLocalSig)
      continue;
    uint64_t data = e.local_offset + 30 + le16(lh + 26) + le16(lh + 28);
    extra.resize(le16(lh + 28));
    bool have_extra = false;
    if (!e.has_unix_mtime && !extra.empty()) {
      have_extra = src.read_at(data - extra.size(), extra.data(), extra.size());
      if (have_extra) apply_times(e, extra.data(), extra.size());
    }
    if (!e.has_unix_mtime && e.has_old_unix_mtime) {
      e.has_unix_mtime = true;
      e.unix_mtime = e.old_unix_mtime;
    }
    uint64_t end = e.csize > kMax - data ? kMax : data + e.csize;
    if ((e.flags & 0x0008) && end <= src.size() - 4) {
      // The descriptor starts with its optional signature or the CRC-32 (a
      // writer that sets the flag but writes none is tolerated); its sizes
      // are 64-bit when the local header carries a ZIP64 field.
      unsigned char head[4];
      bool present = src.read_at(end, head, 4) && (le32(head) == kSpanSig || le32(head) == e.crc);
      if (present) {
        bool zip64 = !extra.empty() &&
                     (have_extra || src.read_at(data - extra.size(), extra.data(), extra.size())) &&
                     has_zip64_field(extra.data(), extra.size());
        end += (le32(head) == kSpanSig ? 4 : 0) + (zip64 ? 20 : 12);
      }
    }
    reach = end;
    prev = &e;
  }
  if (prev && reach > cd_start)
    return "entry " + shown(*prev) +
           " overlaps the central directory (possible zip bomb); nothing was extracted";
  return std::string();
}

}  // namespace

bool ZipEntry::is_directory() const {
  if (!raw_name.empty() && (raw_name.back() == '/' || raw_name.back() == '\\')) return true;
  // MS-DOS directory attribute, for archives made without the trailing slash.
  uint8_t host = made_by >> 8;
  return (host == 0 || host == 10 || host == 11 || host == 14) && (external_attr & 0x10) &&
         usize == 0;
}

bool ZipEntry::is_symlink() const {
  uint8_t host = made_by >> 8;
  return host == 3 && ((external_attr >> 16) & 0170000) == 0120000;
}

std::string read_archive(Source& src, ZipArchive& out) {
  EndRecord end;
  std::string err = find_end(src, end);
  if (!err.empty()) {
    unsigned char head[4] = {0};
    const bool split = end.split || (src.size() >= 4 && src.read_at(0, head, 4) && le32(head) == kSpanSig);
    const bool zip = split || le32(head) == kLocalSig;
    out.failure = split ? Failure::Volume : zip ? Failure::Damaged : Failure::NotArchive;
    return err;
  }
  out.comment = end.comment;
  // The directory normally starts its stated size before the end record;
  // that also measures data prepended to the archive (a self-extractor stub),
  // which shifts every offset. An end record that misstates the size is read
  // from the stated offset instead, as Info-ZIP, 7-Zip and Go's reader do.
  auto central_at = [&](uint64_t at) {
    unsigned char sig[4];
    return at < end.pos && end.pos - at >= 4 && src.read_at(at, sig, 4) && le32(sig) == kCentralSig;
  };
  uint64_t cd_start = end.pos - std::min(end.cd_size, end.pos);
  bool as_stated = end.cd_size <= end.pos && cd_start >= end.cd_offset &&
                   ((end.cd_size == 0 && end.entries == 0) || central_at(cd_start));
  if (!as_stated) {
    if (!central_at(end.cd_offset)) {
      if (end.cd_size > end.pos) return "central directory is damaged (size out of range)";
      if (cd_start < end.cd_offset) return "archive is truncated (central directory offset past its start)";
      return "central directory is damaged (entry 1)";
    }
    cd_start = end.cd_offset;
    out.warnings.push_back("the end record misstates the central directory's size (" +
                           std::to_string(end.cd_size) + " bytes; it is " + std::to_string(end.pos - cd_start) +
                           "); read from its records");
  }
  uint64_t shift = cd_start - end.cd_offset;
  uint64_t cd_size = end.pos - cd_start;
  // The whole directory is read at once; on a 32-bit build a forged size could
  // otherwise exhaust the address space.
  if (cd_size > (SIZE_MAX >> 2)) return "central directory is too large";
  std::vector<unsigned char> cd(static_cast<size_t>(cd_size));
  if (!cd.empty() && !src.read_at(cd_start, cd.data(), cd.size())) return "cannot read the central directory";

  // Every record is read, not just the stated count: a classic end record
  // holds only the low 16 bits of a count past 65,535.
  out.entries.clear();
  out.entries.reserve(static_cast<size_t>(std::min<uint64_t>(end.entries, cd.size() / 46)));
  size_t at = 0;
  for (uint64_t i = 0; cd.size() - at >= 4 && le32(&cd[at]) == kCentralSig; ++i) {
    if (cd.size() - at < 46)
      return "central directory is damaged (entry " + std::to_string(i + 1) + ")";
    const unsigned char* h = &cd[at];
    ZipEntry e;
    e.made_by = le16(h + 4);
    e.flags = le16(h + 8);
    e.method = le16(h + 10);
    e.dos_time = le16(h + 12);
    e.dos_date = le16(h + 14);
    e.crc = le32(h + 16);
    e.csize = le32(h + 20);
    e.usize = le32(h + 24);
    size_t nlen = le16(h + 28), xlen = le16(h + 30), clen = le16(h + 32);
    e.disk = le16(h + 34);
    e.external_attr = le32(h + 38);
    e.local_offset = le32(h + 42);
    if (cd.size() - at - 46 < nlen + xlen + clen)
      return "central directory is damaged (entry " + std::to_string(i + 1) + ")";
    e.raw_name.assign(reinterpret_cast<const char*>(h + 46), nlen);
    if (e.flags & 0x0800) {
      if (is_valid_utf8(e.raw_name))
        e.name = e.raw_name;
      else
        e.name_error = "name is marked UTF-8 but is not valid UTF-8";
    } else if (((e.made_by >> 8) == 3 || (e.made_by >> 8) == 19) && is_valid_utf8(e.raw_name)) {
      // Unix and macOS zip tools store the system's UTF-8 names without
      // setting the flag; read as CP437 they would come out garbled.
      e.name = e.raw_name;
    } else {
      e.name = cp437_to_utf8(e.raw_name);
    }
    bool zip64_ok = true;
    apply_extra(e, h + 46 + nlen, xlen, zip64_ok);
    if (e.name.empty() && e.name_error.empty()) e.name_error = "empty name";
    if (!zip64_ok) return "central directory is damaged (ZIP64 field missing for " + e.name + ")";
    if (e.disk != 0) return out.failure = Failure::Volume, "split (multi-part) archive is not supported";
    if (e.local_offset > UINT64_MAX - shift) return "central directory is damaged (offset)";
    e.local_offset += shift;
    out.entries.push_back(std::move(e));
    at += 46 + nlen + xlen + clen;
  }
  uint64_t walked = out.entries.size();
  bool counts_agree = end.zip64 ? walked == end.entries
                                : (walked & 0xFFFF) == end.entries || (end.entries == 0xFFFF && walked > 0xFFFF);
  if (!counts_agree)
    return "central directory is damaged (the end record says " + std::to_string(end.entries) +
           " entries, the directory holds " + std::to_string(walked) + ")";
  err = check_local_headers(src, out.entries, cd_start);
  if (!err.empty()) out.failure = Failure::Bomb;  // its only refusal: entries that overlap
  return err;
}

namespace {

class ZipReader : public ArchiveReader {
 public:
  ZipReader(std::unique_ptr<Source> src, ZipArchive zip) : src_(std::move(src)), zip_(std::move(zip)) {
    for (const ZipEntry& z : zip_.entries) {
      Entry e;
      e.raw_name = cp437_to_utf8(z.raw_name);
      e.name = z.name;
      e.name_error = z.name_error;
      e.directory = z.is_directory();
      e.link = z.is_symlink();
      e.size = z.usize;
      e.has_crc = true;
      e.crc = z.crc;
      e.has_unix_mtime = z.has_unix_mtime;
      e.unix_mtime = z.unix_mtime;
      e.dos_date = z.dos_date;
      e.dos_time = z.dos_time;
      e.unsupported = unsupported_reason(z);
      if ((z.flags & 0x0041) || z.method == 99) e.unsupported_kind = Failure::Password;
      entries_.push_back(std::move(e));
    }
    warnings_ = zip_.warnings;
  }
  Format format() const override { return Format::Zip; }
  bool random_access() const override { return true; }
  std::string extract(size_t i, Sink& sink) override { return extract_data(*src_, zip_.entries[i], sink); }

 private:
  std::unique_ptr<Source> src_;
  ZipArchive zip_;
};

}  // namespace

Bid zip_bid(Source& src) {
  EndRecord end;
  Bid bid;
  bid.format = Format::Zip;
  bid.strength = find_end(src, end).empty() && end.ends_file ? Bid::kCertain : Bid::kFallback;
  return bid;
}

std::unique_ptr<ArchiveReader> open_zip(std::unique_ptr<Source> src, std::string& err, Failure* kind) {
  ZipArchive zip;
  err = read_archive(*src, zip);
  if (kind) *kind = zip.failure;
  if (!err.empty()) return nullptr;
  return std::unique_ptr<ArchiveReader>(new ZipReader(std::move(src), std::move(zip)));
}

std::string method_name(uint16_t m) {
  switch (m) {
    case 0: return "stored";
    case 1: return "shrink";
    case 2: case 3: case 4: case 5: return "reduce";
    case 6: return "implode";
    case 8: return "deflate";
    case 9: return "deflate64";
    case 10: return "PKWARE DCL implode";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 16: return "IBM z/OS CMPSC";
    case 18: return "IBM TERSE";
    case 19: return "IBM LZ77";
    case 20: case 93: return "Zstandard";
    case 94: return "MP3";
    case 95: return "XZ";
    case 96: return "JPEG";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES encryption";
    default: return "method " + std::to_string(m);
  }
}

std::string unsupported_reason(const ZipEntry& e) {
  if ((e.flags & 0x0001) || (e.flags & 0x0040) || e.method == 99)
    return "encrypted entry (password protected) is not supported";
  if (e.method != 0 && e.method != 8)
    return "compression method " + method_name(e.method) + " is not supported";
  return std::string();
}

std::string extract_data(Source& src, const ZipEntry& e, Sink& sink) {
  std::string why = unsupported_reason(e);
  if (!why.empty()) return why;
  unsigned char lh[30];
  if (e.local_offset > src.size() || src.size() - e.local_offset < 30 ||
      !src.read_at(e.local_offset, lh, 30))
    return "archive is truncated (local header missing)";
  if (le32(lh) != kLocalSig) return "local header is damaged";
  uint64_t data = e.local_offset + 30 + le16(lh + 26) + le16(lh + 28);
  if (data > src.size() || src.size() - data < e.csize)
    return "archive is truncated (entry data runs past the end)";
  if (e.method == 0 && e.csize != e.usize) return "stored size does not match the declared size";

  const size_t kIn = 256 * 1024, kOut = 1024 * 1024;
  std::unique_ptr<unsigned char[]> in(new unsigned char[kIn]);
  std::unique_ptr<unsigned char[]> out(e.method == 8 ? new unsigned char[kOut] : nullptr);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t in_left = e.csize, produced = 0;

  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (e.method == 8 && inflateInit2(&zs, -MAX_WBITS) != Z_OK) return "out of memory";
  struct Guard {
    z_stream* z;
    ~Guard() { if (z) inflateEnd(z); }
  } guard{e.method == 8 ? &zs : nullptr};

  bool stream_end = false;
  while (!stream_end) {
    if (in_left == 0 && (e.method == 0 || zs.avail_in == 0)) {
      if (e.method == 0) break;
      return "compressed data is truncated or damaged";
    }
    if (e.method == 0 || zs.avail_in == 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(in_left, kIn));
      if (!src.read_at(data + (e.csize - in_left), in.get(), n)) return "cannot read the archive";
      in_left -= n;
      if (e.method == 0) {
        crc = crc32(crc, in.get(), static_cast<uInt>(n));
        produced += n;
        if (!sink.write(in.get(), n)) return sink.error();
        continue;
      }
      zs.next_in = in.get();
      zs.avail_in = static_cast<uInt>(n);
    }
    // Never ask for more than the declared size: a bomb stops right here.
    uint64_t room = e.usize - produced;
    zs.next_out = out.get();
    zs.avail_out = static_cast<uInt>(std::min<uint64_t>(room == 0 ? 1 : room, kOut));
    int rc = inflate(&zs, Z_NO_FLUSH);
    size_t got = static_cast<size_t>(zs.next_out - out.get());
    if (rc == Z_STREAM_END)
      stream_end = true;
    else if (rc != Z_OK && rc != Z_BUF_ERROR)
      return "compressed data is damaged";
    if (got > room) return "data is larger than its declared size";
    if (rc == Z_BUF_ERROR && got == 0 && zs.avail_in != 0)
      return room == 0 ? "data is larger than its declared size" : "compressed data is damaged";
    crc = crc32(crc, out.get(), static_cast<uInt>(got));
    produced += got;
    if (got && !sink.write(out.get(), got)) return sink.error();
  }
  if (produced != e.usize) return "data is shorter than its declared size";
  if (crc != e.crc) return "CRC-32 mismatch (data is corrupt)";
  return std::string();
}

}  // namespace orvane
