#!/usr/bin/env python3
"""Cores out of proofs (--core FILE):
  - every validated refutation of the corpus, the examples and the golden
    cases (with --ignore where they need it), and every
    DepQBF trace of tests/qrp that validates, gives a core that zel
    validates against the same formula, no larger than its source; a
    refutation's core and a clause trace's without long-distance steps are
    zel certificates, a cube trace's core is QRP, and a core named *.bqrp
    is binary QRP;
  - mutated proofs (the QRP runner's mutations, a refutation concluding on
    a clause that is not empty) write no core and leave an existing file of
    that name untouched;
  - the writer's rules: a core over an input or over the --skolem file is
    refused before any checking, a model gives no core;
  - the exact bytes of the core of a small refutation with an unused step,
    and its --stats share.

Usage: tests/core/run.py path/to/zel
"""
import os
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
TALLY = Tally("core")
check = TALLY.check

qrp = load_suite("qrp")


def run(args, cwd=None):
    result = subprocess.run([ZEL] + args, capture_output=True, timeout=120, cwd=cwd)
    return result.returncode, result.stdout, result.stderr


def core_of(label, formula, source, core, kind=None, options=()):
    """Writes the core of `source`, checks it validates and is no larger."""
    options = list(options)
    if os.path.exists(core):
        os.remove(core)
    status, out, _ = run(options + ["--core", core, formula, source])
    check("%s: validated, core written" % label, status == 10 and os.path.exists(core),
          "status %d, %r" % (status, out[:200]))
    if not os.path.exists(core):
        return
    status, out, _ = run(options + [formula, core])
    check("%s: the core validates" % label, status == 10, "status %d, %r" % (status, out[:200]))
    check("%s: the core is no larger than its source" % label,
          os.path.getsize(core) <= os.path.getsize(source),
          "%d > %d" % (os.path.getsize(core), os.path.getsize(source)))
    if kind:
        with open(core, "rb") as f:
            start = f.read(13)
        check("%s: the core starts with %r" % (label, kind), start.startswith(kind), repr(start))


def no_core(label, args, core, expected_status):
    """A run that must not write `core`: an existing file stays as it was."""
    with open(core, "wb") as f:
        f.write(b"keep me\n")
    status, out, _ = run(["--core", core] + args)
    with open(core, "rb") as f:
        kept = f.read()
    check("%s: no core, the file untouched" % label,
          status == expected_status and kept == b"keep me\n", "status %d, %r" % (status, out[:200]))


