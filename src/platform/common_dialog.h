// The common file dialog as a small object with the properties the program uses.
// ShowOpen and ShowSave wrap GetOpenFileNameA and GetSaveFileNameA.
#pragma once
#include <windows.h>

#include <string>

namespace platform {

// The number the dialog raises when it is cancelled while CancelError is true.
constexpr unsigned long kDialogCancelled = 32755;

class CommonDialog {
 public:
  std::string Filter;        // description|pattern pairs
  bool CancelError = false;  // a cancel raises UnhandledError(kDialogCancelled)
  int FilterIndex = 0;       // counted from 1
  std::string DialogTitle;
  std::string FileName;      // after a pick: the chosen file's full path
  // After a pick: every name the dialog gave, each ended by a NUL. With OFN_ALLOWMULTISELECT
  // and several files, the folder first, then each file's name in it.
  std::string Selection;
  DWORD Flags = 0;           // OPENFILENAME option bits
  std::string InitDir;       // where the dialog opens; empty leaves it to the system
  HWND Owner = nullptr;

  void ShowOpen() { Show(false); }
  void ShowSave() { Show(true); }

 private:
  void Show(bool saving);
};

// "a|b|c|d" becomes "a\0b\0c\0d\0\0", the form OPENFILENAME wants.
std::string FilterToDoubleNul(const std::string& filter);

}  // namespace platform
