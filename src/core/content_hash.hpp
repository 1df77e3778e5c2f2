// A 64-bit hash of a byte stream, fed in pieces of any size: the same bytes
// give the same value however they are cut. The QRP checker reads a trace
// twice and compares the two readings' hashes, so that the second reading
// never validates bytes the first did not read. Four lanes of 8-byte words
// (the round of xxHash64) keep the multiplications independent, so hashing
// costs a small part of reading: it is not meant to resist a chosen change.
#ifndef ZEL_CORE_CONTENT_HASH_HPP
#define ZEL_CORE_CONTENT_HASH_HPP

#include <cstddef>
#include <cstdint>

class ContentHash {
 public:
  ContentHash() { reset(); }
  void reset();
  void add(const char* bytes, size_t size);
  // The hash of all bytes added since the last reset (adding may go on).
  uint64_t value() const;
  uint64_t length() const { return length_; }

 private:
  static constexpr size_t kStripe = 32;  // bytes consumed per round of the four lanes
  void consume(const unsigned char* stripe);

  uint64_t lanes_[4];                  // the running lanes
  unsigned char pending_[kStripe];     // bytes of an unfinished stripe
  size_t pending_size_ = 0;            // how many
  uint64_t length_ = 0;                // bytes added in all
};

#endif
