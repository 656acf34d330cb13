// POSIX side of the platform layer. It serves the native build, which exists
// for the sanitizers, the fuzzer and the benchmark; Windows is the product.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/platform.h"

namespace orvane {
namespace platform {

const char kSeparator = '/';
const char kTempPrefix[] = ".pkz25-";

namespace {

std::atomic<ChangeHook> change_hook{nullptr};

// Before each call that changes the disk.
void changing() {
  if (ChangeHook hook = change_hook.load()) hook();
}

std::string last_error(const std::string& what) { return what + ": " + std::strerror(errno); }

// Move-only owner of a file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Reads exactly n bytes at offset, leaving the file position alone.
bool read_fully_at(int fd, uint64_t offset, void* dst, size_t n) {
  auto* p = static_cast<unsigned char*>(dst);
  while (n > 0) {
    ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

class FileSource : public Source {
 public:
  FileSource(UniqueFd fd, uint64_t size) : fd_(std::move(fd)), size_(size) {}
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* dst, size_t n) override { return read_fully_at(fd_.get(), offset, dst, n); }

 private:
  UniqueFd fd_;
  uint64_t size_;
};

void print_to(FILE* f, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void print_out(const std::string& line) { print_to(stdout, line); }
void print_err(const std::string& line) { print_to(stderr, line); }

std::string from_console(const std::string& bytes) { return bytes; }

bool write_console_text(const std::string& path, const std::string& text, std::string& err) {
  changing();
  FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f && std::fclose(f) != 0) return err = std::strerror(errno), false;
  if (!ok) err = f ? "cannot write the report" : std::strerror(errno);
  return ok;
}

std::unique_ptr<Source> open_archive(const std::string& path, std::string& err) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    err = last_error("cannot open the archive");
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    err = last_error("cannot read the archive");
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    err = "cannot open the archive: not a file";
    return nullptr;
  }
  return std::unique_ptr<Source>(new FileSource(std::move(fd), static_cast<uint64_t>(st.st_size)));
}

Kind kind_of(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return Kind::Missing;
  if (S_ISDIR(st.st_mode)) return Kind::Directory;
  return S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
}

bool make_dirs(const std::string& path, std::string& err) {
  // mkdir makes one level; try every prefix and judge by the result.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  int failure = 0;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    changing();
    if (::mkdir(path.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST) failure = errno;
  }
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  err = "cannot create folder " + path + ": " +
        (failure ? std::strerror(failure) : "a file of that name is in the way");
  return false;
}

bool list_files(const std::string& dir, std::vector<std::string>& names, std::vector<std::string>* folders) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  while (struct dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    // The entry's own type where the file system gives it: a stat of each of a game's
    // thousands of files costs more than reading their tables.
    const Kind kind = e->d_type == DT_REG   ? Kind::File
                      : e->d_type == DT_DIR ? Kind::Directory
                      : e->d_type == DT_UNKNOWN ? kind_of(join(dir, name))
                                                : Kind::Other;
    if (kind == Kind::File)
      names.push_back(name);
    else if (kind == Kind::Directory && folders)
      folders->push_back(name);
  }
  ::closedir(d);
  return true;
}

std::string temp_folder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

bool remove_dir(const std::string& path) {
  changing();
  return ::rmdir(path.c_str()) == 0;
}

bool volume_of(const std::string& dir, Volume& v) {
  struct stat st;
  struct statvfs fs;
  const char* d = dir.empty() ? "." : dir.c_str();
  if (::stat(d, &st) != 0 || ::statvfs(d, &fs) != 0) return false;
  v.id = std::to_string(static_cast<unsigned long long>(st.st_dev));
  v.free = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
  v.cluster = fs.f_frsize ? fs.f_frsize : 1;
  return true;
}

bool path_fits(const std::string& path, std::string& why) {
  if (path.size() < PATH_MAX) return true;
  why = "the path is too long (" + std::to_string(path.size()) + " bytes)";
  return false;
}

std::string join(const std::string& dir, const std::string& rel) {
  if (dir.empty()) return rel;
  if (rel.empty()) return dir;
  return dir.back() == '/' ? dir + rel : dir + "/" + rel;
}

struct TempFile::Impl {
  UniqueFd fd;
  std::string path;    // the temporary name, after commit() the target
  uint64_t written = 0;
  bool full = false;
  bool placed = false;
  bool kept = false;  // closed, left under its temporary name
};

TempFile::TempFile() : impl_(new Impl) {}
TempFile::~TempFile() { close(); }

bool TempFile::create(const std::string& dir, std::string& err, const Named& named) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
    impl_->path = join(dir, name);
    if (kind_of(impl_->path) != Kind::Missing) continue;  // another's: never named as ours
    if (named) named(absolute(impl_->path), false);
    changing();
    impl_->fd = UniqueFd(::open(impl_->path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (impl_->fd.get() >= 0) return true;
    const int e = errno;
    if (named && e == EEXIST) named(absolute(impl_->path), true);
    errno = e;
    if (errno != EEXIST) break;
  }
  err = last_error("cannot create a file in " + (dir.empty() ? std::string(".") : dir));
  impl_->path.clear();
  return false;
}

bool TempFile::write(const void* data, size_t n, std::string& err) {
  auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    changing();
    ssize_t put = ::write(impl_->fd.get(), p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      impl_->full = errno == ENOSPC || errno == EDQUOT;
      err = last_error("cannot write");
      return false;
    }
    p += put;
    n -= static_cast<size_t>(put);
    impl_->written += static_cast<uint64_t>(put);
  }
  return true;
}

