#include "app/extract.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "app/check.h"
#include "archive/formats.h"
#include "archive/umod/umod_reader.h"
#include "base/names.h"
#include "cli/cli.h"
#include "install/commit.h"
#include "install/journal.h"
#include "install/plan.h"
#include "install/space.h"
#include "install/writer.h"
#include "platform/platform.h"
#include "report/lines.h"
#include "report/report.h"
#include "run/run.h"
#include "unreal/unreal_game.h"
#include "unreal/unreal_package.h"

namespace orvane {

namespace {

// Why the exception being handled was thrown, as an error line says it.
std::string current_failure() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "an unexpected failure";
  }
}

// The item is in the game: put there by the run, or kept as the game had it.
bool in_place(const Outcome& o) { return o.state == Outcome::Extracted || o.state == Outcome::Kept; }

std::string progress_line(size_t done, size_t total) {
  return "  " + std::to_string(done) + " of " + std::to_string(total) + " files unpacked";
}

// Runs the plan: random-access readers' jobs on up to four workers, an
// in-order reader's on its own decoding thread, while this thread prints the
// outcomes in item order (with groups or under -all-or-nothing, tell() does
// once the run is decided).
void execute(Run& run, const Plan& plan, Writer& writer, PackageCheck* packages, Report& report) {
  const Options& opt = run.opt;
  std::vector<std::vector<Job>> random;
  ArchiveReader* in_order_reader = nullptr;
  std::vector<const Job*> in_order;
  size_t total = 0;
  for (const std::vector<Job>& g : plan.groups) {
    std::vector<Job> part;
    for (const Job& job : g) {
      ++total;
      ArchiveReader* r = run.items[job.item].reader;
      if (r->random_access()) {
        part.push_back(job);
        continue;
      }
      in_order_reader = r;
      in_order.resize(r->entries().size(), nullptr);
      in_order[run.items[job.item].index] = &job;
    }
    if (!part.empty()) random.push_back(std::move(part));
  }
  std::vector<std::thread> threads;
  unsigned cores = std::thread::hardware_concurrency();
  unsigned workers = std::min<unsigned>(std::min(cores == 0 ? 1u : cores, 4u), static_cast<unsigned>(random.size()));
  bool decoding = false;
  try {
    if (in_order_reader) threads.emplace_back([&] { writer.write_in_order(*in_order_reader, in_order); });
    decoding = in_order_reader != nullptr;
    for (unsigned t = 0; t < workers; ++t) threads.emplace_back([&] { writer.work(random); });
  } catch (const std::system_error&) {
    // fewer threads than hoped; those running take all the work, or this one does
  }
  if (threads.size() == (decoding ? 1u : 0u)) writer.work(random);
  if (in_order_reader && !decoding) writer.write_in_order(*in_order_reader, in_order);
  const bool hold = opt.all_or_nothing && !opt.test;
  const bool at_once = hold || !opt.groups.empty() || packages;
  // The first line after half a second, then one a second: no silent wait.
  auto last_progress = std::chrono::steady_clock::now() - std::chrono::milliseconds(500);
  bool progressed = false;
  for (size_t i = 0; i < run.outcomes.size(); ++i) {
    {
      std::unique_lock<std::mutex> lock(run.mu);
      for (bool ready = false; !ready;) {
        ready = run.ready.wait_for(lock, std::chrono::milliseconds(250),
                                   [&] { return run.outcomes[i].state != Outcome::Pending; });
        if (opt.progress && std::chrono::steady_clock::now() - last_progress >= std::chrono::seconds(1)) {
          report.progress(progress_line(writer.done(), total));
          last_progress = std::chrono::steady_clock::now();
          progressed = true;
        }
      }
    }
    if (!at_once) print_outcome(run, i, report);
  }
  for (std::thread& t : threads) t.join();
  if (progressed) report.progress(progress_line(writer.done(), total));
  if (hold) settle_all_or_nothing(run, writer.staging, packages);
}

