#include "cli/cli.h"

#include "base/text.h"

namespace orvane {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool ends_in_separator(const std::string& s) {
  return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

}  // namespace

std::vector<std::string> split_command_line(const std::string& line) {
  size_t i = 0;
  // The program name ends at the closing quote or the first blank.
  if (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', 1);
    i = close == std::string::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !is_space(line[i])) ++i;

  std::vector<std::string> args;
  while (true) {
    while (i < line.size() && is_space(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_space(line[i])); ++i) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        arg += line[i];
    }
    args.push_back(arg);
  }
  return args;
}

std::string parse_options(const std::vector<std::string>& args,
                          const std::function<bool(const std::string&)>& is_directory,
                          Options& out) {
  out = Options();
  bool extract = false;
  size_t i = 0;
  for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
    std::string opt = ascii_lower(args[i]);
    if (opt == "-help" || opt == "-?") {
      out.help = true;
      return std::string();
    } else if (opt == "-orvane" && i == 0) {
      // What Orvane.BAT was given, handed on whole: the install tells the player itself.
      out.orvane = true;
      out.orvane_args.assign(args.begin() + 1, args.end());
      return std::string();
    } else if (opt == "-extract") {
      extract = true;
    } else if (opt == "-test") {
      out.test = true;
    } else if (opt.rfind("-exclude=", 0) == 0 && opt.size() > 9) {
      out.excludes.push_back(args[i].substr(9));
    } else if (opt.rfind("-install-umods=", 0) == 0 && opt.size() > 15) {
      out.umod_root = args[i].substr(15);
    } else if (opt.rfind("-check-packages=", 0) == 0 && opt.size() > 16) {
      out.game = args[i].substr(16);
    } else if (opt.rfind("-width=", 0) == 0 && opt.size() > 7 && opt.size() < 11 &&
               opt.find_first_not_of("0123456789", 7) == std::string::npos) {
      out.width = std::stoul(opt.substr(7));
    } else if (opt == "-all-or-nothing") {
      out.all_or_nothing = true;
    } else if (opt == "-progress") {
      out.progress = true;
    } else if (opt == "-overwrite=never") {
      out.overwrite_all = false;
    } else if (opt == "-overwrite=all") {
      out.overwrite_all = true;
    } else if (opt == "-directories") {
      out.directories = true;
    } else {
      return "unknown option '" + args[i] + "'";
    }
  }
  if (extract + out.test != 1) return "give one command: -extract, -test or -orvane";
  if (i >= args.size()) return "no archive given";
  out.archive = args[i++];
  std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
  for (const std::string& p : rest)
    if (p.empty()) return "empty file pattern";
  if (out.test) {
    out.patterns = rest;
    return std::string();
  }
  size_t dests = 0;
  for (size_t k = 0; k + 1 < rest.size(); ++k) dests += ends_in_separator(rest[k]);
  if (dests > 0) {
    Group g;
    for (const std::string& p : rest) {
      if (!ends_in_separator(p)) {
        g.patterns.push_back(p);
        continue;
      }
      if (g.patterns.empty()) return "no pattern before the destination '" + p + "'";
      g.dest = p;
      out.groups.push_back(g);
      g = Group();
    }
    if (!g.patterns.empty()) return "patterns after the last destination";
    return std::string();
  }
  if (!rest.empty() && (ends_in_separator(rest.back()) || is_directory(rest.back()))) {
    out.dest = rest.back();
    rest.pop_back();
  }
  out.patterns = rest;
  return std::string();
}

