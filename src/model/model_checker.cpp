// Reading the model, numbering the variables, and the clause-wise model
// test: the applied extension definitions and the model entries become one
// gate network (in topological order), and ClauseDecider finds the first clause
// of the QBF file that some assignment of the free variables falsifies. The
// outcome is reported as the checker always has: progress up to the
// counterexample, the clause, and with --d the universals' values in a
// falsifying assignment.

#include "model/model_checker.hpp"

#include <algorithm>
#include <cassert>
#include <iostream>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/messages.hpp"
#include "model/aiger_writer.hpp"
#include "model/clause_decider.hpp"
#include "model/topological.hpp"
#include "store/clause_store.hpp"

namespace {

constexpr uint32_t kNoGate = ~0u;

// Orders `unordered` (gates whose operands are in `unordered_operands`)
// topologically into `network`: a gate is emitted once every gate defining
// one of its operands is, ready gates first in their given order. A gate
// left over lies on a cycle; the dependency check has refused those
// already, so that is only guarded against.
void order_gates(const std::vector<Gate>& unordered, const std::vector<Literal>& unordered_operands,
                 Network& network) {
  const size_t gates = unordered.size();
  std::vector<uint32_t> gate_of(network.variables, kNoGate);  // variable -> unordered index
  for (uint32_t index = 0; index < gates; ++index) {
    assert(gate_of[unordered[index].variable] == kNoGate && "a variable with two gates");
    gate_of[unordered[index].variable] = index;
  }

  // Readers of each gate's variable, grouped by gate (one entry per operand).
  std::vector<uint32_t> waiting(gates, 0);        // operands whose gate is not emitted yet
  std::vector<uint32_t> reader_begin(gates + 1, 0);
  for (uint32_t index = 0; index < gates; ++index) {
    const Gate& gate = unordered[index];
    for (uint32_t i = 0; i < gate.count; ++i) {
      const uint32_t source = gate_of[unordered_operands[gate.first + i].variable()];
      if (source == kNoGate) continue;
      ++waiting[index];
      ++reader_begin[source + 1];
    }
  }
  for (size_t index = 0; index < gates; ++index) reader_begin[index + 1] += reader_begin[index];
  std::vector<uint32_t> readers(reader_begin[gates]);
  {
    std::vector<uint32_t> fill(reader_begin.begin(), reader_begin.end() - 1);
    for (uint32_t index = 0; index < gates; ++index) {
      const Gate& gate = unordered[index];
      for (uint32_t i = 0; i < gate.count; ++i) {
        const uint32_t source = gate_of[unordered_operands[gate.first + i].variable()];
        if (source != kNoGate) readers[fill[source]++] = index;
      }
    }
  }
  gate_of = std::vector<uint32_t>();
  std::vector<uint32_t> ready;
  for (uint32_t index = 0; index < gates; ++index)
    if (waiting[index] == 0) ready.push_back(index);
  const std::vector<uint32_t> queue = order_topologically(
      reader_begin, readers, waiting, std::move(ready), ReadyOrder::FIRST_IN_FIRST_OUT, nullptr);
  assert(queue.size() == gates && "a cycle the dependency check let through");

  network.gates.reserve(gates);
  network.operands.reserve(unordered_operands.size());
  for (uint32_t index : queue) {
    Gate gate = unordered[index];
    const uint32_t first = static_cast<uint32_t>(network.operands.size());
    network.operands.insert(network.operands.end(), unordered_operands.begin() + gate.first,
                            unordered_operands.begin() + gate.first + gate.count);
    gate.first = first;
    network.gates.push_back(gate);
  }
}

}  // namespace

ModelChecker::ModelChecker(const QCNF& formula, uint32_t input_clauses,
                           uint32_t input_max_variable, std::vector<uint32_t> qbf_prefix,
                           Options options)
    : formula_(formula),
      input_clauses_(input_clauses),
      input_max_variable_(input_max_variable),
      qbf_prefix_(std::move(qbf_prefix)),
      options_(options) {}

bool ModelChecker::check() {
  check_quantification();
  ids_ = number_variables(formula_);
  check_dependencies();
  graph_ = build_graph();
  if (options_.graph_built) options_.graph_built();
  return test_clauses();
}

// The model pairs: each variable must be one the QBF file could quantify
// and not an extension variable (its definition fixes it; a model entry
// could contradict it and hide counterexamples), each literal must name a
// defined variable. A later pair for the same variable replaces an earlier.
void ModelChecker::read_model(CertificateReader& reader) {
  // A QBF file without clauses cannot be told from none.
  if (input_clauses_ == 0) throw Exception("A model cannot be validated without a QBF file.");
  std::vector<uint32_t> extension_variables;
  extension_variables.reserve(formula_.definitions.size());
  for (const Definition& definition : formula_.definitions.records)
    extension_variables.push_back(definition.variable);
  std::sort(extension_variables.begin(), extension_variables.end());

  std::vector<std::pair<uint32_t, int32_t>> pairs;  // in reading order
  while (!reader.model_ended()) {
    const uint32_t variable = reader.read_model_variable();
    if (variable > input_max_variable_ ||
        std::binary_search(extension_variables.begin(), extension_variables.end(), variable))
      throw Exception(message::needs_no_model(variable));
    const int32_t function = reader.read_model_literal();
    if (!formula_.is_defined(Literal(function).variable()))
      throw Exception(message::model_undefined(variable, function));
    pairs.emplace_back(variable, function);
  }
  set_model(std::move(pairs));
}

