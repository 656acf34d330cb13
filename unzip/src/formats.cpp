#include "formats.h"

#include <cstring>

#include "libarchive_reader.h"
#include "umod_reader.h"
#include "zip_reader.h"

namespace orvane {

std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err) {
  // 7z and RAR 4/5 by their signatures at the start.
  unsigned char head[7] = {};
  if (src->size() >= sizeof head && src->read_at(0, head, sizeof head) &&
      (std::memcmp(head, "7z\xBC\xAF\x27\x1C", 6) == 0 || std::memcmp(head, "Rar!\x1A\x07", 6) == 0))
    return open_libarchive(std::move(src), err);
  // A umod's trailer is exact, where a ZIP's end record is searched for
  // backwards, and a umod may well hold a zip among its files: umod first.
  if (looks_like_umod(*src)) return open_umod(std::move(src), err);
  std::unique_ptr<ArchiveReader> zip = open_zip(std::move(src), err);
  if (!zip && err.rfind("not a ZIP archive", 0) == 0)
    err = "not an archive Pkzip25 can unpack (neither ZIP, 7z, RAR nor UMOD)";
  return zip;
}

}  // namespace orvane
