#include "registry/registry_functions.h"

#include "win/handles.h"

LONG APIENTRY RegOpenKey32View(HKEY RootKey, LPCSTR SubKey, PHKEY Result) {
#ifdef _WIN64
  return ::RegOpenKeyExA(RootKey, SubKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, Result);
#else
  return ::RegOpenKeyA(RootKey, SubKey, Result);
#endif
}

std::string ReadRegistryString(HKEY RootKey, const std::string& SubKey, const std::string& ValueName,
                               const std::string& Default, const RegistryCalls& calls) {
  std::string result = Default;
  HKEY key = nullptr;
  calls.open(RootKey, SubKey.c_str(), &key);
  // Closed on every path, with the null handle too when the open failed.
  win::scope_exit closeKey([&] { calls.close(key); });

  DWORD type = 0;
  DWORD size = 0;
  if (calls.query(key, ValueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::string buffer(size, ' ');
    DWORD scratchType = 0;
    DWORD readSize = size;
    calls.query(key, ValueName.c_str(), nullptr, &scratchType,
                reinterpret_cast<BYTE*>(buffer.data()), &readSize);
    // A value of any length is cut at its first NUL: the terminator and whatever the
    // read left unfilled go; a value stored without a terminator is returned whole.
    const size_t nul = buffer.find('\0');
    result = nul == std::string::npos ? buffer : buffer.substr(0, nul);
  }
  return result;
}
