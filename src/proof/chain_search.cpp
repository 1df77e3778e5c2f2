// The sound-chain search: a limited discrepancy search over running
// clauses, depth first with an explicit stack.
//
// At each node the unused antecedents that clash with the running clause on
// exactly one existential variable are the candidates (a single clash between
// non-tautological clauses makes a non-tautological resolvent). They are tried
// best first: fewest existential literals outside the target after the
// resolution, then the order the caller gave. Passes allow 0, 1, 2, ...
// departures from that order; a candidate after a better one that offered
// something to search costs one. These prunings keep real searches short and
// leave every chain reachable:
//  - a node is a dead end when an existential literal outside the target can
//    never be resolved away (existential literals leave a clause only as
//    pivots), following the antecedents that alone can remove one, or when a
//    universal literal outside the target lies below an existential literal
//    that can never leave (universal literals leave only by reduction);
//  - a node with the same running clause and the same used antecedents as one
//    already explored without success, with at least as many departures
//    allowed, is skipped (its future is the same). Nodes are recognised by a
//    64-bit hash; a collision can only make the search miss a chain, never
//    accept a step.

#include "proof/chain_search.hpp"

#include <algorithm>
#include <cassert>

#include "core/hash.hpp"

namespace {

inline uint64_t literal_hash(uint32_t code) { return mix(code); }
inline uint64_t antecedent_hash(uint32_t antecedent) {
  return mix(0x5A5A5A5A00000000ull ^ antecedent);
}

// The search builds Q-resolution chains of clauses: its "existential"
// literals are those of the pivot quantifier, its "universal" ones those
// reduction removes.
constexpr Rule kRule = Rule::CLAUSE;
inline bool existential(unsigned level) { return is_pivot_level(kRule, level); }
inline bool universal(unsigned level) { return is_reduced_level(kRule, level); }

}  // namespace

void ChainSearch::prepare(const std::vector<ClauseView>& antecedents, ClauseView target,
                          size_t codes) {
  if (in_target_.size() < codes) {
    in_target_.resize(codes, 0);
    in_running_.resize(codes, 0);
    unused_count_.resize(codes, 0);
    needed_.resize(codes, 0);
    first_occurrence_.resize(codes, kNone);
  }
  antecedents_ = &antecedents;
  const size_t n = antecedents.size();
  is_used_.assign(n, 0);
  usable_.assign(n, 0);
  forced_.assign(n, 0);
  for (const Literal& literal : target) in_target_[literal.code] = 1;
  work_ += target.size;
  for (size_t a = 0; a < n; ++a) {
    const ClauseView clause = antecedents[a];
    work_ += 3 * static_cast<uint64_t>(clause.size);
    if (tautological(clause, in_running_)) continue;
    usable_[a] = 1;
    for (const Literal& literal : clause) {
      ++unused_count_[literal.code];
      if (first_occurrence_[literal.code] == kNone) occurring_codes_.push_back(literal.code);
      next_occurrence_.push_back(first_occurrence_[literal.code]);
      occurrence_antecedent_.push_back(static_cast<uint32_t>(a));
      first_occurrence_[literal.code] = static_cast<uint32_t>(next_occurrence_.size() - 1);
    }
  }
}

// Leaves every per-literal array as it was before the run: all 0.
void ChainSearch::finish(ClauseView target) {
  for (const Literal& literal : target) in_target_[literal.code] = 0;
  const std::vector<ClauseView>& antecedents = *antecedents_;
  for (size_t a = 0; a < antecedents.size(); ++a)
    if (usable_[a] && !is_used_[a])
      for (const Literal& literal : antecedents[a]) --unused_count_[literal.code];
  for (uint32_t code : occurring_codes_) first_occurrence_[code] = kNone;
  occurring_codes_.clear();
  next_occurrence_.clear();
  occurrence_antecedent_.clear();
  frames_.clear();
  clause_stack_.clear();
  candidate_stack_.clear();
  failed_.clear();
}

