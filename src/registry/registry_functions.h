// Reads one plain string value from the registry, with the caller's default for anything else.
#pragma once
#include <windows.h>

#include <string>

// Opens a key in the registry's 32-bit view, where the game's own (32-bit) installer wrote
// its entry. The 32-bit program is given that view by Windows itself through RegOpenKeyA;
// a 64-bit build of the same sources has to ask for it.
LONG APIENTRY RegOpenKey32View(HKEY RootKey, LPCSTR SubKey, PHKEY Result);

// The three registry calls, so that a test can watch them.
struct RegistryCalls {
  decltype(&::RegOpenKeyA) open = &RegOpenKey32View;
  decltype(&::RegQueryValueExA) query = &::RegQueryValueExA;
  decltype(&::RegCloseKey) close = &::RegCloseKey;
};

// The text of a REG_SZ value up to its first NUL (the whole data when it has none);
// Default for a missing key or value, any other type, or any failure. The key is closed
// on every path, also when the open failed.
std::string ReadRegistryString(HKEY RootKey, const std::string& SubKey, const std::string& ValueName,
                               const std::string& Default, const RegistryCalls& calls = {});
