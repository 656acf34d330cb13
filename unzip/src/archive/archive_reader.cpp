#include "archive/archive_reader.h"

namespace orvane {

std::string ArchiveReader::extract(size_t, Sink&) { return "this archive decodes only in order"; }

std::string ArchiveReader::extract_in_order(const std::function<Sink*(size_t)>& sink_for,
                                            const std::function<void(size_t, const std::string&)>& done) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (Sink* sink = sink_for(i)) done(i, extract(i, *sink));
  return std::string();
}

}  // namespace orvane
