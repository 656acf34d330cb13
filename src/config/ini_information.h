// Single keys of an INI file, by default Config.INI beside the program.
#pragma once
#include <string>

// Program-wide path of Config.INI, set once at start-up; used whenever a caller passes an
// empty file path.
extern std::string ConfigFilePath;

// The key's value, or the empty text when the file, the section or the key is missing,
// the value is empty, or the read failed. Reads at most 254 bytes. An empty FilePath is
// replaced by ConfigFilePath, in the caller's variable too.
std::string ReadIniValue(const std::string& Section, const std::string& Key, std::string& FilePath);

// Sets the key, or deletes it when the value is empty or only spaces. The value is written
// untrimmed. True when the call ran to its end, whatever the system made of the write;
// false when a failure interrupted it. An empty FilePath is replaced as for ReadIniValue.
bool WriteIniValue(const std::string& Section, const std::string& Key, const std::string& Value,
                   std::string& FilePath);
