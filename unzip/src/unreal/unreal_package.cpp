#include "unreal/unreal_package.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "base/bytes.h"
#include "base/text.h"

namespace orvane {

namespace {

const size_t kFixedHeader = 36;        // tag to import offset
const size_t kMinNameBytes = 5;        // an empty name's length byte (or NUL) and its flags
const size_t kMinImportBytes = 7;      // three one-byte compact indices and the outer
const size_t kMinExportBytes = 12;     // class, super, name, serial size one byte each; outer, flags

// Reads one table front to back through a small buffer, never past `end`, and
// never reads a byte twice. On failure state() tells whether the table ran past
// its end, the Source failed, or a compact index was damaged (why()).
class Cursor {
 public:
  enum State { kOk, kEnd, kIoError, kDamaged };
  Cursor(Source& src, uint64_t pos, uint64_t end) : src_(src), pos_(pos), end_(end) {}

  State state() const { return state_; }
  const std::string& why() const { return why_; }

  bool byte(unsigned char& b) {
    if (at_ == len_ && !refill()) return false;
    b = buf_[at_++];
    return true;
  }
  bool bytes(char* dst, size_t n) {
    while (n > 0) {
      if (at_ == len_ && !refill()) return false;
      const size_t k = std::min(n, len_ - at_);
      std::memcpy(dst, buf_ + at_, k);
      at_ += k;
      dst += k;
      n -= k;
    }
    return true;
  }
  bool u32(uint32_t& v) {
    unsigned char b[4];
    for (unsigned char& c : b)
      if (!byte(c)) return false;
    v = le32(b);
    return true;
  }
  // The format's compact index; a value outside 32 bits is damage rather
  // than a number.
  bool compact(int32_t& v) {
    int64_t wide = 0;
    switch (read_compact_index([this](unsigned char& b) { return byte(b); }, 0x7FFFFFFF, wide)) {
      case Compact::kOk:
        v = static_cast<int32_t>(wide);
        return true;
      case Compact::kEnd:
        return false;
      case Compact::kTooLong:
        return damaged("a compact index runs past five bytes");
      case Compact::kTooLarge:
        break;
    }
    return damaged("a compact index is larger than 32 bits");
  }
  bool damaged(const std::string& why) {
    state_ = kDamaged;
    why_ = why;
    return false;
  }

 private:
  bool refill() {
    if (pos_ >= end_) {
      state_ = kEnd;
      return false;
    }
    len_ = static_cast<size_t>(std::min<uint64_t>(sizeof buf_, end_ - pos_));
    if (!src_.read_at(pos_, buf_, len_)) {
      len_ = 0;
      state_ = kIoError;
      return false;
    }
    pos_ += len_;
    at_ = 0;
    return true;
  }

