#include "unreal/unreal_game.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "base/text.h"
#include "platform/platform.h"
#include "unreal/intrinsic_classes.h"
#include "unreal/unreal_package.h"

namespace orvane {

namespace {

// The file's name without folder and extension: how the game names a package.
std::string stem_of(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  return name.substr(0, name.find_last_of('.'));
}

std::string joined(const std::vector<std::string>& parts, size_t from, size_t to, const char* sep) {
  std::string s;
  for (size_t i = from; i < to; ++i) s += (i > from ? sep : "") + parts[i];
  return s;
}

// How a path names a file, for telling two names of one file apart: "." and
// ".." resolved, folders joined by "\\", lower case.
std::string path_key(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') {
      part += path[i];
      continue;
    }
    if (part == ".." && !parts.empty() && parts.back() != "..")
      parts.pop_back();
    else if (part != "." && !(part.empty() && !parts.empty()))
      parts.push_back(part);
    part.clear();
  }
  return ascii_lower(joined(parts, 0, parts.size(), "\\"));
}

bool is_absolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

// The packages the stock game ships (its 436 release with the bonus packs'
// usual companions left out): when one of these is missing, the folder is
// incomplete or not the game's, and no map site is the remedy.
const char* const kStockFiles[] = {
    "System\\Core.u", "System\\Engine.u", "System\\Botpack.u", "System\\UnrealShare.u", "System\\UnrealI.u",
    "System\\UWindow.u", "System\\UTMenu.u", "System\\UMenu.u", "System\\UBrowser.u", "System\\UTBrowser.u",
    "System\\Fire.u", "System\\IpDrv.u", "System\\IpServer.u", "System\\UWeb.u", "System\\UTServerAdmin.u",
    "System\\Editor.u", "System\\Relics.u",
    "Textures\\Ancient.utx", "Textures\\AlfaFX.utx", "Textures\\Belt_fx.utx", "Textures\\BossSkins.utx",
    "Textures\\Castle.utx", "Textures\\CommandoSkins.utx", "Textures\\Coret_FX.utx", "Textures\\credits.utx",
    "Textures\\Crypt.utx", "Textures\\Crypt_FX.utx", "Textures\\Crypt2.utx", "Textures\\CTF.utx",
    "Textures\\DDayFX.utx", "Textures\\DecayedS.utx", "Textures\\DMeffects.utx", "Textures\\Egypt.utx",
    "Textures\\EgyptPan.utx", "Textures\\eol.utx", "Textures\\Faces.utx", "Textures\\FCommandoSkins.utx",
    "Textures\\Female1Skins.utx", "Textures\\Female2Skins.utx", "Textures\\FireEng.utx", "Textures\\FlareFX.utx",
    "Textures\\FractalFx.utx", "Textures\\GenEarth.utx", "Textures\\GenFluid.utx", "Textures\\GenFX.utx",
    "Textures\\GenIn.utx", "Textures\\GenTerra.utx", "Textures\\GenWarp.utx", "Textures\\GothFem.utx",
    "Textures\\GothMale.utx", "Textures\\GreatFire.utx", "Textures\\GreatFire2.utx", "Textures\\HubEffects.utx",
    "Textures\\JWSky.utx", "Textures\\LadderFonts.utx", "Textures\\LadrArrow.utx", "Textures\\LadrStatic.utx",
    "Textures\\LavaFX.utx", "Textures\\Lian-X.utx", "Textures\\Liquids.utx", "Textures\\Male1Skins.utx",
    "Textures\\Male2Skins.utx", "Textures\\Male3Skins.utx", "Textures\\Metalmys.utx", "Textures\\Mine.utx",
    "Textures\\noxxpack.utx", "Textures\\Old_FX.utx", "Textures\\Palettes.utx", "Textures\\PlayrShp.utx",
    "Textures\\Queen.utx", "Textures\\RainFX.utx", "Textures\\Scripted.utx", "Textures\\SGirlSkins.utx",
    "Textures\\ShaneChurch.utx", "Textures\\Shanesky.utx", "Textures\\Skaarj.utx", "Textures\\SkTrooperSkins.utx",
    "Textures\\SkyBox.utx", "Textures\\Slums.utx", "Textures\\Soldierskins.utx", "Textures\\Spacefx.utx",
    "Textures\\Starship.utx", "Textures\\TCrystal.utx", "Textures\\Terranius.utx", "Textures\\TrenchesFX.utx",
    "Textures\\UT.utx", "Textures\\UTbase1.utx", "Textures\\UTcrypt.utx", "Textures\\UTtech1.utx",
    "Textures\\UTtech2.utx", "Textures\\UTtech3.utx", "Textures\\UT_ArtFX.utx", "Textures\\XFX.utx",
    "Textures\\Xtortion.utx", "Sounds\\Activates.uax", "Sounds\\Addon1.uax", "Sounds\\AmbAncient.uax",
    "Sounds\\AmbCity.uax", "Sounds\\AmbModern.uax", "Sounds\\AmbOutside.uax", "Sounds\\Announcer.uax",
    "Sounds\\BossVoice.uax", "Sounds\\DDay.uax", "Sounds\\DoorsAnc.uax", "Sounds\\DoorsMod.uax",
    "Sounds\\Extro.uax", "Sounds\\Female1Voice.uax", "Sounds\\Female2Voice.uax", "Sounds\\LadderSounds.uax",
    "Sounds\\Male1Voice.uax", "Sounds\\Male2Voice.uax", "Sounds\\noxxsnd.uax", "Sounds\\rain.uax",
    "Sounds\\TutVoiceAS.uax", "Sounds\\TutVoiceCTF.uax", "Sounds\\TutVoiceDM.uax", "Sounds\\TutVoiceDOM.uax",
    "Music\\Botmca9.umx", "Music\\Cannon.umx", "Music\\Colossus.umx", "Music\\Course.umx", "Music\\Credits.umx",
    "Music\\Ending.umx", "Music\\Firebr.umx", "Music\\Foregone.umx", "Music\\Godown.umx", "Music\\Lock.umx",
    "Music\\Mech8.umx", "Music\\Mission.umx", "Music\\Nether.umx", "Music\\Organic.umx", "Music\\Phantom.umx",
    "Music\\Razor-ub.umx", "Music\\Run.umx", "Music\\SaveMe.umx", "Music\\Seeker.umx", "Music\\Seeker2.umx",
    "Music\\Skyward.umx", "Music\\Strider.umx", "Music\\Suprfist.umx", "Music\\UnWorld2.umx", "Music\\Uttitle.umx",
    "Music\\Wheels.umx",
};

