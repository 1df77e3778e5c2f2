// Appending to the clause arena, and printing clauses.

#include "store/clause_store.hpp"

#include <sstream>

uint32_t ClauseStore::push(const Literal* literals, uint32_t size) {
  const uint32_t position = static_cast<uint32_t>(offsets_.size());
  const uint64_t offset = arena_.size();
  while ((offset >> 32) > high_starts_.size()) high_starts_.push_back(position);
  offsets_.push_back(static_cast<uint32_t>(offset));
  Literal header;
  header.code = size;
  arena_.push_back(header);
  arena_.append(literals, size);
  return position;
}

void ClauseStore::truncate(uint32_t clauses) {
  if (clauses >= size()) return;
  arena_.truncate(offset(clauses));
  offsets_.truncate(clauses);
  while (!high_starts_.empty() && high_starts_.back() >= clauses) high_starts_.pop_back();
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
