#!/usr/bin/env python3
"""AIGER certificates end to end:
  - every circuit of MANIFEST.tsv (the certificates CADET wrote) against its
    formula, through a file, standard input and a gzip file: the status of
    the MANIFEST;
  - zel's own --skolem output (ASCII and binary) of every validated model of
    the examples and the corpus, read back: 10; the same circuit with one
    output negated: never 10 unless this script's own simulation finds the
    negated functions a model still;
  - Herbrand functions derived by brute force (a winning strategy of the
    universal player, as truth tables over the existentials before each
    universal) for the small false formulas of the corpus, in both
    encodings: 10, and --herbrand writes them again in zel's layout, which
    zel validates and this script evaluates; each with one function
    negated: 20 unless this script finds the substituted matrix
    unsatisfiable still, and the assignment
    zel prints must satisfy the substituted matrix;
  - exact output for the faults: a Herbrand function reading a later
    existential, a Skolem function reading a later universal, an output
    naming a variable the formula does not have, outputs of both kinds, an
    input of the wrong kind, no QBF file, errors at byte offsets in binary
    circuits, and the counterexample lines of both kinds; --stats.

Usage: tests/aiger/run.py path/to/zel
"""
import gzip
import itertools
import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally, load_suite  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))
TALLY = Tally("aiger")
check = TALLY.check


# The --skolem test's QDIMACS and AIGER readers and its simulation; the QRP
# test's binary numbers (7 bits a byte), which binary AIGER gates use too;
# the functions test's evaluation of written functions.
skolem = load_suite("skolem")
varints = load_suite("qrp").varints
functions = load_suite("functions")

VALIDATED = b"Certificate validated correctly.\n"
ERRONEOUS = b"Certificate erroneous.\n"


def run(args, stdin_bytes=None):
    result = subprocess.run([ZEL] + args, input=stdin_bytes, capture_output=True, timeout=300)
    return result.returncode, result.stdout, result.stderr


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    return path


# ---- circuits written by this script ----------------------------------------

class Circuit:
    """An and-inverter graph: inputs are variables 1..I, gate k variable I + 1 + k."""

    def __init__(self, inputs):
        self.inputs = list(inputs)  # names (formula variables) of the inputs
        self.ands = []              # (rhs0, rhs1)
        self.outputs = []           # (literal, name)
        self.cache = {}

    def input(self, k):
        return 2 * (k + 1)

    def AND(self, a, b):
        if a == 0 or b == 0:
            return 0
        if a == 1:
            return b
        if b == 1:
            return a
        key = (max(a, b), min(a, b))
        if key not in self.cache:
            self.ands.append(key)
            self.cache[key] = 2 * (len(self.inputs) + len(self.ands))
        return self.cache[key]

    def OR(self, a, b):
        return self.AND(a ^ 1, b ^ 1) ^ 1

    def ascii(self):
        i, a = len(self.inputs), len(self.ands)
        lines = ["aag %d %d 0 %d %d" % (i + a, i, len(self.outputs), a)]
        lines += [str(self.input(k)) for k in range(i)]
        lines += [str(literal) for literal, _ in self.outputs]
        lines += ["%d %d %d" % (2 * (i + 1 + k), r0, r1) for k, (r0, r1) in enumerate(self.ands)]
        lines += ["i%d %s" % (k, name) for k, name in enumerate(self.inputs)]
        lines += ["o%d %s" % (k, name) for k, (_, name) in enumerate(self.outputs)]
        return ("\n".join(lines) + "\n").encode()

    def binary(self):
        i, a = len(self.inputs), len(self.ands)
        out = bytearray(b"aig %d %d 0 %d %d\n" % (i + a, i, len(self.outputs), a))
        for literal, _ in self.outputs:
            out += b"%d\n" % literal
        for k, (r0, r1) in enumerate(self.ands):
            lhs = 2 * (i + 1 + k)
            out += varints([lhs - r0, r0 - r1])
        out += "".join("i%d %s\n" % (k, name) for k, name in enumerate(self.inputs)).encode()
        out += "".join("o%d %s\n" % (k, name) for k, (_, name) in enumerate(self.outputs)).encode()
        return bytes(out)