def main():
    work = tempfile.mkdtemp(prefix="zel-core-")
    core = os.path.join(work, "core.cert")

    # Refutations in zel's format.
    refutations = []
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
            options = next((o for o in ([], ["--ignore"])
                            if run(o + [formula, certificate])[0] == 10), None)
            if options is None:
                continue
            if not options and folder == CORPUS:
                refutations.append((formula, certificate, text))
            core_of(os.path.relpath(certificate, ROOT), formula, certificate, core,
                    b"QBCertificate", options)
    check("refutations found", len(refutations) >= 10, str(len(refutations)))

    # A refutation concluding on a clause that does not reduce to empty.
    formula, certificate, text = refutations[0]
    head, _, number = text.rpartition(b"CONCLUDE INVALID ")
    mutated = os.path.join(work, "mutated.cert")
    with open(mutated, "wb") as f:
        f.write(head + b"CONCLUDE INVALID 1\n")
    no_core("a refutation concluding on clause 1", [formula, mutated], core, 20)

    # DepQBF traces.
    with open(os.path.join(QRP, "MANIFEST.tsv")) as manifest:
        rows = [line.rstrip("\n").split("\t") for line in manifest if not line.startswith("#")]
    for name, formula, result, verdict, _command in rows:
        if verdict != "10":
            continue
        trace_path = os.path.join(QRP, name)
        formula_path = os.path.join(CORPUS, formula)
        binary = name.endswith(".bqrp")
        kind = None
        if binary:
            kind = b"p bqrp"
        elif result == "SAT":
            kind = b"p qrp"
        elif ".ld-" not in name:
            kind = b"QBCertificate"
        core_of(name, formula_path, trace_path, os.path.join(work, "core" + name[name.rindex("."):]),
                kind)
        if binary:
            continue
        with open(trace_path) as f:
            trace = qrp.Trace(f.read())
        cube = trace.result == "SAT"
        # Mutations of steps the proof rests on: the others are not checked.
        proof = qrp.proof_steps(trace, cube)
        mutations = [("literal negated", qrp.negate_literal(trace, "a" if cube else "e", proof), None, 30),
                     ("antecedent replaced", qrp.replace_antecedent(trace, proof), None, 30),
                     ("result flipped", trace.steps, "UNSAT" if cube else "SAT", 20)]
        for label, steps, flipped, status in mutations:
            if steps is None:
                continue
            path = os.path.join(work, "mutated.qrp")
            with open(path, "wb") as f:
                f.write(trace.ascii(steps, flipped))
            no_core("%s %s" % (name, label), [formula_path, path], core, status)

    # The writer's rules, before any checking (the certificate is broken).
    folder = os.path.join(work, "rules")
    os.mkdir(folder)
    with open(os.path.join(folder, "f.qdimacs"), "w") as f:
        f.write("p cnf 2 4\ne 1 2 0\n1 2 0\n-1 2 0\n-2 0\n1 -2 0\n")
    with open(os.path.join(folder, "c.cert"), "w") as f:
        f.write("QBCertificate\n5 2 0 1 2 0\n6 1 0 1 4 0\n7 0 5 3 0\nCONCLUDE INVALID 7\n")
    with open(os.path.join(folder, "broken.cert"), "w") as f:
        f.write("QBCertificate\nCONCLUDE VALID 9 x\n")
    for label, args, message in (
            ("the QBF file", ["--core", "f.qdimacs", "f.qdimacs", "broken.cert"],
             b"Error: Cannot write file: 'f.qdimacs' (it is the QBF file).\n"),
            ("the certificate", ["--core", "broken.cert", "f.qdimacs", "broken.cert"],
             b"Error: Cannot write file: 'broken.cert' (it is the certificate).\n"),
            ("the --skolem file", ["--skolem", "out", "--core", "out", "f.qdimacs", "broken.cert"],
             b"Error: Cannot write file: 'out' (it is the --skolem file).\n")):
        status, out, _ = run(args, cwd=folder)
        check("--core naming %s is refused" % label, (status, out) == (30, message),
              repr((status, out)))
    check("refusals leave the folder as it was",
          sorted(os.listdir(folder)) == ["broken.cert", "c.cert", "f.qdimacs"])
    # A true formula's model, which has no proof steps.
    with open(os.path.join(folder, "m.qdimacs"), "w") as f:
        f.write("p cnf 2 2\na 1 0\ne 2 0\n1 -2 0\n-1 2 0\n")
    with open(os.path.join(folder, "model.cert"), "w") as f:
        f.write("QBCertificate\nCONCLUDE VALID 2 1\n")
    status, out, _ = run(["--core", "out", "m.qdimacs", "model.cert"], cwd=folder)
    check("a model gives no core", status == 30 and out.endswith(
        b"A model has no proof steps to write with --core (it takes refutations and QRP "
        b"traces).\n") and not os.path.exists(os.path.join(folder, "out")), repr(out))

    # Exact bytes: step 6 is not used by the refutation; 7 becomes 5's successor.
    status, out, err = run(["--stats", "--core", "out", "f.qdimacs", "c.cert"], cwd=folder)
    with open(os.path.join(folder, "out"), "rb") as f:
        written = f.read()
    check("the core of a small refutation, exactly",
          status == 10 and written ==
          b"QBCertificate\n5 2 0 1 2 0\n6 0 5 3 0\nCONCLUDE INVALID 6\n", repr(written))
    check("--stats gives the core's share",
          "c core steps               2 of 3 (66.7 %)\n" in err.decode(), err.decode())

    # Extension definitions: kept where the core names their variable (it
    # sits on its operand's level, which reduction reads); left out otherwise, also one that waits on a variable only a step
    # outside the core defines. Steps without antecedents need --ignore.
    with open(os.path.join(folder, "e.qdimacs"), "w") as f:
        f.write("p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n1 -2 0\n")
    for label, certificate, expected in (
            ("kept", "E 5 A 2 0\nE 7 A 1 0\n3 1 5 0 0\n4 1 -5 0 0\n8 1 -2 0 0\n"
                     "6 0 3 4 0\nCONCLUDE INVALID 6\n",
             b"QBCertificate\nE 5 A 2 0\n3 1 5 0 0\n4 1 -5 0 0\n5 0 3 4 0\n"
             b"CONCLUDE INVALID 5\n"),
            ("left out", "E 10 A 9 0\n3 9 0 0\n4 0 1 2 0\nCONCLUDE INVALID 4\n",
             b"QBCertificate\n3 0 1 2 0\nCONCLUDE INVALID 3\n")):
        with open(os.path.join(folder, "e.cert"), "w") as f:
            f.write("QBCertificate\n" + certificate)
        status, _, _ = run(["--ignore", "--core", "e.core", "e.qdimacs", "e.cert"], cwd=folder)
        with open(os.path.join(folder, "e.core"), "rb") as f:
            written = f.read()
        check("extension definitions %s: the core, exactly" % label,
              status == 10 and written == expected, repr(written))
        status, out, _ = run(["--ignore", "e.qdimacs", "e.core"], cwd=folder)
        check("extension definitions %s: the core validates" % label, status == 10, repr(out))

    # A delayed step may define anew a number it names among its own
    # antecedents (here 7, which a later line defines before the conclusion
    # applies the delayed one): that antecedent is the clause bound before,
    # in the core as in the check (the fuzzer found cores naming the step
    # itself instead).
    with open(os.path.join(folder, "d.qdimacs"), "w") as f:
        f.write("p cnf 3 5\ne 1 2 3 0\n1 2 0\n-2 0\n-1 3 0\n-1 0\n-3 0\n")
    for label, certificate, expected in (
            ("merged", "7 * 7 4 0\n7 * 1 2 0\n6 * 1 2 0\nCONCLUDE INVALID 7\n",
             b"QBCertificate\n6 * 1 2 0\n7 * 6 4 0\nCONCLUDE INVALID 7\n"),
            ("chain", "7 0 7 4 0\n7 1 0 1 2 0\nCONCLUDE INVALID 7\n",
             b"QBCertificate\n6 1 0 1 2 0\n7 0 6 4 0\nCONCLUDE INVALID 7\n")):
        with open(os.path.join(folder, "d.cert"), "w") as f:
            f.write("QBCertificate\n" + certificate)
        if os.path.exists(os.path.join(folder, "d.core")):
            os.remove(os.path.join(folder, "d.core"))
        status, _, _ = run(["--core", "d.core", "d.qdimacs", "d.cert"], cwd=folder)
        written = b""
        if os.path.exists(os.path.join(folder, "d.core")):
            with open(os.path.join(folder, "d.core"), "rb") as f:
                written = f.read()
        check("delayed step redefining its antecedent, %s: the core, exactly" % label,
              status == 10 and written == expected, repr((status, written)))
        status, out, _ = run(["d.qdimacs", "d.core"], cwd=folder)
        check("delayed step redefining its antecedent, %s: the core validates" % label,
              status == 10, repr(out))
    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