void ChainSearch::use(uint32_t antecedent, bool used) {
  assert(is_used_[antecedent] != used);
  is_used_[antecedent] = used;
  used_key_ ^= antecedent_hash(antecedent);
  const ClauseView clause = (*antecedents_)[antecedent];
  for (const Literal& literal : clause) {
    if (used)
      --unused_count_[literal.code];
    else
      ++unused_count_[literal.code];
  }
  work_ += clause.size;
}

bool ChainSearch::contained(const Literal* literals, uint32_t size) const {
  for (uint32_t i = 0; i < size; ++i)
    if (!in_target_[literals[i].code]) return false;
  return true;
}

// A node is a dead end when some existential literal outside the target
// could never be resolved away. Existential literals leave a clause only as
// pivots, so each needs an unused antecedent holding its complement. When
// exactly one unused antecedent holds it, that antecedent must be used, with
// that literal as its pivot, and its other literals enter the running clause:
// they need the same, in turn. The closure only ever follows what a chain
// must do, so no chain is lost.
bool ChainSearch::dead_end(const Frame& frame, const std::vector<unsigned>& levels) {
  const std::vector<ClauseView>& antecedents = *antecedents_;
  bool dead = false;
  const Literal* literals = clause_stack_.data() + frame.clause_begin;
  for (uint32_t i = 0; i < frame.clause_size && !dead; ++i)
    dead = !removable(literals[i].code, levels);
  // A universal literal outside the target leaves only by reduction, which
  // an existential literal deeper than it and there for good prevents.
  unsigned permanent_level = 0;
  bool permanent = false;
  for (uint32_t i = 0; i < frame.clause_size && !dead; ++i) {
    const Literal literal = literals[i];
    if (!existential(levels[literal.variable()])) continue;
    if (unused_count_[literal.code ^ 1u] != 0) continue;
    if (!permanent || levels[literal.variable()] > permanent_level)
      permanent_level = levels[literal.variable()];
    permanent = true;
  }
  for (uint32_t i = 0; i < frame.clause_size && !dead && permanent; ++i) {
    const Literal literal = literals[i];
    dead = universal(levels[literal.variable()]) &&
           !in_target_[literal.code] && levels[literal.variable()] < permanent_level;
  }
  for (size_t head = 0; head < forced_queue_.size() && !dead; ++head) {
    const ClauseView clause = antecedents[forced_queue_[head]];
    work_ += clause.size;
    for (const Literal& literal : clause)
      if (!in_running_[literal.code] && !removable(literal.code, levels)) {
        dead = true;
        break;
      }
  }
  for (uint32_t antecedent : forced_queue_) forced_[antecedent] = 0;
  forced_queue_.clear();
  for (uint32_t code : needed_codes_) {
    needed_[code] = 0;
    in_running_[code ^ 1u] = 0;
  }
  needed_codes_.clear();
  return dead;
}

// False when the literal is existential, outside the target and no unused
// antecedent holds its complement. Marks the literal as accounted for (and
// its complement as the pivot of whatever removes it) and queues an
// antecedent that alone can remove it.
bool ChainSearch::removable(uint32_t code, const std::vector<unsigned>& levels) {
  if (needed_[code] || in_target_[code]) return true;
  if (!existential(levels[code >> 1])) return true;
  needed_[code] = 1;
  in_running_[code ^ 1u] = 1;  // the complement is a pivot, not a literal to remove
  needed_codes_.push_back(code);
  const uint32_t holders = unused_count_[code ^ 1u];
  if (holders == 0) return false;
  if (holders > 1) return true;
  for (uint32_t occurrence = first_occurrence_[code ^ 1u]; occurrence != kNone;
       occurrence = next_occurrence_[occurrence]) {
    ++work_;
    const uint32_t antecedent = occurrence_antecedent_[occurrence];
    if (is_used_[antecedent]) continue;
    if (!forced_[antecedent]) {
      forced_[antecedent] = 1;
      forced_queue_.push_back(antecedent);
    }
    break;
  }
  return true;
}

