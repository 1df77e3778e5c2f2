// The unit tests' own AIGER reader: parses the ASCII ("aag") and binary
// ("aig") forms written by the circuit writer back into one plain record, and
// simulates it, so the tests compare what the file computes, not how the
// writer built it. Strict: anything it does not expect throws
// std::runtime_error with the reason.
#ifndef ZEL_TESTS_UNIT_AIGER_READER_HPP
#define ZEL_TESTS_UNIT_AIGER_READER_HPP

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zeltest {

struct AigerFile {
  bool binary = false;                          // "aig" rather than "aag"
  uint64_t max_variable = 0;                    // M
  uint64_t input_count = 0;                     // I
  uint64_t latch_count = 0;                     // L
  uint64_t output_count = 0;                    // O
  uint64_t and_count = 0;                       // A
  std::vector<uint32_t> inputs;                 // literal of input i
  std::vector<uint32_t> outputs;                // literal of output i
  std::vector<std::array<uint32_t, 3>> ands;    // lhs, rhs0, rhs1 of gate i
  std::vector<std::string> input_names;         // symbol of input i, "" when none
  std::vector<std::string> output_names;        // symbol of output i, "" when none
  bool has_comments = false;                    // a "c" line was present
  std::vector<std::string> comments;            // the lines after "c"
};

class AigerReader {
 public:
  explicit AigerReader(const std::string& bytes) : bytes_(bytes) {}

  AigerFile read() {
    AigerFile file;
    const std::string magic = word();
    if (magic != "aag" && magic != "aig") fail("bad magic '" + magic + "'");
    file.binary = magic == "aig";
    expect(' ');
    file.max_variable = number();
    expect(' ');
    file.input_count = number();
    expect(' ');
    file.latch_count = number();
    expect(' ');
    file.output_count = number();
    expect(' ');
    file.and_count = number();
    expect('\n');
    if (file.latch_count != 0) fail("latches are not expected");
    if (file.max_variable != file.input_count + file.latch_count + file.and_count)
      fail("M is not I + L + A");
    if (file.max_variable > 0x7fffffffu) fail("M too large");
    const uint32_t max_literal = static_cast<uint32_t>(2 * file.max_variable + 1);
    std::vector<bool> defined(file.max_variable + 1, false);
    for (uint64_t i = 0; i < file.input_count; ++i) {
      uint32_t literal = static_cast<uint32_t>(2 * (i + 1));
      if (!file.binary) {
        literal = literal_number(max_literal);
        expect('\n');
        if (literal < 2 || (literal & 1u)) fail("bad input literal");
      }
      if (defined[literal >> 1]) fail("variable defined twice");
      defined[literal >> 1] = true;
      file.inputs.push_back(literal);
    }
    for (uint64_t i = 0; i < file.output_count; ++i) {
      file.outputs.push_back(literal_number(max_literal));
      expect('\n');
    }
    for (uint64_t i = 0; i < file.and_count; ++i) {
      std::array<uint32_t, 3> gate{};
      if (file.binary) {
        gate[0] = static_cast<uint32_t>(2 * (file.input_count + i + 1));
        const uint64_t delta0 = varint();
        const uint64_t delta1 = varint();
        if (delta0 == 0 || delta0 > gate[0]) fail("bad first delta");
        gate[1] = static_cast<uint32_t>(gate[0] - delta0);
        if (delta1 > gate[1]) fail("bad second delta");
        gate[2] = static_cast<uint32_t>(gate[1] - delta1);
      } else {
        gate[0] = literal_number(max_literal);
        expect(' ');
        gate[1] = literal_number(max_literal);
        expect(' ');
        gate[2] = literal_number(max_literal);
        expect('\n');
        if (gate[0] < 2 || (gate[0] & 1u)) fail("bad gate literal");
      }
      // The simulation evaluates gates in file order, so operands must be
      // defined already (constants or earlier variables).
      for (int side = 1; side <= 2; ++side)
        if ((gate[side] >> 1) != 0 && !defined[gate[side] >> 1]) fail("operand read before defined");
      if (defined[gate[0] >> 1]) fail("variable defined twice");
      defined[gate[0] >> 1] = true;
      file.ands.push_back(gate);
    }
    file.input_names.assign(file.input_count, "");
    file.output_names.assign(file.output_count, "");
    while (position_ < bytes_.size()) {
      const char kind = bytes_[position_++];
      if (kind == 'c') {
        expect('\n');
        file.has_comments = true;
        std::string line;
        while (position_ < bytes_.size()) {
          const char c = bytes_[position_++];
          if (c == '\n') {
            file.comments.push_back(line);
            line.clear();
          } else {
            line.push_back(c);
          }
        }
        if (!line.empty()) fail("last comment line not terminated");
        break;
      }
      if (kind != 'i' && kind != 'o') fail(std::string("bad symbol kind '") + kind + "'");
      const uint64_t index = number();
      expect(' ');
      std::string name;
      while (position_ < bytes_.size() && bytes_[position_] != '\n') name.push_back(bytes_[position_++]);
      expect('\n');
      std::vector<std::string>& names = kind == 'i' ? file.input_names : file.output_names;
      if (index >= names.size()) fail("symbol index out of range");
      if (!names[index].empty()) fail("symbol given twice");
      if (name.empty()) fail("empty symbol");
      names[index] = name;
    }
    return file;
  }

 private:
  [[noreturn]] void fail(const std::string& reason) {
    throw std::runtime_error("AIGER byte " + std::to_string(position_) + ": " + reason);
  }
  void expect(char c) {
    if (position_ >= bytes_.size() || bytes_[position_] != c) fail(std::string("expected '") + c + "'");
    ++position_;
  }
  std::string word() {
    std::string result;
    while (position_ < bytes_.size() && bytes_[position_] >= 'a' && bytes_[position_] <= 'z')
      result.push_back(bytes_[position_++]);
    return result;
  }
  uint64_t number() {
    if (position_ >= bytes_.size() || bytes_[position_] < '0' || bytes_[position_] > '9')
      fail("expected a number");
    uint64_t result = 0;
    while (position_ < bytes_.size() && bytes_[position_] >= '0' && bytes_[position_] <= '9') {
      result = 10 * result + static_cast<uint64_t>(bytes_[position_++] - '0');
      if (result > 0xffffffffull) fail("number too large");
    }
    return result;
  }
  uint32_t literal_number(uint32_t max_literal) {
    const uint64_t value = number();
    if (value > max_literal) fail("literal beyond 2M + 1");
    return static_cast<uint32_t>(value);
  }
  uint64_t varint() {
    uint64_t result = 0;
    for (unsigned shift = 0;; shift += 7) {
      if (position_ >= bytes_.size()) fail("truncated gate");
      if (shift > 28) fail("varint too long");
      const unsigned char byte = static_cast<unsigned char>(bytes_[position_++]);
      result |= static_cast<uint64_t>(byte & 0x7fu) << shift;
      if (!(byte & 0x80u)) return result;
    }
  }

  const std::string& bytes_;  // the whole file, owned by the caller
  size_t position_ = 0;       // next byte to read, 0-based
};

inline AigerFile read_aiger(const std::string& bytes) { return AigerReader(bytes).read(); }

// The output values of `file` for one value per input, in input order.
inline std::vector<bool> simulate_aiger(const AigerFile& file, const std::vector<bool>& input_values) {
  std::vector<bool> value(file.max_variable + 1, false);
  auto literal_value = [&](uint32_t literal) { return value[literal >> 1] != static_cast<bool>(literal & 1u); };
  for (size_t i = 0; i < file.inputs.size(); ++i) value[file.inputs[i] >> 1] = input_values.at(i);
  for (const auto& gate : file.ands) value[gate[0] >> 1] = literal_value(gate[1]) && literal_value(gate[2]);
  std::vector<bool> result;
  for (uint32_t literal : file.outputs) result.push_back(literal_value(literal));
  return result;
}

}  // namespace zeltest

#endif
