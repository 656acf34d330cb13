#include "archive/sevenzip/libarchive_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

#include "archive/sevenzip/sevenzip_header.h"
#include "base/bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#endif

namespace orvane {

namespace {

constexpr size_t kBlock = 1 << 20;           // bytes handed to libarchive per read
constexpr size_t kMaxEntries = 1000000;      // far beyond any map pack; bounds our memory
const char kPassword[] = "protected by a password";

// --- the archive's bytes, as libarchive asks for them ---------------------------------

struct Stream {
  explicit Stream(Source& s) : src(s), block(kBlock) {}
  Source& src;
  uint64_t pos = 0;  // never beyond src.size()
  std::vector<unsigned char> block;
};

la_ssize_t read_cb(struct archive* a, void* data, const void** out) {
  Stream& s = *static_cast<Stream*>(data);
  size_t n = static_cast<size_t>(std::min<uint64_t>(s.block.size(), s.src.size() - s.pos));
  if (n && !s.src.read_at(s.pos, s.block.data(), n)) {
    archive_set_error(a, EIO, "the archive file cannot be read");
    return -1;
  }
  s.pos += n;
  *out = s.block.data();
  return static_cast<la_ssize_t>(n);
}

la_int64_t skip_cb(struct archive*, void* data, la_int64_t request) {
  Stream& s = *static_cast<Stream*>(data);
  if (request <= 0) return 0;
  uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(request), s.src.size() - s.pos);
  s.pos += n;
  return static_cast<la_int64_t>(n);
}

la_int64_t seek_cb(struct archive*, void* data, la_int64_t offset, int whence) {
  Stream& s = *static_cast<Stream*>(data);
  uint64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s.pos : whence == SEEK_END ? s.src.size() : ~0ull;
  if (base == ~0ull) return ARCHIVE_FATAL;
  uint64_t magnitude = offset < 0 ? 0 - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
  if (offset < 0 ? magnitude > base : magnitude > s.src.size() - base) return ARCHIVE_FATAL;
  s.pos = offset < 0 ? base - magnitude : base + magnitude;
  return static_cast<la_int64_t>(s.pos);
}

struct ArchiveFree {
  void operator()(struct archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveFree>;

// One reading of the archive from its start: listing and extracting each make one.
// The stream outlives the archive object, whose freeing may still call back.
struct Pass {
  explicit Pass(Source& src) : stream(src) {}
  Stream stream;
  ArchivePtr a;

  bool open() {
    a.reset(archive_read_new());
    if (!a) return false;
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_filter_none(a.get());
    archive_read_set_callback_data(a.get(), &stream);
    archive_read_set_read_callback(a.get(), read_cb);
    archive_read_set_skip_callback(a.get(), skip_cb);
    archive_read_set_seek_callback(a.get(), seek_cb);
    return archive_read_open1(a.get()) == ARCHIVE_OK;
  }
  std::string error() const {
    const char* e = a ? archive_error_string(a.get()) : nullptr;
    return "libarchive: " + std::string(e && *e ? e : "unknown error");
  }
};

#ifndef _WIN32
// libarchive turns names into text through the thread's locale: under a UTF-8 one they
// come out whole. uselocale changes this thread alone, never the program's locale.
class Utf8Locale {
 public:
  Utf8Locale() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8) old_ = uselocale(utf8);
  }
  ~Utf8Locale() {
    if (old_) uselocale(old_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  locale_t old_ = static_cast<locale_t>(0);
};
#else
struct Utf8Locale {
  Utf8Locale() {}  // nothing to do: on Windows the names come as UTF-16
};
#endif

// --- what the bytes say before libarchive reads them ----------------------------------

const unsigned char k7zSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
const unsigned char kRar4Signature[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
const unsigned char kRar5Signature[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

bool starts_with(Source& src, const unsigned char* sig, size_t n) {
  unsigned char buf[8];
  return src.size() >= n && src.read_at(0, buf, n) && std::memcmp(buf, sig, n) == 0;
}

// RAR 5 variable-length integer: 7 bits a byte, low bits first.
bool vint(const unsigned char* b, size_t size, size_t& at, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 64 && at < size; shift += 7) {
    unsigned char c = b[at++];
    v |= static_cast<uint64_t>(c & 0x7F) << shift;
    if (!(c & 0x80)) return true;
  }
  return false;
}

// What libarchive 3.6.2 does not tell of a RAR 5 archive: whether its headers are
// encrypted (it reports "Encryption is not supported", as for damage), whether it is one
// volume of several, and which files are encrypted (it decodes them as if they were not).
// So the block chain is walked here, after the RAR 5 format description; the CRCs are
// left to libarchive.
struct Rar5Facts {
  bool headers_encrypted = false;
  bool volume = false;
  std::vector<std::pair<std::string, bool>> files;  // name and "encrypted", in order
};

Rar5Facts scan_rar5(Source& src) {
  Rar5Facts facts;
  const uint64_t size = src.size();
  std::vector<unsigned char> head;
  auto field = [&head](size_t& at, uint64_t& v) { return vint(head.data(), head.size(), at, v); };
  uint64_t pos = sizeof kRar5Signature;
  for (size_t blocks = 0; blocks < 2 * kMaxEntries && facts.files.size() < kMaxEntries; ++blocks) {
    // CRC-32, then the header's size: at most 3 bytes, so a header is below 2 MiB.
    unsigned char prefix[7];
    size_t got = static_cast<size_t>(std::min<uint64_t>(sizeof prefix, size > pos ? size - pos : 0));
    if (got < 5 || !src.read_at(pos, prefix, got)) break;
    size_t at = 4;
    uint64_t head_size = 0;
    if (!vint(prefix, got, at, head_size) || head_size == 0 || head_size > size - pos - at) break;
    head.resize(static_cast<size_t>(head_size));
    if (!src.read_at(pos + at, head.data(), head.size())) break;
    const uint64_t head_end = pos + at + head_size;
    size_t h = 0;
    uint64_t type = 0, flags = 0, extra = 0, data = 0;
    if (!field(h, type) || !field(h, flags)) break;
    if ((flags & 1) && !field(h, extra)) break;
    if ((flags & 2) && !field(h, data)) break;
    if (extra > head.size() - h) break;
    if (type == 4) {  // archive encryption header: everything after it is encrypted
      facts.headers_encrypted = true;
      break;
    }
    if (type == 5) break;  // end of archive
    if (type == 1) {
      uint64_t archive_flags = 0;
      if (!field(h, archive_flags)) break;
      facts.volume = archive_flags & 1;
    } else if (type == 2) {
      uint64_t file_flags = 0, unpacked = 0, attributes = 0, compression = 0, host = 0, name_size = 0;
      if (!field(h, file_flags) || !field(h, unpacked) || !field(h, attributes)) break;
      h += (file_flags & 2 ? 4 : 0) + (file_flags & 4 ? 4 : 0);  // mtime, CRC-32
      if (h > head.size() || !field(h, compression) || !field(h, host) || !field(h, name_size) ||
          name_size > head.size() - h)
        break;
      std::string name(head.begin() + h, head.begin() + h + name_size);
      bool encrypted = false;
      // The extra area ends the header: records of size, type and data; type 1 is encryption.
      for (size_t r = head.size() - extra; r < head.size();) {
        uint64_t record = 0, record_type = 0;
        if (!field(r, record) || record > head.size() - r) break;
        size_t next = r + static_cast<size_t>(record);
        if (!field(r, record_type) || r > next) break;
        if (record_type == 1) encrypted = true;
        r = next;
      }
      facts.files.emplace_back(std::move(name), encrypted);
    }
    if (data > size - head_end) break;
    pos = head_end + data;
  }
  return facts;
}

// Why a 7z or RAR archive cannot be listed at all, or empty; also fills format.
std::string check_by_bytes(Source& src, Format& format, Rar5Facts& rar5, bool& rar4_solid, Failure& kind) {
  const char kVolume[] =
      "it is one part of a multi-volume RAR archive: the other parts are needed (open the whole set with "
      "a RAR program and make one archive of it)";
  if (starts_with(src, k7zSignature, sizeof k7zSignature)) {
    format = Format::SevenZip;
    // The signature header names where the list of files lies: after the 32-byte header, at an
    // offset and with a size. When that lies beyond the end, the rest is elsewhere.
    unsigned char h[32];
    uint64_t offset = 0, size = 0;
    if (src.size() >= sizeof h && src.read_at(0, h, sizeof h)) {
      offset = le64(h + 12);
      size = le64(h + 20);
    }
    const uint64_t room = src.size() >= sizeof h ? src.size() - sizeof h : 0;
    if (src.size() < sizeof h || offset > room || size > room - offset)
      return kind = Failure::Volume, "the archive is cut short: it is the first part of a multi-volume 7z archive (.7z.001), whose "
             "other parts are needed, or an incomplete download";
  } else if (starts_with(src, kRar5Signature, sizeof kRar5Signature)) {
    format = Format::Rar;
    rar5 = scan_rar5(src);
    if (rar5.headers_encrypted) return kind = Failure::Password, std::string("the archive is ") + kPassword + " (even its list of files)";
    if (rar5.volume) return kind = Failure::Volume, kVolume;
  } else if (starts_with(src, kRar4Signature, sizeof kRar4Signature)) {
    format = Format::Rar;
    // The main header follows the marker: CRC (2 bytes), type 0x73, flags (2 bytes).
    unsigned char h[5];
    if (src.size() >= 12 && src.read_at(7, h, sizeof h) && h[2] == 0x73) {
      uint16_t flags = le16(h + 3);
      if (flags & 0x0080) return kind = Failure::Password, std::string("the archive is ") + kPassword + " (even its list of files)";
      if (flags & 0x0001) return kind = Failure::Volume, kVolume;
      rar4_solid = (flags & 0x0008) != 0;
    }
  } else {
    return kind = Failure::NotArchive, "not a 7z or RAR archive (no signature at its start)";
  }
  return std::string();
}

// --- one header as an Entry ------------------------------------------------------------

#ifdef _WIN32
// A RAR 4 name without its Unicode flag is stored in the encoding of the machine that made
// it, and libarchive widens its bytes one by one. rar on Unix writes UTF-8 there, WinRAR the
// OEM code page; UTF-8 with any byte above 127 is not what an OEM name looks like by chance.
std::wstring rar4_plain_name(struct archive_entry* e, const wchar_t* w) {
  const char* m = archive_entry_pathname(e);
  if (!m) return std::wstring();
  const std::string bytes(m);
  bool high = false, widened = bytes.size() == std::wcslen(w);
  for (size_t i = 0; widened && i < bytes.size(); ++i) {
    high = high || static_cast<unsigned char>(bytes[i]) > 127;
    widened = static_cast<unsigned char>(bytes[i]) == static_cast<unsigned>(w[i]);
  }
  if (!high || !widened) return std::wstring();  // ASCII, or a name libarchive decoded itself
  for (UINT cp : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_OEMCP)}) {
    const DWORD strict = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int n = MultiByteToWideChar(cp, strict, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) continue;
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, strict, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
  }
  return std::wstring();
}
#endif

// seven_zip: 7-Zip stores the mode of what it packed, and a file packed from standard
// input (7zz a -si) gets the pipe's; its entry holds ordinary data.
void describe(struct archive_entry* e, Entry& out, bool seven_zip, bool rar4) {
#ifdef _WIN32
  std::wstring plain;
  if (const wchar_t* w0 = archive_entry_pathname_w(e)) {
    if (rar4) plain = rar4_plain_name(e, w0);
    const wchar_t* w = plain.empty() ? w0 : plain.c_str();
    int wn = static_cast<int>(std::wcslen(w));
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, wn, nullptr, 0, nullptr, nullptr);
    if (n > 0 || wn == 0) {
      out.name.resize(static_cast<size_t>(n));
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, wn, &out.name[0], n, nullptr, nullptr);
      out.raw_name = out.name;
    } else {
      // Unpaired UTF-16 surrogates: shown with replacement characters, never written.
      n = WideCharToMultiByte(CP_UTF8, 0, w, wn, nullptr, 0, nullptr, nullptr);
      out.raw_name.resize(static_cast<size_t>(std::max(n, 0)));
      if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, wn, &out.raw_name[0], n, nullptr, nullptr);
      out.name_error = "the name is not valid Unicode";
    }
  }
