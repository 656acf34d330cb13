#include "platform/error.h"

namespace platform {

UnhandledError::UnhandledError(unsigned long number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string DescribeWindowsError(DWORD number) {
  char buffer[512] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, number, 0, buffer, static_cast<DWORD>(std::size(buffer)),
                                  nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) text = "Unknown error";
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
