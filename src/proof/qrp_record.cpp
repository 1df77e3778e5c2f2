// The record of a checked QRP trace (qrp_record.hpp): appending a stored
// constraint and the sweep that finds the core of a proof.

#include "proof/qrp_record.hpp"

#include <cassert>

uint32_t QrpRecord::append(const std::vector<Literal>& literals, uint8_t kind,
                           const uint32_t* antecedents, size_t antecedent_count) {
  assert(((kind & kDerived) != 0) == (antecedent_count != 0));
  const uint32_t position = end_position();
  if (recycling)
    recycled.push(literals.data(), literals.size());
  else
    stored.push(literals.data(), literals.size(), antecedents, antecedent_count);
  kinds.push_back(kind);
  uint32_t& first_empty = empty_of(rule_of(kind));
  if (literals.empty() && first_empty == kNoPosition) first_empty = position;
  assert(kinds.size() == end_position());
  return position;
}

// Antecedents stand before their steps, so one sweep from the root down
// over the stored antecedent lists marks them all.
std::vector<uint8_t> QrpRecord::core_positions(uint64_t& in_core) const {
  assert(!recycling);
  std::vector<uint8_t> used(root == kNoPosition ? 0 : size_t{root} + 1, 0);
  in_core = 0;
  if (root == kNoPosition) return used;
  used[root] = 1;
  for (uint32_t position = root + 1; position-- > 0;) {
    if (!used[position]) continue;
    ++in_core;
    if (position < input_clauses) continue;
    stored.for_each_antecedent(position, [&](uint32_t antecedent) { used[antecedent] = 1; });
  }
  return used;
}