// Once a run is decided (and, in a batch, every archive is in place, so that the game's
// folders hold the packages each brought): the package check, the report lines not yet
// written, and the exit code the outcomes call for.
int tell(Run& run, Writer& writer, PackageCheck* packages, Report& report) {
  const Options& opt = run.opt;
  const bool at_once = (opt.all_or_nothing && !opt.test) || !opt.groups.empty() || packages;
  PackageCheck::Result found;
  std::vector<size_t> installed, differing;
  for (size_t i = 0; i < run.outcomes.size(); ++i) {
    const Outcome& o = run.outcomes[i];
    if (in_place(o)) installed.push_back(i);
    if (o.state == Outcome::Kept && !o.identical) differing.push_back(i);
  }
  // The files are in place by now: a check that cannot finish (a package too big for the
  // memory left) is told as such, and what went in is still told.
  bool unchecked = false;
  if (packages) {
    try {
      // Tests only: the check runs out of memory, as a huge package can make it. An
      // archive cannot set this.
      if (std::getenv("ORVANE_TEST_CHECK_OUT_OF_MEMORY")) throw std::bad_alloc();
      found = packages->finish(installed, differing);
    } catch (...) {
      unchecked = true;
      report.err("Error: the check of the installed packages could not finish: " + current_failure() +
                 " (the files are in place)");
    }
  }
  if (at_once) {
    // A script reads the counts from the first line instead of counting lines.
    if (!opt.groups.empty())
      report.out(total_line(run, found.missing.size(), found.unloadable.size(), found.unfound.size()));
    for (size_t i = 0; i < run.outcomes.size(); ++i) print_outcome(run, i, report);
  }
  for (const std::string& r : run.requests) report.out("Manifest: " + r);
  auto list = [](const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
    return s;
  };
  for (const PackageCheck::Missing& m : found.missing)
    report.out((m.stock ? "Missing from the game itself: " : "Missing: ") + m.name + " (" + kind_text(m.kinds) +
               ", needed by " + list(m.needed_by) + ")");
  for (const PackageCheck::Unloadable& u : found.unloadable)
    report.out("Unloadable: " + u.shown + " (" + u.why + ")");
  for (const PackageCheck::Unfound& u : found.unfound)
    report.out("Unfound: " + u.object + " (" + (u.which.empty() ? "" : u.which + "; ") + "needed by " +
               list(u.needed_by) + "; " + u.why + ")");
  int code = exit_code(run, writer.directory_made());
  if (code == kExitOk && (!found.missing.empty() || !found.unloadable.empty() || !found.unfound.empty()))
    code = kExitPackages;
  if (unchecked && !installed.empty() && (code == kExitOk || code == kExitRefused)) code = kExitUnchecked;
  return code;
}

// Collects a manifest's text, as much as is worth reading.
class TextSink : public Sink {
 public:
  bool write(const unsigned char* data, size_t n) override {
    text.append(reinterpret_cast<const char*>(data), std::min(n, kMax - std::min(kMax, text.size())));
    return true;
  }
  static constexpr size_t kMax = 1u << 20;
  std::string text;
};

// The largest .umod unpacked to be read. The game's own mod installers hold tens of
// megabytes; one of more is made to fill the disk.
constexpr uint64_t kMaxUmod = 512ull << 20;

bool is_umod_name(const std::string& name) {
  return name.size() > 5 && fold_case(name.substr(name.size() - 5)) == ".UMOD";
}

// The files of a .umod join the run: by their stored paths below the umod
// root, the installer's own manifest never copied but read for what it asks.
void add_umod_files(Run& run, ArchiveReader& umod, const std::string& container) {
  for (size_t i = 0; i < umod.entries().size(); ++i) {
    run.items.push_back({&umod, i, container, true});
    run.outcomes.emplace_back();
    const Entry& e = umod.entries()[i];
    if (!is_umod_manifest(e)) continue;
    run.outcomes.back().state = Outcome::Silent;
    TextSink manifest;
    if (fold_case(e.name).find("MANIFEST.INI") == std::string::npos || !umod.extract(i, manifest).empty()) continue;
    for (const std::string& r : manifest_requests(manifest.text))
      run.requests.push_back((container.empty() ? std::string() : container + ": ") + r);
  }
}

