#include "app/remove_dialog.h"

#include <exception>

#include "app/control_ids.h"

namespace removal {

namespace {

struct State {
  const std::vector<Listed>* listed = nullptr;
  std::vector<std::string> chosen;
};

void Fill(HWND dialog, const State& state) {
  HWND list = ::GetDlgItem(dialog, IDC_REMOVE_LIST);
  // Columns for when and how many files, in dialog units.
  int tabs[] = {190, 262};
  ::SendMessageA(list, LB_SETTABSTOPS, static_cast<WPARAM>(std::size(tabs)), reinterpret_cast<LPARAM>(tabs));
  for (const Listed& l : *state.listed) ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(l.text.c_str()));
  // Remove waits for a choice, so that Enter never removes what nobody chose.
  ::EnableWindow(::GetDlgItem(dialog, IDC_REMOVE_OK), FALSE);
}

void Choose(HWND dialog, State& state) {
  HWND list = ::GetDlgItem(dialog, IDC_REMOVE_LIST);
  const LRESULT count = ::SendMessageA(list, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return;
  std::vector<int> items(static_cast<size_t>(count));
  const LRESULT got = ::SendMessageA(list, LB_GETSELITEMS, items.size(), reinterpret_cast<LPARAM>(items.data()));
  for (LRESULT k = 0; k < got; ++k) state.chosen.push_back(state.listed->at(static_cast<size_t>(items[k])).archive);
  ::EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // No exception may unwind through the system's frames: this is the edge.
  try {
    State* state = reinterpret_cast<State*>(::GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
      case WM_INITDIALOG:
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        Fill(dialog, *reinterpret_cast<State*>(lParam));
        return TRUE;  // the focus goes to the list, the first control that takes it
      case WM_COMMAND:
        if (LOWORD(wParam) == IDC_REMOVE_LIST && HIWORD(wParam) == LBN_SELCHANGE) {
          const LRESULT count = ::SendDlgItemMessageA(dialog, IDC_REMOVE_LIST, LB_GETSELCOUNT, 0, 0);
          ::EnableWindow(::GetDlgItem(dialog, IDC_REMOVE_OK), count > 0);
        } else if (LOWORD(wParam) == IDC_REMOVE_OK && state) {
          Choose(dialog, *state);
        } else if (LOWORD(wParam) == IDCANCEL) {
          ::EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
      default:
        return FALSE;
    }
  } catch (const std::exception&) {
    // Nothing is chosen: nothing is removed.
    ::EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
}

}  // namespace

std::vector<std::string> ChooseMaps(HINSTANCE instance, HWND owner, const std::vector<Listed>& listed) {
  State state;
  state.listed = &listed;
  const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_REMOVE_MAPS), owner, Procedure,
                                           reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) state.chosen.clear();
  return state.chosen;
}

}  // namespace removal
