// Windows side of the platform layer: UTF-8 inside, UTF-16 and the W
// functions at every call into Windows.
#include <windows.h>

#include <atomic>
#include <utility>

#include "cli.h"
#include "platform.h"

namespace orvane {
namespace platform {

const char kSeparator = '\\';

namespace {

std::wstring widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string narrow(const std::wstring& w, UINT codepage = CP_UTF8) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(codepage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codepage, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

// "what: Windows' own description of the last error".
std::string last_error(const std::string& what, DWORD code = GetLastError()) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring msg = n ? std::wstring(text, n) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!msg.empty() && (msg.back() == L'\r' || msg.back() == L'\n' || msg.back() == L' ' || msg.back() == L'.'))
    msg.pop_back();
  return what + ": " + narrow(msg);
}

// Move-only owner of a file handle.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// Move-only owner of a FindFirstFileW search.
class UniqueFind {
 public:
  explicit UniqueFind(HANDLE h) : h_(h) {}
  ~UniqueFind() {
    if (valid()) FindClose(h_);
  }
  UniqueFind(UniqueFind&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  UniqueFind& operator=(UniqueFind&&) = delete;
  UniqueFind(const UniqueFind&) = delete;
  UniqueFind& operator=(const UniqueFind&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

class FileSource : public Source {
 public:
  FileSource(UniqueHandle h, uint64_t size) : h_(std::move(h)), size_(size) {}
  uint64_t size() const override { return size_; }
  // Positional reads through OVERLAPPED offsets leave no shared file pointer,
  // so worker threads can read the same handle at once.
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    auto* p = static_cast<unsigned char*>(dst);
    while (n > 0) {
      OVERLAPPED ov = {};
      ov.Offset = static_cast<DWORD>(offset);
      ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD want = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n), got = 0;
      if (!ReadFile(h_.get(), p, want, &got, &ov) || got == 0) return false;
      p += got;
      n -= got;
      offset += got;
    }
    return true;
  }

 private:
  UniqueHandle h_;
  uint64_t size_;
};

void print_to(DWORD which, const std::string& line) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  std::wstring w = widen(line + "\n");
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
  } else {
    // Redirected into a file or a pipe (a batch script's FOR /F reads it):
    // use the console's code page, as every console program does.
    UINT cp = GetConsoleOutputCP();
    std::string bytes = narrow(w, cp ? cp : CP_OEMCP);
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

std::vector<std::string> arguments(int, char**) {
  return split_command_line(narrow(GetCommandLineW()));
}

void print_out(const std::string& line) { print_to(STD_OUTPUT_HANDLE, line); }
void print_err(const std::string& line) { print_to(STD_ERROR_HANDLE, line); }

std::unique_ptr<Source> open_archive(const std::string& path, std::string& err) {
  UniqueHandle h(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) {
    err = last_error("cannot open the archive");
    return nullptr;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h.get(), &size)) {
    err = last_error("cannot read the archive");
    return nullptr;
  }
  return std::unique_ptr<Source>(new FileSource(std::move(h), static_cast<uint64_t>(size.QuadPart)));
}

Kind kind_of(const std::string& path) {
  DWORD a = GetFileAttributesW(widen(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Kind::Missing;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return Kind::Directory;
  return (a & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::Other : Kind::File;
}

bool make_dirs(const std::string& path, std::string& err) {
  // CreateDirectoryW makes one level; try every prefix (drive roots and UNC
  // shares simply fail) and judge by the result. The deepest failure is the
  // one to tell, such as "Access is denied" under Program Files.
  std::wstring w = widen(path);
  DWORD a = GetFileAttributesW(w.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return true;
  DWORD failure = 0;
  for (size_t i = 1; i <= w.size(); ++i) {
    if (i < w.size() && !is_separator(w[i])) continue;
    if (!CreateDirectoryW(w.substr(0, i).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      failure = GetLastError();
  }
  a = GetFileAttributesW(w.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return true;
  if (a != INVALID_FILE_ATTRIBUTES) {
    err = "cannot create folder " + path + ": a file of that name is in the way";
  } else {
    err = last_error("cannot create folder " + path, failure ? failure : GetLastError());
  }
  return false;
}

bool remove_dir(const std::string& path) { return RemoveDirectoryW(widen(path).c_str()) != 0; }

bool free_space(const std::string& dir, uint64_t& bytes) {
  ULARGE_INTEGER avail;
  if (!GetDiskFreeSpaceExW(dir.empty() ? nullptr : widen(dir).c_str(), &avail, nullptr, nullptr)) return false;
  bytes = avail.QuadPart;
  return true;
}

std::string join(const std::string& dir, const std::string& rel) {
  if (dir.empty()) return rel;
  if (rel.empty()) return dir;
  char last = dir.back();
  return last == '\\' || last == '/' || (dir.size() == 2 && last == ':') ? dir + rel : dir + "\\" + rel;
}

void sweep_stale_temp_files(const std::string& dir) {
  std::string folder = dir.empty() ? "." : dir;
  WIN32_FIND_DATAW found;
  UniqueFind find(FindFirstFileW(widen(join(folder, "~pkz25-*.tmp")).c_str(), &found));
  if (!find.valid()) return;
  do {
    std::string name = narrow(found.cFileName);
    uint64_t pid = 0;
    if (!temp_file_pid(name, "~pkz25-", pid) || pid == GetCurrentProcessId()) continue;
    // ERROR_INVALID_PARAMETER alone means no such process; one that cannot
    // be opened (another user's) may be a live run.
    bool gone = pid > 0xFFFFFFFFu;
    if (!gone) {
      HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
      if (p) {
        UniqueHandle process(p);
        gone = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
      } else {
        gone = GetLastError() == ERROR_INVALID_PARAMETER;
      }
    }
    if (gone) DeleteFileW(widen(join(folder, name)).c_str());
  } while (FindNextFileW(find.get(), &found));
}

struct TempFile::Impl {
  UniqueHandle h;
  std::wstring path;
  bool full = false;
  bool doomed = false;  // marked for deletion when the handle closes
};

namespace {
bool is_full(DWORD e) { return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL; }
}  // namespace

TempFile::TempFile() : impl_(new Impl) {}
TempFile::~TempFile() { discard(); }

bool TempFile::create(const std::string& dir, std::string& err) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "~pkz25-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
    impl_->path = widen(join(dir, name));
    impl_->h = UniqueHandle(CreateFileW(impl_->path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (impl_->h.valid()) {
      // Marked for deletion until finish(): if the process dies, Windows
      // deletes the partial file when it closes the handle. Unlike
      // FILE_FLAG_DELETE_ON_CLOSE this mark can be taken back. Best effort:
      // the sweep of stale files covers a volume that refuses it.
      FILE_DISPOSITION_INFO doomed = {TRUE};
      impl_->doomed = SetFileInformationByHandle(impl_->h.get(), FileDispositionInfo, &doomed, sizeof doomed);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  err = last_error("cannot create a file in " + (dir.empty() ? std::string(".") : dir));
  impl_->path.clear();
  return false;
}

bool TempFile::write(const void* data, size_t n, std::string& err) {
  auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    DWORD want = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n), put = 0;
    if (!WriteFile(impl_->h.get(), p, want, &put, nullptr) || put == 0) {
      impl_->full = is_full(GetLastError());
      err = last_error("cannot write");
      return false;
    }
    p += put;
    n -= put;
  }
  return true;
}

bool TempFile::finish(const FileTime& t, std::string& err) {
  FILETIME ft;
  bool have = false;
  if (t.has_unix) {
    // FILETIME counts 100 ns steps from 1601; the extra field seconds from 1970.
    uint64_t v = static_cast<uint64_t>(t.unix_seconds * 10000000LL + 116444736000000000LL);
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    have = t.unix_seconds >= -11644473600LL;
  } else {
    // DOS times are local; convert with the daylight rule of that date.
    FILETIME local;
    SYSTEMTIME lst, ust;
    have = DosDateTimeToFileTime(t.dos_date, t.dos_time, &local) && FileTimeToSystemTime(&local, &lst) &&
           TzSpecificLocalTimeToSystemTime(nullptr, &lst, &ust) && SystemTimeToFileTime(&ust, &ft);
  }
  // A file without its time is still the right file, so a failure here is not fatal.
  if (have) SetFileTime(impl_->h.get(), nullptr, nullptr, &ft);
  FILE_DISPOSITION_INFO keep = {FALSE};
  if (impl_->doomed && !SetFileInformationByHandle(impl_->h.get(), FileDispositionInfo, &keep, sizeof keep)) {
    err = last_error("cannot keep the file");
    return false;
  }
  if (!CloseHandle(impl_->h.release())) {
    impl_->full = is_full(GetLastError());
    err = last_error("cannot write");
    return false;
  }
  return true;
}

Commit TempFile::commit(const std::string& target, bool replace, std::string& err) {
  std::wstring to = widen(target);
  if (replace) {
    // Checked here because Windows refuses such a move anyway, and Wine run as
    // root would silently replace the file.
    DWORD a = GetFileAttributesW(to.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
      err = "existing file is read-only; not replaced";
      return Commit::Failed;
    }
  }
  // Without MOVEFILE_REPLACE_EXISTING the move fails on any existing file,
  // even one created after we looked, so -overwrite=never cannot replace.
  if (!MoveFileExW(impl_->path.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
    DWORD e = GetLastError();
    if (!replace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return Commit::Exists;
    err = last_error("cannot move the file into place", e);
    return Commit::Failed;
  }
  impl_->path.clear();
  return Commit::Done;
}

bool TempFile::disk_full() const { return impl_->full; }

void TempFile::discard() {
  impl_->h.reset();
  if (!impl_->path.empty()) DeleteFileW(impl_->path.c_str());
  impl_->path.clear();
}

}  // namespace platform
}  // namespace orvane
