#include "app/chooser_rules.h"

#include <gtest/gtest.h>

using namespace chooser;

TEST(FolderOf, KeepsEverythingUpToAndIncludingTheLastBackslash) {
  EXPECT_EQ(FolderOf("C:\\Downloads\\maps\\CTF-Face.zip"), "C:\\Downloads\\maps\\");
  EXPECT_EQ(FolderOf("C:\\map.zip"), "C:\\");
  EXPECT_EQ(FolderOf("\\\\server\\share\\map.zip"), "\\\\server\\share\\");
  EXPECT_EQ(FolderOf("map.zip"), "");
  EXPECT_EQ(FolderOf("C:/maps/map.zip"), "");  // only the backslash counts
}

TEST(TextBeforeNul, CutsAtTheFirstNul) {
  std::string buffer(260, '\0');
  buffer.replace(0, 8, "C:\\Games");
  EXPECT_EQ(TextBeforeNul(buffer), "C:\\Games");
  EXPECT_EQ(TextBeforeNul(std::string(260, '\0')), "");
  const std::string full(260, 'x');
  EXPECT_EQ(TextBeforeNul(full), full);
  EXPECT_EQ(TextBeforeNul(std::string("ab\0cd", 5)), "ab");
}

TEST(WithTrailingBackslash, EndsInExactlyOne) {
  EXPECT_EQ(WithTrailingBackslash("C:\\UnrealTournament"), "C:\\UnrealTournament\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(WithTrailingBackslash("\\\\server\\share"), "\\\\server\\share\\");
}

TEST(PickedFiles, OnePathOrAFolderAndItsNames) {
  using Files = std::vector<std::string>;
  EXPECT_EQ(chooser::PickedFiles(std::string("D:\\dl\\a.zip\0", 12)), Files{"D:\\dl\\a.zip"});
  EXPECT_EQ(chooser::PickedFiles(std::string("D:\\dl\0a.zip\0b c.7z\0", 19)), (Files{"D:\\dl\\a.zip", "D:\\dl\\b c.7z"}));
  EXPECT_EQ(chooser::PickedFiles(std::string("D:\\\0a.zip\0b.7z\0", 15)), (Files{"D:\\a.zip", "D:\\b.7z"}));
  EXPECT_EQ(chooser::PickedFiles(""), Files{});
}
