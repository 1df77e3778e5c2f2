// Appending and reading packed records.

#include "store/packed_store.hpp"

// The record is written into room for its longest form, then the arena is
// cut to what it took: one size test per record, not per byte.
void PackedStore::push(const Literal* literals, size_t count, const uint32_t* antecedents,
                       size_t antecedent_count) {
  const uint32_t position = end_position();
  const size_t start = arena_.size();
  starts_.push_back(start);
  arena_.resize(start + (count + antecedent_count + 2) * kLongestVarint);
  uint8_t* at = put_varint(arena_.data() + start, antecedent_count);
  for (size_t i = 0; i < antecedent_count; ++i) {
    assert(antecedents[i] < position);
    at = put_varint(at, position - antecedents[i]);
  }
  at = put_varint(at, count);
  for (size_t i = 0; i < count; ++i) at = put_varint(at, literals[i].code);
  arena_.resize(static_cast<size_t>(at - arena_.data()));
  literals_ += count;
}

void PackedStore::read_literals(uint32_t position, std::vector<Literal>& out) const {
  const uint8_t* at = record(position);
  for (uint64_t antecedents = next(at); antecedents > 0; --antecedents) next(at);
  const uint64_t count = next(at);
  out.resize(count);
  for (uint64_t i = 0; i < count; ++i) out[i].code = static_cast<uint32_t>(next(at));
}
