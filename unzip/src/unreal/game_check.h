// The whole game checked at once: every package file the game's Paths reach is read once
// (header, names, imports, exports), and every map and code package the game loads has
// each of its imports resolved as the game resolves them (ImportResolver). The result
// says what will not load, grouped by what the player must do; its words are the
// console's (app/check.h), never decided here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "unreal/unreal_game.h"
#include "unreal/unreal_package.h"

namespace orvane {

struct GameCheck {
  // A package that no file on the Paths holds.
  struct Missing {
    std::string name;    // as the first import of it spells it
    unsigned kinds = 0;  // PackageKind bits
    bool stock = false;  // one of the files the game itself ships
    // The maps and code packages that need it, as shown ("Maps\CTF-X.unr"), directly or
    // through a package of the game they need (then named in `through`).
    std::vector<std::string> maps, mods, through;
  };
  // Objects that the file the game finds does not hold.
  struct Unfound {
    PackageCheck::Unfound what;
    size_t maps = 0;  // of what.needed_by, the maps
  };
  enum class Damage {
    kNotPackage,  // no package tag
    kEmpty,       // no bytes at all: the game crashes on one
    kPastEnd,     // the header, a table or an export's data lies past the end of the file
    kUnreadable,  // the system would not give its bytes
    kVersion,     // a version the game does not read
    kTables,      // the tables contradict themselves
    kFolder,      // a folder has the package file's name
  };
  struct Damaged {
    std::string shown;   // "Textures\X.utx"
    Damage why = Damage::kNotPackage;
    std::string detail;  // read_package's account of it; empty for a folder
    bool loaded = false; // the first file of its name: the one the game would load
    std::vector<std::string> needed_by;  // the maps and code packages that need it
    size_t maps = 0;     // of needed_by, the maps
  };
  // A later file of a package's name, which the game never loads, that holds what
  // something needs and the file found first lacks.
  struct Hidden {
    std::string first, later;  // as shown
    std::vector<std::string> objects;  // what only `later` holds ("Texture X.Y", "3 objects of X")
    std::vector<std::string> needed_by;
    size_t maps = 0;
  };

  std::vector<Missing> missing;  // most maps first
  std::vector<Unfound> unfound;  // most maps first
  std::vector<Damaged> damaged;  // needed by most maps first, then those the game loads
  std::vector<Hidden> hidden;    // most maps first
  // Files read (every file of a name: the game loads the first), those of them that are
  // maps and code packages, and the maps that will not load.
  size_t packages = 0, maps = 0, code_packages = 0, maps_failing = 0;
  std::vector<std::string> failing_maps;  // as shown, in name order
  double seconds = 0;

  bool all_loads() const { return missing.empty() && unfound.empty() && damaged.empty() && hidden.empty(); }
};

// Reads and resolves the game in `game` (its folder), as it is or, given `absent` (files as
// shown, "Textures\X.utx"), as it will be without them. Throws only std::bad_alloc.
GameCheck check_whole_game(const std::string& game, const std::vector<std::string>& absent = {});

// How many of these shown paths are maps (.unr).
size_t count_maps(const std::vector<std::string>& shown);

}  // namespace orvane
