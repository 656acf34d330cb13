#include "install/journal.h"

#include <algorithm>

#include "base/names.h"
#include "base/text.h"

namespace orvane {

namespace {

using platform::Kind;

// The first line of every journal: a record without it is none of ours.
const char kHeader[] = "Pkzip25 journal 2";

bool exists(const std::string& p) { return platform::kind_of(p) != Kind::Missing; }

// A path as compared: Windows names ignore case, and fold_case makes every separator '/'.
std::string key(const std::string& path) {
  std::string k = platform::kSeparator == '\\' ? fold_case(path) : path;
  while (k.size() > 1 && k.back() == '/' && k[k.size() - 2] != ':') k.pop_back();
  return k;
}

bool plain(const std::string& path) {
  for (const std::string& part : split_path(path))
    if (part == "." || part == "..") return false;
  return true;
}

// A folder as compared: its full path with links followed; as written when it is gone, which
// holds nothing to act on (then only a plain one is taken). Empty when not to be taken.
std::string folder_key(const std::string& dir) {
  std::string real = platform::real_folder(dir);
  if (real.empty()) real = plain(dir) ? platform::absolute(dir) : std::string();
  return real.empty() ? real : key(real);
}

// A name as compared: its folder's key and the name itself, which is never followed (a
// link is acted on as itself).
std::string path_key(const std::string& path) {
  const std::string full = platform::absolute(path);
  const size_t cut = platform::last_separator(full);
  if (cut == std::string::npos || cut + 1 == full.size()) return std::string();
  const std::string name = full.substr(cut + 1);
  // "/" and "C:\" keep their separator: without it "C:" is the drive's current folder.
  const std::string dir = folder_key(full.substr(0, cut == 0 || full[cut - 1] == ':' ? cut + 1 : cut));
  if (name == "." || name == ".." || dir.empty()) return std::string();
  return dir + (dir.back() == '/' ? "" : "/") + key(name);
}

bool below(const std::string& k, const std::string& root, bool or_at) {
  if (k == root) return or_at;
  return k.size() > root.size() && k.compare(0, root.size(), root) == 0 &&
         (root.back() == '/' || k[root.size()] == '/');
}

// What a record may touch: the journal's folder and the destinations the run names.
class Bounds {
 public:
  Bounds(const std::string& folder, const std::vector<std::string>& roots) : folder_(folder_key(folder)) {
    for (const std::string& r : roots) {
      std::string k = folder_key(r);
      if (!k.empty()) roots_.push_back(k);
    }
  }
  // A final name below a destination.
  bool target(const std::string& path) const { return below_root(path_key(path), false); }
  // A folder the run made: the journal's own, or one at or below a destination.
  bool folder(const std::string& path) const {
    const std::string k = folder_key(path);
    return !k.empty() && (k == folder_ || below_root(k, true));
  }
  // A temporary file of ours, in the journal's folder or at or below a destination.
  bool ours(const std::string& path) const {
    const std::string k = path_key(path);
    const size_t cut = k.rfind('/');
    if (k.empty() || !our_name(path.substr(platform::last_separator(path) + 1))) return false;
    const std::string dir = k.substr(0, cut ? cut : 1);
    return dir == folder_ || below_root(dir, true);
  }
  // A move of ours: our temporary file to a final name in its folder, what it replaces set
  // aside under the temporary file's name.
  bool move(const Move& m) const {
    const std::string t = path_key(m.temp), f = path_key(m.target);
    return ours(m.temp) && target(m.target) && t.substr(0, t.rfind('/')) == f.substr(0, f.rfind('/')) &&
           (m.backup.empty() || m.backup == m.temp.substr(0, m.temp.size() - 4) + ".old");
  }

 private:
  bool below_root(const std::string& k, bool or_at) const {
    return !k.empty() && std::any_of(roots_.begin(), roots_.end(),
                                     [&](const std::string& r) { return below(k, r, or_at); });
  }
  // PREFIX digits "-" digits ".tmp"
  static bool our_name(const std::string& name) {
    const std::string prefix = platform::kTempPrefix, end = ".tmp";
    if (name.size() <= prefix.size() + end.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - end.size(), end.size(), end) != 0)
      return false;
    const std::string mid = name.substr(prefix.size(), name.size() - prefix.size() - end.size());
    const size_t dash = mid.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < mid.size() &&
           mid.find_first_not_of("0123456789-") == std::string::npos && mid.find('-', dash + 1) == std::string::npos;
  }

