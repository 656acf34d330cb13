#include "archive/umod/umod_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>

#include "base/bytes.h"
#include "base/names.h"
#include "base/text.h"

namespace orvane {

namespace {

const uint32_t kMagic = 0x9FE3C5A3;
const size_t kTrailerSize = 20;
// The smallest directory record: a one-byte length, one character and its
// NUL, then offset, length and flags.
const size_t kMinRecord = 1 + 2 + 12;
// Name bytes with the NUL. Game paths are far shorter (Windows' MAX_PATH is
// 260); a length beyond this is damage, not a name.
const int64_t kMaxNameBytes = 1024;
const size_t kBlock = 256 * 1024;
// A directory takes some 40 bytes a file; past this it is damage, and
// reading it whole could exhaust a 32-bit address space.
const uint64_t kMaxDirectory = 64 << 20;

// Windows-1252 at 0x80-0x9F; 0 where the code page defines no character.
// From 0xA0 up it is Latin-1, the same code points as the bytes.
const char16_t kCp1252C1[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes Windows-1252. A byte the code page leaves undefined becomes
// `undefined` when it is non-zero; otherwise decoding stops and `bad` holds it.
bool cp1252_to_utf8(const std::string& raw, std::string& out, unsigned char& bad, unsigned undefined = 0) {
  out.clear();
  out.reserve(raw.size());
  for (unsigned char b : raw) {
    unsigned c = b;
    if (b >= 0x80 && b < 0xA0) c = kCp1252C1[b - 0x80];
    if (c == 0 && b != 0) {
      if (!undefined) {
        bad = b;
        return false;
      }
      c = undefined;
    }
    append_utf8(out, c);
  }
  return true;
}

// The name as shown in messages; control characters become '?' so a name
// cannot forge a line of its own.
std::string shown(const Entry& e) {
  std::string s = e.name;
  if (s.empty()) {
    unsigned char bad = 0;
    cp1252_to_utf8(e.raw_name, s, bad, 0xFFFD);
  }
  return without_controls(s);
}

// A compact index of the directory. Any magnitude the five bytes hold is
// read; the callers refuse what no count or length can be.
std::string read_index(const std::vector<unsigned char>& d, size_t& at, int64_t& value) {
  auto next = [&](unsigned char& b) {
    if (at >= d.size()) return false;
    b = d[at++];
    return true;
  };
  const Compact read = read_compact_index(next, UINT64_MAX, value);
  return read == Compact::kEnd       ? "runs past the end of the directory"
         : read == Compact::kTooLong ? "is longer than five bytes"
                                     : std::string();
}

class UmodReader : public ArchiveReader {
 public:
  explicit UmodReader(std::unique_ptr<Source> src) : src_(std::move(src)) {}
  Format format() const override { return Format::Umod; }
  bool random_access() const override { return true; }
  std::string extract(size_t i, Sink& sink) override;
  std::string open();
  Failure failure = Failure::Damaged;  // why open() failed

 private:
  std::string check_overlaps() const;

  std::unique_ptr<Source> src_;
  std::vector<uint64_t> offsets_;  // where each entry's bytes start
  uint64_t data_end_ = 0;          // the directory's offset: every file ends at or before it
};

std::string UmodReader::open() {
  const uint64_t size = src_->size();
  unsigned char t[kTrailerSize];
  if (size < kTrailerSize || !src_->read_at(size - kTrailerSize, t, kTrailerSize) || le32(t) != kMagic)
    return failure = Failure::NotArchive, "not a UMOD installer (no UMOD trailer at its end), or truncated";
  const uint32_t dir_offset = le32(t + 4), total = le32(t + 8);
  // The trailer's size must be the file's: the format has no room for data
  // before or after it, and offsets count from the file's first byte.
  if (total != size)
    return "UMOD is damaged: its trailer gives a size of " + std::to_string(total) + " bytes but the file has " +
           std::to_string(size) + " (cut short, or data added)";
  const uint64_t dir_end = size - kTrailerSize;
  if (dir_offset > dir_end)
    return "UMOD is damaged: its directory offset " + std::to_string(dir_offset) +
           " points into its trailer or past the end";
  data_end_ = dir_offset;
  if (dir_end - dir_offset > kMaxDirectory)
    return "UMOD is damaged: its directory of " + std::to_string(dir_end - dir_offset) + " bytes is too large";

  std::vector<unsigned char> d(static_cast<size_t>(dir_end - dir_offset));
  if (!d.empty() && !src_->read_at(dir_offset, d.data(), d.size())) return "cannot read the UMOD directory";
  size_t at = 0;
  int64_t count = 0;
  std::string why = read_index(d, at, count);
  if (!why.empty()) return "UMOD directory is damaged: its file count " + why;
  const size_t room = (d.size() - at) / kMinRecord;
  if (count < 0 || static_cast<uint64_t>(count) > room)
    return "UMOD directory is damaged: it claims " + std::to_string(count) + " files, its " +
           std::to_string(d.size()) + " bytes hold at most " + std::to_string(room);

  entries_.reserve(static_cast<size_t>(count));
  offsets_.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    auto which = [&] {
      return "UMOD directory is damaged: file " + std::to_string(i + 1) + " of " + std::to_string(count);
    };
    int64_t len = 0;
    why = read_index(d, at, len);
    if (!why.empty()) return which() + ": its name length " + why;
    if (len < 1 || len > kMaxNameBytes)
      return which() + " has a name length of " + std::to_string(len) + " bytes";
    if (len == 1) return which() + " has an empty name";
    if (d.size() - at < static_cast<size_t>(len) + 12) return which() + " runs past the end of the directory";
    const char* name = reinterpret_cast<const char*>(&d[at]);
    Entry e;
    e.raw_name.assign(name, static_cast<size_t>(len - 1));
    if (name[len - 1] != '\0') return which() + ": its name " + shown(e) + " does not end in a NUL";
    if (std::memchr(name, 0, static_cast<size_t>(len - 1)))
      return which() + ": its name " + shown(e) + " holds a NUL before its end";
    at += static_cast<size_t>(len);
    const uint32_t offset = le32(&d[at]), length = le32(&d[at + 4]);
    e.flags = le32(&d[at + 8]);
    at += 12;
    e.size = length;
    unsigned char bad = 0;
    if (!cp1252_to_utf8(e.raw_name, e.name, bad)) {
      // Replacing it would make a name the game never looks for, and could
      // merge two names into one; the entry is refused by name instead.
      e.name.clear();
      static const char kHex[] = "0123456789ABCDEF";
      e.name_error = std::string("name holds byte 0x") + kHex[bad >> 4] + kHex[bad & 15] +
                     ", which Windows-1252 does not define";
    }
    if (offset > data_end_ || length > data_end_ - offset)
      return "UMOD is damaged: file " + shown(e) + " (bytes " + std::to_string(offset) + " to " +
             std::to_string(uint64_t(offset) + length) + ") runs past the files' data, which ends at byte " +
             std::to_string(data_end_);
    // What the extractor shows of a name it cannot use: UTF-8, undefined bytes as U+FFFD.
    std::string display;
    cp1252_to_utf8(e.raw_name, display, bad, 0xFFFD);
    e.raw_name = display;
    entries_.push_back(std::move(e));
    offsets_.push_back(offset);
  }
  // The directory runs up to the trailer: bytes between them belong to no file, and a
  // trailer put after another archive (a ZIP's end record) would leave that archive there.
  if (at != d.size())
    return "UMOD is damaged: " + std::to_string(d.size() - at) +
           " bytes between its directory and its trailer belong to no file (another archive may be hidden there)";
  why = check_overlaps();
  if (!why.empty()) failure = Failure::Bomb;
  return why;
}

// Two files sharing bytes is the overlapping-entry zip bomb: a small file
// that writes far more than it holds. Empty files hold no bytes to share.
std::string UmodReader::check_overlaps() const {
  std::vector<size_t> order;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].size) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return offsets_[a] < offsets_[b]; });
  for (size_t k = 1; k < order.size(); ++k) {
    size_t prev = order[k - 1], cur = order[k];
    if (offsets_[cur] < offsets_[prev] + entries_[prev].size)
      return "UMOD files " + shown(entries_[prev]) + " and " + shown(entries_[cur]) +
             " overlap (possible zip bomb); nothing was extracted";
  }
  return std::string();
}

