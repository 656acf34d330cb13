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

#include "journal.h"
#include "platform.h"
#include "plan.h"

namespace orvane {

class PackageCheck;

// What a reader decodes goes into a temporary file.
class TempFileSink : public Sink {
 public:
  // head, when given, keeps the start of what is written (a package's header and, in most
  // packages, its name table), so that the package check need not read the disk again.
  TempFileSink(platform::TempFile& f, std::string* head) : file_(f), head_(head) {}
  bool write(const unsigned char* data, size_t n) override;

 private:
  platform::TempFile& file_;
  std::string* head_;
};

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
  // packages, when given, reads every Unreal package the run puts in place or keeps.
  Writer(Run& run, PackageCheck* packages);

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

  // -all-or-nothing: makes folder if need be and starts the run's journal there.
  bool start_journal(const std::string& folder, std::string& err);

  // -all-or-nothing: each complete file, waiting for the run to be decided,
  // by item: closed, so that a pack of any size holds no handle for each (its
  // temporary name, as a full path); the folders this run created, to take back;
  // and the journal that lets the next run take them back when this one is killed.
  std::vector<std::string> held;
  std::vector<std::string> target_of;
  std::vector<std::string> made;
  Journal journal;

 private:
  bool prepare_folder(std::string folder, std::string& err);

  Run& run_;
  PackageCheck* packages_;
  std::set<std::string> known_;  // folders known to exist
  std::atomic<size_t> next_group_{0}, done_{0};
  std::atomic<bool> directory_made_{false};
};

// True when the file at path holds exactly what the file `written` holds.
bool same_content(const std::string& path, Source& written);
// True when the file at path has this size and CRC-32.
bool same_crc(const std::string& path, uint64_t size, uint32_t crc);

}  // namespace orvane
