#include "app/check.h"

#include <cstdio>

#include "base/text.h"
#include "cli/cli.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "report/lines.h"
#include "unreal/game_cache.h"
#include "unreal/game_check.h"

namespace orvane {

const char kCheckListFile[] = "System\\Orvane-Check.txt";

namespace {

const size_t kWidth = 79;
const size_t kNamesShown = 3;  // on the console; the list names all

// 2143 as "2,143".
std::string grouped(size_t n) {
  std::string s = std::to_string(n);
  for (size_t at = s.size(); at > 3; at -= 3) s.insert(at - 3, ",");
  return s;
}

// "Maps\CTF-Coret.unr" as the player names the map: "CTF-Coret".
std::string short_name(const std::string& shown) {
  const size_t sep = shown.find_last_of("/\\");
  const std::string name = sep == std::string::npos ? shown : shown.substr(sep + 1);
  return name.substr(0, name.find_last_of('.'));
}

// Names, all of them or the first few and how many more.
std::string listed(const std::vector<std::string>& names, bool all, bool short_names) {
  std::string s;
  const size_t shown = all ? names.size() : std::min(names.size(), kNamesShown);
  for (size_t i = 0; i < shown; ++i) s += (i ? ", " : "") + (short_names ? short_name(names[i]) : names[i]);
  if (shown < names.size()) return fill(Say::kCheckAndMore, {s, grouped(names.size() - shown)});
  return s;
}

// "21 maps need it: CTF-Coret, ... and 18 more; 1 mod needs it: X".
std::string needers(const std::vector<std::string>& maps, const std::vector<std::string>& mods, bool all) {
  std::string s;
  if (!maps.empty())
    s = maps.size() == 1 ? fill(Say::kCheckNeedMap, {short_name(maps[0])})
                         : fill(Say::kCheckNeedMaps, {grouped(maps.size()), listed(maps, all, true)});
  if (!mods.empty())
    s += (s.empty() ? "" : "; ") + (mods.size() == 1 ? fill(Say::kCheckNeedMod, {mods[0]})
                                                     : fill(Say::kCheckNeedMods, {grouped(mods.size()), listed(mods, all, false)}));
  return s;
}

std::string needers(const std::vector<std::string>& who, bool all) {
  std::vector<std::string> maps, mods;
  for (const std::string& w : who) (count_maps({w}) ? maps : mods).push_back(w);
  return needers(maps, mods, all);
}

// One finding: for the console wrapped, its name (the first name_end bytes) kept whole;
// for the list one line.
struct Out {
  Report& console;
  std::vector<std::string>& list;
  void heading(Say id, const std::vector<std::string>& args = {}) {
    const std::string t = fill(id, args);
    for (const std::string& l : wrap("", t, kWidth)) console.out(l);
    list.push_back(t);
  }
  void finding(const std::string& on_console, const std::string& in_list, size_t name_end) {
    // A comma or colon right after the name stays with it.
    while (name_end > 0 && name_end < on_console.size() && on_console[name_end] != ' ') ++name_end;
    for (const std::string& l : wrap("  ", on_console, kWidth, 0, name_end)) console.out(l);
    list.push_back("  " + in_list);
  }
  void line(const std::string& t) {
    for (const std::string& l : wrap("", t, kWidth)) console.out(l);
    list.push_back(t);
  }
};

Say damage_text(GameCheck::Damage d) {
  switch (d) {
    case GameCheck::Damage::kNotPackage: return Say::kCheckDamageNotPackage;
    case GameCheck::Damage::kEmpty: return Say::kCheckDamageEmpty;
    case GameCheck::Damage::kPastEnd: return Say::kCheckDamagePastEnd;
    case GameCheck::Damage::kUnreadable: return Say::kCheckDamageUnreadable;
    case GameCheck::Damage::kVersion: return Say::kCheckDamageVersion;
    case GameCheck::Damage::kTables: return Say::kCheckDamageTables;
    case GameCheck::Damage::kFolder: return Say::kCheckDamageFolder;
  }
  return Say::kCheckDamageTables;
}

// The findings, grouped by what the player must do; for each missing package what the
// cache holds of it.
void tell_findings(const GameCheck& r, const GameCache& cache, Out& out) {
  for (bool stock : {false, true}) {
    bool headed = false;
    for (const GameCheck::Missing& m : r.missing) {
      if (m.stock != stock) continue;
      if (!headed) out.heading(stock ? Say::kCheckMissingStockHeading : Say::kCheckMissingHeading);
      headed = true;
      std::string through;
      if (!m.through.empty()) through = " " + fill(Say::kCheckThrough, {listed(m.through, true, false)});
      std::string note;
      const std::vector<const CacheFile*> held = cache.holding(m.name);
      if (held.size() == 1) note = " " + fill(Say::kCheckInCache);
      if (held.size() > 1) {
        std::string which;
        for (const CacheFile* f : held) which += (which.empty() ? "" : ", ") + cache.shown + f->guid + "=" + f->name;
        note = " " + fill(Say::kCheckInCacheVersions, {std::to_string(held.size()), which});
      }
      auto entry = [&](bool all) {
        return fill(Say::kCheckMissing, {m.name, kind_text(m.kinds), needers(m.maps, m.mods, all) + through}) + note;
      };
      out.finding(entry(false), entry(true), m.name.size());
    }
  }
  if (!r.unfound.empty()) out.heading(Say::kCheckUnfoundHeading);
  for (const GameCheck::Unfound& u : r.unfound) {
    const std::string object = u.what.object + (u.what.which.empty() ? "" : " (" + u.what.which + ")");
    out.finding(fill(Say::kCheckUnfound, {object, needers(u.what.needed_by, false), u.what.why}),
                fill(Say::kCheckUnfound, {object, needers(u.what.needed_by, true), u.what.why}), 0);
  }
  if (!r.damaged.empty()) out.heading(Say::kCheckDamagedHeading);
  for (const GameCheck::Damaged& d : r.damaged) {
    std::string t = fill(damage_text(d.why), {d.shown, d.detail});
    if (!d.loaded) t += " " + fill(Say::kCheckNotLoaded);
    auto entry = [&](bool all) { return d.needed_by.empty() ? t : t + "; " + needers(d.needed_by, all); };
    out.finding(entry(false), entry(true), d.shown.size());
  }
  if (!r.hidden.empty()) out.heading(Say::kCheckHiddenHeading);
  for (const GameCheck::Hidden& h : r.hidden) {
    auto entry = [&](bool all) {
      return fill(Say::kCheckHidden, {h.later, h.first, listed(h.objects, all, false), needers(h.needed_by, all)});
    };
    out.finding(entry(false), entry(true), h.later.size());
  }
  if (r.all_loads()) out.line(fill(Say::kCheckAllLoads));
}

std::string counts(const GameCheck& r) {
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.1f", r.seconds);
  auto of = [](size_t n, Say one, Say many) { return n == 1 ? fill(one) : fill(many, {grouped(n)}); };
  return fill(Say::kCheckCounts, {of(r.packages, Say::kCheckPackagesOne, Say::kCheckPackagesMany), secs,
                                  of(r.maps, Say::kCheckMapsOne, Say::kCheckMapsMany),
                                  of(r.code_packages, Say::kCheckCodeOne, Say::kCheckCodeMany),
                                  of(r.maps_failing, Say::kCheckMapsOne, Say::kCheckMapsMany)});
}

// The list as a file the player can copy from, in place of the last one: written beside
// it and renamed over it, so that a link of that name is replaced, never followed.
bool write_list(const std::string& game, const std::vector<std::string>& lines, std::string& err) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  std::string path = kCheckListFile;
  for (char& c : path)
    if (c == '\\') c = platform::kSeparator;
  path = platform::join(game, path);
  platform::TempFile f;
  return f.create(path.substr(0, path.find_last_of(platform::kSeparator)), err) && f.write(text.data(), text.size(), err) &&
         f.finish(platform::FileTime(), err) && f.commit(path, true, err) == platform::Commit::Done;
}

}  // namespace

