#include "base/names.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(EntryName, AcceptsOrdinaryNames) {
  for (const char* ok : {"CTF-Face.unr", "Maps/DM-Deck16][.unr", "Pack/Textures/Foo.utx", "Maps/",
                         "readme (1).txt", "a b/c d.txt", "Müsik/Ünreal.umx", ".hidden", "a..b.txt",
                         "CONSOLE.txt", "COM10.txt", "LPT00", "NULL", "auxiliary.u", "sub\\name.txt"})
    EXPECT_EQ(check_entry_name(ok), "") << ok;
}

// Every refused kind is also run end to end in extract_test.cpp; these are the
// corner forms, checked for the reason they give.
TEST(EntryName, RefusesCornerForms) {
  struct Case {
    const char* name;
    const char* reason_part;
  } cases[] = {
      {"Maps/..", "'..'"},
      {"//server/share/x", "UNC"},
      {"c:evil.dll", "drive"},
      {"a\x7f" "b", "control"},
      {"CON .txt", "device"},
      {"aux.tar.gz", "device"},
      {"COM\xC2\xB9", "device"},
      {"LPT0", "device"},
      {"com0.txt", "device"},
      {"Maps/LPT\xC2\xB3.unr", "device"},
      {".", "dot or a space"},
      {"a//b", "empty"},
      {"", "empty"},
  };
  for (const Case& c : cases) {
    std::string why = check_entry_name(c.name);
    EXPECT_NE(why.find(c.reason_part), std::string::npos) << "'" << c.name << "' gave '" << why << "'";
  }
}

TEST(NameDecoding, Cp437AndUtf8) {
  EXPECT_EQ(cp437_to_utf8("abc"), "abc");
  EXPECT_EQ(cp437_to_utf8("\x81" "ber\x94"), "\xC3\xBC" "ber\xC3\xB6");  // "über" "ö"
  EXPECT_EQ(cp437_to_utf8("\xE1\xFF"), "\xC3\x9F\xC2\xA0");             // sharp s, no-break space
  EXPECT_TRUE(is_valid_utf8("plain"));
  EXPECT_TRUE(is_valid_utf8("\xE6\x97\xA5\xE6\x9C\xAC"));  // Japanese
  EXPECT_TRUE(is_valid_utf8("\xF0\x9F\x98\x80"));          // emoji, needs a surrogate pair on Windows
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));                 // overlong '/'
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));             // surrogate
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));         // past U+10FFFF
  EXPECT_FALSE(is_valid_utf8("abc\xE6\x97"));              // cut short
  EXPECT_FALSE(is_valid_utf8("\x81"));
}

TEST(Patterns, LastComponentOrWholePath) {
  EXPECT_TRUE(pattern_matches("*.unr", "Maps/CTF-Face.unr"));
  EXPECT_TRUE(pattern_matches("*.UNR", "maps/ctf-face.unr"));
  EXPECT_TRUE(pattern_matches("ctf-????.unr", "Maps/CTF-Face.unr"));
  EXPECT_FALSE(pattern_matches("ctf-???.unr", "Maps/CTF-Face.unr"));
  EXPECT_FALSE(pattern_matches("Maps*", "Maps/CTF-Face.unr"));  // no separator: own name only
  EXPECT_TRUE(pattern_matches("Maps/*", "Maps/CTF-Face.unr"));
  EXPECT_TRUE(pattern_matches("maps\\*.unr", "Maps/CTF-Face.unr"));
  EXPECT_FALSE(pattern_matches("Maps/*", "Pack/Maps/CTF-Face.unr"));
  EXPECT_TRUE(pattern_matches("*/Maps/*", "Pack/Maps/CTF-Face.unr"));
  EXPECT_TRUE(pattern_matches("Maps", "Maps/"));  // a folder entry by its own name
  EXPECT_TRUE(pattern_matches("*", "readme"));
  EXPECT_TRUE(pattern_matches("\xC3\x9C*", "Music/\xC3\xBCnreal.umx"));  // Ü matches ü
  EXPECT_TRUE(pattern_matches("?nreal.umx", "\xC3\xBCnreal.umx"));        // ? is one character
  EXPECT_FALSE(pattern_matches("", "x"));
}

TEST(Patterns, ManyStarsStayFast) {
  std::string text(5000, 'a'), pattern;
  for (int i = 0; i < 200; ++i) pattern += "*a";
  pattern += "b";
  EXPECT_FALSE(wildcard_match(pattern, text));  // would take ages with naive backtracking
}

// The names file as Orvane.exe writes it: one line per staged archive; a line that names
// it as nothing leaves the staged path, never an empty name.
TEST(ArchiveNames, ShownAsThePlayerPickedIt) {
  const std::vector<std::string> names = {"Map.ZIP=D:\\Maps\\CTF-Face.zip", "Map5.ZIP=", "map2.zip=E:\\a=b.7z",
                                          "Map3.ZIP", "Map6.ZIP=old", "Map6.ZIP=new"};
  const struct {
    const char* path;
    const char* shown;
  } rows[] = {
      {"C:\\TempTemp\\Map.ZIP", "D:\\Maps\\CTF-Face.zip"},
      {"C:\\TempTemp\\Map5.ZIP", "C:\\TempTemp\\Map5.ZIP"},
      {"C:\\TempTemp\\MAP2.ZIP", "E:\\a=b.7z"},
      {"C:\\TempTemp\\Map3.ZIP", "C:\\TempTemp\\Map3.ZIP"},
      {"C:\\TempTemp\\Map4.ZIP", "C:\\TempTemp\\Map4.ZIP"},
      {"/tmp/Map6.ZIP", "new"},
  };
  for (const auto& r : rows) EXPECT_EQ(shown_archive_name(names, r.path), r.shown) << r.path;
}

TEST(FoldCase, SameFileOnACaseInsensitiveDisk) {
  EXPECT_EQ(fold_case("Maps\\Foo.UNR"), fold_case("maps/foo.unr"));
  EXPECT_EQ(fold_case("\xC3\x84rger"), fold_case("\xC3\xA4rger"));  // Ä / ä
  EXPECT_NE(fold_case("a.txt"), fold_case("b.txt"));
  EXPECT_EQ(fold_case("\xEF\xBC\xA1map.unr"), fold_case("\xEF\xBD\x81map.unr"));  // full-width A / a
  EXPECT_EQ(fold_case("\xE1\xBA\xA0"), fold_case("\xE1\xBA\xA1"));              // Vietnamese A / a with dot below
  EXPECT_EQ(fold_case("\xC5\xB8"), fold_case("\xC3\xBF"));                      // Y / y with diaeresis
  EXPECT_NE(fold_case("\xF0\x90\x90\x80"), fold_case("\xF0\x90\x90\xA8"));      // beyond U+FFFF Windows does not fold
}

}  // namespace
}  // namespace orvane
