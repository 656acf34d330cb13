// Everything that differs between Windows and POSIX: opening the archive,
// creating, timing and renaming files, folders, console output and the
// command line. One implementation file per platform; all text is UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/source.h"

namespace orvane {
namespace platform {

extern const char kSeparator;  // '\\' on Windows, '/' elsewhere
// How the names of our temporary files begin: "~pkz25-" on Windows, ".pkz25-" elsewhere;
// then the process id, "-", a count, and ".tmp" (".old" for a file set aside).
extern const char kTempPrefix[];

// The command line as UTF-8 (on Windows from the wide command line).
std::vector<std::string> arguments(int argc, char** argv);

void print_out(const std::string& line);  // adds the newline
void print_err(const std::string& line);
// Text that a redirected print_out wrote, back as UTF-8 (on Windows it is in
// the console's code page).
std::string from_console(const std::string& bytes);
// Writes text as a new file in the form a redirected print_out writes.
bool write_console_text(const std::string& path, const std::string& text, std::string& err);

std::unique_ptr<Source> open_archive(const std::string& path, std::string& err);

enum class Kind { Missing, File, Directory, Other };
Kind kind_of(const std::string& path);

// Creates path and every missing folder above it.
bool make_dirs(const std::string& path, std::string& err);

// The folder for temporary files of the user (TEMP on Windows, else what Windows gives;
// TMPDIR or /tmp elsewhere).
std::string temp_folder();

// The names of the files (not folders) in dir, and, when asked, of its folders (without
// "." and ".."); false when it cannot be read.
bool list_files(const std::string& dir, std::vector<std::string>& names, std::vector<std::string>* folders = nullptr);

// Removes an empty folder; false when it is not empty or cannot be removed.
bool remove_dir(const std::string& path);

// The volume that holds dir (an existing folder): what tells two volumes
// apart, the bytes free for this user, and the allocation unit in which
// files take space.
struct Volume {
  std::string id;
  uint64_t free = 0;
  uint64_t cluster = 1;
};
bool volume_of(const std::string& dir, Volume& v);

// False, with the reason, when Windows cannot take path as a file name
// (longer than the classic MAX_PATH that the game and most programs use).
bool path_fits(const std::string& path, std::string& why);

// Where the last separator of a path is (a backslash is one only on Windows), and the
// folder part before it (empty when there is none).
inline size_t last_separator(const std::string& path) {
  return path.find_last_of(kSeparator == '\\' ? "\\/" : "/");
}
inline std::string parent(const std::string& path) {
  const size_t cut = last_separator(path);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// Joins a folder (as the user gave it) and a relative '/'-separated path.
std::string join(const std::string& dir, const std::string& rel);

struct FileTime {
  bool has_unix = false;
  int64_t unix_seconds = 0;
  uint16_t dos_date = 0, dos_time = 0;  // local time, used when has_unix is false
};

enum class Commit { Done, Exists, Failed };

// A file written under a temporary name in its destination folder and moved
// into place only once it is complete. On Windows it stays marked for
// deletion until its own move, so a run killed at any moment leaves no
// temporary file behind. Destroying it without commit() removes it.
class TempFile : public Source {
 public:
  TempFile();
  ~TempFile() override;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // named, when given, is told each name (as a full path) before a file of that name is
  // made, so that a record of it can outlive a kill at any moment, and told again with
  // taken=true when the name proved to be another's.
  using Named = std::function<void(const std::string& path, bool taken)>;
  bool create(const std::string& dir, std::string& err, const Named& named = nullptr);
  bool write(const void* data, size_t n, std::string& err);
  // Sets the modification time; the file stays open until close().
  bool finish(const FileTime& t, std::string& err);
  // Moves the file to target, a name in the same folder. replace=false never
  // replaces an existing file, even one created meanwhile.
  Commit commit(const std::string& target, bool replace, std::string& err);
  // Ends it: a committed file stays, anything else is removed.
  void close();
  // Ends it but keeps the file under its temporary name, with no handle held (on
  // Windows no longer marked for deletion), for keep_path() to move later.
  bool keep(std::string& err);
  // The temporary name, as a full path.
  std::string keep_path() const;
  void discard() { close(); }
  // True when write() or finish() failed because the volume is full.
  bool disk_full() const;
  // What was written so far, read back through the open file.
  uint64_t size() const override;
  bool read_at(uint64_t offset, void* dst, size_t n) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// This process's id, as our temporary files' names hold it.
uint64_t process_id();

// The full path of a path given relative to the current folder, for records that a
// later run, from another folder, reads.
std::string absolute(const std::string& path);
// The current folder, and changing it; the install runs in the game folder, so that every
// path it shows is relative to the game.
std::string current_folder();
bool set_current_folder(const std::string& path);
bool remove_file(const std::string& path);
bool read_only(const std::string& path);
// Renames a closed file (or, without replace, a folder) within its volume, a link as itself;
// replace=false never replaces an existing file.
Commit move_file(const std::string& from, const std::string& to, bool replace, std::string& err);

// What tells a file apart from every other on the machine while it exists, whatever its
// name (a link as itself): its volume and index. Empty when it cannot be read.
std::string file_id(const std::string& path);
// The full path of an existing folder with every link (junction) in it followed; empty when
// it cannot be opened.
std::string real_folder(const std::string& dir);

// The journal's file, held from open() until remove() or close() so that no other run reads
// or changes it meanwhile (on POSIX an exclusive flock, on Windows a handle that shares
// nothing); a process that dies lets go of it. Lines are written through at once, so that
// they survive the process being killed; flush() also takes them to the disk.
class HeldFile {
 public:
  HeldFile();
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  enum class Open { Held, Busy, NotAFile, Failed };
  // Opens path, made when missing; never follows a link. Busy: another process holds it.
  // NotAFile: a folder, link or device has the name.
  Open open(const std::string& path, std::string& err);
  bool read(std::string& text);  // all of it
  bool empty(std::string& err);  // cut to nothing
  bool append(const std::string& line, std::string& err);
  bool flush(std::string& err);
  // Renames it, never over an existing name, and lets go of it.
  bool set_aside(const std::string& to, std::string& err);
  void remove();  // deletes it, then lets go of it
  void close();   // lets go of it and leaves it

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Tests only (native build): called before each call that changes what is on disk (a file
// made, written, flushed, timed, linked, unlinked or renamed, a folder made or removed), so
// that a test can kill the process before any of them.
using ChangeHook = void (*)();
void set_change_hook(ChangeHook hook);

}  // namespace platform
}  // namespace orvane
