// The clause store (clauses appended to one arena, read back by position in
// their stored order) and the clause map (certificate clause numbers to
// 1-based positions, dense or sparse).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "store/clause_map.hpp"
#include "store/clause_store.hpp"
#include "support.hpp"

namespace {

using zeltest::dimacs;
using zeltest::ints;
using zeltest::literals;

// The clause at `position`, read through a buffer of its own.
struct Read {
  Read(const ClauseStore& store, uint32_t position) : view(store.read(position, buffer)) {}
  PodVector<Literal> buffer;
  ClauseView view;
};

TEST(ClauseStore, PositionsKeepOrderAndLiterals) {
  ClauseStore store;
  EXPECT_EQ(store.size(), 0u);
  EXPECT_EQ(store.literals(), 0u);
  const std::vector<std::vector<int>> clauses = {{3, -1, 2}, {}, {-2147483647}, {5, 4}};
  for (uint32_t i = 0; i < clauses.size(); ++i)
    EXPECT_EQ(store.push(literals(clauses[i])), i);
  ASSERT_EQ(store.size(), 4u);
  EXPECT_EQ(store.literals(), 6u);
  EXPECT_EQ(dimacs(Read(store, 0).view), ints({3, -1, 2}));
  EXPECT_TRUE(Read(store, 1).view.empty());
  EXPECT_EQ(dimacs(Read(store, 2).view), ints({-2147483647}));
  EXPECT_EQ(dimacs(Read(store, 3).view), ints({5, 4}));
  EXPECT_EQ(to_string(Read(store, 0).view), "(3, -1, 2)");
  EXPECT_EQ(to_string(Read(store, 1).view), "()");
  // The pushed vector is copied: changing it later changes nothing stored.
  std::vector<Literal> scratch = literals({7});
  store.push(scratch);
  scratch[0] = Literal(8);
  EXPECT_EQ(dimacs(Read(store, 4).view), ints({7}));
}

// Views stay readable by position however much the arena grew since.
TEST(ClauseStore, ManyClausesReadBackAfterGrowth) {
  ClauseStore store;
  store.reserve(10);
  std::vector<Literal> clause;
  for (int i = 1; i <= 20000; ++i) {
    clause.assign(static_cast<size_t>(i % 7), Literal(i));
    for (size_t k = 0; k < clause.size(); ++k) clause[k] = Literal(k % 2 ? -i - int(k) : i + int(k));
    store.push(clause);
  }
  uint64_t total = 0;
  for (uint32_t p = 0; p < store.size(); ++p) {
    const int i = static_cast<int>(p) + 1;
    ASSERT_EQ(Read(store, p).view.size, static_cast<uint32_t>(i % 7)) << p;
    for (uint32_t k = 0; k < Read(store, p).view.size; ++k)
      ASSERT_EQ(Read(store, p).view[k].to_dimacs(), k % 2 ? -i - int(k) : i + int(k));
    total += Read(store, p).view.size;
  }
  EXPECT_EQ(store.literals(), total);
  EXPECT_GE(store.bytes(), total * sizeof(Literal));
}

// Compact storage: a clause whose codes all fit 8 or 16 bits is stored
// narrow and widened on reading, one with a larger code stays wide; either reads
// back exactly, in order, and the literal count and truncation see both.
TEST(ClauseStore, CompactClausesReadBackInEitherForm) {
  struct Row {
    std::vector<int> clause;
    bool narrow;
  };
  const std::vector<Row> rows = {
      {{}, true},
      {{1}, true},
      {{-1, 2}, true},
      {{3, -4, 5}, true},
      {{32767, -32767, 1, 2, 3}, true},  // codes 65534 and 65535
      {{32768}, false},                  // code 65536
      {{1, 2, -40000, 3}, false},
      // Codes up to 255 go four to a word: every remainder of four.
      {{127, -127, 1, 2, 3, -4, 5}, true},  // codes 254 and 255
      {{-1, 2, 3, 4}, true},
      {{-1, 2, 3, 4, -5}, true},
      {{6, 7, 8, 9, 10, 11}, true},
      {{128, 1}, true},  // code 256: two to a word
  };
  ClauseStore store;
  store.push(literals({7, 8, 9}));  // a wide clause first
  uint64_t total = 3;
  for (const Row& row : rows) {
    const uint32_t position = store.push_compact(literals(row.clause));
    total += row.clause.size();
    EXPECT_EQ(store.narrow_size(position), row.narrow ? row.clause.size() : 0u);
  }
  EXPECT_EQ(store.literals(), total);
  // All read through one buffer reserved once: earlier views stay valid.
  PodVector<Literal> buffer;
  size_t narrow = 0;
  for (uint32_t position = 0; position < store.size(); ++position)
    narrow += store.narrow_size(position);
  buffer.reserve(narrow);
  std::vector<ClauseView> views;
  for (uint32_t position = 0; position < store.size(); ++position)
    views.push_back(store.read(position, buffer));
  EXPECT_EQ(dimacs(views[0]), ints({7, 8, 9}));
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(dimacs(views[i + 1]),
              std::vector<int64_t>(rows[i].clause.begin(), rows[i].clause.end()));
  store.truncate(4);
  EXPECT_EQ(store.literals(), 3u + 0 + 1 + 2);
}

// Random clauses over variables of every width (codes within 8 bits,
// within 16, beyond) and of every length up to 20, pushed compact and wide
// in turn: each reads back exactly, and truncation keeps the count of the
// literals left.
TEST(ClauseStore, RandomClausesOfEveryWidthReadBack) {
  std::mt19937 random(7);
  ClauseStore store;
  std::vector<std::vector<int>> stored;
  for (int k = 0; k < 3000; ++k) {
    const int largest = std::vector<int>{127, 128, 32767, 40000}[random() % 4];
    std::vector<int> clause;
    const size_t length = random() % 21;
    while (clause.size() < length) {
      const int variable = 1 + static_cast<int>(random() % largest);
      const int literal = random() % 2 ? variable : -variable;
      if (std::find(clause.begin(), clause.end(), literal) == clause.end()) clause.push_back(literal);
    }
    if (k % 5 == 0)
      store.push(literals(clause));
    else
      store.push_compact(literals(clause));
    stored.push_back(clause);
  }
  uint64_t total = 0;
  for (uint32_t position = 0; position < store.size(); ++position) {
    PodVector<Literal> buffer;
    ASSERT_EQ(dimacs(store.read(position, buffer)),
              std::vector<int64_t>(stored[position].begin(), stored[position].end()))
        << position;
    total += stored[position].size();
  }
  EXPECT_EQ(store.literals(), total);
  store.truncate(1000);
  total = 0;
  for (uint32_t position = 0; position < 1000; ++position) total += stored[position].size();
  EXPECT_EQ(store.literals(), total);
  PodVector<Literal> buffer;
  EXPECT_EQ(dimacs(store.read(999, buffer)),
            std::vector<int64_t>(stored[999].begin(), stored[999].end()));
}

// A clause longer than its header word can count is refused with its own
// message, through either push, before a literal is read; the store stays
// as it was.
TEST(ClauseStore, TooLongAClauseIsRefused) {
  ClauseStore store;
  const Literal literal = Literal(3);
  store.push(&literal, 1);
  EXPECT_EQ(zeltest::message_of([&] { store.push(&literal, 0x80000000u); }),
            "Clause of 2147483648 literals is too long to store (at most 2147483647).");
  EXPECT_EQ(store.size(), 1u);
  EXPECT_EQ(store.literals(), 1u);
}

TEST(ClauseMap, DenseNumbers) {
  ClauseMap map;
  map.resize(5);
  EXPECT_EQ(map.size(), 5u);
  for (uint32_t k = 0; k < 5; ++k) EXPECT_FALSE(map.defined(k));
  for (uint32_t k = 1; k < 5; ++k) map.set(k, k);
  EXPECT_EQ(map[4], 4u);
  // Setting beyond the size grows the map to the number; the gap is undefined.
  map.set(10, 5);
  EXPECT_EQ(map.size(), 11u);
  for (uint32_t k = 5; k < 10; ++k) EXPECT_FALSE(map.defined(k)) << k;
  EXPECT_EQ(map[10], 5u);
  // A later entry for the same number overwrites it.
  map.set(10, 6);
  EXPECT_EQ(map[10], 6u);
  EXPECT_FALSE(map.defined(11));
  EXPECT_FALSE(map.defined(4000000000u));
}

// Sparse numbering must not cost memory in proportion to the number, and
// must still read back once the dense part grows over the sparse entries.
TEST(ClauseMap, LargeAndSparseNumbers) {
  ClauseMap map;
  map.resize(3);
  map.set(1, 1);
  map.set(2, 2);
  map.set(4000000000u, 3);
  EXPECT_EQ(map[4000000000u], 3u);
  EXPECT_EQ(map.size(), 4000000001ull);
  EXPECT_FALSE(map.defined(3999999999u));
  map.set(ClauseMap::kLargestClauseNumber, 4);
  EXPECT_EQ(map[ClauseMap::kLargestClauseNumber], 4u);
  EXPECT_EQ(map.size(), uint64_t{ClauseMap::kLargestClauseNumber} + 1);

  map.set(3000000, 5);  // beyond the dense part: sparse for now
  for (uint32_t k = 3; k < 2100000; ++k) map.set(k, k + 10);  // the dense part grows over it
  EXPECT_EQ(map[3000000], 5u);
  map.set(3000000, 6);
  EXPECT_EQ(map[3000000], 6u);
  EXPECT_EQ(map[2099999], 2100009u);
  EXPECT_EQ(map[4000000000u], 3u);
  EXPECT_EQ(map[1], 1u);
  EXPECT_FALSE(map.defined(2999999));
}

}  // namespace
