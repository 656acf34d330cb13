// What the built Orvane.exe carries: one manifest, the version record, the icon, the
// picture, and imports from system DLLs only.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../../resources/resource_ids.h"
#include "platform/files.h"

namespace {

std::string ExePath() { return platform::ProgramDirectory() + "\\Orvane.exe"; }

// The programs as they ship: beside the tests, or, when the tests are the x86_64 build of the
// same sources, the i686 build's. Either way their headers are PE32 and read as such.
std::string ShippedPath(const char* name) {
#ifdef ORVANE_SHIPPED_DIR
  return std::string(ORVANE_SHIPPED_DIR) + "\\" + name;
#else
  return platform::ProgramDirectory() + "\\" + name;
#endif
}
const IMAGE_NT_HEADERS32& Pe32(const LOADED_IMAGE& image) {
  return *reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.FileHeader);
}

class OrvaneExe : public ::testing::Test {
 protected:
  HMODULE module = nullptr;
  void SetUp() override {
    module = ::LoadLibraryExA(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << ExePath();
  }
  void TearDown() override { ::FreeLibrary(module); }

  std::string Resource(LPCSTR type, LPCSTR name) {
    HRSRC found = ::FindResourceA(module, name, type);
    if (!found) return std::string();
    const void* data = ::LockResource(::LoadResource(module, found));
    return std::string(static_cast<const char*>(data), ::SizeofResource(module, found));
  }
};

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST_F(OrvaneExe, HoldsExactlyOneManifestWithTheThreeSettings) {
  int manifests = 0;
  ::EnumResourceNamesA(module, MAKEINTRESOURCEA(24), &CountName, reinterpret_cast<LONG_PTR>(&manifests));
  ASSERT_EQ(manifests, 1);
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("dpiAware"), std::string::npos);
}

TEST(Pkzip25Exe, RunsAsInvokerSoItsWritesAreNeverRedirected) {
  const std::string path = platform::ProgramDirectory() + "\\Pkzip25.exe";
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "built without unzip/";
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  int manifests = 0;
  ::EnumResourceNamesA(module, MAKEINTRESOURCEA(24), &CountName, reinterpret_cast<LONG_PTR>(&manifests));
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  const std::string manifest = found ? std::string(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                                                   ::SizeofResource(module, found))
                                     : std::string();
  ::FreeLibrary(module);
  EXPECT_EQ(manifests, 1);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

// One node of the version record: key, value bytes, children.
struct VersionNode {
  std::wstring key;
  std::string value;
  std::vector<VersionNode> children;
};

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

VersionNode ParseVersionNode(const std::string& data, size_t at, size_t& end) {
  auto word = [&](size_t o) { return static_cast<size_t>(static_cast<unsigned char>(data[o]) |
                                                         static_cast<unsigned char>(data[o + 1]) << 8); };
  VersionNode node;
  const size_t length = word(at), valueLength = word(at + 2), type = word(at + 4);
  end = std::min(at + length, data.size());
  size_t p = at + 6;
  for (; p + 1 < end && word(p) != 0; p += 2) node.key += static_cast<wchar_t>(word(p));
  p = Align4(p + 2);
  const size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;  // text values count characters
  node.value = data.substr(p, std::min(valueBytes, end - std::min(p, end)));
  p = Align4(p + valueBytes);
  while (p + 6 <= end) {
    size_t childEnd = 0;
    node.children.push_back(ParseVersionNode(data, p, childEnd));
    if (childEnd <= p) break;
    p = Align4(childEnd);
  }
  return node;
}

std::wstring Text(const std::string& utf16) {
  std::wstring text;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8);
  return text.substr(0, text.find(L'\0'));
}

