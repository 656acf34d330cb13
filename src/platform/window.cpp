#include "platform/window.h"

#include <vector>

namespace platform {

std::string GetText(HWND control) {
  const int length = ::GetWindowTextLengthA(control);
  std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), static_cast<size_t>(copied));
}

void SetText(HWND control, const std::string& text) { ::SetWindowTextA(control, text.c_str()); }

void ShowMessage(HWND owner, const std::string& text, const std::string& title, UINT style) {
  ::MessageBoxA(owner, text.c_str(), title.c_str(), style);
}

}  // namespace platform
