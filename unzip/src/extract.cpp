#include "extract.h"

#include <algorithm>
#include <atomic>
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

#include "cli.h"
#include "names.h"
#include "platform.h"
#include "zip_reader.h"

namespace orvane {

namespace {

// What became of one entry, printed in archive order once it is known.
struct Outcome {
  enum State { Pending, Silent, Extracted, Kept, Failed } state = Pending;
  std::string text;  // output path, or the reason of a failure
};

// One entry to write, with the output path relative to the destination.
struct Job {
  size_t entry = 0;
  std::string rel;
  bool directory = false;
};

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

// Far deeper than any real pack; refusing deeper paths keeps an entry 30,000
// folders deep from costing minutes of folder creation.
const size_t kMaxDepth = 64;

size_t folder_depth(const std::string& name, bool directory) {
  std::vector<std::string> parts = split_path(name);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return directory ? parts.size() : parts.size() - 1;
}

std::atomic<FreeSpaceProbe> free_space_probe{nullptr};

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
  Extractor(Source& src, const Archive& archive, const Options& opt)
      : src_(src), archive_(archive), opt_(opt), outcomes_(archive.entries.size()) {}

  // Decides for every entry whether it is extracted, refused or ignored.
  // Returns the jobs grouped by output file: entries that land on the same
  // file run one after another in archive order, so the result is the same
  // as a plain sequential run.
  std::vector<std::vector<Job>> plan(bool& matched) {
    std::vector<std::vector<Job>> groups;
    std::map<std::string, size_t> group_of;
    matched = false;
    for (size_t i = 0; i < archive_.entries.size(); ++i) {
      const Entry& e = archive_.entries[i];
      const std::string shown = e.name.empty() ? cp437_to_utf8(e.raw_name) : e.name;
      bool selected = opt_.patterns.empty();
      for (const std::string& p : opt_.patterns) selected = selected || pattern_matches(p, shown);
      bool dir = e.is_directory();
      if (!selected || (dir && !opt_.directories)) {
        outcomes_[i].state = Outcome::Silent;
        continue;
      }
      matched = true;
      std::string why = !e.name_error.empty() ? e.name_error : check_entry_name(e.name);
      if (why.empty()) why = unsupported_reason(e);
      if (why.empty() && e.is_symlink()) why = "symbolic link; links are never created";
      // Folders are only made with -directories; flattened, depth costs nothing.
      if (why.empty() && opt_.directories && folder_depth(e.name, dir) > kMaxDepth)
        why = "deeper than " + std::to_string(kMaxDepth) + " folders";
      if (!why.empty()) {
        fail(i, why);
        continue;
      }
      std::vector<std::string> parts = split_path(e.name);
      if (parts.back().empty()) parts.pop_back();
      std::string rel;
      if (opt_.directories) {
        for (const std::string& p : parts) rel += (rel.empty() ? "" : std::string(1, platform::kSeparator)) + p;
      } else {
        rel = parts.back();
      }
      auto found = group_of.emplace(fold_case(rel), groups.size());
      if (found.second) groups.emplace_back();
      groups[found.first->second].push_back(Job{i, rel, dir});
    }
    return groups;
  }

  // Runs the groups on up to `threads` workers while this thread prints the
  // outcomes in archive order. Returns true when no entry failed.
  bool execute(const std::vector<std::vector<Job>>& groups, unsigned threads, Report& report) {
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
    bool ok = true;
    for (size_t i = 0; i < outcomes_.size(); ++i) {
      Outcome o;
      {
        std::unique_lock<std::mutex> lock(mu_);
        ready_.wait(lock, [&] { return outcomes_[i].state != Outcome::Pending; });
        o = outcomes_[i];
      }
      const Entry& e = archive_.entries[i];
      switch (o.state) {
        case Outcome::Extracted: report.out("Extracted: " + o.text); break;
        case Outcome::Kept: report.out("Kept: " + o.text + " (already exists, not replaced)"); break;
        case Outcome::Failed: report.err("Error: " + display_name(e) + ": " + o.text); ok = false; break;
        default: break;
      }
    }
    for (std::thread& w : workers) w.join();
    return ok;
  }

  // True when at least one matched entry was extracted or kept.
  bool produced_anything() const {
    for (const Outcome& o : outcomes_)
      if (o.state == Outcome::Extracted || o.state == Outcome::Kept) return true;
    return false;
  }

  bool any_directory_made() const { return directory_made_; }
  bool disk_filled() const { return disk_full_; }

  // What the run will write: under "never" the first entry of each output
  // file that does not exist yet; under "all" the largest entry of each,
  // since every replacement is written in full beside the old file first.
  uint64_t bytes_to_write(const std::vector<std::vector<Job>>& groups) const {
    uint64_t total = 0;
    for (const std::vector<Job>& g : groups) {
      uint64_t most = 0;
      for (const Job& job : g) {
        if (job.directory) continue;
        if (!opt_.overwrite_all) {
          if (platform::kind_of(platform::join(opt_.dest, job.rel)) == platform::Kind::Missing)
            most = archive_.entries[job.entry].usize;
          break;
        }
        most = std::max(most, archive_.entries[job.entry].usize);
      }
      total = most > UINT64_MAX - total ? UINT64_MAX : total + most;
    }
    return total;
  }

 private:
  // The name as shown in messages. Control characters become '?' so that a
  // name holding a line break cannot forge a report line of its own.
  static std::string display_name(const Entry& e) {
    std::string s = e.name.empty() ? cp437_to_utf8(e.raw_name) : e.name;
    for (char& c : s)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
  }