TEST_F(OrvaneExe, VersionRecordHoldsTheFiveStringsAndNothingElse) {
  size_t end = 0;
  const VersionNode root = ParseVersionNode(Resource(RT_VERSION, MAKEINTRESOURCEA(1)), 0, end);
  ASSERT_EQ(root.key, L"VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(root.value.data());
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  std::map<std::wstring, std::wstring> strings;
  std::vector<std::wstring> tables;
  std::string translation;
  for (const VersionNode& info : root.children) {
    if (info.key == L"StringFileInfo") {
      for (const VersionNode& table : info.children) {
        tables.push_back(table.key);
        for (const VersionNode& entry : table.children) strings[entry.key] = Text(entry.value);
      }
    } else if (info.key == L"VarFileInfo") {
      for (const VersionNode& var : info.children) translation = var.value;
    }
  }
  EXPECT_EQ(tables, std::vector<std::wstring>{L"040904B0"});
  const std::map<std::wstring, std::wstring> expected = {
      {L"ProductName", L"Orvane"},        {L"InternalName", L"Orvane"}, {L"OriginalFilename", L"Orvane.exe"},
      {L"FileVersion", L"1.00"},          {L"ProductVersion", L"1.00"}};
  EXPECT_EQ(strings, expected);
  EXPECT_EQ(translation, std::string("\x09\x04\xB0\x04", 4));
}

TEST_F(OrvaneExe, IconIsOne32By32ImageOf256ColoursWithAMask) {
  const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_ORVANE));
  ASSERT_GE(group.size(), 6u + 14u);
  EXPECT_EQ(group[4], 1) << "images in the icon";
  const unsigned char* entry = reinterpret_cast<const unsigned char*>(group.data()) + 6;
  EXPECT_EQ(entry[0], 32);
  EXPECT_EQ(entry[1], 32);
  const int id = entry[12] | entry[13] << 8;
  const std::string image = Resource(RT_ICON, MAKEINTRESOURCEA(id));
  ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
  EXPECT_EQ(header->biWidth, 32);
  EXPECT_EQ(header->biHeight, 64) << "colour image and mask";
  EXPECT_EQ(header->biBitCount, 8);
  // Header, 256-entry colour table, 32 x 32 bytes of colour, 32 rows of 4 mask bytes.
  EXPECT_EQ(image.size(), sizeof(BITMAPINFOHEADER) + 256 * 4 + 32 * 32 + 32 * 4);
}

TEST_F(OrvaneExe, PictureIs103By97At24Bits) {
  const std::string bitmap = Resource(RT_BITMAP, MAKEINTRESOURCEA(IDB_PICTURE));
  ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap.data());
  EXPECT_EQ(header->biWidth, 103);
  EXPECT_EQ(std::abs(header->biHeight), 97);
  EXPECT_EQ(header->biBitCount, 24);
}

