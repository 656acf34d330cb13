// The window and the install action, driven from outside through the real Orvane.exe.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <utility>

#include "driver.h"
#include "platform/security.h"
#include "test_name.h"

using namespace driver;

namespace {

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

int Px(int twips) { return ::MulDiv(twips, ScreenDpi(), 1440); }

// The system's message font at this size for as long as it lives, as a player's "larger
// text" leaves it; programs started meanwhile lay themselves out in it.
class MessageFontSize {
 public:
  explicit MessageFontSize(int points) {
    saved_.cbSize = sizeof saved_;
    ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
    NONCLIENTMETRICSA larger = saved_;
    larger.lfMessageFont.lfHeight = -::MulDiv(points, ScreenDpi(), 72);
    set_ = ::SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, sizeof larger, &larger, SPIF_UPDATEINIFILE);
  }
  ~MessageFontSize() {
    if (set_) ::SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, SPIF_UPDATEINIFILE);
  }
  MessageFontSize(const MessageFontSize&) = delete;
  MessageFontSize& operator=(const MessageFontSize&) = delete;
  bool set() const { return set_; }

 private:
  NONCLIENTMETRICSA saved_ = {};
  bool set_ = false;
};

// The caption's width in the system's message font, measured here.
int CaptionWidth(const std::string& caption) {
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  win::unique_font font(::CreateFontIndirectA(&metrics.lfMessageFont));
  HDC screen = ::GetDC(nullptr);
  HGDIOBJ previous = ::SelectObject(screen, font.get());
  SIZE extent = {};
  ::GetTextExtentPoint32A(screen, caption.c_str(), static_cast<int>(caption.size()), &extent);
  ::SelectObject(screen, previous);
  ::ReleaseDC(nullptr, screen);
  return extent.cx;
}

constexpr std::pair<int, int> kLabelsAndBoxes[] = {{IDC_LABEL1_0, IDC_TXTFILENAME}, {IDC_LABEL1_1, IDC_TXTUTDIRECTORY}};

class Window : public ::testing::Test {
 protected:
  Sandbox sandbox{TestName()};
  std::unique_ptr<App> app;

