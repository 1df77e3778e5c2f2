// Appending and reading packed records.

#include "store/packed_store.hpp"

void PackedStore::append(uint64_t value) {
  while (value >= 0x80) {
    arena_.push_back(static_cast<uint8_t>(value | 0x80u));
    value >>= 7;
  }
  arena_.push_back(static_cast<uint8_t>(value));
}

void PackedStore::push(const Literal* literals, size_t count, const uint32_t* antecedents,
                       size_t antecedent_count) {
  const uint32_t position = end_position();
  starts_.push_back(arena_.size());
  append(count);
  for (size_t i = 0; i < count; ++i) append(literals[i].code);
  append(antecedent_count);
  for (size_t i = 0; i < antecedent_count; ++i) {
    assert(antecedents[i] < position);
    append(position - antecedents[i]);
  }
  literals_ += count;
}

void PackedStore::read_literals(uint32_t position, std::vector<Literal>& out) const {
  const uint8_t* at = record(position);
  const uint64_t count = next(at);
  out.resize(count);
  for (uint64_t i = 0; i < count; ++i) out[i].code = static_cast<uint32_t>(next(at));
}
