// Ordering the antecedents of a chain-mode step into a chain of resolutions.

#include <algorithm>
#include <cassert>
#include <iostream>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "proof/scratch.hpp"

namespace {

// A step whose ordering places more antecedents than it has fails with a
// listing of every placement. Placements repeat once per cycle for
// antecedents without open literals, so a crafted step could ask for billions
// of lines; the listing stops after this many (per antecedent).
constexpr size_t kListingLinesPerAntecedent = 16;
// One placed clause can be long (tens of thousands of literals), so the
// listing is cut after this many bytes as well.
constexpr size_t kListingBytes = 1 << 20;

// Writes the placement listing, one line per placement ("number: (literals)"),
// until either cap is reached; then a last line says where it was cut.
class Listing {
 public:
  explicit Listing(size_t max_lines) : max_lines_(max_lines) {}

  // False once the listing is cut: nothing more is written.
  bool add(uint32_t number, ClauseView clause) {
    if (cut_) return false;
    if (lines_ == max_lines_) {
      std::cout << message::listing_cut(lines_, "lines") << std::endl;
      cut_ = true;
      return false;
    }
    ++lines_;
    std::string line = std::to_string(number) + ": (";
    for (uint32_t i = 0; i < clause.size; ++i) {
      if (i) line += ", ";
      line += std::to_string(clause[i].to_dimacs());
      if (bytes_ + line.size() > kListingBytes) break;
    }
    line += ")\n";
    if (bytes_ + line.size() > kListingBytes) {
      std::cout << message::listing_cut(bytes_, "bytes") << std::endl;
      cut_ = true;
      return false;
    }
    bytes_ += line.size();
    std::cout << line;
    return true;
  }

 private:
  const size_t max_lines_;  // lines written at the most
  size_t lines_ = 0;        // lines written so far
  size_t bytes_ = 0;        // bytes written so far
  bool cut_ = false;        // the cut was announced
};

}  // namespace

