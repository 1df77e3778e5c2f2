// Checking QRP traces in two passes: the stores it rests on (the antecedent
// log, the recycling store, the table of live positions, the hash of a
// reading), the same verdict, message and counts as the one-pass check on
// DepQBF's traces and on mutations of them, and the refusal of a trace
// whose second reading differs from the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/content_hash.hpp"
#include "proof/qrp_checker.hpp"
#include "read/byte_source.hpp"
#include "read/qdimacs_reader.hpp"
#include "store/antecedent_log.hpp"
#include "store/position_table.hpp"
#include "store/recycling_store.hpp"
#include "qrp_support.hpp"
#include "support.hpp"

namespace {

const std::string kTraces = ZEL_QRP_DIR;
const std::string kCorpus = ZEL_CORPUS_DIR;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- the stores -----------------------------------------------------------

TEST(AntecedentLog, RecordsWalkedUpAndDown) {
  std::mt19937 random(7);
  std::vector<std::vector<uint32_t>> lists;
  std::vector<uint64_t> gaps;
  AntecedentLog log;
  for (uint32_t ordinal = 0; ordinal < 1000; ++ordinal) {
    std::vector<uint32_t> list;
    const unsigned count = ordinal == 0 ? 0 : random() % 5;
    for (unsigned i = 0; i < count; ++i)
      list.push_back(i == 0 ? ordinal - 1 : static_cast<uint32_t>(random() % ordinal));
    const uint64_t gap = random() % 3 == 0 ? random() : random() % 200;
    log.push(list.data(), list.size(), gap);
    lists.push_back(list);
    gaps.push_back(gap);
  }
  ASSERT_EQ(log.size(), 1000u);
  auto listed = [](const AntecedentLog::Record& record, std::vector<uint64_t>* entries) {
    std::vector<uint32_t> ordinals;
    AntecedentLog::for_each_antecedent(record, [&](uint32_t antecedent, uint64_t entry) {
      ordinals.push_back(antecedent);
      if (entries) entries->push_back(entry);
    });
    return ordinals;
  };
  // Forwards through following(), at random through record(): the same.
  AntecedentLog::Record record = log.record(0);
  uint64_t entry = 0;
  for (uint32_t ordinal = 0; ordinal < 1000; ++ordinal) {
    ASSERT_EQ(record.ordinal, ordinal);
    std::vector<uint64_t> entries;
    ASSERT_EQ(listed(record, &entries), lists[ordinal]) << ordinal;
    ASSERT_EQ(AntecedentLog::gap(record), gaps[ordinal]);
    for (uint64_t at : entries) ASSERT_EQ(at, entry++);
    ASSERT_EQ(listed(log.record(ordinal), nullptr), lists[ordinal]);
    if (ordinal + 1 < 1000) record = AntecedentLog::following(record);
  }
  // Downwards from any step: every ordinal once, highest first.
  for (uint32_t last : {0u, 1u, 63u, 64u, 65u, 500u, 999u}) {
    std::vector<uint32_t> seen;
    log.for_each_downwards(last, [&](const AntecedentLog::Record& at) {
      seen.push_back(at.ordinal);
      EXPECT_EQ(listed(at, nullptr), lists[at.ordinal]);
    });
    ASSERT_EQ(seen.size(), last + 1u);
    for (uint32_t i = 0; i <= last; ++i) EXPECT_EQ(seen[i], last - i);
  }
  // The last-use marks, one bit per entry.
  log.clear_last_uses();
  for (uint64_t at : {0u, 5u, 63u, 64u, 200u}) log.mark_last_use(at);
  for (uint64_t at = 0; at < entry; ++at)
    EXPECT_EQ(log.last_use(at), at == 0 || at == 5 || at == 63 || at == 64 || at == 200) << at;
}

TEST(RecyclingStore, ReleasedSpaceIsUsedAgain) {
  RecyclingStore store(10);
  std::mt19937 random(11);
  std::map<uint32_t, std::vector<Literal>> live;  // what the store must hold
  uint64_t literals = 0;
  uint64_t words_after_first_round = 0;
  for (int round = 0; round < 20; ++round) {
    // Some constraints of up to 40 literals stored, then most released.
    for (int i = 0; i < 200; ++i) {
      std::vector<Literal> constraint(random() % 41);
      for (Literal& literal : constraint) literal.code = random() % 1000;
      literals += constraint.size();
      const uint32_t position = store.push(constraint.data(), constraint.size());
      ASSERT_EQ(position + 1, store.end_position());
      live[position] = constraint;
    }
    for (auto it = live.begin(); it != live.end();) {
      if (random() % 10 == 0) {
        ++it;
        continue;
      }
      store.release(it->first);
      EXPECT_FALSE(store.held(it->first));
      it = live.erase(it);
    }
    std::vector<Literal> read;
    for (const auto& held : live) {
      ASSERT_TRUE(store.held(held.first));
      store.read_literals(held.first, read);
      ASSERT_EQ(read, held.second) << held.first;
    }
    if (round == 0) words_after_first_round = store.words();
  }
  EXPECT_EQ(store.end_position(), 10u + 20 * 200);
  EXPECT_EQ(store.literals(), literals);
  // 4,000 constraints of 21 literals on average were stored; about a tenth
  // stays live, and the arena grew little beyond the first round's.
  EXPECT_LT(store.words(), 3 * words_after_first_round);
  EXPECT_LT(store.words(), literals / 4);
}

// Every length gets a block that holds it and at most a quarter more (the
// header word included): lengths up to 4 exactly, then quarter steps.
TEST(RecyclingStore, BlockSizes) {
  RecyclingStore store(0);
  std::vector<Literal> constraint;
  uint64_t stored_words = 0;
  for (uint32_t length = 0; length < 5000; ++length) {
    constraint.resize(length);
    const uint64_t before = store.words();
    store.push(constraint.data(), constraint.size());
    const uint64_t block = store.words() - before;
    ASSERT_GE(block, length + 1u) << length;
    ASSERT_LE(4 * block, 5 * (length + 1u)) << length;
    stored_words += block;
  }
  // Released, the same lengths again take no new space.
  for (uint32_t position = 0; position < 5000; ++position) store.release(position);
  for (uint32_t length = 0; length < 5000; ++length) {
    constraint.resize(length);
    store.push(constraint.data(), constraint.size());
  }
  EXPECT_EQ(store.words(), stored_words);
}

TEST(PositionTable, AgreesWithAMap) {
  PositionTable table;
  std::unordered_map<uint32_t, uint32_t> model;
  std::mt19937 random(3);
  for (int i = 0; i < 200000; ++i) {
    // Indices in a window that moves, as the live steps of a trace do.
    const uint32_t index = static_cast<uint32_t>(i / 4 + random() % 3000);
    switch (random() % 3) {
      case 0:
      case 1:
        table.set(index, static_cast<uint32_t>(i));
        model[index] = static_cast<uint32_t>(i);
        break;
      default:
        table.erase(index);
        model.erase(index);
    }
    const uint32_t probe = static_cast<uint32_t>(i / 4 + random() % 3000);
    const auto found = model.find(probe);
    ASSERT_EQ(table[probe], found == model.end() ? PositionTable::kNone : found->second) << i;
    ASSERT_EQ(table.size(), model.size());
  }
  for (const auto& entry : model) ASSERT_EQ(table[entry.first], entry.second);
  EXPECT_EQ(table[PositionTable::kNone - 1], PositionTable::kNone);
}

TEST(ContentHash, SameBytesSameHashWhateverThePieces) {
  std::mt19937 random(5);
  std::string bytes(5000, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  ContentHash whole;
  whole.add(bytes.data(), bytes.size());
  for (int trial = 0; trial < 50; ++trial) {
    ContentHash pieces;
    for (size_t at = 0; at < bytes.size();) {
      const size_t size = std::min<size_t>(random() % 70, bytes.size() - at);
      pieces.add(bytes.data() + at, size);
      at += size;
    }
    ASSERT_EQ(pieces.value(), whole.value());
    ASSERT_EQ(pieces.length(), bytes.size());
  }
  // Any one byte changed, a byte cut or added: another hash.
  for (size_t at = 0; at < bytes.size(); at += 7) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ (1 << (at % 8)));
    ContentHash other;
    other.add(changed.data(), changed.size());
    ASSERT_NE(other.value(), whole.value()) << at;
  }
  for (size_t size : {bytes.size() - 1, bytes.size() + 1}) {
    std::string other_bytes = bytes;
    other_bytes.resize(size, '\0');
    ContentHash other;
    other.add(other_bytes.data(), other_bytes.size());
    EXPECT_NE(other.value(), whole.value());
  }
}

