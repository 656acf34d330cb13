#include "commit.h"

#include <algorithm>

#include "unreal_game.h"

namespace orvane {

void settle_all_or_nothing(Run& run, Writer& writer, PackageCheck* packages) {
  auto failed = [&] {
    return std::any_of(run.outcomes.begin(), run.outcomes.end(),
                       [](const Outcome& o) { return o.state == Outcome::Failed; });
  };
  auto undo = [](Outcome& o, const std::string& why) {
    o.state = Outcome::Failed;
    o.text = why;
    o.code = kExitUnwritable;
  };
  bool ok = !failed();
  for (size_t i = 0; ok && i < run.outcomes.size(); ++i) {
    Outcome& o = run.outcomes[i];
    std::string why;
    if (o.state != Outcome::Ready) continue;
    if (platform::kind_of(writer.target_of[i]) == platform::Kind::Directory)
      why = "a folder of that name is in the way of " + o.text;
    else
      platform::path_fits(writer.target_of[i], why);
    if (!why.empty()) undo(o, why);
  }
  ok = ok && !failed();
  // They are renames of files this run created, so taking them back is safe.
  std::vector<size_t> placed;
  for (size_t i = 0; ok && i < run.outcomes.size(); ++i) {
    Outcome& o = run.outcomes[i];
    if (o.state != Outcome::Ready) continue;
    std::string err;
    switch (writer.held[i]->commit(writer.target_of[i], run.opt.overwrite_all, true, err)) {
      case platform::Commit::Done: placed.push_back(i); break;
      case platform::Commit::Exists: {
        // Appeared meanwhile: the game keeps that one.
        std::unique_ptr<Source> existing = platform::open_archive(writer.target_of[i], err);
        if (existing && packages) packages->read(i, o.text, *existing);
        o.state = Outcome::Kept;
        o.identical = same_content(writer.target_of[i], *writer.held[i]);
        break;
      }
      case platform::Commit::Failed: undo(o, err), ok = false; break;
    }
  }
  for (auto it = placed.rbegin(); !ok && it != placed.rend(); ++it) writer.held[*it]->take_back();
  for (auto& t : writer.held) t.reset();  // closes each: what was put in place stays, the rest goes
  for (Outcome& o : run.outcomes)
    if (o.state == Outcome::Ready) o.state = ok ? Outcome::Extracted : Outcome::Silent;
  if (ok) return;
  // Deepest first, so each folder is empty when its turn comes.
  std::sort(writer.made.begin(), writer.made.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& d : writer.made) platform::remove_dir(d);
}

}  // namespace orvane
