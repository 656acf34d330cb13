// Times one install through the whole chain against its floor, and Orvane.exe's start-up
// against a minimal window program. Run by bench/chain/run.sh, which makes the archive.
// With "exit" instead of an archive: the time from a close to the end of the process, for
// Orvane.exe (also after both choosers were opened and cancelled) and the minimal window.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "platform/files.h"

using namespace driver;
using Clock = std::chrono::steady_clock;

namespace {

// The archive's files (see run.sh), as they land in the game.
const std::pair<const char*, long long> kLanded[] = {
    {"Maps\\BenchMap.unr", 12000000}, {"Textures\\Bench.utx", 6000000}, {"Sounds\\Bench.uax", 2000000}};

long long SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool AllLanded(const std::string& dir) {
  for (const auto& [name, size] : kLanded)
    if (SizeOf(dir + "\\" + name) != size) return false;
  return true;
}

// Waits with a fine poll, so the figure is not rounded up by the driver's usual interval.
double SecondsUntil(Clock::time_point start, const std::function<bool()>& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double InstallThroughTheWindow(Sandbox& sandbox, const std::string& archive, int run) {
  const std::string game = MakeGameFolder(sandbox.programDir + "\\Game" + std::to_string(run));
  App app(sandbox.programDir + "\\Orvane.exe");
  app.SetText(IDC_TXTFILENAME, archive);
  app.SetText(IDC_TXTUTDIRECTORY, game);
  const auto start = Clock::now();
  app.Click(IDC_CMDACTION_0);
  return SecondsUntil(start, [&] { return AllLanded(game); });
}

double CopyAndExtract(const std::string& programDir, const std::string& archive, int run) {
  const std::string target = programDir + "\\floor" + std::to_string(run);
  const auto start = Clock::now();
  ::CopyFileA(archive.c_str(), (target + ".zip").c_str(), FALSE);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + programDir + "\\Pkzip25.exe\" -extract -overwrite=all \"" + target + ".zip\" \"" + target + "\\\\\"";
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
    return -1;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A chooser opened by its button and cancelled, as a player who changed their mind does.
void OpenAndCancel(HWND window, DWORD processId, int button) {
  ::PostMessageA(::GetDlgItem(window, button), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  WaitUntil([&] {
    auto dialogs = WindowsOf(processId, "#32770");
    dialog = dialogs.empty() ? nullptr : dialogs.front();
    return dialog != nullptr;
  });
  ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  WaitUntil([&] { return !::IsWindow(dialog); });
}

struct StartAndClose {
  double toVisibleWindow = -1;
  double closeToEnd = -1;  // from the close the close box sends to the end of the process
};

StartAndClose TimeStartAndClose(const std::string& exe, const char* className, bool choosersFirst = false) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + exe + "\"";
  const auto start = Clock::now();
  if (!::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return {};
  platform::unique_handle owned(process.hProcess), thread(process.hThread);
  StartAndClose times;
  HWND window = nullptr;
  times.toVisibleWindow = SecondsUntil(start, [&] {
    auto windows = WindowsOf(process.dwProcessId, className);
    window = windows.empty() ? nullptr : windows.front();
    return window != nullptr;
  });
  if (choosersFirst) {
    OpenAndCancel(window, process.dwProcessId, IDC_CMDFILE_0);
    OpenAndCancel(window, process.dwProcessId, IDC_CMDFILE_1);
  }
  const auto close = Clock::now();
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
    times.closeToEnd = std::chrono::duration<double>(Clock::now() - close).count();
  return times;
}

void PrintRow(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("  %-32s %7.3f s (%.3f-%.3f)\n", name, Median(times), times.front(), times.back());
}

int TimeExits(const std::string& programDir, int runs) {
  std::vector<double> orvane, afterChoosers, minimal;
  for (int run = 0; run < runs; ++run) {
    orvane.push_back(TimeStartAndClose(programDir + "\\Orvane.exe", ORVANE_WINDOW_CLASS).closeToEnd);
    afterChoosers.push_back(TimeStartAndClose(programDir + "\\Orvane.exe", ORVANE_WINDOW_CLASS, true).closeToEnd);
    minimal.push_back(TimeStartAndClose(programDir + "\\minimal_window.exe", "MinimalWindow").closeToEnd);
  }
  std::printf("close to end of process, median of %d runs (min-max):\n", runs);
  PrintRow("Orvane.exe", orvane);
  PrintRow("Orvane.exe, after both choosers", afterChoosers);
  PrintRow("minimal window program", minimal);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: chain_bench ARCHIVE|exit [RUNS]\n");
    return 2;
  }
  const std::string archive = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string built = platform::ProgramDirectory();
  Sandbox sandbox("Bench");
  for (const char* name : {"Pkzip25.exe", "Orvane.BAT", "minimal_window.exe"})
    ::CopyFileA((built + "\\" + name).c_str(), (sandbox.programDir + "\\" + name).c_str(), FALSE);
  if (archive == "exit") return TimeExits(sandbox.programDir, runs);
  ::SetEnvironmentVariableA("ORVANE_NO_PAUSE", "1");

  std::vector<double> chain, floor, orvane, minimal;
  for (int run = 0; run < runs; ++run) {
    chain.push_back(InstallThroughTheWindow(sandbox, archive, run));
    floor.push_back(CopyAndExtract(sandbox.programDir, archive, run));
    orvane.push_back(TimeStartAndClose(sandbox.programDir + "\\Orvane.exe", ORVANE_WINDOW_CLASS).toVisibleWindow);
    minimal.push_back(TimeStartAndClose(sandbox.programDir + "\\minimal_window.exe", "MinimalWindow").toVisibleWindow);
  }
  std::printf("archive: %s (%lld bytes), median of %d runs\n", archive.c_str(), SizeOf(archive), runs);
  std::printf("install, Ok to last file in place:   %7.3f s\n", Median(chain));
  std::printf("floor, copy + plain extraction:      %7.3f s\n", Median(floor));
  std::printf("ratio install / floor:               %7.2f\n", Median(chain) / Median(floor));
  std::printf("Orvane.exe, start to visible window: %7.3f s\n", Median(orvane));
  std::printf("minimal window program:              %7.3f s\n", Median(minimal));
  std::printf("ratio Orvane / minimal:              %7.2f\n", Median(orvane) / Median(minimal));
  return 0;
}
