// The model test in four steps:
//   1. Random simulation of the clauses' joint cone, 64 assignments per word,
//      finds most counterexamples at once and bounds the search: only the
//      clauses before the first falsified one still need an exact answer.
//   2. When the clauses before that bound depend on few free variables
//      altogether, every assignment of them is enumerated, a chunk of words
//      at a time, and every clause is tested against each chunk.
//   3. Otherwise each clause in order is decided alone: by enumerating its
//      own cone when that is cheap, else by MiniSat given the three clauses
//      of every AND node in its cone and the clause's complement as
//      assumptions. One incremental solver serves all clauses; a node's
//      clauses are added once, when a cone first reaches it. Adding gates
//      never changes an answer: every partial network extends uniquely.
//      An enumerated cone also decides the later clauses whose cones it
//      (nearly) holds, so clauses sharing a cone pay for it once; and the
//      enumeration work of the run is bounded, past the bound every clause
//      goes to MiniSat. A clause MiniSat leaves within its budgets goes to
//      decision diagrams of its cone (cone_bdd.hpp), which may prove it
//      never false, or give a falsifying assignment that MiniSat confirms
//      by propagation under assumptions; when they give up, MiniSat goes on
//      without a bound. The diagrams of one run share one store, which
//      keeps a node's diagram while a later clause may read it; a clause
//      whose cone lacks few diagrams beside those goes to the diagrams
//      before MiniSat's search.
//   4. The counterexample's assignment is made canonical where the cone is
//      small (the first falsifying assignment in enumeration order, with the
//      lowest-numbered free variable as the lowest bit), and the values of
//      all defined variables are computed from it.
// Everything runs over the structurally hashed graph (aig.hpp), where a
// cone holds each distinct function once. Every traversal is iterative
// (graphs have millions of nodes); memory is a few words per node plus the
// solver's clauses for the cones it needs.

#include "model/clause_decider.hpp"

#include <minisat/core/Solver.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>

#include "core/hash.hpp"
#include "model/cone_bdd.hpp"
#include "model/tseitin.hpp"

using Minisat::lbool;  // l_True expands to it

namespace {

// A solver budget that never runs out.
constexpr uint64_t kUnbounded = ~uint64_t{0};
// Clause code of a clause that always holds.
constexpr uint32_t kHolds = ~0u;
// Code words an AND node adds to a program (two operands) and to a pass
// over it (with its own value).
constexpr uint64_t kAndWords = 3;

// A cone with more free variables than this goes to MiniSat: 2^22
// assignments are 65536 words per gate.
constexpr uint32_t kConeFreeLimit = 22;
// Rounds of random simulation, each of up to 64 × kMaxWords assignments.
constexpr uint32_t kSimulationRounds = 8;
// Words per slot in one evaluation pass: enough to amortise the walk over
// the program, bounded so a pass's values stay within kChunkBytes.
constexpr uint32_t kMaxWords = 64;
constexpr uint64_t kChunkBytes = uint64_t{8} << 20;

// Lane patterns of the six lowest assignment bits within one word: lane L
// holds bit i of L.
constexpr uint64_t kLanePattern[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull,
                                      0xF0F0F0F0F0F0F0F0ull, 0xFF00FF00FF00FF00ull,
                                      0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};

// A clause whose cone lacks at most this many gate diagrams, beside those
// kept from the clauses the diagrams decided before, goes to the diagrams
// before MiniSat: building that many costs about what MiniSat's search of
// an easy clause does on a large graph, where each one propagates through
// every gate encoded so far.
constexpr uint32_t kDiagramsFirstGates = 4096;

uint32_t log2_of(uint32_t power) {
  uint32_t log = 0;
  while ((1u << log) < power) ++log;
  return log;
}

// Work of enumerating 2^free assignments of a program of `size` code words,
// saturating instead of overflowing.
uint64_t enumeration_cost(uint64_t size, size_t free) {
  if (free <= 6) return size;
  if (free - 6 >= 40) return ~uint64_t{0};
  const uint64_t passes = uint64_t{1} << (free - 6);
  return size > (~uint64_t{0}) / passes ? ~uint64_t{0} : size * passes;
}

// Most code words whose enumeration over `free` variables costs at most
// `budget`: the inverse of enumeration_cost.
uint64_t words_within(uint64_t budget, size_t free) {
  if (free <= 6) return budget;
  if (free - 6 >= 64) return 0;
  return budget >> (free - 6);
}

// Seconds since `start`, for the statistics only: no decision reads them.
double seconds_since(ClauseDecider::Clock::time_point start) {
  return std::chrono::duration<double>(ClauseDecider::Clock::now() - start).count();
}

}  // namespace

// The incremental solver of step 3: one for all clauses, given the three
// clauses of every AND node of a cone the first time a cone reaches it.
struct ClauseDecider::ConeSolver {
  Minisat::Solver solver;              // the definitions met so far
  std::vector<int> variable;           // node -> solver variable; -1 none yet
  std::vector<uint32_t> stack;         // encode's nodes still to visit
  std::vector<uint32_t> new_gates;     // encode's AND nodes given variables in this call
  std::vector<uint32_t> fixed_inputs;  // solve_clause: graph literals of inputs assumed
};

