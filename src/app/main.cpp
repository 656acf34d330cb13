#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // The folder browser needs COM on this, the user-interface thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  // "Send To", "Open with" and a drop onto the icon all pass the archive as the first
  // argument; the runtime splits the command line by the usual quoting rules.
  const int exitCode = frmMain::Run(instance, showCommand, __argc > 1 ? __argv[1] : "");
  if (SUCCEEDED(com)) ::CoUninitialize();
  return exitCode;
}