  std::string folder_;
  std::vector<std::string> roots_;
};

// A move's number as written: a few digits, never more than a run can hold.
bool index_of(const std::string& s, size_t& n) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::stoul(s);
  return true;
}

// Puts right what text (a journal after its first line) records, within bounds.
void put_right(const std::string& text, const Bounds& bounds, std::vector<std::string>& told) {
  std::vector<std::string> temps, taken, folders, emptied, foreign;
  std::vector<Move> moves;
  bool planned = false, finished = false;
  size_t unread = 0;
  auto other = [&](const std::string& p) {
    if (std::find(foreign.begin(), foreign.end(), p) == foreign.end()) foreign.push_back(p);
  };
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::vector<std::string> f = split(text.substr(at, end - at), '\t');
    size_t k = 0;
    if (f[0] == "T" && f.size() == 2)
      temps.push_back(f[1]);
    else if (f[0] == "X" && f.size() == 2)
      taken.push_back(f[1]);
    else if (f[0] == "F" && f.size() == 2)
      folders.push_back(f[1]);
    else if (f[0] == "E" && f.size() == 2)
      emptied.push_back(f[1]);
    else if (f[0] == "M" && f.size() == 5)
      moves.push_back({f[1], f[2], f[3], false, f[4]});
    else if (f[0] == "K" && f.size() == 2 && index_of(f[1], k) && k < moves.size())
      moves[k].kept = true;
    else if (f.size() == 1 && (f[0] == "C" || f[0] == "D"))
      (f[0] == "C" ? planned : finished) = true;
    else
      ++unread;
  }
  std::vector<Move> trusted;
  for (const Move& m : moves) {
    if (bounds.move(m)) {
      trusted.push_back(m);
      continue;
    }
    for (const std::string& p : {m.temp, m.target, m.backup})
      if (!p.empty()) other(p);
  }
  if (finished) {
    for (const Move& m : trusted)
      if (!m.backup.empty()) platform::remove_file(m.backup);
  } else if (planned) {
    take_back(trusted, true);
  }
  bool acted = !trusted.empty();
  for (const std::string& t : temps) {
    if (std::find(taken.begin(), taken.end(), t) != taken.end()) continue;  // another's name
    if (bounds.ours(t))
      platform::remove_file(t), acted = true;
    else
      other(t);
  }
  std::vector<std::string> made;
  for (const std::string& d : folders) {
    if (bounds.folder(d))
      made.push_back(d);
    else
      other(d);
  }
  if (!finished) remove_made(made);
  std::vector<std::string> empty;
  for (const std::string& d : emptied) {
    if (bounds.folder(d))
      empty.push_back(d);
    else
      other(d);
  }
  if (finished) remove_made(empty);
  if (unread) told.push_back(std::to_string(unread) + " line(s) of the journal could not be read and were skipped");
  if (!foreign.empty()) {
    std::string names;
    for (const std::string& p : foreign) names += (names.empty() ? "" : ", ") + p;
    told.push_back("the journal named what is no file of an install into these folders; left alone: " + names);
  }
  if (!acted && made.empty()) return;
  if (finished)
    told.push_back("an install that was stopped after its last move was completed");
  else
    told.push_back("an install that was stopped before it was complete was taken back; the game is as it was before it");
}

}  // namespace

const char Journal::kName[] = "~pkz25-journal.txt";

