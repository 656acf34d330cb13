#include "journal.h"

#include <algorithm>
#include <memory>

namespace orvane {

namespace {

using platform::Kind;

bool exists(const std::string& p) { return platform::kind_of(p) != Kind::Missing; }

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f(1);
  for (char c : line) {
    if (c == '\t')
      f.emplace_back();
    else
      f.back().push_back(c);
  }
  return f;
}

}  // namespace

const char Journal::kName[] = "~pkz25-journal.txt";

void take_back(const std::vector<Move>& moves) {
  std::string err;
  for (auto m = moves.rbegin(); m != moves.rend(); ++m) {
    const bool moved = !exists(m->temp);
    if (m->kept) {
      platform::remove_file(m->temp);
    } else if (!m->backup.empty() && exists(m->backup)) {
      // Set aside, and ours put in its place or not yet.
      platform::move_file(m->backup, m->target, moved, err);
      platform::remove_file(m->temp);
    } else if (!m->backup.empty()) {
      platform::remove_file(m->temp);  // nothing set aside yet, or already back
    } else if (moved) {
      platform::remove_file(m->target);  // the name was free: what is there is ours
    } else {
      platform::remove_file(m->temp);
    }
  }
}

void remove_made(std::vector<std::string> folders) {
  std::sort(folders.begin(), folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& d : folders) platform::remove_dir(d);
}

std::string Journal::recover(const std::string& folder) {
  const std::string path = platform::join(folder, kName);
  std::string err;
  std::unique_ptr<Source> src = platform::open_archive(path, err);
  if (!src) return std::string();
  std::string text(static_cast<size_t>(src->size()), '\0');
  if (!text.empty() && !src->read_at(0, &text[0], text.size())) return std::string();
  src.reset();
  std::vector<std::string> temps, folders;
  std::vector<Move> moves;
  bool planned = false, finished = false;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::vector<std::string> f = fields(text.substr(at, end - at));
    if (f[0] == "T" && f.size() == 2) temps.push_back(f[1]);
    if (f[0] == "F" && f.size() == 2) folders.push_back(f[1]);
    if (f[0] == "M" && f.size() == 4) moves.push_back({f[1], f[2], f[3], false});
    if (f[0] == "K" && f.size() == 2 && std::stoul(f[1]) < moves.size()) moves[std::stoul(f[1])].kept = true;
    planned = planned || f[0] == "C";
    finished = finished || f[0] == "D";
  }
  if (finished) {
    for (const Move& m : moves)
      if (!m.backup.empty()) platform::remove_file(m.backup);
  } else if (planned) {
    take_back(moves);
  }
  for (const std::string& t : temps) platform::remove_file(t);  // only ours are listed
  platform::remove_file(path);
  if (!finished) remove_made(folders);
  return finished ? "an install that was stopped after its last move was completed"
                  : "an install that was stopped before it was complete was taken back; the game is as it was before it";
}

bool Journal::open(const std::string& folder, std::string& err) {
  path_ = platform::join(folder, kName);
  open_ = file_.create(path_, err);
  return open_;
}

void Journal::line(const std::string& l) {
  std::string err;
  std::lock_guard<std::mutex> lock(mu_);
  if (open_) file_.append(l, err);
}

void Journal::temp(const std::string& path) { line("T\t" + path); }
void Journal::folder(const std::string& path) { line("F\t" + path); }
void Journal::kept(size_t move) { line("K\t" + std::to_string(move)); }
void Journal::done() { line("D"); }

bool Journal::plan(const std::vector<Move>& moves, std::string& err) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return true;
  for (const Move& m : moves)
    if (!file_.append("M\t" + m.temp + "\t" + m.target + "\t" + m.backup, err)) return false;
  return file_.append("C", err) && file_.flush(err);
}

void Journal::remove() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return;
  file_.close();
  platform::remove_file(path_);
  open_ = false;
}

}  // namespace orvane
