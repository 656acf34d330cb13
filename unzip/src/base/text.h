// Small text helpers: ASCII case, trimming, names made safe to show, and the
// ini files the game and its umods carry.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvane {

inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Only A-Z change: the bytes of other letters, UTF-8 or a code page, stay as they are.
std::string ascii_lower(std::string s);

// Without leading and trailing spaces, tabs and carriage returns.
std::string trim(const std::string& s);

// The pieces of text between each `at` (one more than there are `at`s).
std::vector<std::string> split(const std::string& text, char at);

// The lines of a text, without their line ends (LF or CR LF); none after the last line end.
std::vector<std::string> text_lines(const std::string& text);

// Control characters (below 0x20, and 0x7F) become '?', so a name read from a
// file cannot forge a line of its own in a message.
std::string without_controls(std::string s);

// An ini file as the game reads them: [Section] headers, Key=Value lines
// (both trimmed), ';' comments; names compare without regard to ASCII case,
// and a section that appears twice is read as one. Lines before the first
// section, and lines without '=', are not read. Written here because Windows'
// own reader (GetPrivateProfileString) reads only files and only on Windows.
class Ini {
 public:
  struct Line {
    std::string key;  // lower-cased, for comparing
    std::string name, value;
  };
  enum class Headers {
    kToBracket,  // the name runs to the first ']' (or the line's end), trimmed
    kWholeLine,  // the line is '[' name ']' exactly; another '[' line ends the section
  };
  explicit Ini(const std::string& text, Headers headers = Headers::kToBracket);

  bool has(const std::string& section) const;
  // Empty for a section the file does not have.
  const std::vector<Line>& section(const std::string& name) const;

 private:
  std::map<std::string, std::vector<Line>> sections_;
};

}  // namespace orvane
