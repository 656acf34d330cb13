#include "extract.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <new>
#include <set>
#include <thread>

#include <zlib.h>

#include "cli.h"
#include "names.h"
#include "platform.h"
#include "zip_reader.h"

namespace orvane {

namespace {

// What became of one entry, printed in archive order once it is known.
struct Outcome {
  enum State { Pending, Silent, Extracted, Kept, Duplicate, Refused, Skipped, Excluded, Tested, Ready, Failed } state = Pending;
  std::string text;  // output path, or the reason of a failure or refusal
  bool identical = false;  // Kept: the existing file has the entry's size and CRC-32
  bool counts = true;      // Refused: a matched entry (an unmatched one never affects the exit code)
  int code = kExitEntries; // Failed: the exit code it calls for
};

// One entry to write: its destination and the output path relative to it.
struct Job {
  size_t entry = 0;
  std::string dest;
  std::string rel;
  bool directory = false;
};

// Counts what it is given, so -test checks an entry without writing it.
class NullSink : public Sink {
 public:
  bool write(const unsigned char*, size_t) override { return true; }
};

// True when the file at path has the entry's size and CRC-32. Read only for
// kept files, so an install that keeps nothing pays nothing for it.
bool same_as_entry(const std::string& path, const ZipEntry& e) {
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f || f->size() != e.usize) return false;
  std::vector<unsigned char> buf(1 << 16);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (uint64_t at = 0; at < e.usize;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), e.usize - at));
    if (!f->read_at(at, buf.data(), n)) return false;
    crc = crc32(crc, buf.data(), static_cast<uInt>(n));
    at += n;
  }
  return crc == e.crc;
}

class TempFileSink : public Sink {
 public:
  explicit TempFileSink(platform::TempFile& f) : file_(f) {}
  bool write(const unsigned char* data, size_t n) override { return file_.write(data, n, error_); }

 private:
  platform::TempFile& file_;
};

std::string parent_of(const std::string& rel) {
  size_t cut = rel.find_last_of(platform::kSeparator);
  return cut == std::string::npos ? std::string() : rel.substr(0, cut);
}

// Tar-style tools (bsdtar -a, the tar.exe of Windows) store "./Maps/X.unr":
// the leading "./" is not part of the name.
std::string without_dot_folders(const std::string& name) {
  size_t at = 0;
  while (name.size() >= at + 2 && name[at] == '.' && (name[at + 1] == '/' || name[at + 1] == '\\')) at += 2;
  return name.substr(at);
}

// Far deeper than any real pack; refusing deeper paths keeps an entry 30,000
// folders deep from costing minutes of folder creation.
const size_t kMaxDepth = 64;

size_t folder_depth(const std::string& name, bool directory) {
  std::vector<std::string> parts = split_path(name);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return directory ? parts.size() : parts.size() - 1;
}

std::atomic<VolumeProbe> volume_probe{nullptr};

uint64_t add_capped(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// The deepest folder of path that exists, for measuring its volume before
// anything (even the destination itself) is created.
std::string existing_folder(std::string path) {
  while (!path.empty() && platform::kind_of(path) != platform::Kind::Directory) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    size_t cut = path.find_last_of("/\\");
    path = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  }
  return path.empty() ? "." : path;
}