ClauseDecider::ClauseDecider(const ModelGraph& graph, const ClauseStore& clauses,
                             uint32_t input_clauses, Limits limits)
    : graph_(&graph), input_clauses_(input_clauses), limits_(limits) {
  initialise(clauses);
}

ClauseDecider::ClauseDecider(const Network& network, const ClauseStore& clauses,
                             uint32_t input_clauses, Limits limits)
    : input_clauses_(input_clauses), limits_(limits) {
  assert(input_clauses <= clauses.size());
  uint32_t variables = network.variables;
  PodVector<Literal> widened;
  for (uint32_t position = 0; position < input_clauses; ++position) {
    widened.clear();
    for (const Literal& literal : clauses.read(position, widened))
      variables = std::max(variables, literal.variable() + 1);
  }
  owned_graph_.reset(new ModelGraph(build_model_graph(network, variables)));
  graph_ = owned_graph_.get();
  initialise(clauses);
}

// The clauses in graph literals (GraphClauses).
void ClauseDecider::initialise(const ClauseStore& clauses) {
  assert(input_clauses_ <= clauses.size());
  aig_ = &graph_->aig;
  clauses_.begin.assign(1, 0);
  clauses_.holds.assign(input_clauses_, 0);
  std::vector<uint32_t> literals;
  PodVector<Literal> widened;  // a narrow stored clause, widened for reading
  for (uint32_t position = 0; position < input_clauses_; ++position) {
    literals.clear();
    widened.clear();
    for (const Literal& literal : clauses.read(position, widened)) {
      assert(literal.variable() < graph_->literal_of.size());
      literals.push_back(graph_->literal_of[literal.variable()] ^ (literal.code & 1u));
    }
    std::sort(literals.begin(), literals.end());
    literals.erase(std::unique(literals.begin(), literals.end()), literals.end());
    bool holds = false;
    for (size_t i = 0; i < literals.size() && !holds; ++i)
      holds = literals[i] == Aig::kTrueLiteral || (i > 0 && literals[i] == (literals[i - 1] ^ 1u));
    if (holds) {
      clauses_.holds[position] = 1;
    } else {
      for (uint32_t literal : literals)
        if (literal != Aig::kFalseLiteral) clauses_.literals.push_back(literal);
    }
    clauses_.begin.push_back(static_cast<uint32_t>(clauses_.literals.size()));
  }
  stamps_.stamp.assign(aig_->nodes(), 0);
}

ClauseDecider::ClauseDecider(const Network& network, const ClauseStore& clauses,
                             uint32_t input_clauses)
    : ClauseDecider(network, clauses, input_clauses, Limits()) {}

ClauseDecider::~ClauseDecider() = default;

uint32_t ClauseDecider::NodeStamps::next() {
  if (++epoch == 0) {
    std::fill(stamp.begin(), stamp.end(), 0);
    epoch = 1;
  }
  return epoch;
}

// Stamps the nodes of the clause at `position` that `epoch` has not met
// yet and pushes them onto `stack` for a walk.
void ClauseDecider::push_clause_nodes(uint32_t position, uint32_t epoch,
                                      std::vector<uint32_t>& stack) {
  for (uint32_t k = 0; k < clauses_.size_of(position); ++k) {
    const uint32_t node = clauses_.literals_of(position)[k] >> 1;
    if (stamps_.stamp[node] == epoch) continue;
    stamps_.stamp[node] = epoch;
    stack.push_back(node);
  }
}

bool ClauseDecider::value(uint32_t variable) const {
  if (witness_.empty() || variable >= graph_->literal_of.size()) return false;
  const uint32_t literal = graph_->literal_of[variable];
  return (witness_[literal >> 1] ^ literal) & 1u;
}

// Compiles the complete `cone` (free variables and gates ascending, so
// topological) into evaluation.program; leaves evaluation.slot mapping
// their nodes to their slots.
void ClauseDecider::compile(const Cone& cone, Evaluation& evaluation) const {
  Program& program = evaluation.program;
  std::vector<uint32_t>& slot_of = evaluation.slot;
  if (slot_of.size() != aig_->nodes()) slot_of.assign(aig_->nodes(), 0);
  program.free_variables = cone.free;
  for (uint32_t slot = 0; slot < cone.free.size(); ++slot) slot_of[cone.free[slot]] = slot;
  assert(std::is_sorted(cone.gates.begin(), cone.gates.end()) && "gates out of topological order");
  program.gates = static_cast<uint32_t>(cone.gates.size());
  program.code.clear();
  program.code.reserve(2 * cone.gates.size());
  uint32_t slot = static_cast<uint32_t>(cone.free.size());
  for (uint32_t node : cone.gates) {
    assert(aig_->is_and(node));
    const uint32_t left = aig_->left(node), right = aig_->right(node);
    program.code.push_back((slot_of[left >> 1] << 1) | (left & 1u));
    program.code.push_back((slot_of[right >> 1] << 1) | (right & 1u));
    slot_of[node] = slot++;
  }
}