void ChainSearch::expand(Frame& frame, const std::vector<unsigned>& levels) {
  const std::vector<ClauseView>& antecedents = *antecedents_;
  const Literal* running = clause_stack_.data() + frame.clause_begin;
  uint32_t running_outside = 0;
  for (uint32_t i = 0; i < frame.clause_size; ++i) {
    in_running_[running[i].code] = 1;
    if (!in_target_[running[i].code] && existential(levels[running[i].variable()]))
      ++running_outside;
  }
  frame.candidates_begin = static_cast<uint32_t>(candidate_stack_.size());
  for (uint32_t a = 0; a < antecedents.size(); ++a) {
    if (!usable_[a] || is_used_[a]) continue;
    const ClauseView clause = antecedents[a];
    work_ += clause.size;
    uint32_t clashes = 0, pivot_code = 0, added_outside = 0;
    for (const Literal& literal : clause) {
      if (in_running_[literal.code ^ 1u]) {
        ++clashes;
        pivot_code = literal.code;
      } else if (!in_running_[literal.code] && !in_target_[literal.code] &&
                 existential(levels[literal.variable()])) {
        ++added_outside;
      }
    }
    if (clashes != 1) continue;
    assert(in_running_[pivot_code ^ 1u] && !in_running_[pivot_code]);
    if (!existential(levels[pivot_code >> 1])) continue;
    const uint32_t removed = in_target_[pivot_code ^ 1u] ? 0 : 1;  // the pivot is existential
    candidate_stack_.push_back(Candidate{a, pivot_code, running_outside - removed + added_outside});
  }
  work_ += antecedents.size() + 2 * static_cast<uint64_t>(frame.clause_size);
  for (uint32_t i = 0; i < frame.clause_size; ++i) in_running_[running[i].code] = 0;
  assert(marks_clear(ClauseView{running, frame.clause_size}, in_running_));
  frame.candidates_end = static_cast<uint32_t>(candidate_stack_.size());
  // Antecedents were visited in the given order, so ties keep it.
  std::sort(candidate_stack_.begin() + frame.candidates_begin, candidate_stack_.end(),
            [](const Candidate& a, const Candidate& b) {
              return a.outside != b.outside ? a.outside < b.outside : a.antecedent < b.antecedent;
            });
  frame.next = frame.candidates_begin;
  frame.expanded = true;
}

// Appends the reduced resolvent of the frame's clause and the candidate to
// clause_stack_ and returns its size; `key` receives its node key (with the
// candidate counted as used). The resolvent is the formula's rule (the
// union, then reduction), in the union's order: the search needs the set.
uint32_t ChainSearch::resolve(const Frame& frame, const Candidate& candidate,
                              const std::vector<unsigned>& levels, uint64_t& key) {
  ++resolutions_;
  const uint32_t begin = static_cast<uint32_t>(clause_stack_.size());
  const ClauseView other = (*antecedents_)[candidate.antecedent];
  clause_stack_.resize(begin + static_cast<size_t>(frame.clause_size) + other.size);
  const ClauseView running{clause_stack_.data() + frame.clause_begin, frame.clause_size};
  size_t size = 0;
  DeepestLevels deepest;
  const ResolutionOutcome outcome =
      resolvent_union(running, other, candidate.pivot_code >> 1, levels,
                      clause_stack_.data() + begin, size, deepest, in_running_);
  // A candidate clashes once with the running clause, both not tautological.
  assert(outcome == ResolutionOutcome::RESOLVED);
  (void)outcome;
  work_ += 2 * (static_cast<uint64_t>(frame.clause_size) + other.size);
  const unsigned bound = deepest.bound(kRule);
  uint32_t kept = begin;
  key = used_key_ ^ antecedent_hash(candidate.antecedent);
  for (uint32_t i = begin; i < begin + size; ++i) {
    const Literal literal = clause_stack_[i];
    if (is_removed(kRule, bound, levels[literal.variable()])) continue;
    key ^= literal_hash(literal.code);
    clause_stack_[kept++] = literal;
  }
  clause_stack_.resize(kept);
  assert(reduced(kRule, ClauseView{clause_stack_.data() + begin, kept - begin}, levels));
  return kept - begin;
}

