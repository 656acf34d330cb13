#include "formats.h"

#include "umod_reader.h"
#include "zip_reader.h"

namespace orvane {

std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err) {
  // A umod's trailer is exact, where a ZIP's end record is searched for
  // backwards, and a umod may well hold a zip among its files: umod first.
  if (looks_like_umod(*src)) return open_umod(std::move(src), err);
  std::unique_ptr<ArchiveReader> zip = open_zip(std::move(src), err);
  if (!zip && err.rfind("not a ZIP archive", 0) == 0)
    err = "not an archive Pkzip25 can unpack (neither ZIP, 7z, RAR nor UMOD)";
  return zip;
}

}  // namespace orvane
