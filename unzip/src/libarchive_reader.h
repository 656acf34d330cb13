// 7z and RAR (4 and 5) through libarchive: the entries listed at open, their data
// decoded in archive order, in one pass, as solid archives need.
#pragma once

#include <memory>
#include <string>

#include "archive_reader.h"

namespace orvane {

// Opens a 7z or RAR archive (the caller has already recognised the format by its bytes).
// The reader owns src. On failure returns nullptr and sets err to a plain-words reason.
std::unique_ptr<ArchiveReader> open_libarchive(std::unique_ptr<Source> src, std::string& err, Failure* kind = nullptr);

}  // namespace orvane