  void Start(const std::string& arguments = "") {
    app = std::make_unique<App>(sandbox.programDir + "\\Orvane.exe", sandbox.programDir, arguments);
    ASSERT_NE(app->window(), nullptr) << "the window did not appear";
  }
  // Presses Ok (or Enter) and returns the message box it shows, dismissed.
  MessageBoxInfo OkMessage(bool byEnter = false) {
    if (byEnter) {
      app->Type(VK_RETURN);
    } else {
      app->Click(IDC_CMDACTION_0);
    }
    auto box = app->WaitForMessageBox();
    EXPECT_TRUE(box.has_value()) << "no message box";
    if (!box) return {};
    app->DismissMessageBox(*box);
    return *box;
  }
  void ExpectErrorBox(const MessageBoxInfo& box, const std::string& text) {
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text, text);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(box.buttons, 1);
  }
  // After a refused Ok: the window is still open, unchanged, and nothing was made.
  void ExpectNothingDone(const std::string& fileName, const std::string& gameDir) {
    EXPECT_TRUE(app->Running());
    EXPECT_TRUE(app->NoDialog()) << "a second message followed";
    EXPECT_EQ(app->Text(IDC_TXTFILENAME), fileName);
    EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), gameDir);
    EXPECT_FALSE(PathExists("C:\\TempTemp"));
    EXPECT_FALSE(PathExists(sandbox.configIni())) << "settings were saved while open";
  }
  void Fill(const std::string& fileName, const std::string& gameDir) {
    app->SetText(IDC_TXTFILENAME, fileName);
    app->SetText(IDC_TXTUTDIRECTORY, gameDir);
  }
  // A successful Ok: the script ran with these arguments, the staged archive is named as
  // the player picked it, and the program ended cleanly.
  void ExpectInstallStarted(const std::string& gameDir, const std::string& picked) {
    ASSERT_TRUE(WaitUntil([&] { return sandbox.RecordedArguments().size() == 3; }))
        << "the script did not run";
    EXPECT_EQ(sandbox.RecordedArguments(),
              (std::vector<std::string>{"C:\\TempTemp\\Map.ZIP", gameDir, "no"}));
    EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Names.txt"), "Map.ZIP=" + picked + "\r\n");
    EXPECT_EQ(app->WaitForExit(), 0u);
    for (const char* path : {"C:\\TempTemp", "C:\\TempTemp\\Pkzip25.EXE", "C:\\TempTemp\\Map.ZIP",
                             "C:\\TempTemp\\Orvane.BAT", "C:\\TempTemp\\Names.txt"})
      ExpectOnlyUserSystemAdministrators(path);
  }
  // Labels hold their caption on one line, between the picture and the boxes they name.
  void ExpectLabelsBetweenPictureAndBoxes() {
    RECT picture;
    ::GetWindowRect(app->Control(IDC_IMAGE1), &picture);
    for (auto [id, boxId] : kLabelsAndBoxes) {
      SCOPED_TRACE(id);
      RECT label, box;
      ::GetWindowRect(app->Control(id), &label);
      ::GetWindowRect(app->Control(boxId), &box);
      EXPECT_LE(label.right, box.left);
      EXPECT_GE(label.left, picture.right);
      EXPECT_LT(label.bottom - label.top, Px(2 * 195));
    }
  }
  // Wine keeps no DACL as set: it reads one back from the Unix mode bits it set from it.
  // Either way every entry names the user, SYSTEM or Administrators.
  static void ExpectOnlyUserSystemAdministrators(const std::string& path) {
    char descriptor[4096], *text = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed));
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                       DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::string sddl = text, user = platform::CurrentUserSid();
    ::LocalFree(text);
    const std::regex others(R"(\([^)]*;;;(?!(SY|BA|)" + user + R"()\))[^)]*\))");
    EXPECT_FALSE(std::regex_search(sddl, others)) << path << ": " << sddl;
    EXPECT_NE(sddl.find(";;;"), std::string::npos) << path << ": no entries in " << sddl;
  }
};

