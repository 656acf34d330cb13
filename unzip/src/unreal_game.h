// What Pkzip25 knows of Unreal Tournament itself, and nothing else does: which
// files are Unreal packages, where the game looks for them (the Paths= lines
// of [Core.System] in System\UnrealTournament.ini, which it reads and never
// writes), and so which packages the installed files need that neither the
// install nor the game holds. The package format itself is unreal_package.h.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "source.h"

namespace orvane {

// .unr .u .utx .uax .umx: one container format.
bool is_package_file(const std::string& name);

class PackageCheck {
 public:
  explicit PackageCheck(std::string game) : game_(std::move(game)) {}

  // Reads the package that item i puts in place or keeps in the game, shown
  // as `shown` (a path relative to the game). Any thread; for one item the
  // last read counts (a file found in place at the move is the one kept).
  void read(size_t item, const std::string& shown, Source& src);

  struct Missing {
    std::string name;   // as the first import of it spells it
    unsigned kinds = 0; // PackageKind bits
    std::vector<std::string> needed_by;
  };
  struct Unloadable {
    std::string shown, why;
  };
  // Once the install is decided, given the items that are in the game now:
  // each package they need that neither they nor the game's folders hold,
  // and each of them that is no package the game can load.
  void finish(const std::vector<size_t>& installed, std::vector<Missing>& missing,
              std::vector<Unloadable>& unloadable) const;

 private:
  struct Record {
    size_t item = 0;
    std::string shown, own_name, why;
    std::vector<std::string> needs;
    std::vector<unsigned> kinds;
  };
  // The folders the game searches for packages, from its ini or the defaults.
  std::vector<std::string> search_folders() const;

  std::string game_;
  mutable std::mutex mu_;
  std::vector<Record> records_;
};

}  // namespace orvane
