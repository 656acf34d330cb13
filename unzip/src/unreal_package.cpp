#include "unreal_package.h"

#include <algorithm>
#include <unordered_map>

namespace orvane {

namespace {

const size_t kFixedHeader = 36;        // tag to import offset
const size_t kMinNameBytes = 5;        // an empty name's length byte (or NUL) and its flags
const size_t kMinImportBytes = 7;      // three one-byte compact indices and the outer
const size_t kMinExportBytes = 12;     // class, super, name, serial size one byte each; outer, flags

uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

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
  bool u32(uint32_t& v) {
    unsigned char b[4];
    for (unsigned char& c : b)
      if (!byte(c)) return false;
    v = le32(b);
    return true;
  }
  // The format's signed compact index: sign, continue and 6 value bits, then
  // up to four bytes of a continue bit and 7 value bits. Anything longer, or
  // a value outside 32 bits, is damage rather than a number.
  bool compact(int32_t& v) {
    unsigned char b;
    if (!byte(b)) return false;
    bool negative = (b & 0x80) != 0, more = (b & 0x40) != 0;
    uint64_t magnitude = b & 0x3F;
    for (int n = 1, shift = 6; more; ++n, shift += 7) {
      if (n == 5) return damaged("a compact index runs past five bytes");
      if (!byte(b)) return false;
      magnitude |= static_cast<uint64_t>(b & 0x7F) << shift;
      more = (b & 0x80) != 0;
    }
    if (magnitude > 0x7FFFFFFF) return damaged("a compact index is larger than 32 bits");
    v = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
    return true;
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
std::string cursor_failure(const Cursor& c, const Table& table, size_t entry, const char* next) {
  std::string where = std::string("the ") + table.what + " table";
  switch (c.state()) {
    case Cursor::kIoError:
      return "cannot read the package";
    case Cursor::kDamaged:
      return where + " is damaged at " + table.what + " " + std::to_string(entry) + ": " + c.why();
    default:
      return next ? where + " runs into the " + next + " table"
                  : where + " runs past the end of the file";
  }
}

std::string ascii_lower(std::string s) {
  // Package names are ASCII in practice; the game's own folding of other letters is not needed here.
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

const int32_t kNoRoot = -1;  // the chain ends at an export, leaves the tables, or loops
const int32_t kLoops = -2;
const int32_t kUnknown = -3, kVisiting = -4;

// For each import, the index of the top-level import (outer 0) its outer chain
// ends at, else kNoRoot, or kLoops when the chain comes back to itself. Linear:
// every import is walked once, and chains met again are taken from the table.
std::vector<int32_t> import_roots(const Package& p) {
  const size_t n = p.imports.size();
  std::vector<int32_t> root(n, kUnknown);
  std::vector<size_t> path;
  for (size_t i = 0; i < n; ++i) {
    if (root[i] != kUnknown) continue;
    path.clear();
    size_t j = i;
    int32_t found;
    for (;;) {
      if (root[j] == kVisiting) {
        found = kLoops;
        break;
      }
      if (root[j] != kUnknown) {
        found = root[j];
        break;
      }
      int64_t outer = p.imports[j].outer;
      if (outer == 0) {
        found = static_cast<int32_t>(j);
        break;
      }
      int64_t next = -outer - 1;
      if (outer > 0 || static_cast<uint64_t>(next) >= n) {
        found = kNoRoot;
        break;
      }
      root[j] = kVisiting;
      path.push_back(j);
      j = static_cast<size_t>(next);
    }
    if (root[j] == kUnknown) root[j] = found;
    for (size_t k : path) root[k] = found;
  }
  return root;
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
  std::string lower = ascii_lower(class_name);
  for (const KindOfClass& k : kKindOfClass)
    if (lower == k.class_name) return k.kind;
  return 0;
}

}  // namespace

bool same_package_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ascii_lower(a) == ascii_lower(b);
}

std::string read_package(Source& src, Package& out, bool with_exports) {
  out = Package();
  const uint64_t size = src.size();
  // The fixed part first: what follows it, and so where the header ends, depends on the version.
  unsigned char h[56] = {0};
  size_t have = static_cast<size_t>(std::min<uint64_t>(size, kFixedHeader));
  if (!src.read_at(0, h, have)) return "cannot read the package";
  if (have < 4 || le32(h) != kPackageTag) return "not an Unreal package (no package tag)";
  if (have < kFixedHeader) return "the package header is truncated";

  out.version = static_cast<uint16_t>(h[4] | (h[5] << 8));
  out.licensee = static_cast<uint16_t>(h[6] | (h[7] << 8));
  if (out.version < kOldestPackageVersion || out.version > kNewestPackageVersion)
    return "package version " + std::to_string(out.version) + " is not one the game reads (it reads " +
           std::to_string(kOldestPackageVersion) + " to " + std::to_string(kNewestPackageVersion) + ")";
  out.flags = le32(h + 8);
  Table names{"name", le32(h + 12), le32(h + 16)};
  Table exports{"export", le32(h + 20), le32(h + 24)};
  Table imports{"import", le32(h + 28), le32(h + 32)};

  uint64_t header_end = out.version >= 68 ? 56 : 44;
  have = static_cast<size_t>(std::min<uint64_t>(size, header_end));
  if (!src.read_at(kFixedHeader, h + kFixedHeader, have - kFixedHeader)) return "cannot read the package";
  if (have < header_end) return "the package header is truncated";
  if (out.version >= 68) {
    // The GUID, then a generation count and that many (export count, name count) pairs.
    out.guid.assign(reinterpret_cast<const char*>(h + 36), 16);
    uint64_t generations = le32(h + 52);
    if (generations > (size - 56) / 8) return "the package header is truncated (its generation table)";
    header_end += 8 * generations;
  } else {
    // A heritage table of 16-byte GUIDs, somewhere in the file.
    Table heritage{"heritage", le32(h + 36), le32(h + 40)};
    if (heritage.count && (heritage.offset > size || heritage.count > (size - heritage.offset) / 16))
      return "the heritage table runs past the end of the file";
  }

  // A claimed count is believed only as far as the bytes from the table's
  // offset to the end of the file could hold that many of its smallest entry.
  for (const auto& t : {std::make_pair(names, kMinNameBytes), std::make_pair(imports, kMinImportBytes),
                        std::make_pair(exports, kMinExportBytes)}) {
    const Table& table = t.first;
    if (table.count == 0) continue;
    std::string where = std::string("the ") + table.what + " table";
    if (table.offset < header_end) return where + " overlaps the package header";
    if (table.offset > size) return where + " starts past the end of the file";
    if (table.count > (size - table.offset) / t.second)
      return where + " runs past the end of the file (the header claims " + std::to_string(table.count) + " " +
             table.what + "s)";
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
      if (!nc.compact(len)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr);
      if (len < 0) return "name " + std::to_string(i) + " has a negative length";
      if (static_cast<uint32_t>(len) > kMaxPackageNameLength + 1)
        return "name " + std::to_string(i) + " is longer than " + std::to_string(kMaxPackageNameLength) + " bytes";
      name.reserve(static_cast<size_t>(len));
      for (int32_t k = 0; k < len; ++k) {
        unsigned char c;
        if (!nc.byte(c)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr);
        name += static_cast<char>(c);
      }
      if (len > 0 && name.back() != '\0') return "name " + std::to_string(i) + " does not end in a NUL";
      name.resize(std::min(name.size(), name.find('\0')));
    } else {
      // Before version 64: plain NUL-terminated text.
      for (;;) {
        unsigned char c;
        if (!nc.byte(c)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr);
        if (c == 0) break;
        if (name.size() == kMaxPackageNameLength)
          return "name " + std::to_string(i) + " is longer than " + std::to_string(kMaxPackageNameLength) + " bytes";
        name += static_cast<char>(c);
      }
    }
    uint32_t flags;
    if (!nc.u32(flags)) return cursor_failure(nc, names, i, imports_follow ? "import" : nullptr);
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
      return cursor_failure(ic, imports, i, names_follow ? "name" : nullptr);
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

  std::vector<int32_t> roots = import_roots(out);
  for (size_t i = 0; i < roots.size(); ++i)
    if (roots[i] == kLoops) return "import " + std::to_string(i) + " lies in a chain of imports that loops";
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
      return cursor_failure(ec, exports, i, after);
    const std::string what = "export " + std::to_string(i);
    if (name < 0 || static_cast<uint32_t>(name) >= names.count)
      return what + " refers to name " + std::to_string(name) + ", and there are " + std::to_string(names.count) +
             " names";
    if ((cls < 0 && -static_cast<int64_t>(cls) - 1 >= static_cast<int64_t>(imports.count)) ||
        (cls > 0 && static_cast<uint32_t>(cls) > exports.count))
      return what + " has a class that is in neither table";
    if (outer > exports.count) return what + " lies in export " + std::to_string(outer - 1) + ", and there are " +
                                      std::to_string(exports.count) + " exports";
    out.exports.push_back(PackageExport{cls, static_cast<int32_t>(outer), static_cast<uint32_t>(name)});
  }
  return std::string();
}

std::vector<Dependency> dependencies(const Package& p, const std::string& own_name) {
  std::vector<Dependency> deps;
  auto name_of = [&](uint32_t i) -> const std::string& {
    static const std::string none;
    return i < p.names.size() ? p.names[i] : none;
  };
  // Which dependency each top-level import stands for, by its import index.
  std::vector<int32_t> dep_of(p.imports.size(), -1);
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
  std::vector<int32_t> roots = import_roots(p);
  for (size_t i = 0; i < p.imports.size(); ++i)
    if (roots[i] >= 0 && dep_of[roots[i]] >= 0)
      deps[dep_of[roots[i]]].kinds |= kind_of_class(name_of(p.imports[i].class_name));
  return deps;
}

std::vector<ObjectName> imported_objects(const Package& p, const std::string& own_name) {
  std::vector<ObjectName> out;
  std::vector<int32_t> roots = import_roots(p);
  // Only objects of the packages that dependencies() names: not this one, not MyLevel.
  std::vector<bool> wanted(p.imports.size(), false);
  for (const Dependency& d : dependencies(p, own_name))
    for (size_t i = 0; i < p.imports.size(); ++i)
      if (p.imports[i].outer == 0 && same_package_name(p.names[p.imports[i].object_name], d.name)) wanted[i] = true;
  for (size_t i = 0; i < p.imports.size(); ++i) {
    const PackageImport& imp = p.imports[i];
    if (roots[i] < 0 || !wanted[roots[i]] || same_package_name(p.names[imp.class_name], "Package")) continue;
    ObjectName o{p.names[imp.class_package], p.names[imp.class_name], {}};
    // The chain has no loops (read_package checked), so it ends at its root.
    for (int32_t j = static_cast<int32_t>(i);; j = -p.imports[j].outer - 1) {
      o.path.push_back(p.names[p.imports[j].object_name]);
      if (p.imports[j].outer == 0) break;
    }
    std::reverse(o.path.begin(), o.path.end());
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<ObjectName> exported_objects(const Package& p, const std::string& own_name) {
  std::vector<ObjectName> out;
  const size_t n = p.exports.size();
  out.reserve(n);
  for (const PackageExport& e : p.exports) {
    ObjectName o;
    if (e.class_ref == 0) {
      o.class_package = "Core";
      o.class_name = "Class";
    } else if (e.class_ref < 0) {
      const PackageImport& c = p.imports[-e.class_ref - 1];
      o.class_name = p.names[c.object_name];
      if (c.outer < 0) o.class_package = p.names[p.imports[-c.outer - 1].object_name];
    } else if (static_cast<size_t>(e.class_ref) <= n) {
      o.class_name = p.names[p.exports[e.class_ref - 1].object_name];
      o.class_package = own_name;
    }
    o.path.push_back(p.names[e.object_name]);
    // At most n steps: a longer chain loops.
    size_t steps = 0;
    for (int32_t at = e.outer; at > 0 && steps <= n; at = p.exports[at - 1].outer, ++steps)
      o.path.push_back(p.names[p.exports[at - 1].object_name]);
    if (steps > n) continue;
    o.path.push_back(own_name);
    std::reverse(o.path.begin(), o.path.end());
    out.push_back(std::move(o));
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
