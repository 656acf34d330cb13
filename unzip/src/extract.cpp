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
#include "platform.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "space.h"
#include "unreal_game.h"
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
  std::vector<PackageCheck::Missing> missing;
  std::vector<PackageCheck::Unloadable> unloadable;
  if (packages) {
    std::vector<size_t> installed;
    for (size_t i = 0; i < run.outcomes.size(); ++i)
      if (run.outcomes[i].state == Outcome::Extracted || run.outcomes[i].state == Outcome::Kept) installed.push_back(i);
    packages->finish(installed, missing, unloadable);
  }
  if (at_once) {
    // A script reads the counts from the first line instead of counting lines.
    if (!opt.groups.empty())
      report.out(total_line(run) + (packages ? ", " + std::to_string(missing.size()) + " missing, " +
                                                   std::to_string(unloadable.size()) + " unloadable"
                                             : std::string()));
    for (size_t i = 0; i < run.outcomes.size(); ++i) print_outcome(run, i, report);
  }
  for (const PackageCheck::Missing& m : missing) {
    std::string by;
    for (const std::string& s : m.needed_by) by += (by.empty() ? "" : ", ") + s;
    report.out("Missing: " + m.name + " (" + kind_text(m.kinds) + ", needed by " + by + ")");
  }
  for (const PackageCheck::Unloadable& u : unloadable) report.out("Unloadable: " + u.shown + " (" + u.why + ")");
  int code = exit_code(run, writer.directory_made());
  if (code == kExitOk && (!missing.empty() || !unloadable.empty())) code = kExitPackages;
  return code;
}

int run_extract(const Options& opt, Report& report) {
  std::string err;
  std::unique_ptr<Source> file = platform::open_archive(opt.archive, err);
  std::unique_ptr<ArchiveReader> archive = file ? open_reader(std::move(file), err) : nullptr;
  if (!archive) {
    report.err("Error: " + opt.archive + ": " + err);
    return kExitArchive;
  }
  for (const std::string& w : archive->warnings()) report.err("Warning: " + opt.archive + ": " + w);
  Run run(opt);
  for (size_t i = 0; i < archive->entries().size(); ++i) run.items.push_back({archive.get(), i, std::string(), false});
  run.outcomes.resize(run.items.size());
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