def negate_output(data, index):
    """The circuit bytes with output `index` negated (output lines are
    decimal in both encodings; they follow the header and, in ASCII, the
    inputs)."""
    lines = data.split(b"\n")
    header = lines[0].split()
    first = 1 + (int(header[2]) if header[0] == b"aag" else 0) + index
    lines[first] = b"%d" % (int(lines[first]) ^ 1)
    return b"\n".join(lines)


# ---- formulas ---------------------------------------------------------------

def satisfied(clauses, value):
    return all(any(value[abs(l)] == (l > 0) for l in clause) for clause in clauses)


def herbrand_strategy(prefix, clauses):
    """For a false formula: a winning choice of every universal, as a table
    from the values of the existentials before it; None when the formula is
    true."""
    order = [(v, q) for v, q, _ in prefix]
    tables = {v: {} for v, q in order if q == "a"}

    def false_from(position, value):
        if position == len(order):
            return not satisfied(clauses, value)
        variable, quantifier = order[position]
        if quantifier == "e":
            for choice in (False, True):
                value[variable] = choice
                if not false_from(position + 1, value):
                    return False
            return True
        for choice in (False, True):
            value[variable] = choice
            if false_from(position + 1, value):
                key = tuple(value[v] for v, q in order[:position] if q == "e")
                tables[variable][key] = choice
                return True
        return False
    return tables if false_from(0, {}) else None


def herbrand_circuit(prefix, tables):
    """Each universal's table as a sum of minterms over the existentials
    before it; inputs are all existentials in prefix order."""
    existentials = [v for v, q, _ in prefix if q == "e"]
    circuit = Circuit(existentials)
    for position, (variable, quantifier, _) in enumerate(prefix):
        if quantifier != "a":
            continue
        before = [v for v, q, _ in prefix[:position] if q == "e"]
        function = 0
        for key, choice in sorted(tables[variable].items()):
            if not choice:
                continue
            term = 1
            for v, bit in zip(before, key):
                term = circuit.AND(term, circuit.input(existentials.index(v)) ^ (0 if bit else 1))
            function = circuit.OR(function, term)
        circuit.outputs.append((function, str(variable)))
    return circuit


def evaluate(circuit, value):
    """Output values of `circuit` under formula values `value` of its inputs."""
    node = {0: False}
    for k, name in enumerate(circuit.inputs):
        node[2 * (k + 1)] = value[int(name)]

    def literal(l):
        return node[l & ~1] != bool(l & 1)
    for k, (r0, r1) in enumerate(circuit.ands):
        node[2 * (len(circuit.inputs) + 1 + k)] = literal(r0) and literal(r1)
    return {int(name): literal(l) for l, name in circuit.outputs}


def substituted_models(prefix, clauses, circuit):
    """Existential assignments satisfying the matrix with each universal
    replaced by its function (a universal without one is false)."""
    existentials = sorted(v for v, q, _ in prefix if q == "e")
    universals = [v for v, q, _ in prefix if q == "a"]
    models = []
    for bits in itertools.product((False, True), repeat=len(existentials)):
        value = dict(zip(existentials, bits))
        for u in universals:
            value[u] = False
        value.update(evaluate(circuit, value))
        if satisfied(clauses, value):
            models.append(" ".join(("" if value[v] else "-") + str(v) for v in existentials))
    return models


# ---- the checks ---------------------------------------------------------------