TEST_F(Window, FrameLayoutCaptionsAndStartingFocus) {
  Start();
  HWND w = app->window();
  EXPECT_EQ(TextOf(w), "Orvane");
  const LONG style = ::GetWindowLongA(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_TRUE(::GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  const RECT client = ClientRectOnScreen(w);
  EXPECT_EQ(client.right - client.left, Px(5760));
  EXPECT_EQ(client.bottom - client.top, Px(1620));
  RECT frame;
  ::GetWindowRect(w, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  struct Expected {
    int id;
    const char* text;
    int left, top, width, height;  // twips; width 0 where the control fits its caption
  };
  const Expected controls[] = {
      {IDC_LABEL1_0, "Map Zip File:", 960, 180, 0, 0},
      {IDC_TXTFILENAME, "", 1995, 135, 2895, 285},
      {IDC_CMDFILE_0, "...", 4980, 120, 420, 330},
      {IDC_TXTUTDIRECTORY, "", 2010, 540, 2895, 285},
      {IDC_CMDFILE_1, "...", 4995, 525, 420, 330},
      {IDC_LABEL1_1, "UT Directory:", 975, 570, 0, 0},
      {IDC_CMDACTION_0, "&Ok", 1290, 1035, 1410, 420},
      {IDC_CMDACTION_1, "&Cancel", 3105, 1035, 1410, 420},
      {IDC_IMAGE1, "", 105, 150, 690, 690},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.id);
    HWND control = app->Control(c.id);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(::IsWindowVisible(control));
    EXPECT_EQ(TextOf(control), c.text);
    RECT r;
    ::GetWindowRect(control, &r);
    EXPECT_EQ(r.left - client.left, Px(c.left));
    EXPECT_EQ(r.top - client.top, Px(c.top));
    if (c.width) {
      EXPECT_EQ(r.right - r.left, Px(c.width));
      EXPECT_EQ(r.bottom - r.top, Px(c.height));
    }
  }
  ExpectLabelsBetweenPictureAndBoxes();
  EXPECT_EQ(::GetWindowLongA(app->Control(IDC_IMAGE1), GWL_STYLE) & SS_TYPEMASK, SS_BITMAP);
  EXPECT_EQ(app->Focus(), app->Control(IDC_TXTFILENAME));
}

// A larger system font (on Windows too) or a fallback one makes a caption wider than its
// place. The label then moves left, towards the picture, so that it still ends before its
// box; a caption wider than all the room between them fills it and ends in an ellipsis.
TEST_F(Window, LabelsEndBeforeTheirBoxesInALargerMessageFont) {
  const struct {
    int points;
    bool clipped;  // wider than the room in any font
  } rows[] = {{9, false}, {12, true}};  // the default is 8 points
  for (const auto& row : rows) {
    SCOPED_TRACE(row.points);
    MessageFontSize font(row.points);
    ASSERT_TRUE(font.set());
    Start();
    ExpectLabelsBetweenPictureAndBoxes();
    RECT picture;
    ::GetWindowRect(app->Control(IDC_IMAGE1), &picture);
    for (auto [id, boxId] : kLabelsAndBoxes) {
      SCOPED_TRACE(id);
      HWND control = app->Control(id);
      const int caption = CaptionWidth(TextOf(control));
      RECT label, box;
      ::GetWindowRect(control, &label);
      ::GetWindowRect(app->Control(boxId), &box);
      // Each label's place, up to its box, is 1035 twips wide.
      ASSERT_GT(caption, Px(1035 - 30)) << "the font did not grow: the caption fits its place";
      if (!row.clipped && label.right - label.left == caption) continue;  // shown whole
      // Cut only where no more room was to be had, and cut visibly.
      EXPECT_LT(label.right - label.left, caption);
      EXPECT_LE(label.left - picture.right, Px(30));
      EXPECT_LE(box.left - label.right, Px(30));
      EXPECT_TRUE(::GetWindowLongA(control, GWL_STYLE) & SS_ENDELLIPSIS);
    }
    app->Click(IDC_CMDACTION_1);
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
}

TEST_F(Window, TabWalksTheTabOrderAndSkipsLabelsAndPicture) {
  Start();
  const int order[] = {IDC_CMDFILE_0, IDC_TXTUTDIRECTORY, IDC_CMDFILE_1, IDC_CMDACTION_0,
                       IDC_CMDACTION_1, IDC_TXTFILENAME};
  for (int id : order) {
    app->Type(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(id); }, 3s)) << "Tab to " << id;
  }
  app->Keys({VK_SHIFT, VK_TAB});
  EXPECT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_CMDACTION_1); }, 3s));
}

TEST_F(Window, EnterAndEscPressNothingFromTheBoxes) {
  Start();
  app->Type(VK_RETURN);
  app->Type(VK_ESCAPE);
  app->Type(VK_TAB);
  app->SetText(IDC_TXTUTDIRECTORY, sandbox.gameDir);  // Ok would now only complain about the archive
  app->Type(VK_TAB);
  app->Type(VK_RETURN);
  app->Type(VK_ESCAPE);
  // Keys are handled in order: once the last Tab has moved the focus, the others were seen.
  app->Type(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_CMDFILE_1); }, 3s));
  EXPECT_TRUE(app->Running());
  EXPECT_TRUE(app->NoDialog());
}

