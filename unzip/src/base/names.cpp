#include "base/names.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include "base/text.h"

namespace orvane {

namespace {

// Upper half of code page 437; the lower half is ASCII.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};


// Decodes one code point at s[i], advancing i. Malformed bytes decode as
// U+FFFD one byte at a time, so matching never loops or reads past the end.
char32_t next_cp(const std::string& s, size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) {
    unsigned char cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (cb & 0x3F);
  }
  i += len;
  return c;
}

// Upper-cases one code point as Windows does when it compares file names:
// a simple one-to-one mapping of UTF-16 units, so nothing beyond U+FFFF folds.
char32_t upper(char32_t c) {
  if (c < 0x80) return static_cast<char32_t>(ascii_upper(static_cast<char>(c)));
  if (c > 0xFFFF) return c;
#ifdef _WIN32
  wchar_t in = static_cast<wchar_t>(c), out = in;
  return LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1) == 1 ? out : c;
#else
  // glibc's Unicode table holds the same simple upper-casing, here for tests.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return utf8 ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8)) : c;
#endif
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool equals_ascii_nocase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (ascii_upper(a[i]) != b[i]) return false;
  }
  return i == a.size() && b[i] == 0;
}

// Windows opens these as devices whatever extension follows and whatever
// folder they are in, so such a file can never be created as a file.
bool is_device_name(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kFixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kFixed)
    if (equals_ascii_nocase(base, d)) return true;
  if (base.size() < 4) return false;
  std::string head = base.substr(0, 3);
  if (!equals_ascii_nocase(head, "COM") && !equals_ascii_nocase(head, "LPT")) return false;
  std::string tail = base.substr(3);
  // COM0 and LPT0 are devices too, though rarely listed.
  if (tail.size() == 1 && tail[0] >= '0' && tail[0] <= '9') return true;
  // Windows also treats superscript one to three as device digits.
  return tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3";
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string cp437_to_utf8(const std::string& raw) {
  std::string out;
  out.reserve(raw.size());
  for (unsigned char b : raw) {
    if (b < 0x80)
      out += static_cast<char>(b);
    else
      append_utf8(out, kCp437High[b - 0x80]);
  }
  return out;
}

bool is_valid_utf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t start = i;
    char32_t c = next_cp(s, i);
    if (c == 0xFFFD && i == start + 1 && b >= 0x80) return false;
    size_t len = i - start;
    char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : len == 4 ? 0x10000 : 0;
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  }
  return true;
}

std::vector<std::string> split_path(const std::string& name) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (is_separator(c))
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

std::string check_entry_name(const std::string& name) {
  if (name.empty()) return "empty name";
  if (is_separator(name[0]))
    return name.size() > 1 && is_separator(name[1]) ? "UNC path (\\\\server\\share) not allowed"
                                                    : "absolute path not allowed";
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return "drive letter not allowed";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return "control character in name";
    if (c == ':') return "':' in name (alternate data stream) not allowed";
    if (c == '<' || c == '>' || c == '|' || c == '"' || c == '?' || c == '*')
      return std::string("character '") + static_cast<char>(c) + "' not allowed in a file name";
  }
  std::vector<std::string> parts = split_path(name);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // directory entry
  for (const std::string& p : parts) {
    if (p.empty()) return "empty path component";
    if (p == "..") return "'..' component leads outside the destination";
    if (p.back() == '.' || p.back() == ' ')
      return "component '" + p + "' ends in a dot or a space";
    // Windows holds at most 255 UTF-16 units in one name.
    size_t units = 0;
    for (size_t i = 0; i < p.size();) units += next_cp(p, i) > 0xFFFF ? 2 : 1;
    if (units > 255) return "name longer than 255 characters";
    if (is_device_name(p)) return "'" + p + "' is a Windows device name";
  }
  return std::string();
}

bool wildcard_match(const std::string& pattern, const std::string& text) {
  // Iterative glob with single backtrack point: linear enough for any input.
  size_t p = 0, t = 0, star_p = std::string::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = ++p;
      star_t = t;
      continue;
    }
    if (p < pattern.size()) {
      size_t p2 = p, t2 = t;
      char32_t pc = next_cp(pattern, p2);
      char32_t tc = next_cp(text, t2);
      bool same = pc == '?' || upper(pc) == upper(tc) ||
                  (is_separator(pattern[p]) && is_separator(text[t]));
      if (same) {
        p = p2;
        t = t2;
        continue;
      }
    }
    if (star_p == std::string::npos) return false;
    p = star_p;
    next_cp(text, star_t);
    t = star_t;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool pattern_matches(const std::string& pattern, const std::string& entry_name) {
  bool whole = pattern.find_first_of("/\\") != std::string::npos;
  if (whole) return wildcard_match(pattern, entry_name);
  // A folder entry ("Maps/") is matched by its own name, not by the empty text after the slash.
  std::string name = entry_name;
  while (name.size() > 1 && is_separator(name.back())) name.pop_back();
  size_t cut = name.find_last_of("/\\");
  return wildcard_match(pattern, cut == std::string::npos ? name : name.substr(cut + 1));
}

std::string fold_case(const std::string& s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (is_separator(s[i])) {
      out += '/';
      ++i;
      continue;
    }
    append_utf8(out, upper(next_cp(s, i)));
  }
  return out;
}

std::string shown_archive_name(const std::vector<std::string>& names, const std::string& path) {
  const std::string file = fold_case(path.substr(path.find_last_of("\\/") + 1));
  std::string shown = path;
  for (const std::string& n : names) {
    const size_t eq = n.find('=');
    if (eq != std::string::npos && eq + 1 < n.size() && fold_case(n.substr(0, eq)) == file) shown = n.substr(eq + 1);
  }
  return shown;
}

std::string without_trailing(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/' || path.back() == ' ')) path.pop_back();
  if (path.size() == 2 && path[1] == ':') path += '\\';
  return path;
}

}  // namespace orvane
