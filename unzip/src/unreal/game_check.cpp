#include "unreal/game_check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "base/names.h"
#include "base/text.h"
#include "platform/platform.h"

namespace orvane {

namespace {

using Found = GameListing::Found;

bool has_extension(const std::string& name, const char* ext) {
  const std::string e = ext;
  return name.size() > e.size() && ascii_lower(name.substr(name.size() - e.size())) == e;
}

std::string stem(const std::string& shown) {
  const size_t sep = shown.find_last_of("/\\");
  std::string name = sep == std::string::npos ? shown : shown.substr(sep + 1);
  return name.substr(0, name.find_last_of('.'));
}

GameCheck::Damage damage_of(PackageDamage d) {
  switch (d) {
    case PackageDamage::kEmpty: return GameCheck::Damage::kEmpty;
    case PackageDamage::kPastEnd: return GameCheck::Damage::kPastEnd;
    case PackageDamage::kUnreadable: return GameCheck::Damage::kUnreadable;
    case PackageDamage::kVersion: return GameCheck::Damage::kVersion;
    case PackageDamage::kTables: return GameCheck::Damage::kTables;
    case PackageDamage::kNotPackage:
    case PackageDamage::kNone: break;
  }
  return GameCheck::Damage::kNotPackage;
}

// One package file on the Paths, as read.
struct Entry {
  Found found;
  bool first = false;  // the first of its name: the one the game loads
  bool map = false, code = false;
  PackageDamage damage = PackageDamage::kNone;
  std::string why;
  std::vector<Dependency> needs;
  ObjectList takes;  // a map's or code package's, found first
  ObjectList holds;  // any other's (a map's is read again in the rare case that something takes from one)
  bool record() const { return first && (map || code) && damage == PackageDamage::kNone; }
};

// Reads one file: what it needs, takes and holds, or why it cannot be loaded. p is the
// thread's, kept from file to file so that its tables' memory is allocated seldom.
void read_entry(Entry& e, Package& p) {
  std::string err;
  std::unique_ptr<Source> src = platform::open_archive(e.found.path, err);
  if (!src) {
    e.damage = PackageDamage::kUnreadable;
    e.why = err;
    return;
  }
  e.why = read_package_file(*src, p, true, &e.damage);
  if (!e.why.empty()) return;
  const std::string own = stem(e.found.shown);
  e.needs = dependencies(p, own);
  if (e.record()) e.takes = imported_objects(p, own);
  if (!e.map) e.holds = exported_objects(p, own);
}

// Who needs something, sorted into maps and the rest.
void split_needers(const std::vector<std::string>& needers, std::vector<std::string>& maps,
                   std::vector<std::string>& mods) {
  for (const std::string& n : needers) {
    std::vector<std::string>& to = has_extension(n, ".unr") ? maps : mods;
    if (std::find(to.begin(), to.end(), n) == to.end()) to.push_back(n);
  }
}

template <class T, class Key>
void most_first(std::vector<T>& v, Key key) {
  std::stable_sort(v.begin(), v.end(), [&](const T& a, const T& b) { return key(a) > key(b); });
}

}  // namespace

size_t count_maps(const std::vector<std::string>& shown) {
  return static_cast<size_t>(
      std::count_if(shown.begin(), shown.end(), [](const std::string& s) { return has_extension(s, ".unr"); }));
}

GameCheck check_whole_game(const std::string& game, const std::vector<std::string>& absent) {
  const auto start = std::chrono::steady_clock::now();
  GameCheck out;
  GameListing listing(game);
  // The game as it will be without the files `absent`: they are neither read nor found.
  std::map<std::string, std::vector<Found>> files = listing.files();
  if (!absent.empty()) {
    // Either separator: the listing shows "Textures\X.utx" on every system.
    auto key = [](std::string path) {
      std::replace(path.begin(), path.end(), '/', '\\');
      return fold_case(path);
    };
    std::set<std::string> gone;
    for (const std::string& a : absent) gone.insert(key(a));
    for (auto it = files.begin(); it != files.end();) {
      auto& found = it->second;
      found.erase(std::remove_if(found.begin(), found.end(),
                                 [&](const Found& f) { return gone.count(key(f.shown)) > 0; }),
                  found.end());
      it = found.empty() ? files.erase(it) : std::next(it);
    }
  }

  // Every file once, in the Paths order of each name.
  std::vector<Entry> entries;
  std::unordered_map<const Found*, size_t> entry_of;  // by the file's place in the listing
  for (const auto& name : files)
    for (size_t k = 0; k < name.second.size(); ++k) {
      entry_of.emplace(&name.second[k], entries.size());
      Entry e;
      e.found = name.second[k];
      e.first = k == 0;
      e.map = has_extension(e.found.shown, ".unr");
      e.code = has_extension(e.found.shown, ".u");
      entries.push_back(std::move(e));
    }
  // Read on two threads: the tables of thousands of files are many small reads.
  {
    std::atomic<size_t> next{0};
    auto work = [&] {
      Package p;
      for (size_t i; (i = next++) < entries.size();) read_entry(entries[i], p);
    };
    std::vector<std::thread> threads;
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    try {
      for (unsigned t = 1; t < cores; ++t) threads.emplace_back(work);
    } catch (const std::system_error&) {
      // fewer threads: this one does the rest
    }
    work();
    for (std::thread& t : threads) t.join();
  }

  ImportResolver::Hooks hooks;
  hooks.load = [&](const Found& f, ImportResolver::Held& h) {
    auto at = entry_of.find(&f);
    if (at == entry_of.end()) return;
    Entry& e = entries[at->second];
    if (!e.why.empty()) return;
    h.needs = e.needs;
    if (!e.map) {
      h.take(std::move(e.holds));
      return;
    }
    std::string err;
    std::unique_ptr<Source> src = platform::open_archive(f.path, err);
    Package p;
    if (src && read_package_file(*src, p, true).empty()) h.take(exported_objects(p, stem(f.shown)));
  };
  hooks.checked = [&](const Found& f) {
    auto at = entry_of.find(&f);
    return at != entry_of.end() && entries[at->second].record();
  };
  hooks.kept_differing = [](const Found&) { return false; };
  ImportResolver resolver(files, nullptr, std::move(hooks), ImportResolver::Scope::kWholeGame);
  for (const Entry& e : entries) {
    out.maps += e.map;
    out.code_packages += e.code;
    if (!e.record()) continue;
    std::vector<std::string> needs;
    std::vector<unsigned> kinds;
    for (const Dependency& d : e.needs) {
      needs.push_back(d.name);
      kinds.push_back(d.kinds);
    }
    resolver.resolve(e.found.shown, needs, kinds, e.takes);
  }
  out.packages = entries.size();

  // What will not load, and so each map and code package that fails by itself.
  std::set<std::string> failing;
  for (const ImportResolver::Missing& m : resolver.missing()) {
    GameCheck::Missing g{m.name, m.kinds, m.stock, {}, {}, {}};
    std::vector<std::string> by;
    for (const ImportResolver::Need& n : m.needed_by) {
      by.push_back(n.by);
      failing.insert(n.by);
      if (!n.via.empty() && std::find(g.through.begin(), g.through.end(), n.via) == g.through.end())
        g.through.push_back(n.via);
    }
    split_needers(by, g.maps, g.mods);
    out.missing.push_back(std::move(g));
  }
  for (PackageCheck::Unfound& u : resolver.unfound()) {
    for (const std::string& by : u.needed_by) failing.insert(by);
    if (u.held_by.empty()) {
      const size_t maps = count_maps(u.needed_by);
      out.unfound.push_back({std::move(u), maps});
      continue;
    }
    GameCheck::Hidden h;
    h.later = u.held_by;
    h.first = u.file;
    h.objects.push_back(u.object);
    h.needed_by = u.needed_by;
    h.maps = count_maps(h.needed_by);
    // Entries of one hidden file come together.
    auto same = std::find_if(out.hidden.begin(), out.hidden.end(),
                             [&](const GameCheck::Hidden& o) { return o.later == h.later; });
    if (same == out.hidden.end()) {
      out.hidden.push_back(std::move(h));
      continue;
    }
    same->objects.push_back(u.object);
    for (const std::string& n : h.needed_by)
      if (std::find(same->needed_by.begin(), same->needed_by.end(), n) == same->needed_by.end())
        same->needed_by.push_back(n);
    same->maps = count_maps(same->needed_by);
  }
  std::map<std::string, std::vector<std::string>> broken_needers;
  for (const ImportResolver::Broken& b : resolver.broken()) {
    broken_needers[b.file.path] = b.needed_by;
    for (const std::string& by : b.needed_by) failing.insert(by);
  }
  for (const Entry& e : entries) {
    if (e.why.empty()) continue;
    GameCheck::Damaged d;
    d.shown = e.found.shown;
    d.why = damage_of(e.damage);
    d.detail = e.why;
    d.loaded = e.first;
    d.needed_by = broken_needers[e.found.path];
    d.maps = count_maps(d.needed_by);
    if (e.first && (e.map || e.code)) failing.insert(e.found.shown);
    out.damaged.push_back(std::move(d));
  }
  for (const Found& f : listing.folders()) {
    GameCheck::Damaged d;
    d.shown = f.shown;
    d.why = GameCheck::Damage::kFolder;
    d.loaded = !files.count(ascii_lower(stem(f.shown)));  // else the game loads a file of its name
    out.damaged.push_back(std::move(d));
  }

  // One level further: a map fails with a code package it needs that fails.
  for (const Entry& e : entries) {
    if (!e.record() || !e.map || failing.count(e.found.shown)) continue;
    for (const Dependency& d : e.needs) {
      const std::vector<Found>* found = resolver.found_of(d.name);
      if (found && failing.count((*found)[0].shown)) {
        failing.insert(e.found.shown);
        break;
      }
    }
  }
  for (const std::string& f : failing)
    if (has_extension(f, ".unr")) out.failing_maps.push_back(f);
  out.maps_failing = out.failing_maps.size();

  // The most useful first: what most maps need, then what most mods need.
  auto weight = [](size_t maps, size_t all) { return maps * 1000000 + all; };
  most_first(out.missing, [&](const GameCheck::Missing& m) { return weight(m.maps.size(), m.mods.size()); });
  most_first(out.unfound, [&](const GameCheck::Unfound& u) { return weight(u.maps, u.what.needed_by.size()); });
  most_first(out.hidden, [&](const GameCheck::Hidden& h) { return weight(h.maps, h.needed_by.size()); });
  most_first(out.damaged, [&](const GameCheck::Damaged& d) { return weight(d.maps, d.needed_by.size()) * 2 + d.loaded; });
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

}  // namespace orvane
