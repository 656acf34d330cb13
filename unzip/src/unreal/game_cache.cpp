#include "unreal/game_cache.h"

#include <algorithm>
#include <memory>

#include "base/names.h"
#include "base/text.h"
#include "install/journal.h"
#include "platform/platform.h"
#include "unreal/unreal_game.h"
#include "unreal/unreal_package.h"

namespace orvane {

namespace {

// The text of a small file (an ini), empty when it cannot be read. The game's own are a
// few kilobytes; more is no ini of the game's.
std::string read_small(const std::string& path) {
  std::string err;
  std::unique_ptr<Source> src = platform::open_archive(path, err);
  if (!src || src->size() > (8u << 20)) return std::string();
  std::string text(static_cast<size_t>(src->size()), '\0');
  if (!text.empty() && !src->read_at(0, &text[0], text.size())) text.clear();
  return text;
}

bool is_guid(const std::string& s) {
  return s.size() == 32 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// A plain file name of a package: no folder, no "..", no device, nothing Windows refuses.
bool plain_package_name(const std::string& name) {
  return check_entry_name(name).empty() && name.find_first_of("/\\") == std::string::npos;
}

bool plain_extension(const std::string& ext) {
  return ext.size() >= 2 && ext.size() <= 16 && ext[0] == '.' &&
         std::all_of(ext.begin() + 1, ext.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
         });
}

bool is_absolute(const std::string& p) {
  return (!p.empty() && (p[0] == '/' || p[0] == '\\')) || (p.size() > 1 && p[1] == ':');
}

}  // namespace

std::string kind_folder(const std::string& file_name) {
  if (!is_package_file(file_name)) return std::string();
  const std::string ext = ascii_lower(file_name.substr(file_name.find_last_of('.')));
  if (ext == ".u") return "System";
  if (ext == ".unr") return "Maps";
  if (ext == ".utx") return "Textures";
  if (ext == ".uax") return "Sounds";
  return "Music";
}

std::vector<const CacheFile*> GameCache::holding(const std::string& package) const {
  std::vector<const CacheFile*> out;
  for (const CacheFile& f : files) {
    const std::string stem = f.name.substr(0, f.name.find_last_of('.'));
    if (!same_package_name(stem, package)) continue;
    if (std::none_of(out.begin(), out.end(), [&](const CacheFile* o) { return ascii_lower(o->guid) == ascii_lower(f.guid); }))
      out.push_back(&f);
  }
  return out;
}

GameCache read_cache(const std::string& game) {
  GameCache cache;
  const std::string system = platform::join(game, "System");
  std::string where = "..\\Cache", ext = ".uxx";
  const Ini settings(read_small(platform::join(system, "UnrealTournament.ini")), Ini::Headers::kWholeLine);
  for (const Ini::Line& l : settings.section("core.system")) {
    if (l.key == "cachepath" && !l.value.empty()) where = l.value;
    if (l.key != "cacheext") continue;
    if (plain_extension(l.value))
      ext = l.value;
    else
      cache.problems.push_back({CacheProblem::Kind::kBadSetting, without_controls(l.name + "=" + l.value)});
  }
  // Relative to System, as the game reads it.
  std::string native = where;
  for (char& c : native)
    if (c == '\\' || c == '/') c = platform::kSeparator;
  cache.folder = is_absolute(where) ? native : platform::join(system, native);
  std::string rel = where;
  for (char& c : rel)
    if (c == '/') c = '\\';
  const bool below_game = rel.compare(0, 3, "..\\") == 0 && rel.find("..", 3) == std::string::npos && rel.size() > 3;
  cache.shown = below_game ? rel.substr(3) + (rel.back() == '\\' ? "" : "\\") : where;
  if (platform::kind_of(cache.folder) != platform::Kind::Directory) {
    cache.folder.clear();
    return cache;
  }
  const Ini index(read_small(platform::join(cache.folder, "cache.ini")));
  std::vector<std::string> seen;  // lower-case GUIDs: a line repeated is one file
  for (const Ini::Line& l : index.section("cache")) {
    const std::string line = without_controls(l.name + "=" + l.value);
    if (!is_guid(l.name)) {
      cache.problems.push_back({CacheProblem::Kind::kNotGuid, line});
      continue;
    }
    if (!plain_package_name(l.value)) {
      cache.problems.push_back({CacheProblem::Kind::kUnsafeName, line});
      continue;
    }
    if (!is_package_file(l.value)) {
      cache.problems.push_back({CacheProblem::Kind::kNotPackage, line});
      continue;
    }
    if (std::find(seen.begin(), seen.end(), ascii_lower(l.name)) != seen.end()) continue;
    seen.push_back(ascii_lower(l.name));
    const std::string path = platform::join(cache.folder, l.name + ext);
    std::string err;
    std::unique_ptr<Source> src =
        platform::kind_of(path) == platform::Kind::File ? platform::open_archive(path, err) : nullptr;
    if (!src) {
      cache.problems.push_back({CacheProblem::Kind::kNoFile, line});
      continue;
    }
    Package p;
    if (!read_package_file(*src, p, true).empty()) {
      cache.problems.push_back({CacheProblem::Kind::kNoPackageData, line});
      continue;
    }
    cache.files.push_back({l.name, l.value, path});
  }
  return cache;
}

CachePut put_from_cache(const std::string& game, const std::vector<CacheFile>& files) {
  CachePut put;
  auto failed = [&](const std::string& why) {
    put.outcome = CachePut::Outcome::kFailed;
    put.error = why;
    put.placed.clear();
    return put;
  };
  const std::string root = platform::absolute(game);
  // Where the install's journal lies for these folders, so that a run of either cut
  // short is put right by the next of either.
  Journal journal;
  std::string err;
  if (!journal.open(root, {root}, put.told, err)) return failed(err);
  std::vector<Move> moves;
  std::vector<std::string> made;
  auto undo = [&] {
    take_back(moves, false);
    remove_made(made);
    journal.remove();
  };
  for (const CacheFile& f : files) {
    const std::string kind = kind_folder(f.name);
    if (kind.empty() || !plain_package_name(f.name)) {
      undo();
      return failed("no package's file name: " + without_controls(f.name));
    }
    const std::string dir = platform::join(root, kind), target = platform::join(dir, f.name);
    const std::string shown = kind + "\\" + f.name;
    if (platform::kind_of(target) != platform::Kind::Missing ||
        std::any_of(moves.begin(), moves.end(), [&](const Move& m) { return same_package_name(m.target, target); })) {
      undo();
      put.outcome = CachePut::Outcome::kInTheWay;
      put.in_the_way = shown;
      put.placed.clear();
      return put;
    }
    if (platform::kind_of(dir) == platform::Kind::Missing) {
      journal.folder(dir);
      if (!platform::make_dirs(dir, err)) {
        undo();
        return failed(dir + ": " + err);
      }
      made.push_back(dir);
    }
    std::unique_ptr<Source> from = platform::open_archive(f.path, err);
    platform::TempFile temp;
    if (!from || !temp.create(dir, err, [&](const std::string& p, bool taken) { journal.temp(p, taken); })) {
      undo();
      return failed(err);
    }
    std::vector<unsigned char> buf(1u << 20);
    for (uint64_t at = 0; at < from->size();) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), from->size() - at));
      if (!from->read_at(at, buf.data(), n)) err = "cannot read " + f.path;
      if (!err.empty() || !temp.write(buf.data(), n, err)) {
        temp.discard();
        undo();
        return failed(err);
      }
      at += n;
    }
    if (!temp.finish(platform::FileTime(), err) || !temp.keep(err)) {
      temp.discard();
      undo();
      return failed(err);
    }
    moves.push_back({temp.keep_path(), target, std::string(), false, platform::file_id(temp.keep_path())});
    put.placed.push_back(shown);
  }
  if (!journal.plan(moves, err)) {
    undo();
    return failed(err);
  }
  for (const Move& m : moves) {
    switch (platform::move_file(m.temp, m.target, false, err)) {
      case platform::Commit::Done: continue;
      case platform::Commit::Exists:
        // Appeared meanwhile: the game keeps that one, and none of ours goes in.
        undo();
        put.outcome = CachePut::Outcome::kInTheWay;
        put.in_the_way = kind_folder(m.target) + "\\" + m.target.substr(m.target.find_last_of("/\\") + 1);
        put.placed.clear();
        return put;
      case platform::Commit::Failed:
        undo();
        return failed(err);
    }
  }
  journal.done();
  journal.remove();
  return put;
}

}  // namespace orvane