// Copies the step's clauses with their variables numbered 1, 2, ... in
// order of appearance, so that the search's per-literal arrays follow the
// variables of the step, not the largest variable number of the formula.
void ChainSearch::renumber(const std::vector<ClauseView>& antecedents, ClauseView target,
                           const std::vector<unsigned>& levels) {
  local_of_.clear();
  local_levels_.assign(1, 0);
  formula_variable_.assign(1, 0);
  local_literals_.clear();
  auto local = [&](Literal literal) {
    const uint32_t variable = literal.variable();
    auto found = local_of_.find(variable);
    if (found == local_of_.end()) {
      found = local_of_.emplace(variable, static_cast<uint32_t>(local_levels_.size())).first;
      local_levels_.push_back(levels[variable]);
      formula_variable_.push_back(variable);
    }
    return Literal(found->second, literal.negative());
  };
  std::vector<uint64_t>& begins = local_begins_;
  begins.clear();
  for (const ClauseView clause : antecedents) {
    begins.push_back(local_literals_.size());
    for (const Literal& literal : clause) local_literals_.push_back(local(literal));
  }
  begins.push_back(local_literals_.size());
  for (const Literal& literal : target) local_literals_.push_back(local(literal));
  work_ += local_literals_.size();
  local_clauses_.clear();
  for (size_t a = 0; a < antecedents.size(); ++a)
    local_clauses_.push_back(ClauseView{local_literals_.data() + begins[a],
                                        static_cast<uint32_t>(begins[a + 1] - begins[a])});
  local_target_ = ClauseView{local_literals_.data() + begins.back(), target.size};
}

ChainSearch::Result ChainSearch::run(const std::vector<ClauseView>& antecedents, ClauseView target,
                                     const std::vector<unsigned>& levels, uint64_t budget) {
  assert(frames_.empty() && clause_stack_.empty() && candidate_stack_.empty());
  work_ = 0;
  resolutions_ = 0;
  budget_ = budget;
  used_key_ = 0;
  chain_.clear();
  chain_pivots_.clear();
  renumber(antecedents, target, levels);
  prepare(local_clauses_, local_target_, 2 * local_levels_.size());
  Result result = NONE;
  const uint32_t n = static_cast<uint32_t>(antecedents.size());
  for (uint32_t start = 0; start < n && result == NONE; ++start)
    if (usable_[start] && contained(local_clauses_[start].literals, local_clauses_[start].size)) {
      result = FOUND;
      chain_.push_back(start);
    }

  // Pass k allows k departures from the preferred order: a start other than
  // the first usable antecedent, or a candidate other than a node's best.
  // A pass that cut no branch searched everything: then there is no chain.
  for (uint32_t leeway = 0; result == NONE; ++leeway) {
    cut_ = false;
    bool first_start = true;
    for (uint32_t start = 0; start < n && result == NONE; ++start) {
      if (!usable_[start]) continue;
      const uint32_t start_cost = first_start ? 0 : 1;
      first_start = false;
      if (start_cost > leeway) {
        cut_ = true;
        break;
      }
      result = descend(start, leeway - start_cost, local_levels_);
    }
    if (result == NONE && !cut_) break;
    if (result == NONE && work_ > budget_) result = EXHAUSTED;
  }
  finish(local_target_);
  return result;
}

