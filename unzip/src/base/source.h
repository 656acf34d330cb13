// Where readers take their bytes from and where decoded data goes: a file,
// or bytes in memory for tests and the fuzzers. No file-system code here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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
