#include "formats.h"

#include "zip_reader.h"

namespace orvane {

std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err) {
  return open_zip(std::move(src), err);
}

}  // namespace orvane
