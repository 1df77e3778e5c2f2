// The validator: one object holds everything a validation needs (the
// formula, the reader's position in the certificate, the clause numbering,
// the held-back steps and the extension definitions) and runs it once.
// Its member functions are defined by topic in the .cpp files named below.
#ifndef ZEL_VALIDATOR_ZEL_HPP
#define ZEL_VALIDATOR_ZEL_HPP

#include <sys/time.h>

#include <cstdint>
#include <fstream>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../formula/dclause.hpp"
#include "../formula/extension.hpp"
#include "../formula/input_buffer.hpp"
#include "core/literal.hpp"
#include "../formula/qcnf.hpp"
#include "clause_map.hpp"
#include "proof/chain_search.hpp"

// A model: variable -> signed model literal, iterated in ascending variable.
using Model = std::map<unsigned, int>;

class ZEL {
 public:
  // One numbered clause line: the clause it defines and how to derive it.
  struct Resolution {
    bool resolvent_omitted = false;  // "*" given: merge the antecedents
    unsigned index = 0;              // certificate clause number defined
    DClause resolvent;               // supplied literals; empty with "*"
    std::list<unsigned> antecedents; // certificate clause numbers, reading order
  };

  ZEL() = default;

  // --- validate.cpp: the driver -------------------------------------------
  // Runs one validation; true when the certificate proves its claim, false
  // when the claim does not hold. Every error is thrown as Exception.
  bool validate(const std::string& qbf_file, const std::string& certificate_file);

  // --- tokenizer.cpp: reading the certificate -----------------------------
  // Every consumed byte is counted: CR and LF each start a new line.
  std::string& read_token(std::ifstream& in);
  int32_t read_signed(std::ifstream& in);
  uint32_t read_unsigned(std::ifstream& in);
  Literal read_literal(std::ifstream& in);
  int read_character(std::ifstream& in);
  int read_whitespace(std::ifstream& in);

  // --- certificate.cpp: the entries of a certificate ----------------------
  void read_resolution_line(std::ifstream& in);
  void read_extension_line(std::ifstream& in);
  and_extension read_extension_and(unsigned variable, std::ifstream& in);
  ite_extension read_extension_ite(unsigned variable, std::ifstream& in);
  void read_trace_line(unsigned index, std::ifstream& in);

  // --- resolution.cpp: checking one resolution step -----------------------
  void apply_resolution(Resolution& step);
  void order_antecedents(const DClause& resolvent, std::list<unsigned>& antecedents,
                         std::list<unsigned>& pivot_list) const;

  // --- delayed.cpp: extensions and held-back steps ------------------------
  bool apply_extension_and(and_extension& extension);
  bool apply_extension_ite(ite_extension& extension);
  void apply_delayed_resolutions();
  void check_delayed_resolutions() const;
  void apply_delayed_extensions();
  void check_delayed_extensions() const;

  // --- conclusion.cpp: the verdict ----------------------------------------
  bool read_conclusion_line(std::ifstream& in);

  // --- dependencies.cpp: the model's functions ----------------------------
  void check_model_quantification(Model& model) const;
  // Edges in flat arrays grouped by variable (dependencies.cpp).
  struct DependencyGraph {
    std::vector<uint32_t> input_begin;  // variable -> first of its inputs; size + 1 entries
    std::vector<uint32_t> inputs;       // variables read, grouped by reader
    std::vector<uint32_t> user_begin;   // variable -> first of its users; size + 1 entries
    std::vector<uint32_t> users;        // readers, grouped by variable read
    std::vector<uint8_t> has_inputs;    // variable has a definition or model function
    std::vector<unsigned> ready;        // variables with no input, in prefix order
  };
  void construct_dependency_graph(const Model& model, DependencyGraph& graph) const;
  void check_function_dependencies(Model& model);

  // --- model_test.cpp: the clause-wise SAT test ---------------------------
  bool test_clausewise(Model& model);

  // --- state ---------------------------------------------------------------
  uint32_t line = 1;          // current certificate line, from 1
  uint32_t column = 1;        // current certificate column, from 1
  QCNF formula;               // QBF file's clauses first, then everything appended
  uint32_t last_input_clause = 0;   // 0-based index of the QBF file's last clause; ~0u if none
  uint32_t input_max_variable = 0;  // formula.max_variable once the QBF file is loaded
  bool debug = false;         // --d: progress and debug output
  bool ignore = false;        // --ignore: accept steps without antecedents
  std::string token;          // the last token read_token read (plain numbers bypass it); reused storage
  std::list<and_extension> delayed_and_extensions;  // held back, reading order
  std::list<ite_extension> delayed_ite_extensions;  // held back, reading order
  std::list<Resolution> delayed_resolutions;        // held back, newest first
  ClauseMap clause_map;       // certificate clause number -> 1-based formula position; 0 undefined
  std::map<unsigned, std::vector<Literal>> ite_definitions;  // variable -> condition, then, else
  std::map<unsigned, std::vector<Literal>> and_definitions;  // variable -> conjuncts
  struct timeval start_time {};  // wall clock when validate began

  // Formula positions (0-based, half open) of the defining clauses of every
  // applied extension, in application order: the clause-wise model test
  // gives the solver these and nothing else the certificate derived.
  std::vector<std::pair<uint32_t, uint32_t>> definition_clauses;

  // The fallback search for sound chains, and the literals it has touched so
  // far in this run: it has a budget per step and one for the whole run.
  ChainSearch chain_search;
  uint64_t chain_search_work = 0;

 private:
  // The certificate's bytes, read through our own buffer (tokenizer.cpp).
  InputBuffer input;
  void bind(std::ifstream& in) {
    if (!input.attached_to(in)) input.attach(in);
  }
  bool read_plain_number(std::ifstream& in, bool allow_negative, int64_t& value);
  void count(int c) {
    if (c == '\n' || c == '\r') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }

  // The record of the numbered clause line being read, and its antecedents
  // (certificate.cpp); reused from line to line.
  Resolution reading_step;
  std::vector<unsigned> reading_antecedents;

  // Resolution work storage (resolution.cpp). Its contents matter within one
  // call only; keeping it here keeps the capacity from step to step.
  std::list<unsigned> pivots;  // pivot variable of each resolution of the chain
  DClause tclause, rclause;    // work clauses the chain alternates between
  struct OrderingScratch;
  struct ScratchDeleter {
    void operator()(OrderingScratch* scratch) const;
  };
  mutable std::unique_ptr<OrderingScratch, ScratchDeleter> ordering;
  OrderingScratch& ordering_scratch() const;

  template <typename Extension>
  void define_extension(const Extension& extension);
  void store_clause(unsigned index, const DClause& clause);
  void apply_merge(Resolution& step);
  void apply_chain(Resolution& step);
  bool merge_refutes(const std::vector<const DClause*>& antecedent_clauses,
                     const DClause& merged);
  bool linear_chain_exists(const std::list<unsigned>& chain, const DClause& resolvent);
  void ensure_marks(size_t codes) const;

  bool defined(uint32_t number) const { return clause_map.defined(number); }
  const DClause& stored_clause(uint32_t number) const {
    return formula.clauses[clause_map[number] - 1];
  }
};

#endif
