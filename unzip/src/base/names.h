// Entry names: decoding to UTF-8, the safety rules an entry must pass before
// anything is written, and the wildcard matching used for file patterns.
#pragma once

#include <string>
#include <vector>

namespace orvane {

// Appends code point c to out as UTF-8.
void append_utf8(std::string& out, char32_t c);

// Converts CP437 bytes (the ZIP default when general-purpose bit 11 is clear).
std::string cp437_to_utf8(const std::string& raw);

// True when s is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool is_valid_utf8(const std::string& s);

// Splits on '/' and '\' alike; empty components are kept so they can be refused.
std::vector<std::string> split_path(const std::string& name);

// Returns an empty string when the name (UTF-8, already decoded) is safe to
// create below the destination, otherwise the reason it is refused.
// A trailing separator (directory entry) is allowed.
std::string check_entry_name(const std::string& name);

// Case-insensitive match of '*' (any run, also across separators) and '?'
// (one character), on code points.
bool wildcard_match(const std::string& pattern, const std::string& text);

// Applies the contract: a pattern without a separator is matched against the
// last component, one with a separator against the whole name ('\' == '/').
bool pattern_matches(const std::string& pattern, const std::string& entry_name);

// Key under which two names denote the same file on Windows (upper-cased as
// Windows compares file names, '\\' and '/' alike).
std::string fold_case(const std::string& s);

// A folder as the player names it, without the separators and spaces at its end: "C:\UT\"
// and "C:\UT " are the folder "C:\UT" (Windows drops trailing spaces from a folder's name).
// A drive's root keeps its separator: "C:" alone is the current folder of drive C.
std::string without_trailing(std::string path);

// How messages name an archive given as path: the text after "FILE=" of the line of
// names (as Orvane.exe writes them, "Map2.ZIP=D:\Maps\CTF-Face.zip") whose FILE is the
// path's own file name, the last such line winning; the path itself when no line names
// it, or the line names it as nothing.
std::string shown_archive_name(const std::vector<std::string>& names, const std::string& path);

}  // namespace orvane