// The byte source hashes what it delivers, plain or compressed alike.
TEST(ContentHash, ByteSourceHashesItsContent) {
  const std::string text = "p qrp 2 2\ne 1 0\na 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n3 0 1 2 0\nr UNSAT\n";
  ContentHash expected;
  expected.add(text.data(), text.size());
  ByteSource source;
  source.open_memory(text.data(), text.size(), "trace");
  char buffer[5];
  source.read(buffer, sizeof buffer);
  source.read_to_end();
  EXPECT_EQ(source.bytes_out(), text.size());
  EXPECT_EQ(source.content_hash(), expected.value());
  source.open_memory(text.data(), text.size(), "trace");
  EXPECT_EQ(source.content_hash(), ContentHash().value());  // opening starts afresh
}

// ---- two passes against one ------------------------------------------------

struct Outcome {
  std::string text;  // "validated", "erroneous", "changed" or "WHERE: MESSAGE"
  QrpStatistics statistics;
  unsigned readings = 0;
  bool operator==(const Outcome& other) const {
    const QrpStatistics &a = statistics, &b = other.statistics;
    return text == other.text && a.input_clauses == b.input_clauses &&
           a.initial_cubes == b.initial_cubes && a.cubes_solved == b.cubes_solved &&
           a.clause_steps == b.clause_steps && a.cube_steps == b.cube_steps &&
           a.outside_proof == b.outside_proof && a.skipped == b.skipped &&
           a.stored == b.stored && a.literals == b.literals && a.proof_found == b.proof_found;
  }
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  const QrpStatistics& s = outcome.statistics;
  return out << outcome.text << " [" << s.input_clauses << " " << s.initial_cubes << " "
             << s.clause_steps << " " << s.cube_steps << " outside " << s.outside_proof
             << " skipped " << s.skipped << " stored " << s.stored << " literals " << s.literals
             << "]";
}