TEST_F(Window, EnterPressesTheFocusedButtonAndAltKeysPressOkAndCancel) {
  Start();
  for (int i = 0; i < 4; ++i) app->Type(VK_TAB);  // to Ok
  ASSERT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_CMDACTION_0); }, 3s));
  app->Type(VK_RETURN);
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "Invalid Unreal Tournament Directory");
  app->DismissMessageBox(*box);
  // The focus comes back to Ok, not to the window's frame.
  EXPECT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_CMDACTION_0); }, 3s));

  app->Keys({VK_MENU, 'O'});
  box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "Invalid Unreal Tournament Directory");
  app->DismissMessageBox(*box);

  app->Keys({VK_MENU, 'C'});
  EXPECT_EQ(app->WaitForExit(), 0u);
}

// After the player switched to another program and back, the focus is where it was.
TEST_F(Window, UserCanPasteAPath) {
  Start();
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  const std::string text = sandbox.gameDir;
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  memcpy(::GlobalLock(memory), text.c_str(), text.size() + 1);
  ::GlobalUnlock(memory);
  ::SetClipboardData(CF_TEXT, memory);
  ::CloseClipboard();
  for (int i = 0; i < 2; ++i) app->Type(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_TXTUTDIRECTORY); }, 3s));
  app->SwitchAwayAndBack();
  EXPECT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_TXTUTDIRECTORY); }, 3s));
  app->Keys({VK_CONTROL, 'V'});
  EXPECT_TRUE(WaitUntil([&] { return app->Text(IDC_TXTUTDIRECTORY) == text; }, 3s))
      << app->Text(IDC_TXTUTDIRECTORY);
}

TEST_F(Window, OkChecksTheGameDirectoryFirstThenTheArchive) {
  Start();
  ExpectErrorBox(OkMessage(), "Invalid Unreal Tournament Directory");
  ExpectNothingDone("", "");
  // The click (BM_CLICK runs the button's own mouse handling) gave Ok the focus; it comes
  // back after the box, and Enter presses the clicked button as it would a tabbed one.
  ASSERT_TRUE(WaitUntil([&] { return app->Focus() == app->Control(IDC_CMDACTION_0); }, 3s));
  ExpectErrorBox(OkMessage(true), "Invalid Unreal Tournament Directory");

  Fill("C:\\nowhere.zip", sandbox.programDir);  // a folder without the game
  ExpectErrorBox(OkMessage(), "Invalid Unreal Tournament Directory");
  ExpectNothingDone("C:\\nowhere.zip", sandbox.programDir);

  Fill("", sandbox.gameDir);
  ExpectErrorBox(OkMessage(), "Please enter a zip file name");
  ExpectNothingDone("", sandbox.gameDir);

  Fill("D:\\Downloads\\missing.zip", sandbox.gameDir);
  ExpectErrorBox(OkMessage(), "File 'D:\\Downloads\\missing.zip' NOT Found");
  ExpectNothingDone("D:\\Downloads\\missing.zip", sandbox.gameDir);
}

