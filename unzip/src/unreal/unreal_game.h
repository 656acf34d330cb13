// What Pkzip25 knows of Unreal Tournament itself, and nothing else does: which
// files are Unreal packages, where the game looks for them (the Paths= lines
// of [Core.System] in System\UnrealTournament.ini, which it reads and never
// writes), and so which packages the installed files need that neither the
// install nor the game holds. The package format itself is unreal_package.h.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
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
  // Folders on the search paths that have a package file's name (Textures\X.utx\): the
  // game finds no package there. Listed with files().
  const std::vector<Found>& folders() {
    files();
    return folders_;
  }
  // The search folders' count, as Found::order counts them.
  size_t search_path_count() {
    files();
    return paths_.size();
  }
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
  std::vector<Found> folders_;
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
    // The whole game's check only: a later file of the name that holds it, which the
    // game never loads (for many at once, when it holds them all); empty when none.
    std::string held_by;
    std::string file;  // the file the game finds under the package's name, as shown
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

// How the game finds what a package imports, for the install's check and the whole
// game's alike: the package is the first file of its name in the Paths order (names
// without case); an object is found there by class and path, a class that the game's
// program defines is found whatever the file holds, and so may one of a package with its
// own DLL; one level further, a package of the game that a checked one needs must find
// its own packages too.
class ImportResolver {
 public:
  using Found = GameListing::Found;
  using Files = std::map<std::string, std::vector<Found>>;
  using Because = PackageCheck::UnfoundBecause;

  // What is known of one package file the game finds.
  struct Held {
    bool ok = false;  // read whole: what it holds is known
    ObjectList holds;
    std::vector<Dependency> needs;
    void take(ObjectList objects);

   private:
    friend class ImportResolver;
    std::unordered_multimap<std::string, size_t> by_name;  // lower-case object name -> index in holds
    int dll = -1;  // whether its own DLL lies beside it: -1 not yet looked
    // Each take of an object from it, and those of them not in it.
    size_t taken = 0, missed = 0;
    std::string package;        // the name the first missed object is taken under, as spelt there
    unsigned missed_kinds = 0;  // PackageKind bits of what the missed ones are taken as
    std::vector<PackageCheck::Unfound> unfound;
    std::unordered_map<std::string, size_t> unfound_at;  // lower-case object text -> index in unfound
  };
  struct Hooks {
    // Reads the file into `held` (asked once for each file).
    std::function<void(const Found&, Held&)> load;
    // The file is itself one whose imports are resolved: never looked at one level further.
    std::function<bool(const Found&)> checked;
    // The game's copy was kept although it differs from the archive's.
    std::function<bool(const Found&)> kept_differing;
  };
  enum class Scope {
    kInstall,    // one level further for at most kMaxFurther files, told for the first that needs each
    kWholeGame,  // for every file, told for each that needs it; damaged packages needed are named
  };
  // files and outside (when given) must not change while the resolver lives: it keeps
  // pointers into them.
  ImportResolver(const Files& files, const Files* outside, Hooks hooks, Scope scope);

  struct Need {
    std::string by;   // the checked package that needs it, as shown
    std::string via;  // the game's package between them, one level further; empty when none
  };
  struct Missing {
    std::string name;    // as the first import of it spells it
    unsigned kinds = 0;  // PackageKind bits
    bool stock = false;  // one of the files the game itself ships
    std::vector<Need> needed_by;
  };
  // A needed package whose file, the one the game finds, it cannot load (kWholeGame).
  struct Broken {
    Found file;
    std::vector<std::string> needed_by;
  };

  // Resolves the needs (with the kinds taken of each) and takes of the checked package `by`.
  void resolve(const std::string& by, const std::vector<std::string>& needs, const std::vector<unsigned>& kinds,
               const ObjectList& takes);
  // The files of a package's name the game finds, in its order, or null (an element of
  // `files` or `outside`).
  const std::vector<Found>* found_of(const std::string& name) const;
  // What is known of a file, read when first asked for.
  const Held& held(const Found& f) { return load(f); }

  const std::vector<Missing>& missing() const { return missing_; }
  const std::vector<Broken>& broken() const { return broken_; }
  // The objects not found, file by file in the order each was first found lacking
  // something; where most of what is taken from one file is missing, one entry for all.
  std::vector<PackageCheck::Unfound> unfound();

 private:
  Held& load(const Found& f);
  void add_missing(const std::string& name, unsigned kinds, const Need& by);

  // By lower-case name: found_of() is asked for every object taken, thousands per game.
  std::unordered_map<std::string, const std::vector<Found>*> by_name_;
  Hooks hooks_;
  Scope scope_;
  std::unordered_map<const Found*, Held> held_;  // by the file's place in `files` or `outside`
  std::vector<Missing> missing_;
  std::map<std::string, size_t> missing_at_;  // lower-case name -> position
  std::vector<Broken> broken_;
  std::unordered_map<const Found*, size_t> broken_at_;  // position in broken_
  // Game packages whose own needs were looked at, with the missing ones among them.
  std::unordered_map<const Found*, std::vector<Dependency>> further_;
  std::vector<const std::vector<Found>*> told_;  // the files found lacking something, in order
};

}  // namespace orvane