// Under -install-umods, the archive itself when it is a umod, or each .umod
// in it, unpacked into a temporary file first (marked for deletion, so
// nothing stays behind) and opened there.
void add_umods(Run& run, ArchiveReader& archive, std::vector<std::unique_ptr<ArchiveReader>>& umods) {
  if (archive.format() == Format::Umod) {
    run.items.clear();
    run.outcomes.clear();
    return add_umod_files(run, archive, std::string());
  }
  std::vector<size_t> wanted;
  const std::string temp = platform::temp_folder();
  uint64_t bytes = 0;
  for (size_t i = 0; i < archive.entries().size(); ++i) {
    const Entry& e = archive.entries()[i];
    if (e.directory || e.link || !e.unsupported.empty() || !is_umod_name(e.name)) continue;
    // Judged by its declared size before a byte is decoded: the decoder never writes more.
    if (e.size > kMaxUmod) {
      run.fail(i, Failure::Bomb, "this .umod would unpack to " + std::to_string(e.size >> 20) + " MB, more than any mod installer "
               "holds (at most " + std::to_string(kMaxUmod >> 20) + " MB): a zip bomb, made to fill the disk");
      continue;
    }
    wanted.push_back(i);
    bytes += e.size;
  }
  if (wanted.empty()) return;
  // They are all unpacked before the run's own room check, and held until it ends.
  std::string room = room_in(temp, bytes);
  if (!room.empty()) {
    for (size_t i : wanted)
      run.fail(i, Failure::NoRoom, "not enough free space in the folder for temporary files (" + temp + ") to unpack the .umod files: " +
                      room, kExitDestination);
    return;
  }
  std::vector<std::unique_ptr<platform::TempFile>> files(archive.entries().size());
  std::vector<std::unique_ptr<TempFileSink>> sinks(archive.entries().size());
  std::vector<std::string> why(archive.entries().size());
  auto sink_for = [&](size_t i) -> Sink* {
    if (!std::binary_search(wanted.begin(), wanted.end(), i)) return nullptr;
    files[i].reset(new platform::TempFile);
    if (!files[i]->create(temp, why[i])) return nullptr;
    sinks[i].reset(new TempFileSink(*files[i], nullptr));
    return sinks[i].get();
  };
  auto done = [&](size_t i, const std::string& w) { why[i] = w; };
  std::string fatal;
  if (archive.random_access()) {
    for (size_t i : wanted)
      if (Sink* s = sink_for(i)) done(i, archive.extract(i, *s));
  } else {
    fatal = archive.extract_in_order(sink_for, done);
  }
  for (size_t i : wanted) {
    std::string err = !why[i].empty() ? why[i] : fatal;
    const bool full = files[i] && files[i]->disk_full();
    std::unique_ptr<ArchiveReader> umod;
    Failure kind = Failure::Damaged;
    if (err.empty() && files[i]) umod = open_umod(std::move(files[i]), err, &kind);
    if (full) {
      run.fail(i, Failure::NoRoom, "not enough free space in the folder for temporary files (" + temp + ") to unpack this .umod (" +
                      err + ")", kExitDestination);
    } else if (!umod) {
      run.fail(i, kind, "cannot unpack this .umod: " + (err.empty() ? std::string("the archive ended before it") : err));
    }
    if (!umod) continue;
    run.outcomes[i].state = Outcome::Unpacked;
    const auto& files = umod->entries();
    run.outcomes[i].text = std::to_string(files.size() - std::count_if(files.begin(), files.end(), is_umod_manifest)) +
                           " files";
    umods.push_back(std::move(umod));
    add_umod_files(run, *umods.back(), run.display_name(i));
  }
}

// One archive's install, kept until it is told: the readers, the run and its writer.
struct Install {
  Options opt;
  std::unique_ptr<ArchiveReader> archive;
  std::vector<std::unique_ptr<ArchiveReader>> umods;
  std::unique_ptr<Run> run;
  std::unique_ptr<PackageCheck> packages;
  Journal journal;  // held by the run from its recovery until it is settled
  std::shared_ptr<GameListing> listing;  // the game's package files, shared by a batch's archives
  std::unique_ptr<Writer> writer;
  bool matched = false;
};

