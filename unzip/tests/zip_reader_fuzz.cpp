// libFuzzer target: the archive reader, the decoder and the name rules on
// arbitrary bytes. Output goes to a sink that stops early, so a declared
// size of gigabytes costs nothing.
#include <cstddef>
#include <cstdint>

#include "archive/zip/zip_reader.h"
#include "base/names.h"

namespace {

class CappedSink : public orvane::Sink {
 public:
  bool write(const unsigned char*, size_t n) override {
    total_ += n;
    if (total_ > (8u << 20)) {
      error_ = "cap";
      return false;
    }
    return true;
  }

 private:
  size_t total_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvane::MemorySource src(data, size);
  orvane::ZipArchive archive;
  if (!orvane::read_archive(src, archive).empty()) return 0;
  size_t n = 0;
  for (const orvane::ZipEntry& e : archive.entries) {
    if (n++ == 64) break;
    if (!e.name.empty()) {
      orvane::check_entry_name(e.name);
      orvane::pattern_matches("*.u?r", e.name);
      orvane::fold_case(e.name);
    }
    CappedSink sink;
    orvane::extract_data(src, e, sink);
  }
  return 0;
}
