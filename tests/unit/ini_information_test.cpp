#include "config/ini_information.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::string Read(const std::string& key, std::string file) { return ReadIniValue("GENERAL", key, file); }
bool Write(const std::string& key, const std::string& value, std::string file) {
  return WriteIniValue("GENERAL", key, value, file);
}

TEST(IniInformation, ValuesUpTo254BytesReadBackWholeLongerOnesAreCut) {
  TempFolder dir;
  const std::string file = dir / "Config.INI";
  const std::string v254(254, 'a'), v300 = std::string(254, 'b') + std::string(46, 'c');
  ASSERT_TRUE(Write("UTFolder", v254, file));
  ASSERT_TRUE(Write("InitDir", v300, file));
  EXPECT_EQ(Read("UTFolder", file), v254);
  const std::string read300 = Read("InitDir", file);
  EXPECT_EQ(read300, v300.substr(0, 254));
  EXPECT_EQ(read300.find('\0'), std::string::npos);
  // Written whole all the same.
  EXPECT_NE(ReadFileBytes(file).value_or("").find("InitDir=" + v300), std::string::npos);
}

TEST(IniInformation, FirstWriteCreatesTheSectionAndThatOneKey) {
  TempFolder dir;
  const std::string file = dir / "Config.INI";
  EXPECT_EQ(Read("UTFolder", file), "");
  EXPECT_FALSE(PathExists(file)) << "a read created the file";
  ASSERT_TRUE(Write("UTFolder", "C:\\UnrealTournament", file));
  EXPECT_EQ(ReadFileBytes(file).value_or(""), "[GENERAL]\r\nUTFolder=C:\\UnrealTournament\r\n");
}

TEST(IniInformation, BlankValueDeletesTheKeyAndLeavesTheOtherAlone) {
  TempFolder dir;
  const std::string file = dir / "Config.INI";
  Write("UTFolder", "C:\\UT", file);
  Write("InitDir", "C:\\Downloads\\", file);
  EXPECT_TRUE(Write("UTFolder", "   ", file));
  EXPECT_EQ(Read("UTFolder", file), "");
  EXPECT_EQ(ReadFileBytes(file).value_or("").find("UTFolder"), std::string::npos);
  EXPECT_EQ(Read("InitDir", file), "C:\\Downloads\\");
  Write("UTFolder", "C:\\UT", file);
  EXPECT_TRUE(Write("InitDir", "", file));
  EXPECT_EQ(ReadFileBytes(file).value_or(""), "[GENERAL]\r\nUTFolder=C:\\UT\r\n");
}

TEST(IniInformation, OnlySpacesCountAsBlankTabsAndPaddedPathsAreKept) {
  TempFolder dir;
  const std::string file = dir / "Config.INI";
  Write("UTFolder", " C:\\UT ", file);
  Write("InitDir", "\t\t", file);
  // The profile functions may trim what they store; the keys must exist all the same.
  const std::string text = ReadFileBytes(file).value_or("");
  EXPECT_NE(text.find("UTFolder="), std::string::npos) << text;
  EXPECT_NE(text.find("InitDir="), std::string::npos) << text;
  EXPECT_NE(Read("UTFolder", file).find("C:\\UT"), std::string::npos);
}

TEST(IniInformation, EmptyPathMeansConfigFilePathAndIsWrittenBack) {
  TempFolder dir;
  ConfigFilePath = dir / "Config.INI";
  std::string file;
  EXPECT_TRUE(WriteIniValue("GENERAL", "UTFolder", "C:\\UT", file));
  EXPECT_EQ(file, ConfigFilePath);
  std::string other;
  EXPECT_EQ(ReadIniValue("GENERAL", "UTFolder", other), "C:\\UT");
  EXPECT_EQ(other, ConfigFilePath);
  ConfigFilePath.clear();
}

TEST(IniInformation, RefusedWriteStillReportsTrue) {
  TempFolder dir;
  // A directory where the file should be: the system cannot write it.
  const std::string file = dir / "Config.INI";
  ::CreateDirectoryA(file.c_str(), nullptr);
  EXPECT_TRUE(Write("UTFolder", "C:\\UT", file));
  EXPECT_EQ(Read("UTFolder", file), "");
  // And a read-only file, as the call sees it.
  const std::string readOnly = dir / "ReadOnly.INI";
  WriteFileBytes(readOnly, "[GENERAL]\r\nUTFolder=C:\\Old\r\n");
  ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(Write("UTFolder", "C:\\New", readOnly));
}

}  // namespace
