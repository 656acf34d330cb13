#include "base/text.h"

#include <algorithm>

namespace orvane {

std::string ascii_lower(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& text, char at) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == at)
      pieces.emplace_back();
    else
      pieces.back().push_back(c);
  }
  return pieces;
}

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines = split(text, '\n');
  if (lines.back().empty()) lines.pop_back();
  for (std::string& l : lines)
    if (!l.empty() && l.back() == '\r') l.pop_back();
  return lines;
}

std::string without_controls(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}

Ini::Ini(const std::string& text, Headers headers) {
  std::vector<Line>* current = nullptr;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (headers == Headers::kToBracket)
        current = &sections_[ascii_lower(trim(line.substr(1, line.find(']') - 1)))];
      else
        current = line.size() >= 2 && line.back() == ']' ? &sections_[ascii_lower(line.substr(1, line.size() - 2))]
                                                          : nullptr;
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    std::string name = trim(line.substr(0, eq));
    current->push_back(Line{ascii_lower(name), name, trim(line.substr(eq + 1))});
  }
}

bool Ini::has(const std::string& section) const { return sections_.count(ascii_lower(section)) != 0; }

const std::vector<Ini::Line>& Ini::section(const std::string& name) const {
  static const std::vector<Line> kNone;
  auto it = sections_.find(ascii_lower(name));
  return it == sections_.end() ? kNone : it->second;
}

}  // namespace orvane
