#include "report/summary.h"

#include <algorithm>
#include <set>

#include "base/names.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "report/lines.h"
#include "report/report.h"

namespace orvane {

namespace {

// The names given as the player reads them: "  \"NAME\"" on a line each.
std::string quoted(const std::string& name) { return "  \"" + name + "\""; }

class Teller {
 public:
  Teller(size_t width, std::vector<std::string>& lines) : width_(width), lines_(lines) {}

  void say(Say id, const std::vector<std::string>& args = {}) {
    for (std::string& l : orvane::say(id, args)) lines_.push_back(std::move(l));
  }
  // "  NAME rest", wrapped, the name never broken.
  void entry(const std::string& name, const std::string& rest = std::string()) {
    for (std::string& l : wrap("  ", name + rest, width_, 0, name.size())) lines_.push_back(std::move(l));
  }
  void line(const std::string& l) { lines_.push_back(l); }

 private:
  size_t width_;
  std::vector<std::string>& lines_;
};

struct Counts {
  size_t extracted = 0, identical = 0, differing = 0, duplicate = 0, refused = 0, skipped = 0, excluded = 0,
         unpacked = 0, requests = 0, missing = 0, unloadable = 0, unfound = 0;
  size_t packages() const { return missing + unloadable + unfound; }
  size_t others() const {
    return identical + differing + duplicate + refused + skipped + excluded + unpacked + requests + packages();
  }
};

Counts count(const ArchivePart& part) {
  Counts n;
  for (const Outcome& o : part.run->outcomes) {
    switch (o.state) {
      case Outcome::Extracted: ++n.extracted; break;
      case Outcome::Kept: ++(o.identical ? n.identical : n.differing); break;
      case Outcome::Duplicate: ++n.duplicate; break;
      case Outcome::Refused: ++n.refused; break;
      case Outcome::Skipped: ++n.skipped; break;
      case Outcome::Excluded: ++n.excluded; break;
      case Outcome::Unpacked: ++n.unpacked; break;
      default: break;
    }
  }
  n.requests = part.run->requests.size();
  n.missing = part.found.missing.size();
  n.unloadable = part.found.unloadable.size();
  n.unfound = part.found.unfound.size();
  return n;
}

// Calls each(i, outcome) for every item in the given state, in the archive's order.
template <typename Each>
void list(const Run& run, Outcome::State state, Each each) {
  for (size_t i = 0; i < run.outcomes.size(); ++i)
    if (run.outcomes[i].state == state) each(i, run.outcomes[i]);
}

void list_failed(Teller& t, const ArchivePart& part) {
  for (const FailedItem& f : part.failed) t.entry(f.name, " (" + f.why + ")");
}

bool failed_because(const ArchivePart& part, Failure kind) {
  return std::any_of(part.failed.begin(), part.failed.end(), [&](const FailedItem& f) { return f.kind == kind; });
}

// The archive, or a file of it, cannot be unpacked: why, as the failures' kinds say it.
int unusable(Teller& t, const ArchivePart& part) {
  if (failed_because(part, Failure::Volume)) {
    t.say(Say::kMultiVolume);
  } else if (failed_because(part, Failure::Password)) {
    t.say(Say::kProtected);
  } else if (failed_because(part, Failure::TwoFormats)) {
    t.say(Say::kTwoFormats);
  } else if (failed_because(part, Failure::Update)) {
    t.say(Say::kUpdateArchive);
  } else if (failed_because(part, Failure::Bomb)) {
    t.say(Say::kBomb);
  } else if (failed_because(part, Failure::Method)) {
    t.say(Say::kUnsupported);
    list_failed(t, part);
    t.say(Say::kUnsupportedAfter);
  } else if (failed_because(part, Failure::Special)) {
    t.say(Say::kSpecialFiles);
    list_failed(t, part);
    t.say(Say::kSpecialFilesAfter);
  } else {
    t.say(Say::kDamaged);
  }
  return kExitArchive;
}

// The game folder cannot take the files.
int unprepared(Teller& t, const ArchivePart& part) {
  if (!part.file_in_place.empty()) {
    const bool root = !part.game.empty() && part.game.back() == platform::kSeparator;  // "C:\\"
    t.say(Say::kFileInPlace, {part.file_in_place, part.game + (root ? "" : std::string(1, platform::kSeparator)) +
                                                      part.file_in_place});
  } else if (failed_because(part, Failure::InTheWay)) {
    t.say(Say::kFolderInTheWay);
    list_failed(t, part);
    t.say(Say::kFolderInTheWayAfter);
  } else if (failed_because(part, Failure::NameTooLong)) {
    t.say(Say::kNameTooLong);
    list_failed(t, part);
    t.say(Say::kNameTooLongAfter);
  } else if (failed_because(part, Failure::TooLong)) {
    t.say(Say::kPathTooLong);
    list_failed(t, part);
    t.say(Say::kPathTooLongAfter);
  } else {
    t.say(Say::kNotWritable, {part.game});
  }
  return kExitUnwritable;
}

void list_skipped(Teller& t, const Run& run, const Counts& n) {
  t.say(Say::kSkipped, {std::to_string(n.skipped + n.excluded)});
  const std::string mac = say(Say::kNoteMacMetadata)[0], cache = say(Say::kNoteCacheFile)[0],
                    other = say(Say::kNoteNotGameFile)[0];
  list(run, Outcome::Excluded, [&](size_t i, const Outcome&) { t.entry(run.display_name(i), " " + mac); });
  auto cache_file = [&](size_t i) {
    const std::string name = run.display_name(i);
    return pattern_matches("*.uz", name) || pattern_matches("*.uxx", name);
  };
  list(run, Outcome::Skipped, [&](size_t i, const Outcome&) {
    if (cache_file(i)) t.entry(run.display_name(i), " " + cache);
  });
  list(run, Outcome::Skipped, [&](size_t i, const Outcome&) {
    if (!cache_file(i)) t.entry(run.display_name(i), " " + other);
  });
}

void list_missing(Teller& t, const PackageCheck::Result& found) {
  t.say(Say::kMissing, {std::to_string(found.missing.size())});
  bool any[2] = {};
  for (bool stock : {false, true}) {
    for (const PackageCheck::Missing& m : found.missing) {
      if (m.stock != stock) continue;
      if (stock && !any[1]) t.say(Say::kMissingStock);
      any[stock] = true;
      t.entry(m.name, missing_detail(m));
    }
    if (!stock && any[0]) t.say(Say::kMissingAdvice);
  }
  if (any[1]) t.say(Say::kMissingStockAdvice);
}

void list_unfound(Teller& t, const PackageCheck::Result& found) {
  using Because = PackageCheck::UnfoundBecause;
  t.say(Say::kUnfound, {std::to_string(found.unfound.size())});
  for (const PackageCheck::Unfound& u : found.unfound) t.entry(u.object, unfound_detail(u));
  auto any = [&](Because b) {
    return std::any_of(found.unfound.begin(), found.unfound.end(),
                       [&](const PackageCheck::Unfound& u) { return u.because == b; });
  };
  bool said = false;
  const std::pair<Because, Say> advice[] = {{Because::kStockFile, Say::kUnfoundStockAdvice},
                                            {Because::kOtherKind, Say::kUnfoundOtherKindAdvice},
                                            {Because::kFoundFirst, Say::kUnfoundFoundFirstAdvice},
                                            {Because::kKeptDiffering, Say::kUnfoundKeptAdvice}};
  for (const auto& a : advice) {
    if (!any(a.first)) continue;
    t.say(a.second);
    said = true;
  }
  // Another version of the package mends what is neither the game's own file nor a
  // package of another kind.
  const bool others = std::any_of(found.unfound.begin(), found.unfound.end(), [](const PackageCheck::Unfound& u) {
    return u.because != Because::kStockFile && u.because != Because::kOtherKind;
  });
  if (others) t.say(said ? Say::kUnfoundOtherwise : Say::kUnfoundVersion);
}

// Kept, duplicate, refused and skipped files, unpacked umods, their requests and what the
// packages need, each kind under its heading.
void list_others(Teller& t, const ArchivePart& part, const Counts& n) {
  const Run& run = *part.run;
  if (n.identical) {
    t.say(Say::kKeptIdentical, {std::to_string(n.identical)});
    list(run, Outcome::Kept, [&](size_t, const Outcome& o) {
      if (o.identical) t.entry(o.text);
    });
  }
  if (n.differing) {
    t.say(Say::kKeptDiffering, {std::to_string(n.differing)});
    list(run, Outcome::Kept, [&](size_t, const Outcome& o) {
      if (!o.identical) t.entry(o.text);
    });
    t.say(Say::kKeptDifferingAdvice);
  }
  if (n.duplicate) {
    t.say(Say::kDuplicate, {std::to_string(n.duplicate)});
    list(run, Outcome::Duplicate, [&](size_t, const Outcome& o) { t.entry(o.text, duplicate_detail()); });
  }
  if (n.refused) {
    t.say(Say::kRefused, {std::to_string(n.refused)});
    list(run, Outcome::Refused, [&](size_t i, const Outcome& o) { t.entry(run.display_name(i), " (" + o.text + ")"); });
  }
  if (n.skipped + n.excluded) list_skipped(t, run, n);
  if (n.unpacked) {
    t.say(Say::kUnpacked, {std::to_string(n.unpacked)});
    list(run, Outcome::Unpacked, [&](size_t i, const Outcome& o) { t.entry(run.display_name(i), " (" + o.text + ")"); });
  }
  if (n.requests) {
    t.say(Say::kRequests, {std::to_string(n.requests)});
    for (const Request& r : run.requests)
      r.container.empty() ? t.entry(r.text) : t.entry(r.container + ":", " " + r.text);
  }
  if (n.missing) list_missing(t, part.found);
  if (n.unloadable) {
    t.say(Say::kUnloadable, {std::to_string(n.unloadable)});
    for (const PackageCheck::Unloadable& u : part.found.unloadable) t.entry(u.shown, " (" + u.why + ")");
  }
  if (n.unfound) list_unfound(t, part.found);
}

int installed(Teller& t, const ArchivePart& part) {
  const Counts n = count(part);
  t.say(columns(part.game) <= 45 ? Say::kInstalledInto : Say::kInstalledIntoLong,
        {part.game, std::to_string(n.extracted)});
  if (n.extracted == 0) t.say(Say::kNone);
  list(*part.run, Outcome::Extracted, [&](size_t, const Outcome& o) { t.entry(o.text); });
  if (n.others()) list_others(t, part, n);
  t.line("");
  if (part.code == kExitUnchecked) {
    t.say(Say::kUnchecked);
    return kExitUnchecked;
  }
  if (n.packages()) {
    t.say(n.missing ? Say::kPackagesMissing : n.unloadable ? Say::kPackagesUnloadable : Say::kPackagesUnfound);
    return kExitPackages;
  }
  if (part.code == kExitRefused) {
    t.say(Say::kSomeRefused);
    return kExitRefused;
  }
  t.say(n.extracted == 0 ? Say::kNothingNew : Say::kDone);
  return kExitOk;
}

}  // namespace

int tell_archive(const ArchivePart& part, size_t width, std::vector<std::string>& lines) {
  Teller t(width, lines);
  switch (part.code) {
    case kExitArchive: return unusable(t, part);
    case kExitUnwritable: return unprepared(t, part);
    case kExitDestination: t.say(Say::kNoRoom); return kExitDestination;
    case kExitInternal: t.say(Say::kStopped); return kExitInternal;
    default: break;
  }
  if (!part.run || !part.counted) {
    if (part.code == kExitUnchecked) {
      t.say(Say::kUnchecked);
      return kExitUnchecked;
    }
    t.say(Say::kDamaged);
    return kExitArchive;
  }
  switch (part.code) {
    case kExitOk:
    case kExitRefused:
    case kExitPackages:
    case kExitUnchecked: return installed(t, part);
    case kExitNothingMatched: {
      const Counts n = count(part);
      t.say(Say::kNothingToInstall);
      if (n.skipped + n.excluded + n.refused) {
        t.say(Say::kItHolds);
        list_others(t, part, n);
      }
      return kExitNothingMatched;
    }
    case kExitEntries: return unusable(t, part);
    default: t.say(Say::kDamaged); return kExitArchive;
  }
}

int seriousness(int code) {
  switch (code) {
    case kExitDestination: return 1;
    case kExitUnwritable: return 2;
    case kExitArchive:
    case kExitInternal: return 3;
    case kExitNothingMatched: return 4;
    case kExitUsage: return 5;
    case kExitUnreported: return 6;
    case kExitUnchecked: return 7;
    case kExitRefused: return 8;
    case kExitPackages: return 9;
    default: return 10;
  }
}

int tell_batch(const std::vector<int>& codes, const std::vector<std::string>& names, std::vector<std::string>& lines) {
  Teller t(0, lines);
  int worst = kExitOk;
  size_t failed = 0, attention = 0;
  for (int code : codes) {
    if (seriousness(code) < seriousness(worst)) worst = code;
    if (code == kExitOk) continue;
    ++(seriousness(code) < seriousness(kExitUnreported) ? failed : attention);
  }
  t.say(Say::kAllArchives, {std::to_string(codes.size()), std::to_string(codes.size() - failed - attention),
                            std::to_string(failed), std::to_string(attention)});
  if (worst == kExitOk) {
    t.say(Say::kEveryMapInstalled);
    return worst;
  }
  t.say(Say::kTheseNeedYou);
  for (size_t k = 0; k < codes.size(); ++k)
    if (codes[k] != kExitOk) t.line(quoted(names[k]));
  return worst;
}

}  // namespace orvane
