#include "driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/files.h"

namespace driver {

namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);  // a polling interval, not a wait for an effect
  }
}

namespace {
constexpr char kGameKey[] = "Software\\Unreal Technology\\Installed Apps\\UnrealTournament";
}

// In the registry's 32-bit view, where the game's own 32-bit installer writes it.
void SetRegistryFolder(const std::string& folder) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                    nullptr);
  ::RegSetValueExA(key, "Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
  ::RegCloseKey(key);
}

void DeleteRegistryFolder() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
    ::RegDeleteValueA(key, "Folder");
    ::RegCloseKey(key);
  }
}

std::string MakeGameFolder(const std::string& dir) {
  fs::create_directories(dir + "\\System");
  WriteFileBytes(dir + "\\System\\UnrealTournament.EXE", "stand-in game");
  return dir;
}

// Writes down its arguments, the way the real script receives them, and ends at once.
// "set NAME" prints NAME=value without expanding the value again, so no character of it is
// lost. The recording is moved into place whole, so a reader never sees half of it.
constexpr char kRecordingScript[] =
    "@echo off\r\n"
    "setlocal DisableDelayedExpansion\r\n"
    "set \"arg1=%~1\"\r\n"
    "set \"arg2=%~2\"\r\n"
    "set \"more=no\"\r\n"
    "if not \"%~3\"==\"\" set \"more=yes\"\r\n"
    "> \"%~dp0recorded.tmp\" set arg\r\n"
    ">> \"%~dp0recorded.tmp\" set more\r\n"
    "set \"extra3=%~3\"\r\n"
    "set \"extra4=%~4\"\r\n"
    "> \"%~dp0recorded-more.txt\" set extra\r\n"
    "move /y \"%~dp0recorded.tmp\" \"%~dp0recorded.txt\" > nul\r\n";

Sandbox::Sandbox(const std::string& name, const std::string& root) {
  programDir = root + "\\" + name;
  RemoveTree(programDir);
  RemoveTree("C:\\TempTemp");
  DeleteRegistryFolder();
  fs::create_directories(programDir);
  const std::string driverDir = platform::ProgramDirectory();
  ::CopyFileA((driverDir + "\\Orvane.exe").c_str(), (programDir + "\\Orvane.exe").c_str(), FALSE);
  WriteFileBytes(programDir + "\\Pkzip25.exe", "stand-in unzip program");
  WriteFileBytes(programDir + "\\Orvane.BAT", kRecordingScript);
  gameDir = MakeGameFolder(programDir + "\\UT");
  mapZip = programDir + "\\CTF-Test.zip";
  WriteFileBytes(mapZip, std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // an empty archive
}

std::vector<std::string> Sandbox::RecordedArguments() const {
  std::vector<std::string> lines;
  auto text = ReadFileBytes("C:\\TempTemp\\recorded.txt");
  if (!text) return lines;
  std::istringstream in(*text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(line.find('=') + 1));  // "name=value"
  }
  return lines;
}

std::vector<std::string> Sandbox::RecordedFurtherArguments() const {
  std::vector<std::string> lines;
  auto text = ReadFileBytes("C:\\TempTemp\\recorded-more.txt");
  if (!text) return lines;
  std::istringstream in(*text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line.substr(line.find('=') + 1));
  }
  return lines;
}

std::string TextOf(HWND window) {
  char text[1024] = {};
  ::SendMessageTimeoutA(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, std::size(name));
  return name;
}

RECT ClientRectOnScreen(HWND window) {
  RECT rect;
  ::GetClientRect(window, &rect);
  ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

namespace {
struct WindowSearch {
  DWORD processId;
  const std::string& className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto& s = *reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == s.processId && ::IsWindowVisible(window) &&
      (s.className.empty() || ClassOf(window) == s.className))
    s.found.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> WindowsOf(DWORD processId, const std::string& className) {
  WindowSearch search{processId, className, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindDescendant(HWND parent, const std::string& className) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == className) return child;
    if (HWND found = FindDescendant(child, className)) return found;
  }
  return nullptr;
}

App::App(const std::string& exePath, const std::string& workingDir, const std::string& arguments) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::string commandLine = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
  if (!::CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info))
    return;
  process_.reset(info.hProcess);
  ::CloseHandle(info.hThread);
  processId_ = info.dwProcessId;
  WaitUntil([&] {
    auto windows = WindowsOf(processId_, ORVANE_WINDOW_CLASS);
    window_ = windows.empty() ? nullptr : windows.front();
    return window_ != nullptr || !Running();
  });
  if (window_) threadId_ = ::GetWindowThreadProcessId(window_, nullptr);
}

