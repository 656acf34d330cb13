#include "install/commit.h"

#include <algorithm>
#include <ctime>

#include "base/names.h"
#include "install/records.h"
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

// path (in the game or absolute) relative to the game, as a record names it; empty when it
// is not in the game.
std::string in_game(const std::string& game, const std::string& path) {
  auto parts = [](const std::string& p) {
    std::vector<std::string> out;
    for (const std::string& c : split_path(platform::absolute(p)))
      if (!c.empty() && c != ".") out.push_back(c);
    return out;
  };
  const std::vector<std::string> root = parts(game), full = parts(path);
  if (full.size() <= root.size()) return std::string();
  for (size_t k = 0; k < root.size(); ++k)
    if (platform::kSeparator == '\\' ? fold_case(root[k]) != fold_case(full[k]) : root[k] != full[k])
      return std::string();
  std::string rel;
  for (size_t k = root.size(); k < full.size(); ++k)
    rel += (rel.empty() ? "" : std::string(1, platform::kSeparator)) + full[k];
  return rel;
}

// After the run's moves, before they are final: its record, merged with the one an earlier
// install of the same archive left, moved into place under the journal as one more move, so
// that a run taken back takes its record back too. Kept files are not the archive's, except
// one identical to a file another record lists: then it is shared, and stays until the last
// record that lists it goes. False, with err, when the record cannot be put in place.
bool put_record(Run& run, Staging& staging, std::vector<Move>& moves, const std::vector<size_t>& item_of,
                std::string& err) {
  const std::string& game = run.opt.game;
  std::vector<FoundRecord> records;
  if (!read_records(game, records)) {
    err = "cannot read the folder " + platform::join(game, kRecordsFolder);
    return false;
  }
  const std::string file_name = record_file_name(run.opt.record_as);
  InstallRecord record;
  record.name = run.opt.record_as;
  record.when = record_time_now();
  std::vector<std::string> paths;  // folded, as Windows tells names apart
  auto add = [&](const std::string& target, const Sum& sum) {
    const std::string rel = in_game(game, target);
    if (rel.empty() || std::find(paths.begin(), paths.end(), fold_case(rel)) != paths.end()) return;
    paths.push_back(fold_case(rel));
    record.files.push_back({rel, sum});
  };
  auto listed_elsewhere = [&](const std::string& target, const Sum& sum) {
    const std::string rel = fold_case(in_game(game, target));
    for (const FoundRecord& r : records)
      if (r.problem != RecordProblem::kNotOurs)
        for (const RecordedFile& f : r.record.files)
          if (fold_case(f.path) == rel && f.sum == sum) return true;
    return false;
  };
  for (size_t k = 0; k < moves.size(); ++k)
    if (!moves[k].kept) add(moves[k].target, staging.sums[item_of[k]]);
  for (size_t i = 0; i < run.outcomes.size(); ++i) {
    const Outcome& o = run.outcomes[i];
    if (o.state != Outcome::Kept || !o.identical) continue;
    const std::string& target = staging.target_of[i];
    if (!target.empty() && listed_elsewhere(target, staging.sums[i])) add(target, staging.sums[i]);
  }
  for (const std::string& d : staging.made) {
    const std::string rel = in_game(game, d);
    if (!rel.empty() && fold_case(rel) != fold_case(kRecordsFolder)) record.folders.push_back(rel);
  }
  const std::string folder = platform::join(game, kRecordsFolder);
  std::string target = platform::join(folder, file_name);
  for (const FoundRecord& r : records) {
    if (fold_case(r.file) != fold_case(file_name)) continue;
    // Installed again: what the earlier install put in stays the archive's.
    target = platform::join(folder, r.file);
    for (const RecordedFile& f : r.record.files)
      if (std::find(paths.begin(), paths.end(), fold_case(f.path)) == paths.end()) {
        paths.push_back(fold_case(f.path));
        record.files.push_back(f);
      }
    for (const std::string& d : r.record.folders)
      if (std::find(record.folders.begin(), record.folders.end(), d) == record.folders.end()) record.folders.push_back(d);
  }
  if (record.files.empty()) return true;  // nothing in the game is the archive's
  // By path, so that a record reads the same however its files went in.
  std::sort(record.files.begin(), record.files.end(),
            [](const RecordedFile& a, const RecordedFile& b) { return fold_case(a.path) < fold_case(b.path); });
  if (platform::kind_of(folder) == platform::Kind::Missing) {
    staging.journal.folder(platform::absolute(folder));
    if (!platform::make_dirs(folder, err)) return false;
    staging.made.push_back(folder);
  }
  platform::TempFile file;
  auto named = [&](const std::string& path, bool taken) { staging.journal.temp(path, taken); };
  const std::string text = record_text(record);
  platform::FileTime now;
  now.has_unix = true;
  now.unix_seconds = static_cast<int64_t>(std::time(nullptr));
  if (!file.create(folder, err, named) || !file.write(text.data(), text.size(), err) || !file.finish(now, err) ||
      !file.keep(err))
    return false;
  const std::string temp = file.keep_path();
  Move m{temp, platform::absolute(target), std::string(), false, platform::file_id(temp)};
  if (platform::kind_of(target) != platform::Kind::Missing) m.backup = temp.substr(0, temp.size() - 4) + ".old";
  if (!staging.journal.plan({m}, err)) {
    platform::remove_file(temp);
    return false;
  }
  moves.push_back(m);
  if (!m.backup.empty() && platform::move_file(m.target, m.backup, false, err) != platform::Commit::Done) return false;
  return platform::move_file(m.temp, m.target, false, err) == platform::Commit::Done;
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
  if (ok && !run.opt.record_as.empty()) {
    std::string why;
    if (!put_record(run, staging, moves, item_of, why)) {
      for (size_t k = 0; k < item_of.size(); ++k)
        if (!moves[k].kept) undo(run.outcomes[item_of[k]], Failure::Unwritable, "cannot record the install: " + why);
      ok = false;
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
