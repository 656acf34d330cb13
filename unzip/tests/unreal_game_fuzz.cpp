// libFuzzer target: the object check on a small game made from one input. The
// input is pieces joined by "|PKG|": the map the install puts in, the game's
// System\UnrealTournament.ini (none when empty), then up to five packages of
// the game under fixed names, every second one put in by the install too, then
// the cache's cache.ini and one file of the cache. The install's check reads
// them all, lists the folders and looks for each object the map takes; then the
// whole game is checked, and its cache read. A hang, a crash or a large
// allocation here is a bug.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "unreal/game_cache.h"
#include "unreal/game_check.h"
#include "unreal/unreal_game.h"
#include "unreal/unreal_package.h"

namespace fs = std::filesystem;

namespace {

const char* const kGameFiles[] = {"Textures/CityTex.utx", "Sounds/CitySounds.uax", "Music/Tunes.umx",
                                  "System/CityMod.u", "Maps/CTF-Other.unr"};

// The game's folder, in memory where the system offers it (it is written afresh for
// every input), removed at exit.
struct GameFolder {
  fs::path dir = (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                 ("unreal_game_fuzz-" + std::to_string(::getpid()));
  ~GameFolder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

const fs::path& game() {
  static const GameFolder folder;
  return folder.dir;
}

void put(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size), split = "|PKG|";
  std::vector<std::string> pieces;
  for (size_t at = 0;;) {
    size_t end = input.find(split, at);
    pieces.push_back(input.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos || pieces.size() == 4 + std::size(kGameFiles)) break;
    at = end + split.size();
  }
  pieces.resize(4 + std::size(kGameFiles));
  std::error_code ec;
  fs::remove_all(game(), ec);
  fs::create_directories(game() / "System");
  if (!pieces[1].empty()) put(game() / "System" / "UnrealTournament.ini", pieces[1]);

  orvane::PackageCheck check(game().string());
  std::vector<size_t> installed;
  auto install = [&](const std::string& rel, const std::string& bytes) {
    const fs::path p = game() / rel;
    put(p, bytes);
    orvane::MemorySource src(bytes.data(), bytes.size());
    check.read(installed.size(), p.string(), src);
    installed.push_back(installed.size());
  };
  install("Maps/CTF-Fuzz.unr", pieces[0]);
  for (size_t k = 0; k < std::size(kGameFiles); ++k) {
    if (pieces[2 + k].empty()) continue;
    if (k % 2)
      install(kGameFiles[k], pieces[2 + k]);
    else
      put(game() / kGameFiles[k], pieces[2 + k]);
  }
  // Each line of the summary, as it is worded.
  const orvane::PackageCheck::Result r = check.finish(installed, {installed.back()});
  for (const auto& m : r.missing) orvane::kind_text(m.kinds);

  // The whole game, and its cache: a GUID file that cache.ini may or may not name.
  put(game() / "Cache" / "cache.ini", pieces[2 + std::size(kGameFiles)]);
  put(game() / "Cache" / "0123456789ABCDEF0123456789ABCDEF.uxx", pieces[3 + std::size(kGameFiles)]);
  const orvane::GameCheck whole = orvane::check_whole_game(game().string());
  const orvane::GameCache cache = orvane::read_cache(game().string());
  for (const auto& m : whole.missing) cache.holding(m.name);

  // The map's own objects, each built as the check builds them.
  orvane::MemorySource src(data, pieces[0].size());
  orvane::Package p;
  if (orvane::read_package(src, p, true).empty()) {
    const orvane::ObjectList held = orvane::exported_objects(p, "CTF-Fuzz");
    for (const orvane::ObjectName& o : held) orvane::object_text(o);
    if (!held.empty()) orvane::same_object(held[0], held[held.size() - 1]);
  }
  return 0;
}
