// Storing, reading and releasing in the recycling store
// (recycling_store.hpp).

#include "store/recycling_store.hpp"

#include <cassert>

#include "core/exception.hpp"

// Four classes per power of two: 1, 2, 3, 4 words, then each range
// (2^b, 2^(b+1)] in quarters, so a block holds at most a quarter more
// words than asked.
unsigned RecyclingStore::size_class(uint64_t words) {
  if (words <= 4) return words == 0 ? 0 : static_cast<unsigned>(words - 1);
  const unsigned bits = 63 - static_cast<unsigned>(__builtin_clzll(words - 1));  // >= 2
  const unsigned quarter = static_cast<unsigned>((words - 1 - (uint64_t{1} << bits)) >> (bits - 2));
  return 4 + 4 * (bits - 2) + quarter;
}

uint64_t RecyclingStore::class_words(unsigned size_class) {
  if (size_class < 4) return size_class + 1;
  const unsigned bits = (size_class - 4) / 4 + 2, quarter = (size_class - 4) % 4;
  return (uint64_t{1} << bits) + (uint64_t{quarter} + 1) * (uint64_t{1} << (bits - 2));
}

uint32_t RecyclingStore::push(const Literal* literals, size_t count) {
  if (!free_ready_) {
    for (uint32_t& first : free_) first = kReleased;
    free_ready_ = true;
  }
  const unsigned size_class = RecyclingStore::size_class(uint64_t{count} + 1);
  assert(size_class < kClasses);
  uint32_t offset = free_[size_class];
  if (offset != kReleased) {
    free_[size_class] = arena_[offset];
  } else {
    const uint64_t words = class_words(size_class);
    // Offsets are 32-bit words: the live constraints may take 16 GB.
    if (arena_.size() + words >= kReleased)
      throw Exception("The constraints held while checking the trace exceed 2^32 words.");
    offset = static_cast<uint32_t>(arena_.size());
    arena_.resize(arena_.size() + words);
  }
  arena_[offset] = static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) arena_[offset + 1 + i] = literals[i].code;
  literals_ += count;
  blocks_.push_back(offset);
  return end_position() - 1;
}

bool RecyclingStore::held(uint32_t position) const {
  return position >= first_position_ && position < end_position() &&
         blocks_[position - first_position_] != kReleased;
}

void RecyclingStore::read_literals(uint32_t position, std::vector<Literal>& out) const {
  assert(held(position));
  const uint32_t offset = blocks_[position - first_position_];
  const uint32_t count = arena_[offset];
  out.resize(count);
  for (uint32_t i = 0; i < count; ++i) out[i].code = arena_[offset + 1 + i];
}

void RecyclingStore::release(uint32_t position) {
  assert(held(position));
  uint32_t& offset = blocks_[position - first_position_];
  const unsigned size_class = RecyclingStore::size_class(uint64_t{arena_[offset]} + 1);
  arena_[offset] = free_[size_class];
  free_[size_class] = offset;
  offset = kReleased;
}