// Installs opt.archive (shown as `shown` in messages) up to where it is decided. Returns
// -1 when tell() is to finish it, or the exit code of a run that ended early, reported.
int start(Install& in, const std::string& shown, Report& report) {
  const Options& opt = in.opt;
  std::string err;
  std::unique_ptr<Source> file = platform::open_archive(opt.archive, err);
  Failure kind = Failure::Damaged;
  in.archive = file ? open_reader(std::move(file), err, kind) : nullptr;
  if (!in.archive) {
    report.err("Error: " + shown + ": " + err);
    // With groups the report is a script's input: why the archive is unusable belongs in it.
    if (!opt.groups.empty()) report.out(failed_line(kind, shown, err));
    return kExitArchive;
  }
  for (const std::string& w : in.archive->warnings()) report.err("Warning: " + shown + ": " + w);
  in.run.reset(new Run(opt));
  Run& run = *in.run;
  for (size_t i = 0; i < in.archive->entries().size(); ++i) run.items.push_back({in.archive.get(), i, std::string(), false});
  run.outcomes.resize(run.items.size());
  if (!opt.umod_root.empty() && !opt.test) add_umods(run, *in.archive, in.umods);
  Plan plan = make_plan(run);
  in.matched = plan.matched;
  // A run of ours into these folders that was killed is put right first.
  if (opt.all_or_nothing && !opt.test && platform::kind_of(journal_folder(opt)) == platform::Kind::Directory) {
    const std::string folder = journal_folder(opt);
    std::vector<std::string> told;
    const bool held = in.journal.open(folder, journal_roots(opt), told, err);
    for (const std::string& t : told) report.err("Warning: " + folder + ": " + t);
    if (!held) {
      report.err("Error: " + err);
      if (!opt.groups.empty()) report.out(failed_line(Failure::Unwritable, shown, err));
      return kExitUnwritable;
    }
  }
  if (!enough_room(run, plan, report)) return kExitDestination;
  // Made here so that a destination that cannot be made is one plain error;
  // under -all-or-nothing each job makes its folders, so a failed run can take them back.
  if (!opt.test && !opt.all_or_nothing && opt.groups.empty() && !opt.dest.empty() &&
      !platform::make_dirs(opt.dest, err)) {
    report.err("Error: " + opt.dest + ": " + err);
    return kExitUnwritable;
  }
  in.packages.reset(opt.game.empty() || opt.test ? nullptr : new PackageCheck(opt.game, in.listing));
  in.writer.reset(new Writer(run, in.packages.get(), in.journal));
  if (opt.all_or_nothing && !opt.test && !plan.groups.empty() && !in.writer->start_journal(journal_folder(opt), journal_roots(opt), err)) {
    report.err("Error: " + err);
    if (!opt.groups.empty()) report.out(failed_line(Failure::Unwritable, shown, err));
    return kExitUnwritable;
  }
  execute(run, plan, *in.writer, in.packages.get(), report);
  return -1;
}

int finish(Install& in, Report& report) {
  try {
    int code = tell(*in.run, *in.writer, in.packages.get(), report);
    return in.matched || code != kExitOk ? code : kExitNothingMatched;
  } catch (...) {
    // Whatever went in stays in: not told as a run that installed nothing.
    report.err("Error: " + in.opt.archive + ": " + current_failure() + ", after the files were put in place");
    const auto& o = in.run->outcomes;
    return std::any_of(o.begin(), o.end(), in_place) ? kExitUnchecked : kExitInternal;
  }
}

int run_extract(const Options& opt, Report& report) {
  Install in;
  in.opt = opt;
  const int code = start(in, opt.archive, report);
  return code >= 0 ? code : finish(in, report);
}

