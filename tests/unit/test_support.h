// A folder of its own for each test, under the prefix's temporary folder, removed after.
#pragma once
#include <windows.h>

#include <filesystem>
#include <string>

#include "../support/test_files.h"

class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    path_ = std::string(base) + "orvane-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { RemoveTree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
