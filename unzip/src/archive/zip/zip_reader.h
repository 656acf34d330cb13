// Reads a ZIP archive's central directory and decodes entry data. Works on
// any Source (a file, or bytes in memory for tests and the fuzzer) and writes
// into any Sink, so it holds no file-system code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "base/source.h"

namespace orvane {

struct ZipEntry {
  std::string raw_name;   // bytes as stored
  std::string name;       // UTF-8; empty when it could not be decoded
  std::string name_error; // why the name could not be decoded
  uint16_t made_by = 0, flags = 0, method = 0, dos_time = 0, dos_date = 0;
  uint32_t crc = 0, external_attr = 0, disk = 0;
  uint64_t csize = 0, usize = 0, local_offset = 0;
  bool has_unix_mtime = false;
  int64_t unix_mtime = 0;
  bool has_old_unix_mtime = false;  // from the older Info-ZIP Unix field (0x5855)
  int64_t old_unix_mtime = 0;

  bool is_directory() const;
  bool is_symlink() const;
};

struct ZipArchive {
  std::vector<ZipEntry> entries;
  std::string comment;
  std::vector<std::string> warnings;  // recovered damage, for the user to know
  Failure failure = Failure::Damaged;  // why read_archive failed
};

// Returns an empty string on success, otherwise why the archive is unusable.
std::string read_archive(Source& src, ZipArchive& out);

// Name of a compression method for messages ("deflate64", "bzip2", ...).
std::string method_name(uint16_t method);

// Empty when the entry can be decoded, otherwise the reason it cannot.
std::string unsupported_reason(const ZipEntry& e);

// A ZIP's offer: certain when an end record, comment and all, ends the file; otherwise a
// last resort, whose open() says what is wrong.
Bid zip_bid(Source& src);

// The ZIP reader as an archive reader of the run (random access); it owns src.
std::unique_ptr<ArchiveReader> open_zip(std::unique_ptr<Source> src, std::string& err, Failure* kind = nullptr);

// Decodes the entry into sink, checking the declared size and the CRC-32.
// Never hands the sink more than e.usize bytes. Returns an empty string on
// success, otherwise the reason (sink failures carry the sink's message).
std::string extract_data(Source& src, const ZipEntry& e, Sink& sink);

}  // namespace orvane
