// Windows side of the platform layer: UTF-8 inside, UTF-16 and the W
// functions at every call into Windows.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "win/handles.h"

namespace orvane {
namespace platform {

const char kSeparator = '\\';
const char kTempPrefix[] = "~pkz25-";

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
  // Inside a sentence of ours: without the description's closing period.
  std::wstring msg = win::SystemErrorText(code);
  while (!msg.empty() && (msg.back() == L'.' || msg.back() == L' ')) msg.pop_back();
  return what + ": " + (msg.empty() ? "error " + std::to_string(code) : narrow(msg));
}

// Reads exactly n bytes at offset. Positional reads through OVERLAPPED offsets leave no
// shared file pointer, so worker threads can read the same handle at once.
bool read_fully_at(HANDLE h, uint64_t offset, void* dst, size_t n) {
  auto* p = static_cast<unsigned char*>(dst);
  while (n > 0) {
    OVERLAPPED ov = {};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD want = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n), got = 0;
    if (!ReadFile(h, p, want, &got, &ov) || got == 0) return false;
    p += got;
    n -= got;
    offset += got;
  }
  return true;
}

class FileSource : public Source {
 public:
  FileSource(win::unique_file h, uint64_t size) : h_(std::move(h)), size_(size) {}
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* dst, size_t n) override { return read_fully_at(h_.get(), offset, dst, n); }

 private:
  win::unique_file h_;
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

std::string from_console(const std::string& bytes) {
  if (bytes.empty()) return std::string();
  UINT cp = GetConsoleOutputCP();
  if (!cp) cp = CP_OEMCP;
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), &w[0], n);
  return narrow(w);
}

