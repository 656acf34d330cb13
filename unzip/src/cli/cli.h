// The command line: splitting the raw Windows command line into arguments,
// reading the options, and the exit codes the program reports.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane {

// Exit codes: one table for this program and the install script (Orvane.BAT), which passes
// a code through wherever it means the same for the player. The same table is in README.md,
// in the script's notes and in the player's README.txt; a test holds them to this one.
enum ExitCode {
  kExitOk = 0,              // every matched entry was extracted or kept
  kExitUsage = 1,           // the command line is wrong
  kExitArchive = 3,         // the archive cannot be opened or read as a whole (also a zip bomb)
  kExitUnwritable = 4,      // a destination cannot take the files: not writable, a folder or too long a path in the way
  kExitEntries = 5,         // at least one matched entry failed (the script tells it as 3)
  kExitNothingMatched = 6,  // no entry matched the patterns
  kExitInternal = 7,        // out of memory or another unexpected failure
  kExitDestination = 8,     // not enough free space, or a destination folder cannot be made
  kExitRefused = 9,         // at least one entry was refused for its name or kind
  kExitPackages = 10,       // -check-packages: installed, but packages the game needs are missing or unloadable
  kExitUnchecked = 11,      // installed, but the package check could not finish (out of memory)
  kExitUnreported = 12,     // no longer given: a batch's report could not be written
};

// With several destinations the patterns before each one form its group; an
// entry goes to the first group one of whose patterns it matches.
struct Group {
  std::vector<std::string> patterns;
  std::string dest;
};

struct Options {
  bool help = false;
  bool test = false;  // -test: inflate and check, write nothing
  bool overwrite_all = false;
  bool directories = false;
  bool all_or_nothing = false;
  bool progress = false;
  std::string umod_root;  // -install-umods=: .umod files unpack below it by their stored paths
  std::string game;       // -check-packages=: the game whose packages complete the install's
  size_t width = 0;       // -width=: standard error's lines wrapped to this many characters
  bool orvane = false;    // -orvane: install for the player, as Orvane.BAT asks
  std::vector<std::string> orvane_args;  // what follows -orvane, as Orvane.BAT was given it
  // The player's name for the archive: when set, what the run puts into the game (opt.game)
  // is recorded under it, in the same all-or-nothing step as the files (install/records.h).
  std::string record_as;
  std::string archive;
  std::vector<std::string> patterns;
  std::vector<std::string> excludes;
  std::string dest;  // empty: the current folder
  std::vector<Group> groups;  // two or more destinations; patterns and dest unused
};

// Splits a Windows command line (UTF-8) into its arguments, leaving out the
// program name. Written by hand because CommandLineToArgvW reads `\"` as an
// escaped quote, so "C:\Games\" would arrive as C:\Games" and lose the
// trailing separator that marks the destination. Here a quote only groups
// and a backslash is always literal, as cmd.exe users expect.
std::vector<std::string> split_command_line(const std::string& line);

// Reads the arguments (without the program name). is_directory tells whether
// a path names an existing folder, which decides whether the last argument is
// the destination. Returns an empty string, or what is wrong with the line.
std::string parse_options(const std::vector<std::string>& args,
                          const std::function<bool(const std::string&)>& is_directory,
                          Options& out);

// The text -help prints.
const char* help_text();

}  // namespace orvane