uint64_t TempFile::size() const { return impl_->written; }

bool TempFile::read_at(uint64_t offset, void* dst, size_t n) {
  if (impl_->fd.get() < 0 || offset > impl_->written || n > impl_->written - offset) return false;
  return read_fully_at(impl_->fd.get(), offset, dst, n);
}

bool TempFile::finish(const FileTime& t, std::string&) {
  time_t when = static_cast<time_t>(t.unix_seconds);
  if (!t.has_unix) {
    struct tm tm = {};
    tm.tm_year = ((t.dos_date >> 9) & 0x7F) + 80;
    tm.tm_mon = ((t.dos_date >> 5) & 0x0F) - 1;
    tm.tm_mday = t.dos_date & 0x1F;
    tm.tm_hour = (t.dos_time >> 11) & 0x1F;
    tm.tm_min = (t.dos_time >> 5) & 0x3F;
    tm.tm_sec = (t.dos_time & 0x1F) * 2;
    tm.tm_isdst = -1;  // DOS times are local, with whatever daylight rule held then
    when = t.dos_date ? std::mktime(&tm) : static_cast<time_t>(-1);
  }
  if (when != static_cast<time_t>(-1)) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    changing();
    ::futimens(impl_->fd.get(), times);  // a file without its time is still the right file
  }
  return true;
}

Commit TempFile::commit(const std::string& target, bool replace, std::string& err) {
  struct stat st;
  bool exists = ::lstat(target.c_str(), &st) == 0;
  if (replace) {
    if (exists && S_ISREG(st.st_mode) && !(st.st_mode & 0222)) {
      err = "existing file is read-only; not replaced";
      return Commit::Failed;
    }
    changing();
    if (::rename(impl_->path.c_str(), target.c_str()) != 0) {
      err = last_error("cannot move the file into place");
      return Commit::Failed;
    }
  } else {
    // link() fails when the target exists, so a file that appeared meanwhile
    // is never replaced.
    changing();
    if (::link(impl_->path.c_str(), target.c_str()) != 0) {
      if (errno == EEXIST) return Commit::Exists;
      err = last_error("cannot move the file into place");
      return Commit::Failed;
    }
    changing();
    ::unlink(impl_->path.c_str());
  }
  impl_->path = target;
  impl_->placed = true;
  return Commit::Done;
}

bool TempFile::disk_full() const { return impl_->full; }

bool TempFile::keep(std::string&) {
  impl_->fd.reset();
  impl_->kept = true;
  return true;
}

std::string TempFile::keep_path() const { return absolute(impl_->path); }

