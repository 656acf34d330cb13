#include "cli/cli.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitKeepsTrailingBackslashInQuotes) {
  EXPECT_EQ(split_command_line("\"C:\\Temp Temp\\Pkzip25.EXE\" -extract Map.ZIP \"C:\\Games\\UT\\\""),
            (Args{"-extract", "Map.ZIP", "C:\\Games\\UT\\"}));
  EXPECT_EQ(split_command_line("Pkzip25.EXE  -extract\t\"C:\\A&B (x86)\\Unreal Tournament\\\" "),
            (Args{"-extract", "C:\\A&B (x86)\\Unreal Tournament\\"}));
  EXPECT_EQ(split_command_line("p a\"b c\"d \"\""), (Args{"ab cd", ""}));
  EXPECT_EQ(split_command_line("p.exe"), Args{});
  EXPECT_EQ(split_command_line(""), Args{});
}

TEST(CommandLine, OptionsAndDestination) {
  auto no_dirs = [](const std::string&) { return false; };
  Options o;
  ASSERT_EQ(parse_options({"-extract", "Map.ZIP"}, no_dirs, o), "");
  EXPECT_EQ(o.archive, "Map.ZIP");
  EXPECT_FALSE(o.overwrite_all);
  EXPECT_FALSE(o.directories);
  EXPECT_TRUE(o.dest.empty());
  EXPECT_TRUE(o.patterns.empty());

  ASSERT_EQ(parse_options({"-Directories", "-OVERWRITE=ALL", "-extract", "m.zip", "*.unr", "*.utx", "out/"},
                          no_dirs, o), "");
  EXPECT_TRUE(o.overwrite_all);
  EXPECT_TRUE(o.directories);
  EXPECT_EQ(o.patterns, (Args{"*.unr", "*.utx"}));
  EXPECT_EQ(o.dest, "out/");

  // Last argument without a separator: a folder if it exists, else a pattern.
  ASSERT_EQ(parse_options({"-extract", "m.zip", "Game"}, no_dirs, o), "");
  EXPECT_EQ(o.patterns, Args{"Game"});
  EXPECT_TRUE(o.dest.empty());
  ASSERT_EQ(parse_options({"-extract", "m.zip", "Game"}, [](const std::string& p) { return p == "Game"; }, o),
            "");
  EXPECT_TRUE(o.patterns.empty());
  EXPECT_EQ(o.dest, "Game");

  // After the archive everything is a pattern or the destination, even a leading '-'.
  ASSERT_EQ(parse_options({"-extract", "-overwrite=never", "m.zip", "-x-.txt"}, no_dirs, o), "");
  EXPECT_EQ(o.patterns, Args{"-x-.txt"});

  ASSERT_EQ(parse_options({"-help"}, no_dirs, o), "");
  EXPECT_TRUE(o.help);

  // What Orvane.BAT was given goes on whole after -orvane, options and all.
  ASSERT_EQ(parse_options({"-orvane", "/check", "C:\\UT\\", "-extract"}, no_dirs, o), "");
  EXPECT_TRUE(o.orvane);
  EXPECT_EQ(o.orvane_args, (Args{"/check", "C:\\UT\\", "-extract"}));
}

TEST(CommandLine, Mistakes) {
  auto no_dirs = [](const std::string&) { return false; };
  Options o;
  EXPECT_NE(parse_options({}, no_dirs, o), "");
  EXPECT_NE(parse_options({"m.zip"}, no_dirs, o), "");                     // no -extract
  EXPECT_NE(parse_options({"-extract"}, no_dirs, o), "");                  // no archive
  EXPECT_NE(parse_options({"-extract", "-overwrite", "m.zip"}, no_dirs, o), "");
  EXPECT_NE(parse_options({"-extract", "-overwrite=some", "m.zip"}, no_dirs, o), "");
  EXPECT_NE(parse_options({"-extract", "-fast", "m.zip"}, no_dirs, o), "");
  EXPECT_NE(parse_options({"-extract", "m.zip", "", "out/"}, no_dirs, o), "");
  EXPECT_NE(parse_options({"-extract", "-orvane", "m.zip"}, no_dirs, o), "");  // -orvane comes first
}

}  // namespace
}  // namespace orvane
