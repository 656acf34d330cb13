#include "install/sinks.h"

#include <zlib.h>

namespace orvane {

namespace {

// How much of a package's start TempFileSink keeps.
constexpr size_t kPackageHead = 64u << 10;

}  // namespace

uint32_t crc32_of(uint32_t crc, const unsigned char* data, size_t n) {
  uLong c = crc;
  // zlib takes at most 4 GB a call.
  for (size_t k; n > 0; data += k, n -= k) {
    k = std::min<size_t>(n, 1u << 30);
    c = crc32(c, data, static_cast<uInt>(k));
  }
  return static_cast<uint32_t>(c);
}

bool TempFileSink::write(const unsigned char* data, size_t n) {
  crc_ = crc32_of(crc_, data, n);
  if (head_ && head_->size() < kPackageHead)
    head_->append(reinterpret_cast<const char*>(data), std::min(n, kPackageHead - head_->size()));
  return file_.write(data, n, error_);
}

bool same_crc(const std::string& path, uint64_t size, uint32_t crc) {
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f || f->size() != size) return false;
  std::vector<unsigned char> buf(1 << 16);
  uLong c = crc32(0L, Z_NULL, 0);
  for (uint64_t at = 0; at < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - at));
    if (!f->read_at(at, buf.data(), n)) return false;
    c = crc32(c, buf.data(), static_cast<uInt>(n));
    at += n;
  }
  return c == crc;
}

bool same_content(const std::string& path, Source& written) {
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f || f->size() != written.size()) return false;
  std::vector<unsigned char> buf(1 << 16);
  CompareSink compare(std::move(f));
  for (uint64_t at = 0; at < written.size();) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), written.size() - at));
    if (!written.read_at(at, buf.data(), n)) return false;
    compare.write(buf.data(), n);
    at += n;
  }
  return compare.same();
}

}  // namespace orvane
