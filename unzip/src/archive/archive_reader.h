// What every archive reader (ZIP, 7z, RAR, UMOD) hands to the extractor: the
// entries in archive order, and their data decoded into a Sink. Planning,
// the name rules, the space check and writing are the same for every format.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/source.h"

namespace orvane {

struct Entry {
  std::string raw_name;    // the name as best it can be shown (UTF-8), for when name is empty
  std::string name;        // UTF-8, '/' and '\' both separate; empty when it could not be decoded
  std::string name_error;  // why the name could not be decoded
  bool directory = false;
  bool link = false;       // a symbolic or hard link; never created
  uint64_t size = 0;       // the decoded size, as the archive declares it
  bool has_crc = false;    // the archive stores a CRC-32 of the data
  uint32_t crc = 0;
  bool has_unix_mtime = false;
  int64_t unix_mtime = 0;              // seconds since 1970, UTC
  uint16_t dos_date = 0, dos_time = 0; // local time, used when has_unix_mtime is false
  std::string unsupported; // empty when the data can be decoded, otherwise why not
  Failure unsupported_kind = Failure::Method;
  uint32_t flags = 0;      // the format's own per-file flags (UMOD)
};

enum class Format { Zip, SevenZip, Rar, Umod };

// "ZIP", "7z", "RAR", "UMOD", for messages.
inline const char* format_name(Format f) {
  switch (f) {
    case Format::Zip: return "ZIP";
    case Format::SevenZip: return "7z";
    case Format::Rar: return "RAR";
    case Format::Umod: return "UMOD";
  }
  return "?";
}

// A reader's offer to read a file, made from a few of its bytes: the strongest offer opens
// it. Two offers of kCertain or more mean one archive hides inside another.
struct Bid {
  enum Strength { kNone, kFallback, kInside, kCertain, kTrailer, kSignature };
  Strength strength = kNone;
  Format format = Format::Zip;
};

class ArchiveReader {
 public:
  virtual ~ArchiveReader() = default;
  virtual Format format() const = 0;
  const std::vector<Entry>& entries() const { return entries_; }
  // Damage the reader recovered from, for the user to know.
  const std::vector<std::string>& warnings() const { return warnings_; }

  // True when entries decode independently: extract() may then be called for
  // any entry, from several threads at once.
  virtual bool random_access() const = 0;
  // Random access only: decodes entry i into sink, checking its declared size
  // (never handing the sink more) and its CRC-32 where stored. Returns an
  // empty string on success, otherwise the reason (a sink's failure carries
  // the sink's message).
  virtual std::string extract(size_t i, Sink& sink);
  // Every reader: decodes the entries in archive order, in one pass, as solid
  // 7z and RAR archives need. sink_for(i) is asked once for each entry, in
  // order, and returns where its data goes, or nullptr to pass it over;
  // done(i, why) follows each entry that got a sink (why as for extract()).
  // Returns an empty string, or why the pass could not go on; entries not
  // reached then get no call at all.
  virtual std::string extract_in_order(const std::function<Sink*(size_t)>& sink_for,
                                       const std::function<void(size_t, const std::string&)>& done);

 protected:
  std::vector<Entry> entries_;
  std::vector<std::string> warnings_;
};

}  // namespace orvane