// The stock file of that package name, or nullptr. Where the game ships two
// of one name (credits.utx and Credits.umx) the first listed stands for both.
const char* stock_file(const std::string& name) {
  for (const char* f : kStockFiles)
    if (same_package_name(stem_of(f), name)) return f;
  return nullptr;
}

// True when `shown` (as the summary shows a file) is one of the files the game ships.
bool is_stock_file(const std::string& shown) {
  const std::string key = path_key(shown);
  return std::any_of(std::begin(kStockFiles), std::end(kStockFiles),
                     [&](const char* f) { return path_key(f) == key; });
}

// Adds `name` to `names` unless it is there: who needs something, each once, in order.
void add_once(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

const size_t kMaxFurther = 64;  // game packages whose own needs are looked at, one level down

}  // namespace

const char* PackageCheck::marker(UnfoundBecause because) {
  switch (because) {
    case UnfoundBecause::kFoundFirst: return "is found first";
    case UnfoundBecause::kKeptDiffering: return "kept: it differs";
    case UnfoundBecause::kStockFile: return "one of the game's own files";
    case UnfoundBecause::kOtherKind: return "a package of another kind";
    case UnfoundBecause::kMostlyAbsent: return "lacks most of what is taken from it";
    case UnfoundBecause::kNotInFile: break;
  }
  return "";
}

bool is_package_file(const std::string& name) {
  size_t dot = name.find_last_of('.'), sep = name.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return false;
  const std::string ext = ascii_lower(name.substr(dot + 1));
  return ext == "unr" || ext == "u" || ext == "utx" || ext == "uax" || ext == "umx";
}

void PackageCheck::read(size_t item, const std::string& shown, Source& src) {
  if (!is_package_file(shown)) return;
  Record r;
  r.item = item;
  r.shown = shown;
  r.own_name = stem_of(shown);
  Package p;
  // A map's exports are many and seldom taken from: read only when something does.
  // Damaged exports are told then too, when the file is read again.
  const bool is_map = ascii_lower(shown.substr(shown.find_last_of('.'))) == ".unr";
  if (!is_map && read_package(src, p, true).empty()) {
    r.holds_read = true;
    r.holds = exported_objects(p, r.own_name);
  } else {
    p = Package();
    r.why = read_package(src, p);
  }
  if (r.why.empty()) {
    for (const Dependency& d : dependencies(p, r.own_name)) {
      r.needs.push_back(d.name);
      r.kinds.push_back(d.kinds);
    }
    r.takes = imported_objects(p, r.own_name);
  }
  std::lock_guard<std::mutex> lock(mu_);
  auto same = std::find_if(records_.begin(), records_.end(), [&](const Record& o) { return o.item == item; });
  if (same != records_.end())
    *same = std::move(r);
  else
    records_.push_back(std::move(r));
}

