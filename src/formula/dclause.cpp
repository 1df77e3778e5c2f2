// Clause storage rules, universal reduction and Q-resolution.

#include "dclause.hpp"

#include <sstream>

namespace {

inline uint32_t slot_of(uint32_t code, size_t mask) {
  return static_cast<uint32_t>((code * 2654435761u) & mask);
}

}  // namespace

void DClause::build_index() const {
  size_t capacity = 64;
  while (capacity < 2 * static_cast<size_t>(count) + 2) capacity *= 2;
  index_.assign(capacity, 0);
  for (const Literal& literal : literals) index_insert(literal.code);
}

void DClause::index_insert(uint32_t code) const {
  const size_t mask = index_.size() - 1;
  size_t slot = slot_of(code, mask);
  while (index_[slot] != 0) slot = (slot + 1) & mask;
  index_[slot] = code + 1;
}

bool DClause::index_contains(uint32_t code) const {
  const size_t mask = index_.size() - 1;
  for (size_t slot = slot_of(code, mask); index_[slot] != 0; slot = (slot + 1) & mask)
    if (index_[slot] == code + 1) return true;
  return false;
}

bool DClause::contains(const Literal& literal) const {
  if (count > kIndexedLength) {
    if (index_.empty()) build_index();
    return index_contains(literal.code);
  }
  for (const Literal& present : literals)
    if (present == literal) return true;
  return false;
}

bool DClause::insert(const Literal& literal) {
  if (contains(literal)) return false;
  literals.push_back(literal);
  ++count;
  if (!index_.empty()) {
    if (2 * static_cast<size_t>(count) + 2 > index_.size())
      build_index();
    else
      index_insert(literal.code);
  }
  return true;
}

namespace {

// The swap rule: a matching literal is replaced by the last one, and the slot
// is examined again.
template <typename Matches>
void remove_by_swap(std::vector<Literal>& literals, unsigned& count, Matches matches) {
  unsigned i = 0;
  while (i < count) {
    if (matches(literals[i])) {
      literals[i] = literals[count - 1];
      literals.pop_back();
      --count;
    } else {
      ++i;
    }
  }
}

}  // namespace

void DClause::remove(const Literal& literal) {
  remove_by_swap(literals, count, [&](const Literal& present) { return present == literal; });
  index_.clear();
}

void DClause::remove(unsigned variable) {
  remove_by_swap(literals, count,
                 [&](const Literal& present) { return present.variable() == variable; });
  index_.clear();
}

void DClause::clear() {
  literals.clear();
  count = 0;
  index_.clear();
}

void DClause::reduce(const std::vector<unsigned>& levels,
                     const std::vector<Quantifier>& variables) {
  while (count != 0) {
    unsigned max_level = 0;
    unsigned deepest_variable = 0;
    Quantifier::Type deepest_type = Quantifier::UNIVERSAL;
    for (const Literal& literal : literals) {
      const unsigned variable = literal.variable();
      if (levels[variable] > max_level) {
        max_level = levels[variable];
        deepest_variable = variable;
        deepest_type = variables[variable].type;
      }
    }
    if (deepest_type != Quantifier::UNIVERSAL || deepest_variable == 0) return;
    remove(deepest_variable);
  }
}

bool DClause::tautological() const {
  for (const Literal& literal : literals)
    if (contains(literal.complement())) return true;
  return false;
}

ResolutionOutcome DClause::resolve_into(const DClause& other, unsigned pivot,
                                        const std::vector<unsigned>& levels,
                                        const std::vector<Quantifier>& variables,
                                        DClause& result) const {
  // The first literal of the pivot in each clause decides the clash; a
  // second, complementary occurrence makes that antecedent tautological.
  const Literal* mine = nullptr;
  const Literal* theirs = nullptr;
  bool doubled_pivot = false;
  for (const Literal& literal : literals)
    if (literal.variable() == pivot) {
      if (!mine)
        mine = &literal;
      else if (*mine != literal)
        doubled_pivot = true;
    }
  for (const Literal& literal : other.literals)
    if (literal.variable() == pivot) {
      if (!theirs)
        theirs = &literal;
      else if (*theirs != literal)
        doubled_pivot = true;
    }
  result.clear();
  if (!mine || !theirs || mine->negative() == theirs->negative()) return ResolutionOutcome::NO_CLASH;

  result.reserve(count);
  for (const Literal& literal : literals)
    if (literal.variable() != pivot) result.insert(literal);
  result.reserve(other.count + result.count);
  for (const Literal& literal : other.literals)
    if (literal.variable() != pivot) result.insert(literal);

  // The tautology test looks at the union before reduction: reducing
  // (u, -u) would otherwise turn a forbidden step into the empty clause.
  const bool tautology = doubled_pivot || result.tautological();
  result.reduce(levels, variables);
  return tautology ? ResolutionOutcome::TAUTOLOGICAL : ResolutionOutcome::RESOLVED;
}

bool DClause::qresolve_into(const DClause& other, unsigned pivot,
                            const std::vector<unsigned>& levels,
                            const std::vector<Quantifier>& variables, DClause& result) const {
  if (resolve_into(other, pivot, levels, variables, result) == ResolutionOutcome::RESOLVED)
    return true;
  result.clear();
  return false;
}

std::string DClause::to_string() const {
  std::ostringstream text;
  text << '(';
  for (unsigned i = 0; i < count; ++i) {
    if (i) text << ", ";
    text << literals[i].to_dimacs();
  }
  text << ')';
  return text.str();
}
