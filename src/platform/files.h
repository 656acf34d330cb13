// Files and folders, as the program uses them.
#pragma once
#include <string>

namespace platform {

// The folder that holds the running executable: no trailing "\" except at a drive root.
std::string ProgramDirectory();

// True when the exact text names an existing file that is neither a directory nor hidden
// nor a system file. Wildcards are not patterns here: a name holding "*", "?", "<", ">" or
// '"' is never found, because no file can bear that literal name.
bool IsOrdinaryFile(const std::string& path);

// True when the path names an existing folder.
bool IsFolder(const std::string& path);

// True when both paths name one existing file, however each is spelt.
bool IsSameFile(const std::string& a, const std::string& b);

// Creates every missing folder along the path; a trailing "\" makes the last part a folder.
bool MakeSureDirectoryPathExists(const std::string& path);

// Copies a file over an existing one. A read-only target left by an earlier run is made
// writable first; a target that is the source itself is left as it is. Throws
// UnhandledError when the copy fails.
void CopyFileReplacing(const std::string& from, const std::string& to);

// The path made absolute against the current folder, or the text itself when Windows
// cannot do it.
std::string FullPath(const std::string& path);

// Writes text (in the ANSI code page) as a new file or over an old one, converted to the
// OEM code page, in which the command processor reads a file. Throws UnhandledError when
// the file cannot be written.
void WriteOemTextFile(const std::string& path, const std::string& text);

// Text from one code page to another, through UTF-16: the unzip program's texts are UTF-8,
// the window's ANSI.
std::string Utf8FromAnsi(const std::string& text);
std::string AnsiFromUtf8(const std::string& text);

}  // namespace platform
