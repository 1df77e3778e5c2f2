#!/usr/bin/env python3
"""Every output option against every kind of certificate: --skolem FILE,
--herbrand FILE and --core FILE, each with a zel refutation (CONCLUDE
INVALID), a zel model (CONCLUDE VALID), a QRP trace ending r UNSAT, one
ending r SAT, an AIGER circuit of Skolem functions and one of Herbrand
functions, all of them valid. Each of the 18 runs has its exact standard
output, standard error and exit status, and one of three outcomes:
  - written: FILE (which held other bytes before) holds the exact bytes
    expected, and zel validates it against the same formula;
  - none: the certificate proves the other answer, so there is nothing to
    write; FILE is left as it was;
  - refused: exit status 30 with the message, FILE left as it was.
Also the exact circuit --herbrand writes for an AIGER certificate of
Herbrand functions whose inputs stand in another order and whose gates
fold or are unread, in both encodings.

Usage: tests/outputs/run.py path/to/zel
"""
import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))
TALLY = Tally("outputs")
check = TALLY.check
VALIDATED = b"Certificate validated correctly.\n"
KEPT = b"bytes zel must not touch\n"

# Exists 1, forall 2, exists 3: false, the universal copying the first
# existential. Forall 1, exists 2: true, the existential negating the universal.
FILES = {
    "false.qdimacs": "p cnf 3 4\ne 1 0\na 2 0\ne 3 0\n1 2 3 0\n1 2 -3 0\n-1 -2 3 0\n-1 -2 -3 0\n",
    "true.qdimacs": "p cnf 2 2\na 1 0\ne 2 0\n2 1 0\n-2 -1 0\n",
    "refutation.cert": "QBCertificate\n5 1 0 1 2 0\n6 -1 0 3 4 0\n7 0 5 6 0\nCONCLUDE INVALID 7\n",
    "model.cert": "QBCertificate\nCONCLUDE VALID 2 -1\n",
    "unsat.qrp": "p qrp 3 7\ne 1 0\na 2 0\ne 3 0\n1 1 2 3 0 0\n2 1 2 -3 0 0\n3 -1 -2 3 0 0\n"
                 "4 -1 -2 -3 0 0\n5 1 0 1 2 0\n6 -1 0 3 4 0\n7 0 5 6 0\nr UNSAT\n",
    "sat.qrp": "p qrp 2 5\na 1 0\ne 2 0\n1 1 -2 0 0\n2 -1 2 0 0\n3 1 0 1 0\n4 -1 0 2 0\n"
               "5 0 3 4 0\nr SAT\n",
    # x2 = NOT x1 AND true, which folds to NOT x1.
    "skolem.aag": "aag 2 1 0 1 1\n2\n4\n4 3 1\ni0 1\no0 2\n",
    # x2 = (x1 AND x1) AND true, which folds to x1.
    "herbrand.aag": "aag 3 1 0 1 2\n2\n6\n4 2 2\n6 4 1\ni0 1\no0 2\n",
    # Exists 1 2, forall 3: the universal falsifies 3 <-> (1 AND 2). The
    # certificate names its inputs in the other order and has an unread gate.
    "and.qdimacs": "p cnf 3 3\ne 1 2 0\na 3 0\n-3 1 0\n-3 2 0\n3 -1 -2 0\n",
    "and.aag": "aag 4 2 0 1 2\n2\n4\n7\n6 4 2\n8 6 3\ni0 2\ni1 1\no0 3\n",
}

KINDS = {  # kind -> (formula, certificate)
    "refutation": ("false.qdimacs", "refutation.cert"),
    "model": ("true.qdimacs", "model.cert"),
    "QRP r UNSAT": ("false.qdimacs", "unsat.qrp"),
    "QRP r SAT": ("true.qdimacs", "sat.qrp"),
    "AIGER Skolem": ("true.qdimacs", "skolem.aag"),
    "AIGER Herbrand": ("false.qdimacs", "herbrand.aag"),
}


def circuit(kind, inputs, outputs, certificate, formula):
    """zel's comment section after a circuit's ASCII lines."""
    return (inputs + outputs + "c\n%s functions written by zel\nformula: %s\ncertificate: %s\n"
            % (kind, formula, certificate)).encode()


HERBRAND_INPUTS = "aag 2 2 0 1 0\n2\n4\n2\n"  # x2 = x1 over the existentials 1 and 3
HERBRAND_SYMBOLS = "i0 1\ni1 3\no0 2\n"
SKOLEM = "aag 1 1 0 1 0\n2\n3\n"  # x2 = NOT x1
SKOLEM_SYMBOLS = "i0 1\no0 2\n"
MODEL_CORE = b"A model has no proof steps to write with --core (it takes refutations and QRP traces).\n"
AIGER_CORE = (b"An AIGER certificate has no proof steps to write with --core (it takes "
              b"refutations and QRP traces).\n")

