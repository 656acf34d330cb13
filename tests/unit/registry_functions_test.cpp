#include "registry/registry_functions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A key of the test's own, under the current user, removed afterwards.
class RegistryReader : public ::testing::Test {
 protected:
  const std::string subKey = "Software\\OrvaneTest\\" + std::to_string(::GetCurrentProcessId());
  HKEY key = nullptr;

  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, subKey.c_str(), &key), ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegCloseKey(key);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, subKey.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OrvaneTest");
  }
  // Stores exactly these bytes, so terminators are under the test's control.
  void Set(const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  std::string Read(const char* name, const std::string& fallback = "<default>") {
    return ReadRegistryString(HKEY_CURRENT_USER, subKey, name, fallback);
  }
};

TEST_F(RegistryReader, StringValuesAreCutAtTheirFirstNul) {
  Set("terminated", REG_SZ, std::string("C:\\UnrealTournament\0", 20));
  Set("unterminated", REG_SZ, "C:\\UnrealTournament");
  Set("inner", REG_SZ, std::string("abc\0def\0", 8));
  EXPECT_EQ(Read("terminated"), "C:\\UnrealTournament");
  EXPECT_EQ(Read("unterminated"), "C:\\UnrealTournament");
  EXPECT_EQ(Read("inner"), "abc");
}

TEST_F(RegistryReader, EmptyStringIsEmptyNotTheDefault) {
  Set("size0", REG_SZ, "");
  Set("loneNul", REG_SZ, std::string(1, '\0'));
  EXPECT_EQ(Read("size0"), "");
  EXPECT_EQ(Read("loneNul"), "");
}

TEST_F(RegistryReader, AnyOtherTypeOrAnythingMissingGivesTheDefaultUnchanged) {
  Set("expand", REG_EXPAND_SZ, std::string("C:\\UnrealTournament\0", 20));
  Set("multi", REG_MULTI_SZ, std::string("C:\\UT\0\0", 7));
  Set("dword", REG_DWORD, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(Read("expand"), "<default>");
  EXPECT_EQ(Read("multi"), "<default>");
  EXPECT_EQ(Read("dword"), "<default>");
  EXPECT_EQ(Read("absent"), "<default>");
  EXPECT_EQ(Read("absent", ""), "");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, subKey + "\\missing", "Folder", " x "), " x ");
}

TEST_F(RegistryReader, ValueOfAnyLengthIsReadUpToItsFirstNul) {
  const std::string longText(40000, 'u');
  Set("long", REG_SZ, longText + std::string(1, '\0'));
  EXPECT_EQ(Read("long"), longText);
  Set("longInner", REG_SZ, longText + std::string("\0tail", 5));
  EXPECT_EQ(Read("longInner"), longText);
}

// The seam: calls recorded in order, the open made to fail as for a missing key.
std::vector<std::string> calls;
HKEY closedWith = reinterpret_cast<HKEY>(1);

LONG WINAPI FailingOpen(HKEY, LPCSTR, PHKEY key) {
  calls.push_back("open");
  *key = nullptr;
  return ERROR_FILE_NOT_FOUND;
}
LONG WINAPI RecordingQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  calls.push_back("query");
  return ::RegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI RecordingClose(HKEY key) {
  calls.push_back("close");
  closedWith = key;
  return ERROR_INVALID_HANDLE;
}

TEST(RegistryReaderCalls, FailedOpenStillClosesOnceWithTheNullHandle) {
  calls.clear();
  RegistryCalls seam;
  seam.open = &FailingOpen;
  seam.query = &RecordingQuery;
  seam.close = &RecordingClose;
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Nothing", "Folder", "dflt", seam), "dflt");
  EXPECT_EQ(calls, (std::vector<std::string>{"open", "query", "close"}));
  EXPECT_EQ(closedWith, nullptr);
}

// The game's 32-bit installer writes its entry in the 32-bit view of HKLM\Software. Every
// build reads that view, as the 32-bit release does on 64-bit Windows; only there, and in a
// 64-bit build, is the 64-bit view another one.
TEST(RegistryReaderView, ReadsTheEntryThatOnlyThe32BitViewHolds) {
  const std::string base = "Software\\OrvaneTestView" + std::to_string(::GetCurrentProcessId());
  auto write = [&](REGSAM view, const std::string& sub, const char* text) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, "Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 8);
    ::RegCloseKey(key);
  };
  write(KEY_WOW64_32KEY, base + "\\Only32", "C:\\UT32");
  write(KEY_WOW64_64KEY, base + "\\Only64", "C:\\UT64");
  const std::string only32 = ReadRegistryString(HKEY_LOCAL_MACHINE, base + "\\Only32", "Folder", "dflt");
  const std::string only64 = ReadRegistryString(HKEY_LOCAL_MACHINE, base + "\\Only64", "Folder", "dflt");
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    for (const char* sub : {"\\Only32", "\\Only64", ""})
      ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (base + sub).c_str(), view, 0);
  }
  EXPECT_EQ(only32, "C:\\UT32");
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  if (sizeof(void*) == 8 || wow64) {
    EXPECT_EQ(only64, "dflt") << "read the 64-bit view";
  }
}

}  // namespace