TEST_F(Window, ArchiveMustBeAnExistingOrdinaryFileByItsExactName) {
  const std::string dir = sandbox.programDir;
  ::CreateDirectoryA((dir + "\\folder.zip").c_str(), nullptr);
  WriteFileBytes(dir + "\\hidden.zip", "PK");
  ::SetFileAttributesA((dir + "\\hidden.zip").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFileBytes(dir + "\\system.zip", "PK");
  ::SetFileAttributesA((dir + "\\system.zip").c_str(), FILE_ATTRIBUTE_SYSTEM);
  Start();
  // Each wildcard of the system's search matches CTF-Test.zip, but no file bears the name.
  for (const std::string name : {"folder.zip", "hidden.zip", "system.zip", "CTF-*.zip", "CTF-Tes?.zip", "CTF<.zip",
                                 "CTF-Tes>.zip", "CTF-Test\"zip"}) {
    const std::string path = dir + "\\" + name;
    Fill(path, sandbox.gameDir);
    ExpectErrorBox(OkMessage(), "File '" + path + "' NOT Found");
    ExpectNothingDone(path, sandbox.gameDir);
  }
}

TEST_F(Window, GameDirectoryWithPercentIsRefusedBeforeAnythingIsStaged) {
  const std::string game = MakeGameFolder(sandbox.programDir + "\\100%UT");
  Start();
  Fill(sandbox.mapZip, game);
  ExpectErrorBox(OkMessage(), "Invalid Unreal Tournament Directory");
  ExpectNothingDone(sandbox.mapZip, game);
}

TEST_F(Window, OkStagesTheThreeFilesStartsTheScriptAndCloses) {
  // Leftovers of an earlier run are replaced, a read-only one too.
  ::CreateDirectoryA("C:\\TempTemp", nullptr);
  for (const char* name : {"Pkzip25.EXE", "Map.ZIP", "Orvane.BAT"})
    WriteFileBytes(std::string("C:\\TempTemp\\") + name, "old");
  ::SetFileAttributesA("C:\\TempTemp\\Map.ZIP", FILE_ATTRIBUTE_READONLY);
  const std::string map = sandbox.programDir + "\\map.rar";  // any extension is staged
  WriteFileBytes(map, "a map archive");
  Start();
  Fill(map, sandbox.gameDir + "\\");
  app->Click(IDC_CMDACTION_0);
  ExpectInstallStarted(sandbox.gameDir + "\\", map);
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Pkzip25.EXE"), ReadFileBytes(sandbox.programDir + "\\Pkzip25.exe"));
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Map.ZIP"), "a map archive");
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Orvane.BAT"), ReadFileBytes(sandbox.programDir + "\\Orvane.BAT"));
  EXPECT_TRUE(PathExists(sandbox.configIni())) << "the close did not save the settings";
}

TEST_F(Window, StagedArchivePickedAgainStaysAndTheOtherTwoAreStaged) {
  ::CreateDirectoryA("C:\\TempTemp", nullptr);
  WriteFileBytes("C:\\TempTemp\\Map.ZIP", "the staged map");
  Start();
  Fill("C:\\TempTemp\\Map.ZIP", sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  ExpectInstallStarted(sandbox.gameDir, "C:\\TempTemp\\Map.ZIP");
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Map.ZIP"), "the staged map");
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Pkzip25.EXE"), ReadFileBytes(sandbox.programDir + "\\Pkzip25.exe"));
}

// The arguments, quoted or not, fill the archive box after the load; Ok checks each.
TEST_F(Window, ArchiveOnTheCommandLineFillsTheArchiveBox) {
  const std::string spaced = sandbox.programDir + "\\Maps & More (1)\\CTF-Face.zip";  // not there
  const std::string both = "\"" + sandbox.mapZip + "\" \"" + spaced + "\"";
  Start("\"" + sandbox.mapZip + "\" \"" + spaced + "\"");
  EXPECT_TRUE(app->NoDialog());
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), both);
  EXPECT_EQ(app->Focus(), app->Control(IDC_TXTFILENAME));
  app->SetText(IDC_TXTUTDIRECTORY, sandbox.gameDir);
  ExpectErrorBox(OkMessage(), "File '" + spaced + "' NOT Found");
  ExpectNothingDone(both, sandbox.gameDir);
  app->Click(IDC_CMDACTION_1);
  EXPECT_EQ(app->WaitForExit(), 0u);

  // The game folder comes from Config.INI, as it always does; a name relative to the
  // current folder reaches the script as the full path.
  Start("CTF-Test.zip");
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), "CTF-Test.zip");
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  ExpectInstallStarted(sandbox.gameDir, sandbox.mapZip);
}

// Dropped files fill the archive box, the first dropped folder the game box; nothing is checked.
TEST_F(Window, DropsFillTheBoxesWithTheFilesAndTheFirstFolder) {
  Start();
  app->Drop({sandbox.mapZip});
  EXPECT_EQ(app->Text(IDC_TXTFILENAME), sandbox.mapZip);
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), "");
  app->Drop({sandbox.programDir});  // holds no game
  EXPECT_EQ(app->Text(IDC_TXTUTDIRECTORY), sandbox.programDir + "\\");
  const std::string other = sandbox.programDir + "\\other.zip";
  WriteFileBytes(other, "PK");
  app->Drop({sandbox.gameDir, other, sandbox.programDir, sandbox.mapZip});
  ExpectNothingDone("\"" + other + "\" \"" + sandbox.mapZip + "\"", sandbox.gameDir + "\\");
}

