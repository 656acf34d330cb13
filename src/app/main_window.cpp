#include "app/main_window.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "../../resources/resource_ids.h"
#include "app/chooser_rules.h"
#include "app/control_ids.h"
#include "app/install_action.h"
#include "app/remove_dialog.h"
#include "config/ini_information.h"
#include "install/records.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/security.h"
#include "platform/window.h"
#include "registry/registry_functions.h"

namespace {

// Layout in twips, as the form was designed; scaled to pixels once at creation.
struct ControlLayout {
  int id;
  const char* className;
  const char* text;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kTextBox = kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
// A caption that its place cannot hold whole ends in "..." instead of running under the box.
constexpr DWORD kLabel = kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS;

// In tab order; the picture, which takes no focus, last.
const ControlLayout kControls[] = {
    {IDC_LABEL1_0, "STATIC", "Map Zip File:", kLabel, 0, 960, 180, 915, 195},
    {IDC_TXTFILENAME, "EDIT", "txtFileName", kTextBox, WS_EX_CLIENTEDGE, 1995, 135, 2895, 285},
    {IDC_CMDFILE_0, "BUTTON", "...", kButton, 0, 4980, 120, 420, 330},
    {IDC_TXTUTDIRECTORY, "EDIT", "txtUTDirectory", kTextBox, WS_EX_CLIENTEDGE, 2010, 540, 2895, 285},
    {IDC_CMDFILE_1, "BUTTON", "...", kButton, 0, 4995, 525, 420, 330},
    {IDC_LABEL1_1, "STATIC", "UT Directory:", kLabel, 0, 975, 570, 945, 195},
    {IDC_CMDACTION_0, "BUTTON", "&Ok", kButton, 0, 1290, 1035, 1410, 420},
    {IDC_CMDACTION_1, "BUTTON", "&Cancel", kButton, 0, 3105, 1035, 1410, 420},
    {IDC_IMAGE1, "STATIC", "", kChild | SS_BITMAP, 0, 105, 150, 690, 690},
};

// Each label and the box it names, and the least space a label keeps from the box and from
// the picture on its left.
constexpr std::pair<int, int> kLabelBoxes[] = {{IDC_LABEL1_0, IDC_TXTFILENAME}, {IDC_LABEL1_1, IDC_TXTUTDIRECTORY}};
constexpr int kLabelGapTwips = 30;

constexpr int kClientWidthTwips = 5760;
constexpr int kClientHeightTwips = 1620;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // fixed single, no min/max
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW;

constexpr char kRegistryKey[] = "Software\\Unreal Technology\\Installed Apps\\UnrealTournament";
// The zip pair first, selected when the dialog opens; the second shows every archive that
// the unzip program reads.
constexpr char kZipFilter[] = "Zip Files (*.zip)|*.zip|Map archives (*.zip;*.7z;*.rar;*.umod)|*.zip;*.7z;*.rar;*.umod";
constexpr char kFolderPrompt[] = "Select Unreal Tournament Folder";

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  win::scope_exit release([&] { ::ReleaseDC(nullptr, screen); });
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

std::string RegistryGameFolder() {
  return ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, "Folder", "");
}

RECT RectInParent(HWND control) {
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A label is sized to its caption on one line, whatever the font's metrics are here, and
// stays within its room (from roomLeft to roomRight). A caption wider than the room left of
// its place (a large or fallback system font, on Windows too) moves left, so that it still
// ends before its box; one wider than the whole room fills it and is cut with an ellipsis.
void FitLabelToCaption(HWND label, int roomLeft, int roomRight) {
  const std::string caption = platform::GetText(label);
  HDC dc = ::GetDC(label);
  win::scope_exit release([&] { ::ReleaseDC(label, dc); });
  HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(label, WM_GETFONT, 0, 0)));
  SIZE extent = {};
  const BOOL measured = ::GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
  ::SelectObject(dc, previous);
  if (!measured) return;
  const RECT place = RectInParent(label);
  const int width = std::max(0, std::min<int>(extent.cx, roomRight - roomLeft));
  const int left = std::min<int>(place.left, roomRight - width);
  ::SetWindowPos(label, nullptr, left, place.top, width, extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

frmMain::frmMain(HINSTANCE instance) : instance_(instance) {}

int frmMain::Run(HINSTANCE instance, int showCommand, const std::string& archiveArgument) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &frmMain::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_ORVANE));
  windowClass.hIconSm = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_ORVANE), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXSMICON),
                                                        ::GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = ORVANE_WINDOW_CLASS;
  if (!::RegisterClassExA(&windowClass)) return 1;

  frmMain form(instance);
  form.archiveArgument_ = archiveArgument;
  try {
    const int dpi = ScreenDpi();
    RECT frame = {0, 0, platform::TwipsToPixels(kClientWidthTwips, dpi),
                  platform::TwipsToPixels(kClientHeightTwips, dpi)};
    ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    // Created hidden: the load event runs before the window is first shown.
    if (!::CreateWindowExA(kWindowExStyle, ORVANE_WINDOW_CLASS, ORVANE_WINDOW_TITLE, kWindowStyle,
                           CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                           frame.bottom - frame.top, nullptr, nullptr, instance, &form)) {
      platform::ThrowLastError();
    }
    form.CreateControls();
    form.AddSystemMenuItems();
    form.Form_Load();
    form.ShowCentred(showCommand);
  } catch (const platform::UnhandledError& error) {
    form.EndWithReport(platform::UnhandledErrorReport(error));
  } catch (const std::exception& error) {
    form.EndWithReport(error.what());
  }

  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab, Shift+Tab and the access keys, as in a dialog.
    if (form.hwnd_ && ::IsDialogMessageA(form.hwnd_, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return form.exitCode_;
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  frmMain* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<frmMain*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  // No exception may unwind through the system's frames: this is the edge.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const platform::UnhandledError& error) {
    self->EndWithReport(platform::UnhandledErrorReport(error));
  } catch (const std::exception& error) {
    self->EndWithReport(error.what());
  }
  return 0;
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case IDC_CMDACTION_0: cmdAction_Click(0); return 0;
          case IDC_CMDACTION_1: cmdAction_Click(1); return 0;
          case IDC_CMDFILE_0: cmdFile_Click(0); return 0;
          case IDC_CMDFILE_1: cmdFile_Click(1); return 0;
          default: return 0;  // IDOK and IDCANCEL from Enter and Esc press nothing
        }
      }
      return 0;
    case DM_GETDEFID: {
      // Enter asks for the default button. As in a dialog it is the focused push button,
      // however that got the focus (Tab, a click, back after a message box); while a text
      // box has the focus there is none, and Enter presses nothing.
      HWND focus = ::GetFocus();
      const LRESULT code = focus && ::IsChild(hwnd_, focus) ? ::SendMessageA(focus, WM_GETDLGCODE, 0, 0) : 0;
      if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) return MAKELRESULT(::GetDlgCtrlID(focus), DC_HASDEFID);
      return 0;
    }
    case WM_SYSCOMMAND:
      // The low four bits are the system's own.
      if ((wParam & 0xFFF0) == IDM_CHECK_GAME) {
        mnuCheckGame_Click();
        return 0;
      }
      if ((wParam & 0xFFF0) == IDM_REMOVE_MAPS) {
        mnuRemoveMaps_Click();
        return 0;
      }
      return ::DefWindowProcA(hwnd_, message, wParam, lParam);
    case WM_ACTIVATE:
      Form_Activate(LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam));  // not while minimised
      return 0;
    case WM_DROPFILES:
      Form_DragDrop(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4
      CloseWindow();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // a close is never refused
    case WM_ENDSESSION:
      if (wParam) CloseWindow();  // the process may end as soon as this returns
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(exitCode_);
      return 0;
    case WM_NCDESTROY: {
      HWND self = std::exchange(hwnd_, nullptr);
      ::SetWindowLongPtrA(self, GWLP_USERDATA, 0);
      return ::DefWindowProcA(self, message, wParam, lParam);
    }
    default:
      return ::DefWindowProcA(hwnd_, message, wParam, lParam);
  }
}

