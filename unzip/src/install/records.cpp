#include "install/records.h"

#include <algorithm>
#include <ctime>
#include <memory>

#include "base/names.h"
#include "base/text.h"
#include "install/sinks.h"
#include "platform/platform.h"

namespace orvane {

const char kRecordsFolder[] = "Orvane";

namespace {

// The first line of every record: a file without it is none of ours.
const char kHeader[] = "Orvane install record 1";

// Far more than a record of the largest pack holds; a bigger file is no record of ours.
constexpr uint64_t kMaxRecord = 32u << 20;

// A path as stored: Windows' separator, whatever the system that wrote it.
std::string stored(const std::string& path) {
  std::string s = path;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// A stored path as this system names it, or empty when it may not be acted on: it must stay
// inside the game folder (relative, no "..", no drive, no stream, no device) and outside
// Orvane's own folder, where only records live.
std::string safe_path(const std::string& path) {
  if (!check_entry_name(path).empty()) return std::string();
  std::vector<std::string> parts = split_path(path);
  if (parts.empty() || parts.back().empty() || parts[0] == ".") return std::string();
  // Nor a file of a run of ours: a temporary file or a journal.
  const std::string last = fold_case(parts.back());
  if (fold_case(parts[0]) == fold_case(kRecordsFolder) || last.rfind("~PKZ25-", 0) == 0 ||
      last.rfind(fold_case(platform::kTempPrefix), 0) == 0)
    return std::string();
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : std::string(1, platform::kSeparator)) + p;
  return out;
}

bool number(const std::string& s, uint64_t& n) {
  if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::stoull(s);
  return true;
}

bool hex32(const std::string& s, uint32_t& n) {
  if (s.size() != 8 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  n = static_cast<uint32_t>(std::stoul(s, nullptr, 16));
  return true;
}

std::string hex(uint32_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, n >>= 4) s[i] = digits[n & 15];
  return s;
}

}  // namespace

std::string record_text(const InstallRecord& r) {
  // Lines end in CR LF, so that Notepad shows a record as it is.
  std::string t = std::string(kHeader) + "\r\n";
  t += "Name\t" + without_controls(r.name) + "\r\n";
  t += "Installed\t" + r.when + "\r\n";
  for (const std::string& d : r.folders) t += "Folder\t" + stored(d) + "\r\n";
  for (const RecordedFile& f : r.files)
    t += "File\t" + std::to_string(f.sum.size) + "\t" + hex(f.sum.crc) + "\t" + stored(f.path) + "\r\n";
  return t;
}

RecordProblem read_record(const std::string& text, InstallRecord& r) {
  r = InstallRecord();
  const std::vector<std::string> lines = text_lines(text);
  if (lines.empty() || lines[0] != kHeader) return RecordProblem::kNotOurs;
  bool damaged = false, unsafe = false, named = false, timed = false;
  for (size_t k = 1; k < lines.size(); ++k) {
    if (lines[k].empty()) continue;
    const std::vector<std::string> f = split(lines[k], '\t');
    RecordedFile file;
    if (f[0] == "Name" && f.size() == 2 && !named && !trim(f[1]).empty()) {
      r.name = without_controls(f[1]);
      named = true;
    } else if (f[0] == "Installed" && f.size() == 2 && !timed) {
      r.when = without_controls(f[1]);
      timed = true;
    } else if (f[0] == "Folder" && f.size() == 2) {
      const std::string p = safe_path(f[1]);
      if (p.empty())
        unsafe = true;
      else
        r.folders.push_back(p);
    } else if (f[0] == "File" && f.size() == 4 && number(f[1], file.sum.size) && hex32(f[2], file.sum.crc)) {
      file.path = safe_path(f[3]);
      if (file.path.empty())
        unsafe = true;
      else
        r.files.push_back(file);
    } else {
      damaged = true;
    }
  }
  if (unsafe) return RecordProblem::kUnsafe;
  return damaged || !named || !timed ? RecordProblem::kDamaged : RecordProblem::kNone;
}

std::string file_name_of(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string record_file_name(const std::string& shown) {
  std::string name = file_name_of(shown);
  // A name that could not be a file of its own (it came from the player's list) is made one.
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"|?*").find(c) != std::string::npos) c = '_';
  if (name.empty() || !check_entry_name(name + ".txt").empty()) name = "archive";
  return name + ".txt";
}

bool read_records(const std::string& game, std::vector<FoundRecord>& found) {
  found.clear();
  const std::string folder = platform::join(game, kRecordsFolder);
  const platform::Kind kind = platform::kind_of(folder);
  if (kind == platform::Kind::Missing) return true;
  std::vector<std::string> names;
  if (kind != platform::Kind::Directory || !platform::list_files(folder, names)) return false;
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    if (n.size() < 4 || fold_case(n.substr(n.size() - 4)) != ".TXT") continue;  // ours are all .txt
    FoundRecord f;
    f.file = n;
    std::string err;
    std::unique_ptr<Source> file = platform::open_archive(platform::join(folder, n), err);
    std::string text;
    if (file && file->size() <= kMaxRecord) {
      text.resize(static_cast<size_t>(file->size()));
      if (!text.empty() && !file->read_at(0, &text[0], text.size())) text.clear();
    }
    f.problem = text.empty() ? RecordProblem::kNotOurs : read_record(text, f.record);
    found.push_back(std::move(f));
  }
  return true;
}

bool sum_of_file(const std::string& path, Sum& sum) {
  if (platform::kind_of(path) != platform::Kind::File) return false;
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f) return false;
  std::vector<unsigned char> buf(1 << 16);
  uint32_t c = 0;
  for (uint64_t at = 0; at < f->size();) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), f->size() - at));
    if (!f->read_at(at, buf.data(), n)) return false;
    c = crc32_of(c, buf.data(), n);
    at += n;
  }
  sum.size = f->size();
  sum.crc = c;
  return true;
}

std::string record_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &utc);
  return buf;
}

std::vector<RecordSummary> list_records(const std::string& game) {
  std::vector<FoundRecord> found;
  std::vector<RecordSummary> list;
  if (!read_records(without_trailing(game), found)) return list;
  for (const FoundRecord& f : found)
    if (f.problem == RecordProblem::kNone)
      list.push_back({f.record.name, file_name_of(f.record.name), f.record.when, f.record.files.size()});
  std::stable_sort(list.begin(), list.end(),
                   [](const RecordSummary& a, const RecordSummary& b) { return a.when > b.when; });
  return list;
}

}  // namespace orvane
