// The limits zel puts on what an input may make it hold, in one place. Each
// keeps a hostile input from claiming memory or time out of proportion to
// its size; each refusal names the limit (see messages.hpp).
#ifndef ZEL_CORE_LIMITS_HPP
#define ZEL_CORE_LIMITS_HPP

#include <cstddef>
#include <cstdint>

// The per-variable tables are indexed by variable number and take 5 bytes
// per number up to the largest defined one, so numbers beyond this are
// refused: a file must not make us allocate gigabytes by naming one huge
// variable. Problem lines may still announce any count.
constexpr unsigned kMaxVariable = (1u << 25) - 1;  // 33554431: tables of at most 168 MB

// The announced clause count only sizes a reservation, and no further than
// this: a header may announce four billion clauses and hold two.
constexpr uint64_t kMaxClauseReservation = 1u << 20;

// Certificate clause numbers: the clause map must be able to count
// number + 1 entries in 32 bits.
constexpr uint32_t kLargestClauseNumber = 0xFFFFFFFEu;

// No number or keyword is longer than this; a longer token is refused at
// once instead of being collected whole (a file of zero bytes would
// otherwise grow one token until memory runs out).
constexpr size_t kLongestToken = 4096;

// A stored clause's length shares its header word with a flag bit.
constexpr uint32_t kLongestClause = 0x7FFFFFFFu;

#endif