// One depth-first search from `start` with `leeway` departures allowed.
ChainSearch::Result ChainSearch::descend(uint32_t start, uint32_t leeway,
                                         const std::vector<unsigned>& levels) {
  const ClauseView clause = (*antecedents_)[start];
  uint64_t key = used_key_ ^ antecedent_hash(start);
  for (const Literal& literal : clause) key ^= literal_hash(literal.code);
  use(start, true);
  frames_.push_back(Frame{0, clause.size, key, 0, 0, 0, start, 0, leeway, false, false});
  clause_stack_.assign(clause.begin(), clause.end());

  Result result = NONE;
  while (!frames_.empty()) {
    if (!spend(0)) {
      result = EXHAUSTED;
      break;
    }
    const size_t top = frames_.size() - 1;
    if (!frames_[top].expanded) {
      const auto known = failed_.find(frames_[top].key);
      if ((known != failed_.end() && known->second > frames_[top].leeway) ||
          dead_end(frames_[top], levels)) {
        work_ += frames_[top].clause_size;
        frames_[top].candidates_begin = frames_[top].candidates_end =
            static_cast<uint32_t>(candidate_stack_.size());
        frames_[top].next = frames_[top].candidates_end;
        frames_[top].expanded = true;
      } else {
        expand(frames_[top], levels);
        continue;  // the budget is checked before the next step
      }
    }
    Frame& frame = frames_[top];
    // A candidate costs one departure when a better one was searched before
    // it; better ones that offered nothing to try (dead ends, known failures,
    // no candidates) do not count.
    if (frame.tried && frame.leeway == 0 && frame.next < frame.candidates_end) {
      cut_ = true;
      frame.next = frame.candidates_end;
    }
    if (frame.next == frame.candidates_end) {
      uint32_t& leeway_failed = failed_[frame.key];
      if (leeway_failed < frame.leeway + 1) leeway_failed = frame.leeway + 1;
      const bool searched = frame.candidates_begin != frame.candidates_end;
      use(frame.used, false);
      clause_stack_.resize(frame.clause_begin);
      candidate_stack_.resize(frame.candidates_begin);
      frames_.pop_back();
      if (searched && !frames_.empty()) frames_.back().tried = true;
      continue;
    }
    const uint32_t child_leeway = frame.tried ? frame.leeway - 1 : frame.leeway;
    const Candidate candidate = candidate_stack_[frame.next++];
    uint64_t child_key;
    const uint32_t child_begin = static_cast<uint32_t>(clause_stack_.size());
    const uint32_t child_size = resolve(frame, candidate, levels, child_key);
    if (contained(clause_stack_.data() + child_begin, child_size)) {
      result = FOUND;
      record_chain(&candidate);
      break;
    }
    use(candidate.antecedent, true);
    frames_.push_back(Frame{child_begin, child_size, child_key,
                            static_cast<uint32_t>(candidate_stack_.size()),
                            static_cast<uint32_t>(candidate_stack_.size()), 0,
                            candidate.antecedent, candidate.pivot_code >> 1, child_leeway,
                            false, false});
  }
  // Unwind whatever path is left, so that the counts are those of a search
  // that used nothing.
  while (!frames_.empty()) {
    use(frames_.back().used, false);
    frames_.pop_back();
  }
  assert(used_key_ == 0);
  clause_stack_.clear();
  candidate_stack_.clear();
  return result;
}

// The chain of the current path, ended by `last`, in formula variables.
void ChainSearch::record_chain(const Candidate* last) {
  chain_.clear();
  chain_pivots_.clear();
  for (const Frame& frame : frames_) {
    chain_.push_back(frame.used);
    if (frame.pivot != 0) chain_pivots_.push_back(formula_variable_[frame.pivot]);
  }
  chain_.push_back(last->antecedent);
  chain_pivots_.push_back(formula_variable_[last->pivot_code >> 1]);
  assert(chain_pivots_.size() + 1 == chain_.size());
}
