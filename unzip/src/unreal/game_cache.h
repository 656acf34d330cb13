// The game's download cache: packages fetched from servers, stored under GUID names in
// the folder that CachePath of [Core.System] in System\UnrealTournament.ini names (by
// default ..\Cache, with CacheExt .uxx), with Cache\cache.ini's [Cache] lines, GUID=Name.ext,
// giving each its real name. Everything there is untrusted: a line may name a file that
// is not there, a path, a device or no package, and each is named without stopping the
// rest. Putting a package to use copies it into the game's folder of its kind, never
// replacing a file, all or nothing, under the install's journal.
#pragma once

#include <string>
#include <vector>

namespace orvane {

struct CacheFile {
  std::string guid;  // the key of its cache.ini line, as written
  std::string name;  // its real name, "GenFluid.utx"
  std::string path;  // the GUID file itself
};

struct CacheProblem {
  enum class Kind {
    kNotGuid,      // the key is no GUID, so no file name is made of it (a path, "..", a device)
    kUnsafeName,   // the real name is a path, "..", a device name or otherwise no plain file name
    kNotPackage,   // the real name is no package file's (.u .unr .utx .uax .umx)
    kNoFile,       // no GUID file is there
    kNoPackageData,  // the GUID file is no package the game can load
    kBadSetting,   // CacheExt is no plain extension: the default is used
  };
  Kind kind = Kind::kNotGuid;
  std::string line;  // the cache.ini line (or the setting), controls made harmless
};

struct GameCache {
  std::string folder;  // full path; empty when the game names none that exists
  std::string shown;   // as the player finds it: "Cache\" below the game, else the full path
  std::vector<CacheFile> files;  // the packages it holds, each under one line
  std::vector<CacheProblem> problems;

  // Its packages of this name (ignoring ASCII case), each GUID once: none, one, or
  // several versions, which only the player can choose between.
  std::vector<const CacheFile*> holding(const std::string& package) const;
};

GameCache read_cache(const std::string& game);

// The game's folder (relative to it) for a package file's extension: "Textures" for
// .utx; empty for another file.
std::string kind_folder(const std::string& file_name);

struct CachePut {
  enum class Outcome {
    kDone,     // every file is in place
    kInTheWay, // a file or folder already has one's name: nothing was put in place
    kFailed,   // it could not be done: nothing was put in place
  };
  Outcome outcome = Outcome::kDone;
  std::vector<std::string> placed;  // as shown below the game ("Textures\GenFluid.utx")
  std::string in_the_way;           // kInTheWay: which, as shown
  std::string error;                // kFailed: why
  std::vector<std::string> told;    // what the journal put right of a run cut short before
};

// Copies each file into the game's folder of its kind under its real name: all or none.
CachePut put_from_cache(const std::string& game, const std::vector<CacheFile>& files);

}  // namespace orvane