std::string size_text(uint64_t bytes) {
  char mb[32];
  std::snprintf(mb, sizeof mb, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return std::string(mb) + " (" + std::to_string(bytes) + " bytes)";
}

class Extractor {
 public:
  Extractor(Source& src, const ZipArchive& archive, const Options& opt)
      : src_(src),
        archive_(archive),
        opt_(opt),
        single_{std::vector<std::string>(), opt.dest},
        outcomes_(archive.entries.size()),
        temps_(archive.entries.size()),
        target_of_(archive.entries.size()) {}

  // Decides for every entry whether it is extracted, refused or ignored.
  // Returns the jobs grouped by output file: entries that land on the same
  // file run one after another in archive order, so the result is the same
  // as a plain sequential run.
  std::vector<std::vector<Job>> plan(bool& matched) {
    std::vector<std::vector<Job>> groups;
    std::map<std::string, size_t> group_of;
    matched = false;
    const bool grouped = !opt_.groups.empty();
    for (size_t i = 0; i < archive_.entries.size(); ++i) {
      const ZipEntry& e = archive_.entries[i];
      const std::string name = without_dot_folders(e.name);
      const std::string shown = e.name.empty() ? cp437_to_utf8(e.raw_name) : name;
      bool excluded = false;
      const Group* group = select(shown, excluded);
      bool dir = e.is_directory();
      // "./" alone is the archive's root folder: nothing to make.
      if (dir && (!opt_.directories || (name.empty() && e.name_error.empty()))) {
        outcomes_[i].state = Outcome::Silent;
        continue;
      }
      // Flattened, only the file's own name is made, so only it must be safe.
      std::string why = !e.name_error.empty() ? e.name_error
                        : opt_.directories     ? check_entry_name(name)
                                               : check_entry_name(split_path(name).back());
      if (why.empty() && e.is_symlink()) why = "symbolic link; links are never created";
      // Folders are only made with -directories; flattened, depth costs nothing.
      if (why.empty() && opt_.directories && folder_depth(name, dir) > kMaxDepth)
        why = "deeper than " + std::to_string(kMaxDepth) + " folders";
      if (!group) {
        // With groups every entry is accounted for: what no group takes is
        // listed, and an unsafe name is told as such though it was never going in.
        outcomes_[i].state = !grouped || dir ? Outcome::Silent
                             : excluded      ? Outcome::Excluded
                             : why.empty()   ? Outcome::Skipped
                                             : Outcome::Refused;
        outcomes_[i].text = why;
        outcomes_[i].counts = false;
        continue;
      }
      matched = true;
      if (!why.empty()) {
        settle(i, Outcome::Refused, why);
        continue;
      }
      why = unsupported_reason(e);
      if (!why.empty()) {
        fail(i, why);
        continue;
      }
      std::vector<std::string> parts = split_path(name);
      if (parts.back().empty()) parts.pop_back();
      std::string rel;
      if (opt_.directories) {
        for (const std::string& p : parts) rel += (rel.empty() ? "" : std::string(1, platform::kSeparator)) + p;
      } else {
        rel = parts.back();
      }
      Job job{i, group->dest, rel, dir};
      auto found = group_of.emplace(fold_case(platform::join(job.dest, rel)), groups.size());
      if (found.second) {
        groups.emplace_back();
      } else if (!opt_.overwrite_all && !opt_.test && !dir && !groups[found.first->second][0].directory) {
        // The first in archive order wins, whatever the destination already holds.
        settle(i, Outcome::Duplicate, shown_path(job));
        continue;
      }
      groups[found.first->second].push_back(job);
    }
    return groups;
  }

  // The sizes of the files the run will write, per destination: under
  // "never" the first entry of each output file that does not exist yet;
  // under "all" the largest entry of each, since every replacement is
  // written in full beside the old file first.
  std::map<std::string, std::vector<uint64_t>> sizes_to_write(const std::vector<std::vector<Job>>& groups) const {
    std::map<std::string, std::vector<uint64_t>> sizes;
    for (const std::vector<Job>& g : groups) {
      uint64_t most = 0;
      for (const Job& job : g) {
        if (job.directory) continue;
        if (!opt_.overwrite_all) {
          if (platform::kind_of(platform::join(job.dest, job.rel)) == platform::Kind::Missing)
            most = archive_.entries[job.entry].usize;
          break;
        }
        most = std::max(most, archive_.entries[job.entry].usize);
      }
      if (!g.empty() && most > 0) sizes[g[0].dest].push_back(most);
    }
    return sizes;
  }

  // Runs the groups on up to `threads` workers while this thread prints the
  // outcomes in archive order (under -all-or-nothing once every file is
  // ready and put in place). Returns the exit code the outcomes call for.
  int execute(const std::vector<std::vector<Job>>& groups, unsigned threads, Report& report) {
    std::vector<std::thread> workers;
    threads = std::min<unsigned>(threads, static_cast<unsigned>(groups.size()));
    for (unsigned t = 0; t < threads; ++t) {
      try {
        workers.emplace_back([this, &groups] { work(groups); });
      } catch (const std::system_error&) {
        break;  // fewer threads than hoped; those running take all the work
      }
    }
    if (workers.empty()) work(groups);
    for (const auto& g : groups) total_ += g.size();
    const bool hold = opt_.all_or_nothing && !opt_.test;
    // The first line after half a second, then one a second: no silent wait.
    auto last_progress = std::chrono::steady_clock::now() - std::chrono::milliseconds(500);
    bool progressed = false;
    for (size_t i = 0; i < outcomes_.size(); ++i) {
      Outcome o;
      {
        std::unique_lock<std::mutex> lock(mu_);
        for (bool ready = false; !ready;) {
          ready = ready_.wait_for(lock, std::chrono::milliseconds(250),
                                  [&] { return outcomes_[i].state != Outcome::Pending; });
          if (opt_.progress && std::chrono::steady_clock::now() - last_progress >= std::chrono::seconds(1)) {
            report.progress(progress_line());
            last_progress = std::chrono::steady_clock::now();
            progressed = true;
          }
        }
        o = outcomes_[i];
      }
      if (!hold && opt_.groups.empty()) print(i, o, report);
    }
    for (std::thread& w : workers) w.join();
    if (progressed) report.progress(progress_line());
    if (hold) settle_all_or_nothing();
    if (hold || !opt_.groups.empty()) {
      // A script reads the counts from the first line instead of counting lines.
      if (!opt_.groups.empty()) report.out(total_line());
      for (size_t i = 0; i < outcomes_.size(); ++i) print(i, outcomes_[i], report);
    }
    int code = kExitOk;
    bool refused = false, produced = false;
    for (const Outcome& o : outcomes_) {
      if (o.state == Outcome::Failed && (code == kExitOk || rank(o.code) < rank(code))) code = o.code;
      refused = refused || (o.state == Outcome::Refused && o.counts);
      produced = produced || o.state == Outcome::Extracted || o.state == Outcome::Kept ||
                 o.state == Outcome::Duplicate || o.state == Outcome::Tested;
    }
    if (code != kExitOk) return code;
    if (refused) return kExitRefused;
    return produced || directory_made_ ? kExitOk : kExitNothingMatched;
  }

 private:
  // Higher priority first when several failures apply.
  static int rank(int code) {
    const int order[] = {kExitArchive, kExitUnwritable, kExitDestination, kExitEntries};
    for (int r = 0; r < 4; ++r)
      if (order[r] == code) return r;
    return 4;
  }

  const Group* select(const std::string& shown, bool& excluded) const {
    for (const std::string& p : opt_.excludes)
      if (pattern_matches(p, shown)) return excluded = true, nullptr;
    for (const Group& g : opt_.groups)
      for (const std::string& p : g.patterns)
        if (pattern_matches(p, shown)) return &g;
    if (!opt_.groups.empty()) return nullptr;
    bool selected = opt_.patterns.empty();
    for (const std::string& p : opt_.patterns) selected = selected || pattern_matches(p, shown);
    return selected ? &single_ : nullptr;
  }

  // The path a report line shows: relative to the destination, or with
  // groups prefixed by the group's destination as given.
  std::string shown_path(const Job& job) const {
    return opt_.groups.empty() ? job.rel : platform::join(job.dest, job.rel);
  }

  std::string total_line() const {
    size_t n[8] = {};
    for (const Outcome& o : outcomes_) {
      switch (o.state) {
        case Outcome::Extracted: ++n[0]; break;
        case Outcome::Kept: ++n[o.identical ? 1 : 2]; break;
        case Outcome::Duplicate: ++n[3]; break;
        case Outcome::Refused: ++n[4]; break;
        case Outcome::Skipped: ++n[5]; break;
        case Outcome::Excluded: ++n[6]; break;
        case Outcome::Failed: ++n[7]; break;
        default: break;
      }
    }
    const char* what[8] = {"extracted", "identical", "differing", "duplicates", "refused", "skipped", "excluded", "failed"};
    std::string line = "Total:";
    for (int k = 0; k < 8; ++k) line += std::string(k ? "," : "") + " " + std::to_string(n[k]) + " " + what[k];
    return line;
  }

  std::string progress_line() {
    return "  " + std::to_string(done_.load()) + " of " + std::to_string(total_) + " files unpacked";
  }

  void print(size_t i, const Outcome& o, Report& report) {
    const ZipEntry& e = archive_.entries[i];
    switch (o.state) {
      case Outcome::Extracted: report.out("Extracted: " + o.text); break;
      case Outcome::Kept:
        report.out((o.identical ? "Kept (identical): " : "Kept (differs from the archive's): ") + o.text);
        break;
      case Outcome::Duplicate:
        report.out("Duplicate: " + o.text + " (an earlier entry of the archive has the same name; not written)");
        break;
      case Outcome::Refused: report.out("Refused: " + display_name(e) + " (" + o.text + ")"); break;
      case Outcome::Skipped: report.out("Skipped: " + display_name(e)); break;
      case Outcome::Excluded: report.out("Excluded: " + display_name(e)); break;
      case Outcome::Tested: report.out("Tested: " + o.text); break;
      case Outcome::Failed:
        report.err("Error: " + display_name(e) + ": " + o.text);
        // With groups the report is a script's input: failures belong in it too.
        if (!opt_.groups.empty()) report.out("Failed: " + display_name(e) + " (" + o.text + ")");
        break;
      default: break;
    }
  }

  // Every matched file is complete in its temporary file (or something
  // failed). Every final name is checked before the first move, so that a
  // sound archive never goes in half; a move that still fails takes back the
  // moves made before it. They are renames of files this run created, so
  // taking them back is safe.
  void settle_all_or_nothing() {
    auto undo = [](Outcome& o, const std::string& why) {
      o.state = Outcome::Failed;
      o.text = why;
      o.code = kExitUnwritable;
    };
    bool ok = std::none_of(outcomes_.begin(), outcomes_.end(),
                           [](const Outcome& o) { return o.state == Outcome::Failed; });
    for (size_t i = 0; ok && i < outcomes_.size(); ++i) {
      Outcome& o = outcomes_[i];
      std::string why;
      if (o.state != Outcome::Ready) continue;
      if (platform::kind_of(target_of_[i]) == platform::Kind::Directory)
        why = "a folder of that name is in the way of " + o.text;
      else
        platform::path_fits(target_of_[i], why);
      if (!why.empty()) undo(o, why);
    }
    ok = ok && std::none_of(outcomes_.begin(), outcomes_.end(),
                            [](const Outcome& o) { return o.state == Outcome::Failed; });
    std::vector<size_t> placed;
    for (size_t i = 0; ok && i < outcomes_.size(); ++i) {
      Outcome& o = outcomes_[i];
      if (o.state != Outcome::Ready) continue;
      std::string err;
      switch (temps_[i]->commit(target_of_[i], opt_.overwrite_all, true, err)) {
        case platform::Commit::Done: placed.push_back(i); break;
        case platform::Commit::Exists:
          o.state = Outcome::Kept;
          o.identical = same_as_entry(target_of_[i], archive_.entries[i]);
          break;
        case platform::Commit::Failed: undo(o, err), ok = false; break;
      }
    }
    for (auto it = placed.rbegin(); !ok && it != placed.rend(); ++it) temps_[*it]->take_back();
    for (auto& t : temps_) t.reset();  // closes each: what was put in place stays, the rest goes
    for (Outcome& o : outcomes_)
      if (o.state == Outcome::Ready) o.state = ok ? Outcome::Extracted : Outcome::Silent;
    if (ok) return;
    // Deepest first, so each folder is empty when its turn comes.
    std::sort(made_.begin(), made_.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : made_) platform::remove_dir(d);
  }

  // Makes the job's folder, once per run. Under -all-or-nothing it also
  // remembers each folder it creates, so that a failed run can take them back.
  bool prepare_folder(std::string folder, std::string& err) {
    // "Maps\" and "Maps" are one folder; without the separator a file in the
    // way is told as such.
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
      folder.pop_back();
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (known_.count(folder)) return true;
    }
    std::vector<std::string> missing;
    for (std::string p = opt_.all_or_nothing ? folder : std::string();
         !p.empty() && platform::kind_of(p) == platform::Kind::Missing;) {
      missing.push_back(p);
      size_t cut = p.find_last_of("\\/", p.size() - 2);
      p = cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
      while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    }
    bool ok = platform::make_dirs(folder, err);
    std::lock_guard<std::mutex> lock(mu_);
    for (const std::string& m : missing)
      if (platform::kind_of(m) == platform::Kind::Directory) made_.push_back(m);
    if (ok) known_.insert(folder);
    return ok;
  }

  // The name as shown in messages. Control characters become '?' so that a
  // name holding a line break cannot forge a report line of its own.
  static std::string display_name(const ZipEntry& e) {
    std::string s = e.name.empty() ? cp437_to_utf8(e.raw_name) : e.name;
    for (char& c : s)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
  }

  void settle(size_t i, Outcome::State s, const std::string& text, bool identical = false,
              int code = kExitEntries) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      outcomes_[i].state = s;
      outcomes_[i].text = text;
      outcomes_[i].identical = identical;
      outcomes_[i].code = code;
    }
    ready_.notify_all();
  }
  void fail(size_t i, const std::string& why, int code = kExitEntries) {
    settle(i, Outcome::Failed, why, false, code);
  }

  void work(const std::vector<std::vector<Job>>& groups) {
    for (size_t g; (g = next_group_++) < groups.size();) {
      for (const Job& job : groups[g]) {
        try {
          run_job(job);
          ++done_;
        } catch (const std::bad_alloc&) {
          fail(job.entry, "out of memory");
        } catch (const std::exception& ex) {
          fail(job.entry, ex.what());
        }
      }
    }
  }

  void run_job(const Job& job) {
    const ZipEntry& e = archive_.entries[job.entry];
    const std::string shown = shown_path(job);
    std::string target = platform::join(job.dest, job.rel);
    std::string err;
    if (opt_.test) {
      if (job.directory) return settle(job.entry, Outcome::Silent, std::string());
      NullSink sink;
      std::string why = extract_data(src_, e, sink);
      return why.empty() ? settle(job.entry, Outcome::Tested, job.rel) : fail(job.entry, why);
    }
    const bool hold = opt_.all_or_nothing;
    // Under -all-or-nothing a folder that cannot take a file is told apart from damage.
    const int unwritable = hold ? kExitUnwritable : kExitEntries;
    if (job.directory) {
      if (!prepare_folder(target, err)) return fail(job.entry, err, unwritable);
      directory_made_ = true;
      return settle(job.entry, Outcome::Silent, std::string());
    }
    std::string folder = platform::join(job.dest, parent_of(job.rel));
    if (!folder.empty() && !prepare_folder(folder, err)) return fail(job.entry, err, unwritable);
    platform::Kind kind = platform::kind_of(target);
    // Under -all-or-nothing a folder in the way fails only when the files go
    // in: the archive itself is sound, so the rest is still put in place.
    if (kind == platform::Kind::Directory && !hold)
      return fail(job.entry, "a folder of that name is in the way of " + job.rel);
    // No point inflating what will not be used; the rename below still
    // refuses to replace a file that appears meanwhile.
    if (kind != platform::Kind::Missing && kind != platform::Kind::Directory && !opt_.overwrite_all)
      return settle(job.entry, Outcome::Kept, shown, same_as_entry(target, e));

    std::unique_ptr<platform::TempFile> file(new platform::TempFile);
    if (!file->create(folder, err)) return fail(job.entry, err, unwritable);
    // The temporary file goes before the report, so that a full disk has its
    // space back by the time anyone reads the message.
    // A destination that cannot take the data is not damage in the archive.
    auto fail_writing = [&](const std::string& why, bool writing) {
      file->discard();
      if (!file->disk_full()) return fail(job.entry, why, writing ? unwritable : kExitEntries);
      fail(job.entry, "not enough free space: the disk filled up while writing (" + why +
                          "); the partial file was removed", kExitDestination);
    };
    TempFileSink sink(*file);
    std::string why = extract_data(src_, e, sink);
    if (!why.empty()) return fail_writing(why, !sink.error().empty());
    platform::FileTime t;
    t.has_unix = e.has_unix_mtime;
    t.unix_seconds = e.unix_mtime;
    t.dos_date = e.dos_date;
    t.dos_time = e.dos_time;
    if (!file->finish(t, err)) return fail_writing(err, true);
    if (hold) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        temps_[job.entry] = std::move(file);
        target_of_[job.entry] = target;
      }
      return settle(job.entry, Outcome::Ready, shown);
    }
    switch (file->commit(target, opt_.overwrite_all, false, err)) {
      case platform::Commit::Done: return settle(job.entry, Outcome::Extracted, shown);
      case platform::Commit::Exists: return settle(job.entry, Outcome::Kept, shown, same_as_entry(target, e));
      case platform::Commit::Failed: return fail_writing(err, true);
    }
  }

  Source& src_;
  const ZipArchive& archive_;
  const Options& opt_;
  const Group single_;  // the one destination without groups
  std::vector<Outcome> outcomes_;
  std::vector<std::unique_ptr<platform::TempFile>> temps_;  // -all-or-nothing: ready files
  std::vector<std::string> target_of_;
  std::vector<std::string> made_;  // folders this run created
  std::set<std::string> known_;    // folders known to exist
  std::atomic<size_t> next_group_{0}, done_{0};
  size_t total_ = 0;
  std::atomic<bool> directory_made_{false};
  std::mutex mu_;
  std::condition_variable ready_;
};