// The lines of a text file that a script wrote (console code page), without line ends.
bool read_lines(const std::string& path, std::vector<std::string>& lines, std::string& err) {
  std::unique_ptr<Source> file = platform::open_archive(path, err);
  std::string bytes;
  if (file) {
    bytes.resize(static_cast<size_t>(file->size()));
    if (!bytes.empty() && !file->read_at(0, &bytes[0], bytes.size())) file.reset();
  }
  if (!file) return false;
  const std::string text = platform::from_console(bytes);
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

// A report kept in memory, written as a file once the archive is told.
class FileReport : public Report {
 public:
  explicit FileReport(Report& errors) : errors_(errors) {}
  void out(const std::string& line) override { text += line + "\n"; }
  void err(const std::string& line) override { errors_.err(line); }
  void progress(const std::string& line) override { errors_.progress(line); }
  std::string text;

 private:
  Report& errors_;
};

// Several archives in one run (-archives): each installed by itself, all or nothing, in
// turn, so that a later one finds what an earlier one put in place (kept, identical or
// differing); told once all are in, so that the packages of each count for the others.
// Archive k's report goes into REPORTS/report-k.txt, and standard output gets one line per
// archive: "Archive: k CODE NAME".
int run_batch(const Options& opt, Report& report) {
  std::vector<std::string> paths{opt.archive}, names;
  std::string err;
  if (!read_lines(opt.archives, paths, err)) {
    report.err("Error: " + opt.archives + ": " + err);
    return kExitUsage;
  }
  paths.erase(std::remove_if(paths.begin() + 1, paths.end(), [](std::string& p) {
                p.erase(std::remove(p.begin(), p.end(), '"'), p.end());
                return p.empty();
              }), paths.end());
  if (!opt.names.empty()) read_lines(opt.names, names, err);  // a missing list: the paths are shown
  auto shown_of = [&](const std::string& path) { return shown_archive_name(names, path); };
  std::vector<std::unique_ptr<Install>> installs;
  std::vector<std::unique_ptr<FileReport>> reports;
  std::vector<int> codes;
  // The game is listed once for all the archives' checks, not once for each.
  auto listing = std::make_shared<GameListing>(opt.game);
  for (size_t k = 0; k < paths.size(); ++k) {
    const std::string shown = shown_of(paths[k]);
    report.progress(std::to_string(k + 1) + " of " + std::to_string(paths.size()) + ": " +
                    shown.substr(shown.find_last_of("\\/") + 1));
    installs.emplace_back(new Install);
    installs.back()->opt = opt;
    installs.back()->opt.archive = paths[k];
    installs.back()->listing = listing;
    reports.emplace_back(new FileReport(report));
    try {
      codes.push_back(start(*installs.back(), shown, *reports.back()));
    } catch (...) {
      // Before this archive's files were all in (the next run takes back any it moved);
      // those of the archives before it stay in.
      report.err("Error: " + shown + ": " + current_failure());
      codes.push_back(kExitInternal);
    }
    installs.back()->journal.release();  // the next archive's run takes it
  }
  int worst = kExitOk;
  const int order[] = {kExitUnreported, kExitArchive,  kExitUnwritable, kExitDestination,   kExitEntries,
                       kExitInternal,   kExitUnchecked, kExitRefused,   kExitPackages, kExitNothingMatched};
  auto rank = [&](int c) { return std::find(std::begin(order), std::end(order), c) - std::begin(order); };
  for (size_t k = 0; k < paths.size(); ++k) {
    if (codes[k] < 0) codes[k] = finish(*installs[k], *reports[k]);
    report.out("Archive: " + std::to_string(k + 1) + " " + std::to_string(codes[k]) + " " + shown_of(paths[k]));
    if (rank(codes[k]) < rank(worst)) worst = codes[k];
    const std::string file = platform::join(opt.reports, "report-" + std::to_string(k + 1) + ".txt");
    if (!platform::write_console_text(file, reports[k]->text, err)) {
      // A full disk must not hide what went in: the report goes to the console instead,
      // and no part of it stays behind as if it were whole.
      platform::remove_file(file);
      report.err("Error: " + file + ": " + err + " (the report of " + shown_of(paths[k]) + " follows here)");
      for (size_t at = 0, end; (end = reports[k]->text.find('\n', at)) != std::string::npos; at = end + 1)
        report.err(reports[k]->text.substr(at, end - at));
      worst = kExitUnreported;
    }
  }
  return worst;
}

// Standard error's lines, for the player's console: wrapped.
class WrappedReport : public Report {
 public:
  WrappedReport(Report& to, size_t width) : to_(to), width_(width) {}
  void out(const std::string& line) override { to_.out(line); }
  void err(const std::string& line) override {
    for (const std::string& l : wrap_message(line, width_)) to_.err(l);
  }
  void progress(const std::string& line) override {
    for (const std::string& l : wrap_message(line, width_)) to_.progress(l);
  }

 private:
  Report& to_;
  size_t width_;
};

int run_show(const Options& opt, Report& report) {
  std::string err;
  std::vector<std::string> lines;
  if (!read_lines(opt.archive, lines, err)) {
    report.err("Error: " + opt.archive + ": " + (err.empty() ? "cannot read the report" : err));
    return kExitArchive;
  }
  for (const std::string& line : lines) {
    const std::string name = line.substr(std::min(line.size(), opt.show.size() + 2));
    bool wanted = opt.patterns.empty();
    for (const std::string& p : opt.patterns) wanted = wanted || pattern_matches(p, name);
    for (const std::string& p : opt.excludes) wanted = wanted && !pattern_matches(p, name);
    if (!wanted) continue;
    for (const std::string& l : shown_report_line(line, opt.show, opt.note, opt.width ? opt.width : 79)) report.out(l);
  }
  return kExitOk;
}

}  // namespace

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
    if (!opt.show.empty()) return run_show(opt, report);
    if (opt.check_game) return check_game(opt.archive, opt.cache_answer, report);
    WrappedReport wrapped(report, opt.width);
    Report& to = opt.width ? static_cast<Report&>(wrapped) : report;
    return opt.archives.empty() ? run_extract(opt, to) : run_batch(opt, to);
  } catch (...) {
    report.err("Error: " + current_failure());
  }
  return kExitInternal;
}

}  // namespace orvane
