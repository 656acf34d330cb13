#include "platform/files.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "win/handles.h"
#include "platform/security.h"
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
  for (const char* pattern : {"*.zip", "ma?.zip", "m<.zip", "map>zip", "map\"zip", "ma>.zip"})
    EXPECT_FALSE(IsOrdinaryFile(dir / pattern)) << pattern;
}

TEST(CopyFileReplacing, ReplacesAReadOnlyTargetAndLeavesItWritable) {
  TempFolder dir;
  WriteFileBytes(dir / "new", "new bytes");
  WriteFileBytes(dir / "old", "old");
  ::SetFileAttributesA((dir / "old").c_str(), FILE_ATTRIBUTE_READONLY);
  platform::CopyFileReplacing(dir / "new", dir / "old");
  EXPECT_EQ(ReadFileBytes(dir / "old").value_or(""), "new bytes");
}

TEST(CopyFileReplacing, FileCopiedOntoItselfIsLeftAsItIs) {
  TempFolder dir;
  WriteFileBytes(dir / "Map.ZIP", "staged");
  WriteFileBytes(dir / "other", "other");
  EXPECT_TRUE(platform::IsSameFile(dir / "Map.ZIP", dir.path() + "\\.\\map.zip"));
  EXPECT_FALSE(platform::IsSameFile(dir / "Map.ZIP", dir / "other"));
  EXPECT_FALSE(platform::IsSameFile(dir / "Map.ZIP", dir / "missing"));
  platform::CopyFileReplacing(dir / "Map.ZIP", dir.path() + "\\\\MAP.zip");
  EXPECT_EQ(ReadFileBytes(dir / "Map.ZIP"), "staged");
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

// The staging folder's descriptor as the system reads it back: protected (P), and full
// control (FA) for the user, SYSTEM and Administrators, passed on to what is inside.
TEST(StagingSecurity, DescriptorGrantsFullControlToTheUserSystemAndAdministratorsOnly) {
  const std::string user = platform::CurrentUserSid();
  ASSERT_EQ(user.rfind("S-1-5-", 0), 0u) << user;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  char* text = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
      platform::OwnerSystemAdminsSddl(user).c_str(), SDDL_REVISION_1, &descriptor, nullptr));
  win::unique_local owned(descriptor);
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
  win::unique_local ownedText(text);
  EXPECT_EQ(std::string(text), "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

// Who owns an existing C:\TempTemp\ decides whether staging may go on: an owner may rewrite
// the rights at any moment. Wine does not enforce rights, so the owners come from
// descriptors built here; the real folder's owner must pass, or staging could never run.
TEST(StagingSecurity, OnlyTheUserSystemOrAdministratorsMayOwnTheStagingFolder) {
  const std::string user = platform::CurrentUserSid();
  const struct {
    std::string owner;
    bool trusted;
  } rows[] = {{user, true}, {"SY", true}, {"BA", true}, {"S-1-5-21-1004336348-1177238915-682003330-1001", false},
              {"BU", false}, {"WD", false}, {"AU", false}};
  for (const auto& row : rows) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(("O:" + row.owner + "D:P(A;;FA;;;WD)").c_str(),
                                                                       SDDL_REVISION_1, &descriptor, nullptr));
    win::unique_local owned(descriptor);
    EXPECT_EQ(platform::IsTrustedOwner(platform::OwnerSidOf(descriptor), user), row.trusted) << row.owner;
  }
  EXPECT_FALSE(platform::IsTrustedOwner("", user));
  TempFolder dir;
  EXPECT_TRUE(platform::IsTrustedOwner(platform::OwnerSidOfPath(dir.path()), user)) << platform::OwnerSidOfPath(dir.path());
  EXPECT_EQ(platform::OwnerSidOfPath(dir / "missing"), "");
}

// Wine reads a DACL back from Unix mode bits, so only the calls' success is checked here.
TEST(StagingSecurity, DescriptorIsAppliedToANewFolderAnExistingOneAndAFile) {
  TempFolder dir;
  const std::string sddl = platform::OwnerSystemAdminsSddl(platform::CurrentUserSid());
  EXPECT_TRUE(platform::CreateFolderWithSddl(dir / "TempTemp\\", sddl));
  EXPECT_FALSE(platform::CreateFolderWithSddl(dir / "TempTemp\\", sddl)) << "it exists";
  EXPECT_TRUE(platform::ApplySddl(dir / "TempTemp\\", sddl));
  WriteFileBytes(dir / "TempTemp\\Orvane.BAT", "@echo off");
  EXPECT_TRUE(platform::ApplySddl(dir / "TempTemp\\Orvane.BAT", sddl));
  EXPECT_EQ(ReadFileBytes(dir / "TempTemp\\Orvane.BAT"), "@echo off");
  EXPECT_FALSE(platform::ApplySddl(dir / "missing", sddl));
  EXPECT_FALSE(platform::CreateFolderWithSddl(dir / "bad", "D:P(A;;FA;;;nobody)"));
  EXPECT_FALSE(PathExists(dir / "bad"));
}
