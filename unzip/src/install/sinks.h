// Where a reader's decoded data goes: a temporary file, a comparison with a file the game
// already has, or nowhere (-test); and the checks that tell a kept file apart.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/source.h"
#include "platform/platform.h"

namespace orvane {

// CRC-32 (zlib's) continued over n more bytes; 0 to start.
uint32_t crc32_of(uint32_t crc, const unsigned char* data, size_t n);

// What a reader decodes goes into a temporary file.
class TempFileSink : public Sink {
 public:
  // head, when given, keeps the start of what is written (a package's header and, in most
  // packages, its name table), so that the package check need not read the disk again.
  TempFileSink(platform::TempFile& f, std::string* head) : file_(f), head_(head) {}
  bool write(const unsigned char* data, size_t n) override;
  uint32_t crc() const { return crc_; }  // CRC-32 of what was written, for the install's record

 private:
  platform::TempFile& file_;
  std::string* head_;
  uint32_t crc_ = 0;
};

// Counts what it is given, so -test checks an entry without writing it.
class NullSink : public Sink {
 public:
  bool write(const unsigned char*, size_t) override { return true; }
};

// A file just written, as the package check reads it: its start from what passed through
// the sink, the rest from the file. Each read of the file costs a trip to the system,
// which under Wine made the check cost 5% of a 600-file install.
class HeadFirstSource : public Source {
 public:
  HeadFirstSource(const std::string& head, Source& file) : head_(head), file_(file) {}
  uint64_t size() const override { return file_.size(); }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    if (offset > head_.size() || n > head_.size() - offset) return file_.read_at(offset, dst, n);
    if (n) std::memcpy(dst, head_.data() + offset, n);
    return true;
  }

 private:
  const std::string& head_;
  Source& file_;
};

// Compares the data with an existing file as it comes, reading that file once:
// how a kept file is told apart where the archive stores no CRC.
class CompareSink : public Sink {
 public:
  explicit CompareSink(std::unique_ptr<Source> file) : file_(std::move(file)) {}
  bool write(const unsigned char* data, size_t n) override {
    crc_ = crc32_of(crc_, data, n);
    while (same_ && n > 0) {
      size_t k = std::min(n, size_t(1) << 20);
      buf_.resize(k);
      same_ = file_->size() - at_ >= k && file_->read_at(at_, buf_.data(), k) &&
              std::equal(buf_.begin(), buf_.end(), data);
      at_ += k;
      data += k;
      n -= k;
    }
    return true;
  }
  bool same() const { return same_ && at_ == file_->size(); }
  uint32_t crc() const { return crc_; }  // CRC-32 of the data given

 private:
  std::unique_ptr<Source> file_;
  std::vector<unsigned char> buf_;
  uint64_t at_ = 0;
  bool same_ = true;
  uint32_t crc_ = 0;
};

// True when the file at path holds exactly what the file `written` holds.
bool same_content(const std::string& path, Source& written);
// True when the file at path has this size and CRC-32.
bool same_crc(const std::string& path, uint64_t size, uint32_t crc);

}  // namespace orvane