# option, kind, outcome, standard output, the file written.
TABLE = (
    ("--skolem", "refutation", "none", VALIDATED, None),
    ("--skolem", "model", "written", VALIDATED,
     circuit("Skolem", SKOLEM, SKOLEM_SYMBOLS, "model.cert", "true.qdimacs")),
    ("--skolem", "QRP r UNSAT", "none", VALIDATED, None),
    ("--skolem", "QRP r SAT", "written", VALIDATED,
     circuit("Skolem", SKOLEM, SKOLEM_SYMBOLS, "sat.qrp", "true.qdimacs")),
    ("--skolem", "AIGER Skolem", "written", VALIDATED,
     circuit("Skolem", SKOLEM, SKOLEM_SYMBOLS, "skolem.aag", "true.qdimacs")),
    ("--skolem", "AIGER Herbrand", "none", VALIDATED, None),
    ("--herbrand", "refutation", "written", VALIDATED,
     circuit("Herbrand", HERBRAND_INPUTS, HERBRAND_SYMBOLS, "refutation.cert", "false.qdimacs")),
    ("--herbrand", "model", "none", VALIDATED, None),
    ("--herbrand", "QRP r UNSAT", "written", VALIDATED,
     circuit("Herbrand", HERBRAND_INPUTS, HERBRAND_SYMBOLS, "unsat.qrp", "false.qdimacs")),
    ("--herbrand", "QRP r SAT", "none", VALIDATED, None),
    ("--herbrand", "AIGER Skolem", "none", VALIDATED, None),
    ("--herbrand", "AIGER Herbrand", "written", VALIDATED,
     circuit("Herbrand", HERBRAND_INPUTS, HERBRAND_SYMBOLS, "herbrand.aag", "false.qdimacs")),
    ("--core", "refutation", "written", VALIDATED, FILES["refutation.cert"].encode()),
    # The conclusion tells a model; the model itself is not checked.
    ("--core", "model", "refused", b"Error at line 2, column 15: " + MODEL_CORE, None),
    # Every step resolves two clauses and each reduction folds into the next
    # step: the core is in zel's format.
    ("--core", "QRP r UNSAT", "written", VALIDATED, FILES["refutation.cert"].encode()),
    ("--core", "QRP r SAT", "written", VALIDATED, FILES["sat.qrp"].encode()),
    # Refused before the QBF file is read.
    ("--core", "AIGER Skolem", "refused", b"Error at line 1, column 1: " + AIGER_CORE, None),
    ("--core", "AIGER Herbrand", "refused", b"Error at line 1, column 1: " + AIGER_CORE, None),
)

# The circuit --herbrand writes of and.aag: the inputs 1 and 2 in prefix
# order, the unread gate dropped, the kept one renumbered.
AND_WRITTEN = {
    ".aag": b"aag 3 2 0 1 1\n2\n4\n7\n6 4 2\ni0 1\ni1 2\no0 3\nc\nHerbrand functions written by "
            b"zel\nformula: and.qdimacs\ncertificate: and.aag\n",
    ".aig": b"aig 3 2 0 1 1\n7\n\x02\x02i0 1\ni1 2\no0 3\nc\nHerbrand functions written by "
            b"zel\nformula: and.qdimacs\ncertificate: and.aag\n",
}


def run(args, cwd):
    result = subprocess.run([ZEL] + args, capture_output=True, timeout=120, cwd=cwd)
    return result.returncode, result.stdout, result.stderr


def written(label, work, option, formula, certificate, path, expected_out, expected_file):
    """Runs zel with `option path` over a file that holds other bytes; the
    run's output and the file afterwards are compared, a written file is
    validated against the formula."""
    with open(os.path.join(work, path), "wb") as f:
        f.write(KEPT)
    got = run([option, path, formula, certificate], work)
    expected_status = 30 if expected_out.startswith(b"Error") else 10
    check("%s: output and exit status" % label, got == (expected_status, expected_out, b""),
          repr(got))
    with open(os.path.join(work, path), "rb") as f:
        content = f.read()
    if expected_file is None:
        check("%s: the file is left as it was" % label, content == KEPT, repr(content[:200]))
    else:
        check("%s: the file written" % label, content == expected_file, repr(content[:300]))
        got = run([formula, path], work)
        check("%s: zel validates the file written" % label, got == (10, VALIDATED, b""),
              repr(got))
    os.remove(os.path.join(work, path))


def main():
    work = tempfile.mkdtemp(prefix="zel-outputs-")
    for name, text in FILES.items():
        with open(os.path.join(work, name), "w") as f:
            f.write(text)
    for kind, (formula, certificate) in KINDS.items():
        got = run([formula, certificate], work)
        check("%s: validated without outputs" % kind, got == (10, VALIDATED, b""), repr(got))
    combinations = set()
    for option, kind, outcome, out, content in TABLE:
        combinations.add((option, kind))
        assert (content is not None) == (outcome == "written")
        assert out.startswith(b"Error") == (outcome == "refused")
        formula, certificate = KINDS[kind]
        written("%s with %s (%s)" % (option, kind, outcome), work, option, formula, certificate,
                "out", out, content)
    check("every option with every kind of certificate", len(combinations) == 18,
          str(len(combinations)))
    for suffix, expected in AND_WRITTEN.items():
        written("--herbrand %s of reordered inputs and unread gates" % suffix, work, "--herbrand",
                "and.qdimacs", "and.aag", "out" + suffix, VALIDATED, expected)
    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