std::vector<GameListing::SearchPath> GameListing::search_paths() const {
  // Paths are relative to System, as in Paths=../Maps/*.unr.
  const std::string system = platform::join(game_, "System");
  auto path_of = [&](std::string pattern) {
    for (char& c : pattern)
      if (c == '/') c = '\\';
    size_t cut = pattern.find_last_of('\\');
    std::string folder = cut == std::string::npos ? std::string(".") : pattern.substr(0, cut);
    std::string wildcard = ascii_lower(cut == std::string::npos ? pattern : pattern.substr(cut + 1));
    SearchPath sp;
    // "*.utx" asks for that extension; anything else is taken as any package file.
    if (wildcard.size() > 2 && wildcard.compare(0, 2, "*.") == 0 && wildcard.find_first_of("*?", 2) == std::string::npos)
      sp.ext = wildcard.substr(1);
    bool absolute = (folder.size() > 1 && folder[1] == ':') || (!folder.empty() && folder[0] == '\\');
    sp.shown = absolute ? folder + "\\" : folder.compare(0, 3, "..\\") == 0 ? folder.substr(3) + "\\"
                                                                             : "System\\" + folder + "\\";
    if (sp.shown == "System\\.\\") sp.shown = "System\\";
    for (char& c : folder)
      if (c == '\\') c = platform::kSeparator;
    sp.folder = absolute ? folder : platform::join(system, folder);
    return sp;
  };
  std::vector<SearchPath> paths;
  bool section = false;
  std::string err;
  std::unique_ptr<Source> ini = platform::open_archive(platform::join(system, "UnrealTournament.ini"), err);
  if (ini && ini->size() <= (8u << 20)) {
    std::string text(static_cast<size_t>(ini->size()), '\0');
    if (!ini->read_at(0, &text[0], text.size())) text.clear();
    const Ini read(text, Ini::Headers::kWholeLine);
    section = read.has("core.system");
    for (const Ini::Line& l : read.section("core.system"))
      if (l.key == "paths") paths.push_back(path_of(l.value));
  }
  if (!section)
    for (const char* d : {"../System/*.u", "../Maps/*.unr", "../Textures/*.utx", "../Sounds/*.uax", "../Music/*.umx"})
      paths.push_back(path_of(d));
  return paths;
}

bool GameListing::wanted(const SearchPath& sp, const std::string& name) const {
  return is_package_file(name) && (sp.ext.empty() || ascii_lower(name.substr(name.find_last_of('.'))) == sp.ext);
}

const std::map<std::string, std::vector<GameListing::Found>>& GameListing::files() {
  if (listed_) return files_;
  listed_ = true;
  paths_ = search_paths();
  std::map<std::string, std::vector<std::string>> listed;  // each folder is listed once
  for (size_t k = 0; k < paths_.size(); ++k) {
    const SearchPath& sp = paths_[k];
    auto at = listed.find(sp.folder);
    if (at == listed.end()) {
      at = listed.emplace(sp.folder, std::vector<std::string>()).first;
      if (!platform::list_files(sp.folder, at->second)) at->second.clear();
    }
    for (const std::string& n : at->second) {
      if (!wanted(sp, n)) continue;
      std::vector<Found>& of = files_[ascii_lower(stem_of(n))];
      Found f{platform::join(sp.folder, n), sp.shown + n, k};
      if (std::none_of(of.begin(), of.end(), [&](const Found& o) { return o.path == f.path; })) of.push_back(f);
    }
  }
  return files_;
}

void GameListing::add(const std::string& path) {
  if (!listed_) return;  // the listing, when made, finds it
  const std::string place = is_absolute(path) ? path : platform::join(game_, path);
  const size_t sep = place.find_last_of("/\\");
  const std::string folder = path_key(place.substr(0, sep)), n = place.substr(sep + 1);
  std::vector<Found>* of = nullptr;
  for (size_t k = 0; k < paths_.size(); ++k) {
    const SearchPath& sp = paths_[k];
    if (path_key(sp.folder) != folder || !wanted(sp, n)) continue;
    if (!of) of = &files_[ascii_lower(stem_of(n))];
    Found f{platform::join(sp.folder, n), sp.shown + n, k};
    if (std::any_of(of->begin(), of->end(), [&](const Found& o) { return path_key(o.path) == path_key(f.path); }))
      continue;
    of->insert(std::find_if(of->begin(), of->end(), [&](const Found& o) { return o.order > k; }), f);
  }
}

