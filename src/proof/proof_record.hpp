// The record of a checked proof: plain data the proof checker fills as it
// applies steps and then hands out read-only. The core writer (core.cpp)
// and the Herbrand functions (functions.cpp) work from it and the formula
// alone, deriving a step's clause again with the same derivation the
// checker used (derivation.hpp).
#ifndef ZEL_PROOF_PROOF_RECORD_HPP
#define ZEL_PROOF_PROOF_RECORD_HPP

#include <cstdint>
#include <vector>

#include "store/clause_map.hpp"

struct ProofRecord {
  // What a step did. Clause steps store one clause each; an extension step
  // applied a definition.
  enum class Kind : uint8_t {
    CHAIN,           // a chain of resolutions, as the backward ordering found it
    SEARCHED_CHAIN,  // a chain the sound-chain search found: it derives a clause
                     // contained in the stored one (the supplied resolvent)
    MERGE,           // merge mode ("*"): the antecedents' union without its pivots
    TRUSTED,         // no antecedents, taken on trust (--ignore)
    EXTENSION,       // an extension definition applied
  };

  static constexpr uint32_t kNoDefinition = ~0u;  // the definition of a clause step

  // A step, in order of application (clause steps are in store order).
  struct Step {
    Kind kind;
    uint32_t number;             // certificate clause number it defined; 0 for an extension
    uint32_t position;           // store position of its clause; ClauseMap::kNone for an
                                 // extension
    uint32_t definition;         // an extension: its index in the formula's definitions;
                                 // kNoDefinition for a clause step
    uint32_t antecedents_begin;  // its antecedents: [begin, end) of `antecedents`
    uint32_t antecedents_end;
    uint32_t chain_begin;        // a chain: [begin, end) of `chain` and `pivots`
    uint32_t chain_end;
  };

  uint32_t input_clauses = 0;      // store positions 0 to n - 1 are the QBF file's clauses
  std::vector<Step> steps;         // in order of application
  std::vector<uint32_t> antecedents;  // each step's antecedents as listed, as store positions
                                      // taken before the step bound its number
  std::vector<uint32_t> chain;     // each chain's antecedents in order of resolution, store positions
  std::vector<unsigned> pivots;    // chain entry -> the pivot variable it resolves on (0 for the first)
  uint32_t refuted_position = ClauseMap::kNone;  // store position of the refuting clause
};

#endif