#else
  (void)rar4;  // a UTF-8 locale reads these names whole
#endif
  if (out.name.empty() && out.name_error.empty()) {
    if (const char* u = archive_entry_pathname_utf8(e)) {
      out.name = u;
      out.raw_name = u;
    } else if (const char* m = archive_entry_pathname(e)) {
      out.raw_name = m;
      out.name_error = "the name cannot be decoded";
    } else {
      out.name_error = "the name cannot be decoded";
    }
  }
  if (out.name.empty() && out.name_error.empty()) out.name_error = "the entry has no name";

  unsigned type = archive_entry_filetype(e);
  if (seven_zip && type == AE_IFIFO) type = AE_IFREG;
  out.directory = type == AE_IFDIR;
  out.link = type == AE_IFLNK || archive_entry_hardlink(e) != nullptr || archive_entry_symlink(e) != nullptr;
  if (archive_entry_size_is_set(e) && archive_entry_size(e) >= 0) {
    out.size = static_cast<uint64_t>(archive_entry_size(e));
  } else if (!out.directory && !out.link) {
    // The extractor checks free space and guards against bombs by the declared sizes.
    out.unsupported = "its size is not stored in the archive";
    out.unsupported_kind = Failure::Method;
  }
  if (type != 0 && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
    out.unsupported = "it is a special file (a device, pipe or socket), not a file", out.unsupported_kind = Failure::Special;
  if (archive_entry_mtime_is_set(e)) {
    out.has_unix_mtime = true;
    out.unix_mtime = static_cast<int64_t>(archive_entry_mtime(e));
  }
  out.has_crc = false;  // libarchive checks the stored CRCs itself
  if (archive_entry_is_data_encrypted(e) || archive_entry_is_metadata_encrypted(e))
    out.unsupported = kPassword, out.unsupported_kind = Failure::Password;
}

