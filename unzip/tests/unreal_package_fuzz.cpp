// libFuzzer target: the package reader, the dependency walk and the objects a
// package takes and holds, on arbitrary bytes. A hang, a crash or a large
// allocation here is a bug.
#include <cstddef>
#include <cstdint>

#include "unreal/unreal_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvane::MemorySource src(data, size);
  orvane::Package p;
  if (!orvane::read_package(src, p).empty()) return 0;
  for (const orvane::Dependency& d : orvane::dependencies(p, "CTF-Fuzz")) orvane::kind_text(d.kinds);
  for (const orvane::ObjectName& o : orvane::imported_objects(p, "CTF-Fuzz")) orvane::object_text(o);
  if (!orvane::read_package(src, p, true).empty()) return 0;
  for (const orvane::ObjectName& o : orvane::exported_objects(p, "CTF-Fuzz")) orvane::object_text(o);
  return 0;
}
