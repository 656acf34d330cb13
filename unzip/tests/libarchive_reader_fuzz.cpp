// libFuzzer target: the 7z and RAR reader (our byte checks and libarchive under them) and
// the name rules on arbitrary bytes. Only entries declared at most 8 MiB get a sink, so a
// declared size of gigabytes costs nothing to write.
#include <cstddef>
#include <cstdint>

#include "archive/sevenzip/libarchive_reader.h"
#include "base/names.h"

namespace {

// Takes everything: the reader itself must stop each entry at its declared size.
class NullSink : public orvane::Sink {
 public:
  bool write(const unsigned char*, size_t) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string err;
  std::unique_ptr<orvane::ArchiveReader> reader =
      orvane::open_libarchive(std::unique_ptr<orvane::Source>(new orvane::MemorySource(data, size)), err);
  if (!reader) return 0;
  for (const orvane::Entry& e : reader->entries()) {
    if (!e.name.empty()) {
      orvane::check_entry_name(e.name);
      orvane::pattern_matches("*.u?r", e.name);
    }
  }
  NullSink sink;
  reader->extract_in_order(
      [&](size_t i) -> orvane::Sink* { return i < 64 && reader->entries()[i].size <= (8u << 20) ? &sink : nullptr; },
      [](size_t, const std::string&) {});
  return 0;
}
