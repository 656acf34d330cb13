#include "app/install_action.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const std::string kPrefix = "C:\\TempTemp\\Orvane.BAT C:\\TempTemp\\Map.ZIP ";

// A file system holding exactly the given ordinary files; records every lookup.
struct FakeFiles {
  std::set<std::string> files;
  std::vector<std::string> asked = {};
  install::FileLookup lookup() {
    return [this](const std::string& path) {
      asked.push_back(path);
      return files.count(path) > 0;
    };
  }
};

TEST(CheckInputs, GameDirectoryIsTestedFirstAndOnlyOneMessageIsGiven) {
  FakeFiles fs;
  EXPECT_EQ(install::CheckInputs("", "", fs.lookup()), "Invalid Unreal Tournament Directory");
  EXPECT_EQ(install::CheckInputs("C:\\Nothing", "C:\\missing.zip", fs.lookup()),
            "Invalid Unreal Tournament Directory");
  // The archive is never looked up while the directory is wrong.
  EXPECT_EQ(fs.asked, (std::vector<std::string>{"C:\\Nothing\\System\\UnrealTournament.EXE"}));
}

TEST(CheckInputs, ArchiveMessagesOnceTheGameDirectoryPasses) {
  FakeFiles fs{{"C:\\UT\\System\\UnrealTournament.EXE", "D:\\maps\\map.rar"}};
  EXPECT_EQ(install::CheckInputs("C:\\UT", "", fs.lookup()), "Please enter a zip file name");
  EXPECT_EQ(install::CheckInputs("C:\\UT", "D:\\Downloads\\missing.zip", fs.lookup()),
            "File 'D:\\Downloads\\missing.zip' NOT Found");
  // The path between the quotes is the box's text as it stands, spaces included.
  EXPECT_EQ(install::CheckInputs("C:\\UT", " a.zip ", fs.lookup()), "File ' a.zip ' NOT Found");
  // Any extension passes when the file is there.
  EXPECT_EQ(install::CheckInputs("C:\\UT", "D:\\maps\\map.rar", fs.lookup()), std::nullopt);
}

TEST(CheckInputs, TrailingBackslashGivesADoubledSeparatorInTheLookup) {
  FakeFiles fs{{"C:\\UT\\\\System\\UnrealTournament.EXE"}};
  EXPECT_TRUE(install::IsGameDirectory("C:\\UT\\", fs.lookup()));
  EXPECT_FALSE(install::IsGameDirectory("", fs.lookup()));
  EXPECT_EQ(fs.asked.size(), 1u);  // an empty text is not looked up
}

TEST(CheckInputs, DirectoryThatCannotReachTheScriptWholeIsRefused) {
  for (const std::string dir : {"C:\\100%\\UT", "C:\\%PATH%", "C:\\a\"b", "C:\\a\tb"}) {
    FakeFiles fs{{dir + "\\System\\UnrealTournament.EXE", "C:\\m.zip"}};
    EXPECT_EQ(install::CheckInputs(dir, "C:\\m.zip", fs.lookup()), "Invalid Unreal Tournament Directory")
        << dir;
  }
}

TEST(ScriptCommandLine, PlainDirectoryIsAppendedAsItStands) {
  EXPECT_EQ(install::ScriptCommandLine("C:\\UnrealTournament"), kPrefix + "C:\\UnrealTournament");
  EXPECT_EQ(install::ScriptCommandLine("C:\\Games\\UT\\"), kPrefix + "C:\\Games\\UT\\");
  EXPECT_EQ(install::ScriptCommandLine("..\\UT-432.x_y@z#"), kPrefix + "..\\UT-432.x_y@z#");
}

TEST(ScriptCommandLine, EveryCharacterTheCommandProcessorSplitsOnIsQuoted) {
  for (char c : std::string(" &()^,;=!'+`~[]{}<>|")) {
    const std::string dir = std::string("C:\\Games\\A") + c + "B\\";
    EXPECT_EQ(install::ScriptCommandLine(dir), kPrefix + "\"" + dir + "\"") << "character " << c;
  }
  EXPECT_EQ(install::ScriptCommandLine("C:\\Program Files (x86)\\Unreal Tournament"),
            kPrefix + "\"C:\\Program Files (x86)\\Unreal Tournament\"");
}

TEST(ScriptCommandLine, PercentQuoteAndControlCharactersCannotBePassed) {
  EXPECT_EQ(install::ScriptCommandLine("C:\\50%"), std::nullopt);
  EXPECT_EQ(install::ScriptCommandLine("C:\\\"UT\""), std::nullopt);
  EXPECT_EQ(install::ScriptCommandLine(std::string("C:\\UT\r\nDEL x")), std::nullopt);
  EXPECT_EQ(install::ScriptCommandLine(std::string("C:\\UT\x7F")), std::nullopt);
}