// The system menu's "Check the game...": the game folder is tested as Ok tests it; then the
// unzip program and the script are staged, the check starts on that folder, and the window
// closes.
TEST_F(Window, SystemMenuChecksTheGame) {
  Start();
  Fill("", sandbox.programDir);
  app->SystemMenuCommand('K');
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box) << "no message for a folder that is no game's";
  app->DismissMessageBox(*box);
  ExpectErrorBox(*box, "Invalid Unreal Tournament Directory");
  ExpectNothingDone("", sandbox.programDir);

  Fill("", sandbox.gameDir);
  app->SystemMenuCommand('K');
  ASSERT_TRUE(WaitUntil([&] { return sandbox.RecordedArguments().size() == 3; })) << "the check did not start";
  EXPECT_EQ(sandbox.RecordedArguments(), (std::vector<std::string>{"/check", sandbox.gameDir, "no"}));
  EXPECT_EQ(app->WaitForExit(), 0u);
  for (const char* path : {"C:\\TempTemp\\Pkzip25.EXE", "C:\\TempTemp\\Orvane.BAT"}) EXPECT_TRUE(PathExists(path)) << path;
  for (const char* path : {"C:\\TempTemp\\Map.ZIP", "C:\\TempTemp\\Names.txt"}) EXPECT_FALSE(PathExists(path)) << path;
}

// A record of an install, as the unzip program writes one into the game's Orvane folder.
void WriteRecord(const std::string& gameDir, const std::string& archive, const std::string& when, int files) {
  std::filesystem::create_directories(gameDir + "\\Orvane");
  std::string text = "Orvane install record 1\r\nName\tD:\\Downloads\\" + archive + "\r\nInstalled\t" + when + "\r\n";
  for (int k = 0; k < files; ++k) text += "File\t5\t00000000\tMaps\\" + archive + std::to_string(k) + ".unr\r\n";
  WriteFileBytes(gameDir + "\\Orvane\\" + archive + ".txt", text);
}

