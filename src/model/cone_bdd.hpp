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

#endif
