#include "report/lines.h"

namespace orvane {

size_t columns(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::vector<std::string> wrap(const std::string& indent, const std::string& text, size_t width,
                              size_t name_begin, size_t name_end) {
  // Words split at single spaces; the name is one word, spaces and all.
  std::vector<std::string> words;
  std::string word;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == name_begin && name_end > name_begin) {
      if (!word.empty()) words.push_back(word);
      words.push_back(text.substr(name_begin, name_end - name_begin));
      word.clear();
      i = name_end - 1;
    } else if (text[i] == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += text[i];
    }
  }
  if (!word.empty()) words.push_back(word);

  std::vector<std::string> lines;
  const std::string more = indent + "  ";
  std::string line = indent;
  bool empty = true;
  for (const std::string& w : words) {
    if (!empty && columns(line) + 1 + columns(w) > width) {
      lines.push_back(line);
      line = more;
      empty = true;
    }
    line += (empty ? "" : " ") + w;
    empty = false;
  }
  if (!empty || lines.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> wrap_message(const std::string& line, size_t width) {
  if (columns(line) <= width) return {line};
  for (const char* kind : {"Error: ", "Warning: "}) {
    const std::string k = kind;
    if (line.compare(0, k.size(), k) != 0) continue;
    const size_t end = line.find(": ", k.size());
    if (end == std::string::npos) break;
    return wrap("", line, width, k.size(), end + 1);  // the ':' stays with the name
  }
  return wrap("", line, width);
}

}  // namespace orvane
