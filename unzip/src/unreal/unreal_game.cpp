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
  // Each folder is listed once: its files, and its folders.
  std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> listed;
  for (size_t k = 0; k < paths_.size(); ++k) {
    const SearchPath& sp = paths_[k];
    auto at = listed.find(sp.folder);
    if (at == listed.end()) {
      at = listed.emplace(sp.folder, std::make_pair(std::vector<std::string>(), std::vector<std::string>())).first;
      if (!platform::list_files(sp.folder, at->second.first, &at->second.second)) at->second = {};
    }
    for (const std::string& n : at->second.second) {
      const Found f{platform::join(sp.folder, n), sp.shown + n, k};
      if (wanted(sp, n) && std::none_of(folders_.begin(), folders_.end(), [&](const Found& o) { return o.path == f.path; }))
        folders_.push_back(f);
    }
    for (const std::string& n : at->second.first) {
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

void ImportResolver::Held::take(ObjectList objects) {
  ok = true;
  holds = std::move(objects);
  for (size_t i = 0; i < holds.size(); ++i) by_name.emplace(ascii_lower(holds.name(i)), i);
}

namespace {

using Found = GameListing::Found;
using Files = std::map<std::string, std::vector<Found>>;
using Held = ImportResolver::Held;
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
std::string why_unfound(const ObjectName& o, const Found& f, const ObjectList& holds,
                        const std::unordered_multimap<std::string, size_t>& by_name, Because because) {
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
  auto range = by_name.equal_range(ascii_lower(name));
  for (auto it = range.first; it != range.second; ++it) {
    const ObjectName e = holds[it->second];
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

// The unfound objects of a file, the first of those in `found`, each by itself or, where
// most of what is taken from it is missing, at once. missed: of taken, those not in it.
void tell_unfound(std::vector<PackageCheck::Unfound>& unfound, size_t taken, size_t missed, unsigned missed_kinds,
                  const std::string& package, const std::vector<Found>& found,
                  std::vector<PackageCheck::Unfound>& out) {
  const Found& f = found[0];
  const unsigned holds_kinds = kind_of_extension(f.shown);
  // A texture, sound or music package holds nothing of another kind, and no code.
  const unsigned foreign = holds_kinds & (kTexturePackage | kSoundPackage | kMusicPackage)
                               ? missed_kinds & ~holds_kinds : 0;
  const bool most = missed * 2 > taken;
  const bool other_kind = most && foreign && found.size() == 1 && !is_stock_file(f.shown);
  if (!other_kind && !(most && unfound.size() >= kOneEntryFrom)) {
    for (PackageCheck::Unfound& u : unfound) out.push_back(std::move(u));
    return;
  }
  PackageCheck::Unfound all;
  const size_t n = unfound.size();
  all.object = std::to_string(n) + (n == 1 ? " object of " : " objects of ") + package;
  all.which = n > kNamesShown ? "among them " : "";
  for (size_t i = 0; i < n && i < kNamesShown; ++i) all.which += (i ? ", " : "") + unfound[i].object;
  all.held_by = unfound[0].held_by;
  all.file = f.shown;
  for (const PackageCheck::Unfound& u : unfound) {
    for (const std::string& by : u.needed_by) add_once(all.needed_by, by);
    if (u.held_by != all.held_by) all.held_by.clear();
  }
  // Every entry of one file has the same reason, but where the file is not the one that lacks a few.
  all.because = other_kind ? Because::kOtherKind : unfound[0].because;
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
      all.why = unfound[0].why;
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

ImportResolver::ImportResolver(const Files& files, const Files* outside, Hooks hooks, Scope scope)
    : hooks_(std::move(hooks)), scope_(scope) {
  // The game's folders first: a file outside them counts only for a name they lack.
  for (const Files* m : {&files, outside}) {
    if (!m) continue;
    for (const auto& name : *m)
      if (!name.second.empty()) by_name_.emplace(name.first, &name.second);
  }
}

const std::vector<Found>* ImportResolver::found_of(const std::string& name) const {
  auto at = by_name_.find(ascii_lower(name));
  return at == by_name_.end() ? nullptr : at->second;
}

Held& ImportResolver::load(const Found& f) {
  auto at = held_.find(&f);
  if (at != held_.end()) return at->second;
  Held& h = held_[&f];
  hooks_.load(f, h);
  return h;
}

void ImportResolver::add_missing(const std::string& name, unsigned kinds, const Need& by) {
  auto at = missing_at_.emplace(ascii_lower(name), missing_.size());
  if (at.second) {
    Missing m{name, kinds, false, {}};
    // The game's own file says what kind it is, whatever the map takes from it.
    if (const char* stock = stock_file(name)) {
      m.stock = true;
      m.kinds = kind_of_extension(stock);
    }
    missing_.push_back(m);
  }
  Missing& m = missing_[at.first->second];
  if (!m.stock) m.kinds |= kinds;
  if (std::none_of(m.needed_by.begin(), m.needed_by.end(),
                   [&](const Need& n) { return n.by == by.by && n.via == by.via; }))
    m.needed_by.push_back(by);
}

void ImportResolver::resolve(const std::string& by, const std::vector<std::string>& needs,
                             const std::vector<unsigned>& kinds, const ObjectList& takes) {
  const bool whole = scope_ == Scope::kWholeGame;
  for (size_t k = 0; k < needs.size(); ++k) {
    const std::vector<Found>* found = found_of(needs[k]);
    if (!found) {
      add_missing(needs[k], kinds[k], Need{by, std::string()});
      continue;
    }
    const Found& f = (*found)[0];
    if (whole && !f.path.empty() && !load(f).ok) {
      auto at = broken_at_.emplace(&f, broken_.size());
      if (at.second) broken_.push_back(Broken{f, {}});
      add_once(broken_[at.first->second].needed_by, by);
      continue;
    }
    // One level further, for the game's files only: the checked ones are resolved themselves.
    if (f.path.empty() || hooks_.checked(f)) continue;
    auto looked = further_.find(&f);
    if (looked == further_.end()) {
      if (!whole && further_.size() >= kMaxFurther) continue;
      looked = further_.emplace(&f, std::vector<Dependency>()).first;
      for (const Dependency& d : load(f).needs)
        if (!found_of(d.name)) looked->second.push_back(d);
    } else if (!whole) {
      continue;  // the install's check names the first that needs it
    }
    for (const Dependency& d : looked->second) add_missing(d.name, d.kinds, Need{by, f.shown});
  }
  for (size_t i = 0; i < takes.size(); ++i) {
    const ObjectName o = takes[i];
    const std::vector<Found>* found = found_of(o.path[0]);
    if (!found) continue;  // the package is missing, named above
    Held& l = load((*found)[0]);
    if (!l.ok) continue;
    ++l.taken;
    auto holds = [&](const Held& h) {
      auto range = h.by_name.equal_range(ascii_lower(o.path.back()));
      return std::any_of(range.first, range.second,
                         [&](const std::pair<const std::string, size_t>& e) { return h.holds.same(e.second, o); });
    };
    if (holds(l)) continue;
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
    for (size_t k = 0; k < needs.size(); ++k)
      if (same_package_name(needs[k], o.path[0])) l.missed_kinds |= kinds[k];
    if (l.unfound.empty()) {
      told_.push_back(found);
      l.package = o.path[0];
    }
    const std::string text = object_text(o);
    auto at = l.unfound_at.emplace(ascii_lower(text), l.unfound.size());
    if (at.second) {
      PackageCheck::Unfound u;
      u.object = text;
      u.file = (*found)[0].shown;
      u.because = reason_unfound(*found, hooks_.kept_differing((*found)[0]));
      u.why = why_unfound(o, (*found)[0], l.holds, l.by_name, u.because);
      for (size_t k = 1; whole && k < found->size() && u.held_by.empty(); ++k) {
        const Held& later = load((*found)[k]);
        if (later.ok && holds(later)) u.held_by = (*found)[k].shown;
      }
      l.unfound.push_back(std::move(u));
    }
    add_once(l.unfound[at.first->second].needed_by, by);
  }
}

std::vector<PackageCheck::Unfound> ImportResolver::unfound() {
  std::vector<PackageCheck::Unfound> out;
  for (const std::vector<Found>* found : told_) {
    Held& l = load((*found)[0]);
    tell_unfound(l.unfound, l.taken, l.missed, l.missed_kinds, l.package, *found, out);
  }
  told_.clear();
  return out;
}

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
  auto record_at = [&](const Found& f) {
    return f.path.empty() ? by_path.end() : by_path.find(path_key(f.path));
  };

  ImportResolver::Hooks hooks;
  hooks.load = [&](const Found& f, Held& l) {
    auto own = record_at(f);
    if (own != by_path.end() && own->second->holds_read) {
      // The install's own file: read as it was put in place or kept. What it needs
      // is looked at as a record's, never one level further.
      l.take(own->second->holds);
      return;
    }
    std::string err;
    std::unique_ptr<Source> src = f.path.empty() ? nullptr : platform::open_archive(f.path, err);
    Package p;
    std::string why = src ? read_package_file(*src, p, true) : std::string("cannot read the package");
    if (why.empty()) {
      l.take(exported_objects(p, stem_of(f.shown)));
      l.needs = dependencies(p, stem_of(f.shown));
    } else if (own != by_path.end() && own->second->why.empty()) {
      // The install's own file, readable but for its exports: the game cannot load it either.
      res.unloadable.push_back({own->second->shown, why});
    }
  };
  hooks.checked = [&](const Found& f) { return record_at(f) != by_path.end(); };
  hooks.kept_differing = [&](const Found& f) {
    auto kept = record_at(f);
    return kept != by_path.end() && std::binary_search(differing.begin(), differing.end(), kept->second->item);
  };
  ImportResolver resolver(files, &outside, std::move(hooks), ImportResolver::Scope::kInstall);
  for (const Record* r : records) resolver.resolve(r->shown, r->needs, r->kinds, r->takes);
  for (const ImportResolver::Missing& m : resolver.missing()) {
    Missing out{m.name, m.kinds, m.stock, {}};
    for (const ImportResolver::Need& n : m.needed_by)
      add_once(out.needed_by, n.via.empty() ? n.by : n.via + ", which " + n.by + " needs");
    res.missing.push_back(std::move(out));
  }
  res.unfound = resolver.unfound();
  return res;
}

}  // namespace orvane