void ModelChecker::set_model(std::vector<std::pair<uint32_t, int32_t>> pairs) {
  statistics_.model_entries = pairs.size();
  // Ascending by variable; of several pairs for one variable the last counts.
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  model_.clear();
  for (size_t i = 0; i < pairs.size(); ++i)
    if (i + 1 == pairs.size() || pairs[i + 1].first != pairs[i].first) model_.push_back(pairs[i]);
  assert(std::adjacent_find(model_.begin(), model_.end(), [](const auto& a, const auto& b) {
           return a.first >= b.first;
         }) == model_.end());
}

ModelChecker::VariableIds ModelChecker::number_variables(const QCNF& formula) {
  VariableIds ids;
  std::vector<uint32_t>& variable_of = ids.variable_of;
  variable_of.assign(1, 0);
  variable_of.reserve(formula.quantified_variables() + 1);
  for (const Block& block : formula.blocks)
    block.for_each([&](uint32_t variable) { variable_of.push_back(variable); });
  std::sort(variable_of.begin(), variable_of.end());
  assert(std::adjacent_find(variable_of.begin(), variable_of.end()) == variable_of.end() &&
         "a variable quantified twice");
  // Where the numbers in use are dense, a table answers id() at once (ten
  // million gates ask it twenty million times); where they are sparse,
  // binary search keeps memory to the variables in use.
  // The formula's tables are empty when it defines no variable at all;
  // variable 0 still has its id.
  const size_t numbers = std::max<size_t>(formula.quantifiers.size(), 1);
  if (numbers <= 4 * variable_of.size()) {
    ids.id_of.assign(numbers, 0);
    for (uint32_t i = 0; i < variable_of.size(); ++i) ids.id_of[variable_of[i]] = i;
  }
  return ids;
}

// Every variable the model stages meet is quantified.
uint32_t ModelChecker::VariableIds::id(uint32_t variable) const {
  uint32_t result;
  if (!id_of.empty()) {
    assert(variable < id_of.size());
    result = id_of[variable];
  } else {
    const auto found = std::lower_bound(variable_of.begin(), variable_of.end(), variable);
    result = static_cast<uint32_t>(found - variable_of.begin());
  }
  assert(result < variable_of.size() && variable_of[result] == variable &&
         "a variable that is not quantified");
  return result;
}

// Definitions were applied only once their operands were defined, so they
// stand in topological order already; a model entry may read anything.
// When no definition reads a variable with a model entry, the definitions in
// their order, then the model entries in an order of their own, is
// topological, and the definitions go into the network as they are; only
// otherwise are all gates ordered together. The network lives only until
// it is hashed into the graph.
ModelGraph ModelChecker::build_graph() {
  Network network;
  network.variables = static_cast<uint32_t>(ids_.size());
  const Definitions& definitions = formula_.definitions;
  statistics_.gates = definitions.size() + model_.size();

  std::vector<uint8_t> has_entry(ids_.size(), 0);  // id -> has a model entry
  for (const auto& entry : model_) has_entry[ids_.id(entry.first)] = 1;
  bool definitions_first = true;
  for (const Literal& operand : definitions.operands)
    if (has_entry[ids_.id(operand.variable())]) {
      definitions_first = false;
      break;
    }
  has_entry = std::vector<uint8_t>();

  std::vector<Gate> unordered;
  std::vector<Literal> unordered_operands;
  auto add_gate = [&](Gate::Kind kind, uint32_t variable, const Literal* operands, uint32_t count,
                      std::vector<Gate>& gates, std::vector<Literal>& gate_operands) {
    Gate gate;
    gate.kind = kind;
    gate.variable = ids_.id(variable);
    gate.first = static_cast<uint32_t>(gate_operands.size());
    gate.count = count;
    for (uint32_t i = 0; i < count; ++i)
      gate_operands.push_back(Literal(ids_.id(operands[i].variable()), operands[i].negative()));
    gates.push_back(gate);
  };
  std::vector<Gate>& definition_gates = definitions_first ? network.gates : unordered;
  std::vector<Literal>& definition_operands =
      definitions_first ? network.operands : unordered_operands;
  definition_gates.reserve(statistics_.gates);
  definition_operands.reserve(definitions.operands.size() + model_.size());
  for (const Definition& definition : definitions.records)
    add_gate(definition.kind == Definition::AND ? Gate::AND : Gate::ITE, definition.variable,
             definitions.operands_of(definition), definition.count, definition_gates,
             definition_operands);
  for (const auto& entry : model_) {
    const Literal function(entry.second);
    add_gate(Gate::COPY, entry.first, &function, 1, unordered, unordered_operands);
  }
  order_gates(unordered, unordered_operands, network);
  assert(network.gates.size() == statistics_.gates);
  unordered = std::vector<Gate>();
  unordered_operands = std::vector<Literal>();
  ModelGraph graph = build_model_graph(network, network.variables);  // asserts its invariants
  assert(graph.literal_of.size() == ids_.size());
  statistics_.graph_gates = graph.aig.and_nodes();
  return graph;
}

