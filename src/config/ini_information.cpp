#include "config/ini_information.h"

#include <windows.h>

std::string ConfigFilePath;

namespace {
constexpr DWORD kReadBufferSize = 255;  // one byte of it holds the terminating NUL

const std::string& FileOrDefault(std::string& FilePath) {
  if (FilePath.empty()) FilePath = ConfigFilePath;
  return FilePath;
}
}  // namespace

std::string ReadIniValue(const std::string& Section, const std::string& Key, std::string& FilePath) {
  try {
    const std::string& file = FileOrDefault(FilePath);
    char buffer[kReadBufferSize] = {};
    const DWORD copied = ::GetPrivateProfileStringA(Section.c_str(), Key.c_str(), "", buffer,
                                                    kReadBufferSize, file.c_str());
    return std::string(buffer, copied);
  } catch (...) {
    return std::string();
  }
}

bool WriteIniValue(const std::string& Section, const std::string& Key, const std::string& Value,
                   std::string& FilePath) {
  try {
    const std::string& file = FileOrDefault(FilePath);
    // Only the space counts as blank: a value of tabs is a value.
    const bool blank = Value.find_first_not_of(' ') == std::string::npos;
    // A null value pointer deletes the key; an empty text would write "Key=".
    ::WritePrivateProfileStringA(Section.c_str(), Key.c_str(), blank ? nullptr : Value.c_str(),
                                 file.c_str());
    return true;
  } catch (...) {
    return false;
  }
}
