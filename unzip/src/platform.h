// Everything that differs between Windows and POSIX: opening the archive,
// creating, timing and renaming files, folders, console output and the
// command line. One implementation file per platform; all text is UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip_reader.h"

namespace orvane {
namespace platform {

extern const char kSeparator;  // '\\' on Windows, '/' elsewhere

// The command line as UTF-8 (on Windows from the wide command line).
std::vector<std::string> arguments(int argc, char** argv);

void print_out(const std::string& line);  // adds the newline
void print_err(const std::string& line);

std::unique_ptr<Source> open_archive(const std::string& path, std::string& err);

enum class Kind { Missing, File, Directory, Other };
Kind kind_of(const std::string& path);

// Creates path and every missing folder above it.
bool make_dirs(const std::string& path, std::string& err);

// Removes an empty folder; false when it is not empty or cannot be removed.
bool remove_dir(const std::string& path);

// Free bytes for this user on the volume that holds dir (an existing folder).
bool free_space(const std::string& dir, uint64_t& bytes);

// Joins a folder (as the user gave it) and a relative '/'-separated path.
std::string join(const std::string& dir, const std::string& rel);

struct FileTime {
  bool has_unix = false;
  int64_t unix_seconds = 0;
  uint16_t dos_date = 0, dos_time = 0;  // local time, used when has_unix is false
};

// Removes temporary files of ours left in dir by a run that died: those whose
// name holds the id of a process that no longer runs, never another live
// run's (nor this run's).
void sweep_stale_temp_files(const std::string& dir);

// The process id in a temporary file's name: prefix, digits, '-', digits, ".tmp".
inline bool temp_file_pid(const std::string& name, const std::string& prefix, uint64_t& pid) {
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < prefix.size() + 7 ||
      name.compare(name.size() - 4, 4, ".tmp") != 0)
    return false;
  size_t at = prefix.size(), end = name.size() - 4, dash = name.find('-', at);
  if (dash == std::string::npos || dash == at || dash + 1 == end || dash - at > 10) return false;
  for (size_t i = at; i < end; ++i)
    if (i != dash && (name[i] < '0' || name[i] > '9')) return false;
  pid = std::stoull(name.substr(at, dash - at));
  return true;
}

enum class Commit { Done, Exists, Failed };

// A file written under a temporary name in its destination folder and moved
// into place only once it is complete. Destroying it without commit() removes
// the temporary file, so no failure leaves a partial file behind.
class TempFile {
 public:
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool create(const std::string& dir, std::string& err);
  bool write(const void* data, size_t n, std::string& err);
  // Sets the modification time and closes the file.
  bool finish(const FileTime& t, std::string& err);
  // replace=false never replaces an existing file, even one created meanwhile.
  Commit commit(const std::string& target, bool replace, std::string& err);
  void discard();
  // True when write() or finish() failed because the volume is full.
  bool disk_full() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
}  // namespace orvane
