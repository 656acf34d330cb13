#include "extract.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "cli.h"
#include "commit.h"
#include "formats.h"
#include "names.h"
#include "platform.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "space.h"
#include "unreal_game.h"
#include "umod_reader.h"
#include "unreal_package.h"
#include "writer.h"

namespace orvane {

namespace {

std::string progress_line(size_t done, size_t total) {
  return "  " + std::to_string(done) + " of " + std::to_string(total) + " files unpacked";
}

// Runs the plan: random-access readers' jobs on up to four workers, an
// in-order reader's on its own decoding thread, while this thread prints the
// outcomes in item order (with groups or under -all-or-nothing, once the run
// is decided). Returns the exit code the outcomes call for.
int execute(Run& run, const Plan& plan, Writer& writer, PackageCheck* packages, Report& report) {
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
  if (hold) settle_all_or_nothing(run, writer, packages);
  PackageCheck::Result found;
  if (packages) {
    std::vector<size_t> installed, differing;
    for (size_t i = 0; i < run.outcomes.size(); ++i) {
      const Outcome& o = run.outcomes[i];
      if (o.state == Outcome::Extracted || o.state == Outcome::Kept) installed.push_back(i);
      if (o.state == Outcome::Kept && !o.identical) differing.push_back(i);
    }
    found = packages->finish(installed, differing);
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
    report.out("Unfound: " + u.object + " (needed by " + list(u.needed_by) + "): " + u.why);
  int code = exit_code(run, writer.directory_made());
  if (code == kExitOk && (!found.missing.empty() || !found.unloadable.empty() || !found.unfound.empty()))
    code = kExitPackages;
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
  if (archive.format() == "UMOD") {
    run.items.clear();
    run.outcomes.clear();
    return add_umod_files(run, archive, std::string());
  }
  std::vector<size_t> wanted;
  for (size_t i = 0; i < archive.entries().size(); ++i) {
    const Entry& e = archive.entries()[i];
    if (!e.directory && !e.link && e.unsupported.empty() && is_umod_name(e.name)) wanted.push_back(i);
  }
  if (wanted.empty()) return;
  std::vector<std::unique_ptr<platform::TempFile>> files(archive.entries().size());
  std::vector<std::unique_ptr<TempFileSink>> sinks(archive.entries().size());
  std::vector<std::string> why(archive.entries().size());
  const std::string temp = platform::temp_folder();
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
    if (err.empty() && files[i]) umod = open_umod(std::move(files[i]), err);
    if (full) {
      run.fail(i, "not enough free space in the folder for temporary files (" + temp + ") to unpack this .umod (" +
                      err + ")", kExitDestination);
    } else if (!umod) {
      run.fail(i, "cannot unpack this .umod: " + (err.empty() ? std::string("the archive ended before it") : err));
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

int run_extract(const Options& opt, Report& report) {
  std::string err;
  std::unique_ptr<Source> file = platform::open_archive(opt.archive, err);
  std::unique_ptr<ArchiveReader> archive = file ? open_reader(std::move(file), err) : nullptr;
  if (!archive) {
    report.err("Error: " + opt.archive + ": " + err);
    // With groups the report is a script's input: why the archive is unusable belongs in it.
    if (!opt.groups.empty()) report.out("Failed: " + opt.archive + " (" + err + ")");
    return kExitArchive;
  }
  for (const std::string& w : archive->warnings()) report.err("Warning: " + opt.archive + ": " + w);
  Run run(opt);
  for (size_t i = 0; i < archive->entries().size(); ++i) run.items.push_back({archive.get(), i, std::string(), false});
  run.outcomes.resize(run.items.size());
  std::vector<std::unique_ptr<ArchiveReader>> umods;
  if (!opt.umod_root.empty() && !opt.test) add_umods(run, *archive, umods);
  Plan plan = make_plan(run);
  if (!enough_room(run, plan, report)) return kExitDestination;
  // Made here so that a destination that cannot be made is one plain error;
  // under -all-or-nothing each job makes its folders, so a failed run can take them back.
  if (!opt.test && !opt.all_or_nothing && opt.groups.empty() && !opt.dest.empty() &&
      !platform::make_dirs(opt.dest, err)) {
    report.err("Error: " + opt.dest + ": " + err);
    return kExitDestination;
  }
  std::unique_ptr<PackageCheck> packages(opt.game.empty() || opt.test ? nullptr : new PackageCheck(opt.game));
  Writer writer(run, packages.get());
  int code = execute(run, plan, writer, packages.get(), report);
  return plan.matched || code != kExitOk ? code : kExitNothingMatched;
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
    return run_extract(opt, report);
  } catch (const std::bad_alloc&) {
    report.err("Error: out of memory");
  } catch (const std::exception& ex) {
    report.err(std::string("Error: ") + ex.what());
  }
  return kExitInternal;
}

}  // namespace orvane