  void settle(size_t i, Outcome::State s, const std::string& text) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      outcomes_[i].state = s;
      outcomes_[i].text = text;
    }
    ready_.notify_all();
  }
  void fail(size_t i, const std::string& why) { settle(i, Outcome::Failed, why); }

  // Makes a folder once per run: entries that share a folder do not each
  // create every folder above their file again.
  bool ensure_dir(const std::string& path, std::string& err) {
    {
      std::lock_guard<std::mutex> lock(dirs_mu_);
      if (dirs_made_.count(path)) return true;
    }
    if (!path.empty() && !platform::make_dirs(path, err)) return false;
    // Partial files that a killed run left behind in a folder we write into.
    platform::sweep_stale_temp_files(path);
    std::lock_guard<std::mutex> lock(dirs_mu_);
    dirs_made_.insert(path);
    return true;
  }

  void work(const std::vector<std::vector<Job>>& groups) {
    for (size_t g; (g = next_group_++) < groups.size();) {
      for (const Job& job : groups[g]) {
        try {
          run_job(job);
        } catch (const std::bad_alloc&) {
          fail(job.entry, "out of memory");
        } catch (const std::exception& ex) {
          fail(job.entry, ex.what());
        }
      }
    }
  }

  void run_job(const Job& job) {
    const Entry& e = archive_.entries[job.entry];
    std::string target = platform::join(opt_.dest, job.rel);
    std::string err;
    if (job.directory) {
      if (!ensure_dir(target, err)) return fail(job.entry, err);
      directory_made_ = true;
      return settle(job.entry, Outcome::Silent, std::string());
    }
    std::string folder = platform::join(opt_.dest, parent_of(job.rel));
    if (!ensure_dir(folder, err)) return fail(job.entry, err);
    platform::Kind kind = platform::kind_of(target);
    if (kind == platform::Kind::Directory)
      return fail(job.entry, "a folder of that name is in the way of " + job.rel);
    // No point inflating what will not be used; the rename below still
    // refuses to replace a file that appears meanwhile.
    if (kind != platform::Kind::Missing && !opt_.overwrite_all)
      return settle(job.entry, Outcome::Kept, job.rel);

    platform::TempFile file;
    if (!file.create(folder, err)) return fail(job.entry, err);
    // The temporary file goes before the report, so that a full disk has its
    // space back by the time anyone reads the message.
    auto fail_writing = [&](const std::string& why) {
      file.discard();
      if (!file.disk_full()) return fail(job.entry, why);
      disk_full_ = true;
      fail(job.entry, "not enough free space: the disk filled up while writing (" + why +
                          "); the partial file was removed");
    };
    TempFileSink sink(file);
    std::string why = extract_data(src_, e, sink);
    if (!why.empty()) return fail_writing(why);
    platform::FileTime t;
    t.has_unix = e.has_unix_mtime;
    t.unix_seconds = e.unix_mtime;
    t.dos_date = e.dos_date;
    t.dos_time = e.dos_time;
    if (!file.finish(t, err)) return fail_writing(err);
    switch (file.commit(target, opt_.overwrite_all, err)) {
      case platform::Commit::Done: return settle(job.entry, Outcome::Extracted, job.rel);
      case platform::Commit::Exists: return settle(job.entry, Outcome::Kept, job.rel);
      case platform::Commit::Failed: return fail_writing(err);
    }
  }

  Source& src_;
  const Archive& archive_;
  const Options& opt_;
  std::vector<Outcome> outcomes_;
  std::atomic<size_t> next_group_{0};
  std::atomic<bool> directory_made_{false};
  std::atomic<bool> disk_full_{false};
  std::mutex mu_;
  std::condition_variable ready_;
  std::mutex dirs_mu_;
  std::set<std::string> dirs_made_;
};

int run_extract(const Options& opt, Report& report) {
  std::string err;
  std::unique_ptr<Source> src = platform::open_archive(opt.archive, err);
  if (!src) {
    report.err("Error: " + opt.archive + ": " + err);
    return kExitArchive;
  }
  Archive archive;
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
  // nothing at all rather than most of itself.
  uint64_t need = ex.bytes_to_write(groups), room = 0;
  std::string volume = existing_folder(opt.dest);
  FreeSpaceProbe probe = free_space_probe.load();
  if (need > 0 && (probe ? probe : platform::free_space)(volume, room) && need > room) {
    report.err("Error: " + (opt.dest.empty() ? std::string(".") : opt.dest) +
               ": not enough free space: the files need " + size_text(need) + ", the disk has " +
               size_text(room) + " free; nothing was extracted");
    return kExitDestination;
  }
  if (!opt.dest.empty() && !platform::make_dirs(opt.dest, err)) {
    report.err("Error: " + opt.dest + ": " + err);
    return kExitDestination;
  }
  unsigned cores = std::thread::hardware_concurrency();
  bool ok = ex.execute(groups, std::min(cores == 0 ? 1u : cores, 4u), report);
  if (ex.disk_filled()) return kExitDestination;
  if (!ok) return kExitEntries;
  if (!matched || (!ex.produced_anything() && !ex.any_directory_made())) return kExitNothingMatched;
  return kExitOk;
}

}  // namespace

void set_free_space_probe(FreeSpaceProbe probe) { free_space_probe = probe; }

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
