#include "platform/files.h"

#include <windows.h>
#include <imagehlp.h>

#include "platform/error.h"
#include "win/handles.h"

namespace platform {

std::string ProgramDirectory() {
  char path[MAX_PATH * 4] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path)) ThrowLastError();
  std::string dir(path, length);
  dir.erase(dir.find_last_of('\\'));
  if (dir.size() == 2 && dir[1] == ':') dir += '\\';  // a drive root keeps its separator
  return dir;
}

bool IsOrdinaryFile(const std::string& path) {
  // The exact name, never a pattern: a search would treat "*", "?", "<", ">" and '"' as
  // wildcards and find some other file, which the copy then cannot open by this name.
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const DWORD excluded = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & excluded) == 0;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  // By identity, not by spelling: case, relative parts, short names and doubled
  // separators all name the same file.
  auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    win::unique_file file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::GetFileInformationByHandle(file.get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  return identify(a, first) && identify(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool MakeSureDirectoryPathExists(const std::string& path) {
  return ::MakeSureDirectoryPathExists(path.c_str()) != FALSE;
}

void CopyFileReplacing(const std::string& from, const std::string& to) {
  // A file copied onto itself is already in place; the copy would fail on its own lock.
  if (IsSameFile(from, to)) return;
  // CopyFile carries the source's read-only attribute over; without this, one read-only
  // archive would make every later run fail on its staged copy.
  const DWORD attributes = ::GetFileAttributesA(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesA(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) ThrowLastError();
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH * 4] = {};
  const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  return length == 0 || length >= std::size(full) ? path : std::string(full, length);
}

namespace {

std::string Recoded(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int wide = ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
  const int n = ::WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(to, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Utf8FromAnsi(const std::string& text) { return Recoded(text, CP_ACP, CP_UTF8); }
std::string AnsiFromUtf8(const std::string& text) { return Recoded(text, CP_UTF8, CP_ACP); }

void WriteOemTextFile(const std::string& path, const std::string& text) {
  std::string oem(text.size(), '\0');
  if (!text.empty()) ::CharToOemBuffA(text.data(), oem.data(), static_cast<DWORD>(text.size()));
  // A read-only file left by an earlier run must not stop this one.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  win::unique_file file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !::WriteFile(file.get(), oem.data(), static_cast<DWORD>(oem.size()), &written, nullptr) ||
      written != oem.size())
    ThrowLastError();
}

}  // namespace platform
