// libFuzzer target: the 7z and RAR reader (our byte checks and libarchive under them) and
// the name rules on arbitrary bytes. Output goes to a sink that stops early, so a declared
// size of gigabytes costs nothing.
#include <cstddef>
#include <cstdint>

#include "libarchive_reader.h"
#include "names.h"

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
  CappedSink sink;
  reader->extract_in_order([&](size_t i) { return i < 64 ? &sink : nullptr; },
                           [](size_t, const std::string&) {});
  return 0;
}
