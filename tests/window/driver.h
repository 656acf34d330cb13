// Drives the real Orvane.exe from another process: a sandboxed program folder, the
// window found by class and process, controls found by ID, keys, message boxes and
// dialogs, all waited for with time-outs.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "win/handles.h"
#include "../support/test_files.h"

namespace driver {

using namespace std::chrono_literals;
constexpr auto kTimeout = 15s;

// Polls until the condition holds; false when the time-out passes first.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kTimeout);

// The game's registry entry, as the installer of the game leaves it.
void SetRegistryFolder(const std::string& folder);
void DeleteRegistryFolder();

// One test's world: a program folder holding Orvane.exe, a stand-in unzip program and a
// recording stand-in script, a game folder, and an empty C:\TempTemp\.
struct Sandbox {
  explicit Sandbox(const std::string& name, const std::string& root = "C:\\OrvaneTest");
  std::string programDir;  // no trailing separator
  std::string gameDir;     // holds System\UnrealTournament.EXE
  std::string mapZip;      // an existing archive
  std::string configIni() const { return programDir + "\\Config.INI"; }
  // What the stand-in script wrote down: its first two arguments and whether a third came.
  // Empty when it has not run.
  std::vector<std::string> RecordedArguments() const;
  // Its third and fourth arguments, as far as it got them (written before the recording).
  std::vector<std::string> RecordedFurtherArguments() const;
};
std::string MakeGameFolder(const std::string& dir);  // returns dir

// A top-level window of another process, or a control in it.
std::string TextOf(HWND window);
std::string ClassOf(HWND window);
RECT ClientRectOnScreen(HWND window);

struct MessageBoxInfo {
  HWND window = nullptr;
  std::string title, text;
  bool hasIcon = false;
  int buttons = 0;
};

class App {
 public:
  // Starts the exe, with the arguments as they stand after its quoted path, and waits
  // until its window is visible.
  explicit App(const std::string& exePath, const std::string& workingDir = "", const std::string& arguments = "");
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  HWND window() const { return window_; }
  DWORD processId() const { return processId_; }
  HWND Control(int id) const;
  std::string Text(int id) const { return TextOf(Control(id)); }
  void SetText(int id, const std::string& text) const;
  void Click(int id) const;  // posted: a modal box it opens must not block the driver
  HWND Focus() const;
  // Keys through the system's input queue, after bringing the window forward.
  // Pressed together, then released, in the main window or another of the program's (a dialog).
  void Keys(const std::vector<WORD>& keysDownInOrder, HWND target = nullptr) const;
  void Type(WORD key) const { Keys({key}); }
  // Opens the window's system menu (Alt+Space) and picks an item by its access key.
  void SystemMenuCommand(WORD accessKey) const;

  // Drops these paths onto the window, as Explorer does: a DROPFILES block in the
  // program's memory and WM_DROPFILES with its address; returns once it was handled.
  void Drop(const std::vector<std::string>& paths) const;
  // Another window takes the activation, then this one gets it back.
  void SwitchAwayAndBack() const;

  // A visible dialog (#32770) of this process other than the main window.
  HWND WaitForDialog(const std::string& title = "") const;
  std::optional<MessageBoxInfo> WaitForMessageBox() const;
  void DismissMessageBox(const MessageBoxInfo& box) const;
  // True when no dialog of the process is visible.
  bool NoDialog() const;

  // Waits for the process to end; its exit code, or nothing on time-out.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = kTimeout);
  bool Running() const;

 private:
  win::unique_handle process_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

// The first descendant of a window with this class.
HWND FindDescendant(HWND parent, const std::string& className);

// Visible top-level windows of a process with the given class ("" for any).
std::vector<HWND> WindowsOf(DWORD processId, const std::string& className);

// Tree views of another process, read through its memory.
struct RemoteTree {
  HWND tree;
  DWORD processId;
  std::string ItemText(HTREEITEM item) const;
  HTREEITEM Root() const;
  std::vector<HTREEITEM> Children(HTREEITEM item) const;  // expands it first
  void Select(HTREEITEM item) const;
  // From the root down: at each level the first child whose text contains that part.
  HTREEITEM Walk(const std::vector<std::string>& parts) const;
};

}  // namespace driver
