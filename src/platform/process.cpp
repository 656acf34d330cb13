#include "platform/process.h"

#include <windows.h>

#include <vector>

#include "platform/error.h"
#include "win/handles.h"

namespace platform {

void StartCommandLine(const std::string& commandLine, int showWindow) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showWindow);
  PROCESS_INFORMATION started = {};
  // CreateProcessA may write into its command line, so it gets a copy of its own.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    ThrowLastError();
  }
  win::unique_handle process(started.hProcess);
  win::unique_handle thread(started.hThread);
}

}  // namespace platform