def check_manifest(work):
    for line in open(os.path.join(HERE, "MANIFEST.tsv")):
        if line.startswith("#") or not line.strip():
            continue
        name, formula, status = line.rstrip("\n").split("\t")
        circuit, formula = os.path.join(HERE, name), os.path.join(HERE, formula)
        data = open(circuit, "rb").read()
        packed = write(os.path.join(work, name + ".gz"), gzip.compress(data))
        for how, args, stdin in (("file", [formula, circuit], None), ("stdin", [formula, "-"], data),
                                 ("gzip", [formula, packed], None)):
            code, out, _ = run(args, stdin)
            check("%s through %s gives %s" % (name, how, status), code == int(status),
                  "%d %r" % (code, out[-200:]))


def corpus_models():
    stems = []
    for folder in (os.path.join(ROOT, "examples"), os.path.join(ROOT, "tests", "corpus")):
        for dirpath, _, files in os.walk(folder):
            for file in sorted(files):
                stem = os.path.join(dirpath, file[:-5])
                if file.endswith(".cert") and os.path.exists(stem + ".qdimacs") and \
                        "CONCLUDE VALID" in open(stem + ".cert", errors="replace").read():
                    stems.append(stem)
    return stems


def simulated_model(formula, path):
    """This script's verdict on a Skolem circuit in zel's --skolem layout:
    every clause holds for every input assignment (random ones above
    skolem.EXHAUSTIVE inputs) and each output reads only earlier inputs."""
    prefix, clauses = skolem.read_qdimacs(formula)
    circuit = skolem.read_aiger(path)
    level = {v: lv for v, _, lv in prefix}
    inputs = [circuit["symbols"]["i%d" % k] for k in range(circuit["i"])]
    outputs = [circuit["symbols"]["o%d" % k] for k in range(circuit["o"])]
    cones = skolem.support(circuit)
    if not all(level[inputs[k]] < level[outputs[o]] for o in range(len(outputs)) for k in cones[o]):
        return False
    n = len(inputs)
    assignments = itertools.product((0, 1), repeat=n) if n <= 12 else (
        [skolem.Random(seed).getrandbits(1) for _ in range(n)] for seed in range(4096))
    for bits in assignments:
        values = skolem.simulate(circuit, list(bits), 1)
        value = dict(zip(inputs, bits))
        value.update(zip(outputs, values))
        if not all(any(value.get(abs(l), 0) == (l > 0) for l in c) for c in clauses):
            return False
    return True


def check_skolem_read_back(work):
    negated_counterexample = None
    for stem in corpus_models():
        name = os.path.relpath(stem, ROOT)
        formula = stem + ".qdimacs"
        for suffix in ("aag", "aig"):
            path = os.path.join(work, "model." + suffix)
            if os.path.exists(path):
                os.remove(path)
            code, _, _ = run(["--skolem", path, formula, stem + ".cert"])
            if code != 10:
                break
            code, out, _ = run([formula, path])
            check("%s --skolem %s read back" % (name, suffix), (code, out) == (10, VALIDATED),
                  "%d %r" % (code, out[-200:]))
            data = open(path, "rb").read()
            outputs = int(data.split(b"\n", 1)[0].split()[4])
            if outputs == 0:
                continue
            negated = write(os.path.join(work, "negated." + suffix), negate_output(data, 0))
            code, out, _ = run([formula, negated])
            still_model = code == 10 and simulated_model(formula, negated)
            check("%s --skolem %s with output 0 negated is not validated" % (name, suffix),
                  code in (20, 30) or still_model, "%d %r" % (code, out[-200:]))
            if suffix == "aag" and code == 20 and negated_counterexample is None and \
                    name == "tests/corpus/adder-n3.skolem.and":
                negated_counterexample = out
    # One counterexample exactly: the model test's lines.
    check("negated output: the model test's counterexample lines",
          negated_counterexample == b"\nCounterexample found.\nClause (#1): (-7, 1, 4)\n" + ERRONEOUS,
          repr(negated_counterexample))


def small_false_formulas():
    stems = [os.path.join(ROOT, "examples", "refutation")]
    corpus = os.path.join(ROOT, "tests", "corpus")
    for name in ("eq-n4.qpup.plain", "kbkf-n3.trad.plain", "qparity-n5.trad.plain"):
        stems.append(os.path.join(corpus, name))
    return stems