void frmMain::CreateControls() {
  const int dpi = ScreenDpi();
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_.reset(::CreateFontIndirectA(&metrics.lfMessageFont));

  for (const ControlLayout& c : kControls) {
    HWND control = ::CreateWindowExA(
        c.exStyle, c.className, c.text, c.style, platform::TwipsToPixels(c.left, dpi),
        platform::TwipsToPixels(c.top, dpi), platform::TwipsToPixels(c.width, dpi),
        platform::TwipsToPixels(c.height, dpi), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    if (!control) platform::ThrowLastError();
    if (font_) ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  txtFileName_ = ::GetDlgItem(hwnd_, IDC_TXTFILENAME);
  txtUTDirectory_ = ::GetDlgItem(hwnd_, IDC_TXTUTDIRECTORY);

  // The 103 x 97 picture, stretched to its 46 x 46 box, proportions not kept.
  const int side = platform::TwipsToPixels(690, dpi);
  picture_.reset(static_cast<HBITMAP>(
      ::LoadImageA(instance_, MAKEINTRESOURCEA(IDB_PICTURE), IMAGE_BITMAP, side, side, 0)));
  ::SendDlgItemMessageA(hwnd_, IDC_IMAGE1, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(picture_.get()));
  ::SetWindowPos(::GetDlgItem(hwnd_, IDC_IMAGE1), nullptr, 0, 0, side, side,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  const int gap = platform::TwipsToPixels(kLabelGapTwips, dpi);
  const LONG pictureRight = RectInParent(::GetDlgItem(hwnd_, IDC_IMAGE1)).right;
  for (const auto& [labelId, boxId] : kLabelBoxes) {
    FitLabelToCaption(::GetDlgItem(hwnd_, labelId), pictureRight + gap,
                      RectInParent(::GetDlgItem(hwnd_, boxId)).left - gap);
  }
  Dialog.Owner = hwnd_;
  ::DragAcceptFiles(hwnd_, TRUE);
}

void frmMain::ShowCentred(int showCommand) {
  RECT window;
  ::GetWindowRect(hwnd_, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  ::SetWindowPos(hwnd_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  savedFocus_ = txtFileName_;  // where the first activation puts the focus
  ::ShowWindow(hwnd_, showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
  ::UpdateWindow(hwnd_);
  ::SetFocus(txtFileName_);
}

void frmMain::CloseWindow() {
  if (closing_ || !hwnd_) return;
  closing_ = true;
  Form_QueryUnload();
  ::DestroyWindow(hwnd_);
}

void frmMain::EndWithReport(const std::string& report) {
  platform::ShowMessage(hwnd_, report, ORVANE_WINDOW_TITLE, MB_OK | MB_ICONERROR);
  exitCode_ = 1;
  closing_ = true;  // no close processing: settings are not saved
  if (hwnd_) {
    ::DestroyWindow(hwnd_);
  } else {
    ::PostQuitMessage(exitCode_);
  }
}

// ---- events ----

void frmMain::Form_Load() {
  LoadSettings();
  // Only after the load, which empties the box; checked, like a typed path, on Ok.
  if (!archiveArgument_.empty()) platform::SetText(txtFileName_, archiveArgument_);
}

void frmMain::Form_Activate(bool active) {
  if (!active) {
    // Saved before a message box, a dialog or another program takes the activation.
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(hwnd_, focus)) savedFocus_ = focus;
  } else if (savedFocus_ && ::IsWindow(savedFocus_)) {
    ::SetFocus(savedFocus_);
  } else {
    ::SetFocus(txtFileName_);
  }
}

void frmMain::Form_DragDrop(HDROP drop) {
  win::unique_drop owned(drop);  // released on every path
  std::vector<std::string> files;
  std::string folder;
  const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::string path(::DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
    path.resize(::DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size())));
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!isFolder) {
      files.push_back(path);
    } else if (folder.empty()) {
      folder = path;
    }
  }
  // Nothing is checked here: Ok checks the boxes as always. Every file is an archive.
  if (!files.empty()) platform::SetText(txtFileName_, install::ArchiveBoxText(files));
  if (!folder.empty()) platform::SetText(txtUTDirectory_, chooser::WithTrailingBackslash(folder));
}

void frmMain::Form_QueryUnload() { SaveSettings(); }

void frmMain::cmdAction_Click(int Index) {
  if (Index == 0) {
    const std::string gameDirectory = platform::GetText(txtUTDirectory_);
    const std::string box = platform::GetText(txtFileName_);
    if (auto message = install::CheckInputs(gameDirectory, box, platform::IsOrdinaryFile)) {
      platform::ShowMessage(hwnd_, *message, install::kErrorTitle, MB_OK | MB_ICONERROR);
      return;
    }
    const std::vector<std::string> archives = install::ArchivesInBox(box);
    if (auto message = StageFiles(archives)) {
      platform::ShowMessage(hwnd_, *message, install::kErrorTitle, MB_OK | MB_ICONERROR);
      return;
    }
    platform::StartCommandLine(*install::ScriptCommandLine(gameDirectory, archives.size()), SW_SHOWNORMAL);
  }
  CloseWindow();
}

void frmMain::AddSystemMenuItems() {
  HMENU menu = ::GetSystemMenu(hwnd_, FALSE);
  // "k" and "v": the system's own items take c (Close), m, n, r, s and x.
  if (!menu || !::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr) ||
      !::AppendMenuA(menu, MF_STRING, IDM_CHECK_GAME, "Chec&k the game...") ||
      !::AppendMenuA(menu, MF_STRING, IDM_REMOVE_MAPS, "Remo&ve maps..."))
    platform::ThrowLastError();
}

bool frmMain::GameDirectoryPasses(const std::string& gameDirectory) {
  if (install::IsGameDirectory(gameDirectory, platform::IsOrdinaryFile) && install::CheckCommandLine(gameDirectory))
    return true;
  platform::ShowMessage(hwnd_, install::kInvalidDirectory, install::kErrorTitle, MB_OK | MB_ICONERROR);
  return false;
}

void frmMain::mnuRemoveMaps_Click() {
  const std::string gameDirectory = platform::GetText(txtUTDirectory_);
  if (!GameDirectoryPasses(gameDirectory)) return;
  std::vector<removal::Listed> listed;
  // The records are UTF-8, as the unzip program writes them; the window's texts are ANSI.
  for (const orvane::RecordSummary& r : orvane::list_records(platform::Utf8FromAnsi(gameDirectory)))
    listed.push_back({platform::AnsiFromUtf8(r.name) + "\t" + r.when + "\t" + std::to_string(r.files) +
                          (r.files == 1 ? " file" : " files"),
                      platform::AnsiFromUtf8(r.archive)});
  if (listed.empty()) {
    platform::ShowMessage(hwnd_, install::kNothingInstalled, install::kRemoveTitle, MB_OK | MB_ICONINFORMATION);
    return;
  }
  const std::vector<std::string> chosen = removal::ChooseMaps(instance_, hwnd_, listed);
  if (chosen.empty()) return;  // cancelled: the window stays as it was
  const std::optional<std::string> commandLine = install::RemoveCommandLine(gameDirectory, chosen);
  if (!commandLine) {
    platform::ShowMessage(hwnd_, install::kNameCannotReachScript, install::kErrorTitle, MB_OK | MB_ICONERROR);
    return;
  }
  if (auto message = StageFiles({})) {
    platform::ShowMessage(hwnd_, *message, install::kErrorTitle, MB_OK | MB_ICONERROR);
    return;
  }
  platform::StartCommandLine(*commandLine, SW_SHOWNORMAL);
  CloseWindow();
}

void frmMain::mnuCheckGame_Click() {
  // The game folder is tested as Ok tests it, with the same message.
  const std::string gameDirectory = platform::GetText(txtUTDirectory_);
  if (!GameDirectoryPasses(gameDirectory)) return;
  const std::optional<std::string> commandLine = install::CheckCommandLine(gameDirectory);
  if (auto message = StageFiles({})) {
    platform::ShowMessage(hwnd_, *message, install::kErrorTitle, MB_OK | MB_ICONERROR);
    return;
  }
  platform::StartCommandLine(*commandLine, SW_SHOWNORMAL);
  CloseWindow();
}

std::optional<std::string> frmMain::StageFiles(const std::vector<std::string>& archives) {
  // A folder made directly under C:\ would let every signed-in user rewrite the script
  // while it runs; made here, or taken over where the user may, only these three can.
  const std::string user = platform::CurrentUserSid();
  const std::string sddl = platform::OwnerSystemAdminsSddl(user);
  if (!platform::CreateFolderWithSddl(install::kStagingDirectory, sddl)) {
    platform::MakeSureDirectoryPathExists(install::kStagingDirectory);
    // A folder that is not there still fails at the first copy, as it always did.
    if (platform::IsFolder(install::kStagingDirectory)) {
      // Its owner could rewrite the rights set below at any moment.
      if (!platform::IsTrustedOwner(platform::OwnerSidOfPath(install::kStagingDirectory), user))
        return std::string(install::kStagingOwnedByOther);
      if (!platform::ApplySddl(install::kStagingDirectory, sddl)) return std::string(install::kStagingUnprotected);
    }
  }
  for (const install::Copy& copy : install::StagingPlan(platform::ProgramDirectory(), archives)) {
    platform::CopyFileReplacing(copy.from, copy.to);
    // A file left by another account keeps its own entries when it is overwritten.
    platform::ApplySddl(copy.to, sddl);
  }
  if (archives.empty()) return std::nullopt;
  std::vector<std::string> picked;
  for (const std::string& archive : archives) picked.push_back(platform::FullPath(archive));
  platform::WriteOemTextFile(install::kNamesFile, install::NamesFileText(picked));
  platform::ApplySddl(install::kNamesFile, sddl);
  return std::nullopt;
}

void frmMain::cmdFile_Click(int Index) {
  if (Index == 0) {
    if (!OpenFile(Dialog, kZipFilter, false).empty())
      platform::SetText(txtFileName_, install::ArchiveBoxText(chooser::PickedFiles(Dialog.Selection)));
  } else if (Index == 1) {
    const std::string folder = BrowseForFolder(hwnd_, kFolderPrompt);
    if (!folder.empty()) platform::SetText(txtUTDirectory_, chooser::WithTrailingBackslash(folder));
  }
}

// ---- settings ----

void frmMain::LoadSettings() {
  const std::string programDirectory = platform::ProgramDirectory();
  ConfigFilePath = programDirectory + "\\Config.INI";
  std::string initialDirectory;
  if (!platform::IsOrdinaryFile(ConfigFilePath)) {
    platform::SetText(txtUTDirectory_, RegistryGameFolder());
    initialDirectory = programDirectory;
  } else {
    std::string file;
    platform::SetText(txtUTDirectory_, ReadIniValue("GENERAL", "UTFolder", file));
    if (!install::IsGameDirectory(platform::GetText(txtUTDirectory_), platform::IsOrdinaryFile))
      platform::SetText(txtUTDirectory_, RegistryGameFolder());
    initialDirectory = ReadIniValue("GENERAL", "InitDir", file);
    if (initialDirectory.empty()) initialDirectory = programDirectory;
  }
  platform::SetText(txtFileName_, "");
  Dialog.InitDir = initialDirectory;
}

void frmMain::SaveSettings() {
  std::string file;
  WriteIniValue("GENERAL", "UTFolder", platform::GetText(txtUTDirectory_), file);
  WriteIniValue("GENERAL", "InitDir", Dialog.InitDir, file);
}

// ---- choosers ----

std::string frmMain::OpenFile(platform::CommonDialog& Dialog, const std::string& FilterStr, bool Saving) {
  try {
    Dialog.Filter = FilterStr;
    Dialog.CancelError = true;
    Dialog.FilterIndex = 1;
    Dialog.DialogTitle = Saving ? "Save File As" : "Select a File";
    Dialog.FileName = "";
    // Several archives at once; the Explorer-style dialog, which multiple selection
    // would otherwise turn into the old one.
    Dialog.Flags = Saving ? (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY)
                          : (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_EXPLORER);
    if (Saving) {
      Dialog.ShowSave();
    } else {
      Dialog.ShowOpen();
    }
    const std::vector<std::string> picked = chooser::PickedFiles(Dialog.Selection);
    Dialog.InitDir = chooser::FolderOf(picked.empty() ? Dialog.FileName : picked[0]);
    return picked.empty() ? Dialog.FileName : picked[0];
  } catch (...) {
    return std::string();  // a cancel or any other failure: nothing chosen, nothing shown
  }
}

std::string frmMain::BrowseForFolder(HWND hWndOwner, const std::string& sPrompt) {
  BROWSEINFOA info = {};
  info.hwndOwner = hWndOwner;
  info.lpszTitle = sPrompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  win::unique_cotaskmem list(::SHBrowseForFolderA(&info));
  if (!list) return std::string();
  char path[MAX_PATH] = {};  // left all NUL when the item has no file-system path
  ::SHGetPathFromIDListA(static_cast<PCIDLIST_ABSOLUTE>(list.get()), path);
  return chooser::TextBeforeNul(std::string(path, std::size(path)));
}
