#include "install/commit.h"

#include <algorithm>

#include "base/names.h"
#include "install/sinks.h"
#include "unreal/unreal_game.h"

namespace orvane {

namespace {

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts = split_path(path);
  while (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

// Characters as Windows counts them in a path (UTF-16 units) of a UTF-8 string.
size_t units(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
  return n;
}

// Whether target, too long where it is, would fit below the shortest game folder worth
// suggesting, C:\Games\UnrealTournament (25 characters): else no move of the game helps.
bool fits_below_short_game(const std::string& target, const std::string& root) {
  if (root.empty() || target.size() <= root.size()) return true;
  std::string rel = target.substr(root.size());
  while (!rel.empty() && (rel[0] == '\\' || rel[0] == '/')) rel.erase(0, 1);
  return 25 + 1 + units(rel) <= 259;
}

}  // namespace

std::vector<std::string> journal_roots(const Options& opt) {
  // The destinations as given, never only those this archive's files go to: a run that
  // installs a map with files for one folder must find the journal of one with many.
  std::vector<std::string> dests;
  for (const Group& g : opt.groups) dests.push_back(g.dest);
  if (opt.groups.empty()) dests.push_back(opt.dest);
  if (!opt.umod_root.empty()) dests.push_back(opt.umod_root);
  for (std::string& d : dests) d = platform::absolute(d.empty() ? "." : d);
  return dests;
}

std::string journal_folder(const Options& opt) {
  const std::vector<std::string> dests = journal_roots(opt);
  std::vector<std::string> common;
  for (size_t d = 0; d < dests.size(); ++d) {
    std::vector<std::string> parts = components(dests[d]);
    if (d == 0) common = parts;
    size_t n = 0;
    while (n < common.size() && n < parts.size() && fold_case(common[n]) == fold_case(parts[n])) ++n;
    common.resize(n);
  }
  std::string folder;
  for (size_t k = 0; k < common.size(); ++k) folder += (k ? std::string(1, platform::kSeparator) : "") + common[k];
  if (folder.empty() || folder.back() == ':') folder += platform::kSeparator;
  return folder;
}

void settle_all_or_nothing(Run& run, Staging& staging, PackageCheck* packages) {
  auto failed = [&] {
    return std::any_of(run.outcomes.begin(), run.outcomes.end(),
                       [](const Outcome& o) { return o.state == Outcome::Failed; });
  };
  auto undo = [](Outcome& o, Failure kind, const std::string& why) {
    o.state = Outcome::Failed;
    o.text = why;
    o.code = kExitUnwritable;
    o.kind = kind;
  };
  bool ok = !failed();
  std::vector<size_t> item_of;
  std::vector<Move> moves;
  for (size_t i = 0; i < run.outcomes.size(); ++i) {
    Outcome& o = run.outcomes[i];
    std::string why;
    Failure kind = Failure::Unwritable;
    if (o.state != Outcome::Ready) continue;
    const std::string& target = staging.target_of[i];
    const platform::Kind found = platform::kind_of(target);
    if (found == platform::Kind::Directory)
      why = "a folder of that name is in the way of " + o.text, kind = Failure::InTheWay;
    else if (!platform::path_fits(target, why))
      kind = fits_below_short_game(platform::absolute(target), staging.journal.folder()) ? Failure::TooLong
                                                                                      : Failure::NameTooLong;
    else if (run.opt.overwrite_all && platform::read_only(target))
      // Windows refuses such a move anyway, and Wine run as root would replace the file.
      why = "existing file is read-only; not replaced";
    if (!why.empty()) undo(o, kind, why);
    const std::string& temp = staging.held[i];
    std::string backup;
    // A link (a reparse point on Windows) is set aside as itself, so that it can come back.
    if (run.opt.overwrite_all && (found == platform::Kind::File || found == platform::Kind::Other))
      backup = temp.substr(0, temp.size() - 4) + ".old";
    item_of.push_back(i);
    moves.push_back({temp, platform::absolute(target), backup, false, platform::file_id(temp)});
  }
  ok = ok && !failed();
  std::string err;
  if (ok && !staging.journal.plan(moves, err)) {
    for (size_t i : item_of) undo(run.outcomes[i], Failure::Unwritable, err);
    ok = false;
  }
  for (size_t k = 0; ok && k < moves.size(); ++k) {
    Move& m = moves[k];
    Outcome& o = run.outcomes[item_of[k]];
    // Set aside under a name of ours, so that a run taken back can restore it.
    if (!m.backup.empty()) {
      if (platform::move_file(m.target, m.backup, false, err) != platform::Commit::Done) {
        undo(o, Failure::Unwritable, "cannot set the existing file aside: " + err), ok = false;
        break;
      }
    }
    switch (platform::move_file(m.temp, m.target, run.opt.overwrite_all, err)) {
      case platform::Commit::Done: break;
      case platform::Commit::Exists: {
        // Appeared meanwhile: the game keeps that one.
        staging.journal.kept(k);
        m.kept = true;
        std::unique_ptr<Source> existing = platform::open_archive(m.target, err);
        if (existing && packages) packages->read(item_of[k], o.text, *existing);
        std::unique_ptr<Source> ours = platform::open_archive(m.temp, err);
        o.state = Outcome::Kept;
        o.identical = ours && same_content(m.target, *ours);
        ours.reset();
        platform::remove_file(m.temp);
        break;
      }
      case platform::Commit::Failed: undo(o, Failure::Unwritable, err), ok = false; break;
    }
  }
  if (ok) {
    staging.journal.done();
    for (const Move& m : moves)
      if (!m.backup.empty()) platform::remove_file(m.backup);
  } else {
    take_back(moves, false);
  }
  staging.journal.remove();
  for (Outcome& o : run.outcomes)
    if (o.state == Outcome::Ready) o.state = ok ? Outcome::Extracted : Outcome::Silent;
  if (!ok) remove_made(staging.made);
}

}  // namespace orvane
