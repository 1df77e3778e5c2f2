// The derivation of one QRP step, in one place for every user: the
// checker derives each step with it, and the core writer and the function
// extraction derive the steps of a checked record again with it. The
// antecedents are resolved in the listed order, each resolution followed by
// reduction (one antecedent: reduction alone), on the pivot the two share,
// by the rules of formula/rules with Rule::CLAUSE or Rule::CUBE. The result
// stays in the workspace, where the next step may resolve on from it.
#ifndef ZEL_PROOF_QRP_DERIVATION_HPP
#define ZEL_PROOF_QRP_DERIVATION_HPP

#include <cstdint>
#include <vector>

#include "formula/indexed_constraint.hpp"
#include "formula/rules.hpp"
#include "formula/strategy.hpp"
#include "formula/working_clause.hpp"
#include "proof/qrp_record.hpp"
#include "store/clause_store.hpp"

// Scratch of derive_qrp_step, kept from step to step so that its capacity
// stays. Its running constraint is the last derived one; `held` says which
// stored constraint that is, so that a step resolving on from the step
// before (as solvers write their learnt constraints) does not read it back.
struct QrpWorkspace {
  // Literal codes below `codes` (twice the variables, and two).
  explicit QrpWorkspace(size_t codes) : marks(codes, 0) {}

  std::vector<uint8_t> marks;       // literal code -> mark, all 0 between uses
  WorkingClause clauses[2];         // the running constraint and the next one
  unsigned current = 0;             // index in clauses of the running constraint
  uint32_t held = kNoPosition;      // store position the running constraint holds, if any
  bool pair_free = false;           // it holds distinct literals and no complementary pair
  IndexedConstraint chain;          // the running constraint once a long step switched
  std::vector<Literal> before;      // with a sink: a resolvent before its reduction

  WorkingClause& running() { return clauses[current]; }
  const WorkingClause& running() const { return clauses[current]; }
  // The running constraint's literals, for a caller that loads a step's
  // first antecedent into it; held and pair_free are then the caller's.
  std::vector<Literal>& load_running() { return running().overwrite(); }
};

// One step to derive. views[0] is the first antecedent, which must be the
// workspace's running constraint (load_running), views[1..count) the others.
struct QrpStepInput {
  Rule rule = Rule::CLAUSE;
  const std::vector<unsigned>* levels = nullptr;  // variable -> QBF level
  const ClauseView* views = nullptr;              // the antecedents, in the listed order
  size_t count = 0;                               // how many (at least 1)
  uint64_t listed = 0;     // the step's listed literals and antecedents, for the switch below
  // Resolutions on the working clauses have passed over work_done literals
  // in the run so far; a pass that takes them beyond work_bound ends the
  // step in WORK_BOUND.
  uint64_t work_done = 0;
  uint64_t work_bound = ~uint64_t{0};
  // The indexed constraint may take over a long step (its literal order is
  // its own: false for the order the working clauses give).
  bool allow_indexed = true;
  // When given, each reduction goes to it, in step order, with the literals
  // before reduction in the order the function extraction has always used;
  // only for checked steps without long-distance pairs (the work is
  // counted, not bounded, and the indexed constraint is not used).
  Strategy* sink = nullptr;
};

struct QrpDerivation {
  enum Outcome : uint8_t {
    DERIVED,          // the running constraint holds the derived constraint
    NO_SINGLE_CLASH,  // antecedent `place` meets the running one in no or several pivots
    REFUSED_PAIR,     // antecedent `place` makes a pair long-distance resolution refuses
    WORK_BOUND,       // the work bound was passed before resolving with antecedent `place`
  };
  Outcome outcome = DERIVED;
  size_t place = 0;           // the antecedent at fault (its index in views)
  bool several = false;       // NO_SINGLE_CLASH: several pivots (else none)
  unsigned pivot = 0;         // REFUSED_PAIR: the pivot
  unsigned variable = 0;      // REFUSED_PAIR: the refused pair's variable
  bool long_distance = false; // a long-distance pair was allowed on the way
  bool switched = false;      // the indexed constraint may have set the literal order
  uint64_t work = 0;          // literals passed over by resolutions on the working clauses
};

// Derives the step. Pre: input.views[0] is workspace.running() with
// workspace.pair_free telling whether it is known to be pair-free; marks
// all 0. Post: with DERIVED, workspace.running() holds the derived
// constraint (reduced), pair_free updated; workspace.held is kNoPosition
// (the caller sets it when it stores the constraint). Marks all 0.
QrpDerivation derive_qrp_step(const QrpStepInput& input, QrpWorkspace& workspace);

// The constraint at a store position: an input clause of `clauses`
// (through `widened`) or a stored one.
void read_qrp_constraint(const QrpRecord& record, const ClauseStore& clauses, uint32_t position,
                         PodVector<Literal>& widened, std::vector<Literal>& literals);

// For asserts: a replay through derive_qrp_step of the stored step at
// `position` rebuilds its constraint (as a set).
bool replays_stored(const QrpRecord& record, const ClauseStore& clauses,
                    const std::vector<unsigned>& levels, uint32_t position);

#endif