// After compile: the clauses at `positions`, every node of which must have
// a slot in the program.
void ClauseDecider::compile_clauses(const uint32_t* positions, uint32_t count,
                                    Evaluation& evaluation) const {
  Program& program = evaluation.program;
  program.clause_code.clear();
  program.positions.assign(positions, positions + count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t position = positions[i];
    assert(position < input_clauses_);
    if (clauses_.holds[position]) {
      program.clause_code.push_back(kHolds);
      continue;
    }
    program.clause_code.push_back(clauses_.size_of(position));
    const uint32_t* literals = clauses_.literals_of(position);
    for (uint32_t k = 0; k < clauses_.size_of(position); ++k)
      program.clause_code.push_back((evaluation.slot[literals[k] >> 1] << 1) | (literals[k] & 1u));
  }
}

// The joint cone of the clauses at positions 0 to end - 1 into `cone`
// (its gates and free variables only), by one backward sweep over the gates
// (a gate after all gates that read it), then compiled with those clauses.
void ClauseDecider::relevant_program(uint32_t end, Cone& cone, Evaluation& evaluation) {
  assert(end <= input_clauses_);
  const uint32_t epoch = stamps_.next();
  std::vector<uint32_t>& stamp = stamps_.stamp;
  for (uint32_t position = 0; position < end; ++position)
    for (uint32_t k = 0; k < clauses_.size_of(position); ++k)
      stamp[clauses_.literals_of(position)[k] >> 1] = epoch;
  cone.gates.clear();
  cone.free.clear();
  for (uint32_t node = aig_->nodes(); node-- > 1;) {
    if (stamp[node] != epoch) continue;
    if (aig_->is_input(node)) {
      cone.free.push_back(node);
      continue;
    }
    cone.gates.push_back(node);
    stamp[aig_->left(node) >> 1] = epoch;
    stamp[aig_->right(node) >> 1] = epoch;
  }
  std::reverse(cone.gates.begin(), cone.gates.end());
  std::reverse(cone.free.begin(), cone.free.end());
  compile(cone, evaluation);
  std::vector<uint32_t> positions(end);
  for (uint32_t position = 0; position < end; ++position) positions[position] = position;
  compile_clauses(positions.data(), end, evaluation);
}

// The cone of one clause by depth-first search, into cone.gates (sorted
// topologically) and cone.free (ascending), its code words (gates, clause,
// free slots) into cone.words. False, with the cone left incomplete, as
// soon as it has more than `free_limit` free variables or its enumeration
// would cost more than `budget`. `work` grows by the words walked.
bool ClauseDecider::collect_cone(uint32_t position, uint32_t free_limit, uint64_t budget,
                                 Cone& cone, uint64_t& work) {
  assert(position < input_clauses_ && !clauses_.holds[position]);
  const uint32_t epoch = stamps_.next();
  cone.gates.clear();
  cone.free.clear();
  cone.stack.clear();
  push_clause_nodes(position, epoch, cone.stack);
  cone.words = 2 + clauses_.size_of(position);  // words read per pass: gates, clause, free slots
  const bool fits = walk(epoch, free_limit, budget, cone, cone.words);
  work += cone.words;
  if (!fits) return false;
  std::sort(cone.gates.begin(), cone.gates.end());
  std::sort(cone.free.begin(), cone.free.end());
  return true;
}

// Continues a depth-first walk from the variables on cone.stack (stamped
// with `epoch`): the gates and free variables met are stamped and appended
// to cone.gates and cone.free, their code words added to `size`. False,
// with the walk unfinished, as soon as cone.free holds more than
// `free_limit` variables or enumerating what the cone holds so far would
// cost more than `budget`. The test is made after every variable, free
// ones included: both counts only grow, so a cone that fails it midway
// fails it whole, and one that passes the last test passes with its real
// size.
bool ClauseDecider::walk(uint32_t epoch, uint32_t free_limit, uint64_t budget, Cone& cone,
                         uint64_t& size) {
  std::vector<uint32_t>& stamp = stamps_.stamp;
  while (!cone.stack.empty()) {
    const uint32_t node = cone.stack.back();
    cone.stack.pop_back();
    assert(stamp[node] == epoch);
    if (aig_->is_input(node)) {
      cone.free.push_back(node);
      if (cone.free.size() > free_limit) return false;
      ++size;
    } else {
      cone.gates.push_back(node);
      size += kAndWords;
      for (const uint32_t operand : {aig_->left(node) >> 1, aig_->right(node) >> 1}) {
        if (stamp[operand] == epoch) continue;
        stamp[operand] = epoch;
        cone.stack.push_back(operand);
      }
    }
    if (enumeration_cost(size, cone.free.size()) > budget) return false;
  }
  return true;
}

