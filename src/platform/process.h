#pragma once
#include <string>

namespace platform {

// Starts a command line with the given window-show value and returns at once, without
// waiting for it. A ".BAT" file is run by the command processor. Throws UnhandledError
// when the command cannot be started.
void StartCommandLine(const std::string& commandLine, int showWindow);

}  // namespace platform