bool write_console_text(const std::string& path, const std::string& text, std::string& err) {
  std::string lines;  // line ends as the console's redirected output has them
  for (char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  UINT cp = GetConsoleOutputCP();
  const std::string bytes = narrow(widen(lines), cp ? cp : CP_OEMCP);
  win::unique_file h(CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  DWORD done = 0;
  if (!h || !WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
      done != bytes.size()) {
    err = last_error("cannot write the report");
    return false;
  }
  return true;
}

std::unique_ptr<Source> open_archive(const std::string& path, std::string& err) {
  win::unique_file h(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) {
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

bool list_files(const std::string& dir, std::vector<std::string>& names, std::vector<std::string>* folders) {
  WIN32_FIND_DATAW found;
  win::unique_find find(FindFirstFileW(widen(join(dir, "*")).c_str(), &found));
  if (!find) return false;
  do {
    const std::string name = narrow(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(name);
    else if (folders && name != "." && name != "..")
      folders->push_back(name);
  } while (FindNextFileW(find.get(), &found));
  return true;
}

std::string temp_folder() {
  // TEMP, as the player's messages name it, then TMP, then what Windows falls back on; a
  // value set with its quotes (set TEMP="C:\Temp", as many a script does) names the folder
  // inside them, where GetTempPath would take it for a folder below the current one.
  for (const wchar_t* name : {L"TEMP", L"TMP"}) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n <= 1) continue;
    std::wstring value(n, L'\0');
    if (GetEnvironmentVariableW(name, &value[0], n) != n - 1) continue;
    value.resize(n - 1);
    value.erase(std::remove(value.begin(), value.end(), L'"'), value.end());
    if (!value.empty()) return absolute(narrow(value));
  }
  wchar_t path[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  return n && n <= MAX_PATH ? narrow(std::wstring(path, n)) : std::string(".");
}

bool remove_dir(const std::string& path) { return RemoveDirectoryW(widen(path).c_str()) != 0; }

bool volume_of(const std::string& dir, Volume& v) {
  std::wstring w = widen(dir.empty() ? "." : dir);
  wchar_t root[MAX_PATH + 1];
  ULARGE_INTEGER avail;
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  if (!GetVolumePathNameW(w.c_str(), root, MAX_PATH + 1) ||
      !GetDiskFreeSpaceExW(w.c_str(), &avail, nullptr, nullptr))
    return false;
  // Two paths on one volume share its root (a volume mounted in a folder has
  // that folder as its root); the volume's GUID name says it even better.
  wchar_t guid[64];
  v.id = GetVolumeNameForVolumeMountPointW(root, guid, 64) ? narrow(guid) : narrow(root);
  v.free = avail.QuadPart;
  v.cluster = GetDiskFreeSpaceW(root, &sectors, &bytes, &free_clusters, &clusters) && sectors && bytes
                  ? static_cast<uint64_t>(sectors) * bytes
                  : 4096;
  return true;
}

bool path_fits(const std::string& path, std::string& why) {
  std::wstring w = widen(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  // n counts the terminating NUL, as MAX_PATH does.
  if (n != 0 && n <= MAX_PATH) return true;
  why = "the path is too long for Windows (" + std::to_string(n ? n - 1 : w.size()) +
        " characters in all; at most " + std::to_string(MAX_PATH - 1) + ")";
  return false;
}

std::string join(const std::string& dir, const std::string& rel) {
  if (dir.empty()) return rel;
  if (rel.empty()) return dir;
  char last = dir.back();
  return last == '\\' || last == '/' || (dir.size() == 2 && last == ':') ? dir + rel : dir + "\\" + rel;
}

namespace {

// Renames an open file by its handle (opened with DELETE access): a file marked for
// deletion, or held unshared, cannot be opened again by its name.
bool rename_handle(HANDLE h, const std::wstring& to, bool replace) {
  DWORD n = GetFullPathNameW(to.c_str(), 0, nullptr, nullptr);
  std::wstring full(n, L'\0');
  if (n == 0 || GetFullPathNameW(to.c_str(), n, &full[0], nullptr) != n - 1) return false;
  full.resize(n - 1);
  // The rename takes an NT path: \??\C:\... or \??\UNC\server\share\...
  if (full.compare(0, 4, L"\\\\?\\") == 0) full = full.substr(4);
  std::wstring nt = full.compare(0, 2, L"\\\\") == 0 ? L"\\??\\UNC\\" + full.substr(2) : L"\\??\\" + full;
  std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFO) + nt.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nt.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, nt.data(), info->FileNameLength);
  return SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buf.size())) != 0;
}

// Marks an open file (opened with DELETE access) to go when its last handle closes, or takes
// the mark back.
bool mark_for_deletion(HANDLE h, bool doom) {
  FILE_DISPOSITION_INFO d = {static_cast<BOOLEAN>(doom)};
  return SetFileInformationByHandle(h, FileDispositionInfo, &d, sizeof d) != 0;
}

}  // namespace

struct TempFile::Impl {
  win::unique_file h;
  std::wstring path;    // where the file is: its temporary name, after commit() its target
  uint64_t written = 0;
  bool full = false;
  bool doomed = false;  // marked for deletion when the handle closes
  bool placed = false;
  bool kept = false;    // closed, left under its temporary name

  bool mark(bool doom) { return mark_for_deletion(h.get(), doom); }
};

namespace {
bool is_full(DWORD e) { return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL; }
}  // namespace

TempFile::TempFile() : impl_(new Impl) {}
TempFile::~TempFile() { close(); }

bool TempFile::create(const std::string& dir, std::string& err, const Named& named) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = kTempPrefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
    const std::string path = join(dir, name);
    if (kind_of(path) != Kind::Missing) continue;  // another's: never named as ours
    if (named) named(absolute(path), false);
    impl_->path = widen(path);
    impl_->h = win::unique_file(CreateFileW(impl_->path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (impl_->h) {
      // Marked for deletion until its move: if the process dies, Windows
      // deletes the file when it closes the handle. Unlike
      // FILE_FLAG_DELETE_ON_CLOSE the mark can be taken back. A volume that
      // refuses it still gets the file removed by close() on every path we control.
      impl_->doomed = impl_->mark(true);
      return true;
    }
    const DWORD e = GetLastError();
    const bool taken = e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS;
    if (named && taken) named(absolute(path), true);
    SetLastError(e);
    if (!taken) break;
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
    impl_->written += put;
  }
  return true;
}

uint64_t TempFile::size() const { return impl_->written; }

bool TempFile::read_at(uint64_t offset, void* dst, size_t n) {
  if (!impl_->h || offset > impl_->written || n > impl_->written - offset) return false;
  // An offset of its own: the write position of the file stays where it is.
  return read_fully_at(impl_->h.get(), offset, dst, n);
}

bool TempFile::finish(const FileTime& t, std::string&) {
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
  return true;
}

Commit TempFile::commit(const std::string& target, bool replace, std::string& err) {
  std::wstring to = widen(target);
  DWORD a = GetFileAttributesW(to.c_str());
  bool exists = a != INVALID_FILE_ATTRIBUTES;
  if (replace && exists && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
    // Checked here because Windows refuses such a move anyway, and Wine run as
    // root would silently replace the file.
    err = "existing file is read-only; not replaced";
    return Commit::Failed;
  }
  if (impl_->doomed && !impl_->mark(false)) {
    err = last_error("cannot keep the file");
    return Commit::Failed;
  }
  // Without replacing, the move fails on any existing file, even one created
  // after we looked, so -overwrite=never cannot replace.
  if (!rename_handle(impl_->h.get(), to, replace)) {
    DWORD e = GetLastError();
    if (impl_->doomed) impl_->mark(true);
    if (!replace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return Commit::Exists;
    err = last_error("cannot move the file into place", e);
    return Commit::Failed;
  }
  impl_->placed = true;
  return Commit::Done;
}

bool TempFile::disk_full() const { return impl_->full; }

bool TempFile::keep(std::string& err) {
  if (impl_->doomed && !impl_->mark(false)) {
    err = last_error("cannot keep the file");
    return false;
  }
  impl_->doomed = false;
  impl_->h.reset();
  impl_->kept = true;
  return true;
}

std::string TempFile::keep_path() const { return absolute(narrow(impl_->path)); }

void TempFile::close() {
  if (impl_->kept) return impl_->h.reset();
  bool placed = impl_->placed;
  bool doomed = impl_->doomed;
  impl_->h.reset();
  if (!placed && !doomed && !impl_->path.empty()) DeleteFileW(impl_->path.c_str());
  impl_->path.clear();
  impl_->placed = false;
}

std::string current_folder() { return absolute("."); }

bool set_current_folder(const std::string& path) { return SetCurrentDirectoryW(widen(path).c_str()) != 0; }

uint64_t process_id() { return GetCurrentProcessId(); }

std::string absolute(const std::string& path) {
  std::wstring w = widen(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  std::wstring full(n, L'\0');
  if (n == 0 || GetFullPathNameW(w.c_str(), n, &full[0], nullptr) != n - 1) return path;
  full.resize(n - 1);
  return narrow(full);
}

bool remove_file(const std::string& path) { return DeleteFileW(widen(path).c_str()) != 0; }

bool read_only(const std::string& path) {
  DWORD a = GetFileAttributesW(widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

Commit move_file(const std::string& from, const std::string& to, bool replace, std::string& err) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on any existing file, even one made
  // after we looked.
  if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return Commit::Done;
  DWORD e = GetLastError();
  if (!replace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return Commit::Exists;
  err = last_error("cannot move the file into place", e);
  return Commit::Failed;
}

std::string file_id(const std::string& path) {
  win::unique_file h(CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!h || !GetFileInformationByHandle(h.get(), &info)) return std::string();
  return std::to_string(info.dwVolumeSerialNumber) + ":" +
         std::to_string((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

std::string real_folder(const std::string& dir) {
  win::unique_file h(CreateFileW(widen(dir.empty() ? "." : dir).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h) return std::string();
  wchar_t buf[32768];
  DWORD n = GetFinalPathNameByHandleW(h.get(), buf, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= 32768) return std::string();
  std::wstring w(buf, n);
  // \\?\C:\... and \\?\UNC\server\share\..., in the form the rest of the program writes.
  if (w.compare(0, 8, L"\\\\?\\UNC\\") == 0) w = L"\\\\" + w.substr(8);
  else if (w.compare(0, 4, L"\\\\?\\") == 0) w = w.substr(4);
  return narrow(w);
}

struct HeldFile::Impl {
  win::unique_file h;
};

HeldFile::HeldFile() : impl_(new Impl) {}
HeldFile::~HeldFile() = default;

HeldFile::Open HeldFile::open(const std::string& path, std::string& err) {
  // Shared with nothing: a second run finds it held. The link itself when it is one.
  impl_->h = win::unique_file(CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!impl_->h) {
    const DWORD e = GetLastError();
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) return Open::Busy;
    if (kind_of(path) == Kind::Directory) return Open::NotAFile;
    err = last_error("cannot create " + path, e);
    return Open::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(impl_->h.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    impl_->h.reset();
    return Open::NotAFile;
  }
  return Open::Held;
}

bool HeldFile::read(std::string& text) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(impl_->h.get(), &size)) return false;
  text.assign(static_cast<size_t>(size.QuadPart), '\0');
  LARGE_INTEGER end;
  end.QuadPart = size.QuadPart;
  return (text.empty() || read_fully_at(impl_->h.get(), 0, &text[0], text.size())) &&
         SetFilePointerEx(impl_->h.get(), end, nullptr, FILE_BEGIN);
}

bool HeldFile::empty(std::string& err) {
  LARGE_INTEGER zero = {};
  if (SetFilePointerEx(impl_->h.get(), zero, nullptr, FILE_BEGIN) && SetEndOfFile(impl_->h.get())) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::append(const std::string& line, std::string& err) {
  std::string l = line + "\n";
  DWORD put = 0;
  if (WriteFile(impl_->h.get(), l.data(), static_cast<DWORD>(l.size()), &put, nullptr) && put == l.size()) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::flush(std::string& err) {
  if (FlushFileBuffers(impl_->h.get())) return true;
  err = last_error("cannot write the journal");
  return false;
}

bool HeldFile::set_aside(const std::string& to, std::string& err) {
  if (!rename_handle(impl_->h.get(), widen(to), false)) return err = last_error("cannot rename the journal"), false;
  close();
  return true;
}

void HeldFile::remove() {
  // Deleted by its handle as it is let go: no other run can open it in between.
  if (impl_->h) mark_for_deletion(impl_->h.get(), true);
  close();
}

void HeldFile::close() { impl_->h.reset(); }

}  // namespace platform
}  // namespace orvane
