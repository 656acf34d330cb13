// Files as the tests see them: whole-file reads and writes, and clean-up that also
// removes read-only, hidden and system files.
#pragma once
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// A file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void RemoveTree(const std::string& path) {
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  for (auto& entry : std::filesystem::recursive_directory_iterator(path, ignored))
    ::SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(path, ignored);
}