QCNF read_formula(const std::string& qdimacs) {
  QCNF formula;
  zeltest::MemoryTokens tokens(qdimacs, Tokenizer::Separators::QDIMACS, "QBF File: ");
  read_qdimacs(tokens.tokens(), formula);
  return formula;
}

// One pass over `trace`, as a pipe is checked (or, with `options`, as
// the third reading is).
Outcome one_pass(const std::string& qdimacs, const std::string& trace,
                 QrpChecker::Options options = QrpChecker::Options()) {
  const zeltest::QrpOutcome checked = zeltest::check_qrp_trace(qdimacs, trace, options);
  Outcome outcome;
  outcome.text = checked.text;
  outcome.statistics = checked.statistics;
  outcome.readings = 1;
  return outcome;
}

// Two passes, the first over `first`, the second over `second`, and a third
// (one pass) after a fault, as Run::check_qrp_again goes: the second reads
// only the marked steps, and "changed" stands where the steps read again or
// the bytes differ from the first reading's.
Outcome two_passes(const std::string& qdimacs, const std::string& first,
                   const std::string& second) {
  const QCNF formula = read_formula(qdimacs);
  ByteSource source;
  source.open_memory(first.data(), first.size(), "trace");
  QrpReader reader(source);
  QrpChecker::Options options;
  options.two_pass = true;
  QrpChecker checker(formula, options);
  Outcome outcome;
  outcome.readings = 1;
  try {
    reader.read_header();
    const bool proved = checker.check(reader);
    if (!checker.second_pass_due()) {
      outcome.text = proved ? "validated" : "erroneous";
      outcome.statistics = checker.statistics();
      return outcome;
    }
  } catch (const Exception& error) {
    outcome.text = checker.where(reader) + ": " + error.message;
    outcome.statistics = checker.statistics();
    return outcome;
  }
  source.read_to_end();
  ByteSource again;
  again.open_memory(second.data(), second.size(), "trace");
  const auto same_bytes = [&] {
    again.read_to_end();
    return again.bytes_out() == source.bytes_out() &&
           again.content_hash() == source.content_hash();
  };
  QrpChecker::SecondPass pass;
  {
    QrpReader second_reader(again);
    try {
      second_reader.read_header();
      const PodVector<uint8_t>& offsets = checker.second_pass_offsets();
      second_reader.read_only_at(offsets.data(), offsets.data() + offsets.size());
      pass = checker.check_marked(second_reader);
    } catch (const Exception& error) {
      outcome.text = same_bytes() ? error.message : "changed";
      return outcome;
    }
  }
  if (!same_bytes() || pass == QrpChecker::SecondPass::CHANGED) {
    outcome.text = "changed";
    return outcome;
  }
  if (pass == QrpChecker::SecondPass::PROVED) {
    outcome.text = "validated";
    outcome.statistics = checker.statistics();
    outcome.readings = 2;
    return outcome;
  }
  // The third reading keeps the lists of the steps it may check only.
  QrpChecker::Options third;
  third.kept_steps = checker.candidates_ancestry();
  outcome = one_pass(qdimacs, second, third);
  outcome.readings = 3;
  return outcome;
}