std::string UmodReader::extract(size_t i, Sink& sink) {
  if (i >= entries_.size()) return "no such entry";
  uint64_t left = entries_[i].size, at = offsets_[i];
  std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(left, kBlock)));
  while (left) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
    if (!src_->read_at(at, buf.data(), n)) return "cannot read the archive";
    if (!sink.write(buf.data(), n)) return sink.error();
    at += n;
    left -= n;
  }
  return std::string();
}

// Only this much of a manifest is read; a real one holds a few kilobytes.
const size_t kMaxManifest = 1 << 20;
const size_t kMaxRequests = 50;
const size_t kMaxLineBytes = 300;

// The manifest as text: UTF-8 after a byte order mark, else Windows-1252 as
// the game writes it.
std::string manifest_text(const std::string& raw) {
  std::string text = raw.substr(0, kMaxManifest);
  // Cut at a line's end, so no line is read in part.
  if (raw.size() > kMaxManifest && text.rfind('\n') != std::string::npos) text.erase(text.rfind('\n') + 1);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0 && is_valid_utf8(text.substr(3))) return text.substr(3);
  std::string utf8;
  unsigned char bad = 0;
  cp1252_to_utf8(text, utf8, bad, 0xFFFD);
  return utf8;
}

// "File,Section.Key=Value", the form of AddIni= and Ini=; the section's
// own name may hold dots (Engine.GameEngine), the key does not.
std::string ini_change(const std::string& verb, const std::string& v) {
  size_t comma = v.find(',');
  size_t eq = comma == std::string::npos ? comma : v.find('=', comma);
  if (eq != std::string::npos) {
    std::string file = trim(v.substr(0, comma)), lhs = trim(v.substr(comma + 1, eq - comma - 1));
    size_t dot = lhs.rfind('.');
    if (!file.empty() && dot != std::string::npos && dot > 0 && dot + 1 < lhs.size())
      return verb + file + ": [" + lhs.substr(0, dot) + "] " + lhs.substr(dot + 1) + "=" + trim(v.substr(eq + 1));
  }
  return verb + "an ini file: " + v;
}

