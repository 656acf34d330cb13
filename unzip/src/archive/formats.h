// Recognising an archive's format by its bytes, never by its name: the
// staged Map.ZIP holds whatever the player picked.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_reader.h"

namespace orvane {

// Opens src as ZIP, 7z, RAR or UMOD, whichever its bytes say; the reader owns
// src. nullptr and the reason, in plain words, when it is none of them or
// cannot be read.
std::unique_ptr<ArchiveReader> open_reader(std::unique_ptr<Source> src, std::string& err, Failure& kind);

}  // namespace orvane
