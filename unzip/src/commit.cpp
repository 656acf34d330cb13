#include "commit.h"

#include <algorithm>
#include <atomic>

#include "names.h"
#include "unreal_game.h"

namespace orvane {

namespace {

std::atomic<MoveHook> move_hook{nullptr};

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts = split_path(path);
  while (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

}  // namespace

void set_move_hook(MoveHook hook) { move_hook = hook; }

std::string journal_folder(const Plan& plan) {
  std::vector<std::string> common;
  bool first = true;
  for (const std::vector<Job>& g : plan.groups) {
    std::vector<std::string> parts = components(platform::absolute(g[0].dest.empty() ? "." : g[0].dest));
    if (first) common = parts;
    size_t n = 0;
    while (n < common.size() && n < parts.size() && fold_case(common[n]) == fold_case(parts[n])) ++n;
    common.resize(n);
    first = false;
  }
  std::string folder;
  for (size_t k = 0; k < common.size(); ++k) folder += (k ? std::string(1, platform::kSeparator) : "") + common[k];
  if (folder.empty() || folder.back() == ':') folder += platform::kSeparator;
  return folder;
}

void settle_all_or_nothing(Run& run, Writer& writer, PackageCheck* packages) {
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
    const std::string& target = writer.target_of[i];
    const platform::Kind found = platform::kind_of(target);
    if (found == platform::Kind::Directory)
      why = "a folder of that name is in the way of " + o.text, kind = Failure::InTheWay;
    else if (!platform::path_fits(target, why))
      kind = Failure::TooLong;
    else if (run.opt.overwrite_all && platform::read_only(target))
      // Windows refuses such a move anyway, and Wine run as root would replace the file.
      why = "existing file is read-only; not replaced";
    if (!why.empty()) undo(o, kind, why);
    const std::string& temp = writer.held[i];
    std::string backup;
    if (run.opt.overwrite_all && found == platform::Kind::File) backup = temp.substr(0, temp.size() - 4) + ".old";
    item_of.push_back(i);
    moves.push_back({temp, platform::absolute(target), backup, false});
  }
  ok = ok && !failed();
  std::string err;
  if (ok && !writer.journal.plan(moves, err)) {
    for (size_t i : item_of) undo(run.outcomes[i], Failure::Unwritable, err);
    ok = false;
  }
  size_t changes = 0;
  auto changed = [&] {
    if (MoveHook hook = move_hook.load()) hook(++changes);
  };
  for (size_t k = 0; ok && k < moves.size(); ++k) {
    Move& m = moves[k];
    Outcome& o = run.outcomes[item_of[k]];
    // Set aside under a name of ours, so that a run taken back can restore it.
    if (!m.backup.empty()) {
      if (platform::move_file(m.target, m.backup, false, err) != platform::Commit::Done) {
        undo(o, Failure::Unwritable, "cannot set the existing file aside: " + err), ok = false;
        break;
      }
      changed();
    }
    switch (platform::move_file(m.temp, m.target, run.opt.overwrite_all, err)) {
      case platform::Commit::Done: changed(); break;
      case platform::Commit::Exists: {
        // Appeared meanwhile: the game keeps that one.
        writer.journal.kept(k);
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
    writer.journal.done();
    for (const Move& m : moves)
      if (!m.backup.empty()) platform::remove_file(m.backup);
  } else {
    take_back(moves);
  }
  writer.journal.remove();
  for (Outcome& o : run.outcomes)
    if (o.state == Outcome::Ready) o.state = ok ? Outcome::Extracted : Outcome::Silent;
  if (!ok) remove_made(writer.made);
}

}  // namespace orvane
