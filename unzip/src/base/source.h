// Where readers take their bytes from and where decoded data goes: a file,
// or bytes in memory for tests and the fuzzers. No file-system code here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace orvane {

class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  // Positional read of exactly n bytes; must be safe to call from several threads.
  virtual bool read_at(uint64_t offset, void* dst, size_t n) = 0;
};

class MemorySource : public Source {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    if (offset > size_ || n > size_ - offset) return false;
    if (n) std::memcpy(dst, data_ + offset, n);
    return true;
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

// Serves small reads from two windows of another Source, each filled by one large
// read: a package's tables, read in many small pieces, lie in a region at the start
// and another at the end, and a read of a file is a call into the system (under Wine a
// round trip to its server as well). Reads of a window's size or more go straight
// through, and so does any read that its window could not take.
class WindowedSource : public Source {
 public:
  // The windows' memory; a caller that reads many files in turn keeps one and so
  // allocates it once (under Wine large blocks are slow to allocate).
  struct Storage {
    std::vector<unsigned char> bytes[2];
  };
  explicit WindowedSource(Source& inner, Storage* keep = nullptr, size_t window = 64 * 1024)
      : inner_(inner), storage_(keep ? *keep : own_), window_(window) {}
  uint64_t size() const override { return inner_.size(); }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    const uint64_t size = inner_.size();
    if (n == 0 || n >= window_ || offset > size || n > size - offset) return inner_.read_at(offset, dst, n);
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < 2; ++i) {
      if (offset >= at_[i] && offset - at_[i] <= len_[i] && n <= len_[i] - (offset - at_[i])) {
        std::memcpy(dst, storage_.bytes[i].data() + (offset - at_[i]), n);
        last_ = i;
        return true;
      }
    }
    // The tables are read front to back: the window starts at the read and replaces
    // the one used longer ago.
    const int i = last_ ^= 1;
    std::vector<unsigned char>& bytes = storage_.bytes[i];
    const size_t len = static_cast<size_t>(std::min<uint64_t>(window_, size - offset));
    if (bytes.size() < len) bytes.resize(len);
    len_[i] = 0;
    if (!inner_.read_at(offset, bytes.data(), len)) return inner_.read_at(offset, dst, n);
    at_[i] = offset;
    len_[i] = len;
    std::memcpy(dst, bytes.data(), n);
    return true;
  }

 private:
  Source& inner_;
  Storage own_;
  Storage& storage_;
  const size_t window_;
  std::mutex mutex_;
  uint64_t at_[2] = {0, 0};
  size_t len_[2] = {0, 0};  // 0: nothing read into it yet
  int last_ = 0;
};

class Sink {
 public:
  virtual ~Sink() = default;
  // Returns false and sets error() when the bytes could not be stored.
  virtual bool write(const unsigned char* data, size_t n) = 0;
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

}  // namespace orvane
