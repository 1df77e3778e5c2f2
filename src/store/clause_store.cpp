// Appending to the clause arena, and printing clauses.

#include "store/clause_store.hpp"

#include "core/exception.hpp"
#include "core/messages.hpp"

#include <algorithm>
#include <cassert>
#include <new>
#include <sstream>

void ClauseStore::push_header(uint32_t header) {
  const uint32_t position = static_cast<uint32_t>(offsets_.size());
  const uint64_t offset = arena_.size();
  assert(position != ~0u);  // positions are 32-bit
  while ((offset >> 32) > high_starts_.size()) high_starts_.push_back(position);
  offsets_.push_back(static_cast<uint32_t>(offset));
  Literal word;
  word.code = header;
  arena_.push_back(word);
}

void ClauseStore::refuse_long_clause(uint64_t size) {
  throw Exception(message::clause_too_long(size));
}

uint32_t ClauseStore::push(const Literal* literals, uint32_t size) {
  if (size > kLongestClause) refuse_long_clause(size);
  assert(std::none_of(literals, literals + size, [](Literal l) { return l.variable() == 0; }));
  push_header(size);
  arena_.append(literals, size);
  literals_ += size;
  return static_cast<uint32_t>(offsets_.size() - 1);
}

uint32_t ClauseStore::push_compact(ClauseView literals) {
  uint32_t all = 0;
  for (const Literal& literal : literals) all |= literal.code;
  const uint32_t size = literals.size;
  if (all > 0xFFFFu || size > kLongestNarrow) return push(literals.literals, size);
  assert(std::none_of(literals.begin(), literals.end(), [](Literal l) { return l.variable() == 0; }));
  // Codes of 8 bits four to a word, of 16 bits two, the first in the low bits.
  const uint32_t bits = all <= 0xFFu ? 8 : 16, per_word = 32 / bits;
  push_header(size | kNarrow | (bits == 8 ? kBytes : 0u));
  for (uint32_t i = 0; i < size; i += per_word) {
    Literal word;
    word.code = 0;
    for (uint32_t k = 0; k < per_word && i + k < size; ++k)
      word.code |= literals[i + k].code << (bits * k);
    arena_.push_back(word);
  }
  literals_ += size;
  return static_cast<uint32_t>(offsets_.size() - 1);
}

ClauseView ClauseStore::read(uint32_t position, PodVector<Literal>& buffer) const {
  const Literal* header = arena_.data() + offset(position);
  if (!(header->code & kNarrow)) return ClauseView{header + 1, header->code};
  const uint32_t size = header->code & kLongestNarrow;
  const size_t start = buffer.size();
  if (start == 0) buffer.reserve(size);
  assert(buffer.capacity() >= start + size);  // views into buffer stay valid
  buffer.resize(start + size);
  Literal* out = buffer.data() + start;
  const Literal* words = header + 1;
  if (header->code & kBytes) {
    for (uint32_t i = 0; i + 3 < size; i += 4) {
      const uint32_t word = words[i / 4].code;
      out[i].code = word & 0xFFu;
      out[i + 1].code = (word >> 8) & 0xFFu;
      out[i + 2].code = (word >> 16) & 0xFFu;
      out[i + 3].code = word >> 24;
    }
    for (uint32_t i = size & ~3u; i < size; ++i)
      out[i].code = (words[i / 4].code >> (8 * (i % 4))) & 0xFFu;
    return ClauseView{out, size};
  }
  for (uint32_t i = 0; i + 1 < size; i += 2) {
    const uint32_t pair = words[i / 2].code;
    out[i].code = pair & 0xFFFFu;
    out[i + 1].code = pair >> 16;
  }
  if (size & 1u) out[size - 1].code = words[size / 2].code;
  return ClauseView{out, size};
}

uint32_t ClauseStore::stored_words(uint32_t position) const {
  const uint32_t header = arena_[offset(position)].code;
  if (!(header & kNarrow)) return header;
  const uint32_t size = header & kLongestNarrow;
  return header & kBytes ? (size + 3) / 4 : (size + 1) / 2;
}

std::vector<Literal> ClauseStore::copy(uint32_t position) const {
  PodVector<Literal> buffer;
  buffer.reserve(narrow_size(position));
  const ClauseView view = read(position, buffer);
  return std::vector<Literal>(view.begin(), view.end());
}

void ClauseStore::truncate(uint32_t clauses) {
  if (clauses >= size()) return;
  for (uint32_t position = clauses; position < size(); ++position) {
    const uint32_t header = arena_[offset(position)].code;
    literals_ -= header & kNarrow ? header & kLongestNarrow : header;
  }
  arena_.truncate(offset(clauses));
  offsets_.truncate(clauses);
  while (!high_starts_.empty() && high_starts_.back() >= clauses) high_starts_.pop_back();
  assert(size() == clauses);
  assert(clauses == 0 ? arena_.empty()
                      : arena_.size() == offset(clauses - 1) + 1 + stored_words(clauses - 1));
}

std::string to_string(ClauseView clause) {
  std::ostringstream text;
  text << '(';
  for (uint32_t i = 0; i < clause.size; ++i) {
    if (i) text << ", ";
    text << clause[i].to_dimacs();
  }
  text << ')';
  return text.str();
}