// A trace as lines, and back; steps are the lines that start with a digit.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
std::string text_of(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}
bool is_step(const std::string& line) { return !line.empty() && line[0] >= '1' && line[0] <= '9'; }

// A step's line with one change: a literal negated or dropped, an
// antecedent replaced by another earlier index or dropped, two antecedents
// swapped. Empty when the step has nothing to change that way.
std::string mutate_step(const std::string& line, unsigned how, std::mt19937& random) {
  std::istringstream in(line);
  std::vector<long> numbers;
  for (long number; in >> number;) numbers.push_back(number);
  const size_t zero = std::find(numbers.begin() + 1, numbers.end(), 0) - numbers.begin();
  std::vector<long> literals(numbers.begin() + 1, numbers.begin() + zero);
  std::vector<long> antecedents(numbers.begin() + zero + 1, numbers.end() - 1);
  const long index = numbers[0];
  switch (how % 5) {
    case 0:
      if (literals.empty()) return "";
      literals[random() % literals.size()] *= -1;
      break;
    case 1:
      if (literals.empty()) return "";
      literals.erase(literals.begin() + random() % literals.size());
      break;
    case 2:
      if (antecedents.empty() || index < 3) return "";
      antecedents[random() % antecedents.size()] = 1 + static_cast<long>(random() % (index - 1));
      break;
    case 3:
      if (antecedents.size() < 2) return "";
      antecedents.erase(antecedents.begin() + random() % antecedents.size());
      break;
    default:
      if (antecedents.size() < 2) return "";
      std::swap(antecedents[0], antecedents[1 + random() % (antecedents.size() - 1)]);
  }
  std::string text = std::to_string(index);
  for (long literal : literals) text += " " + std::to_string(literal);
  text += " 0";
  for (long antecedent : antecedents) text += " " + std::to_string(antecedent);
  return text + " 0";
}

// DepQBF's traces of tests/qrp (MANIFEST.tsv), each with its formula.
std::vector<std::pair<std::string, std::string>> depqbf_traces() {
  std::vector<std::pair<std::string, std::string>> traces;
  std::istringstream manifest(read_file(kTraces + "/MANIFEST.tsv"));
  for (std::string row; std::getline(manifest, row);) {
    if (row.empty() || row[0] == '#') continue;
    std::istringstream fields(row);
    std::string trace, formula;
    std::getline(fields, trace, '\t');
    std::getline(fields, formula, '\t');
    traces.emplace_back(kTraces + "/" + trace, kCorpus + "/" + formula);
  }
  return traces;
}

// Every trace and many mutations of the ASCII ones: two passes give the
// verdict, message and counts of one, releasing each constraint after its
// last use; the faulty ones take the third reading.
TEST(QrpTwoPasses, SameOutcomeAsOnePass) {
  std::mt19937 random(2024);
  unsigned validated = 0, refused = 0, third = 0, traces = 0;
  for (const auto& entry : depqbf_traces()) {
    const std::string formula = read_file(entry.second);
    const std::string trace = read_file(entry.first);
    ++traces;
    const Outcome one = one_pass(formula, trace);
    const Outcome two = two_passes(formula, trace, trace);
    ASSERT_EQ(two, one) << entry.first;
    if (one.text == "validated") {
      EXPECT_EQ(two.readings, 2u) << entry.first;
    }
    if (entry.first.size() < 4 || entry.first.compare(entry.first.size() - 4, 4, ".qrp") != 0)
      continue;
    std::vector<std::string> lines = lines_of(trace);
    std::vector<size_t> steps;
    for (size_t i = 0; i < lines.size(); ++i)
      if (is_step(lines[i])) steps.push_back(i);
    for (int mutation = 0; mutation < 40; ++mutation) {
      // Mostly steps near the end, where the proof is.
      const size_t pick = steps.size() - 1 - random() % std::min<size_t>(steps.size(), 60);
      const std::string changed = mutate_step(lines[steps[pick]], random(), random);
      if (changed.empty()) continue;
      std::vector<std::string> mutated = lines;
      mutated[steps[pick]] = changed;
      const std::string text = text_of(mutated);
      const Outcome one_mutated = one_pass(formula, text);
      const Outcome two_mutated = two_passes(formula, text, text);
      ASSERT_EQ(two_mutated, one_mutated) << entry.first << " line " << steps[pick] + 1 << ": "
                                          << changed;
      (one_mutated.text == "validated" ? validated : refused) += 1;
      third += two_mutated.readings == 3;
    }
  }
  EXPECT_EQ(traces, 72u);
  // Both sides of the comparison occur: mutations outside the proof that
  // still validate, faulty ones refused, some of them after a third reading.
  EXPECT_GT(validated, 50u);
  EXPECT_GT(refused, 100u);
  EXPECT_GT(third, 20u);
}

