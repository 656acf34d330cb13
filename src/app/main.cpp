#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/install_action.h"

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // The folder browser needs COM on this, the user-interface thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  // "Send To", "Open with" and a drop onto the icon all pass the archives as the
  // arguments; the runtime splits the command line by the usual quoting rules.
  std::vector<std::string> archives(__argv + std::min(__argc, 1), __argv + __argc);
  const int exitCode = frmMain::Run(instance, showCommand, archives.empty() ? "" : install::ArchiveBoxText(archives));
  if (SUCCEEDED(com)) ::CoUninitialize();
  return exitCode;
}
