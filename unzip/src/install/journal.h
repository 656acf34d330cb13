// A record of what an -all-or-nothing run changes in the game, kept beside the game's
// folders, so that a run killed at any moment is put right by the next one: the
// temporary files and folders it makes, each named before it is made, then every move it
// is about to make, taken to the disk before the first of them. The run holds the file
// from start to end, so that no other run reads it meanwhile.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace orvane {

struct Move {
  std::string temp, target;
  std::string backup;  // where the file it replaces is set aside first; empty when none
  bool kept = false;   // the target appeared meanwhile: the game's own, never touched
  std::string id;      // the temporary file's platform::file_id, which it keeps under the target's name
};

// Undoes moves, last first, judged by what is on disk, so that it holds however far
// they went: the game's files come back under their names and ours go. A final name is
// removed or replaced only when it holds our file (known by its id), so that a record that
// lies takes nothing of the game's. recorded: the moves come from a journal; else they are the
// run's own, which knows which moves it made, also on a volume whose ids change on a
// rename (FAT).
void take_back(const std::vector<Move>& moves, bool recorded);

// Removes folders a run made that are empty, deepest first.
void remove_made(std::vector<std::string> folders);

class Journal {
 public:
  static const char kName[];
  ~Journal() { release(); }

  // Takes the journal in folder for this run, made when missing, and holds it. What a run
  // cut short left recorded in it is put right first: taken back when its moves had not
  // all been made, else completed. A record is untrusted input: it acts only on temporary
  // files named as ours, in folder itself or below one of roots (the destinations the run
  // names), and on final names below roots; anything else is named and left alone. A
  // record that cannot be read, or something else of its name, is set aside under another
  // name. told gets what was done, one line each. False, with err, when another run holds
  // it or it cannot be made. Opening it again while held does nothing.
  bool open(const std::string& folder, const std::vector<std::string>& roots, std::vector<std::string>& told,
            std::string& err);
  bool active() const { return open_; }
  bool busy() const { return busy_; }  // the last open() failed because another run holds it
  const std::string& folder() const { return folder_; }  // where it lies: the install's root
  // A temporary file about to be made, as a full path; taken: the name proved another's.
  void temp(const std::string& path, bool taken);
  void folder(const std::string& path);  // a folder made, as a full path
  // A folder to remove, when empty, once every move is made (a removal's), as a full path;
  // recorded before plan().
  void empty_after(const std::string& path);
  // The moves, in order; taken to the disk before it returns.
  bool plan(const std::vector<Move>& moves, std::string& err);
  void kept(size_t move);
  void done();    // every move made: only the set-aside files are left to remove
  void remove();  // the run is settled
  // Lets it go: removed when it records nothing, else left for the next run.
  void release();

 private:
  void line(const std::string& l);

  std::mutex mu_;
  platform::HeldFile file_;
  std::string folder_;
  bool open_ = false, recorded_ = false, busy_ = false;
};

}  // namespace orvane
