// The two "..." buttons: the real file dialog and folder browser, driven by their controls.
#include <gtest/gtest.h>

#include <memory>

#include "driver.h"
#include "test_name.h"

using namespace driver;

namespace {

constexpr int kLookIn = 0x471, kFileName = 0x47c, kFileType = 0x470, kReadOnly = 0x410;
constexpr int kFolderPrompt = 0x3742;

class Choosers : public ::testing::Test {
 protected:
  Sandbox sandbox{TestName()};
  std::unique_ptr<App> app;

  void Start() {
    app = std::make_unique<App>(sandbox.programDir + "\\Orvane.exe");
    ASSERT_NE(app->window(), nullptr);
  }
  void Close() {
    app->Click(IDC_CMDACTION_1);
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
  HWND OpenFileDialog() {
    app->Click(IDC_CMDFILE_0);
    HWND dialog = app->WaitForDialog("Select a File");
    EXPECT_NE(dialog, nullptr) << "no file dialog";
    return dialog;
  }
  // Types a path into the name box and accepts it, as a user would.
  void Pick(HWND dialog, const std::string& path) {
    ::SendMessageA(FindDescendant(::GetDlgItem(dialog, kFileName), "Edit"), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the dialog stayed open";
  }
  void Cancel(HWND dialog) {
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
  }
  std::string StoredInitDir() {
    const std::string ini = ReadFileBytes(sandbox.configIni()).value_or("");
    const size_t at = ini.find("InitDir=");
    return at == std::string::npos ? "<none>" : ini.substr(at + 8, ini.find('\r', at) - at - 8);
  }
  HWND OpenFolderBrowser() {
    app->Click(IDC_CMDFILE_1);
    HWND dialog = app->WaitForDialog();
    EXPECT_NE(dialog, nullptr) << "no folder browser";
    return dialog;
  }
  RemoteTree TreeOf(HWND dialog) { return RemoteTree{FindDescendant(dialog, "SysTreeView32"), app->processId()}; }
  void ChooseInTree(HWND dialog, const std::vector<std::string>& path) {
    RemoteTree tree = TreeOf(dialog);
    HTREEITEM item = tree.Walk(path);
    ASSERT_NE(item, nullptr) << "not in the tree: " << path.back();
    tree.Select(item);
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the browser stayed open";
  }
};

TEST_F(Choosers, FileDialogOpensInTheProgramFolderWithTheZipFilterFirst) {
  Start();
  HWND dialog = OpenFileDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(TextOf(::GetDlgItem(dialog, kLookIn)), TestName());  // the program's folder
  HWND types = ::GetDlgItem(dialog, kFileType);
  EXPECT_EQ(TextOf(types), "Zip Files (*.zip)");
  ASSERT_EQ(::SendMessageA(types, CB_GETCOUNT, 0, 0), 2);
  // Asked for in UTF-16: Wine hands another process's dialog text over as UTF-16 even to
  // the ANSI message.
  wchar_t second[128] = {};
  ::SendMessageW(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(second));
  EXPECT_STREQ(second, L"Map archives (*.zip;*.7z;*.rar;*.umod)");
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, kReadOnly)));
  EXPECT_EQ(::GetWindow(dialog, GW_OWNER), app->window());
  Cancel(dialog);
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), "");
  EXPECT_TRUE(app->NoDialog()) << "the cancel showed a message";
  Close();
}

TEST_F(Choosers, PickFillsTheBoxAndTheFolderFollowsAcrossRuns) {
  const std::string maps = sandbox.programDir + "\\Downloads";
  ::CreateDirectoryA(maps.c_str(), nullptr);
  WriteFileBytes(maps + "\\DM-Deck.zip", "PK");
  Start();
  Pick(OpenFileDialog(), maps + "\\DM-Deck.zip");
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), maps + "\\DM-Deck.zip");
  // A cancel later keeps both the box and the dialog's folder.
  Cancel(OpenFileDialog());
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), maps + "\\DM-Deck.zip");
  Close();
  EXPECT_EQ(StoredInitDir(), maps + "\\");

  Start();
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), "");
  HWND dialog = OpenFileDialog();
  EXPECT_EQ(TextOf(::GetDlgItem(dialog, kLookIn)), "Downloads");
  // Several at once, as the dialog writes a multiple selection in its name box.
  WriteFileBytes(maps + "\\CTF-Two.zip", "PK");
  Pick(dialog, "\"DM-Deck.zip\" \"CTF-Two.zip\"");
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), "\"" + maps + "\\DM-Deck.zip\" \"" + maps + "\\CTF-Two.zip\"");
  Close();
  EXPECT_EQ(StoredInitDir(), maps + "\\");
}

TEST_F(Choosers, FolderBrowserIsOwnedAndPromptsAndCancelKeepsTheBox) {
  Start();
  app->SetText(IDC_TXTUTDIRECTORY, "C:\\Typed");
  HWND dialog = OpenFolderBrowser();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(TextOf(::GetDlgItem(dialog, kFolderPrompt)), "Select Unreal Tournament Folder");
  EXPECT_EQ(::GetWindow(dialog, GW_OWNER), app->window());
  Cancel(dialog);
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), "C:\\Typed");
  EXPECT_TRUE(app->NoDialog());
  Close();
}

TEST_F(Choosers, ChosenFolderEndsInOneBackslashAndADriveRootKeepsItsOwn) {
  Start();
  ChooseInTree(OpenFolderBrowser(), {"My Computer", "(C:)", "OrvaneTest", TestName(), "UT"});
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), sandbox.gameDir + "\\");
  ChooseInTree(OpenFolderBrowser(), {"My Computer", "(C:)"});
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), "C:\\");
  // Picking a folder does not move the file dialog's folder.
  Close();
  EXPECT_EQ(StoredInitDir(), sandbox.programDir);
}

TEST_F(Choosers, ItemWithoutAFileSystemPathChangesNothing) {
  Start();
  app->SetText(IDC_TXTUTDIRECTORY, "C:\\Typed");
  HWND dialog = OpenFolderBrowser();
  RemoteTree tree = TreeOf(dialog);
  HTREEITEM item = tree.Walk({"My Computer", "Control Panel"});
  ASSERT_NE(item, nullptr);
  tree.Select(item);
  ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  // Either the browser refuses the item and stays, or it returns no path.
  if (!WaitUntil([&] { return !::IsWindow(dialog); }, 3s)) Cancel(dialog);
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), "C:\\Typed");
  EXPECT_TRUE(app->NoDialog());
  Close();
}

}  // namespace
