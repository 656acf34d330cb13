// The text rules of the file and folder choosers.
#pragma once
#include <string>
#include <vector>

namespace chooser {

// The leading part of a path up to and including its last "\"; empty when it has none.
std::string FolderOf(const std::string& path);

// The text before the first NUL; the whole text when it holds none.
std::string TextBeforeNul(const std::string& buffer);

// The folder with one "\" at its end: appended only when it is missing.
std::string WithTrailingBackslash(const std::string& folder);

// The files of a dialog's Selection: one full path, or a folder and the names in it.
std::vector<std::string> PickedFiles(const std::string& selection);

}  // namespace chooser