def check_herbrand(work):
    for stem in small_false_formulas():
        name = os.path.relpath(stem, ROOT)
        formula = stem + ".qdimacs"
        prefix, clauses = skolem.read_qdimacs(formula)
        tables = herbrand_strategy(prefix, clauses)
        check("%s is false" % name, tables is not None)
        if tables is None:
            continue
        circuit = herbrand_circuit(prefix, tables)
        check("%s: the derived functions refute the matrix" % name,
              substituted_models(prefix, clauses, circuit) == [])
        for encoding in ("ascii", "binary"):
            data = getattr(circuit, encoding)()
            path = write(os.path.join(work, "herbrand." + encoding), data)
            code, out, _ = run([formula, path])
            check("%s Herbrand %s: validated" % (name, encoding), (code, out) == (10, VALIDATED),
                  "%d %r" % (code, out[-300:]))
            # --herbrand writes them again over the formula's variables, in
            # the layout of a refutation's functions, which zel validates.
            again = os.path.join(work, "again" + (".aig" if encoding == "binary" else ".aag"))
            if os.path.exists(again):
                os.remove(again)
            code, out, _ = run(["--herbrand", again, formula, path])
            check("%s Herbrand %s: written with --herbrand" % (name, encoding),
                  (code, out) == (10, VALIDATED) and os.path.exists(again),
                  "%d %r" % (code, out[-300:]))
            if os.path.exists(again):
                code, out, _ = run([formula, again])
                check("%s Herbrand %s, written again: validated" % (name, encoding),
                      (code, out) == (10, VALIDATED), "%d %r" % (code, out[-300:]))
                reason = functions.evaluated(formula, skolem.read_aiger(again), True)
                check("%s Herbrand %s, written again: layout and functions" % (name, encoding),
                      reason is None, reason)
            for index in range(len(circuit.outputs)):
                wrong = Circuit(circuit.inputs)
                wrong.ands = circuit.ands
                wrong.outputs = list(circuit.outputs)
                wrong.outputs[index] = (circuit.outputs[index][0] ^ 1, circuit.outputs[index][1])
                models = substituted_models(prefix, clauses, wrong)
                path = write(os.path.join(work, "wrong." + encoding), getattr(wrong, encoding)())
                code, out, _ = run([formula, path])
                lines = out.decode().split("\n")
                if not models:
                    check("%s Herbrand %s, output %d negated: still validated" % (name, encoding, index),
                          (code, out) == (10, VALIDATED), "%d %r" % (code, out[-300:]))
                    continue
                ok = code == 20 and len(lines) == 4 and lines[0] == "Counterexample found." and \
                    lines[1].startswith("Assignment to existentials: ") and \
                    lines[1][len("Assignment to existentials: "):] in models and \
                    lines[2] == "Certificate erroneous." and lines[3] == ""
                check("%s Herbrand %s, output %d negated: 20 with a satisfying assignment" %
                      (name, encoding, index), ok, "%d %r" % (code, out[-300:]))


