// A record of what an -all-or-nothing run changes in the game, kept beside the game's
// folders, so that a run killed at any moment is put right by the next one: the
// temporary files and folders it made as it makes them, then every move it is about to
// make, taken to the disk before the first of them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform.h"

namespace orvane {

struct Move {
  std::string temp, target;
  std::string backup;  // where the file it replaces is set aside first; empty when none
  bool kept = false;   // the target appeared meanwhile: the game's own, never touched
};

// Undoes moves, last first, judged by what is on disk, so that it holds however far
// they went: the game's files come back under their names and ours go.
void take_back(const std::vector<Move>& moves);

// Removes folders a run made that are empty, deepest first.
void remove_made(std::vector<std::string> folders);

class Journal {
 public:
  static const char kName[];
  // What a run cut short left recorded in folder: taken back when its moves had not all
  // been made, else completed. Returns what was done in plain words, empty when there
  // was no record.
  static std::string recover(const std::string& folder);

  bool open(const std::string& folder, std::string& err);
  bool active() const { return open_; }
  void temp(const std::string& path);    // a temporary file made, as a full path
  void folder(const std::string& path);  // a folder made, as a full path
  // The moves, in order; taken to the disk before it returns.
  bool plan(const std::vector<Move>& moves, std::string& err);
  void kept(size_t move);
  void done();    // every move made: only the set-aside files are left to remove
  void remove();  // the run is settled

 private:
  void line(const std::string& l);

  std::mutex mu_;
  platform::AppendFile file_;
  std::string path_;
  bool open_ = false;
};

}  // namespace orvane
