// Settings across runs: Config.INI beside the program, and the game's registry entry as
// the fallback, driven through the real Orvane.exe.
#include <gtest/gtest.h>

#include <memory>

#include "driver.h"
#include "test_name.h"

using namespace driver;

namespace {

class Settings : public ::testing::Test {
 protected:
  Sandbox sandbox{TestName()};
  std::string registryGame = MakeGameFolder(sandbox.programDir + "\\Registry UT");

  void WriteIni(const std::string& text) { WriteFileBytes(sandbox.configIni(), text); }
  std::string Ini() { return ReadFileBytes(sandbox.configIni()).value_or("<no file>"); }

  // Starts the program, reads what the load put into the game-directory box, checks the
  // archive box was emptied, and closes it with Cancel.
  std::string GameBoxAtStart(const std::string& programDir = "") {
    App app((programDir.empty() ? sandbox.programDir : programDir) + "\\Orvane.exe");
    EXPECT_NE(app.window(), nullptr);
    EXPECT_TRUE(app.NoDialog()) << "the load showed a message";
    EXPECT_EQ(app.Text(IDC_TXTFILENAME), "");
    const std::string game = app.Text(IDC_TXTUTDIRECTORY);
    app.Click(IDC_CMDACTION_1);
    EXPECT_EQ(app.WaitForExit(), 0u);
    return game;
  }
};

TEST_F(Settings, WithoutConfigTheRegistryValueIsTakenUntested) {
  EXPECT_EQ(GameBoxAtStart(), "");  // no registry value either: empty, and no message
  SetRegistryFolder("C:\\Not A Game Folder");
  ::DeleteFileA(sandbox.configIni().c_str());
  EXPECT_EQ(GameBoxAtStart(), "C:\\Not A Game Folder");
  // The close created the file: the game directory first, then the dialog's folder.
  EXPECT_EQ(Ini(), "[GENERAL]\r\nUTFolder=C:\\Not A Game Folder\r\nInitDir=" + sandbox.programDir + "\r\n");
}

TEST_F(Settings, StoredGameDirectoryWinsWhenItHoldsTheGame) {
  SetRegistryFolder(registryGame);
  WriteIni("[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\nInitDir=C:\\Gone\\Folder\\\r\n");
  EXPECT_EQ(GameBoxAtStart(), sandbox.gameDir);
  // The dialog's folder is kept as stored, even though it no longer exists.
  EXPECT_EQ(Ini(), "[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\nInitDir=C:\\Gone\\Folder\\\r\n");
}

TEST_F(Settings, StoredGameDirectoryThatFailsFallsBackToTheRegistry) {
  SetRegistryFolder(registryGame);
  const std::string cases[] = {
      "[GENERAL]\r\nInitDir=C:\\Maps\\\r\n",                              // missing
      "[GENERAL]\r\nUTFolder=\r\nInitDir=C:\\Maps\\\r\n",                 // empty
      "[GENERAL]\r\nUTFolder=" + sandbox.programDir + "\r\nInitDir=C:\\Maps\\\r\n",  // no game there
  };
  for (const std::string& ini : cases) {
    SCOPED_TRACE(ini);
    WriteIni(ini);
    EXPECT_EQ(GameBoxAtStart(), registryGame);
    EXPECT_NE(Ini().find("InitDir=C:\\Maps\\\r\n"), std::string::npos) << Ini();
  }
}

TEST_F(Settings, ConfigWithoutKeysOrNotAnOrdinaryFileCountsAsMissing) {
  SetRegistryFolder(registryGame);
  for (const std::string ini : {"", "[GENERAL]\r\n"}) {
    WriteIni(ini);
    EXPECT_EQ(GameBoxAtStart(), registryGame);
    EXPECT_NE(Ini().find("InitDir=" + sandbox.programDir + "\r\n"), std::string::npos) << Ini();
  }
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    WriteIni("[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\n");
    ::SetFileAttributesA(sandbox.configIni().c_str(), attribute);
    EXPECT_EQ(GameBoxAtStart(), registryGame) << "attribute " << attribute;
    ::SetFileAttributesA(sandbox.configIni().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ::DeleteFileA(sandbox.configIni().c_str());
  ::CreateDirectoryA(sandbox.configIni().c_str(), nullptr);
  EXPECT_EQ(GameBoxAtStart(), registryGame);
}

TEST_F(Settings, BlankGameDirectoryAtCloseRemovesOnlyThatKey) {
  SetRegistryFolder(registryGame);
  WriteIni("[Other]\r\nKeep=1\r\n[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\nInitDir=C:\\Maps\\\r\n");
  for (const std::string blank : {"", "   "}) {
    App app(sandbox.programDir + "\\Orvane.exe");
    ASSERT_NE(app.window(), nullptr);
    app.SetText(IDC_TXTUTDIRECTORY, blank);
    ::PostMessageA(app.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), 0u);
    EXPECT_EQ(Ini(), "[Other]\r\nKeep=1\r\n[GENERAL]\r\nInitDir=C:\\Maps\\\r\n");
    EXPECT_EQ(GameBoxAtStart(), registryGame);  // and the next start takes the registry's
    WriteIni("[Other]\r\nKeep=1\r\n[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\nInitDir=C:\\Maps\\\r\n");
  }
}

TEST_F(Settings, RegistryValueOfAnyLengthDoesNotStopTheStart) {
  SetRegistryFolder(std::string(40000, 'u'));
  App app(sandbox.programDir + "\\Orvane.exe");
  ASSERT_NE(app.window(), nullptr) << "the start failed";
  EXPECT_TRUE(app.NoDialog());
  EXPECT_EQ(app.Text(IDC_TXTUTDIRECTORY).substr(0, 10), std::string(10, 'u'));
  app.Click(IDC_CMDACTION_1);
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST_F(Settings, ProgramAtADriveRootUsesTheDoubledSeparator) {
  // The test run maps drive R: to C:\OrvaneRoot (the "drive_r" fixture).
  const std::string root = "C:\\OrvaneRoot";
  RemoveTree(root);
  ::CreateDirectoryA(root.c_str(), nullptr);
  for (const char* name : {"Orvane.exe", "Pkzip25.exe", "Orvane.BAT"})
    ::CopyFileA((sandbox.programDir + "\\" + name).c_str(), (root + "\\" + name).c_str(), FALSE);
  MakeGameFolder(root + "\\UT");
  ASSERT_TRUE(PathExists("R:\\Orvane.exe")) << "drive R: is not mapped to " << root;
  WriteFileBytes(root + "\\Config.INI", "[GENERAL]\r\nUTFolder=R:\\UT\r\n");
  SetRegistryFolder(registryGame);
  EXPECT_EQ(GameBoxAtStart("R:"), "R:\\UT");
  EXPECT_EQ(ReadFileBytes(root + "\\Config.INI"), "[GENERAL]\r\nUTFolder=R:\\UT\r\nInitDir=R:\\\r\n");
}

}  // namespace
