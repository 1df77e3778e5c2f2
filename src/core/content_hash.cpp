// The stream hash (content_hash.hpp): whole stripes go through the four
// lanes, a stripe cut by the end of a piece waits in pending_.

#include "core/content_hash.hpp"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

inline uint64_t rotate_left(uint64_t x, unsigned bits) { return (x << bits) | (x >> (64 - bits)); }

inline uint64_t round_of(uint64_t lane, uint64_t word) {
  lane += word * kPrime2;
  return rotate_left(lane, 31) * kPrime1;
}

inline uint64_t load_word(const unsigned char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);  // byte order of the machine: both readings share it
  return word;
}

}  // namespace

void ContentHash::reset() {
  lanes_[0] = kPrime1 + kPrime2;
  lanes_[1] = kPrime2;
  lanes_[2] = 0;
  lanes_[3] = 0 - kPrime1;
  pending_size_ = 0;
  length_ = 0;
}

void ContentHash::consume(const unsigned char* stripe) {
  for (unsigned lane = 0; lane < 4; ++lane)
    lanes_[lane] = round_of(lanes_[lane], load_word(stripe + 8 * lane));
}

void ContentHash::add(const char* bytes, size_t size) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(bytes);
  length_ += size;
  if (pending_size_ > 0) {
    const size_t taken = size < kStripe - pending_size_ ? size : kStripe - pending_size_;
    std::memcpy(pending_ + pending_size_, at, taken);
    pending_size_ += taken;
    at += taken;
    size -= taken;
    if (pending_size_ < kStripe) return;
    consume(pending_);
    pending_size_ = 0;
  }
  for (; size >= kStripe; at += kStripe, size -= kStripe) consume(at);
  std::memcpy(pending_, at, size);
  pending_size_ = size;
}

uint64_t ContentHash::value() const {
  uint64_t hash = rotate_left(lanes_[0], 1) + rotate_left(lanes_[1], 7) +
                  rotate_left(lanes_[2], 12) + rotate_left(lanes_[3], 18);
  for (unsigned lane = 0; lane < 4; ++lane)
    hash = (hash ^ round_of(0, lanes_[lane])) * kPrime1 + kPrime4;
  hash += length_;
  size_t at = 0;
  for (; at + 8 <= pending_size_; at += 8)
    hash = rotate_left(hash ^ round_of(0, load_word(pending_ + at)), 27) * kPrime1 + kPrime4;
  for (; at < pending_size_; ++at)
    hash = rotate_left(hash ^ (pending_[at] * kPrime5), 11) * kPrime1;
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  return hash ^ (hash >> 32);
}