int run_extract(const Options& opt, Report& report) {
  std::string err;
  std::unique_ptr<Source> src = platform::open_archive(opt.archive, err);
  if (!src) {
    report.err("Error: " + opt.archive + ": " + err);
    return kExitArchive;
  }
  ZipArchive archive;
  err = read_archive(*src, archive);
  if (!err.empty()) {
    report.err("Error: " + opt.archive + ": " + err);
    return kExitArchive;
  }
  for (const std::string& w : archive.warnings) report.err("Warning: " + opt.archive + ": " + w);
  Extractor ex(*src, archive, opt);
  bool matched = false;
  std::vector<std::vector<Job>> groups = ex.plan(matched);
  // Checked before the first write, so a pack too big for the disk writes
  // nothing at all rather than most of itself. Destinations on one volume
  // add up, and each file takes whole allocation units of its volume.
  struct Need {
    platform::Volume volume;
    uint64_t bytes = 0;
    std::string where;
  };
  std::map<std::string, Need> needs;  // by volume
  VolumeProbe probe = volume_probe.load();
  for (const auto& d : opt.test ? std::map<std::string, std::vector<uint64_t>>() : ex.sizes_to_write(groups)) {
    platform::Volume v;
    if (!(probe ? probe : platform::volume_of)(existing_folder(d.first), v)) continue;
    Need& n = needs[v.id];
    // The same volume measured from two folders (Wine maps a folder on another
    // Linux disk into one drive): the smaller figure is the safe one.
    if (n.where.empty()) n.volume = v;
    n.volume.free = std::min(n.volume.free, v.free);
    const uint64_t unit = std::max<uint64_t>(v.cluster, 1);
    for (uint64_t size : d.second) {
      uint64_t units = size / unit + (size % unit != 0);
      n.bytes = add_capped(n.bytes, units > UINT64_MAX / unit ? UINT64_MAX : units * unit);
    }
    n.where += (n.where.empty() ? "" : ", ") + (d.first.empty() ? std::string(".") : d.first);
  }
  for (const auto& v : needs) {
    if (v.second.bytes <= v.second.volume.free) continue;
    report.err("Error: " + v.second.where + ": not enough free space: the files need " + size_text(v.second.bytes) +
               ", the disk has " + size_text(v.second.volume.free) + " free; nothing was extracted");
    return kExitDestination;
  }
  // Made here so that a destination that cannot be made is one plain error;
  // under -all-or-nothing each job makes its folders, so a failed run can take them back.
  if (!opt.test && !opt.all_or_nothing && opt.groups.empty() && !opt.dest.empty() &&
      !platform::make_dirs(opt.dest, err)) {
    report.err("Error: " + opt.dest + ": " + err);
    return kExitDestination;
  }
  unsigned cores = std::thread::hardware_concurrency();
  int code = ex.execute(groups, std::min(cores == 0 ? 1u : cores, 4u), report);
  return matched || code != kExitOk ? code : kExitNothingMatched;
}

}  // namespace

void set_volume_probe(VolumeProbe probe) { volume_probe = probe; }

int run(const std::vector<std::string>& args, Report& report) {
  try {
    Options opt;
    std::string err = parse_options(
        args, [](const std::string& p) { return platform::kind_of(p) == platform::Kind::Directory; },
        opt);
    if (!err.empty()) {
      report.err("Error: " + err + " (Pkzip25 -help explains the command line)");
      return kExitUsage;
    }
    if (opt.help) {
      std::string help = help_text();
      help.pop_back();  // the report adds the last line end itself
      report.out(help);
      return kExitOk;
    }
    return run_extract(opt, report);
  } catch (const std::bad_alloc&) {
    report.err("Error: out of memory");
  } catch (const std::exception& ex) {
    report.err(std::string("Error: ") + ex.what());
  }
  return kExitInternal;
}

}  // namespace orvane