class LibarchiveReader final : public ArchiveReader {
 public:
  explicit LibarchiveReader(std::unique_ptr<Source> src) : src_(std::move(src)) {}

  Format format() const override { return format_; }
  bool random_access() const override { return false; }
  Failure failure = Failure::Damaged;  // why open() failed

  // Lists every header without reading data (7z then decodes nothing; solid RAR 5 must
  // decode to find the next header).
  std::string open() {
    Rar5Facts rar5;
    std::string why = check_by_bytes(*src_, format_, rar5, rar4_solid_, failure);
    if (!why.empty()) return why;
    if (format_ == Format::SevenZip && sevenzip_has_anti_items(*src_))
      return failure = Failure::Update,
             "it is an update archive (made by 7-Zip's update switch): it holds only the changes to another archive, "
             "with files to delete from it, not a map archive; nothing was extracted";
    Utf8Locale utf8;
    Pass pass(*src_);
    if (!pass.open()) return not_listed(pass, nullptr);
    for (;;) {
      struct archive_entry* e = nullptr;
      int r = archive_read_next_header(pass.a.get(), &e);
      if (r == ARCHIVE_EOF) break;
      if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return not_listed(pass, e);
      if (entries_.size() == kMaxEntries) return "the archive lists more than 1000000 entries";
      Entry entry;
      describe(e, entry, format_ == Format::SevenZip, archive_format(pass.a.get()) == ARCHIVE_FORMAT_RAR);
      const size_t i = entries_.size();
      if (i < rar5.files.size() && rar5.files[i].first == entry.raw_name && rar5.files[i].second)
        entry.unsupported = kPassword, entry.unsupported_kind = Failure::Password;
      entries_.push_back(std::move(entry));
    }
    return std::string();
  }

