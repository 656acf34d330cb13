// Lines for the player's console: at most a given width (79 fits an 80-column
// console), broken at spaces, a continued line two spaces further in than its
// first. A file name is never broken: one that no line holds stands whole on a
// line of its own.
#pragma once

#include <string>
#include <vector>

namespace orvane {

// The columns text takes on a console: characters, not bytes (the text is UTF-8).
size_t columns(const std::string& text);

// text after indent; [name_begin, name_end) of text is a file name.
std::vector<std::string> wrap(const std::string& indent, const std::string& text, size_t width,
                              size_t name_begin = 0, size_t name_end = 0);

// An "Error: NAME: reason" or "Warning: NAME: reason" line of standard error,
// wrapped with NAME kept whole.
std::vector<std::string> wrap_message(const std::string& line, size_t width);

}  // namespace orvane
