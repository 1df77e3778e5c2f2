// Which kind of certificate an input holds, told by its first bytes (after
// decompression) without consuming any: zel's own format, a QRP trace as QBF
// solvers write it (ASCII or binary) or an AIGER circuit (ASCII or binary).
// The tokenizer looked through is then handed to the reader of that kind,
// so this works on a pipe: nothing is read twice and nothing is sought.
#ifndef ZEL_READ_CERTIFICATE_KIND_HPP
#define ZEL_READ_CERTIFICATE_KIND_HPP

#include "read/tokenizer.hpp"

enum class CertificateKind {
  UNKNOWN,       // none of these: read as zel's format, whose header check refuses it
  ZEL,           // the token QBCertificate after blanks and line ends
  QRP_ASCII,     // `p qrp V C` after white space and `c` comment lines
  QRP_BINARY,    // `p bqrp V C` likewise
  AIGER_ASCII,   // `aag ` at the first byte
  AIGER_BINARY,  // `aig ` at the first byte
};

// "unknown", "zel", "QRP", "binary QRP", "AIGER", "binary AIGER".
const char* certificate_kind_name(CertificateKind kind);

// Looks at the next bytes of `tokens` (the start of the input) and consumes
// none. The comment lines before a QRP `p` line are looked through up to
// the tokenizer's buffer size (1 MiB); a longer preamble is UNKNOWN.
CertificateKind detect_certificate_kind(Tokenizer& tokens);

#endif
