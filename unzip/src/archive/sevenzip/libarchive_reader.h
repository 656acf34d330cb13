// 7z and RAR (4 and 5) through libarchive: the entries listed at open, their data
// decoded in archive order, in one pass, as solid archives need.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_reader.h"

namespace orvane {

// A 7z's or RAR's offer: its signature at the start.
Bid libarchive_bid(Source& src);

// Opens a 7z or RAR archive.
// The reader owns src. On failure returns nullptr and sets err to a plain-words reason.
std::unique_ptr<ArchiveReader> open_libarchive(std::unique_ptr<Source> src, std::string& err, Failure* kind = nullptr);

}  // namespace orvane