TEST(OrvaneExeImports, OnlyDllsThatWindowsShipsAndA32BitGuiImage) {
  LOADED_IMAGE image = {};
  std::string path = ShippedPath("Orvane.exe");
  ASSERT_TRUE(::MapAndLoad(path.data(), nullptr, &image, FALSE, TRUE)) << path;
  EXPECT_EQ(Pe32(image).FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(Pe32(image).OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(Pe32(image).OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  ULONG size = 0;
  auto* import = static_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      ::ImageDirectoryEntryToData(image.MappedAddress, FALSE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
  ASSERT_NE(import, nullptr);
  std::set<std::string> dlls;
  for (; import->Name != 0; ++import) {
    std::string name = static_cast<const char*>(
        ::ImageRvaToVa(image.FileHeader, image.MappedAddress, import->Name, nullptr));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    dlls.insert(name);
  }
  ::UnMapAndLoad(&image);
  const std::set<std::string> system = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                                        "imagehlp.dll", "kernel32.dll", "msvcrt.dll",   "ole32.dll",
                                        "shell32.dll",  "user32.dll"};
  for (const std::string& dll : dlls) EXPECT_TRUE(system.count(dll)) << dll << " is not a system DLL";
  EXPECT_TRUE(dlls.count("kernel32.dll"));
}

// Functions newer than Windows 2000, by the version that brought them. Hand-written:
// neither the tool chain nor Wine ships a machine-readable record of when each came.
struct Introduced {
  int major, minor;
  std::set<std::string> functions;
};
const Introduced kIntroduced[] = {
    {5, 1, {"AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler", "GetModuleHandleExA",
            "GetModuleHandleExW", "GetNativeSystemInfo", "IsWow64Process"}},
    {6, 0, {"GetTickCount64", "SetFileInformationByHandle", "GetFileInformationByHandleEx", "CompareStringOrdinal",
            "CompareStringEx", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
            "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "InitializeConditionVariable",
            "SleepConditionVariableCS", "SleepConditionVariableSRW", "WakeConditionVariable",
            "WakeAllConditionVariable", "InitOnceExecuteOnce", "InitOnceBeginInitialize", "InitOnceComplete",
            "CreateSymbolicLinkA", "CreateSymbolicLinkW", "GetFinalPathNameByHandleA", "GetFinalPathNameByHandleW",
            "CancelIoEx", "QueryFullProcessImageNameA", "QueryFullProcessImageNameW", "GetLocaleInfoEx",
            "LCMapStringEx", "LocaleNameToLCID", "CreateEventExA", "CreateEventExW", "CreateMutexExA",
            "CreateMutexExW", "CreateSemaphoreExA", "CreateSemaphoreExW", "FlushProcessWriteBuffers",
            "GetErrorMode", "RegGetValueA", "RegGetValueW", "RegDeleteTreeA", "RegDeleteTreeW",
            "SHGetKnownFolderPath", "TaskDialog", "TaskDialogIndirect"}},
    {6, 1, {"TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared", "GetActiveProcessorCount",
            "SetThreadGroupAffinity", "GetThreadGroupAffinity", "GetCurrentProcessorNumberEx", "SetThreadErrorMode"}},
    {6, 2, {"GetSystemTimePreciseAsFileTime", "CreateFile2", "CopyFile2", "WaitOnAddress", "WakeByAddressSingle",
            "WakeByAddressAll", "GetCurrentThreadStackLimits", "GetOverlappedResultEx", "SetDefaultDllDirectories",
            "AddDllDirectory"}},
    {10, 0, {"SetThreadDescription", "GetThreadDescription", "SetProcessDpiAwarenessContext", "GetDpiForWindow"}},
};

// Each shipped program asks for no function that the Windows its header names lacks, so an
// older Windows refuses it with its own message instead of a missing entry point.
TEST(ShippedExes, ImportNothingNewerThanTheWindowsTheirHeaderStates) {
  for (const char* name : {"Orvane.exe", "Pkzip25.exe"}) {
    SCOPED_TRACE(name);
    std::string path = ShippedPath(name);
    LOADED_IMAGE image = {};
    ASSERT_TRUE(::MapAndLoad(path.data(), nullptr, &image, FALSE, TRUE)) << path;
    const IMAGE_OPTIONAL_HEADER32& header = Pe32(image).OptionalHeader;
    ASSERT_EQ(header.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    const int stated = header.MajorSubsystemVersion * 100 + header.MinorSubsystemVersion;
    EXPECT_EQ(stated, 600) << "release/README.txt names Vista as the oldest Windows";
#ifdef ORVANE_STRIPPED
    EXPECT_EQ(image.FileHeader->FileHeader.NumberOfSymbols, 0u) << "not stripped";
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file);
    if (std::string(name) == "Orvane.exe") {
      // It reads Orvane's install records with the unzip program's own reader, and with it
      // that program's file layer: about 180 KB of the 640.
      EXPECT_LE(file.nFileSizeLow, 640u * 1024);
    }
#endif
    auto va = [&](DWORD rva) { return ::ImageRvaToVa(image.FileHeader, image.MappedAddress, rva, nullptr); };
    ULONG size = 0;
    auto* import = static_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        ::ImageDirectoryEntryToData(image.MappedAddress, FALSE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
    ASSERT_NE(import, nullptr);
    int functions = 0;
    for (; import->Name != 0; ++import) {
      auto* thunk = static_cast<IMAGE_THUNK_DATA32*>(va(import->OriginalFirstThunk ? import->OriginalFirstThunk
                                                                                     : import->FirstThunk));
      for (; thunk && thunk->u1.AddressOfData != 0; ++thunk, ++functions) {
        if (IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal)) continue;
        const std::string function = static_cast<IMAGE_IMPORT_BY_NAME*>(va(thunk->u1.AddressOfData))->Name;
        for (const Introduced& version : kIntroduced)
          EXPECT_FALSE(version.functions.count(function) && version.major * 100 + version.minor > stated)
              << function << " needs Windows " << version.major << "." << version.minor;
      }
    }
    ::UnMapAndLoad(&image);
    EXPECT_GT(functions, 10) << "the import table was not read";
  }
}

}  // namespace
