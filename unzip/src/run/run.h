// The state that the parts of one run share: the items (entries of the
// archive, and of any .umod unpacked from it), what became of each, and the
// jobs that write them. The parts: plan.h decides, space.h checks the room,
// writer.h writes, commit.h puts an all-or-nothing run in place, report.h
// tells it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "cli/cli.h"

namespace orvane {

// One entry of the run.
struct Item {
  ArchiveReader* reader = nullptr;
  size_t index = 0;
  std::string container;        // the .umod it was unpacked from, for messages; empty for the archive's own
  bool by_stored_path = false;  // a .umod's file: goes below the umod root by its stored path
  const Entry& entry() const { return reader->entries()[index]; }
};

// What became of one item, printed in order once it is known.
struct Outcome {
  enum State { Pending, Silent, Extracted, Kept, Duplicate, Refused, Skipped, Excluded, Tested, Ready, Unpacked, Failed };
  State state = Pending;
  std::string text;         // output path, or the reason of a failure or refusal
  bool identical = false;   // Kept: the existing file holds the entry's data
  bool counts = true;       // Refused: a matched item (an unmatched one never affects the exit code)
  int code = kExitEntries;  // Failed: the exit code it calls for
  Failure kind = Failure::Damaged;  // Failed: why, as the report's token says it
};

// What a .umod's manifest asks beyond copying files, and which .umod asks it (empty: the
// archive itself is the .umod).
struct Request {
  std::string container, text;
};

// One item to write: its destination and the output path relative to it.
struct Job {
  size_t item = 0;
  std::string dest;
  std::string rel;
  bool directory = false;
};

class Run {
 public:
  explicit Run(const Options& o) : opt(o) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  const Options& opt;
  std::vector<Item> items;
  std::vector<Outcome> outcomes;  // one per item; guarded by mu while jobs run
  std::vector<Request> requests;
  std::mutex mu;
  std::condition_variable ready;  // an outcome is no longer Pending

  void settle(size_t i, Outcome::State s, const std::string& text, bool identical = false, int code = kExitEntries,
              Failure kind = Failure::Damaged);
  void fail(size_t i, Failure kind, const std::string& why, int code = kExitEntries) {
    settle(i, Outcome::Failed, why, false, code, kind);
  }

  // The item's stored name as messages show it, control characters as '?'
  // so that a name holding a line break cannot forge a report line.
  std::string display_name(size_t i) const;
  // The path a report line shows: relative to the destination, or with
  // groups prefixed by the group's destination as given.
  std::string shown_path(const Job& job) const;
};

}  // namespace orvane
