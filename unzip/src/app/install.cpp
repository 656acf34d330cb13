#include "app/install.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "app/check.h"
#include "app/extract.h"
#include "app/remove.h"
#include "base/names.h"
#include "base/text.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "report/console.h"
#include "report/lines.h"
#include "report/summary.h"

namespace orvane {

namespace {

constexpr size_t kWidth = Console::kWidth;

// The folders of the game each kind of file goes to; what no group takes is skipped.
// Relative to the game, as the summary shows each file.
const std::vector<Group>& game_groups() {
  static const std::vector<Group> groups = [] {
    const std::string sep(1, platform::kSeparator);
    return std::vector<Group>{
        {{"*.unr"}, "Maps" + sep},
        {{"*.utx"}, "Textures" + sep},
        {{"*.uax"}, "Sounds" + sep},
        {{"*.umx"}, "Music" + sep},
        {{"*.u", "*.int", "*.det", "*.frt", "*.itt", "*.est", "*.ini", "*.dll"}, "System" + sep},
        {{"*.txt", "*.htm", "*.html", "*.rtf", "*.doc", "*.pdf", "readme"}, "Help" + sep},
    };
  }();
  return groups;
}

// How every archive is installed: each file by its type into its folder, never over a file
// the game has, all or nothing; a .umod's files by their stored paths; every package checked.
Options install_options(const std::string& archive) {
  Options opt;
  opt.overwrite_all = false;
  opt.all_or_nothing = true;
  opt.progress = true;
  opt.width = kWidth;
  opt.umod_root = ".";
  opt.game = ".";
  opt.excludes = {"__MACOSX/*", "._*"};  // macOS metadata
  opt.groups = game_groups();
  opt.archive = archive;
  return opt;
}

// The lines of a text file that Orvane.exe wrote in the console's code page.
std::vector<std::string> read_lines(const std::string& path) {
  std::string err;
  std::unique_ptr<Source> file = platform::open_archive(path, err);
  if (!file) return {};
  std::string bytes(static_cast<size_t>(file->size()), '\0');
  if (!bytes.empty() && !file->read_at(0, &bytes[0], bytes.size())) return {};
  return text_lines(platform::from_console(bytes));
}

// Errors and progress to the console as they come, wrapped; the report lines of the
// extraction are not the player's: the summary tells the outcomes in its own words.
class ErrorsOnly : public Report {
 public:
  explicit ErrorsOnly(Report& console) : wrapped_(console, kWidth) {}
  void out(const std::string&) override {}
  void err(const std::string& line) override { wrapped_.err(line); }
  void progress(const std::string& line) override { wrapped_.progress(line); }

