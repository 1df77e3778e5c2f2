#!/usr/bin/env python3
"""Functions out of proofs (--herbrand FILE; --skolem FILE for a QRP cube proof):
  - every validated refutation of the corpus, the examples and the golden
    cases (zel's format)
    and every DepQBF trace of tests/qrp that validates, true and false, in
    every mode: the functions, written as ASCII and binary AIGER, describe
    the same circuit; zel validates them against the formula (10); this
    test's own evaluator finds, on every assignment of the inputs (random
    ones above EXHAUSTIVE inputs), a false clause under Herbrand functions
    and no false clause under Skolem functions; each output reads only
    inputs quantified before it; inputs and outputs are the two quantifiers'
    variables in prefix order;
  - long-distance traces whose core holds a long-distance step are refused
    with the exact message, the same step in both encodings, and write
    nothing;
  - mutated proofs, the other answer, a step taken on trust and a missing
    QBF file write no file and leave an existing one alone;
  - the writer refuses inputs and the other outputs before any checking;
  - the exact circuits of two small proofs whose functions are not constant.

Usage: tests/functions/run.py path/to/zel
"""
import os
import re
from random import Random
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally, load_suite  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tests", "corpus")
QRP = os.path.join(ROOT, "tests", "qrp")
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))
EXHAUSTIVE = 16  # inputs up to which every assignment is evaluated
TALLY = Tally("functions")
check = TALLY.check
VALIDATED = b"Certificate validated correctly.\n"


# The --skolem test's QDIMACS and AIGER readers, simulation and cones; the
# QRP test's trace mutations.
skolem = load_suite("skolem")
qrp = load_suite("qrp")


def run(args, cwd=None):
    result = subprocess.run([ZEL] + args, capture_output=True, timeout=300, cwd=cwd)
    return result.returncode, result.stdout


def evaluated(formula, circuit, herbrand):
    """None when the circuit does what its kind promises, else a reason."""
    prefix, clauses = skolem.read_qdimacs(formula)
    level = {v: l for v, _, l in prefix}
    output_kind = "a" if herbrand else "e"
    inputs = [v for v, q, _ in prefix if q != output_kind]
    outputs = [v for v, q, _ in prefix if q == output_kind]
    symbols = circuit["symbols"]
    named_inputs = [symbols.get("i%d" % k) for k in range(circuit["i"])]
    named_outputs = [symbols.get("o%d" % k) for k in range(circuit["o"])]
    if (named_inputs, named_outputs) != (inputs, outputs):
        return "symbols %r %r, prefix wants %r %r" % (named_inputs, named_outputs, inputs, outputs)
    for k, cone in enumerate(skolem.support(circuit)):
        late = [inputs[j] for j in cone if level[inputs[j]] >= level[outputs[k]]]
        if late:
            return "output %d (variable %d) reads %r" % (k, outputs[k], late)
    n = len(inputs)
    if n <= EXHAUSTIVE:
        count = 1 << n
        values = [sum(1 << j for j in range(count) if j >> k & 1) for k in range(n)]
    else:
        count = 4096
        random = Random(n)
        values = [random.getrandbits(count) for _ in range(n)]
    mask = (1 << count) - 1
    value = dict(zip(inputs, values))
    value.update(zip(outputs, skolem.simulate(circuit, values, mask)))
    all_true = mask
    for clause in clauses:
        true = 0
        for literal in clause:
            true |= value[literal] if literal > 0 else value[-literal] ^ mask
        all_true &= true
    if herbrand and all_true:
        return "the matrix holds on assignment %d" % (all_true & -all_true).bit_length()
    if not herbrand and all_true != mask:
        return "a clause is false on assignment %d" % ((all_true ^ mask) & -(all_true ^ mask)).bit_length()
    return None


def functions_of(label, formula, source, work, herbrand):
    """Writes the functions of `source` in both encodings and checks them."""
    option = "--herbrand" if herbrand else "--skolem"
    circuits = []
    for suffix in (".aag", ".aig"):
        path = os.path.join(work, "functions" + suffix)
        if os.path.exists(path):
            os.remove(path)
        status, out = run([option, path, formula, source])
        check("%s %s: validated, written" % (label, suffix),
              status == 10 and out.endswith(VALIDATED) and os.path.exists(path),
              repr((status, out[-300:])))
        if not os.path.exists(path):
            return
        status, out = run([formula, path])
        check("%s %s: zel validates the functions" % (label, suffix), (status, out) == (10, VALIDATED),
              repr((status, out[:300])))
        circuits.append(skolem.read_aiger(path))
    check("%s: both encodings describe one circuit" % label, circuits[0] == circuits[1])
    reason = evaluated(formula, circuits[0], herbrand)
    check("%s: the functions hold on every assignment tried" % label, reason is None, reason)