namespace {

using Found = GameListing::Found;
using Files = std::map<std::string, std::vector<Found>>;

// What the check reads of a package file the game finds, and what was taken from it.
struct Loaded {
  bool ok = false;
  ObjectList holds;
  std::unordered_multimap<std::string, size_t> by_name;  // lower-case object name -> index in holds
  std::vector<Dependency> needs;
  int dll = -1;  // whether its own DLL lies beside it: -1 not yet looked
  // Each take of an object from it by the install's packages, and those of them not in it.
  size_t taken = 0, missed = 0;
  std::string package;  // the name the first missed object is taken under, as spelt there
  unsigned missed_kinds = 0;  // PackageKind bits of what the missed ones are taken as
  std::vector<PackageCheck::Unfound> unfound;
  std::unordered_map<std::string, size_t> unfound_at;  // lower-case object text -> index in unfound

  void take(ObjectList objects) {
    ok = true;
    holds = std::move(objects);
    for (size_t i = 0; i < holds.size(); ++i) by_name.emplace(ascii_lower(holds.name(i)), i);
  }
};

using Because = PackageCheck::UnfoundBecause;

// Why what is taken from `found`, the files of a package's name in the order the game
// looks, is not in the first of them.
Because reason_unfound(const std::vector<Found>& found, bool kept_differing) {
  // The game's own file first: whatever else is true, its remedy is never another copy of it.
  if (is_stock_file(found[0].shown)) return Because::kStockFile;
  if (kept_differing) return Because::kKeptDiffering;
  return found.size() > 1 ? Because::kFoundFirst : Because::kNotInFile;
}

// The words that say why `o` is not in `f`, the file the game finds, for that reason.
std::string why_unfound(const ObjectName& o, const Found& f, const Loaded& l, Because because) {
  const std::string kind = ascii_lower(o.class_name);
  if (because == Because::kKeptDiffering)
    return "the game's " + f.shown + " (" + PackageCheck::marker(because) + " from the archive's) lacks it";
  if (because == Because::kFoundFirst)
    return f.shown + " " + PackageCheck::marker(because) + " under the name " + o.path[0] + ", and it holds no such " +
           kind;
  const std::string subject =
      because == Because::kStockFile ? f.shown + ", " + PackageCheck::marker(because) + "," : f.shown;
  const std::string& name = o.path.back();
  std::optional<ObjectName> other_class;  // holds builds each object as it is looked at
  auto range = l.by_name.equal_range(ascii_lower(name));
  for (auto it = range.first; it != range.second; ++it) {
    const ObjectName e = l.holds[it->second];
    if (!same_package_name(e.class_name, o.class_name) || !same_package_name(e.class_package, o.class_package)) {
      other_class = e;
      continue;
    }
    if (o.path.size() > 2)
      return subject + " holds " + name + ", but not in the group " + joined(o.path, 1, o.path.size() - 1, ".");
    return subject + " holds " + name + " only in the group " + joined(e.path, 1, e.path.size() - 1, ".");
  }
  if (other_class) return subject + " holds " + name + ", but as a " + other_class->class_name + ", not a " + o.class_name;
  return subject + " holds no such " + kind;
}

// Where most of what is taken from one file is not in it, one entry says so
// (from this many objects on; a package of another kind always).
const size_t kOneEntryFrom = 3;
const size_t kNamesShown = 3;

// The unfound objects of `l`, the file the game finds first of those in `found`,
// each by itself or, where most of what is taken from it is missing, at once.
void tell_unfound(Loaded& l, const std::vector<Found>& found, std::vector<PackageCheck::Unfound>& out) {
  const Found& f = found[0];
  const unsigned holds_kinds = kind_of_extension(f.shown);
  // A texture, sound or music package holds nothing of another kind, and no code.
  const unsigned foreign = holds_kinds & (kTexturePackage | kSoundPackage | kMusicPackage)
                               ? l.missed_kinds & ~holds_kinds : 0;
  const bool most = l.missed * 2 > l.taken;
  const bool other_kind = most && foreign && found.size() == 1 && !is_stock_file(f.shown);
  if (!other_kind && !(most && l.unfound.size() >= kOneEntryFrom)) {
    for (PackageCheck::Unfound& u : l.unfound) out.push_back(std::move(u));
    return;
  }
  const std::string& package = l.package;
  PackageCheck::Unfound all;
  const size_t n = l.unfound.size();
  all.object = std::to_string(n) + (n == 1 ? " object of " : " objects of ") + package;
  all.which = n > kNamesShown ? "among them " : "";
  for (size_t i = 0; i < n && i < kNamesShown; ++i) all.which += (i ? ", " : "") + l.unfound[i].object;
  for (const PackageCheck::Unfound& u : l.unfound)
    for (const std::string& by : u.needed_by) add_once(all.needed_by, by);
  // Every entry of one file has the same reason, but where the file is not the one that lacks a few.
  all.because = other_kind ? Because::kOtherKind : l.unfound[0].because;
  const std::string most_absent = PackageCheck::marker(Because::kMostlyAbsent);
  switch (all.because) {
    case Because::kOtherKind:
      all.why = f.shown + " is a " + kind_text(holds_kinds) + ", " + PackageCheck::marker(all.because) +
                ", and the only file of that name the game finds: the " + kind_text(foreign) + " " + package +
                " that they come from is missing";
      break;
    case Because::kStockFile:
      all.why = f.shown + ", " + PackageCheck::marker(all.because) + ", " + most_absent;
      break;
    case Because::kKeptDiffering:
      all.why = l.unfound[0].why;
      break;
    case Because::kFoundFirst:
      all.why = f.shown + " " + PackageCheck::marker(all.because) + " under the name " + package + ", and it " + most_absent;
      break;
    case Because::kNotInFile:
    case Because::kMostlyAbsent:
      all.because = Because::kMostlyAbsent;
      all.why = f.shown + " " + most_absent;
      break;
  }
  out.push_back(std::move(all));
}

}  // namespace