// The lines for the player: each once, shown safely, and not too many.
class Requests {
 public:
  void add(std::string line) {
    line = without_controls(line);
    if (line.size() > kMaxLineBytes) {
      size_t cut = kMaxLineBytes;
      while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      line = line.substr(0, cut) + "...";
    }
    if (!seen_.insert(line).second) return;
    if (lines_.size() < kMaxRequests)
      lines_.push_back(line);
    else
      ++more_;
  }
  // What a group (or [Setup]) changes besides copying its files. A group's
  // keys that are not known to be harmless are listed as they stand, so the
  // player hears of everything the game's installer would have done.
  void changes(const std::vector<Ini::Line>& lines, bool group) {
    static const std::set<std::string> kQuiet = {"copy", "file", "group", "optional", "visible", "selected"};
    for (const Ini::Line& l : lines) {
      if (l.key == "addini")
        add(ini_change("adds to ", l.value));
      else if (l.key == "ini")
        add(ini_change("sets in ", l.value));
      else if (l.key == "delete")
        add("deletes " + l.value);
      else if (group && !kQuiet.count(l.key))
        add("also asks: " + l.name + "=" + l.value);
    }
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out = lines_;
    if (more_) out.push_back("... and " + std::to_string(more_) + " more");
    return out;
  }

 private:
  std::vector<std::string> lines_;
  std::set<std::string> seen_;
  size_t more_ = 0;
};

}  // namespace

Bid umod_bid(Source& src) {
  unsigned char m[4];
  Bid bid;
  bid.format = Format::Umod;
  if (src.size() >= kTrailerSize && src.read_at(src.size() - kTrailerSize, m, 4) && le32(m) == kMagic)
    bid.strength = Bid::kTrailer;
  return bid;
}

std::unique_ptr<ArchiveReader> open_umod(std::unique_ptr<Source> src, std::string& err, Failure* kind) {
  if (!src) {
    err = "cannot read the archive";
    return nullptr;
  }
  std::unique_ptr<UmodReader> r(new UmodReader(std::move(src)));
  err = r->open();
  if (kind) *kind = r->failure;
  if (!err.empty()) return nullptr;
  return r;
}

bool is_umod_manifest(const Entry& e) {
  // By name, whatever its flags: the write-up documents no flag bit beyond the
  // manifest files' value 3, and a copied Manifest.ini would clash with the
  // game's own System\Manifest.ini, which lists what is installed. Any folder
  // counts, since files may be unpacked into System\ by their name alone.
  size_t cut = e.name.find_last_of("/\\");
  std::string base = ascii_lower(cut == std::string::npos ? e.name : e.name.substr(cut + 1));
  return base == "manifest.ini" || base == "manifest.int";
}

std::vector<std::string> manifest_requests(const std::string& manifest_ini) {
  Ini ini(manifest_text(manifest_ini));
  Requests out;
  const std::vector<Ini::Line>& setup = ini.section("setup");
  // Each section is read once however often it is named, so the work stays
  // in proportion to the text.
  std::set<std::string> requirements, groups = {"setup"};
  for (const Ini::Line& l : setup) {
    if (l.key != "requires" || !requirements.insert(ascii_lower(l.value)).second) continue;
    std::string product, version;
    for (const Ini::Line& r : ini.section(l.value)) {
      if (r.key == "product") product = r.value;
      if (r.key == "version") version = r.value;
    }
    if (product.empty()) product = l.value;
    out.add("requires " + product + (version.empty() ? "" : " version " + version));
  }
  // The installer runs the groups [Setup] names, in order; [Setup] itself is
  // read for the same changes.
  out.changes(setup, false);
  for (const Ini::Line& l : setup)
    if (l.key == "group" && groups.insert(ascii_lower(l.value)).second) out.changes(ini.section(l.value), true);
  return out.lines();
}

}  // namespace orvane
