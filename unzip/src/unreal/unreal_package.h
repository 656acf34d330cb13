// Reads an Unreal package (.unr .u .utx .uax .umx: one container format) far
// enough to tell which other packages it needs and what it holds: the header,
// the name table, the import table and, when asked, the export table. Works on
// any Source, so it holds no file-system code.
//
// Safe on any bytes: each table is read once, front to back; a claimed count
// is trusted only as far as the bytes left could hold it; names are at most
// kMaxPackageNameLength bytes; indices, references and outer chains are
// checked (an outer chain may neither loop nor run deeper than
// kMaxOuterDepth), so damage is reported and never loops or allocates beyond a
// small multiple of the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/source.h"

namespace orvane {

const uint32_t kPackageTag = 0x9E2A83C1;
const uint16_t kOldestPackageVersion = 60, kNewestPackageVersion = 69;
const size_t kMaxPackageNameLength = 1024;  // the game's names are short; this is generous
// The game's packages nest groups a few levels deep; 64 leaves any hand-made one room
// while one object's path stays short enough to build each time it is looked at.
const size_t kMaxOuterDepth = 64;

// An object of another package that this one uses. The names are indices into
// Package::names, checked by read_package; outer is an object reference:
// below 0 import -outer-1, 0 none (a package of its own), above 0 export outer-1.
struct PackageImport {
  uint32_t class_package = 0, class_name = 0, object_name = 0;
  int32_t outer = 0;
};

// An object of this package. class_ref: 0 a class object, below 0 import
// -class_ref-1, above 0 export class_ref-1; outer: 0 top level, k+1 export k
// (a group). All checked by read_package.
struct PackageExport {
  int32_t class_ref = 0, outer = 0;
  uint32_t object_name = 0;
};

struct Package {
  uint16_t version = 0, licensee = 0;
  uint32_t flags = 0;
  std::string guid;  // 16 bytes from version 68 on, empty before
  uint32_t export_count = 0;
  std::vector<std::string> names;  // bytes as stored, without the NUL
  std::vector<PackageImport> imports;
  std::vector<PackageExport> exports;  // only when read_package is asked for them
};

// What keeps the game from loading a file, for callers that decide by it.
enum class PackageDamage {
  kNone,
  kNotPackage,  // no package tag
  kEmpty,       // no bytes at all (the game crashes on one)
  kPastEnd,     // the header, a table or an export's data runs past the end of the file: cut short
  kUnreadable,  // the system would not give its bytes
  kVersion,     // a version the game does not read
  kTables,      // the tables contradict themselves
};

// Reads the header, the name table and the import table. Empty on success,
// otherwise why the file is not a package the game can load (and, in damage,
// its kind); `out` then holds what came before the damage. Never throws on bad
// input (only std::bad_alloc when memory runs out).
// With exports, the export table too (it may lie anywhere, often at the end),
// and where each export's data lies, which must be within the file.
std::string read_package(Source& src, Package& out, bool with_exports = false, PackageDamage* damage = nullptr);
// The same for a file, or any Source whose every read is a call into the system: its
// tables are read through a few large windows (WindowedSource), not in hundreds of
// small pieces.
std::string read_package_file(Source& file, Package& out, bool with_exports = false,
                              PackageDamage* damage = nullptr);

enum PackageKind : unsigned {
  kTexturePackage = 1,
  kSoundPackage = 2,
  kMusicPackage = 4,
  kCodePackage = 8,
};

struct Dependency {
  std::string name;    // as the first import of it spells it
  unsigned kinds = 0;  // PackageKind bits, from the classes of the objects used from it
};

// The packages this one needs: its top-level imports of class Package, in the
// order of their first import, once each (names compared ignoring ASCII case,
// enough for package names, which are ASCII).
// own_name (the file's name without extension, as the game names packages)
// and MyLevel, a map's own objects, are this package itself and left out.
std::vector<Dependency> dependencies(const Package& p, const std::string& own_name);

// An object as the game's linker finds it: by its class (name and package) and
// its path, the package first, then each group, then the object's own name.
struct ObjectName {
  std::string class_package, class_name;
  std::vector<std::string> path;
};

// A package's objects, each kept as its name, class and the object it lies in,
// so that the list costs a few words per object however its groups nest, and
// the names once. An object's ObjectName is built when it is looked at, in as
// many steps as it lies deep (at most kMaxOuterDepth).
class ObjectList {
 public:
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  ObjectName operator[](size_t i) const;
  // The last part of object i's path, its own name, without building the path.
  const std::string& name(size_t i) const { return names_[nodes_[items_[i].node].name]; }
  // same_object((*this)[i], o), without building the path.
  bool same(size_t i, const ObjectName& o) const;

  class Iterator {
   public:
    Iterator(const ObjectList& list, size_t at) : list_(&list), at_(at) {}
    ObjectName operator*() const { return (*list_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const Iterator& o) const { return at_ != o.at_; }

   private:
    const ObjectList* list_;
    size_t at_;
  };
  Iterator begin() const { return Iterator(*this, 0); }
  Iterator end() const { return Iterator(*this, items_.size()); }

 private:
  friend ObjectList imported_objects(const Package& p, const std::string& own_name);
  friend ObjectList exported_objects(const Package& p, const std::string& own_name);
  struct Node {
    uint32_t name;  // index into names_
    int32_t outer;  // the node it lies in, or -1: the path starts here
  };
  struct Item {
    uint32_t node, class_package, class_name;
  };
  std::vector<std::string> names_;
  std::vector<Node> nodes_;
  std::vector<Item> items_;
};

// The objects this package takes from the packages dependencies() names: each
// import that is no package or group, in import order.
ObjectList imported_objects(const Package& p, const std::string& own_name);

// The objects read_package found in the export table, with own_name as the
// first part of each path. An export whose outers loop or run deeper than
// kMaxOuterDepth is left out (read_package calls that damage).
ObjectList exported_objects(const Package& p, const std::string& own_name);

// How the game writes an object: "Texture Render.Ground.Slate".
std::string object_text(const ObjectName& o);

// True when a and b name the same object, ignoring ASCII case.
bool same_object(const ObjectName& a, const ObjectName& b);

// What to call a package of these kinds: "texture package (.utx)", "code
// package (.u)", "texture and sound package (.utx or .uax)", "package".
std::string kind_text(unsigned kinds);

// True when a and b are equal ignoring ASCII case, as the game compares names.
bool same_package_name(const std::string& a, const std::string& b);
bool same_package_name(const std::string& a, const char* b);  // without making a string of b

// The kind that a package file's extension stands for (.utx a texture package), else 0.
unsigned kind_of_extension(const std::string& file_name);

}  // namespace orvane