void take_back(const std::vector<Move>& moves, bool recorded) {
  std::string err;
  for (auto m = moves.rbegin(); m != moves.rend(); ++m) {
    // Killed between link and unlink (POSIX): both names hold our file, so it is in place.
    const std::string target = platform::file_id(m->target);
    const bool ours = !target.empty() && (target == m->id || (!recorded && !exists(m->temp)));
    if (m->kept) {
      // The game's own.
    } else if (!m->backup.empty() && !target.empty() && platform::file_id(m->backup) == target) {
      platform::remove_file(m->backup);  // killed while it was set aside: still in place
    } else if (!m->backup.empty() && exists(m->backup) && (ours || target.empty())) {
      platform::move_file(m->backup, m->target, ours, err);  // set aside, and ours put in its place or not yet
    } else if (ours) {
      platform::remove_file(m->target);  // the name was free: what is there is ours
    }
    // Ours under its temporary name, or under both after a kill between link and unlink.
    platform::remove_file(m->temp);
  }
}

void remove_made(std::vector<std::string> folders) {
  std::sort(folders.begin(), folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& d : folders) platform::remove_dir(d);
}

bool Journal::open(const std::string& folder, const std::vector<std::string>& roots, std::vector<std::string>& told,
                   std::string& err) {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_) return true;
  busy_ = false;
  const std::string path = platform::join(folder, kName);
  // What cannot be read is set aside under a free name, told once, and a new journal made.
  auto set_aside = [&](bool held, const char* what) {
    for (int n = 1; n < 1000; ++n) {
      const std::string name = "~pkz25-journal-" + std::to_string(n) + ".txt", to = platform::join(folder, name);
      if (exists(to)) continue;
      if (held ? !file_.set_aside(to, err) : platform::move_file(path, to, false, err) != platform::Commit::Done)
        return false;
      told.push_back(std::string(what) + " had the journal's name; it was set aside as " + name);
      return true;
    }
    err = "cannot set " + path + " aside";
    return false;
  };
  for (int attempt = 0; attempt < 3 && !open_; ++attempt) {
    switch (file_.open(path, err)) {
      case platform::HeldFile::Open::Held: break;
      case platform::HeldFile::Open::Busy:
        busy_ = true;
        err = "another install into " + folder + " is running (it holds " + path + "); try again when it has finished";
        return false;
      case platform::HeldFile::Open::NotAFile:
        if (!set_aside(false, "something that is no file")) return false;
        continue;
      case platform::HeldFile::Open::Failed:
        // One that cannot be opened (read-only, say) must not stop every later install.
        if (!exists(path) || !set_aside(false, "a file this program cannot open")) return false;
        continue;
    }
    std::string text;
    if (!file_.read(text)) {
      err = "cannot read " + path;
      file_.close();
      return false;
    }
    const std::string header = std::string(kHeader) + "\n";
    if (!text.empty() && text.compare(0, header.size(), header) != 0) {
      if (!set_aside(true, "a file that is no journal of this program's")) return false;
      continue;
    }
    if (!text.empty()) put_right(text.substr(header.size()), Bounds(folder, roots), told);
    if (!file_.empty(err) || !file_.append(kHeader, err)) {
      file_.close();
      return false;
    }
    open_ = true;
  }
  if (!open_ && err.empty()) err = "cannot make " + path;
  folder_ = folder;
  recorded_ = false;
  return open_;
}

void Journal::line(const std::string& l) {
  std::string err;
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return;
  file_.append(l, err);
  recorded_ = true;
}

void Journal::temp(const std::string& path, bool taken) { line((taken ? "X\t" : "T\t") + path); }

void Journal::folder(const std::string& path) {
  // Folders above the journal's own are made only when the game itself is missing; left.
  if (!folder_.empty() && below(key(platform::absolute(path)), key(platform::absolute(folder_)), true)) line("F\t" + path);
}

void Journal::empty_after(const std::string& path) { line("E\t" + path); }

void Journal::kept(size_t move) { line("K\t" + std::to_string(move)); }
void Journal::done() { line("D"); }

bool Journal::plan(const std::vector<Move>& moves, std::string& err) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return true;
  recorded_ = true;
  for (const Move& m : moves)
    if (!file_.append("M\t" + m.temp + "\t" + m.target + "\t" + m.backup + "\t" + m.id, err))
      return false;
  return file_.append("C", err) && file_.flush(err);
}

void Journal::remove() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return;
  file_.remove();
  open_ = false;
}

void Journal::release() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return;
  if (recorded_)
    file_.close();
  else
    file_.remove();
  open_ = false;
}

}  // namespace orvane
