// Reading the little-endian numbers of the archive and package formats.
#pragma once

#include <cstdint>

namespace orvane {

inline uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t le64(const unsigned char* p) { return le32(p) | (static_cast<uint64_t>(le32(p + 4)) << 32); }

enum class Compact {
  kOk,
  kEnd,       // next() gave no byte: the caller knows why (end of data, read failure)
  kTooLong,   // a fifth byte still says more follow
  kTooLarge,  // the magnitude is above the caller's limit
};

// Unreal's compact index: the first byte holds the sign (0x80), a
// continuation bit (0x40) and 6 value bits; each further byte a continuation
// bit (0x80) and 7 more bits, least significant first; five bytes at most, so
// a magnitude of up to 34 bits. next(unsigned char&) gives the following byte
// or false. A magnitude above max_magnitude is damage rather than a number.
template <class NextByte>
Compact read_compact_index(NextByte&& next, uint64_t max_magnitude, int64_t& value) {
  unsigned char b;
  if (!next(b)) return Compact::kEnd;
  const bool negative = (b & 0x80) != 0;
  bool more = (b & 0x40) != 0;
  uint64_t magnitude = b & 0x3F;
  for (int n = 1, shift = 6; more; ++n, shift += 7) {
    if (n == 5) return Compact::kTooLong;
    if (!next(b)) return Compact::kEnd;
    magnitude |= static_cast<uint64_t>(b & 0x7F) << shift;
    more = (b & 0x80) != 0;
  }
  if (magnitude > max_magnitude) return Compact::kTooLarge;
  value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return Compact::kOk;
}

}  // namespace orvane
