#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "test_support.h"

using platform::IsOrdinaryFile;

TEST(IsOrdinaryFile, FindsOnlyAnExistingOrdinaryFileByItsExactName) {
  TempFolder dir;
  WriteFileBytes(dir / "map.zip", "PK");
  WriteFileBytes(dir / "readonly.zip", "PK");
  ::SetFileAttributesA((dir / "readonly.zip").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(dir / "hidden.zip", "PK");
  ::SetFileAttributesA((dir / "hidden.zip").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFileBytes(dir / "system.zip", "PK");
  ::SetFileAttributesA((dir / "system.zip").c_str(), FILE_ATTRIBUTE_SYSTEM);
  ::CreateDirectoryA((dir / "folder.zip").c_str(), nullptr);

  EXPECT_TRUE(IsOrdinaryFile(dir / "map.zip"));
  EXPECT_TRUE(IsOrdinaryFile(dir / "readonly.zip"));
  EXPECT_TRUE(IsOrdinaryFile(dir.path() + "\\\\map.zip"));  // a doubled separator
  EXPECT_FALSE(IsOrdinaryFile(dir / "hidden.zip"));
  EXPECT_FALSE(IsOrdinaryFile(dir / "system.zip"));
  EXPECT_FALSE(IsOrdinaryFile(dir / "folder.zip"));
  EXPECT_FALSE(IsOrdinaryFile(dir / "missing.zip"));
  EXPECT_FALSE(IsOrdinaryFile(""));
  // A pattern is not a file, even when a file matches it.
  EXPECT_FALSE(IsOrdinaryFile(dir / "*.zip"));
  EXPECT_FALSE(IsOrdinaryFile(dir / "ma?.zip"));
}

TEST(CopyFileReplacing, ReplacesAReadOnlyTargetAndLeavesItWritable) {
  TempFolder dir;
  WriteFileBytes(dir / "new", "new bytes");
  WriteFileBytes(dir / "old", "old");
  ::SetFileAttributesA((dir / "old").c_str(), FILE_ATTRIBUTE_READONLY);
  platform::CopyFileReplacing(dir / "new", dir / "old");
  EXPECT_EQ(ReadFileBytes(dir / "old").value_or(""), "new bytes");
}

TEST(CopyFileReplacing, FailureCarriesTheWindowsErrorNumberAndItsText) {
  TempFolder dir;
  try {
    platform::CopyFileReplacing(dir / "absent", dir / "target");
    FAIL() << "copying a missing file succeeded";
  } catch (const platform::UnhandledError& error) {
    EXPECT_EQ(error.number(), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(error.description().empty());
    const std::string report = platform::UnhandledErrorReport(error);
    EXPECT_NE(report.find("2"), std::string::npos) << report;
    EXPECT_NE(report.find(error.description()), std::string::npos) << report;
  }
  EXPECT_FALSE(PathExists(dir / "target"));
}

TEST(MakeSureDirectoryPathExists, CreatesEveryMissingLevel) {
  TempFolder dir;
  EXPECT_TRUE(platform::MakeSureDirectoryPathExists(dir / "a\\b\\c\\"));
  EXPECT_TRUE(PathExists(dir / "a\\b\\c"));
}

TEST(ProgramDirectory, IsTheFolderOfTheRunningProgram) {
  const std::string dir = platform::ProgramDirectory();
  char path[MAX_PATH];
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_EQ(std::string(path).rfind(dir + "\\", 0), 0u) << path;
  EXPECT_NE(dir.back(), '\\');
}