// The system menu's "Remove maps...": nothing recorded is said so; else the archives recorded
// in the game, newest first, with when and how many files; several are chosen by keyboard,
// Remove waits for a choice, and Remove stages and starts the removal of the chosen ones.
TEST_F(Window, SystemMenuRemovesChosenMaps) {
  Start();
  Fill("", sandbox.gameDir);
  app->SystemMenuCommand('V');
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box) << "no message for a game with nothing recorded";
  app->DismissMessageBox(*box);
  EXPECT_EQ(box->text, "Orvane has installed nothing into this game yet.");
  EXPECT_TRUE(app->Running());
  EXPECT_FALSE(PathExists("C:\\TempTemp"));

  WriteRecord(sandbox.gameDir, "CTF-Old.zip", "2026-01-02 10:00:00", 2);
  WriteRecord(sandbox.gameDir, "DM-New & Co.zip", "2026-12-01 09:00:00", 1);
  WriteRecord(sandbox.gameDir, "Pack.7z", "2026-06-01 12:30:00", 5);
  app->SystemMenuCommand('V');
  HWND dialog = app->WaitForDialog("Remove maps");
  ASSERT_NE(dialog, nullptr) << "no list";
  HWND list = ::GetDlgItem(dialog, IDC_REMOVE_LIST);
  std::vector<std::string> items;
  // Asked for wide text: from another process, Wine answered LB_GETTEXT in UTF-16 even when
  // asked through SendMessageA.
  for (LRESULT k = 0, n = ::SendMessageA(list, LB_GETCOUNT, 0, 0); k < n; ++k) {
    wchar_t text[512] = {};
    ::SendMessageW(list, LB_GETTEXT, k, reinterpret_cast<LPARAM>(text));
    items.push_back(std::string(text, text + wcslen(text)));  // ASCII only here
  }
  EXPECT_EQ(items, (std::vector<std::string>{"D:\\Downloads\\DM-New & Co.zip\t2026-12-01 09:00:00\t1 file",
                                             "D:\\Downloads\\Pack.7z\t2026-06-01 12:30:00\t5 files",
                                             "D:\\Downloads\\CTF-Old.zip\t2026-01-02 10:00:00\t2 files"}));
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_REMOVE_OK))) << "Remove before a choice";
  // The newest two: the first, then one further with Shift; Alt+R presses Remove.
  // The list has the focus from the start; Home chooses the first, Shift+Down one more.
  app->Keys({VK_HOME}, dialog);
  app->Keys({VK_SHIFT, VK_DOWN}, dialog);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, IDC_REMOVE_OK)) != FALSE; }))
      << "Remove stays disabled after a choice";
  app->Keys({VK_MENU, 'R'}, dialog);
  ASSERT_TRUE(WaitUntil([&] { return sandbox.RecordedArguments().size() == 3; })) << "the removal did not start";
  EXPECT_EQ(sandbox.RecordedArguments(), (std::vector<std::string>{"/remove", sandbox.gameDir, "yes"}));
  EXPECT_EQ(sandbox.RecordedFurtherArguments(), (std::vector<std::string>{"DM-New & Co.zip", "Pack.7z"}));
  EXPECT_EQ(app->WaitForExit(), 0u);
  EXPECT_FALSE(PathExists("C:\\TempTemp\\Map.ZIP"));
}