bool ModelChecker::test_clauses() {
  assert(input_clauses_ <= formula_.clauses.size());
  assert(graph_.literal_of.size() == ids_.size() && "the graph is built");
  const timeval sat_start = clock_now();

  // The QBF file's clauses over ids.
  ClauseStore input;
  std::vector<Literal> literals;
  PodVector<Literal> widened;
  for (uint32_t position = 0; position < input_clauses_; ++position) {
    literals.clear();
    widened.clear();
    for (const Literal& literal : formula_.clauses.read(position, widened))
      literals.push_back(Literal(ids_.id(literal.variable()), literal.negative()));
    input.push(literals);
  }

  // Each clause's line is shown as its test starts: a test of many minutes
  // shows which clause it is on.
  ClauseDecider test(graph_, input, input_clauses_, ClauseDecider::Limits());
  test.set_observer([this](uint32_t first, uint32_t end) {
    if (options_.debug) {
      for (uint32_t position = first; position < end; ++position)
        std::cout << "\rTesting clause " << position + 1 << "/" << input_clauses_;
      std::cout << std::flush;
    }
    if (options_.testing) options_.testing(end - 1, input_clauses_);
  });
  const uint32_t falsified = test.first_falsifiable();
  if (options_.testing) options_.testing(input_clauses_, input_clauses_);
  statistics_.clauses_tested = falsified < input_clauses_ ? falsified + 1 : input_clauses_;
  statistics_.clauses_solved = test.statistics().solved_clauses;
  statistics_.gates_encoded = test.statistics().encoded_gates;
  const ClauseDecider::Statistics& effort = test.statistics();
  statistics_.diagram_clauses = effort.diagram_clauses;
  statistics_.diagram_counterexamples = effort.diagram_counterexamples;
  statistics_.diagrams_first = effort.diagrams_first;
  statistics_.diagram_gates = effort.diagram_gates;
  statistics_.solver_seconds = effort.solver_seconds;
  statistics_.diagram_seconds = effort.diagram_seconds;

  const timeval end = clock_now();
  statistics_.test_seconds = seconds_between(sat_start, end);

  if (falsified < input_clauses_) {
    std::cout << std::endl << "Counterexample found." << std::endl;
    widened.clear();
    std::cout << "Clause (#" << falsified + 1 << "): "
              << to_string(formula_.clauses.read(falsified, widened))
              << std::endl;
    if (options_.debug) {
      std::cout << "Assignment to universals: ";
      for (uint32_t v = 0; v < ids_.size(); ++v) {
        const uint32_t variable = ids_.variable_of[v];
        if (!formula_.is_universal(variable)) continue;
        std::cout << variable << "=" << (test.value(v) ? "1" : "0") << " ";
      }
      std::cout << std::endl;
    }
    return false;
  }

  if (options_.debug) {
    std::cout << std::endl;
    const int64_t sat_ms = milliseconds_between(sat_start, end);
    const int64_t total_ms = milliseconds_between(options_.start, end);
    std::cout << "SAT TIME: " << sat_ms / 1000.0 << " sec." << std::endl;
    std::cout << "TOT TIME: " << total_ms / 1000.0 << " sec." << std::endl;
    // A run too short to measure shows 0.00, not 0 / 0.
    std::cout << "SAT PERCENTAGE: ";
    if (total_ms > 0)
      std::cout << static_cast<double>(sat_ms) / static_cast<double>(total_ms) * 100.0;
    else
      std::cout << "0.00";
    std::cout << " %" << std::endl;
  }
  return true;
}

void ModelChecker::write_skolem(const std::string& path, const std::vector<RunFile>& run_inputs,
                                const std::vector<std::string>& comments) const {
  // Inputs: the universal variables of the QBF file in prefix order;
  // outputs: its existential variables in prefix order (variables the
  // certificate introduced are not the formula's).
  assert(!graph_.literal_of.empty() && "after check");
  std::vector<uint32_t> inputs, outputs, input_variables, output_variables;
  for (uint32_t variable : qbf_prefix_) {
    if (formula_.is_universal(variable)) {
      inputs.push_back(ids_.id(variable));
      input_variables.push_back(variable);
    } else {
      outputs.push_back(ids_.id(variable));
      output_variables.push_back(variable);
    }
  }
  FunctionCircuit circuit = build_skolem_circuit(graph_.aig, graph_.literal_of, inputs, outputs);
  circuit.input_variables = input_variables;
  circuit.output_variables = output_variables;
  write_aiger_file(path, run_inputs, circuit, comments);
}
