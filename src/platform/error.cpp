#include "platform/error.h"

#include "win/handles.h"

namespace platform {

UnhandledError::UnhandledError(unsigned long number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string DescribeWindowsError(DWORD number) {
  // The window's texts are in the ANSI code page.
  const std::wstring description = win::SystemErrorText(number);
  if (description.empty()) return "Unknown error";
  const int size = static_cast<int>(description.size());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, description.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, description.data(), size, &text[0], n, nullptr, nullptr);
  return text;
}

void ThrowLastError() {
  const DWORD number = ::GetLastError();
  throw UnhandledError(number, DescribeWindowsError(number));
}

std::string UnhandledErrorReport(const UnhandledError& error) {
  return "Run-time error '" + std::to_string(error.number()) + "':\r\n\r\n" + error.description();
}

}  // namespace platform