  std::string extract_in_order(const std::function<Sink*(size_t)>& sink_for,
                               const std::function<void(size_t, const std::string&)>& done) override {
    Utf8Locale utf8;
    Pass pass(*src_);
    if (!pass.open()) return "the archive cannot be read again (" + pass.error() + ")";
    struct archive* a = pass.a.get();
    for (size_t i = 0;; ++i) {
      struct archive_entry* e = nullptr;
      int r = archive_read_next_header(a, &e);
      if (r == ARCHIVE_EOF) {
        if (i == entries_.size()) return std::string();
        return "the archive ended early on the second reading (at entry " + std::to_string(i + 1) + ")";
      }
      if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
        return "the archive's headers are damaged (" + pass.error() + ")";
      Entry again;
      describe(e, again, format_ == Format::SevenZip, archive_format(a) == ARCHIVE_FORMAT_RAR);
      if (i >= entries_.size() || again.raw_name != entries_[i].raw_name)
        return "the archive's entries differ from its listing on the second reading (entry " +
               std::to_string(i + 1) + ")";
      Sink* sink = sink_for(i);
      if (sink && !entries_[i].unsupported.empty()) {
        done(i, entries_[i].unsupported);
        sink = nullptr;
      }
      if (!sink) {
        // Skipping decodes in a solid block, and an entry libarchive cannot decode (an
        // encrypted one) may fail to skip: the entries after it are read all the same.
        if (archive_read_data_skip(a) == ARCHIVE_FATAL && entries_[i].unsupported.empty()) return damaged(pass);
        continue;
      }
      std::string stop, why = pump(pass, entries_[i].size, *sink, stop);
      const std::string method = why.empty() ? std::string() : unknown_method(pass);
      if (!method.empty()) {
        // Told as a method from here on, for the entry's kind and for a second pass.
        entries_[i].unsupported = "it is packed with " + method + ", which Pkzip25 cannot unpack";
        entries_[i].unsupported_kind = Failure::Method;
        why = entries_[i].unsupported;
        if (!stop.empty()) stop = why;
      }
      done(i, why);
      if (!stop.empty()) return stop;
    }
  }

