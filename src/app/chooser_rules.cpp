#include "app/chooser_rules.h"

#include <algorithm>

namespace chooser {

std::string FolderOf(const std::string& path) {
  const size_t last = path.rfind('\\');
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string TextBeforeNul(const std::string& buffer) { return buffer.substr(0, buffer.find('\0')); }

std::string WithTrailingBackslash(const std::string& folder) {
  return !folder.empty() && folder.back() == '\\' ? folder : folder + '\\';
}

std::vector<std::string> PickedFiles(const std::string& selection) {
  std::vector<std::string> parts;
  for (size_t at = 0; at < selection.size();) {
    const size_t end = std::min(selection.find('\0', at), selection.size());
    if (end == at) break;
    parts.push_back(selection.substr(at, end - at));
    at = end + 1;
  }
  if (parts.size() < 2) return parts;
  const std::string folder = WithTrailingBackslash(parts[0]);
  std::vector<std::string> files;
  for (size_t k = 1; k < parts.size(); ++k) files.push_back(folder + parts[k]);
  return files;
}

}  // namespace chooser