// Several archives: each staged beside the first, all handed to the script after the game
// folder, and each named as the player picked it.
TEST_F(Window, OkStagesSeveralArchivesForOneRunOfTheScript) {
  const std::string second = sandbox.programDir + "\\Pack (2) & more.7z";
  WriteFileBytes(second, "the second archive");
  Start();
  Fill("\"" + sandbox.mapZip + "\" \"" + second + "\"", sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  ASSERT_TRUE(WaitUntil([&] { return sandbox.RecordedArguments().size() == 3; })) << "the script did not run";
  EXPECT_EQ(sandbox.RecordedArguments(), (std::vector<std::string>{"C:\\TempTemp\\Map.ZIP", sandbox.gameDir, "yes"}));
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Map2.ZIP"), "the second archive");
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Names.txt"), "Map.ZIP=" + sandbox.mapZip + "\r\nMap2.ZIP=" + second + "\r\n");
  EXPECT_EQ(app->WaitForExit(), 0u);
}

TEST_F(Window, GameDirectoryReachesTheScriptWholeWhateverItsName) {
  const std::string names[] = {"Program Files (x86)\\Unreal Tournament", "A&B !^'+,;=~`[x]{y}",
                               "Games\\UT & more\\"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Sandbox box(TestName() + std::to_string(&name - names));
    const std::string game = MakeGameFolder(box.programDir + "\\" + name);
    app = std::make_unique<App>(box.programDir + "\\Orvane.exe", box.programDir);
    ASSERT_NE(app->window(), nullptr);
    Fill(box.mapZip, game);
    app->Click(IDC_CMDACTION_0);
    ASSERT_TRUE(WaitUntil([&] { return box.RecordedArguments().size() == 3; })) << "the script did not run";
    EXPECT_EQ(box.RecordedArguments(), (std::vector<std::string>{"C:\\TempTemp\\Map.ZIP", game, "no"}));
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
}

// A failure while staging: reported with its number and text, then the program ends
// without saving, and what was staged stays.
TEST_F(Window, MissingUnzipProgramIsReportedAndNothingIsSaved) {
  ::DeleteFileA((sandbox.programDir + "\\Pkzip25.exe").c_str());
  Start();
  Fill(sandbox.mapZip, sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_NE(box->text.find("2"), std::string::npos) << box->text;  // ERROR_FILE_NOT_FOUND
  EXPECT_GT(box->text.size(), 20u) << "no description";
  EXPECT_TRUE(box->hasIcon);
  app->DismissMessageBox(*box);
  auto code = app->WaitForExit();
  ASSERT_TRUE(code);
  EXPECT_NE(*code, 0u);
  EXPECT_TRUE(PathExists("C:\\TempTemp"));
  EXPECT_FALSE(PathExists("C:\\TempTemp\\Pkzip25.EXE"));
  EXPECT_FALSE(PathExists("C:\\TempTemp\\Map.ZIP"));
  EXPECT_FALSE(PathExists(sandbox.configIni()));
}

TEST_F(Window, MissingScriptLeavesTheFirstTwoStagedAndStartsNothing) {
  ::DeleteFileA((sandbox.programDir + "\\Orvane.BAT").c_str());
  Start();
  Fill(sandbox.mapZip, sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_NE(box->text.find("2"), std::string::npos) << box->text;
  app->DismissMessageBox(*box);
  EXPECT_NE(app->WaitForExit().value_or(0), 0u);
  EXPECT_TRUE(PathExists("C:\\TempTemp\\Pkzip25.EXE"));
  EXPECT_EQ(ReadFileBytes("C:\\TempTemp\\Map.ZIP"), ReadFileBytes(sandbox.mapZip));
  EXPECT_FALSE(PathExists("C:\\TempTemp\\Orvane.BAT"));
  EXPECT_FALSE(PathExists("C:\\TempTemp\\recorded.txt"));
  EXPECT_FALSE(PathExists(sandbox.configIni()));
}

TEST_F(Window, UnwritableStagedTargetIsReportedAfterTheUnzipProgramWasCopied) {
  // Read-only files do not stop a copy under Wine as root; a directory in the way does.
  ::CreateDirectoryA("C:\\TempTemp", nullptr);
  ::CreateDirectoryA("C:\\TempTemp\\Map.ZIP", nullptr);
  Start();
  Fill(sandbox.mapZip, sandbox.gameDir);
  app->Click(IDC_CMDACTION_0);
  auto box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->title, "Orvane");
  app->DismissMessageBox(*box);
  EXPECT_NE(app->WaitForExit().value_or(0), 0u);
  EXPECT_TRUE(PathExists("C:\\TempTemp\\Pkzip25.EXE"));
  EXPECT_FALSE(PathExists("C:\\TempTemp\\Orvane.BAT"));
  EXPECT_FALSE(PathExists(sandbox.configIni()));
}

// Every way of closing saves the settings once and ends the program cleanly.
TEST_F(Window, EveryCloseSavesTheSettings) {
  const std::function<void(App&)> closes[] = {
      [](App& a) { a.Click(IDC_CMDACTION_1); },
      [](App& a) { ::PostMessageA(a.window(), WM_SYSCOMMAND, SC_CLOSE, 0); },
      [](App& a) { a.Keys({VK_MENU, VK_F4}); },
      [](App& a) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(a.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &result);
        EXPECT_TRUE(result) << "the log-off was refused";
        ::SendMessageTimeoutA(a.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, nullptr);
      },
  };
  for (const auto& close : closes) {
    SCOPED_TRACE(&close - closes);
    ::DeleteFileA(sandbox.configIni().c_str());
    Start();
    app->SetText(IDC_TXTUTDIRECTORY, sandbox.gameDir);
    close(*app);
    EXPECT_EQ(app->WaitForExit(), 0u);
    auto ini = ReadFileBytes(sandbox.configIni());
    ASSERT_TRUE(ini) << "Config.INI was not written";
    EXPECT_EQ(*ini, "[GENERAL]\r\nUTFolder=" + sandbox.gameDir + "\r\nInitDir=" + sandbox.programDir + "\r\n");
  }
}

}  // namespace