 private:
  // Why listing failed, in plain words.
  std::string not_listed(Pass& pass, struct archive_entry* e) {
    if (e && archive_entry_is_metadata_encrypted(e))
      return failure = Failure::Password, std::string("the archive is ") + kPassword + " (even its list of files)";
    std::string lib = pass.error();
    if (rar4_solid_) return failure = Failure::Method, "solid RAR 4 archives are not supported (" + lib + ")";
    return "the archive's list of files cannot be read (" + lib + ")";
  }

  // A 7z coder libarchive lacks, by the name 7-Zip gives it, or empty. libarchive names
  // the coder only in its message, so that message is read here.
  std::string unknown_method(Pass& pass) const {
    const char* e = archive_error_string(pass.a.get());
    unsigned long id = 0;
    if (format_ != Format::SevenZip || !e || (std::sscanf(e, "Unexpected codec ID: %lx", &id) != 1 &&
                                  std::sscanf(e, "Unknown codec ID: %lx", &id) != 1))
      return std::string();
    switch (id) {
      case 0xA: return "the ARM64 filter";
      case 0xB: return "the RISCV filter";
      case 0x20302: return "the Swap2 filter";
      case 0x20304: return "the Swap4 filter";
      case 0x40109: return "Deflate64";
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "the 7z method %lX", id);
    return hex;
  }

  static std::string damaged(Pass& pass) { return "compressed data is damaged (" + pass.error() + ")"; }

  // Decodes the current entry into sink, never handing it more than size bytes, and
  // returns why it failed. stop: why libarchive can go no further in this archive.
  std::string pump(Pass& pass, uint64_t size, Sink& sink, std::string& stop) {
    static const unsigned char zeros[1 << 16] = {};
    struct archive* a = pass.a.get();
    uint64_t written = 0, empty = 0;
    std::string why;
    for (;;) {
      const void* buf = nullptr;
      size_t n = 0;
      la_int64_t at = 0;
      int r = archive_read_data_block(a, &buf, &n, &at);
      if (r == ARCHIVE_EOF) {
        if (written < size) why = "data is shorter than its declared size";
        break;
      }
      if (r != ARCHIVE_OK) {
        // A warning here is a bad CRC: the data is not what was stored.
        why = damaged(pass);
        if (r == ARCHIVE_FATAL) stop = why;
        return why;
      }
      if (n == 0 && ++empty > (1u << 20)) {  // never a pass that goes on for ever
        why = "compressed data is damaged (it yields no data)";
        break;
      }
      if (at < 0 || static_cast<uint64_t>(at) < written) {
        why = "compressed data is damaged (its pieces come out of order)";
        break;
      }
      if (static_cast<uint64_t>(at) > size || n > size - static_cast<uint64_t>(at)) {
        why = "data is larger than its declared size";
        break;
      }
      bool ok = true;
      while (ok && written < static_cast<uint64_t>(at)) {  // a hole in a sparse file
        size_t z = static_cast<size_t>(std::min<uint64_t>(sizeof zeros, static_cast<uint64_t>(at) - written));
        ok = sink.write(zeros, z);
        written += z;
      }
      if (ok && n) ok = sink.write(static_cast<const unsigned char*>(buf), n);
      written += n;
      if (!ok) {
        why = sink.error();
        if (why.empty()) why = "the data could not be written";
        break;
      }
    }
    if (!why.empty() && archive_read_data_skip(a) == ARCHIVE_FATAL) stop = damaged(pass);
    return why;
  }

  std::unique_ptr<Source> src_;
  Format format_ = Format::SevenZip;
  bool rar4_solid_ = false;  // the main header says so
};

}  // namespace

Bid libarchive_bid(Source& src) {
  Bid bid;
  bid.format = starts_with(src, k7zSignature, sizeof k7zSignature) ? Format::SevenZip : Format::Rar;
  if (bid.format == Format::SevenZip || starts_with(src, kRar4Signature, sizeof kRar4Signature) ||
      starts_with(src, kRar5Signature, sizeof kRar5Signature))
    bid.strength = Bid::kSignature;
  return bid;
}

std::unique_ptr<ArchiveReader> open_libarchive(std::unique_ptr<Source> src, std::string& err, Failure* kind) {
  if (!src) {
    err = "no archive to read";
    return nullptr;
  }
  std::unique_ptr<LibarchiveReader> reader(new LibarchiveReader(std::move(src)));
  err = reader->open();
  if (kind) *kind = reader->failure;
  if (!err.empty()) return nullptr;
  return reader;
}

}  // namespace orvane
