#include "platform/common_dialog.h"

#include <commdlg.h>

#include <vector>

#include "platform/error.h"

namespace platform {

std::string FilterToDoubleNul(const std::string& filter) {
  std::string result = filter;
  for (char& c : result) {
    if (c == '|') c = '\0';
  }
  result.push_back('\0');
  result.push_back('\0');
  return result;
}

void CommonDialog::Show(bool saving) {
  const std::string filter = FilterToDoubleNul(Filter);
  // Room for a long path; the dialog reports FNERR_BUFFERTOOSMALL beyond it.
  std::vector<char> file(32768, '\0');
  FileName.copy(file.data(), file.size() - 1);

  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = InitDir.empty() ? nullptr : InitDir.c_str();
  ofn.lpstrTitle = DialogTitle.empty() ? nullptr : DialogTitle.c_str();
  ofn.Flags = Flags;

  const BOOL picked = saving ? ::GetSaveFileNameA(&ofn) : ::GetOpenFileNameA(&ofn);
  if (!picked) {
    const DWORD failure = ::CommDlgExtendedError();
    if (failure != 0) throw UnhandledError(failure, "Common dialog failure");
    if (CancelError) throw UnhandledError(kDialogCancelled, "Cancel was selected.");
    return;
  }
  FileName = file.data();
  Selection.clear();
  for (const char* name = file.data(); *name; name += std::char_traits<char>::length(name) + 1)
    Selection.append(name).push_back('\0');
  FilterIndex = static_cast<int>(ofn.nFilterIndex);
}

}  // namespace platform
