// The one error type for "a failure that nothing handles". It carries the error's number
// and its description; the window catches it at its edge and shows the modal report.
#pragma once
#include <windows.h>
#include <stdexcept>
#include <string>

namespace platform {

class UnhandledError : public std::runtime_error {
 public:
  UnhandledError(unsigned long number, std::string description);
  unsigned long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  unsigned long number_;
  std::string description_;
};

// The system's text for a Windows error number, without the trailing line break.
std::string DescribeWindowsError(DWORD number);

// Throws UnhandledError for the calling thread's last Windows error.
[[noreturn]] void ThrowLastError();

// The text of the modal report: the number and the description.
std::string UnhandledErrorReport(const UnhandledError& error);

}  // namespace platform
