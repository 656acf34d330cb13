// What an -all-or-nothing run holds between writing its files and putting them in place:
// the writer fills it, the commit takes it.
#pragma once

#include <string>
#include <vector>

#include "install/journal.h"
#include "install/records.h"

namespace orvane {

struct Staging {
  Staging(size_t items, Journal& journal) : held(items), target_of(items), sums(items), journal(journal) {}
  // Each complete file by item, closed, so that a pack of any size holds no handle for each:
  // its temporary name as a full path (empty when the item has none), and its final name
  // (also of a file kept as the game has it, once it is found identical).
  std::vector<std::string> held;
  std::vector<std::string> target_of;
  // By item, the size and CRC-32 of a file put in place, or kept as identical: what the
  // install's record says of it.
  std::vector<Sum> sums;
  std::vector<std::string> made;  // the folders this run created, to take back
  Journal& journal;  // the run's, held from before its first change: lets the next run take all of it back
};

}  // namespace orvane
