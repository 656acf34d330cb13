// What libarchive does not tell of a 7z archive, read from the archive's own header
// (7-Zip's 7zFormat.txt): whether it lists anti-items.
#pragma once

#include "base/source.h"

namespace orvane {

// True when the 7z archive in src lists anti-items: the files an update archive (7-Zip's
// -u switch with "!") deletes from the archive it updates. libarchive reads them as damage,
// or as empty files. False when there are none, or the header cannot be read here (libarchive
// then says what is wrong).
bool sevenzip_has_anti_items(Source& src);

}  // namespace orvane
