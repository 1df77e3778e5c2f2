// The recycling store: constraints numbered by position, each held until
// its last use is released, in one arena of 32-bit words whose freed
// blocks are used again. A block holds a header word (the literal count)
// and the literal codes, rounded up to one of four sizes per power of two;
// freed blocks wait on one list per size, linked through their header
// words, so releasing and storing allocate nothing once the arena has
// grown to the live constraints' peak (a quarter more than their words,
// and the blocks left free where the sizes shift).
#ifndef ZEL_STORE_RECYCLING_STORE_HPP
#define ZEL_STORE_RECYCLING_STORE_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"

class RecyclingStore {
 public:
  // Positions number from `first_position` on (those before are the
  // caller's).
  explicit RecyclingStore(uint32_t first_position) : first_position_(first_position) {}

  // Position of the next constraint stored.
  uint32_t end_position() const { return first_position_ + static_cast<uint32_t>(blocks_.size()); }

  // Stores the literals; returns their position.
  uint32_t push(const Literal* literals, size_t count);
  // Replaces `out` by the literals at `position`, which must be held.
  void read_literals(uint32_t position, std::vector<Literal>& out) const;
  // Gives the space of `position` back; it must be held, and is not
  // afterwards.
  void release(uint32_t position);
  bool held(uint32_t position) const;

  uint64_t literals() const { return literals_; }  // literals ever stored
  uint64_t words() const { return arena_.size(); }  // words the arena has grown to
  uint64_t bytes() const {
    return arena_.capacity() * sizeof(uint32_t) + blocks_.capacity() * sizeof(uint32_t);
  }

 private:
  static constexpr uint32_t kReleased = ~0u;  // blocks_ entry of a released position
  static constexpr unsigned kClasses = 256;   // block sizes (size_class) up to 2^64 words
  static unsigned size_class(uint64_t words);      // the smallest class that holds `words`
  static uint64_t class_words(unsigned size_class);  // the words of its blocks

  const uint32_t first_position_;      // position of blocks_[0]
  PodVector<uint32_t> arena_;          // the blocks, in words
  PodVector<uint32_t> blocks_;         // position - first_position_ -> its block's offset, or kReleased
  uint32_t free_[kClasses];            // size class -> first free block, or kReleased
  bool free_ready_ = false;            // free_ is set up
  uint64_t literals_ = 0;              // literals ever stored
};

#endif
