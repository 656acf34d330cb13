// What an -all-or-nothing run holds between writing its files and putting them in place:
// the writer fills it, the commit takes it.
#pragma once

#include <string>
#include <vector>

#include "install/journal.h"

namespace orvane {

struct Staging {
  Staging(size_t items, Journal& journal) : held(items), target_of(items), journal(journal) {}
  // Each complete file by item, closed, so that a pack of any size holds no handle for each:
  // its temporary name as a full path (empty when the item has none), and its final name.
  std::vector<std::string> held;
  std::vector<std::string> target_of;
  std::vector<std::string> made;  // the folders this run created, to take back
  Journal& journal;  // the run's, held from before its first change: lets the next run take all of it back
};

}  // namespace orvane