// After collect_cone(position) succeeded: the clauses from position + 1 to
// end - 1, not yet decided, that the cone nearly holds join it, so that one
// enumeration decides them all (cone.members, ascending, position first). A
// clause joins when its own cone adds no free variable and the members
// together add no more code words than the cone had: the enumeration then
// costs at most twice the cone's, where each member alone would cost up to
// the cone's again. The scan reads no more words than the enumeration of
// the cone alone, so a cheap cone scans few clauses; `work` grows by them.
// The enumeration of the result fits in `budget` words of work.
void ClauseDecider::gather_sharing(uint32_t position, uint32_t end,
                                   const std::vector<uint8_t>& decided, uint64_t budget,
                                   Cone& cone, uint64_t& work) {
  assert(end <= decided.size() && position < end);
  cone.members.assign(1, position);
  const uint32_t epoch = stamps_.epoch;  // collect_cone's
  std::vector<uint32_t>& stamp = stamps_.stamp;
  const uint32_t free = static_cast<uint32_t>(cone.free.size());
  const uint64_t within = words_within(budget, free);
  if (within <= cone.words) return;
  uint64_t allowance = std::min(cone.words, within - cone.words);  // words members may add
  const uint64_t scan_limit = enumeration_cost(cone.words, free);
  const size_t cone_gates = cone.gates.size();
  uint64_t scanned = 0;
  for (uint32_t candidate = position + 1; candidate < end && scanned < scan_limit; ++candidate) {
    if (decided[candidate]) continue;
    uint64_t added = 1 + clauses_.size_of(candidate);  // the clause's own code words
    const size_t gates_before = cone.gates.size();
    cone.stack.clear();
    push_clause_nodes(candidate, epoch, cone.stack);
    const bool joins = added <= allowance &&
                       walk(epoch, free, enumeration_cost(allowance, free), cone, added);
    scanned += added;
    if (joins) {
      allowance -= added;
      cone.members.push_back(candidate);
      continue;
    }
    // The candidate's cone reaches beyond: forget what its walk met.
    for (size_t i = gates_before; i < cone.gates.size(); ++i) stamp[cone.gates[i]] = 0;
    for (size_t i = free; i < cone.free.size(); ++i) stamp[cone.free[i]] = 0;
    for (uint32_t node : cone.stack) stamp[node] = 0;
    cone.gates.resize(gates_before);
    cone.free.resize(free);
  }
  work += scanned;
  if (cone.gates.size() > cone_gates) std::sort(cone.gates.begin(), cone.gates.end());
}

// Evaluates the program's gates for `words` words of assignments per slot;
// the free slots of evaluation.values must be filled.
void ClauseDecider::evaluate(Evaluation& evaluation, uint32_t words) {
  const Program& program = evaluation.program;
  assert(evaluation.values.size() >= uint64_t{program.slots()} * words &&
         program.code.size() == 2 * size_t{program.gates});
  uint64_t* values = evaluation.values.data();
  uint64_t* out = values + static_cast<uint64_t>(program.free_variables.size()) * words;
  const uint32_t* code = program.code.data();
  const uint32_t* const end = code + program.code.size();
  for (; code != end; code += 2, out += words) {
    const uint64_t* a = values + static_cast<uint64_t>(code[0] >> 1) * words;
    const uint64_t* b = values + static_cast<uint64_t>(code[1] >> 1) * words;
    const uint64_t af = uint64_t{0} - (code[0] & 1u);
    const uint64_t bf = uint64_t{0} - (code[1] & 1u);
    for (uint32_t w = 0; w < words; ++w) out[w] = (a[w] ^ af) & (b[w] ^ bf);
  }
}

// Index of the first compiled clause below `limit` that one of the
// evaluated assignments falsifies, with that assignment's lane (word × 64 +
// bit) in `lane`; `limit` when there is none.
uint32_t ClauseDecider::first_falsified_lane(const Evaluation& evaluation, uint32_t limit,
                                             uint32_t words, uint64_t& lane) {
  const Program& program = evaluation.program;
  assert(limit <= program.positions.size());
  const uint64_t* values = evaluation.values.data();
  const uint32_t* code = program.clause_code.data();
  for (uint32_t clause = 0; clause < limit; ++clause) {
    const uint32_t size = code[0];
    if (size == kHolds) {
      ++code;
      continue;
    }
    const uint32_t* literals = code + 1;
    for (uint32_t w = 0; w < words; ++w) {
      uint64_t falsified = ~uint64_t{0};
      for (uint32_t i = 0; i < size && falsified; ++i) {
        const uint64_t flip = uint64_t{0} - (literals[i] & 1u);
        falsified &= ~(values[static_cast<uint64_t>(literals[i] >> 1) * words + w] ^ flip);
      }
      if (falsified) {
        lane = static_cast<uint64_t>(w) * 64 + static_cast<uint64_t>(__builtin_ctzll(falsified));
        return clause;
      }
    }
    code += 1 + size;
  }
  return limit;
}