def writes_nothing(label, args, expected_status, expected_out=None, cwd=None):
    """A run that must leave an existing output file as it was."""
    work = cwd or tempfile.mkdtemp(prefix="zel-functions-none-")
    path = os.path.join(work, "kept.aag")
    with open(path, "wb") as f:
        f.write(b"keep me\n")
    status, out = run([args[0], path] + args[1:], cwd=cwd)
    with open(path, "rb") as f:
        kept = f.read()
    good = status == expected_status and kept == b"keep me\n"
    if expected_out is not None:
        good = good and (re.fullmatch(expected_out, out) is not None
                         if isinstance(expected_out, re.Pattern) else out == expected_out)
    check("%s: no file written" % label, good, repr((status, out[:300])))
    os.remove(path)


def check_refutations(work):
    found = 0
    golden = os.path.join(ROOT, "tests", "golden")
    folders = [CORPUS, os.path.join(ROOT, "examples")] + sorted(
        os.path.join(golden, group) for group in os.listdir(golden)
        if os.path.isdir(os.path.join(golden, group)))
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".cert"):
                continue
            certificate = os.path.join(folder, name)
            formula = certificate[:-5] + ".qdimacs"
            with open(certificate, "rb") as f:
                text = f.read()
            if not os.path.exists(formula) or b"CONCLUDE INVALID" not in text:
                continue
            if run([formula, certificate])[0] != 10:
                continue
            found += 1
            functions_of(os.path.relpath(certificate, ROOT), formula, certificate, work, True)
            if found == 1:
                head, _, _ = text.rpartition(b"CONCLUDE INVALID ")
                mutated = os.path.join(work, "mutated.cert")
                with open(mutated, "wb") as f:
                    f.write(head + b"CONCLUDE INVALID 1\n")
                writes_nothing("a refutation concluding on clause 1",
                               ["--herbrand", formula, mutated], 20)
    check("refutations found", found >= 40, str(found))


LONG_DISTANCE = re.compile(
    rb"Error at (line \d+, column \d+|byte offset \d+): Cannot build Herbrand functions: step "
    rb"(\d+) is a long-distance resolution \(its resolvent holds a universal variable in both "
    rb"signs\); functions are built from proofs without long-distance steps\.\n")


def check_traces(work):
    with open(os.path.join(QRP, "MANIFEST.tsv")) as manifest:
        rows = [line.rstrip("\n").split("\t") for line in manifest if not line.startswith("#")]
    refused = {}
    modes = set()
    for name, formula, result, verdict, _command in rows:
        if verdict != "10":
            continue
        trace_path = os.path.join(QRP, name)
        formula_path = os.path.join(CORPUS, formula)
        herbrand = result == "UNSAT"
        option = "--herbrand" if herbrand else "--skolem"
        stem, encoding = name.rsplit(".", 1)
        if ".ld-" in name:
            status, out = run([option, os.path.join(work, "ld.aag"), formula_path, trace_path])
            match = LONG_DISTANCE.fullmatch(out)
            if status == 30 and match:
                refused.setdefault(stem, set()).add(match.group(2))
                check("%s: refused, no file" % name, not os.path.exists(os.path.join(work, "ld.aag")))
                continue
            check("%s: validated or refused as long-distance" % name, status == 10, repr(out[:300]))
            os.remove(os.path.join(work, "ld.aag"))
        modes.add((stem.split(".", 1)[1], result, encoding))
        functions_of(name, formula_path, trace_path, work, herbrand)
        if encoding == "bqrp":
            continue
        with open(trace_path) as f:
            trace = qrp.Trace(f.read())
        cube = trace.result == "SAT"
        # Mutations of steps the proof rests on: the others are not checked.
        proof = qrp.proof_steps(trace, cube)
        for label, steps, flipped, status in (
                ("literal negated", qrp.negate_literal(trace, "a" if cube else "e", proof), None, 30),
                ("antecedent replaced", qrp.replace_antecedent(trace, proof), None, 30),
                ("result flipped", trace.steps, "UNSAT" if cube else "SAT", 20)):
            if steps is None:
                continue
            path = os.path.join(work, "mutated.qrp")
            with open(path, "wb") as f:
                f.write(trace.ascii(steps, flipped))
            writes_nothing("%s %s" % (name, label), [option, formula_path, path], status)
    check("long-distance refusals: eq-n4 and kbkf-n3 in both encodings, one step each",
          sorted(refused) == ["eq-n4.ld-trad", "kbkf-n3.ld-trad"] and
          all(len(steps) == 1 for steps in refused.values()), repr(refused))
    check("modes: traditional, QPUP and long distance, true and false, both encodings",
          {(m, r, e) for m in ("trad", "qpup", "ld-trad", "ld-qpup") for r in ("SAT", "UNSAT")
           for e in ("qrp", "bqrp")} <= modes, repr(sorted(modes)))


