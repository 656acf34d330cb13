// libFuzzer target: the UMOD reader, its extraction, the name rules and the
// manifest's requests on arbitrary bytes. Files never overlap, so extracting
// every entry reads at most the input once; the sink still stops early.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/umod/umod_reader.h"
#include "base/names.h"

namespace {

class CappedSink : public orvane::Sink {
 public:
  bool write(const unsigned char* data, size_t n) override {
    if (kept_.size() + n > (8u << 20)) {
      error_ = "cap";
      return false;
    }
    kept_.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string kept_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvane::manifest_requests(std::string(reinterpret_cast<const char*>(data), size));
  orvane::MemorySource probe(data, size);
  orvane::umod_bid(probe);
  std::string err;
  auto reader = orvane::open_umod(std::unique_ptr<orvane::Source>(new orvane::MemorySource(data, size)), err);
  if (!reader) return 0;
  for (size_t i = 0; i < reader->entries().size(); ++i) {
    const orvane::Entry& e = reader->entries()[i];
    if (!e.name.empty()) orvane::check_entry_name(e.name);
    CappedSink sink;
    std::string why = reader->extract(i, sink);
    if (why.empty() && sink.kept_.size() != e.size) __builtin_trap();
    if (orvane::is_umod_manifest(e)) orvane::manifest_requests(sink.kept_);
  }
  return 0;
}
