#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // The folder browser needs COM on this, the user-interface thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const int exitCode = frmMain::Run(instance, showCommand);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return exitCode;
}