// The third reading keeps the lists of the candidates' ancestry only; the
// steps kept are those of the first reading, so a kept step that lists one
// not kept, or a candidate not kept, is another trace, refused as changed.
TEST(QrpTwoPasses, ThirdReadingKeepsTheCandidatesAncestry) {
  const std::string formula = "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 -2 0\n";
  // Step 4 (ordinal 3) is a faulty bystander, step 6 the one candidate.
  const std::string trace =
      "p qrp 2 2\ne 1 0\na 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n3 1 0 1 0\n4 -1 0 1 0\n5 -1 0 2 0\n"
      "6 0 3 5 0\nr UNSAT\n";
  const auto kept_without = [](std::initializer_list<uint32_t> left_out) {
    QrpChecker::Options options;
    options.kept_steps.assign(1, 0x3F & ~(uint64_t{1} << 3));  // ordinals 0 to 5 but 3
    for (const uint32_t ordinal : left_out) options.kept_steps[0] &= ~(uint64_t{1} << ordinal);
    options.trace_name = "t.qrp";
    return options;
  };
  EXPECT_EQ(one_pass(formula, trace, kept_without({})).text, "validated");
  const std::string changed =
      ": The trace 't.qrp' changed while it was checked: its second reading differs from the "
      "first.";
  // Step 5, which step 6 lists; step 6 itself.
  EXPECT_EQ(one_pass(formula, trace, kept_without({4})).text, "line 9, column 1" + changed);
  EXPECT_EQ(one_pass(formula, trace, kept_without({5})).text, "line 11, column 1" + changed);
}

// A second reading that differs from the first is refused, whether the
// steps it reads again differ (another index, antecedent or offset, the
// result line early) or only the bytes between them.
TEST(QrpTwoPasses, ChangedSecondReadingIsRefused) {
  const std::string formula = "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 -2 0\n";
  // Step 4 is a faulty bystander, step 6 the empty clause.
  const std::string head = "p qrp 2 2\ne 1 0\na 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n3 1 0 1 0\n";
  const std::string trace = head + "4 -1 0 1 0\n5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n";
  const Outcome same = two_passes(formula, trace, trace);
  ASSERT_EQ(same.text, "validated");
  EXPECT_EQ(same.readings, 2u);
  EXPECT_EQ(same.statistics.skipped, 1u);
  const struct {
    const char* name;
    std::string second;
  } cases[] = {
      {"index of a skipped step", head + "7 -1 0 1 0\n5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n"},
      {"index of a checked step", head + "4 -1 0 1 0\n8 -1 0 2 0\n6 0 3 8 0\nr UNSAT\n"},
      {"antecedent", head + "4 -1 0 1 0\n5 -1 0 2 0\n6 0 3 4 0\nr UNSAT\n"},
      {"antecedent order", head + "4 -1 0 1 0\n5 -1 0 2 0\n6 0 5 3 0\nr UNSAT\n"},
      {"antecedent added", head + "4 -1 0 1 0\n5 -1 0 2 0\n6 0 3 5 1 0\nr UNSAT\n"},
      {"antecedent of a skipped step", head + "4 -1 0 2 0\n5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n"},
      {"literal of a skipped step", head + "4 1 0 1 0\n5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n"},
      {"step missing", head + "5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n"},
      {"step moved", head + "4  -1 0 1 0\n5 -1 0 2 0\n6 0 3 5 0\nr UNSAT\n"},
      {"result early", head + "4 -1 0 1 0\nr UNSAT\n"},
      {"cut short", head + "4 -1 0 1 0\n5 -1 0"},
      {"bytes after the result", trace + "\n"},
  };
  for (const auto& change : cases)
    EXPECT_EQ(two_passes(formula, trace, change.second).text, "changed") << change.name;
}

}  // namespace