int check_game(const std::string& game, CacheAnswer answer, Report& console, std::istream& input) {
  std::vector<std::string> list;
  Out out{console, list};
  if (platform::kind_of(platform::join(game, "System")) != platform::Kind::Directory) {
    console.err(fill(Say::kCheckNoGame, {game}));
    return kExitUsage;
  }
  GameCheck r = check_whole_game(game);
  GameCache cache = read_cache(game);
  tell_findings(r, cache, out);

  // What the cache offers: each missing package it holds in one version.
  std::vector<CacheFile> offered;
  for (const GameCheck::Missing& m : r.missing) {
    const std::vector<const CacheFile*> held = cache.holding(m.name);
    if (held.size() == 1) offered.push_back(*held[0]);
  }
  if (!cache.problems.empty() || !offered.empty()) out.heading(Say::kCheckCacheHeading, {cache.shown});
  for (const CacheProblem& p : cache.problems) {
    static const Say kSay[] = {Say::kCheckCacheNotGuid, Say::kCheckCacheUnsafeName, Say::kCheckCacheNotPackageName,
                               Say::kCheckCacheNoFile,  Say::kCheckCacheNoPackage,  Say::kCheckCacheBadSetting};
    const std::string t = fill(kSay[static_cast<int>(p.kind)], {p.line});
    out.finding(t, t, 0);
  }
  bool put = false;
  if (!offered.empty()) {
    bool yes = answer == CacheAnswer::kYes;
    if (answer == CacheAnswer::kAsk) {
      out.line(fill(Say::kCheckCacheAsk, {std::to_string(offered.size())}));
      std::string reply;
      std::getline(input, reply);
      yes = ascii_lower(trim(reply)) == "y";
    } else if (answer == CacheAnswer::kNo) {
      out.line(fill(Say::kCheckCacheNotAsked, {std::to_string(offered.size())}));
    }
    if (yes) {
      const CachePut p = put_from_cache(game, offered);
      for (const std::string& t : p.told) out.line(fill(Say::kCheckJournal, {t}));
      switch (p.outcome) {
        case CachePut::Outcome::kDone:
          for (const std::string& placed : p.placed) out.finding(fill(Say::kCheckCachePut, {placed}),
                                                                 fill(Say::kCheckCachePut, {placed}), 0);
          put = true;
          break;
        case CachePut::Outcome::kInTheWay: out.line(fill(Say::kCheckCacheInTheWay, {p.in_the_way})); break;
        case CachePut::Outcome::kFailed: out.line(fill(Say::kCheckCacheFailed, {p.error})); break;
      }
    } else if (answer == CacheAnswer::kAsk) {
      out.line(fill(Say::kCheckCacheDeclined));
    }
  }
  if (put) {
    // The counts before, then the game as it is now.
    out.line(counts(r));
    r = check_whole_game(game);
    cache = read_cache(game);
    out.heading(Say::kCheckAgain);
    tell_findings(r, cache, out);
  }
  const std::string last = counts(r);
  list.push_back(last);
  std::string err;
  if (write_list(game, list, err))
    console.out(fill(Say::kCheckListWritten, {kCheckListFile}));
  else
    console.err(fill(Say::kCheckListNotWritten, {kCheckListFile, err}));
  console.out(last);
  return r.all_loads() ? kExitOk : kExitPackages;
}

}  // namespace orvane