// Words per slot for one pass over the program: a power of two, at most
// kMaxWords, within kChunkBytes, and for an enumeration of 2^free
// assignments no more than that many lanes.
uint32_t ClauseDecider::chunk_words(const Program& program) {
  const uint64_t slots = std::max<uint64_t>(1, program.slots());
  const size_t free = program.free_variables.size();
  uint32_t words = 1;
  while (words < kMaxWords && slots * words * 2 * sizeof(uint64_t) <= kChunkBytes &&
         6 + log2_of(words * 2) <= free)
    words *= 2;
  return words;
}

// Random simulation of evaluation.program (compiled over the clauses at
// positions 0 to bound - 1); returns the first clause position some
// simulated assignment falsifies, or `bound`, and keeps that assignment in
// witness_.
uint32_t ClauseDecider::simulate(Evaluation& evaluation, uint32_t bound) {
  const Program& program = evaluation.program;
  std::vector<uint64_t>& values = evaluation.values;
  assert(bound <= input_clauses_ && program.positions.size() <= bound);
  const uint32_t free = static_cast<uint32_t>(program.free_variables.size());
  uint32_t words = 1;
  while (words < 4 && program.slots() * uint64_t{words} * 2 * sizeof(uint64_t) <= kChunkBytes)
    words *= 2;
  values.resize(std::max<uint64_t>(1, program.slots()) * words);
  uint64_t state = 0x5EEDull;  // fixed seed: runs are reproducible
  uint32_t limit = static_cast<uint32_t>(program.positions.size());
  for (uint32_t round = 0; round < kSimulationRounds && limit > 0; ++round) {
    ++statistics_.simulation_rounds;
    for (uint64_t i = 0; i < uint64_t{free} * words; ++i) values[i] = next_random(state);
    evaluate(evaluation, words);
    uint64_t lane = 0;
    const uint32_t clause = first_falsified_lane(evaluation, limit, words, lane);
    if (clause == limit) continue;
    limit = clause;
    witness_.assign(aig_->nodes(), 0);
    for (uint32_t slot = 0; slot < free; ++slot)
      witness_[program.free_variables[slot]] =
          (values[uint64_t{slot} * words + lane / 64] >> (lane % 64)) & 1u;
  }
  return limit < program.positions.size() ? program.positions[limit] : bound;
}

// Enumerates every assignment of the program's free variables in chunks;
// returns the index of the first compiled clause below `limit` that one
// falsifies, or `limit`, and keeps in witness_ the first assignment (in
// enumeration order) that falsifies it.
uint32_t ClauseDecider::enumerate(Evaluation& evaluation, uint32_t limit) {
  const Program& program = evaluation.program;
  const uint32_t free = static_cast<uint32_t>(program.free_variables.size());
  assert(free < 64 && limit <= program.positions.size());
  const uint32_t words = chunk_words(program);
  const uint32_t log_words = log2_of(words);
  const uint64_t chunks = free <= 6 + log_words ? 1 : uint64_t{1} << (free - 6 - log_words);
  evaluation.values.resize(std::max<uint64_t>(1, program.slots()) * words);
  uint32_t best = limit;
  for (uint64_t chunk = 0; chunk < chunks && best > 0; ++chunk) {
    for (uint32_t slot = 0; slot < free; ++slot) {
      uint64_t* out = evaluation.values.data() + uint64_t{slot} * words;
      if (slot < 6) {
        std::fill(out, out + words, kLanePattern[slot]);
      } else if (slot - 6 < log_words) {
        for (uint32_t w = 0; w < words; ++w) out[w] = ((w >> (slot - 6)) & 1u) ? ~uint64_t{0} : 0;
      } else {
        const bool bit = (chunk >> (slot - 6 - log_words)) & 1u;
        std::fill(out, out + words, bit ? ~uint64_t{0} : 0);
      }
    }
    evaluate(evaluation, words);
    uint64_t lane = 0;
    const uint32_t clause = first_falsified_lane(evaluation, best, words, lane);
    if (clause == best) continue;
    best = clause;
    const uint64_t assignment = chunk * words * 64 + lane;
    witness_.assign(aig_->nodes(), 0);
    for (uint32_t slot = 0; slot < free; ++slot)
      witness_[program.free_variables[slot]] = (assignment >> slot) & 1u;
  }
  return best;
}

// Decides one clause: the incremental solver within its budgets, then
// decision diagrams of its cone, then the solver without bound. When the
// diagrams show the clause falsifiable, their assignment of the cone's
// inputs (every other input of the solver false) goes to the solver as
// assumptions besides the clause's complement: every gate then follows by
// propagation, and the counterexample printed is the solver's model as
// ever. That assignment falsifies the clause; were the solver ever to
// disagree, the unbounded search decides instead. The diagrams are those of
// the run's store (start_diagrams), made for the clauses from `position`
// to `end` - 1 not yet `decided` when the first clause needs it.
bool ClauseDecider::solve_clause(uint32_t position, uint32_t end,
                                 const std::vector<uint8_t>& decided) {
  const int answer = solve_within(position, limits_.conflict_budget, limits_.propagation_budget);
  if (answer >= 0) return answer == 1;
  if (!diagrams_) start_diagrams(position, end, decided);
  const int diagrams = decide_by_diagrams(position);
  if (diagrams >= 0) return diagrams == 1;
  return solve_within(position, kUnbounded, kUnbounded) == 1;
}