  Source& src_;
  uint64_t pos_, end_;
  unsigned char buf_[8192];
  size_t at_ = 0, len_ = 0;
  State state_ = kOk;
  std::string why_;
};

// Where a table lies, as the header states it.
struct Table {
  const char* what;  // "name", "import", "export"
  uint32_t count, offset;
};

// Why a cursor over `table` stopped; `next` names what lies at its end when
// that is not the end of the file.
std::string cursor_failure(const Cursor& c, const Table& table, size_t entry, const char* next, PackageDamage& kind) {
  std::string where = std::string("the ") + table.what + " table";
  switch (c.state()) {
    case Cursor::kIoError:
      kind = PackageDamage::kUnreadable;
      return "cannot read the package";
    case Cursor::kDamaged:
      kind = PackageDamage::kTables;
      return where + " is damaged at " + table.what + " " + std::to_string(entry) + ": " + c.why();
    default:
      kind = next ? PackageDamage::kTables : PackageDamage::kPastEnd;
      return next ? where + " runs into the " + next + " table"
                  : where + " runs past the end of the file";
  }
}

const int32_t kNoRoot = -1;  // Chains::top: the chain leaves the table (an import in an export)
const int32_t kLoops = -2;   // Chains::top: the chain comes back to itself
const int32_t kUnknown = -3, kVisiting = -4;
const int64_t kTop = -1, kOutside = -2;  // what a parent function gives for an entry in no other entry

// Where the outer chain of each entry of one table ends, and how many steps it
// takes: top[i] is the entry at its top (one that lies in no other), kNoRoot or
// kLoops. parent(j) gives the index of the entry j lies in, kTop or kOutside.
// Linear: each entry is walked once; a chain met again is taken from what is
// known of it.
struct Chains {
  std::vector<int32_t> top;
  std::vector<uint32_t> depth;
};

template <class Parent>
Chains walk_chains(size_t n, Parent parent) {
  Chains c;
  c.top.assign(n, kUnknown);
  c.depth.assign(n, 0);
  std::vector<size_t> path;
  for (size_t i = 0; i < n; ++i) {
    if (c.top[i] != kUnknown) continue;
    path.clear();
    int32_t top;
    uint32_t depth;
    for (size_t j = i;;) {
      if (c.top[j] == kVisiting) {
        top = kLoops;
        depth = 0;
        break;
      }
      if (c.top[j] != kUnknown) {
        top = c.top[j];
        depth = c.depth[j];
        break;
      }
      const int64_t next = parent(j);
      if (next < 0) {
        top = c.top[j] = next == kTop ? static_cast<int32_t>(j) : kNoRoot;
        depth = 0;
        break;
      }
      c.top[j] = kVisiting;
      path.push_back(j);
      j = static_cast<size_t>(next);
    }
    // Each entry of the path lies in the one after it.
    for (size_t k = path.size(); k-- > 0;) {
      if (top != kLoops) ++depth;
      c.top[path[k]] = top;
      c.depth[path[k]] = depth;
    }
  }
  return c;
}

// The imports' chains: each ends at a top-level import (a package), at an export, or loops.
Chains import_chains(const Package& p) {
  const size_t n = p.imports.size();
  return walk_chains(n, [&](size_t j) -> int64_t {
    const int64_t outer = p.imports[j].outer;
    if (outer == 0) return kTop;
    return outer < 0 && static_cast<uint64_t>(-outer - 1) < n ? -outer - 1 : kOutside;
  });
}

// The exports' chains: each ends at a top-level export (in the package itself) or loops.
Chains export_chains(const Package& p) {
  const size_t n = p.exports.size();
  return walk_chains(n, [&](size_t j) -> int64_t {
    const int64_t outer = p.exports[j].outer;
    if (outer == 0) return kTop;
    return outer > 0 && static_cast<uint64_t>(outer) <= n ? outer - 1 : kOutside;
  });
}

// Why an entry's chain is damage, or empty.
std::string chain_damage(const Chains& c, const char* what) {
  for (size_t i = 0; i < c.top.size(); ++i) {
    if (c.top[i] != kLoops && c.depth[i] <= kMaxOuterDepth) continue;
    const std::string entry = std::string(what) + " " + std::to_string(i) + " lies in a chain of " + what + "s";
    return c.top[i] == kLoops ? entry + " that loops" : entry + " deeper than " + std::to_string(kMaxOuterDepth);
  }
  return std::string();
}

struct KindOfClass {
  const char* class_name;  // lower case
  unsigned kind;
};

// The classes of objects that only packages of one kind hold. Fire textures
// (the Fire package's procedural textures) live in texture packages as well.
const KindOfClass kKindOfClass[] = {
    {"texture", kTexturePackage},      {"scriptedtexture", kTexturePackage},
    {"fractaltexture", kTexturePackage}, {"firetexture", kTexturePackage},
    {"icetexture", kTexturePackage},   {"watertexture", kTexturePackage},
    {"wavetexture", kTexturePackage},  {"wettexture", kTexturePackage},
    {"sound", kSoundPackage},          {"music", kMusicPackage},
    {"class", kCodePackage},
};

unsigned kind_of_class(const std::string& class_name) {
  for (const KindOfClass& k : kKindOfClass)
    if (same_package_name(class_name, k.class_name)) return k.kind;
  return 0;
}

}  // namespace

bool same_package_name(const std::string& a, const std::string& b) {
  // Asked for every object a game's packages take: without a copy of either.
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

bool same_package_name(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return i == a.size() && !b[i];
}

namespace {

// read_package's work; kind is set to the damage's kind wherever it returns a reason
// (kTables, damage within the tables, unless the return says otherwise).
std::string read_tables(Source& src, Package& out, bool with_exports, PackageDamage& kind) {
  // Everything reset, but the tables keep their memory: a caller reading many packages
  // in turn into one Package allocates them seldom.
  {
    std::vector<std::string> names = std::move(out.names);
    std::vector<PackageImport> imports = std::move(out.imports);
    std::vector<PackageExport> exports = std::move(out.exports);
    out = Package();
    names.clear();
    imports.clear();
    exports.clear();
    out.names = std::move(names);
    out.imports = std::move(imports);
    out.exports = std::move(exports);
  }
  const uint64_t size = src.size();
  auto past_end = [&](std::string why) {
    kind = PackageDamage::kPastEnd;
    return why;
  };
  auto unreadable = [&] {
    kind = PackageDamage::kUnreadable;
    return std::string("cannot read the package");
  };
  // The fixed part first: what follows it, and so where the header ends, depends on the version.
  unsigned char h[56] = {0};
  size_t have = static_cast<size_t>(std::min<uint64_t>(size, kFixedHeader));
  if (!src.read_at(0, h, have)) return unreadable();
  if (have < 4 || le32(h) != kPackageTag) {
    kind = size == 0 ? PackageDamage::kEmpty : PackageDamage::kNotPackage;
    return "not an Unreal package (no package tag)";
  }
  if (have < kFixedHeader) return past_end("the package header is truncated");

  out.version = le16(h + 4);
  out.licensee = le16(h + 6);
  if (out.version < kOldestPackageVersion || out.version > kNewestPackageVersion) {
    kind = PackageDamage::kVersion;
    return "package version " + std::to_string(out.version) + " is not one the game reads (it reads " +
           std::to_string(kOldestPackageVersion) + " to " + std::to_string(kNewestPackageVersion) + ")";
  }
  out.flags = le32(h + 8);
  Table names{"name", le32(h + 12), le32(h + 16)};
  Table exports{"export", le32(h + 20), le32(h + 24)};
  Table imports{"import", le32(h + 28), le32(h + 32)};

  uint64_t header_end = out.version >= 68 ? 56 : 44;
  have = static_cast<size_t>(std::min<uint64_t>(size, header_end));
  if (!src.read_at(kFixedHeader, h + kFixedHeader, have - kFixedHeader)) return unreadable();
  if (have < header_end) return past_end("the package header is truncated");
  if (out.version >= 68) {
    // The GUID, then a generation count and that many (export count, name count) pairs.
    out.guid.assign(reinterpret_cast<const char*>(h + 36), 16);
    uint64_t generations = le32(h + 52);
    if (generations > (size - 56) / 8) return past_end("the package header is truncated (its generation table)");
    header_end += 8 * generations;
  } else {
    // A heritage table of 16-byte GUIDs, somewhere in the file.
    Table heritage{"heritage", le32(h + 36), le32(h + 40)};
    if (heritage.count && (heritage.offset > size || heritage.count > (size - heritage.offset) / 16))
      return past_end("the heritage table runs past the end of the file");
  }

  // A claimed count is believed only as far as the bytes from the table's
  // offset to the end of the file could hold that many of its smallest entry.
  for (const auto& t : {std::make_pair(names, kMinNameBytes), std::make_pair(imports, kMinImportBytes),
                        std::make_pair(exports, kMinExportBytes)}) {
    const Table& table = t.first;
    if (table.count == 0) continue;
    std::string where = std::string("the ") + table.what + " table";
    if (table.offset < header_end) return where + " overlaps the package header";
    if (table.offset > size) return past_end(where + " starts past the end of the file");
    if (table.count > (size - table.offset) / t.second)
      return past_end(where + " runs past the end of the file (the header claims " + std::to_string(table.count) +
                      " " + table.what + "s)");
  }
  if (names.count && imports.count && names.offset == imports.offset)
    return "the name table and the import table overlap";
  // Each table ends at the other one when that follows it, so no byte is read twice.
  bool imports_follow = imports.count && imports.offset > names.offset;
  bool names_follow = names.count && names.offset > imports.offset;
  const uint64_t names_end = imports_follow ? imports.offset : size;
  const uint64_t imports_end = names_follow ? names.offset : size;

  Cursor nc(src, names.offset, names_end);
  out.names.reserve(names.count);
  for (uint32_t i = 0; i < names.count; ++i) {
    std::string name;
    if (out.version >= 64) {
      // A compact length counting the terminating NUL, the text, the NUL.
      int32_t len;
      if (!nc.compact(len)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr, kind);
      if (len < 0) return "name " + std::to_string(i) + " has a negative length";
      if (static_cast<uint32_t>(len) > kMaxPackageNameLength + 1)
        return "name " + std::to_string(i) + " is longer than " + std::to_string(kMaxPackageNameLength) + " bytes";
      name.resize(static_cast<size_t>(len));
      if (!nc.bytes(&name[0], name.size()))
        return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr, kind);
      if (len > 0 && name.back() != '\0') return "name " + std::to_string(i) + " does not end in a NUL";
      name.resize(std::min(name.size(), name.find('\0')));
    } else {
      // Before version 64: plain NUL-terminated text.
      for (;;) {
        unsigned char c;
        if (!nc.byte(c)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr, kind);
        if (c == 0) break;
        if (name.size() == kMaxPackageNameLength)
          return "name " + std::to_string(i) + " is longer than " + std::to_string(kMaxPackageNameLength) + " bytes";
        name += static_cast<char>(c);
      }
    }
    uint32_t flags;
    if (!nc.u32(flags)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr, kind);
    out.names.push_back(std::move(name));
  }

  out.export_count = exports.count;
  Cursor ic(src, imports.offset, imports_end);
  out.imports.reserve(imports.count);
  for (uint32_t i = 0; i < imports.count; ++i) {
    // Class package, class name, outer, object name: three compact name indices and a reference.
    int32_t idx[3];
    uint32_t outer;
    if (!ic.compact(idx[0]) || !ic.compact(idx[1]) || !ic.u32(outer) || !ic.compact(idx[2]))
      return cursor_failure(ic, imports, i, names_follow ? "name" : nullptr, kind);
    for (int32_t v : idx)
      if (v < 0 || static_cast<uint32_t>(v) >= names.count)
        return "import " + std::to_string(i) + " refers to name " + std::to_string(v) + ", and there are " +
               std::to_string(names.count) + " names";
    PackageImport imp;
    imp.class_package = static_cast<uint32_t>(idx[0]);
    imp.class_name = static_cast<uint32_t>(idx[1]);
    imp.object_name = static_cast<uint32_t>(idx[2]);
    imp.outer = static_cast<int32_t>(outer);
    int64_t ref = imp.outer;
    if (ref < 0 && -ref - 1 >= static_cast<int64_t>(imports.count))
      return "import " + std::to_string(i) + " lies in import " + std::to_string(-ref - 1) + ", and there are " +
             std::to_string(imports.count) + " imports";
    if (ref > 0 && ref - 1 >= static_cast<int64_t>(exports.count))
      return "import " + std::to_string(i) + " lies in export " + std::to_string(ref - 1) + ", and there are " +
             std::to_string(exports.count) + " exports";
    out.imports.push_back(imp);
  }

  std::string damage = chain_damage(import_chains(out), "import");
  if (!damage.empty()) return damage;
  if (!with_exports || exports.count == 0) return std::string();

  // The export table ends where the next table starts, or at the end of the file.
  uint64_t exports_end = size;
  for (const Table& t : {names, imports})
    if (t.count && t.offset > exports.offset) exports_end = std::min<uint64_t>(exports_end, t.offset);
  const char* after = exports_end == size ? nullptr : exports_end == names.offset ? "name" : "import";
  Cursor ec(src, exports.offset, exports_end);
  out.exports.reserve(exports.count);
  for (uint32_t i = 0; i < exports.count; ++i) {
    // Class, super, outer, name, flags, serial size and, when that is above 0, serial offset.
    int32_t cls, super, name, serial_size, serial_offset;
    uint32_t outer, flags;
    if (!ec.compact(cls) || !ec.compact(super) || !ec.u32(outer) || !ec.compact(name) || !ec.u32(flags) ||
        !ec.compact(serial_size) || (serial_size > 0 && !ec.compact(serial_offset)))
      return cursor_failure(ec, exports, i, after, kind);
    // Made only for a message: thousands of exports a map, thousands of maps a game.
    auto what = [i] { return "export " + std::to_string(i); };
    if (name < 0 || static_cast<uint32_t>(name) >= names.count)
      return what() + " refers to name " + std::to_string(name) + ", and there are " + std::to_string(names.count) +
             " names";
    if ((cls < 0 && -static_cast<int64_t>(cls) - 1 >= static_cast<int64_t>(imports.count)) ||
        (cls > 0 && static_cast<uint32_t>(cls) > exports.count))
      return what() + " has a class that is in neither table";
    if (outer > exports.count) return what() + " lies in export " + std::to_string(outer - 1) + ", and there are " +
                                      std::to_string(exports.count) + " exports";
    // A package cut short often keeps its tables, which point at data that is no longer there.
    if (serial_size < 0) return what() + " has a negative size";
    if (serial_size > 0 && (serial_offset < 0 || static_cast<uint64_t>(serial_offset) > size ||
                            static_cast<uint64_t>(serial_size) > size - static_cast<uint64_t>(serial_offset)))
      return past_end(what() + "'s data runs past the end of the file");
    out.exports.push_back(PackageExport{cls, static_cast<int32_t>(outer), static_cast<uint32_t>(name)});
  }
  return chain_damage(export_chains(out), "export");
}

}  // namespace

std::string read_package(Source& src, Package& out, bool with_exports, PackageDamage* damage) {
  PackageDamage kind = PackageDamage::kTables;
  std::string why = read_tables(src, out, with_exports, kind);
  if (damage) *damage = why.empty() ? PackageDamage::kNone : kind;
  return why;
}

std::string read_package_file(Source& file, Package& out, bool with_exports, PackageDamage* damage) {
  // Each thread keeps its windows' memory from file to file.
  thread_local WindowedSource::Storage kept;
  WindowedSource windows(file, &kept);
  return read_package(windows, out, with_exports, damage);
}

namespace {

// The dependencies (see dependencies()) and, for each import at the top of a
// chain, the index of the one it stands for, else -1.
std::vector<Dependency> find_dependencies(const Package& p, const std::string& own_name, const Chains& chains,
                                          std::vector<int32_t>& dep_of, bool with_kinds = true) {
  std::vector<Dependency> deps;
  auto name_of = [&](uint32_t i) -> const std::string& {
    static const std::string none;
    return i < p.names.size() ? p.names[i] : none;
  };
  dep_of.assign(p.imports.size(), -1);
  std::unordered_map<std::string, size_t> by_name;
  const std::string self = ascii_lower(own_name);
  for (size_t i = 0; i < p.imports.size(); ++i) {
    const PackageImport& imp = p.imports[i];
    if (imp.outer != 0 || !same_package_name(name_of(imp.class_name), "Package")) continue;
    const std::string& name = name_of(imp.object_name);
    std::string key = ascii_lower(name);
    if (key.empty() || key == self || key == "mylevel") continue;
    auto it = by_name.emplace(key, deps.size()).first;
    if (it->second == deps.size()) deps.push_back(Dependency{name, 0});
    dep_of[i] = static_cast<int32_t>(it->second);
  }
  for (size_t i = 0; with_kinds && i < p.imports.size(); ++i)
    if (chains.top[i] >= 0 && dep_of[chains.top[i]] >= 0)
      deps[dep_of[chains.top[i]]].kinds |= kind_of_class(name_of(p.imports[i].class_name));
  return deps;
}

}  // namespace

std::vector<Dependency> dependencies(const Package& p, const std::string& own_name) {
  std::vector<int32_t> dep_of;
  return find_dependencies(p, own_name, import_chains(p), dep_of);
}

ObjectName ObjectList::operator[](size_t i) const {
  const Item& item = items_[i];
  ObjectName o{names_[item.class_package], names_[item.class_name], {}};
  // The lists hold only objects whose chains end within kMaxOuterDepth steps.
  for (int32_t at = static_cast<int32_t>(item.node); at >= 0; at = nodes_[at].outer)
    o.path.push_back(names_[nodes_[at].name]);
  std::reverse(o.path.begin(), o.path.end());
  return o;
}

bool ObjectList::same(size_t i, const ObjectName& o) const {
  const Item& item = items_[i];
  if (!same_package_name(names_[item.class_name], o.class_name) ||
      !same_package_name(names_[item.class_package], o.class_package))
    return false;
  size_t k = o.path.size();
  for (int32_t at = static_cast<int32_t>(item.node); at >= 0; at = nodes_[at].outer)
    if (k == 0 || !same_package_name(names_[nodes_[at].name], o.path[--k])) return false;
  return k == 0;
}

ObjectList imported_objects(const Package& p, const std::string& own_name) {
  ObjectList out;
  const Chains chains = import_chains(p);
  // Only objects of the packages that dependencies() names: not this one, not MyLevel.
  std::vector<int32_t> dep_of;
  find_dependencies(p, own_name, chains, dep_of, false);
  // Only the names the imports use: a map's table holds thousands more, its own objects'.
  std::vector<uint32_t> kept(p.names.size(), UINT32_MAX);
  auto keep = [&](uint32_t n) {
    if (kept[n] == UINT32_MAX) {
      kept[n] = static_cast<uint32_t>(out.names_.size());
      out.names_.push_back(p.names[n]);
    }
    return kept[n];
  };
  out.nodes_.reserve(p.imports.size());
  for (size_t i = 0; i < p.imports.size(); ++i) {
    const PackageImport& imp = p.imports[i];
    out.nodes_.push_back({keep(imp.object_name), imp.outer < 0 ? -imp.outer - 1 : -1});
    const int32_t top = chains.top[i];
    if (top < 0 || dep_of[top] < 0 || chains.depth[i] > kMaxOuterDepth ||
        same_package_name(p.names[imp.class_name], "Package"))
      continue;
    out.items_.push_back({static_cast<uint32_t>(i), keep(imp.class_package), keep(imp.class_name)});
  }
  return out;
}

ObjectList exported_objects(const Package& p, const std::string& own_name) {
  ObjectList out;
  const size_t n = p.exports.size();
  const Chains chains = export_chains(p);
  // The names of the table, then those the exports' classes and paths add.
  out.names_ = p.names;
  const uint32_t own = static_cast<uint32_t>(out.names_.size()), core = own + 1, cls = own + 2, none = own + 3;
  for (const char* s : {"", "Core", "Class", ""}) out.names_.push_back(s);
  out.names_[own] = own_name;
  // A node for each export, then one for the package itself, where every path starts.
  out.nodes_.reserve(n + 1);
  for (const PackageExport& e : p.exports)
    out.nodes_.push_back({e.object_name, e.outer > 0 ? e.outer - 1 : static_cast<int32_t>(n)});
  out.nodes_.push_back({own, -1});
  for (size_t i = 0; i < n; ++i) {
    if (chains.top[i] < 0 || chains.depth[i] > kMaxOuterDepth) continue;
    const PackageExport& e = p.exports[i];
    ObjectList::Item item{static_cast<uint32_t>(i), core, cls};
    if (e.class_ref < 0) {
      const PackageImport& c = p.imports[-e.class_ref - 1];
      item.class_name = c.object_name;
      item.class_package = c.outer < 0 ? p.imports[-c.outer - 1].object_name : none;
    } else if (e.class_ref > 0) {
      const bool known = static_cast<size_t>(e.class_ref) <= n;
      item.class_name = known ? p.exports[e.class_ref - 1].object_name : none;
      item.class_package = known ? own : none;
    }
    out.items_.push_back(item);
  }
  return out;
}

std::string object_text(const ObjectName& o) {
  std::string s = o.class_name + " ";
  for (size_t i = 0; i < o.path.size(); ++i) s += (i ? "." : "") + o.path[i];
  return s;
}

bool same_object(const ObjectName& a, const ObjectName& b) {
  if (a.path.size() != b.path.size() || !same_package_name(a.class_name, b.class_name) ||
      !same_package_name(a.class_package, b.class_package))
    return false;
  for (size_t i = 0; i < a.path.size(); ++i)
    if (!same_package_name(a.path[i], b.path[i])) return false;
  return true;
}

unsigned kind_of_extension(const std::string& file_name) {
  static const struct {
    const char* ext;
    unsigned kind;
  } kExtensions[] = {{".utx", kTexturePackage}, {".uax", kSoundPackage}, {".umx", kMusicPackage}, {".u", kCodePackage}};
  const std::string lower = ascii_lower(file_name);
  for (const auto& k : kExtensions) {
    const size_t n = std::char_traits<char>::length(k.ext);
    if (lower.size() > n && lower.compare(lower.size() - n, n, k.ext) == 0) return k.kind;
  }
  return 0;
}

std::string kind_text(unsigned kinds) {
  // Only code packages hold classes, and they often carry textures and sounds too.
  if (kinds & kCodePackage) return "code package (.u)";
  static const struct {
    unsigned kind;
    const char *word, *ext;
  } kKinds[] = {{kTexturePackage, "texture", ".utx"}, {kSoundPackage, "sound", ".uax"}, {kMusicPackage, "music", ".umx"}};
  std::vector<const char*> words, exts;
  for (const auto& k : kKinds)
    if (kinds & k.kind) {
      words.push_back(k.word);
      exts.push_back(k.ext);
    }
  if (words.empty()) return "package";
  auto join = [](const std::vector<const char*>& parts, const char* last) {
    std::string s = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) s += (i + 1 == parts.size() ? last : ", ") + std::string(parts[i]);
    return s;
  };
  return join(words, " and ") + " package (" + join(exts, " or ") + ")";
}

}  // namespace orvane
