// Checking one numbered clause line: merge mode (resolvent omitted) and
// chain mode (resolvent supplied: order the antecedents into a chain of
// Q-resolutions, resolve it and compare), and storing the derived clause.

#include <algorithm>
#include <iostream>
#include <sstream>

#include "core/exception.hpp"
#include "resolution_scratch.hpp"
#include "zel.hpp"

void ZEL::ScratchDeleter::operator()(OrderingScratch* scratch) const { delete scratch; }

ZEL::OrderingScratch& ZEL::ordering_scratch() const {
  if (!ordering) ordering.reset(new OrderingScratch);
  return *ordering;
}

void ZEL::ensure_marks(size_t codes) const {
  OrderingScratch& scratch = ordering_scratch();
  if (scratch.held.size() >= codes) return;
  size_t size = scratch.held.size() ? scratch.held.size() : 1024;
  while (size < codes) size *= 2;
  scratch.held.resize(size, 0);
  scratch.first_occurrence.resize(size, OrderingScratch::kNone);
  scratch.value.resize(size, 0);
}

void ZEL::store_clause(unsigned index, const DClause& clause) {
  formula.clauses.push_back(clause);
  clause_map.set(index, static_cast<uint32_t>(formula.clauses.size()));
}

void ZEL::apply_resolution(Resolution& step) {
  if (step.antecedents.empty()) {
    if (!ignore) throw Exception("Resolvent not justified (no antecedents).");
    store_clause(step.index, step.resolvent);
    return;
  }
  if (step.antecedents.size() == 1) throw Exception("Single antecedent does not make sense.");
  if (step.resolvent_omitted)
    apply_merge(step);
  else
    apply_chain(step);
}

// Merge mode: every variable met in both signs is a pivot, and n antecedents
// need exactly n - 1 of them. Counting alone proves nothing, so the merged
// clause without its pivots must also refute the antecedents by unit
// propagation before the step stands.
void ZEL::apply_merge(Resolution& step) {
  OrderingScratch& scratch = ordering_scratch();
  DClause& merged = scratch.merged;
  merged.clear();
  scratch.merge_pivots.clear();
  scratch.antecedent_clauses.clear();
  for (unsigned number : step.antecedents) {
    if (!defined(number)) throw Exception("Inconsistent clause map.");
    scratch.antecedent_clauses.push_back(&stored_clause(number));
    __builtin_prefetch(scratch.antecedent_clauses.back());  // overlap the cache misses
  }
  for (const DClause* clause : scratch.antecedent_clauses)
    __builtin_prefetch(clause->literals.data());
  // D is built as insert would build it; marks by literal code stand in for
  // its lookups (a complement already in D records a pivot, then the literal
  // joins D unless present).
  ensure_marks(2 * formula.variables.size() + 2);
  scratch.reset_held();
  std::vector<uint8_t>& in_merged = scratch.held;
  for (const DClause* clause : scratch.antecedent_clauses)
    for (const Literal& literal : clause->literals) {
      if (in_merged[literal.code ^ 1u]) scratch.merge_pivots.push_back(literal.variable());
      if (!in_merged[literal.code]) {
        in_merged[literal.code] = 1;
        merged.literals.push_back(literal);
      }
    }
  for (const Literal& literal : merged.literals) in_merged[literal.code] = 0;
  merged.count = static_cast<unsigned>(merged.literals.size());

  const size_t needed = step.antecedents.size() - 1;
  if (scratch.merge_pivots.size() < needed) {
    formula.clauses.push_back(merged);
    throw Exception("Not enough pivot variables for resolution.");
  }
  if (scratch.merge_pivots.size() > needed) {
    formula.clauses.push_back(merged);
    throw Exception("Tautological resolvent encountered: " + merged.to_string());
  }
  merged.remove_variables(scratch.merge_pivots);
  if (!merge_refutes(scratch.antecedent_clauses, merged)) {
    formula.clauses.push_back(merged);
    throw Exception("Resolution failed.");
  }
  merged.reduce(formula.levels, formula.variables);
  store_clause(step.index, merged);
}