// The check of the whole game reaches the script with the game folder quoted as for an
// install, and the two programs alone are staged.
TEST(ScriptCommandLine, CheckOfTheGame) {
  EXPECT_EQ(install::CheckCommandLine("C:\\UT\\"), "C:\\TempTemp\\Orvane.BAT /check C:\\UT\\");
  EXPECT_EQ(install::CheckCommandLine("C:\\A & B"), "C:\\TempTemp\\Orvane.BAT /check \"C:\\A & B\"");
  EXPECT_EQ(install::CheckCommandLine("C:\\50%"), std::nullopt);
  // Taking maps back out: each name quoted, whatever it holds; none that the command processor
  // would expand.
  EXPECT_EQ(install::RemoveCommandLine("C:\\UT", {"CTF-Face.zip", "A & B (2).7z"}),
            "C:\\TempTemp\\Orvane.BAT /remove C:\\UT \"CTF-Face.zip\" \"A & B (2).7z\"");
  EXPECT_EQ(install::RemoveCommandLine("C:\\UT", {"100%.zip"}), std::nullopt);
  const auto plan = install::StagingPlan("D:\\Tools", {});
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0].to, "C:\\TempTemp\\Pkzip25.EXE");
  EXPECT_EQ(plan[1].to, "C:\\TempTemp\\Orvane.BAT");
}

TEST(StagingPlan, ThreeCopiesInOrderWithTheirExactNames) {
  const auto plan = install::StagingPlan("D:\\Tools\\Orvane", {"E:\\dl\\CTF-Face.zip"});
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].from, "D:\\Tools\\Orvane\\Pkzip25.exe");
  EXPECT_EQ(plan[0].to, "C:\\TempTemp\\Pkzip25.EXE");
  EXPECT_EQ(plan[1].from, "E:\\dl\\CTF-Face.zip");
  EXPECT_EQ(plan[1].to, "C:\\TempTemp\\Map.ZIP");
  EXPECT_EQ(plan[2].from, "D:\\Tools\\Orvane\\Orvane.BAT");
  EXPECT_EQ(plan[2].to, "C:\\TempTemp\\Orvane.BAT");
  // At a drive root the program directory already ends in a separator.
  EXPECT_EQ(install::StagingPlan("D:\\", {"m.zip"})[0].from, "D:\\\\Pkzip25.exe");
  // The script names the staged copy by the path the player picked, whatever it holds.
  EXPECT_EQ(install::NamesFileText({"E:\\dl\\100% a=b & c!.zip"}), "Map.ZIP=E:\\dl\\100% a=b & c!.zip\r\n");
}

// Several archives: as Explorer's dialogs write them in the box, staged one after the other
// beside the first, and handed to the script after the game folder.
TEST(StagingPlan, SeveralArchivesFromTheBoxToTheScript) {
  const std::string box = "\"D:\\dl\\a b.zip\" \"D:\\dl\\c.7z\" \"E:\\d (1).rar\"";
  const std::vector<std::string> archives = {"D:\\dl\\a b.zip", "D:\\dl\\c.7z", "E:\\d (1).rar"};
  EXPECT_EQ(install::ArchivesInBox(box), archives);
  EXPECT_EQ(install::ArchiveBoxText(archives), box);
  EXPECT_EQ(install::ArchivesInBox(" a b.zip "), std::vector<std::string>{" a b.zip "});  // one, as it stands
  EXPECT_EQ(install::ArchiveBoxText({"D:\\a b.zip"}), "D:\\a b.zip");
  const auto plan = install::StagingPlan("D:\\Tools", archives);
  ASSERT_EQ(plan.size(), 5u);
  EXPECT_EQ(plan[1].to, "C:\\TempTemp\\Map.ZIP");
  EXPECT_EQ(plan[3].from, "D:\\dl\\c.7z");
  EXPECT_EQ(plan[3].to, "C:\\TempTemp\\Map2.ZIP");
  EXPECT_EQ(plan[4].to, "C:\\TempTemp\\Map3.ZIP");
  EXPECT_EQ(install::ScriptCommandLine("C:\\U T", 3),
            kPrefix + "\"C:\\U T\" C:\\TempTemp\\Map2.ZIP C:\\TempTemp\\Map3.ZIP");
  EXPECT_EQ(install::NamesFileText({"a", "b"}), "Map.ZIP=a\r\nMap2.ZIP=b\r\n");
  FakeFiles fs{{"C:\\UT\\System\\UnrealTournament.EXE", "D:\\dl\\a b.zip", "E:\\d (1).rar"}};
  EXPECT_EQ(install::CheckInputs("C:\\UT", box, fs.lookup()), "File 'D:\\dl\\c.7z' NOT Found");
}

}  // namespace
