// Whether some assignment of a graph's inputs makes every literal of a
// clause false, decided with binary decision diagrams (BuDDy) over the
// clause's cone: the cone's AND nodes are built in node order, each from its
// operands' diagrams, with the inputs ordered as the graph numbers them
// (ascending variable order). Equivalence checks that drive a SAT solver
// into long searches are often small as diagrams when the inputs are few;
// where they are not, the node bound ends the attempt.
#ifndef ZEL_MODEL_CONE_BDD_HPP
#define ZEL_MODEL_CONE_BDD_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "model/aig.hpp"

enum class BddAnswer { kNever, kFalsifiable, kGaveUp };

// Decides whether some assignment of the inputs falsifies the clause
// `literals[0..count)` (graph literals of `aig`, no constant), using at most
// `node_limit` diagram nodes (20 bytes each, plus BuDDy's operation caches
// of a quarter as many entries each): kGaveUp when that is not enough (always
// below 8,192), or when
// the library cannot get its memory. The answer depends on the graph, the
// clause and the limit only. Memory besides the diagrams: a few words per
// graph node, for this call.
//
// With `falsifying` given, a kFalsifiable answer also leaves there one
// assignment that falsifies the clause: a graph literal per input of the
// cone, ascending, true inputs positive. It is the least such assignment
// when the inputs are read as a binary number, the lowest-numbered input
// first (inputs the clause does not depend on there are false); it is left
// empty when the store has no room for it. Other answers leave it empty.
//
// BuDDy keeps one process-wide diagram store; this function sets it up and
// tears it down again on each call, so calls must not overlap (zel decides
// clauses one at a time).
BddAnswer bdd_falsifiable(const Aig& aig, const uint32_t* literals, uint32_t count,
                          uint32_t node_limit, std::vector<uint32_t>* falsifying = nullptr);

// The same decision for a run of clauses whose cones overlap: one diagram
// store for all of them, where the diagram of a node stays while a reader
// may still need it. The readers are the AND nodes of the clauses' joint
// cone and each occurrence of a node in a clause, counted once when the
// store is made; a node's diagram goes when its last reader has been built,
// or released. A clause whose cone meets diagrams kept from earlier clauses
// builds only the gates above them; on the solver certificate of the
// benchmark the eleven clauses MiniSat leaves share 640,000 gates of the
// 1.9 M their cones hold. The answers (and falsifying assignments) are
// those of bdd_falsifiable with the same limit, except that a clause the
// shared store has no room for is decided as bdd_falsifiable decides it,
// after every kept diagram is dropped; from then on every clause is (the
// store is not shared any more). Which clauses share, and when the store
// gives up sharing, depends on the graph, the clauses and the limit only.
//
// Like bdd_falsifiable it uses BuDDy's one process-wide store: while one
// ConeDiagrams holds diagrams no other may exist and bdd_falsifiable must
// not be called.
class ConeDiagrams {
 public:
  // `clause_literals`: every literal of every clause the store will be
  // asked about or told of (graph literals, no constant), clause after
  // clause; `aig` must outlive the store.
  ConeDiagrams(const Aig& aig, const std::vector<uint32_t>& clause_literals, uint32_t node_limit);
  ~ConeDiagrams();
  ConeDiagrams(const ConeDiagrams&) = delete;
  ConeDiagrams& operator=(const ConeDiagrams&) = delete;

  // AND nodes of the clause's cone that have no diagram yet, counted up to
  // `limit` (a count above `limit` is returned as limit + 1): the work a
  // call of falsifiable would do. Every gate counts while nothing is kept.
  uint32_t missing_gates(const uint32_t* literals, uint32_t count, uint32_t limit);
  // As bdd_falsifiable. The clause's own occurrences stay counted until
  // release.
  BddAnswer falsifiable(const uint32_t* literals, uint32_t count,
                        std::vector<uint32_t>* falsifying = nullptr);
  // The clause (given to the constructor) is decided: its occurrences no
  // longer keep diagrams. Once per clause, whether or not it was asked.
  void release(const uint32_t* literals, uint32_t count);

  bool sharing() const;        // still one store for all clauses
  uint64_t built_gates() const;  // AND diagrams built by shared calls

 private:
  struct Store;                  // the diagrams and counts (in the .cpp)
  std::unique_ptr<Store> store_;  // never null
};

#endif
