#include "platform/files.h"

#include <windows.h>
#include <imagehlp.h>

#include "platform/error.h"
#include "platform/handles.h"

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
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
  WIN32_FIND_DATAA found;
  unique_find search(::FindFirstFileA(path.c_str(), &found));
  if (!search) return false;
  const DWORD excluded = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (found.dwFileAttributes & excluded) == 0;
}

bool MakeSureDirectoryPathExists(const std::string& path) {
  return ::MakeSureDirectoryPathExists(path.c_str()) != FALSE;
}

void CopyFileReplacing(const std::string& from, const std::string& to) {
  // CopyFile carries the source's read-only attribute over; without this, one read-only
  // archive would make every later run fail on its staged copy.
  const DWORD attributes = ::GetFileAttributesA(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesA(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) ThrowLastError();
}

}  // namespace platform