 private:
  WrappedReport wrapped_;
};

// Runs in the game folder while it lives, then goes back to where it started.
class InFolder {
 public:
  explicit InFolder(const std::string& dir) : back_(platform::current_folder()) {
    entered_ = platform::set_current_folder(dir);
  }
  ~InFolder() { platform::set_current_folder(back_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
  bool entered() const { return entered_; }

 private:
  std::string back_;
  bool entered_ = false;
};

// A folder of the game that a file holds the name of, or empty.
std::string file_in_place() {
  for (const char* folder : {"Maps", "Textures", "Sounds", "Music", "System", "Help"}) {
    const platform::Kind k = platform::kind_of(folder);
    if (k == platform::Kind::File || k == platform::Kind::Other) return folder;
  }
  return std::string();
}

// "/check GAME [/yes|/no]": the whole game's check; the answer for the cache's packages may
// come from the command line, for use from scripts, or else from the console.
int run_check(const std::vector<std::string>& args, Console& console, Report& report) {
  CacheAnswer answer = CacheAnswer::kAsk;
  std::string game;
  bool wrong = false;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string a = ascii_lower(args[k]);
    if (a == "/yes" || a == "-yes" || a == "/no" || a == "-no")
      answer = a[1] == 'y' ? CacheAnswer::kYes : CacheAnswer::kNo;
    else if (game.empty())
      game = without_trailing(args[k]);
    else
      wrong = true;
  }
  if (wrong || game.empty()) {
    console.say(Say::kUsage);
    return kExitUsage;
  }
  return check_game(game, answer, report);
}

}  // namespace

int run_orvane(const std::vector<std::string>& args, Report& report) {
  if (!args.empty() && fold_case(args[0]) == "/REMOVE") {
    const std::string game = args.size() > 1 ? without_trailing(args[1]) : std::string();
    return remove_maps(game, std::vector<std::string>(args.begin() + std::min<size_t>(args.size(), 2), args.end()),
                       needed_by_what_stays(game), report);
  }
  Console console(report);
  console.say(Say::kHeading);
  if (!args.empty() && ascii_lower(args[0]) == "/check") return run_check(args, console, report);
  const std::string game = args.size() >= 2 ? without_trailing(args[1]) : std::string();
  if (game.empty() || args[0].empty()) {
    console.say(Say::kUsage);
    return kExitUsage;
  }
  std::vector<std::string> paths{platform::absolute(args[0])};
  if (platform::kind_of(paths[0]) == platform::Kind::Missing) {
    console.say(Say::kArchiveNotFound);
    console.lines({"  \"" + paths[0] + "\""});
    return kExitUsage;
  }
  if (platform::kind_of(game) != platform::Kind::Directory) {
    console.say(Say::kGameNotFound, {game});
    return kExitUsage;
  }
  const std::string temp = without_trailing(platform::temp_folder());
  if (platform::kind_of(temp) != platform::Kind::Directory) {
    console.say(Say::kNoTempFolder, {temp});
    return kExitDestination;
  }
  std::vector<std::string> missing;
  for (size_t k = 2; k < args.size(); ++k) {
    paths.push_back(platform::absolute(args[k]));
    if (platform::kind_of(paths.back()) == platform::Kind::Missing) missing.push_back("  \"" + paths.back() + "\"");
  }
  if (!missing.empty()) {
    console.say(Say::kArchiveNotFound);
    console.lines(missing);
    return kExitUsage;
  }
  // The paths the player picked each staged archive by, from Orvane.exe; an archive it does
  // not name is shown by its own path.
  const std::vector<std::string> names = read_lines(platform::join(platform::parent(paths[0]), "Names.txt"));
  std::vector<std::string> shown;
  for (const std::string& p : paths) shown.push_back(shown_archive_name(names, p));
  if (paths.size() == 1)
    console.named(Say::kMapArchive, Say::kMapArchiveLong, shown[0]);
  else
    console.say(Say::kMapArchives, {std::to_string(paths.size())});
  console.named(Say::kGameFolder, Say::kGameFolderLong, game);
  console.say(Say::kInstalling);

  InFolder in_game(game);
  if (!in_game.entered()) {
    console.say(Say::kNotWritable, {game});
    return kExitUnwritable;
  }
  ErrorsOnly errors(report);
  // Each archive is installed by itself, all or nothing, in turn, so that a later one finds
  // what an earlier one put in place; all are told once all are in, so that the packages of
  // each count for the others. The game's folders are listed once for all the checks.
  auto listing = std::make_shared<GameListing>(".");
  std::vector<std::unique_ptr<Install>> installs;
  std::vector<int> started;
  for (size_t k = 0; k < paths.size(); ++k) {
    if (paths.size() > 1)
      errors.progress(std::to_string(k + 1) + " of " + std::to_string(paths.size()) + ": " +
                      shown[k].substr(shown[k].find_last_of("\\/") + 1));
    installs.emplace_back(new Install);
    Install& in = *installs.back();
    in.opt = install_options(paths[k]);
    in.opt.record_as = shown[k];
    in.listing = listing;
    try {
      started.push_back(start(in, shown[k], errors));
    } catch (...) {
      // Before this archive's files were all in (the next run takes back any it moved);
      // those of the archives before it stay in.
      errors.err("Error: " + shown[k] + ": " + current_failure());
      started.push_back(kExitInternal);
    }
    in.journal.release();  // the next archive's run takes it
  }
  std::vector<int> codes;
  for (size_t k = 0; k < paths.size(); ++k) {
    Install& in = *installs[k];
    ArchivePart part;
    part.code = started[k];
    if (started[k] < 0) {
      Told told = finish(in, errors);
      part.code = told.code;
      part.counted = told.counted;
      part.found = std::move(told.found);
    }
    part.run = in.run.get();
    part.failed = in.failed;
    if (in.run) {
      for (size_t i = 0; i < in.run->outcomes.size(); ++i) {
        const Outcome& o = in.run->outcomes[i];
        if (o.state == Outcome::Failed) part.failed.push_back({o.kind, in.run->display_name(i), o.text});
      }
    }
    part.game = game;
    if (part.code == kExitUnwritable) part.file_in_place = file_in_place();
    std::vector<std::string> lines;
    if (paths.size() > 1)
      for (std::string& l : say(Say::kArchiveOf, {std::to_string(k + 1), std::to_string(paths.size()), shown[k]}))
        lines.push_back(std::move(l));
    codes.push_back(tell_archive(part, kWidth, lines));
    console.lines(lines);
  }
  if (paths.size() == 1) return codes[0];
  std::vector<std::string> lines;
  const int code = tell_batch(codes, shown, lines);
  console.lines(lines);
  return code;
}

}  // namespace orvane
