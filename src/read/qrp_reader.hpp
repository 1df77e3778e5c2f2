// The QRP reader: the Q-resolution traces QBF solvers write (DepQBF's
// --trace), in both encodings, yielded one entry at a time for a checker to
// pull. ASCII: `p qrp V C`, quantifier lines as in QDIMACS, one step a line
// (`index literals 0 antecedents 0`), then `r SAT` or `r UNSAT`. Binary:
// the ASCII preamble `p bqrp V C` ended by a 0 byte, each quantifier block as
// 0, `e` or `a`, the variables, 0; the steps as binary numbers (literals
// coded 2v+s, s = 1 when negative); a 0 where the next index would stand;
// then the result line in ASCII. The reader checks the form only: number
// ranges, the variable limit, the order of the sections and a clean end.
// Whether antecedents exist and steps resolve is the checker's business.
#ifndef ZEL_READ_QRP_READER_HPP
#define ZEL_READ_QRP_READER_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"
#include "core/quantifier.hpp"
#include "read/byte_source.hpp"
#include "read/input_position.hpp"
#include "read/tokenizer.hpp"

struct QrpHeader {
  bool binary = false;     // `p bqrp`
  uint32_t variables = 0;  // V as announced
  uint32_t clauses = 0;    // C as announced
};

// One entry. The vectors are the caller's and reused from entry to entry,
// so reading allocates only while an entry is longer than all before it.
struct QrpEntry {
  enum Kind { BLOCK, STEP, RESULT };

  Kind kind = BLOCK;                   // which of the fields below are set
  InputPosition position;                // where the entry starts
  Quantifier::Type quantifier = Quantifier::UNDEFINED;  // BLOCK: UNIVERSAL or EXISTENTIAL
  std::vector<uint32_t> variables;     // BLOCK: as listed
  uint32_t index = 0;                  // STEP: its index, never 0
  std::vector<Literal> literals;       // STEP: as listed, duplicates kept
  std::vector<uint32_t> antecedents;   // STEP: indices as listed, never 0
  bool satisfiable = false;            // RESULT: `r SAT` (else `r UNSAT`)
};

class QrpReader {
 public:
  // Reads from where `tokens` stands (the start of the input, after
  // detect_certificate_kind looked at it); quantifier and step lines are
  // separated by any white space, as in QDIMACS.
  explicit QrpReader(Tokenizer&& tokens);
  // Reads `source` from its start.
  explicit QrpReader(ByteSource& source);
  ~QrpReader();  // stops reading ahead
  QrpReader(const QrpReader&) = delete;
  QrpReader& operator=(const QrpReader&) = delete;

  // The comment lines (`c` ...) and the `p` line; the first call. Throws
  // "QRP header expected ('p qrp V C' or 'p bqrp V C'), found 'T'." and
  // "Number conversion failed (T)." for V and C.
  const QrpHeader& read_header();

  // The next entry: quantifier blocks, then steps, then the result, which
  // is the last; after it only white space may follow, which is checked
  // here, to the end of the input. Must not be called after the result.
  // Every refusal throws Exception; where() tells the position.
  QrpEntry::Kind next(QrpEntry& entry);

  // After read_header: the entries are read on a thread of their own, a
  // block of them ahead of the caller, so that reading and checking
  // overlap. Entries, refusals and positions stay exactly those of reading
  // in turn: a refusal of the reader is thrown by the next() call that
  // would have met it. Only for an input whose reads cannot wait for ever
  // (a regular file, memory): stopping joins the thread. While it reads
  // ahead, only the thread touches the byte source, except through its
  // bytes_in_published().
  void read_ahead();
  // Ends reading ahead (the entries not taken are dropped); next() must not
  // be called afterwards. Without reading ahead, nothing happens.
  void stop_reading_ahead();

  // After read_header, before read_ahead: only the entries that start at
  // the byte offsets in [gaps, end) are read, each given as the binary
  // number (7 bits a byte) of its distance from the one before (the first
  // from offset 0); the bytes between are skipped unread (blocks too).
  // next() must not be called after the last. The bytes must outlive the
  // reading. For a second reading of a trace whose first reading gave the
  // offsets: where the bytes differ, the entries read differ or the reader
  // refuses them.
  void read_only_at(const uint8_t* gaps, const uint8_t* end);

  bool binary() const { return header_.binary; }
  // Where the reader stands: the byte after the entry next() returned last
  // (after a refusal, where the reader met it).
  InputPosition position() const;
  // A position as messages give it: "line L, column C" for ASCII traces,
  // "byte offset N" for binary ones (the offset of the decompressed input,
  // from 0, as od and xxd count).
  std::string where(const InputPosition& position) const;
  std::string where() const { return where(position()); }

 private:
  enum class Section { BLOCKS, STEPS, DONE };
  struct Ahead;  // the reading thread and the blocks it fills (qrp_reader.cpp)

  // The next entry: a step's lists are appended to `numbers` (its literal
  // codes, `literals` of them, then its antecedents), not put in `entry`;
  // the reading thread gives its block's numbers, read_entry its own.
  QrpEntry::Kind read_raw(QrpEntry& entry, PodVector<uint32_t>& numbers, uint32_t& literals);
  QrpEntry::Kind read_entry(QrpEntry& entry);
  QrpEntry::Kind next_ascii(QrpEntry& entry, PodVector<uint32_t>& numbers, uint32_t& literals);
  QrpEntry::Kind next_binary(QrpEntry& entry, PodVector<uint32_t>& numbers, uint32_t& literals);
  void read_ascii_block(QrpEntry& entry);
  uint32_t read_ascii_step(uint32_t index, PodVector<uint32_t>& numbers);
  void read_binary_block(QrpEntry& entry);
  uint32_t read_binary_step(uint32_t index, PodVector<uint32_t>& numbers);
  void read_result(QrpEntry& entry);
  uint32_t read_count(bool zero_ends);
  uint32_t read_ascii_unsigned(const char* within, uint32_t index);
  int32_t read_ascii_signed(const char* within, uint32_t index);
  uint32_t read_binary(const char* within, uint32_t index);
  [[noreturn]] void cut_off(const char* within, uint32_t index) const;

  // The offsets read_only_at gave: the next gap, the end of the gaps, the
  // offset of the last entry read by them.
  struct Plan {
    bool active = false;
    const uint8_t* at = nullptr;
    const uint8_t* end = nullptr;
    uint64_t offset = 0;
  };
  bool planned_all() const { return plan_.active && plan_.at == plan_.end; }

  Tokenizer tokens_;                  // the trace's bytes
  Plan plan_;                         // read_only_at's offsets, when given
  QrpHeader header_;                  // as read by read_header
  Section section_ = Section::BLOCKS; // what may come next
  PodVector<uint32_t> numbers_;       // read_entry's step lists; reused storage
  std::unique_ptr<Ahead> ahead_;      // while reading ahead
};

#endif