// The run's diagram store, counting as readers the clauses from `position`
// to `end` - 1 that are not `decided` and do not always hold.
void ClauseDecider::start_diagrams(uint32_t position, uint32_t end,
                                   const std::vector<uint8_t>& decided) {
  assert(!diagrams_ && end <= decided.size());
  std::vector<uint32_t> literals;
  diagram_readers_.assign(end, 0);
  for (uint32_t counted = position; counted < end; ++counted) {
    if (decided[counted] || clauses_.holds[counted]) continue;
    diagram_readers_[counted] = 1;
    literals.insert(literals.end(), clauses_.literals_of(counted),
                    clauses_.literals_of(counted) + clauses_.size_of(counted));
  }
  diagrams_.reset(new ConeDiagrams(*aig_, literals, limits_.diagram_nodes));
  released_ = position;
}

// The decision diagrams on one clause, after the solver was made: 0 when
// they prove it never false, 1 when they show it falsifiable and the solver
// confirms their assignment (the solver's model is the witness), -1 when
// they give up (or cannot give the assignment).
int ClauseDecider::decide_by_diagrams(uint32_t position) {
  assert(solver_ && diagrams_);
  const Clock::time_point start = Clock::now();
  // Graph literals of the inputs to assume:
  std::vector<uint32_t>& fixed = solver_->fixed_inputs;
  const BddAnswer diagrams =
      diagrams_->falsifiable(clauses_.literals_of(position), clauses_.size_of(position), &fixed);
  statistics_.diagram_seconds += seconds_since(start);
  if (diagrams == BddAnswer::kNever) {
    ++statistics_.diagram_clauses;
    return 0;
  }
  // Empty: the diagram store had no room for the assignment.
  if (diagrams != BddAnswer::kFalsifiable || fixed.empty()) return -1;
  const uint32_t epoch = stamps_.next();
  for (const uint32_t literal : fixed) stamps_.stamp[literal >> 1] = epoch;
  for (uint32_t node = 1; node < aig_->nodes(); ++node)
    if (aig_->is_input(node) && solver_->variable[node] >= 0 && stamps_.stamp[node] != epoch)
      fixed.push_back(2 * node + 1);
  const uint64_t conflicts = solver_->solver.conflicts;
  if (solve_within(position, kUnbounded, kUnbounded, fixed) == 1) {
    assert(solver_->solver.conflicts == conflicts && "confirmed by more than propagation");
    (void)conflicts;
    ++statistics_.diagram_counterexamples;
    return 1;
  }
  assert(!"the solver refutes the diagrams' counterexample");
  return -1;
}