// Works backwards from the resolvent. An antecedent that keeps exactly one
// existential literal e outside the working clause W is placed with e's
// variable as pivot and W grows by the complement of e; one that keeps none
// is placed without pivot (on every visit). The visits go round the
// antecedents cyclically and end after a full cycle in which W did not grow.
//
// Removing W's literals from each antecedent at every visit would cost
// |W| × |antecedent| per visit, and most visits change nothing. W only grows,
// so each antecedent keeps the number of its existential literals outside W
// and the XOR of their codes (which names the literal when one is left),
// updated through occurrence lists when W grows; and the positions whose
// visit changes something are kept in a set, so the cycle jumps from one to
// the next. The visiting order and its results stay exactly those of the
// plain cyclic scan.
//
// Open literals are those of the pivot quantifier (existential for clauses).
//
// Most steps of solvers' proofs resolve two antecedents on one pivot: each
// keeps exactly one open literal, the complement of the other's. The scan
// then places the first (its literal is the pivot), which closes the
// second's, and places the second; the chain is the second, then the first.
// Such steps take that result straight from the two counts.
const ProofChecker::OrderedChain& ProofChecker::order_antecedents(
    const WorkingClause& resolvent, const std::vector<uint32_t>& antecedents) {
  assert(!antecedents.empty());
  Scratch& scratch = *scratch_;
  OrderingWork& work = scratch.ordering;
  OpenLiterals& open_literals = scratch.open;
  work.numbers.assign(antecedents.begin(), antecedents.end());
  const size_t n = work.numbers.size();
  load_clauses(work.numbers);
  scratch.cover(formula_.largest_defined());
  PositionSet& active = work.active;
  std::vector<uint8_t>& in_working = work.in_working;
  OrderedChain& chain = scratch.chain;
  chain.numbers.clear();
  chain.clauses.clear();
  chain.pivots.clear();
  std::vector<unsigned>& pivot_list = chain.pivots;  // in placement order until the end

  auto refresh = [&](uint32_t position) {
    const uint32_t open = open_literals.count[position];
    if (open == 0 || (open == 1 && !in_working[open_literals.codes[position] ^ 1u]))
      active.insert(position);
    else
      active.erase(position);
  };
  auto hold = [&](uint32_t code) {
    in_working[code] = 1;
    work.working_codes.push_back(code);
  };

  // Runs the placement loop; returns false when it stopped early because
  // more than `limit` placements were made. With `listing` set, each
  // placement is written as the error listing instead of being recorded.
  auto simulate = [&](Listing* listing, size_t limit, size_t& stop, size_t& placements) {
    work.reset_working();
    open_literals.reset(n);
    work.placed.clear();
    for (const Literal& literal : resolvent.literals)
      if (!in_working[literal.code]) hold(literal.code);
    const std::vector<ClauseView>& clauses = scratch.loaded.views;
    for (size_t position = 0; position < n; ++position)
      for (const Literal& literal : clauses[position]) {
        if (!is_pivot_level(Rule::CLAUSE, formula_.levels[literal.variable()])) continue;
        if (in_working[literal.code]) continue;
        open_literals.add(literal.code, static_cast<uint32_t>(position));
      }
    active.reset(n);
    for (size_t position = 0; position < n; ++position) refresh(static_cast<uint32_t>(position));

    placements = 0;
    stop = 0;
    size_t position = 0;
    for (;;) {
      const uint32_t open = open_literals.count[position];
      if (open == 0 || (open == 1 && !in_working[open_literals.codes[position] ^ 1u])) {
        if (++placements > limit) return false;
        if (listing) {
          if (!listing->add(work.numbers[position], clauses[position])) return false;
        } else {
          work.placed.push_back(static_cast<uint32_t>(position));
        }
        if (open == 1) {
          Literal last;
          last.code = open_literals.codes[position];
          const uint32_t grown = last.code ^ 1u;
          assert(!in_working[grown]);
          hold(grown);
          for (uint32_t occurrence = open_literals.first_occurrence[grown];
               occurrence != OpenLiterals::kNone;
               occurrence = open_literals.next_occurrence[occurrence])
            refresh(open_literals.close(occurrence, grown));
          // Antecedents whose last open literal is `last` can no longer grow W.
          for (uint32_t occurrence = open_literals.first_occurrence[last.code];
               occurrence != OpenLiterals::kNone;
               occurrence = open_literals.next_occurrence[occurrence])
            refresh(open_literals.occurrence_position[occurrence]);
          if (!listing) pivot_list.push_back(last.variable());
          stop = position;
        }
      }
      // The next visit that can change something, unless the cycle reaches
      // `stop` first: visits run position + 1, ..., n - 1, 0, ... and end
      // when the next position to visit is `stop`.
      size_t next = active.next(position + 1);
      if (next == PositionSet::kNone) next = active.next(0);
      if (next == PositionSet::kNone) return true;
      assert(next < n);
      const size_t to_next = (next + n - position - 1) % n;
      const size_t to_stop = (stop + n - position - 1) % n;
      if (to_next >= to_stop) return true;
      position = next;
    }
  };

  if (n == 2) {
    const std::vector<ClauseView>& clauses = scratch.loaded.views;
    work.reset_working();
    for (const Literal& literal : resolvent.literals)
      if (!in_working[literal.code]) hold(literal.code);
    uint32_t open[2] = {0, 0}, codes[2] = {0, 0};
    for (size_t position = 0; position < 2; ++position)
      for (const Literal& literal : clauses[position])
        if (is_pivot_level(Rule::CLAUSE, formula_.levels[literal.variable()]) &&
            !in_working[literal.code]) {
          ++open[position];
          codes[position] ^= literal.code;
        }
    work.reset_working();
    if (open[0] == 1 && open[1] == 1 && codes[1] == (codes[0] ^ 1u)) {
      chain.numbers.assign({work.numbers[1], work.numbers[0]});
      chain.clauses.assign({clauses[1], clauses[0]});
      Literal pivot;
      pivot.code = codes[0];
      chain.pivots.assign(1, pivot.variable());
      return chain;
    }
  }

  size_t stop = 0, placements = 0;
  const bool complete = simulate(nullptr, n, stop, placements);
  if (complete && placements + 1 == n) {
    work.placed.push_back(static_cast<uint32_t>(stop == 0 ? n - 1 : stop - 1));
  } else if (!complete || placements != n) {
    const size_t lines = kListingLinesPerAntecedent * n;
    Listing listing(lines);
    if (complete) {
      for (uint32_t position : work.placed)
        if (!listing.add(work.numbers[position], scratch.loaded.views[position])) break;
    } else {
      // More placements than antecedents were not recorded: replay the
      // deterministic loop and write them as it goes.
      // The placement after the last line allowed announces the cut.
      simulate(&listing, lines + 1, stop, placements);
    }
    throw Exception("BUG: Lost antecedents while reordering.");
  }
  work.reset_working();
  // The chain is the placement order reversed.
  assert(work.placed.size() == n);
  for (auto it = work.placed.rbegin(); it != work.placed.rend(); ++it) {
    chain.numbers.push_back(work.numbers[*it]);
    chain.clauses.push_back(scratch.loaded.views[*it]);
  }
  std::reverse(chain.pivots.begin(), chain.pivots.end());
  return chain;
}