// True when falsifying every literal of `merged` (the merged clause without
// its pivots) and propagating units over the antecedents falsifies one of
// them. Every non-pivot literal of an antecedent lies in `merged`, so only
// pivot literals stay open; each antecedent keeps a count of its open
// literals and the XOR of their codes, which names the last one directly.
bool ZEL::merge_refutes(const std::vector<const DClause*>& antecedent_clauses,
                        const DClause& merged) {
  OrderingScratch& scratch = ordering_scratch();
  ensure_marks(2 * formula.variables.size() + 2);
  scratch.reset_values();
  scratch.reset_occurrences();
  auto assign = [&](Literal literal) {
    scratch.value[literal.code] = 1;
    scratch.value[literal.complement().code] = -1;
    scratch.valued_codes.push_back(literal.code);
    scratch.valued_codes.push_back(literal.complement().code);
  };
  for (const Literal& literal : merged.literals) assign(literal.complement());

  const size_t n = antecedent_clauses.size();
  scratch.open_count.assign(n, 0);
  scratch.open_codes.assign(n, 0);
  scratch.satisfied.assign(n, 0);
  scratch.queue.clear();
  for (size_t position = 0; position < n; ++position) {
    for (const Literal& literal : antecedent_clauses[position]->literals) {
      const int8_t value = scratch.value[literal.code];
      if (value > 0) scratch.satisfied[position] = 1;
      if (value != 0) continue;
      ++scratch.open_count[position];
      scratch.open_codes[position] ^= literal.code;
      scratch.add_occurrence(literal.code, static_cast<uint32_t>(position));
    }
    if (scratch.satisfied[position]) continue;
    if (scratch.open_count[position] == 0) return true;
    if (scratch.open_count[position] == 1) scratch.queue.push_back(static_cast<uint32_t>(position));
  }
  for (size_t head = 0; head < scratch.queue.size(); ++head) {
    const uint32_t position = scratch.queue[head];
    if (scratch.satisfied[position]) continue;
    if (scratch.open_count[position] == 0) return true;
    Literal unit;
    unit.code = scratch.open_codes[position];
    if (scratch.value[unit.code] < 0) return true;
    if (scratch.value[unit.code] > 0) continue;
    assign(unit);
    for (uint32_t occurrence = scratch.first_occurrence[unit.code];
         occurrence != OrderingScratch::kNone; occurrence = scratch.next_occurrence[occurrence])
      scratch.satisfied[scratch.occurrence_position[occurrence]] = 1;
    const uint32_t falsified = unit.complement().code;
    for (uint32_t occurrence = scratch.first_occurrence[falsified];
         occurrence != OrderingScratch::kNone; occurrence = scratch.next_occurrence[occurrence]) {
      const uint32_t other = scratch.occurrence_position[occurrence];
      --scratch.open_count[other];
      scratch.open_codes[other] ^= falsified;
      if (scratch.satisfied[other]) continue;
      if (scratch.open_count[other] == 0) return true;
      if (scratch.open_count[other] == 1) scratch.queue.push_back(other);
    }
  }
  return false;
}

// Chain mode: order, resolve the chain with universal reduction after each
// resolution, store the result, compare it with the supplied resolvent.
void ZEL::apply_chain(Resolution& step) {
  OrderingScratch& scratch = ordering_scratch();
  pivots.clear();
  order_antecedents(step.resolvent, step.antecedents, pivots);
  scratch.reset_held();  // the ordering's marks; the chain walk reuses the array

  tclause = stored_clause(step.antecedents.front());
  DClause* running = &tclause;
  DClause* result = &rclause;
  bool tautological = false;
  auto antecedent = std::next(step.antecedents.begin());
  for (auto pivot = pivots.begin(); antecedent != step.antecedents.end() && pivot != pivots.end();
       ++antecedent, ++pivot) {
    const ResolutionOutcome outcome = stored_clause(*antecedent).resolve_into(
        *running, *pivot, formula.levels, formula.variables, *result, scratch.held);
    if (outcome == ResolutionOutcome::NO_CLASH) throw Exception("Resolution failed.");
    if (outcome == ResolutionOutcome::TAUTOLOGICAL) tautological = true;
    std::swap(running, result);
  }

  store_clause(step.index, *running);
  const DClause& derived = *running;
  if (derived.count != step.resolvent.count)
    throw Exception("Calculated and supplied resolvent sizes do not match.");
  std::vector<uint8_t>& supplied = scratch.held;  // clear after the chain walk
  for (const Literal& literal : step.resolvent.literals) supplied[literal.code] = 1;
  bool differ = false;
  for (const Literal& literal : derived.literals)
    if (!supplied[literal.code]) differ = true;
  for (const Literal& literal : step.resolvent.literals) supplied[literal.code] = 0;
  if (differ) throw Exception("Calculated and supplied resolvents differ.");
  // The chain found made a tautological resolution, which Q-resolution
  // forbids: the step stands only if a sound chain over its antecedents exists.
  if (tautological && !linear_chain_exists(step.antecedents, step.resolvent))
    throw Exception("Resolution failed.");
}

namespace {

// Bounds of the sound-chain search in literals touched, for one step and for
// the whole run (so that a certificate of many such steps cannot keep the
// checker busy for hours). Real proofs need a few thousand to a few
// million; a step whose search runs out of budget fails. A literal touched
// costs a few nanoseconds: a step stops within a second, a run within
// seconds.
constexpr uint64_t kStepSearchWork = 100000000;
constexpr uint64_t kRunSearchWork = 2000000000;

}  // namespace

// The search tries the antecedents in the order the backward ordering placed
// them first: that order is a chain already, but for its tautological steps.
bool ZEL::linear_chain_exists(const std::list<unsigned>& chain, const DClause& resolvent) {
  std::vector<ClauseView> clauses;
  clauses.reserve(chain.size());
  for (unsigned number : chain) {
    const DClause& clause = stored_clause(number);
    clauses.push_back(ClauseView{clause.literals.data(), clause.count});
  }
  const uint64_t budget = std::min(kStepSearchWork, kRunSearchWork - chain_search_work);
  const ChainSearch::Result result =
      chain_search.run(clauses, ClauseView{resolvent.literals.data(), resolvent.count},
                       formula.levels, formula.variables, budget);
  chain_search_work += std::min(chain_search.work(), budget);
  return result == ChainSearch::FOUND;
}