App::~App() {
  if (process_ && Running()) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

HWND App::Control(int id) const { return ::GetDlgItem(window_, id); }

void App::SetText(int id, const std::string& text) const {
  ::SendMessageTimeoutA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

void App::Click(int id) const { ::PostMessageA(Control(id), BM_CLICK, 0, 0); }

HWND App::Focus() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(threadId_, &info);
  return info.hwndFocus;
}

void App::Keys(const std::vector<WORD>& keys, HWND target) const {
  if (!target) target = window_;
  ::SetForegroundWindow(target);
  WaitUntil([&] { return ::GetForegroundWindow() == target; }, 2s);
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    inputs.push_back(input);
  }
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *it;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void App::SystemMenuCommand(WORD accessKey) const {
  Keys({VK_MENU, VK_SPACE});
  WaitUntil([&] { return !WindowsOf(processId_, "#32768").empty(); });  // the menu's own class
  Type(accessKey);
}

HWND App::WaitForDialog(const std::string& title) const {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND w : WindowsOf(processId_, "#32770")) {
      if (title.empty() || TextOf(w) == title) {
        found = w;
        return true;
      }
    }
    return !Running();
  });
  return found;
}

std::optional<MessageBoxInfo> App::WaitForMessageBox() const {
  HWND box = WaitForDialog();
  if (!box) return std::nullopt;
  MessageBoxInfo info;
  info.window = box;
  info.title = TextOf(box);
  info.text = TextOf(::GetDlgItem(box, 0xFFFF));
  // The icon is control 0x14 on Windows and 0x440 under Wine.
  for (int id : {0x14, 0x440}) {
    HWND icon = ::GetDlgItem(box, id);
    info.hasIcon = info.hasIcon || (icon && ::IsWindowVisible(icon));
  }
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    if (ClassOf(child) == "Button" && ::IsWindowVisible(child)) ++info.buttons;
  return info;
}

void App::DismissMessageBox(const MessageBoxInfo& box) const {
  ::PostMessageA(box.window, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); });
}

bool App::NoDialog() const { return WindowsOf(processId_, "#32770").empty(); }

std::optional<DWORD> App::WaitForExit(std::chrono::milliseconds timeout) {
  if (!process_) return std::nullopt;
  if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

bool App::Running() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

// ---- tree views in another process ----

namespace {
struct VirtualFreeTraits {
  struct type {
    HANDLE process = nullptr;
    void* address = nullptr;
    bool operator!=(const type& other) const { return address != other.address; }
  };
  static type invalid() { return {}; }
  static void close(type memory) { ::VirtualFreeEx(memory.process, memory.address, 0, MEM_RELEASE); }
};
}  // namespace

std::string RemoteTree::ItemText(HTREEITEM item) const {
  win::unique_handle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                                FALSE, processId));
  if (!process) return std::string();
  constexpr size_t kTextSize = 512;
  win::unique_resource<VirtualFreeTraits> memory({process.get(), ::VirtualAllocEx(
      process.get(), nullptr, sizeof(TVITEMA) + kTextSize, MEM_COMMIT, PAGE_READWRITE)});
  char* remote = static_cast<char*>(memory.get().address);
  if (!remote) return std::string();
  TVITEMA request = {};
  request.mask = TVIF_TEXT | TVIF_HANDLE;
  request.hItem = item;
  request.pszText = remote + sizeof(TVITEMA);
  request.cchTextMax = kTextSize;
  ::WriteProcessMemory(process.get(), remote, &request, sizeof request, nullptr);
  ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote));
  char text[kTextSize] = {};
  ::ReadProcessMemory(process.get(), remote + sizeof(TVITEMA), text, kTextSize - 1, nullptr);
  return text;
}

HTREEITEM RemoteTree::Root() const {
  return reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

std::vector<HTREEITEM> RemoteTree::Children(HTREEITEM item) const {
  ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
  std::vector<HTREEITEM> children;
  auto child = reinterpret_cast<HTREEITEM>(
      ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
  for (; child; child = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                                     reinterpret_cast<LPARAM>(child))))
    children.push_back(child);
  return children;
}

void RemoteTree::Select(HTREEITEM item) const {
  ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void App::Drop(const std::vector<std::string>& paths) const {
  std::string block(sizeof(DROPFILES), '\0');
  auto* header = reinterpret_cast<DROPFILES*>(block.data());
  header->pFiles = sizeof(DROPFILES);  // ANSI names follow, each ended by a NUL, the list by one more
  for (const std::string& path : paths) block += path + '\0';
  block += '\0';
  win::unique_handle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId_));
  win::unique_resource<VirtualFreeTraits> memory(
      {process.get(), ::VirtualAllocEx(process.get(), nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE)});
  ::WriteProcessMemory(process.get(), memory.get().address, block.data(), block.size(), nullptr);
  // Sent, not posted, so that the block stays until the program has read it.
  ::SendMessageTimeoutA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory.get().address), 0,
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

void App::SwitchAwayAndBack() const {
  HWND other = ::CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
  ::SetForegroundWindow(other);
  auto active = [&] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(threadId_, &info);
    return info.hwndActive;
  };
  WaitUntil([&] { return active() != window_; }, 3s);
  ::DestroyWindow(other);
  ::SetForegroundWindow(window_);
  WaitUntil([&] { return active() == window_; }, 3s);
}

HTREEITEM RemoteTree::Walk(const std::vector<std::string>& parts) const {
  HTREEITEM item = Root();
  for (const std::string& part : parts) {
    HTREEITEM next = nullptr;
    for (HTREEITEM child : Children(item)) {
      if (ItemText(child).find(part) != std::string::npos) {
        next = child;
        break;
      }
    }
    if (!next) return nullptr;
    item = next;
  }
  return item;
}

}  // namespace driver