void TempFile::close() {
  impl_->fd.reset();
  if (impl_->kept) return;
  if (!impl_->placed && !impl_->path.empty()) {
    changing();
    ::unlink(impl_->path.c_str());
  }
  impl_->path.clear();
  impl_->placed = false;
}

std::string current_folder() {
  char cwd[PATH_MAX];
  return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".");
}

bool set_current_folder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

uint64_t process_id() { return static_cast<uint64_t>(::getpid()); }

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return join(cwd, path);
}

bool remove_file(const std::string& path) {
  changing();
  return ::unlink(path.c_str()) == 0;
}

bool read_only(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & 0222);
}

Commit move_file(const std::string& from, const std::string& to, bool replace, std::string& err) {
  changing();
  if (replace ? ::rename(from.c_str(), to.c_str()) == 0 : ::link(from.c_str(), to.c_str()) == 0) {
    // A kill between the two leaves both names of one file, which take_back() tells.
    if (!replace) changing(), ::unlink(from.c_str());
    return Commit::Done;
  }
  if (!replace && errno == EEXIST) return Commit::Exists;
  // A folder takes no second name: renamed only when its new name is free.
  if (!replace && errno == EPERM && kind_of(from) == Kind::Directory && kind_of(to) == Kind::Missing) {
    changing();
    if (::rename(from.c_str(), to.c_str()) == 0) return Commit::Done;
  }
  err = last_error("cannot move the file into place");
  return Commit::Failed;
}

std::string file_id(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::string();
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::string real_folder(const std::string& dir) {
  char* real = ::realpath(dir.empty() ? "." : dir.c_str(), nullptr);
  if (!real) return std::string();
  std::string out = real;
  std::free(real);
  return kind_of(out) == Kind::Directory ? out : std::string();
}

void set_change_hook(ChangeHook hook) { change_hook = hook; }

struct HeldFile::Impl {
  UniqueFd fd;
  std::string path;
};

HeldFile::HeldFile() : impl_(new Impl) {}
HeldFile::~HeldFile() = default;

HeldFile::Open HeldFile::open(const std::string& path, std::string& err) {
  // A run that removes the file lets go of it after: what was locked must still be the
  // file of that name, else it is opened again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (kind_of(path) == Kind::Missing) changing();
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
      if (errno == ELOOP || errno == EISDIR || errno == ENXIO) return Open::NotAFile;
      err = last_error("cannot create " + path);
      return Open::Failed;
    }
    struct stat held, named;
    if (::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)) return Open::NotAFile;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) return Open::Busy;
      err = last_error("cannot lock " + path);
      return Open::Failed;
    }
    if (::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
      impl_->fd = std::move(fd);
      impl_->path = path;
      return Open::Held;
    }
  }
  err = "cannot hold " + path + ": it keeps being replaced";
  return Open::Failed;
}

bool HeldFile::read(std::string& text) {
  struct stat st;
  if (::fstat(impl_->fd.get(), &st) != 0) return false;
  text.assign(static_cast<size_t>(st.st_size), '\0');
  return text.empty() || read_fully_at(impl_->fd.get(), 0, &text[0], text.size());
}

bool HeldFile::empty(std::string& err) {
  changing();
  if (::ftruncate(impl_->fd.get(), 0) == 0 && ::lseek(impl_->fd.get(), 0, SEEK_SET) == 0) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::append(const std::string& line, std::string& err) {
  std::string l = line + "\n";
  changing();
  if (::write(impl_->fd.get(), l.data(), l.size()) == static_cast<ssize_t>(l.size())) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::flush(std::string& err) {
  changing();
  if (::fsync(impl_->fd.get()) == 0) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::set_aside(const std::string& to, std::string& err) {
  if (kind_of(to) != Kind::Missing) return err = to + " exists", false;
  changing();
  if (::rename(impl_->path.c_str(), to.c_str()) != 0) return err = last_error("cannot rename " + impl_->path), false;
  close();
  return true;
}

void HeldFile::remove() {
  if (impl_->fd.get() < 0) return;
  changing();
  ::unlink(impl_->path.c_str());
  close();
}

void HeldFile::close() { impl_->fd.reset(); }

}  // namespace platform
}  // namespace orvane
