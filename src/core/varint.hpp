// Binary numbers of 7 bits a byte, low bits first, the high bit set on
// every byte but the last: how the packed stores keep numbers that are
// mostly small (literal codes, distances back to antecedents, the gaps
// between the offsets of a trace's steps).
#ifndef ZEL_CORE_VARINT_HPP
#define ZEL_CORE_VARINT_HPP

#include <cstddef>
#include <cstdint>

// Bytes of the longest number (64 bits).
constexpr size_t kLongestVarint = 10;

// Writes `value` at `at`; returns the byte after it.
inline uint8_t* put_varint(uint8_t* at, uint64_t value) {
  while (value >= 0x80) {
    *at++ = static_cast<uint8_t>(value | 0x80u);
    value >>= 7;
  }
  *at++ = static_cast<uint8_t>(value);
  return at;
}

// Reads the number at `at` and moves `at` past it.
inline uint64_t next_varint(const uint8_t*& at) {
  uint64_t value = 0;
  for (unsigned shift = 0;; shift += 7) {
    const uint8_t byte = *at++;
    value |= static_cast<uint64_t>(byte & 0x7Fu) << shift;
    if (byte < 0x80) return value;
  }
}

#endif