// The incremental solver on one clause, stopped after `conflicts` conflicts
// or `propagations` propagations (kUnbounded: never): 1 when some
// assignment falsifies the clause (the solver's values of the free
// variables become the witness), 0 when none does, -1 when a budget ran out
// first. `fixed` holds graph literals of inputs in the solver assumed true
// besides the clause's complement. Stopping early loses nothing: the solver
// keeps what it learnt, and a later call goes on from there.
int ClauseDecider::solve_within(uint32_t position, uint64_t conflicts, uint64_t propagations,
                                const std::vector<uint32_t>& fixed) {
  assert(position < input_clauses_ && !clauses_.holds[position]);
  if (!solver_) {
    solver_.reset(new ConeSolver);
    // Basic minimisation of learnt clauses, not MiniSat's recursive one: in
    // the deep implication chains of large graphs the recursive search
    // forgets its failures and revisits them, and took minutes per conflict
    // on a solver's certificate of 1.5 M nodes, where basic minimisation
    // decides most clauses in milliseconds.
    solver_->solver.ccmin_mode = 1;
    solver_->variable.assign(aig_->nodes(), -1);
  }
  Minisat::Solver& solver = solver_->solver;
  std::vector<int>& variable = solver_->variable;
  auto to_solver = [&](uint32_t literal) {
    return Minisat::mkLit(variable[literal >> 1], literal & 1u);
  };

  // Every node of the cone not yet in the solver gets a variable (a node
  // with one has its whole cone in the solver), then each new AND node its
  // three clauses.
  std::vector<uint32_t>& stack = solver_->stack;
  std::vector<uint32_t>& new_gates = solver_->new_gates;
  stack.clear();
  new_gates.clear();
  for (uint32_t k = 0; k < clauses_.size_of(position); ++k)
    stack.push_back(clauses_.literals_of(position)[k] >> 1);
  while (!stack.empty()) {
    const uint32_t node = stack.back();
    stack.pop_back();
    if (variable[node] >= 0) continue;
    variable[node] = solver.newVar();
    if (!aig_->is_and(node)) continue;
    new_gates.push_back(node);
    stack.push_back(aig_->left(node) >> 1);
    stack.push_back(aig_->right(node) >> 1);
  }
  for (const uint32_t node : new_gates)
    add_and_clauses(solver, to_solver(2 * node), to_solver(aig_->left(node)),
                    to_solver(aig_->right(node)));
  statistics_.encoded_gates += static_cast<uint32_t>(new_gates.size());
  // The definitions of an acyclic graph are always satisfiable together.
  assert(solver.okay());

  Minisat::vec<Minisat::Lit> assumptions;
  for (uint32_t k = 0; k < clauses_.size_of(position); ++k)
    assumptions.push(~to_solver(clauses_.literals_of(position)[k]));
  for (const uint32_t literal : fixed) {
    assert(aig_->is_input(literal >> 1) && variable[literal >> 1] >= 0);
    assumptions.push(to_solver(literal));
  }
  solver.budgetOff();
  if (conflicts != kUnbounded)
    solver.setConfBudget(static_cast<int64_t>(std::min<uint64_t>(conflicts, INT64_MAX / 2)));
  if (propagations != kUnbounded)
    solver.setPropBudget(static_cast<int64_t>(std::min<uint64_t>(propagations, INT64_MAX / 2)));
  const Clock::time_point start = Clock::now();
  const lbool answer = solver.solveLimited(assumptions);
  statistics_.solver_seconds += seconds_since(start);
  if (answer == l_Undef) return -1;
  ++statistics_.solved_clauses;
  if (answer == l_False) return 0;
  witness_.assign(aig_->nodes(), 0);
  for (uint32_t node = 1; node < aig_->nodes(); ++node)
    if (aig_->is_input(node) && variable[node] >= 0)
      witness_[node] = solver.modelValue(variable[node]) == l_True;
  return 1;
}

// Fills in the AND nodes' values from the inputs' in witness_.
void ClauseDecider::compute_values() {
  assert(witness_.size() == aig_->nodes());
  for (uint32_t node = 1; node < aig_->nodes(); ++node) {
    if (!aig_->is_and(node)) continue;
    const uint32_t a = aig_->left(node), b = aig_->right(node);
    witness_[node] = ((witness_[a >> 1] ^ a) & (witness_[b >> 1] ^ b)) & 1u;
  }
}

// The clauses before `end` are decided: those the diagram store counts no
// longer keep diagrams.
void ClauseDecider::release_diagrams(uint32_t end) {
  if (!diagrams_) return;
  end = std::min(end, static_cast<uint32_t>(diagram_readers_.size()));
  for (; released_ < end; ++released_) {
    if (!diagram_readers_[released_]) continue;
    diagram_readers_[released_] = 0;
    diagrams_->release(clauses_.literals_of(released_), clauses_.size_of(released_));
  }
}

void ClauseDecider::report_until(uint32_t end) {
  if (end <= reported_) return;
  if (observer_) observer_(reported_, end);
  reported_ = end;
}

// Work of enumerating the program: words read per pass times passes.
uint64_t ClauseDecider::program_cost(const Program& program) {
  return enumeration_cost(
      program.code.size() + program.clause_code.size() + program.free_variables.size(),
      program.free_variables.size());
}

// The inputs (bits of `support`, node -> inputs) the clause at `position`
// depends on.
uint64_t ClauseDecider::support_of(uint32_t position, const std::vector<uint64_t>& support) const {
  uint64_t inputs = 0;
  for (uint32_t k = 0; k < clauses_.size_of(position); ++k)
    inputs |= support[clauses_.literals_of(position)[k] >> 1];
  return inputs;
}

