#include "unreal_game.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "platform.h"
#include "unreal_package.h"

namespace orvane {

namespace {

std::string lower_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The file's name without folder and extension: how the game names a package.
std::string stem_of(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  return name.substr(0, name.find_last_of('.'));
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

}  // namespace

bool is_package_file(const std::string& name) {
  size_t dot = name.find_last_of('.'), sep = name.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return false;
  const std::string ext = lower_ascii(name.substr(dot + 1));
  return ext == "unr" || ext == "u" || ext == "utx" || ext == "uax" || ext == "umx";
}

void PackageCheck::read(size_t item, const std::string& shown, Source& src) {
  if (!is_package_file(shown)) return;
  Record r;
  r.item = item;
  r.shown = shown;
  r.own_name = stem_of(shown);
  Package p;
  r.why = read_package(src, p);
  if (r.why.empty()) {
    for (const Dependency& d : dependencies(p, r.own_name)) {
      r.needs.push_back(d.name);
      r.kinds.push_back(d.kinds);
    }
  }
  std::lock_guard<std::mutex> lock(mu_);
  auto same = std::find_if(records_.begin(), records_.end(), [&](const Record& o) { return o.item == item; });
  if (same != records_.end())
    *same = std::move(r);
  else
    records_.push_back(std::move(r));
}

std::vector<std::string> PackageCheck::search_folders() const {
  // Paths are relative to System, as in Paths=../Maps/*.unr; only the folder
  // counts, since a package of the name is found whatever its extension.
  const std::string system = platform::join(game_, "System");
  auto folder_of = [&](std::string path) {
    for (char& c : path)
      if (c == '/' || c == '\\') c = platform::kSeparator;
    size_t cut = path.find_last_of(platform::kSeparator);
    std::string folder = cut == std::string::npos ? std::string(".") : path.substr(0, cut);
    bool absolute = (folder.size() > 1 && folder[1] == ':') || (!folder.empty() && folder[0] == platform::kSeparator);
    return absolute ? folder : platform::join(system, folder);
  };
  std::vector<std::string> folders;
  bool section = false;
  std::string err;
  std::unique_ptr<Source> ini = platform::open_archive(platform::join(system, "UnrealTournament.ini"), err);
  if (ini && ini->size() <= (8u << 20)) {
    std::string text(static_cast<size_t>(ini->size()), '\0');
    if (!ini->read_at(0, &text[0], text.size())) text.clear();
    bool inside = false;
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string line = trimmed(text.substr(at, end - at));
      at = end + 1;
      if (!line.empty() && line[0] == '[') {
        inside = lower_ascii(line) == "[core.system]";
        section = section || inside;
      } else if (inside && line.find('=') != std::string::npos &&
                 lower_ascii(trimmed(line.substr(0, line.find('=')))) == "paths") {
        folders.push_back(folder_of(trimmed(line.substr(line.find('=') + 1))));
      }
    }
  }
  if (!section)
    for (const char* d : {"../System/*.u", "../Maps/*.unr", "../Textures/*.utx", "../Sounds/*.uax", "../Music/*.umx"})
      folders.push_back(folder_of(d));
  return folders;
}

void PackageCheck::finish(const std::vector<size_t>& installed, std::vector<Missing>& missing,
                          std::vector<Unloadable>& unloadable) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<const Record*> records;
  std::set<std::string> present;  // lower-case names of the packages the game will have
  for (const Record& r : records_) {
    if (!std::binary_search(installed.begin(), installed.end(), r.item)) continue;
    records.push_back(&r);
    present.insert(lower_ascii(r.own_name));
  }
  std::sort(records.begin(), records.end(), [](const Record* a, const Record* b) { return a->item < b->item; });
  bool looked = false;
  std::map<std::string, size_t> index;  // lower-case name -> position in missing
  for (const Record* r : records) {
    if (!r->why.empty()) unloadable.push_back({r->shown, r->why});
    for (size_t k = 0; k < r->needs.size(); ++k) {
      const std::string key = lower_ascii(r->needs[k]);
      if (!present.count(key) && !looked) {
        // The game's folders are listed once, and only when something is not in the install.
        looked = true;
        for (const std::string& folder : search_folders()) {
          std::vector<std::string> names;
          if (!platform::list_files(folder, names)) continue;
          for (const std::string& n : names)
            if (is_package_file(n)) present.insert(lower_ascii(stem_of(n)));
        }
      }
      if (present.count(key)) continue;
      auto at = index.emplace(key, missing.size());
      if (at.second) missing.push_back({r->needs[k], 0, {}});
      Missing& m = missing[at.first->second];
      m.kinds |= r->kinds[k];
      if (std::find(m.needed_by.begin(), m.needed_by.end(), r->shown) == m.needed_by.end())
        m.needed_by.push_back(r->shown);
    }
  }
}

}  // namespace orvane
