// The whole chain: the window stages, the real script runs with the real unzip program,
// and the map's files land in the game's folders.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "driver.h"
#include "test_name.h"
#include "platform/files.h"

using namespace driver;

namespace {

bool CommandProcessorRunning() {
  win::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry))
    if (_stricmp(entry.szExeFile, "cmd.exe") == 0) return true;
  return false;
}

// Every file under a folder, by path relative to it, with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), dir).string()] = *ReadFileBytes(entry.path().string());
  return files;
}

std::string Contents(const std::string& name) { return "contents of " + name + "\r\n"; }

// The game's files without Orvane's record of the install, which must be there, one, naming
// each file the install put in.
std::map<std::string, std::string> WithoutRecord(std::map<std::string, std::string> files) {
  std::vector<std::string> records;
  for (auto it = files.begin(); it != files.end();) {
    if (it->first.rfind("Orvane\\", 0) == 0) {
      records.push_back(it->second);
      it = files.erase(it);
    } else {
      ++it;
    }
  }
  EXPECT_EQ(records.size(), 1u) << "one record of the install";
  for (const auto& [path, data] : files) {
    if (!records.empty() && data.rfind("contents of ", 0) == 0) {
      EXPECT_NE(records[0].find("\t" + path + "\r\n"), std::string::npos) << path << " is not in the record";
    }
  }
  return files;
}

class Chain : public ::testing::Test {
 protected:
  Sandbox sandbox{TestName()};

  void SetUp() override {
    // The real unzip program and script instead of the stand-ins.
    const std::string built = platform::ProgramDirectory();
    for (const char* name : {"Pkzip25.exe", "Orvane.BAT"})
      ASSERT_TRUE(::CopyFileA((built + "\\" + name).c_str(), (sandbox.programDir + "\\" + name).c_str(), FALSE))
          << name << " is not built";
    // The script's closing wait is for a player, not for a test.
    ::SetEnvironmentVariableA("ORVANE_NO_PAUSE", "1");
  }

  // Installs an archive through the window and waits for the script to finish.
  void Install(const std::string& archive, const std::string& gameDir) {
    App app(sandbox.programDir + "\\Orvane.exe");
    ASSERT_NE(app.window(), nullptr);
    app.SetText(IDC_TXTFILENAME, "C:\\OrvaneArchives\\" + archive);
    app.SetText(IDC_TXTUTDIRECTORY, gameDir);
    app.Click(IDC_CMDACTION_0);
    EXPECT_EQ(app.WaitForExit(), 0u);
    ASSERT_TRUE(WaitUntil([] { return !CommandProcessorRunning(); }, 60s)) << "the script did not end";
  }

  // The map, in the folders it belongs in, beside the game's own file.
  std::map<std::string, std::string> ExpectedGame() {
    std::map<std::string, std::string> files = {
        {"System\\UnrealTournament.EXE", "stand-in game"},
        {"Maps\\CTF-Chain.unr", Contents("CTF-Chain.unr")},
        {"Textures\\Chain.utx", Contents("Chain.utx")},
        {"Sounds\\Chain.uax", Contents("Chain.uax")},
        {"Music\\Chain.umx", Contents("Chain.umx")},
        {"System\\Chain.u", Contents("Chain.u")},
        {"System\\Chain.int", Contents("Chain.int")},
        {"Help\\ReadMe.txt", Contents("ReadMe.txt")},
    };
    return files;
  }
};

TEST_F(Chain, FlatArchiveIntoAProgramFilesFolder) {
  const std::string game = MakeGameFolder(sandbox.programDir + "\\Program Files (x86)\\Unreal Tournament");
  Install("flat.zip", game);
  EXPECT_EQ(WithoutRecord(FilesUnder(game)), ExpectedGame());  // the cache file is not installed
}

TEST_F(Chain, FolderedArchiveIntoAFolderWithAmpersandAndBang) {
  const std::string game = MakeGameFolder(sandbox.programDir + "\\Tom & Jerry's Games!\\UT");
  Install("foldered.zip", game + "\\");
  EXPECT_EQ(WithoutRecord(FilesUnder(game)), ExpectedGame());
}

TEST_F(Chain, WrappedArchiveKeepsATextureTheGameAlreadyHas) {
  std::filesystem::create_directories(sandbox.gameDir + "\\Textures");
  WriteFileBytes(sandbox.gameDir + "\\Textures\\Chain.utx", "the player's own texture");
  Install("wrapped.zip", sandbox.gameDir);
  auto expected = ExpectedGame();
  expected["Textures\\Chain.utx"] = "the player's own texture";
  EXPECT_EQ(WithoutRecord(FilesUnder(sandbox.gameDir)), expected);
}

}  // namespace
