#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"

namespace orvane {
namespace {

TEST(Bytes, LittleEndianWithHighBitsSet) {
  const unsigned char b[] = {0x01, 0x82, 0x03, 0x84, 0x05, 0x06, 0x07, 0xF8};
  EXPECT_EQ(le16(b), 0x8201u);
  EXPECT_EQ(le32(b), 0x84038201u);
  EXPECT_EQ(le64(b), 0xF807060584038201ull);
}

TEST(Bytes, CompactIndexAtItsLimits) {
  const uint64_t k32 = 0x7FFFFFFF;
  struct Row {
    std::vector<unsigned char> bytes;
    uint64_t limit;
    Compact result;
    int64_t value;
    size_t used;
  } rows[] = {
      {{0x00}, k32, Compact::kOk, 0, 1},
      {{0x80}, k32, Compact::kOk, 0, 1},  // minus zero
      {{0x3F, 0xEE}, k32, Compact::kOk, 63, 1},
      {{0xBF}, k32, Compact::kOk, -63, 1},
      {{0x40, 0x01}, k32, Compact::kOk, 64, 2},
      {{0xC0, 0x01}, k32, Compact::kOk, -64, 2},
      {{0x7F, 0xFF, 0xFF, 0xFF, 0x0F}, k32, Compact::kOk, 0x7FFFFFFF, 5},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, k32, Compact::kOk, -0x7FFFFFFF, 5},
      {{0x40, 0x80, 0x80, 0x80, 0x10}, k32, Compact::kTooLarge, 0, 5},
      {{0xC0, 0x80, 0x80, 0x80, 0x10}, k32, Compact::kTooLarge, 0, 5},
      {{0xC0, 0x80, 0x80, 0x80, 0x10}, UINT64_MAX, Compact::kOk, -0x80000000ll, 5},
      {{0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, UINT64_MAX, Compact::kOk, (1ll << 34) - 1, 5},
      {{0x40, 0x80, 0x80, 0x80, 0x80, 0x00}, UINT64_MAX, Compact::kTooLong, 0, 5},
      {{0x40, 0x80}, UINT64_MAX, Compact::kEnd, 0, 2},
      {{}, UINT64_MAX, Compact::kEnd, 0, 0},
  };
  for (const Row& r : rows) {
    size_t at = 0;
    auto next = [&](unsigned char& b) {
      if (at >= r.bytes.size()) return false;
      b = r.bytes[at++];
      return true;
    };
    int64_t value = 0;
    const Compact got = read_compact_index(next, r.limit, value);
    const std::string row = "row with " + std::to_string(r.bytes.size()) + " bytes, first " +
                            (r.bytes.empty() ? std::string("none") : std::to_string(r.bytes[0]));
    EXPECT_EQ(got, r.result) << row;
    EXPECT_EQ(at, r.used) << row;
    if (r.result == Compact::kOk) {
      EXPECT_EQ(value, r.value) << row;
    }
  }
}

TEST(Text, CaseTrimAndControls) {
  // Only A-Z fold: UTF-8 and code-page letters keep their bytes, and the
  // characters just outside the letters stay.
  EXPECT_EQ(ascii_lower(std::string("CTF-Face\xC3\x84Z[@\xC4\xDE")), "ctf-face\xC3\x84z[@\xC4\xDE");
  for (char c : {'@', '[', '`', '{', '\xC4', '\xE4'}) {
    EXPECT_EQ(ascii_lower(c), c);
    EXPECT_EQ(ascii_upper(c), c);
  }
  EXPECT_EQ(ascii_upper('a'), 'A');
  EXPECT_EQ(ascii_upper('z'), 'Z');
  EXPECT_EQ(ascii_lower('A'), 'a');

  EXPECT_EQ(trim(" \t a b\t\r"), "a b");
  EXPECT_EQ(trim(" \r\t"), "");
  EXPECT_EQ(trim("\na\n"), "\na\n");  // lines are split on '\n' before they are trimmed

  EXPECT_EQ(without_controls(std::string("a\nb\x7F\x1B\tc\x80\xC3\xA9 ~", 12)), "a?b???c\x80\xC3\xA9 ~");
  EXPECT_EQ(without_controls(std::string("x\0y", 3)), "x?y");
  using Lines = std::vector<std::string>;
  EXPECT_EQ(text_lines("a\r\n\nb\r\n"), (Lines{"a", "", "b"}));  // none after the last line end
  EXPECT_EQ(text_lines("a\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(text_lines(""), Lines{});
}

TEST(Text, IniSectionsAndKeys) {
  const std::string text =
      "Stray=before any section\r\n"
      "[Core.System]\r\n"
      "  Paths = ../Maps/*.unr \r\n"
      ";Paths=../Commented/*.u\n"
      "no equals sign\n"
      "PATHS=../System/*.u\n"
      "[ Setup ] trailing\n"
      "Group=SetupGroup\n"
      "[Unclosed\n"
      "Key=unclosed\n"
      "[core.system]\n"
      "Paths=a=b\n";
  auto values = [](const Ini& ini, const char* section, const char* key) {
    std::string all;
    for (const Ini::Line& l : ini.section(section))
      if (l.key == key) all += "|" + l.value;
    return all;
  };
  const Ini lenient(text);
  EXPECT_EQ(values(lenient, "CORE.SYSTEM", "paths"), "|../Maps/*.unr|../System/*.u|a=b");
  EXPECT_EQ(values(lenient, "setup", "group"), "|SetupGroup");
  EXPECT_EQ(values(lenient, "unclosed", "key"), "|unclosed");
  EXPECT_EQ(lenient.section("core.system").front().name, "Paths");
  EXPECT_FALSE(lenient.has("stray"));

  // The whole line is the header: "[ Setup ] trailing" and "[Unclosed" are no
  // sections, and each ends the one before it.
  const Ini strict(text, Ini::Headers::kWholeLine);
  EXPECT_EQ(values(strict, "core.system", "paths"), "|../Maps/*.unr|../System/*.u|a=b");
  EXPECT_FALSE(strict.has("setup"));
  EXPECT_FALSE(strict.has("unclosed"));
  EXPECT_TRUE(values(strict, "core.system", "group").empty());
  EXPECT_TRUE(Ini("[Core.System").has("core.system"));
  EXPECT_FALSE(Ini("[Core.System", Ini::Headers::kWholeLine).has("core.system"));
  EXPECT_TRUE(Ini("[Core.System]", Ini::Headers::kWholeLine).has("Core.System"));
}

}  // namespace
}  // namespace orvane