PackageCheck::Result PackageCheck::finish(const std::vector<size_t>& installed,
                                          const std::vector<size_t>& differing) const {
  std::lock_guard<std::mutex> lock(mu_);
  Result res;
  std::vector<const Record*> records;
  for (const Record& r : records_)
    if (std::binary_search(installed.begin(), installed.end(), r.item)) records.push_back(&r);
  std::sort(records.begin(), records.end(), [](const Record* a, const Record* b) { return a->item < b->item; });
  // The install's files by path_key of where they are: a shown path is the
  // game's relative one, or absolute.
  auto place_of = [&](const std::string& shown) { return path_key(is_absolute(shown) ? shown : platform::join(game_, shown)); };
  std::map<std::string, const Record*> by_path;
  bool needs_any = false;
  for (const Record* r : records) {
    if (!r->why.empty()) res.unloadable.push_back({r->shown, r->why});
    by_path.emplace(place_of(r->shown), r);
    needs_any = needs_any || !r->needs.empty();
  }
  if (!needs_any) return res;

  // Every package file the game can find: the run's listing, with the install's files,
  // in place now, added to it.
  for (const Record* r : records) listing_->add(r->shown);
  const Files& files = listing_->files();
  // A file of the install outside those folders still counts, as it always
  // has; where it is the game's search cannot say, so its objects go unchecked.
  Files outside;
  for (const Record* r : records) {
    const std::string key = ascii_lower(r->own_name);
    if (!files.count(key) && outside[key].empty()) outside[key].push_back(Found{std::string(), r->shown, 0});
  }

  std::map<std::string, Loaded> loaded;  // by path
  auto load = [&](const Found& f) -> Loaded& {
    auto at = loaded.find(f.path);
    if (at != loaded.end()) return at->second;
    Loaded& l = loaded[f.path];
    auto own = f.path.empty() ? by_path.end() : by_path.find(path_key(f.path));
    if (own != by_path.end() && own->second->holds_read) {
      // The install's own file: read as it was put in place or kept. What it needs
      // is looked at as a record's, never one level further.
      l.take(own->second->holds);
      return l;
    }
    std::string err;
    std::unique_ptr<Source> src = f.path.empty() ? nullptr : platform::open_archive(f.path, err);
    Package p;
    std::string why = src ? read_package(*src, p, true) : std::string("cannot read the package");
    if (why.empty()) {
      l.take(exported_objects(p, stem_of(f.shown)));
      l.needs = dependencies(p, stem_of(f.shown));
    } else {
      // The install's own file, readable but for its exports: the game cannot load it either.
      auto r = by_path.find(path_key(f.path));
      if (!f.path.empty() && r != by_path.end() && r->second->why.empty()) res.unloadable.push_back({r->second->shown, why});
    }
    return l;
  };
  auto found_of = [&](const std::string& name) -> const std::vector<Found>* {
    const std::string key = ascii_lower(name);
    for (const Files* m : {&files, static_cast<const Files*>(&outside)}) {
      auto at = m->find(key);
      if (at != m->end() && !at->second.empty()) return &at->second;
    }
    return nullptr;
  };

  std::map<std::string, size_t> missing_at;  // lower-case name -> position
  std::vector<const std::vector<Found>*> told;  // the files found lacking something, in order
  auto add_missing = [&](const std::string& name, unsigned kinds, const std::string& by) {
    auto at = missing_at.emplace(ascii_lower(name), res.missing.size());
    if (at.second) {
      Missing m{name, kinds, false, {}};
      // The game's own file says what kind it is, whatever the map takes from it.
      if (const char* stock = stock_file(name)) {
        m.stock = true;
        m.kinds = kind_of_extension(stock);
      }
      res.missing.push_back(m);
    }
    Missing& m = res.missing[at.first->second];
    if (!m.stock) m.kinds |= kinds;
    add_once(m.needed_by, by);
  };
  std::set<std::string> further;  // paths of game packages whose own needs were looked at
  for (const Record* r : records) {
    for (size_t k = 0; k < r->needs.size(); ++k) {
      const std::vector<Found>* found = found_of(r->needs[k]);
      if (!found) {
        add_missing(r->needs[k], r->kinds[k], r->shown);
        continue;
      }
      // One level further, for the game's files only: the install's are records themselves.
      const Found& f = (*found)[0];
      if (by_path.count(path_key(f.path)) || further.size() >= kMaxFurther || !further.insert(f.path).second) continue;
      const Loaded& l = load(f);
      for (const Dependency& d : l.needs)
        if (!found_of(d.name)) add_missing(d.name, d.kinds, f.shown + ", which " + r->shown + " needs");
    }
    for (const ObjectName& o : r->takes) {
      const std::vector<Found>* found = found_of(o.path[0]);
      if (!found) continue;  // the package is missing, named above
      Loaded& l = load((*found)[0]);
      if (!l.ok) continue;
      ++l.taken;
      auto range = l.by_name.equal_range(ascii_lower(o.path.back()));
      if (std::any_of(range.first, range.second, [&](const std::pair<const std::string, size_t>& e) {
            return same_object(l.holds[e.second], o);
          }))
        continue;
      if (o.path.size() == 2 && same_package_name(o.class_name, "Class") && same_package_name(o.class_package, "Core")) {
        // A class the game's program defines: found whatever the file exports.
        const ClassInCode in_code = class_in_code(o.path[0], o.path[1]);
        if (in_code == ClassInCode::kYes) continue;
        // A package with its own DLL beside it may define classes in code too,
        // which no file shows: nothing is said of them.
        if (in_code == ClassInCode::kPackageUnlisted && kind_of_extension((*found)[0].shown) == kCodePackage) {
          if (l.dll < 0) {
            const std::string& at = (*found)[0].path;
            l.dll = platform::kind_of(at.substr(0, at.find_last_of("/\\") + 1) + stem_of(at) + ".dll") ==
                    platform::Kind::File;
          }
          if (l.dll) continue;
        }
      }
      ++l.missed;
      for (size_t k = 0; k < r->needs.size(); ++k)
        if (same_package_name(r->needs[k], o.path[0])) l.missed_kinds |= r->kinds[k];
      if (l.unfound.empty()) {
        told.push_back(&(*found));
        l.package = o.path[0];
      }
      const std::string text = object_text(o);
      auto at = l.unfound_at.emplace(ascii_lower(text), l.unfound.size());
      if (at.second) {
        auto kept = by_path.find(path_key((*found)[0].path));
        bool kept_differing = kept != by_path.end() &&
                              std::binary_search(differing.begin(), differing.end(), kept->second->item);
        PackageCheck::Unfound u;
        u.object = text;
        u.because = reason_unfound(*found, kept_differing);
        u.why = why_unfound(o, (*found)[0], l, u.because);
        l.unfound.push_back(std::move(u));
      }
      add_once(l.unfound[at.first->second].needed_by, r->shown);
    }
  }
  // Told file by file, in the order each was first found lacking something.
  for (const std::vector<Found>* found : told) tell_unfound(loaded[(*found)[0].path], *found, res.unfound);
  return res;
}

}  // namespace orvane