# Two small proofs whose functions are not constant: the universal copies
# the existential before it (Herbrand), the existential negates the
# universal before it (Skolem, from a cube proof).
EXACT = (
    ("herbrand", "--herbrand", "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 -2 0\n",
     "p qrp 2 5\ne 1 0\na 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n3 1 0 1 0\n4 -1 0 2 0\n5 0 3 4 0\nr UNSAT\n",
     b"aag 1 1 0 1 0\n2\n2\ni0 1\no0 2\nc\nHerbrand functions written by zel\n"
     b"formula: herbrand.qdimacs\ncertificate: herbrand.qrp\n"),
    ("skolem", "--skolem", "p cnf 2 2\na 1 0\ne 2 0\n2 1 0\n-2 -1 0\n",
     "p qrp 2 5\na 1 0\ne 2 0\n1 1 -2 0 0\n2 -1 2 0 0\n3 1 0 1 0\n4 -1 0 2 0\n5 0 3 4 0\nr SAT\n",
     b"aag 1 1 0 1 0\n2\n3\ni0 1\no0 2\nc\nSkolem functions written by zel\n"
     b"formula: skolem.qdimacs\ncertificate: skolem.qrp\n"),
)


def check_cases(work):
    folder = os.path.join(work, "cases")
    os.mkdir(folder)
    # A delayed step defining anew a number it names among its own
    # antecedents (7): that antecedent is the clause bound before, whose
    # reduction of universal 1 the functions need (1 is the complement of
    # existential 4 before it).
    formula = os.path.join(folder, "d.qdimacs")
    with open(formula, "w") as f:
        f.write("p cnf 4 4\ne 4 0\na 1 0\ne 2 3 0\n4 -1 2 0\n4 -1 -2 0\n-4 1 3 0\n-4 1 -3 0\n")
    for label, certificate in (("merged", "7 * 7 6 0\n7 * 1 2 0\n6 * 3 4 0\nCONCLUDE INVALID 7\n"),
                               ("chain", "7 0 7 6 0\n7 4 0 1 2 0\n6 -4 0 3 4 0\nCONCLUDE INVALID 7\n")):
        source = os.path.join(folder, "d-%s.cert" % label)
        with open(source, "w") as f:
            f.write("QBCertificate\n" + certificate)
        functions_of("delayed step redefining its antecedent, " + label, formula, source, folder,
                     herbrand=True)
    for stem, option, formula, trace, expected in EXACT:
        for suffix, text in ((".qdimacs", formula), (".qrp", trace)):
            with open(os.path.join(folder, stem + suffix), "w") as f:
                f.write(text)
        status, out = run([option, "out.aag", stem + ".qdimacs", stem + ".qrp"], cwd=folder)
        with open(os.path.join(folder, "out.aag"), "rb") as f:
            written = f.read()
        check("the %s functions of a small proof, exactly" % stem,
              (status, out, written) == (10, VALIDATED, expected), repr((status, out, written)))
        os.remove(os.path.join(folder, "out.aag"))
        # The other kind of functions: the proof has none, no file.
        other = "--skolem" if option == "--herbrand" else "--herbrand"
        writes_nothing("%s of the %s proof" % (other, stem), [other, stem + ".qdimacs", stem + ".qrp"],
                       10, VALIDATED, cwd=folder)

    with open(os.path.join(folder, "f.qdimacs"), "w") as f:
        f.write("p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n1 -2 0\n")
    with open(os.path.join(folder, "trusted.cert"), "w") as f:
        f.write("QBCertificate\n3 1 0 0\nCONCLUDE INVALID 3\n")
    with open(os.path.join(folder, "model.cert"), "w") as f:
        f.write("QBCertificate\nCONCLUDE VALID 2 1\n")
    with open(os.path.join(folder, "m.qdimacs"), "w") as f:
        f.write("p cnf 2 2\na 1 0\ne 2 0\n1 -2 0\n-1 2 0\n")
    with open(os.path.join(folder, "refutation.cert"), "w") as f:
        f.write("QBCertificate\n3 0 1 2 0\nCONCLUDE INVALID 3\n")
    writes_nothing("a core clause taken on trust",
                   ["--herbrand", "--ignore", "f.qdimacs", "trusted.cert"], 30,
                   b"Error at line 3, column 19: Cannot build Herbrand functions: clause 3 rests "
                   b"on no antecedents (taken on trust with --ignore).\n", cwd=folder)
    # The clause taken on trust is named by the number its step defined, even
    # when a step held back to the conclusion binds that number anew, and at
    # once whatever the number (no search over the numbers defined).
    with open(os.path.join(folder, "rebound.cert"), "w") as f:
        f.write("QBCertificate\n3 0 5 1 0\n3 1 2 0 0\n5 -2 0 0\n6 0 3 2 0\nCONCLUDE INVALID 6\n")
    with open(os.path.join(folder, "large.cert"), "w") as f:
        f.write("QBCertificate\n4000000000 1 2 0 0\n6 0 4000000000 2 0\nCONCLUDE INVALID 6\n")
    for label, name, line, number in (("a number bound anew", "rebound.cert", b"6", b"3"),
                                      ("a large number", "large.cert", b"4", b"4000000000")):
        writes_nothing("a core clause taken on trust under " + label,
                       ["--herbrand", "--ignore", "f.qdimacs", name], 30,
                       b"Error at line " + line + b", column 19: Cannot build Herbrand functions: "
                       b"clause " + number + b" rests on no antecedents (taken on trust with "
                       b"--ignore).\n", cwd=folder)
    writes_nothing("a model", ["--herbrand", "m.qdimacs", "model.cert"], 10, VALIDATED, cwd=folder)
    writes_nothing("a refutation without its QBF file", ["--herbrand", "refutation.cert"], 30,
                   b"Error at line 1, column 14: Herbrand functions are written over the QBF "
                   b"file's variables: give the QBF file before the certificate.\n", cwd=folder)
    for label, args, message in (
            ("the QBF file", ["--herbrand", "f.qdimacs", "f.qdimacs", "refutation.cert"],
             b"Error: Cannot write file: 'f.qdimacs' (it is the QBF file).\n"),
            ("the certificate", ["--herbrand", "./refutation.cert", "f.qdimacs", "refutation.cert"],
             b"Error: Cannot write file: './refutation.cert' (it is the certificate).\n"),
            ("the --skolem file", ["--skolem", "out", "--herbrand", "out", "f.qdimacs",
                                   "refutation.cert"],
             b"Error: Cannot write file: 'out' (it is the --skolem file).\n"),
            ("the --herbrand file", ["--herbrand", "out", "--core", "out", "f.qdimacs",
                                     "refutation.cert"],
             b"Error: Cannot write file: 'out' (it is the --herbrand file).\n")):
        status, out = run(args, cwd=folder)
        check("--herbrand: %s is refused" % label, (status, out) == (30, message),
              repr((status, out)))
    check("refusals leave the folder as it was", "out" not in os.listdir(folder))
    # With --core too: both written, each validates.
    status, out = run(["--herbrand", "h.aig", "--core", "c.cert", "f.qdimacs", "refutation.cert"],
                      cwd=folder)
    check("--herbrand with --core writes both",
          status == 10 and run(["f.qdimacs", "h.aig"], cwd=folder)[0] == 10 and
          run(["f.qdimacs", "c.cert"], cwd=folder)[0] == 10, repr((status, out)))


def main():
    work = tempfile.mkdtemp(prefix="zel-functions-")
    check_cases(work)
    check_refutations(work)
    check_traces(work)
    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
