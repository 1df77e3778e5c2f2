// The search for a sound linear chain, the fallback of chain-mode steps.
// The backward ordering of a step may pick an order in which a resolution is
// tautological although a sound order of the same antecedents exists. The
// step then stands only if this search finds a linear chain of
// non-tautological Q-resolutions over its antecedents (each used at most once,
// existential pivots, universal reduction after each resolution) that reaches
// a clause contained in the supplied resolvent: a subset of a clause the
// formula implies is implied as well.
//
// The search is a limited discrepancy search: depth-first with an explicit
// stack (chains can be tens of thousands of antecedents long), in passes that
// allow 0, 1, 2, ... departures from the preferred order. The preferred order
// is the caller's (the backward ordering's chain, which is right but for a few
// places), so real proofs are found in a few dozen resolutions whatever the
// listed order. It is bounded by the number of literals it touches, so that
// hostile steps end in bounded time whatever their clause lengths.
#ifndef ZEL_PROOF_CHAIN_SEARCH_HPP
#define ZEL_PROOF_CHAIN_SEARCH_HPP

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/literal.hpp"
#include "formula/rules.hpp"
#include "store/clause_store.hpp"

class ChainSearch {
 public:
  // Outcome of one search.
  enum Result { FOUND, NONE, EXHAUSTED };

  // Looks for a sound chain over `antecedents` that reaches a subset of
  // `target`. The antecedents are tried in the order given where nothing
  // else decides, so callers list them in the order most likely to succeed.
  // Tautological antecedents are never used. `levels` is the prefix's level
  // table, indexed by variable; every variable of the clauses is defined in
  // it. `budget` bounds the literals touched.
  Result run(const std::vector<ClauseView>& antecedents, ClauseView target,
             const std::vector<unsigned>& levels, uint64_t budget);

  // The chain the last run found (FOUND only): antecedent indices in the
  // order of resolution, and the pivot variable of each resolution
  // (chain_pivots()[i] resolves with chain()[i + 1]).
  const std::vector<uint32_t>& chain() const { return chain_; }
  const std::vector<unsigned>& chain_pivots() const { return chain_pivots_; }

  // Literals touched by the last run: the measure of its work.
  uint64_t work() const { return work_; }
  // Resolutions computed by the last run.
  uint64_t resolutions() const { return resolutions_; }

 private:
  static constexpr uint32_t kNone = ~0u;

  // One node of the search: a running clause and the candidates that can
  // extend it, best first.
  struct Frame {
    uint32_t clause_begin;     // first literal of the running clause in clause_stack_
    uint32_t clause_size;      // its literal count
    uint64_t key;              // hash of the running clause and the set of used antecedents
    uint32_t candidates_begin; // first candidate in candidate_stack_
    uint32_t candidates_end;   // one past the last
    uint32_t next;             // next candidate to try, index into candidate_stack_
    uint32_t used;             // antecedent whose resolution made this clause (the start: itself)
    uint32_t pivot;            // local pivot variable of that resolution (the start: 0)
    uint32_t leeway;           // discrepancies still allowed below this node
    bool expanded;             // candidates computed
    bool tried;                // a child was searched (not cut off at once): the next costs leeway
  };
  // A candidate of a frame: an antecedent, its pivot, and its score.
  struct Candidate {
    uint32_t antecedent;  // index into the antecedents
    uint32_t pivot_code;  // the antecedent's literal that clashes with the running clause
    uint32_t outside;     // existential literals of the resolvent outside the target (lower is better)
  };

  Result descend(uint32_t start, uint32_t leeway, const std::vector<unsigned>& levels);
  void renumber(const std::vector<ClauseView>& antecedents, ClauseView target,
                const std::vector<unsigned>& levels);
  void prepare(const std::vector<ClauseView>& antecedents, ClauseView target, size_t codes);
  void finish(ClauseView target);
  bool contained(const Literal* literals, uint32_t size) const;
  bool dead_end(const Frame& frame, const std::vector<unsigned>& levels);
  bool removable(uint32_t code, const std::vector<unsigned>& levels);
  void expand(Frame& frame, const std::vector<unsigned>& levels);
  void use(uint32_t antecedent, bool used);
  uint32_t resolve(const Frame& frame, const Candidate& candidate,
                   const std::vector<unsigned>& levels, uint64_t& key);
  void record_chain(const Candidate* last);
  bool spend(uint64_t literals) {
    work_ += literals;
    return work_ <= budget_;
  }

  // The step's clauses over local variable numbers.
  std::unordered_map<uint32_t, uint32_t> local_of_;  // formula variable -> local variable
  std::vector<unsigned> local_levels_;         // local variable -> level
  std::vector<uint32_t> formula_variable_;     // local variable -> formula variable
  std::vector<Literal> local_literals_;        // the antecedents', then the target's literals
  std::vector<uint64_t> local_begins_;         // antecedent -> its first literal; then the target's
  std::vector<ClauseView> local_clauses_;      // antecedent -> its literals in local_literals_
  ClauseView local_target_;                    // the target in local_literals_

  const std::vector<ClauseView>* antecedents_ = nullptr;  // local_clauses_ during a run
  std::vector<uint8_t> in_target_;       // literal code -> in the target (all 0 between runs)
  std::vector<uint8_t> in_running_;      // literal code -> in the clause being expanded (all 0 between uses)
  std::vector<uint32_t> unused_count_;   // literal code -> occurrences in unused antecedents
  std::vector<uint32_t> first_occurrence_;  // literal code -> an occurrence in the antecedents, kNone if none
  std::vector<uint32_t> next_occurrence_;   // occurrence -> next one of the same code, kNone at the end
  std::vector<uint32_t> occurrence_antecedent_;  // occurrence -> its antecedent
  std::vector<uint32_t> occurring_codes_;   // codes whose first_occurrence_ is set
  std::vector<uint8_t> needed_;          // literal code -> its removal is accounted for (dead_end)
  std::vector<uint32_t> needed_codes_;   // codes set in needed_
  std::vector<uint8_t> forced_;          // antecedent -> must still be used (dead_end)
  std::vector<uint32_t> forced_queue_;   // antecedents set in forced_, in order found
  std::vector<uint8_t> is_used_;         // antecedent -> in the current chain
  std::vector<uint8_t> usable_;          // antecedent -> not tautological
  std::vector<uint32_t> rank_;           // antecedent -> position in the given order
  std::vector<Literal> clause_stack_;    // running clauses of the frames, stacked
  std::vector<Candidate> candidate_stack_;  // candidates of the frames, stacked
  std::vector<Frame> frames_;            // the path of the search, root first
  std::vector<uint32_t> chain_;          // the chain found: antecedents in order
  std::vector<unsigned> chain_pivots_;   // its pivots, formula variables
  // Node key -> the largest leeway with which it was explored without success.
  std::unordered_map<uint64_t, uint32_t> failed_;
  uint64_t used_key_ = 0;                // hash of the set of used antecedents
  uint64_t budget_ = 0;                  // literals the run may touch
  uint64_t work_ = 0;                    // literals touched so far
  uint64_t resolutions_ = 0;             // resolutions computed so far
  bool cut_ = false;                     // the current pass left a branch out for want of leeway
};

#endif
