// The clause a numbered step of a zel certificate derives, written once per
// kind of step: a chain of Q-resolutions (chain mode, and resolution lines
// as chains of two) and a merge (merge mode). The proof checker derives
// with them while checking; the core writer and the Herbrand functions
// replay the steps of a ProofRecord with the same functions, so the copies
// cannot drift apart.
//
// The derivations take every input as an argument and keep nothing between
// calls but the capacity of their work storage. Given a Strategy, a
// derivation hands it each reduction (the clause before reduction; the
// strategy keeps the literals reduction keeps, in their order) and goes on
// from what it kept; without one, reduction places the literals as
// WorkingClause::reduce does, the order the checker stores. Both orders
// hold the same literals.
#ifndef ZEL_PROOF_DERIVATION_HPP
#define ZEL_PROOF_DERIVATION_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"
#include "formula/qcnf.hpp"
#include "formula/strategy.hpp"
#include "formula/working_clause.hpp"
#include "proof/proof_record.hpp"
#include "store/clause_store.hpp"

// Views of stored clauses. Narrow clauses are widened into one buffer,
// reserved first so that no view moves; the views hold until the next load
// or the next clause stored.
struct LoadedClauses {
  std::vector<uint32_t> positions;  // the store positions to load, set by the caller
  PodVector<Literal> widened;       // the narrow clauses loaded, widened
  std::vector<ClauseView> views;    // position i -> the clause at positions[i]

  void load(const ClauseStore& clauses);
  // The largest literal code of the clauses loaded (0 when none).
  uint32_t largest_code() const;
};

// Work storage of the derivations, kept by the caller so that its capacity
// stays from step to step.
struct DerivationWork {
  std::vector<uint8_t> marks;        // literal code -> 0, lent to the rules; covers the
                                     // codes of every clause derived from (cover)
  WorkingClause running, resolved;   // derive_chain: the clauses a chain alternates between
  std::vector<Literal> before;       // with a strategy: a resolution's union before reduction
  std::vector<Literal> kept;         // with a strategy: the clause a reduction kept
  WorkingClause merged;              // derive_merge: the union, then without its pivots
  WorkingClause reduced;             // derive_merge: `merged` reduced
  std::vector<unsigned> merge_pivots;  // derive_merge: the pivot variables, in order met

  // Grows `marks` to cover `largest_code` and its complement; the size
  // reached, which covers more as the checker's other marks follow it.
  size_t cover(uint32_t largest_code);
};

// A chain's derived clause and what its resolutions met.
struct ChainDerivation {
  ClauseView clause;  // the derived clause: valid until `work` is used again
  bool clashed;       // every resolution found its pivot in both signs (else it
                      // stopped at the first that did not, `clause` unset)
  bool tautological;  // some resolution met a literal and its complement
};

// Resolves chain[0] with chain[1] on pivots[0], the result with chain[2]
// on pivots[1], ..., reducing after each resolution (Q-resolution for
// clauses); `length` clauses, length - 1 pivots. chain[0] itself is not
// reduced. Each resolution puts the next antecedent's literals first
// (resolve(chain[i], running)). work.marks covers every code of the chain.
ChainDerivation derive_chain(const std::vector<unsigned>& levels, const ClauseView* chain,
                             size_t length, const unsigned* pivots, DerivationWork& work,
                             Strategy* reductions);

// How a merge of n antecedents went: it needs exactly n - 1 pivots.
enum class MergeOutcome { MERGED, TOO_FEW_PIVOTS, TOO_MANY_PIVOTS };

// A merge's clauses and pivots, valid until `work` is used again.
struct MergeDerivation {
  MergeOutcome outcome;
  ClauseView merged;   // the union D; when MERGED, D without its pivots (what the
                       // step must show implied by the antecedents)
  ClauseView derived;  // MERGED: `merged` after one reduction (else unset)
  const std::vector<unsigned>& pivots;  // the variables met in both signs, in order met
};

// Merges `antecedents` (at least two): their union D, built by the
// resolvent's union rule, where every variable met in both signs is a
// pivot; with exactly n - 1 pivots, D without them is reduced once.
// work.marks covers every code of the antecedents.
MergeDerivation derive_merge(const std::vector<unsigned>& levels,
                             const std::vector<ClauseView>& antecedents, DerivationWork& work,
                             Strategy* reductions);

// Work storage of replays.
struct ReplayWork {
  LoadedClauses loaded;       // the clauses replayed from
  DerivationWork derivation;  // the derivation's own work storage
};

// Derives the clause of recorded step `step` (a chain or a merge) of
// `record` again over `formula`, from its chain or its antecedents, handing
// each reduction to `reductions` when given. The result holds until `work`
// is used again.
ClauseView replay_step(const ProofRecord& record, size_t step, const QCNF& formula,
                       ReplayWork& work, Strategy* reductions);

// For asserts and tests: `replayed` is the stored clause of recorded step
// `step` as a set (a searched chain's is contained in it).
bool replay_matches(const ProofRecord& record, size_t step, const QCNF& formula,
                    ClauseView replayed, ReplayWork& work);

#endif