def check_cases(work):
    """Hand-made circuits with their exact output."""
    # a 1 0, e 2 0: (1 2)(1 -2) is false; e 1, a 2, e 3: (-1 2 3)(1 -2 -3)(2 -3) is true
    false1 = write(os.path.join(work, "false1.qdimacs"), "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n1 -2 0\n")
    # e 1 0, a 2 0, e 3 0, a 4 0: (1 2)(-1 -2)(3 4)(-3 -4)
    false2 = write(os.path.join(work, "false2.qdimacs"),
                   "p cnf 4 4\ne 1 0\na 2 0\ne 3 0\na 4 0\n1 2 0\n-1 -2 0\n3 4 0\n-3 -4 0\n")
    true1 = write(os.path.join(work, "true1.qdimacs"), "p cnf 3 2\ne 1 0\na 2 0\ne 3 0\n-2 3 0\n2 -3 0\n")
    at_limit = write(os.path.join(work, "limit.qdimacs"),
                     "p cnf 33554431 1\na 1 0\ne 33554431 0\n1 33554431 0\n")
    announced = write(os.path.join(work, "announced.qdimacs"),
                      "p cnf 4294967197 2\na 2 0\ne 3 0\n-2 3 0\n2 -3 0\n")
    # Formulas without variables: an empty clause on the header's line, or no clause.
    no_variables_false = write(os.path.join(work, "novars_false.qdimacs"), "p cnf 1 148 0\n\n")
    no_variables_true = write(os.path.join(work, "novars_true.qdimacs"), "p cnf 0 0\n")
    cases = [
        # (name, formula, circuit, status, output)
        # The Herbrand functions zel writes for a formula without variables
        # have neither inputs nor outputs, as Skolem functions would; the
        # formula's clauses say which functions such a circuit stands for.
        ("no variables: an empty circuit refutes a clause", no_variables_false,
         "aag 0 0 0 0 0\n", 10, VALIDATED),
        ("no variables: an empty circuit satisfies no clause", no_variables_true,
         "aag 0 0 0 0 0\n", 10, VALIDATED),
        ("Herbrand: constant false refutes", false1, "aag 0 0 0 1 0\n0\no0 1\n", 10, VALIDATED),
        ("Herbrand: constant true is wrong, the one assignment", false1, "aag 0 0 0 1 0\n1\no0 1\n", 20,
         b"Counterexample found.\nAssignment to existentials: -2\n" + ERRONEOUS),
        # u2 = e1, u4 = e3 refutes; u2 = u4 = 1 leaves e1 = 0, e3 = 0 as the only
        # model, and u2 = 1 with u4 false e1 = 0, e3 = 1.
        ("Herbrand: two functions refute", false2,
         "aag 2 2 0 2 0\n2\n4\n2\n4\ni0 1\ni1 3\no0 2\no1 4\n", 10, VALIDATED),
        ("Herbrand: wrong functions, the one satisfying assignment", false2,
         "aag 0 0 0 2 0\n1\n1\no0 2\no1 4\n", 20,
         b"Counterexample found.\nAssignment to existentials: -1 -3\n" + ERRONEOUS),
        ("Herbrand: a universal without function is false", false2,
         "aag 0 0 0 1 0\n1\no0 2\n", 20,
         b"Counterexample found.\nAssignment to existentials: -1 3\n" + ERRONEOUS),
        ("Herbrand: result output ignored", false1, "aag 0 0 0 2 0\n0\n1\no0 1\no1 result\n", 10,
         VALIDATED),
        ("Herbrand: a function reading a later existential", false2,
         "aag 2 2 0 1 0\n2\n4\n4\ni0 1\ni1 3\no0 2\n", 30,
         b"Error at line 8, column 1: Herbrand function for 2 (on level 1) depends on existential "
         b"variable with higher quantification (3 on level 2).\n"),
        ("Herbrand: a function reading a later existential through a gate", false2,
         "aag 3 2 0 2 1\n2\n4\n6\n4\n6 2 4\ni0 1\ni1 3\no0 2\no1 4\n", 30,
         b"Error at line 11, column 1: Herbrand function for 2 (on level 1) depends on existential "
         b"variable with higher quantification (3 on level 2).\n"),
        ("Skolem: a function reading a later universal", true1,
         "aag 1 1 0 1 0\n2\n2\ni0 2\no0 1\n", 30,
         b"Error at line 6, column 1: Model function for 1 (on level 0) depends on universal variable "
         b"with higher quantification (2 on level 1).\n"),
        ("Skolem: a correct function", true1, "aag 1 1 0 1 0\n2\n2\ni0 2\no0 3\n", 10, VALIDATED),
        ("Skolem: the model test's counterexample", true1, "aag 1 1 0 1 0\n2\n3\ni0 2\no0 3\n", 20,
         b"\nCounterexample found.\nClause (#1): (-2, 3)\n" + ERRONEOUS),
        ("Skolem: a constant through a gate", true1,
         "aag 2 1 0 2 1\n2\n4\n1\n4 2 1\ni0 2\no0 3\no1 1\n", 10, VALIDATED),
        ("an output naming a variable not in the formula", true1,
         "aag 1 1 0 1 0\n2\n2\ni0 2\no0 9\n", 30,
         b"Error at line 6, column 1: Output 0 (literal 2) names variable 9, which the QBF file "
         b"does not have.\n"),
        ("outputs of both kinds", false2, "aag 0 0 0 2 0\n0\n0\no0 1\no1 2\n", 30,
         b"Error at line 6, column 1: Output 0 names existential variable 1, but output 1 names "
         b"universal variable 2: the outputs are Skolem functions (existential variables) or "
         b"Herbrand functions (universal variables), not both.\n"),
        ("a Skolem input of the wrong kind", true1, "aag 1 1 0 1 0\n2\n2\ni0 1\no0 3\n", 30,
         b"Error at line 6, column 1: Input 0 (literal 2) names existential variable 1, but the "
         b"inputs of Skolem functions are universal variables.\n"),
        ("a Herbrand input of the wrong kind", false2, "aag 1 1 0 1 0\n2\n2\ni0 4\no0 2\n", 30,
         b"Error at line 6, column 1: Input 0 (literal 2) names universal variable 4, but the "
         b"inputs of Herbrand functions are existential variables.\n"),
        ("an input not in the formula", true1, "aag 1 1 0 0 0\n2\ni0 7\n", 30,
         b"Error at line 4, column 1: Input 0 (literal 2) names variable 7, which the QBF file "
         b"does not have.\n"),
        ("an output reading an undefined variable", true1, "aag 5 0 0 1 0\n10\no0 3\n", 30,
         b"Error at line 4, column 1: Output 0 (literal 10) reads variable 5, which no input or "
         b"AND gate defines.\n"),
        ("no outputs: Skolem, the existentials free", true1, "aag 0 0 0 0 0\n", 20,
         b"\nCounterexample found.\nClause (#1): (-2, 3)\n" + ERRONEOUS),
        # Sparse AIGER variables (M far above I + A) are searched, not tabled.
        ("sparse variables", true1, "aag 100 1 0 1 1\n2\n200\n200 2 2\ni0 2\no0 3\n", 10, VALIDATED),
        ("sparse variables, an output reading an undefined one", true1,
         "aag 100 1 0 1 1\n2\n198\n200 2 2\ni0 2\no0 3\n", 30,
         b"Error at line 7, column 1: Output 0 (literal 198) reads variable 99, which no input or "
         b"AND gate defines.\n"),
        ("fresh variables beyond the limit", at_limit, "aag 2 1 0 1 1\n2\n4\n4 2 2\ni0 1\no0 33554431\n",
         30, b"Error at line 7, column 1: The circuit's 1 AND gates need fresh variables after the "
         b"formula's 33554431, up to 33554432: beyond the largest supported variable number "
         b"33554431.\n"),
        # Gates are numbered after the variables the formula defines, not
        # after its header's count, which may announce more than the limit.
        ("fresh variables after a header's large count", announced,
         "aag 2 1 0 1 1\n2\n4\n4 2 2\ni0 2\no0 3\n", 10, VALIDATED),
        ("latches refused", true1, "aag 1 0 1 0 0\n2 3\n", 30,
         b"Error at line 1, column 10: AIGER header: L = 1, but a certificate has no latches.\n"),
    ]
    for name, formula, circuit, status, output in cases:
        path = write(os.path.join(work, "case.aag"), circuit)
        code, out, _ = run([formula, path])
        check(name, (code, out) == (status, output), "%d %r" % (code, out))

    # The Herbrand functions of a refutation of a formula without variables
    # validate when read back (they once read as Skolem functions, refuted).
    refutation = write(os.path.join(work, "novars.cert"), "QBCertificate\nCONCLUDE INVALID 1\n")
    for written in ("novars.aag", "novars.aig"):
        again = os.path.join(work, written)
        code, out, _ = run(["--herbrand", again, no_variables_false, refutation])
        code2, out2, _ = run([no_variables_false, again]) if os.path.exists(again) else (None, b"", b"")
        check("no variables: %s written by --herbrand validates" % written,
              (code, out, code2, out2) == (10, VALIDATED, 10, VALIDATED), "%r %r %r %r" % (code, out, code2, out2))

    # Without the QBF file.
    path = write(os.path.join(work, "case.aag"), "aag 0 0 0 1 0\n0\no0 1\n")
    code, out, _ = run([path])
    check("no QBF file", (code, out) == (30, b"Error at line 1, column 1: An AIGER certificate is checked "
                                              b"against its formula: give the QBF file before the "
                                              b"certificate.\n"), repr(out))

    # Binary circuits: positions are byte offsets.
    binary_cases = [
        ("binary: an output naming a variable not in the formula", true1,
         b"aig 1 1 0 1 0\n2\ni0 2\no0 9\n", 30,
         b"Error at byte offset 26: Output 0 (literal 2) names variable 9, which the QBF file "
         b"does not have.\n"),
        ("binary: a Herbrand function reading a later existential", false2,
         b"aig 3 2 0 2 1\n6\n4\n" + varints([6 - 4, 4 - 2]) + b"i0 1\ni1 3\no0 2\no1 4\n", 30,
         b"Error at byte offset 40: Herbrand function for 2 (on level 1) depends on existential "
         b"variable with higher quantification (3 on level 2).\n"),
        ("binary: a gate cut off", true1, b"aig 2 1 0 1 1\n4\n\x82", 30, None),
    ]
    for name, formula, data, status, output in binary_cases:
        path = write(os.path.join(work, "case.aig"), data)
        code, out, _ = run([formula, path])
        if output is None:
            ok = code == status and out.startswith(b"Error at byte offset 17: ")
        else:
            ok = (code, out) == (status, output)
        check(name, ok, "%d %r" % (code, out))

    # --stats: the kind, the functions and their work.
    path = write(os.path.join(work, "case.aag"), "aag 2 1 0 2 1\n2\n4\n1\n4 2 1\ni0 2\no0 3\no1 1\n")
    code, out, err = run(["--stats", true1, path])
    lines = err.decode().split("\n")
    check("--stats Skolem", code == 10 and "c certificate kind         AIGER" in lines and
          "c functions                Skolem" in lines and "c AND gates read           1" in lines and
          "c model entries            2" in lines and any(l.startswith("c clauses tested") for l in lines),
          err.decode())
    path = write(os.path.join(work, "case.aig"), b"aig 3 2 0 1 1\n6\n" + varints([4, 0]) +
                 b"i0 1\ni1 3\no0 2\n")
    code, out, err = run(["--stats", false2, path])
    lines = err.decode().split("\n")
    check("--stats Herbrand", code == 10 and "c certificate kind         binary AIGER" in lines and
          "c functions                Herbrand" in lines and "c gates encoded            1" in lines,
          err.decode())

    # A Skolem certificate's model written again with --skolem reads back.
    out_path = os.path.join(work, "again.aag")
    cadet = os.path.join(HERE, "cadet-bug9")
    code, _, _ = run(["--skolem", out_path, cadet + ".qdimacs", cadet + ".aag"])
    again = run([cadet + ".qdimacs", out_path])
    check("--skolem of an AIGER certificate reads back", code == 10 and again[:2] == (10, VALIDATED))


def main():
    work = tempfile.mkdtemp(prefix="zel-aiger-")
    check_manifest(work)
    check_skolem_read_back(work)
    check_herbrand(work)
    check_cases(work)
    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
