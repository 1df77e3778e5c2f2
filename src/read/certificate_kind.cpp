// Telling the kind of a certificate from its first bytes.

#include "read/certificate_kind.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// The start of the input, looked at through the tokenizer and widened on
// demand, so a short input or a slow pipe is never waited on for more bytes
// than the decision needs.
class Head {
 public:
  explicit Head(Tokenizer& tokens) : tokens_(tokens), bytes_(tokens.look_ahead(kFirstLook)) {}

  // The byte at `index`, or -1 past the end of the input (or of the most
  // the tokenizer can look ahead).
  int at(size_t index) {
    while (index >= bytes_.size()) {
      const size_t wanted = std::min(Tokenizer::kBufferSize, 2 * bytes_.size() + kFirstLook);
      if (bytes_.size() == wanted) return -1;
      const size_t had = bytes_.size();
      bytes_ = tokens_.look_ahead(wanted);
      if (bytes_.size() == had) return -1;
    }
    return static_cast<unsigned char>(bytes_[index]);
  }
  // `word` stands at `index`.
  bool has(size_t index, const char* word) {
    for (size_t i = 0; word[i] != '\0'; ++i)
      if (at(index + i) != static_cast<unsigned char>(word[i])) return false;
    return true;
  }

 private:
  static constexpr size_t kFirstLook = 64;  // bytes asked for first
  Tokenizer& tokens_;                        // whose buffer is looked at
  std::string_view bytes_;                   // the bytes looked at so far
};

bool blank(int c) { return c == ' ' || c == '\t'; }
bool white(int c) { return blank(c) || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A QRP preamble from `index`: white space and lines whose first token is
// `c`, then `p`, blanks, `qrp` or `bqrp` and a blank.
CertificateKind qrp_kind(Head& head, size_t index) {
  for (;;) {
    while (white(head.at(index))) ++index;
    if (head.at(index) != 'c' || !(white(head.at(index + 1)) || head.at(index + 1) == -1)) break;
    int c;
    while ((c = head.at(index)) != -1 && c != '\n') ++index;
    if (c == -1) return CertificateKind::UNKNOWN;
  }
  if (head.at(index) != 'p' || !blank(head.at(index + 1))) return CertificateKind::UNKNOWN;
  ++index;
  while (blank(head.at(index))) ++index;
  if (head.has(index, "qrp") && blank(head.at(index + 3))) return CertificateKind::QRP_ASCII;
  if (head.has(index, "bqrp") && blank(head.at(index + 4))) return CertificateKind::QRP_BINARY;
  return CertificateKind::UNKNOWN;
}

}  // namespace

const char* certificate_kind_name(CertificateKind kind) {
  switch (kind) {
    case CertificateKind::UNKNOWN: return "unknown";
    case CertificateKind::ZEL: return "zel";
    case CertificateKind::QRP_ASCII: return "QRP";
    case CertificateKind::QRP_BINARY: return "binary QRP";
    case CertificateKind::AIGER_ASCII: return "AIGER";
    case CertificateKind::AIGER_BINARY: return "binary AIGER";
  }
  return "unknown";
}

CertificateKind detect_certificate_kind(Tokenizer& tokens) {
  Head head(tokens);
  if (head.has(0, "aag ")) return CertificateKind::AIGER_ASCII;
  if (head.has(0, "aig ")) return CertificateKind::AIGER_BINARY;
  // zel's header is the first token, as CertificateReader::read_header reads
  // it: after blanks and line ends only, followed by one of them or the end.
  size_t index = 0;
  int c;
  while ((c = head.at(index)) == ' ' || c == '\n' || c == '\r') ++index;
  if (head.has(index, "QBCertificate")) {
    c = head.at(index + std::strlen("QBCertificate"));
    if (c == -1 || c == ' ' || c == '\n' || c == '\r') return CertificateKind::ZEL;
  }
  return qrp_kind(head, 0);
}
