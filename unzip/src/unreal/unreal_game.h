// What Pkzip25 knows of Unreal Tournament itself, and nothing else does: which
// files are Unreal packages, where the game looks for them (the Paths= lines
// of [Core.System] in System\UnrealTournament.ini, which it reads and never
// writes), and so which packages the installed files need that neither the
// install nor the game holds. The package format itself is unreal_package.h.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/source.h"
#include "unreal/unreal_package.h"

namespace orvane {

// .unr .u .utx .uax .umx: one container format.
bool is_package_file(const std::string& name);

// The package files the game can find, by lower-case package name, each name's in
// the order the game looks (the first is the one it loads). The search folders are
// listed once, when first asked for, and the listing serves the checks of every
// archive of a run, each adding the files it put in place. One thread at a time.
class GameListing {
 public:
  explicit GameListing(std::string game) : game_(std::move(game)) {}
  struct Found {
    std::string path, shown;  // where it is, and as the summary shows it
    size_t order = 0;         // the search path that finds it
  };
  const std::map<std::string, std::vector<Found>>& files();
  // A package file put in place at `path` (in the game or absolute), counted where the
  // game's search finds it when the folders were listed before it came.
  void add(const std::string& path);

 private:
  // A place the game searches for packages: a folder and the extension its
  // pattern asks for (empty: any package file), with the folder as the
  // summary shows it (relative to the game, "Textures\\").
  struct SearchPath {
    std::string folder, shown, ext;
  };
  // From the game's ini, or the defaults.
  std::vector<SearchPath> search_paths() const;
  bool wanted(const SearchPath& sp, const std::string& name) const;

  std::string game_;
  bool listed_ = false;
  std::vector<SearchPath> paths_;
  std::map<std::string, std::vector<Found>> files_;
};

class PackageCheck {
 public:
  // listing: the run's, shared by the checks of its archives; null: one of its own.
  explicit PackageCheck(std::string game, std::shared_ptr<GameListing> listing = nullptr)
      : game_(std::move(game)), listing_(listing ? std::move(listing) : std::make_shared<GameListing>(game_)) {}

  // Reads the package that item i puts in place or keeps in the game, shown
  // as `shown` (a path relative to the game). Any thread; for one item the
  // last read counts (a file found in place at the move is the one kept).
  void read(size_t item, const std::string& shown, Source& src);

  struct Missing {
    std::string name;   // as the first import of it spells it
    unsigned kinds = 0; // PackageKind bits
    bool stock = false; // one of the files the game itself ships
    std::vector<std::string> needed_by;
  };
  struct Unloadable {
    std::string shown, why;
  };
  // Why objects are not found, which decides what the player can do. The
  // report says it in words that hold marker(because).
  enum class UnfoundBecause {
    kNotInFile,      // the file the game finds lacks it, or holds it elsewhere or as another class
    kFoundFirst,     // another file of the package's name is found first
    kKeptDiffering,  // the game's copy was kept, and it differs from the archive's
    kStockFile,      // the file is one the game ships: never to be replaced by another copy
    kOtherKind,      // only a package of another kind has the name: the one they come from is missing
    kMostlyAbsent,   // most of what is taken from the file is not in it: another version of it
  };
  // An object that the game will not find where it looks, or, where most of
  // what is taken from one file is not in it, all of those at once.
  struct Unfound {
    std::string object;  // "Texture Render.Ground.Slate", or "32 objects of X"
    std::string which;   // for many at once, some of them: "among them Class X.A, Class X.B, Class X.C"
    std::string why;     // "System\Render.u is found first under the name Render, ..."
    UnfoundBecause because = UnfoundBecause::kNotInFile;
    std::vector<std::string> needed_by;
  };
  // The words of the report's why that tell each reason, which the install
  // script chooses its remedy by; empty for kNotInFile, which has no words of its own.
  static const char* marker(UnfoundBecause because);
  struct Result {
    std::vector<Missing> missing;
    std::vector<Unloadable> unloadable;
    std::vector<Unfound> unfound;
  };
  // Once the install is decided, given the items that are in the game now
  // (sorted) and those of them kept although they differ from the archive's:
  // each package they need that neither they nor the game's folders hold;
  // each of them that is no package the game can load; and each object they
  // take from a package that the file the game finds under its name lacks.
  // One level further, a package of the game that they need and that itself
  // needs a missing one.
  Result finish(const std::vector<size_t>& installed, const std::vector<size_t>& differing) const;

 private:
  struct Record {
    size_t item = 0;
    std::string shown, own_name, why;
    std::vector<std::string> needs;
    std::vector<unsigned> kinds;
    ObjectList takes;
    // What it holds, read with the rest while its bytes are at hand (a map's, which
    // few take anything from, only when something does).
    bool holds_read = false;
    ObjectList holds;
  };
  std::string game_;
  std::shared_ptr<GameListing> listing_;
  mutable std::mutex mu_;
  std::vector<Record> records_;
};

}  // namespace orvane
