#include "app/remove.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>

#include "base/names.h"
#include "base/text.h"
#include "cli/cli.h"
#include "install/journal.h"
#include "install/records.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "report/console.h"
#include "report/lines.h"
#include "unreal/game_check.h"
#include "unreal/unreal_game.h"

namespace orvane {

namespace {

// A console line holds a quoted name of up to this many columns beside its label.
// What becomes of one file that a record being removed lists.
enum class Fate {
  kGoes,     // still as installed: removed
  kGone,     // deleted since the install
  kChanged,  // changed since the install (or no longer a plain file): the player's now
  kShared,   // another record that stays lists it
  kNeeded,   // a package that something staying needs
};

struct FileToGo {
  std::string path;                // relative to the game
  std::vector<Sum> sums;           // as each record being removed says it went in
  Fate fate = Fate::kGoes;
  std::vector<std::string> why;    // kShared: the archives; kNeeded: who needs it
};

struct Going {
  const FoundRecord* found;
  std::vector<size_t> files;  // indexes into the files to go
};

// Whether name is how the player may call the archive of record r: its name as the
// install showed it, or that name's file name.
bool names(const InstallRecord& r, const std::string& name) {
  const std::string n = fold_case(trim(name));
  return !n.empty() && (n == fold_case(r.name) || n == fold_case(file_name_of(r.name)));
}

// A record the player named whose file cannot be read as one: known by its file name.
bool names_file(const FoundRecord& f, const std::string& name) {
  const std::string n = fold_case(trim(name));
  return !n.empty() && (fold_case(f.file) == n || fold_case(f.file) == n + ".TXT");
}

// Whether the folder that holds rel (in the game) is inside the game once links and
// junctions are followed: a record never leads a removal out of the game.
bool inside(const std::string& real_game, const std::string& game, const std::string& rel) {
  const std::string dir = platform::parent(rel);
  if (dir.empty()) return true;
  const std::string real = platform::real_folder(platform::join(game, dir));
  if (real.empty()) return true;  // no folder: no file in it either
  auto key = [](const std::string& p) { return platform::kSeparator == '\\' ? fold_case(p) : p; };
  const std::string g = key(real_game), r = key(real);
  return r.size() > g.size() && r.compare(0, g.size(), g) == 0 && (r[g.size()] == '/' || r[g.size()] == '\\');
}

// Names for setting a file aside in its folder, in the form a journal takes as ours.
Move aside(const std::string& target) {
  // Far above the counts of the temporary files this process makes, whose names end alike.
  static unsigned counter = 1u << 30;
  const std::string dir = platform::parent(target);
  for (;;) {
    const std::string stem = platform::join(dir, platform::kTempPrefix + std::to_string(platform::process_id()) + "-" +
                                                     std::to_string(counter++));
    Move m{stem + ".tmp", target, stem + ".old", false, std::string()};
    if (platform::kind_of(m.temp) == platform::Kind::Missing && platform::kind_of(m.backup) == platform::Kind::Missing)
      return m;
  }
}

void tell_list(Console& c, Say heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  c.say(heading, {std::to_string(lines.size())});
  for (const std::string& l : lines) c.line(l);
}

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

}  // namespace

int remove_maps(const std::string& game_in, const std::vector<std::string>& wanted, const NeededBy& needed_by,
                Report& report) {
  Console console(report);
  console.say(Say::kHeading);
  const std::string game = without_trailing(game_in);
  if (game.empty() || wanted.empty()) {
    console.say(Say::kRemoveUsage);
    return kExitUsage;
  }
  if (platform::kind_of(game) != platform::Kind::Directory) {
    console.say(Say::kGameNotFound, {game});
    return kExitUsage;
  }
  console.named(Say::kRemoveGameFolder, Say::kRemoveGameFolderLong, game, 35);

  // The install's journal, held for the whole removal: no install or removal runs beside it,
  // and one that was killed is put right before the records are read.
  const std::string root = platform::absolute(game);
  Journal journal;
  std::vector<std::string> told;
  std::string err;
  const bool held = journal.open(root, {root}, told, err);
  for (const std::string& t : told) report.err("Warning: " + root + ": " + t);
  if (!held) {
    // Another run holds it, or the folder takes no file.
    if (journal.busy())
      console.say(Say::kRemoveCannotStart, {err});
    else
      console.say(Say::kRemoveNotWritable, {game, err});
    return kExitUnwritable;
  }
  std::vector<FoundRecord> records;
  if (!read_records(game, records)) {
    console.say(Say::kRemoveCannotRead, {platform::join(game, kRecordsFolder)});
    return kExitUnwritable;
  }

  // Which records the names mean; any name that means none, or a record that cannot be
  // used, stops the whole removal before anything changes.
  std::vector<const FoundRecord*> chosen;
  std::vector<std::string> unknown;
  int refused = kExitOk;
  for (const std::string& name : wanted) {
    bool any = false;
    for (const FoundRecord& f : records) {
      const bool usable = f.problem == RecordProblem::kNone;
      // One that cannot be used is known by its file name, or by the name it holds.
      const bool meant = usable ? names(f.record, name)
                                : names_file(f, name) || (f.problem != RecordProblem::kNotOurs && names(f.record, name));
      if (!meant) continue;
      any = true;
      if (!usable) {
        const std::string path = platform::join(platform::join(game, kRecordsFolder), f.file);
        console.say(f.problem == RecordProblem::kNotOurs  ? Say::kRemoveRecordNotOurs
                    : f.problem == RecordProblem::kUnsafe ? Say::kRemoveRecordUnsafe
                                                          : Say::kRemoveRecordDamaged,
                    {path});
        refused = kExitRefused;
      } else if (std::find(chosen.begin(), chosen.end(), &f) == chosen.end()) {
        chosen.push_back(&f);
      }
    }
    if (!any) unknown.push_back(name);
  }
  for (const std::string& name : unknown) console.say(Say::kRemoveNoRecord, {name});
  if (!unknown.empty()) {
    const std::vector<RecordSummary> list = list_records(game);
    if (list.empty()) console.say(Say::kRemoveNothingRecorded);
    if (!list.empty()) console.say(Say::kRemoveRecordedHere);
    for (const RecordSummary& r : list) console.line("  " + r.archive);
    return refused != kExitOk ? refused : kExitUsage;
  }
  if (refused != kExitOk) {
    console.say(Say::kRemoveNothingRemoved);
    return refused;
  }
  for (const FoundRecord* f : chosen) console.say(Say::kRemoving, {f->record.name, f->record.when});

  // What each file comes to.
  const std::string real_game = platform::real_folder(game);
  std::vector<FileToGo> files;
  std::map<std::string, size_t> index;  // by folded path
  std::vector<Going> going;
  for (const FoundRecord* f : chosen) {
    going.push_back({f, {}});
    for (const RecordedFile& rf : f->record.files) {
      auto at = index.emplace(fold_case(rf.path), files.size());
      if (at.second) files.push_back({rf.path, {}, Fate::kGoes, {}});
      files[at.first->second].sums.push_back(rf.sum);
      going.back().files.push_back(at.first->second);
    }
  }
  for (const FoundRecord& f : records) {
    if (f.problem == RecordProblem::kNotOurs || std::find(chosen.begin(), chosen.end(), &f) != chosen.end()) continue;
    // A record that stays, even a damaged one, keeps every file it could be read for.
    for (const RecordedFile& rf : f.record.files) {
      auto at = index.find(fold_case(rf.path));
      if (at == index.end()) continue;
      FileToGo& g = files[at->second];
      g.fate = Fate::kShared;
      const std::string by = file_name_of(f.record.name.empty() ? f.file : f.record.name);
      if (std::find(g.why.begin(), g.why.end(), by) == g.why.end()) g.why.push_back(by);
    }
  }
  for (FileToGo& g : files) {
    if (g.fate != Fate::kGoes) continue;
    const std::string full = platform::join(game, g.path);
    Sum now;
    if (platform::kind_of(full) == platform::Kind::Missing)
      g.fate = Fate::kGone;
    else if (!inside(real_game, game, g.path) || !sum_of_file(full, now) ||
             std::find(g.sums.begin(), g.sums.end(), now) == g.sums.end())
      g.fate = Fate::kChanged;
  }
  // Packages that something staying needs stay, and so, in turn, may what they need.
  for (bool more = needed_by != nullptr; more;) {
    std::vector<std::string> packages;
    for (const FileToGo& g : files)
      if (g.fate == Fate::kGoes && is_package_file(g.path)) packages.push_back(g.path);
    if (packages.empty()) break;
    more = false;
    for (const Needed& n : needed_by(packages)) {
      auto at = index.find(fold_case(n.path));
      if (at == index.end() || files[at->second].fate != Fate::kGoes || n.by.empty()) continue;
      files[at->second].fate = Fate::kNeeded;
      files[at->second].why = n.by;
      more = true;
    }
  }

  // The changes: each file that goes, and each record, set aside under a name of ours;
  // a record that keeps files it needs replaced by one that lists only those.
  const std::string records_folder = platform::join(game, kRecordsFolder);
  std::vector<Move> moves;
  std::vector<std::unique_ptr<platform::TempFile>> rewritten;
  std::vector<std::string> stays;  // records kept for the packages they hold
  for (const FileToGo& g : files)
    if (g.fate == Fate::kGoes) moves.push_back(aside(platform::absolute(platform::join(game, g.path))));
  for (const Going& gr : going) {
    InstallRecord left = gr.found->record;
    left.files.clear();
    for (const RecordedFile& rf : gr.found->record.files)
      if (files[index[fold_case(rf.path)]].fate == Fate::kNeeded) left.files.push_back(rf);
    const std::string target = platform::absolute(platform::join(records_folder, gr.found->file));
    if (left.files.empty()) {
      moves.push_back(aside(target));
      continue;
    }
    stays.push_back(left.name);
    rewritten.emplace_back(new platform::TempFile);
    platform::TempFile& file = *rewritten.back();
    const std::string text = record_text(left);
    platform::FileTime now;
    now.has_unix = true;
    now.unix_seconds = static_cast<int64_t>(std::time(nullptr));
    auto named = [&journal](const std::string& path, bool taken) { journal.temp(path, taken); };
    if (!file.create(records_folder, err, named) || !file.write(text.data(), text.size(), err) ||
        !file.finish(now, err) || !file.keep(err)) {
      console.say(Say::kRemoveNotWritable, {game, err});
      rewritten.pop_back();  // removes its own file
      for (auto& r : rewritten) platform::remove_file(r->keep_path());
      journal.remove();
      return kExitUnwritable;
    }
    Move m = aside(target);
    m.temp = file.keep_path();
    m.backup = m.temp.substr(0, m.temp.size() - 4) + ".old";
    m.id = platform::file_id(m.temp);
    moves.push_back(m);
  }
  // The folders the installs made, removed once empty, deepest first; Orvane's own when it
  // holds no record any more. Recorded first, so that a removal killed after its last move is
  // completed with them.
  std::vector<std::string> folders;
  for (const Going& gr : going)
    for (const std::string& d : gr.found->record.folders)
      // (inside() judges the folder that holds a path: here d itself)
      if (inside(real_game, game, platform::join(d, "x"))) folders.push_back(platform::absolute(platform::join(game, d)));
  folders.push_back(platform::absolute(records_folder));
  for (const std::string& d : folders) journal.empty_after(d);
  if (!journal.plan(moves, err)) {
    take_back(moves, true);
    journal.remove();
    console.say(Say::kRemoveNotWritable, {game, err});
    return kExitUnwritable;
  }
  for (const Move& m : moves) {
    // Set aside, never deleted yet: a file the game holds open refuses this (Windows), and
    // then everything set aside comes back.
    bool ok = platform::move_file(m.target, m.backup, false, err) == platform::Commit::Done;
    if (ok && m.id.size()) ok = platform::move_file(m.temp, m.target, false, err) == platform::Commit::Done;
    if (!ok) {
      take_back(moves, true);
      journal.remove();
      const std::string rel = m.target.size() > root.size() ? m.target.substr(root.size() + 1) : m.target;
      console.say(Say::kRemoveInUse, {rel, err});
      return kExitUnwritable;
    }
  }
  journal.done();
  for (const Move& m : moves) platform::remove_file(m.backup);
  remove_made(folders);
  journal.remove();

  std::vector<std::string> removed, gone, changed, shared, needed;
  for (const FileToGo& g : files) {
    const std::string line = "  " + g.path;
    switch (g.fate) {
      case Fate::kGoes: removed.push_back(line); break;
      case Fate::kGone: gone.push_back(line); break;
      case Fate::kChanged: changed.push_back(line); break;
      case Fate::kShared: shared.push_back(line + " (also " + joined(g.why) + ")"); break;
      case Fate::kNeeded: needed.push_back(line + " (needed by " + joined(g.why) + ")"); break;
    }
  }
  tell_list(console, Say::kRemoved, removed);
  if (removed.empty()) console.say(Say::kRemoved, {"0"}), console.say(Say::kNone);
  tell_list(console, Say::kRemoveAlreadyGone, gone);
  tell_list(console, Say::kRemoveKeptChanged, changed);
  tell_list(console, Say::kRemoveKeptShared, shared);
  tell_list(console, Say::kRemoveKeptNeeded, needed);
  for (const std::string& s : stays) console.say(Say::kRemoveRecordStays, {s});
  console.say(Say::kRemoveDone);
  return kExitOk;
}

NeededBy needed_by_what_stays(const std::string& game) {
  return [game](const std::vector<std::string>& going) {
    std::vector<Needed> needed;
    const GameCheck after = check_whole_game(game, going);
    for (const std::string& path : going) {
      const std::string file = file_name_of(path);
      const std::string package = file.substr(0, file.find_last_of('.'));
      for (const GameCheck::Missing& m : after.missing) {
        if (!same_package_name(m.name, package)) continue;
        Needed n{path, m.maps};
        n.by.insert(n.by.end(), m.mods.begin(), m.mods.end());
        needed.push_back(std::move(n));
      }
    }
    return needed;
  };
}

}  // namespace orvane