// 3. Decides the clauses before `bound` one at a time, in order; returns the
// first falsifiable one, or `bound`. `support` maps each node to the inputs
// it depends on, or is empty when the clauses' joint cone has more than 64.
// `canonical` tells whether witness_ is the first falsifying assignment of
// that clause's cone in enumeration order (an enumeration found it) or the
// solver's.
uint32_t ClauseDecider::decide_by_cones(uint32_t bound, const std::vector<uint64_t>& support,
                                        bool& canonical) {
  assert(bound <= input_clauses_);
  std::vector<uint8_t> decided(bound, 0);  // position -> holds, found with an earlier cone
  uint64_t budget_left = limits_.run_budget;  // enumeration work the run may still spend
  Cone cone;
  Evaluation evaluation;
  for (uint32_t position = 0; position < bound; ++position) {
    report_until(position + 1);
    release_diagrams(position);
    if (decided[position] || clauses_.holds[position]) continue;
    const bool small =
        support.empty() ||
        static_cast<uint32_t>(__builtin_popcountll(support_of(position, support))) <=
            kConeFreeLimit;
    if (small && budget_left > 0) {
      uint64_t work = 0;
      const bool cheap = collect_cone(position, kConeFreeLimit,
                                      std::min(limits_.cone_budget, budget_left), cone, work);
      if (cheap) gather_sharing(position, bound, decided, budget_left, cone, work);
      budget_left -= std::min(budget_left, work);
      if (cheap) {
        compile(cone, evaluation);
        const uint32_t members = static_cast<uint32_t>(cone.members.size());
        compile_clauses(cone.members.data(), members, evaluation);
        budget_left -= std::min(budget_left, program_cost(evaluation.program));
        ++statistics_.enumerations;
        const uint32_t first = enumerate(evaluation, members);
        for (uint32_t i = 0; i < first; ++i) decided[cone.members[i]] = 1;
        statistics_.enumerated_clauses += first < members ? first + 1 : members;
        if (first < members) {
          bound = cone.members[first];
          canonical = true;
        }
        continue;
      }
    }
    if (diagrams_ && diagrams_->sharing() &&
        diagrams_->missing_gates(clauses_.literals_of(position), clauses_.size_of(position),
                                 kDiagramsFirstGates) <= kDiagramsFirstGates) {
      // Cheap with the kept diagrams: MiniSat only to confirm a counterexample.
      const uint32_t before = statistics_.diagram_clauses + statistics_.diagram_counterexamples;
      const int answer = decide_by_diagrams(position);
      statistics_.diagrams_first += answer >= 0 ? 1u : 0u;
      assert(answer < 0 ||
             statistics_.diagram_clauses + statistics_.diagram_counterexamples == before + 1);
      (void)before;
      if (answer == 1) {
        bound = position;
        canonical = false;
      }
      if (answer >= 0) continue;
    }
    if (solve_clause(position, bound, decided)) {
      bound = position;
      canonical = false;
    }
  }
  if (diagrams_) statistics_.diagram_gates = diagrams_->built_gates();
  diagrams_.reset();
  return bound;
}

uint32_t ClauseDecider::first_falsifiable() {
  witness_.clear();
  reported_ = 0;
  if (input_clauses_ == 0) return 0;

  // 1. Random simulation of all clauses' joint cone.
  uint32_t bound;
  bool canonical = false;  // the witness is the first in its cone's enumeration order
  {
    Cone joint;
    Evaluation whole;
    relevant_program(input_clauses_, joint, whole);
    // node -> inputs (bits) it depends on; empty when the joint cone has
    // more than 64 inputs.
    std::vector<uint64_t> support;
    const Program& program = whole.program;
    if (program.free_variables.size() <= 64) {
      support.assign(aig_->nodes(), 0);
      for (uint32_t slot = 0; slot < program.free_variables.size(); ++slot)
        support[program.free_variables[slot]] = uint64_t{1} << slot;
      for (uint32_t node : joint.gates)
        support[node] = support[aig_->left(node) >> 1] | support[aig_->right(node) >> 1];
    }
    bound = simulate(whole, input_clauses_);

    if (bound > 0) {
      // 2. All free variables of the clauses before the bound at once.
      if (bound < input_clauses_) relevant_program(bound, joint, whole);
      const uint64_t cost = program_cost(program);
      // Enumerating everything at once pays when the clauses share their free
      // variables; when each depends on a few of many, their own cones are far
      // cheaper (counted in assignments: 2^k for k free variables).
      bool cones_cheaper = false;
      if (!support.empty() && program.free_variables.size() < 64) {
        uint64_t cone_assignments = 0;
        for (uint32_t position = 0; position < bound && !cones_cheaper; ++position)
          cone_assignments += uint64_t{1} << __builtin_popcountll(support_of(position, support));
        cones_cheaper = cone_assignments < (uint64_t{1} << program.free_variables.size());
      }
      if (cost <= limits_.run_budget && !cones_cheaper) {
        statistics_.whole_network = true;
        const uint32_t clause = enumerate(whole, bound);
        if (clause < bound) {
          bound = clause;
          canonical = true;
        }
      } else {
        // 3. One clause at a time. The whole-network program is no longer
        // needed; its memory goes back before the solver grows.
        joint = Cone();
        whole = Evaluation();
        bound = decide_by_cones(bound, support, canonical);
      }
    }
  }
  report_until(bound < input_clauses_ ? bound + 1 : input_clauses_);
  // Every clause up to the result was told once.
  assert(reported_ == (bound < input_clauses_ ? bound + 1 : input_clauses_));
  if (bound == input_clauses_) return bound;

  // 4. A canonical assignment where the cone allows it, then every value.
  uint64_t work = 0;
  Cone cone;
  if (!canonical && collect_cone(bound, kConeFreeLimit, limits_.cone_budget, cone, work)) {
    Evaluation evaluation;
    compile(cone, evaluation);
    compile_clauses(&bound, 1, evaluation);
    const bool falsified = enumerate(evaluation, 1) == 0;
    assert(falsified);
    (void)falsified;
  }
  assert(!witness_.empty());
  compute_values();
  return bound;
}
