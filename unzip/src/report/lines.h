// Lines for the player's console: at most a given width (79 fits an 80-column
// console), broken at spaces, a continued line two spaces further in than its
// first. A file name is never broken: one that no line holds stands whole on a
// line of its own.
#pragma once

#include <string>
#include <vector>

namespace orvane {

// text after indent; [name_begin, name_end) of text is a file name.
std::vector<std::string> wrap(const std::string& indent, const std::string& text, size_t width,
                              size_t name_begin = 0, size_t name_end = 0);

// An "Error: NAME: reason" or "Warning: NAME: reason" line of standard error,
// wrapped with NAME kept whole.
std::vector<std::string> wrap_message(const std::string& line, size_t width);

// A report line ("Kind: text") as the install script lists it: "  text", then
// note, wrapped. The name is the text before a trailing " (reason)", before
// the first ": " of a Manifest line, or else the whole text. Empty for a line
// of another kind.
std::vector<std::string> shown_report_line(const std::string& line, const std::string& kind,
                                           const std::string& note, size_t width);

}  // namespace orvane
