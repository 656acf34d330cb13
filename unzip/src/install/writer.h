// Writing the planned jobs: folders, temporary files, kept files told apart.
// A random-access reader's jobs run on worker threads; an in-order reader's
// (solid 7z, RAR) are decoded on one thread and written on another, so that
// decoding and writing overlap.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "install/plan.h"
#include "install/sinks.h"
#include "install/staging.h"
#include "platform/platform.h"

namespace orvane {

class PackageCheck;

// What one job holds between its start and its end.
struct JobState {
  enum Mode { Write, Compare, Test } mode = Write;
  std::unique_ptr<platform::TempFile> file;
  std::unique_ptr<Sink> sink;
  std::string target;
  std::string head;  // the start of a package as written, for the package check
};

class Writer {
 public:
  // packages, when given, reads every Unreal package the run puts in place or keeps;
  // journal records an -all-or-nothing run's changes once start_journal() has opened it.
  Writer(Run& run, PackageCheck* packages, Journal& journal);

  // Before the job's data: makes its folder and decides what becomes of it.
  // Returns where the data goes, or nullptr when the job is settled without it.
  Sink* begin(const Job& job, JobState& st);
  // After the data (why: empty when it is complete and checked).
  void end(const Job& job, JobState& st, const std::string& why);

  // Runs groups of random-access readers' jobs until none is left; several
  // threads may call it at once.
  void work(const std::vector<std::vector<Job>>& groups);
  // Decodes the reader's entries in order and writes the jobs among them.
  // jobs[i] is the job of the reader's entry i, or nullptr.
  void write_in_order(ArchiveReader& reader, const std::vector<const Job*>& jobs);

  size_t done() const { return done_; }
  bool directory_made() const { return directory_made_; }

  // -all-or-nothing: makes folder if need be and opens the run's journal there (see
  // Journal::open), unless it is open already.
  bool start_journal(const std::string& folder, const std::vector<std::string>& roots, std::string& err);

  // -all-or-nothing: what waits for the run to be decided.
  Staging staging;

 private:
  bool prepare_folder(std::string folder, std::string& err);

  Run& run_;
  PackageCheck* packages_;
  std::set<std::string> known_;  // folders known to exist
  std::atomic<size_t> next_group_{0}, done_{0};
  std::atomic<bool> directory_made_{false};
};

}  // namespace orvane