const char* help_text() {
  return
      "Pkzip25 - extracts files from a ZIP, 7z, RAR or UMOD archive (Orvane's own extractor)\n"
      "\n"
      "Usage:\n"
      "  Pkzip25 -extract [OPTIONS] ARCHIVE [PATTERN ...] [DEST]\n"
      "  Pkzip25 -extract [OPTIONS] ARCHIVE PATTERN ... DEST\\ PATTERN ... DEST\\ ...\n"
      "  Pkzip25 -test [-directories] [-exclude=PATTERN ...] ARCHIVE [PATTERN ...]\n"
      "  Pkzip25 -orvane ARCHIVE GAME [ARCHIVE ...]   what Orvane.BAT runs: install\n"
      "                    the map archives into the game, telling the player\n"
      "  Pkzip25 -orvane /remove GAME NAME ...   take the archives NAME that -orvane\n"
      "                    installed back out of the game\n"
      "  Pkzip25 -help\n"
      "\n"
      "Options (any order, before ARCHIVE; upper or lower case):\n"
      "  -extract          extract files from ARCHIVE\n"
      "  -test             inflate every matched file and check its size and CRC-32,\n"
      "                    writing nothing\n"
      "  -overwrite=never  keep files that already exist (the default)\n"
      "  -overwrite=all    replace files that already exist (read-only ones are not replaced)\n"
      "  -directories      recreate the folders stored in the archive; without it\n"
      "                    every file goes straight into DEST under its own name\n"
      "  -exclude=PATTERN  leave out the entries matching PATTERN (repeatable)\n"
      "  -all-or-nothing   write every file under a temporary name first; put them in\n"
      "                    place only when all succeeded and every final name is\n"
      "                    free, else remove them and the folders this run made\n"
      "  -progress         from half a second on, say once a second how many files\n"
      "                    are done\n"
      "  -width=N          break standard error's lines at spaces to fit N columns\n"
      "  -install-umods=FOLDER  unpack each .umod (ARCHIVE itself, or one inside it)\n"
      "                    into FOLDER by its stored paths; its manifest is read for\n"
      "                    what it asks (Manifest: lines), never copied\n"
      "  -check-packages=GAME  read every Unreal package put in place or kept, and\n"
      "                    list each package it needs that neither the run nor GAME's\n"
      "                    search folders hold (Missing:), and files that are no\n"
      "                    package (Unloadable:)\n"
      "\n"
      "PATTERN  selects entries; '*' and '?' are wildcards, case is ignored. A pattern\n"
      "         without '\\' or '/' is matched against the file's own name, one with\n"
      "         a separator against the whole stored path. No pattern: every entry.\n"
      "DEST     the folder to extract into, created if missing. The last argument is\n"
      "         DEST when it ends in '\\' or '/' or names an existing folder.\n"
      "         Without DEST, files go into the current folder.\n"
      "Groups   when an argument before the last ends in '\\' or '/', every such\n"
      "         argument is a DEST for the patterns before it. An entry goes to the\n"
      "         first group it matches; the others are listed as skipped.\n"
      "\n"
      "The format is read from the bytes, whatever the name. ZIP: stored and deflated\n"
      "entries, ZIP64, data descriptors, comments; 7z and RAR through libarchive;\n"
      "UMOD. Every file's size and checksum are checked; a file is written under a\n"
      "temporary name and renamed into place only when complete. Entries that would\n"
      "land outside DEST or on a Windows device (.., absolute, drive or UNC paths,\n"
      "':' streams, < > | \" ? *, control characters, CON, NUL, COM1.., names ending\n"
      "in a dot or a space, longer than 255 characters) and links are refused; without\n"
      "-directories only the file's own name counts. A leading \"./\" is dropped.\n"
      "Encrypted entries and other compression methods fail.\n"
      "\n"
      "Output: one line per file on standard output, in archive order,\n"
      "  Extracted: <path>\n"
      "  Kept (identical): <path>                    (an existing file, not replaced)\n"
      "  Kept (differs from the archive's): <path>\n"
      "  Duplicate: <path> (...)     a later entry for the same file, not written\n"
      "  Refused: <entry> (<reason>)\n"
      "  Skipped: <entry>            with groups, an entry no group takes\n"
      "  Excluded: <entry>           with groups, an entry -exclude left out\n"
      "  Tested: <path>\n"
      "  Failed: <kind>: <entry> (<reason>)  with groups, beside the Error line\n"
      "  Unpacked: <.umod> (N files)   Manifest: <request>\n"
      "  Missing: <package> (<kind>, needed by <path>, ...)   Unloadable: <path> (<why>)\n"
      "  Missing from the game itself: <package> (...)  one the game ships\n"
      "  Unfound: <class> <package>.<group>.<object> (needed by <path>, ...; <why>)\n"
      "  Unfound: N objects of <package> (<some of them>; needed by ...; <why>)\n"
      "With groups <path> starts with its DEST as given, and a first line counts\n"
      "the kinds: Total: N extracted, N identical, N differing, N duplicates,\n"
      "N refused, N skipped, N excluded, N failed, N unpacked, N requests,\n"
      "N missing, N unloadable, N unfound. One line per failure on\n"
      "standard error,\n"
      "  Error: <entry or archive>: <reason>\n"
      "\n"
      "Exit codes (shared with Orvane.BAT, which passes each through but 5):\n"
      "   0  success: every matched file was extracted, kept or tested\n"
      "   1  the command line is wrong\n"
      "   3  the archive cannot be opened or read (missing, no archive, damaged,\n"
      "      truncated, one part of a split archive, protected by a password, or\n"
      "      overlapping entries: a possible zip bomb)\n"
      "   4  a destination cannot take the files: a folder cannot be made or\n"
      "      written, or a folder or a too long path is in the way of a file\n"
      "   5  at least one entry failed (unsupported, corrupt, cannot be written)\n"
      "   6  no entry matched the patterns (nothing to do)\n"
      "   7  out of memory or another unexpected failure\n"
      "   8  not enough free space (nothing written), or the disk filled up\n"
      "   9  at least one matched entry was refused; the others succeeded\n"
      "  10  -check-packages: installed, but packages the files need are missing,\n"
      "      or a file is no package the game can load\n"
      "  11  installed, but the package check could not finish (out of memory)\n"
      "  12  (no longer given)\n";
}

}  // namespace orvane
