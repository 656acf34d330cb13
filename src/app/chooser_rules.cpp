#include "app/chooser_rules.h"

namespace chooser {

std::string FolderOf(const std::string& path) {
  const size_t last = path.rfind('\\');
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string TextBeforeNul(const std::string& buffer) { return buffer.substr(0, buffer.find('\0')); }

std::string WithTrailingBackslash(const std::string& folder) {
  return !folder.empty() && folder.back() == '\\' ? folder : folder + '\\';
}

}  // namespace chooser
