#!/usr/bin/env python3
"""QRP traces end to end: every DepQBF trace of this folder (MANIFEST.tsv)
against its formula, in both encodings, read from a file, from standard
input and from a gzip file, must give the verdict of the MANIFEST (10, or
30 with its message for the steps the sound long-distance rule refuses).

Each trace the MANIFEST validates is then mutated in its ASCII form and,
through an encoder of the binary layout (checked first to reproduce
DepQBF's binary files byte for byte), in both encodings; no mutation may
give 10:
  - an existential literal of a derived step negated (one that reduction
    keeps; in cube proofs a universal one) -> 30;
  - an antecedent replaced by an earlier step of another literal set -> 30;
  - in cube proofs, a literal of an initial cube dropped or negated so that
    the cube no longer implies the matrix -> 30;
  - the result line flipped -> 20;
  - the step the root's first antecedent is cut -> 30;
  - a step's line repeated (its index used twice) -> 30.
Every run is made twice, once with the trace read ahead on a second thread
(from a file) and once on one thread (a pipe, or --single-thread), and both
must print the same. A step of 800,000 resolutions on a clause of 200,001 literals ends at
once (work linear in the step's numbers), and a long chain's mismatch is
reported with the exact message.
A trace in a file is read twice (the first pass keeps the antecedents,
the second checks what the result rests on) and a third time after a
fault: compressed (xz) and through /dev/stdin it must print what one
pass over a pipe prints, --stats included (but for the readings and
the times); a bogus empty constraint before the real one takes the third
reading and validates, alone it gives the one-pass message.
Exact messages and positions (line and column, byte offsets) are checked
for the repeated index, the cut step and a missing QBF file; --stats
counts the steps checked and those outside the proof, which this script
counts on its own by a backward pass.

Usage: tests/qrp/run.py path/to/zel
"""
import gzip
import lzma
import os
import re
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(ROOT, "tests", "corpus")
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))

TALLY = Tally("qrp")
check = TALLY.check

VALIDATED = b"Certificate validated correctly.\n"
ERRONEOUS = b"Certificate erroneous.\n"


def run_once(args, stdin_bytes=None):
    result = subprocess.run([ZEL] + args, input=stdin_bytes, capture_output=True, timeout=120)
    return result.returncode, result.stdout, result.stderr


def run(args, stdin_bytes=None):
    """Runs zel; each run is made twice, the trace read ahead on a second
    thread (from a file) and on one thread (from a pipe or with
    --single-thread), and both must print the same and end the same."""
    result = run_once(args, stdin_bytes)
    if stdin_bytes is not None and "-" in args:
        with tempfile.NamedTemporaryFile(prefix="zel-qrp-", suffix=".trace") as trace:
            trace.write(stdin_bytes)
            trace.flush()
            other = run_once([trace.name if a == "-" else a for a in args])
    else:
        other = run_once(["--single-thread"] + args, stdin_bytes)
    check("read ahead and one thread agree: %s" % " ".join(os.path.basename(a) for a in args),
          other[:2] == result[:2], "%r against %r" % (other[:2], result[:2]))
    return result


# ---- the trace, parsed and written back ------------------------------------

class Trace:
    """A parsed ASCII trace: header numbers, blocks, steps, result."""

    def __init__(self, text):
        self.blocks, self.steps = [], []  # (q, vars); (index, lits, ants)
        for line in text.splitlines():
            tokens = line.split()
            if not tokens or tokens[0] == "c":
                continue
            if tokens[0] == "p":
                self.variables, self.clauses = int(tokens[2]), int(tokens[3])
            elif tokens[0] in ("e", "a"):
                self.blocks.append((tokens[0], [int(t) for t in tokens[1:-1]]))
            elif tokens[0] == "r":
                self.result = tokens[1]
            else:
                numbers = [int(t) for t in tokens]
                zero = numbers.index(0, 1)
                self.steps.append((numbers[0], numbers[1:zero], numbers[zero + 1:-1]))
        self.level = {}
        level = -1
        last = None
        for quantifier, variables in self.blocks:
            if quantifier != last:
                level += 1
                last = quantifier
            for variable in variables:
                self.level[variable] = (level, quantifier)

    def ascii(self, steps=None, result=None):
        lines = ["p qrp %d %d" % (self.variables, self.clauses)]
        lines += ["%s %s 0" % (q, " ".join(map(str, v))) for q, v in self.blocks]
        for index, lits, ants in (self.steps if steps is None else steps):
            lines.append(" ".join(map(str, [index] + lits + [0] + ants + [0])))
        lines.append("r " + (result or self.result))
        return ("\n".join(lines) + "\n").encode()

    def binary(self, steps=None, result=None):
        """The binary layout; also the byte offset where each step starts."""
        out = bytearray(b"p bqrp %d %d\0" % (self.variables, self.clauses))
        for q, variables in self.blocks:
            out += b"\0" + q.encode() + varints(variables + [0])
        offsets = []
        for index, lits, ants in (self.steps if steps is None else steps):
            offsets.append(len(out))
            codes = [2 * abs(l) + (l < 0) for l in lits]
            out += varints([index] + codes + [0] + ants + [0])
        out += b"\0r " + (result or self.result).encode() + b"\n"
        return bytes(out), offsets

    def reduced(self, lits, cube):
        """The literals reduction keeps (universal reduction for clauses,
        existential for cubes)."""
        reduced_q = "e" if cube else "a"
        other = [self.level[abs(l)][0] for l in lits if self.level[abs(l)][1] != reduced_q]
        bound = max(other) if other else -1
        return [l for l in lits if self.level[abs(l)][1] != reduced_q or
                self.level[abs(l)][0] < bound]

    def kinds(self):
        """Step index -> True for cubes, as the antecedents tell."""
        kind = {}
        for position, (index, lits, ants) in enumerate(self.steps):
            kind[index] = kind[ants[0]] if ants else position >= self.clauses
        return kind


def varints(values):
    out = bytearray()
    for value in values:
        while value >= 0x80:
            out.append((value & 0x7F) | 0x80)
            value >>= 7
        out.append(value)
    return bytes(out)


def proof_steps(trace, cube):
    """The indices of the steps the first empty constraint of the claimed
    kind rests on (a derived step's constraint is its listed literals
    reduced); empty when there is none."""
    kinds = trace.kinds()
    antecedents = {index: ants for index, _, ants in trace.steps}
    root = next((index for index, lits, ants in trace.steps if kinds[index] == cube and
                 not (trace.reduced(lits, cube) if ants else lits)), None)
    if root is None:
        return set()
    used, stack = {root}, [root]
    while stack:
        for antecedent in antecedents[stack.pop()]:
            if antecedent not in used:
                used.add(antecedent)
                stack.append(antecedent)
    return used


def outside_proof(trace, cube):
    """Steps the first empty constraint of the claimed kind does not rest on."""
    return len(trace.steps) - len(proof_steps(trace, cube))


# ---- mutations ------------------------------------------------------------

def negate_literal(trace, quantifier, among=None):
    """A derived step (of `among`, when given) with a literal of
    `quantifier` that reduction keeps, negated."""
    kinds = trace.kinds()
    for position, (index, lits, ants) in enumerate(trace.steps):
        if not ants or (among is not None and index not in among):
            continue
        kept = trace.reduced(lits, kinds[index])
        for i, literal in enumerate(lits):
            if (trace.level[abs(literal)][1] == quantifier and literal in kept and
                    -literal not in lits):
                steps = list(trace.steps)
                steps[position] = (index, lits[:i] + [-literal] + lits[i + 1:], ants)
                return steps
    return None


def replace_antecedent(trace, among=None):
    """The last antecedent of a two-antecedent step (of `among`, when
    given) replaced by an earlier step whose literal set differs."""
    sets = {index: set(lits) for index, lits, _ in trace.steps}
    for position, (index, lits, ants) in enumerate(trace.steps):
        if len(ants) != 2 or (among is not None and index not in among):
            continue
        for other, other_lits, _ in trace.steps[:position]:
            if other not in ants and set(other_lits) != sets[ants[1]]:
                steps = list(trace.steps)
                steps[position] = (index, lits, [ants[0], other])
                return steps
    return None


def read_matrix(path):
    """The clauses of a QDIMACS file, as lists of literals."""
    clauses, clause = [], []
    with open(path) as f:
        for line in f:
            tokens = line.split()
            if not tokens or tokens[0] in ("c", "p", "a", "e"):
                continue
            for token in tokens:
                if token == "0":
                    clauses.append(clause)
                    clause = []
                else:
                    clause.append(int(token))
    return clauses


def spoil_initial_cube(trace, matrix, negate, among=None):
    """An initial cube (of `among`, when given) with one literal dropped,
    or negated, so that some clause of the matrix meets it no more: the
    step implies the matrix no longer and may not stand as an initial
    cube."""
    kinds = trace.kinds()
    for position, (index, lits, ants) in enumerate(trace.steps):
        if ants or not kinds[index] or (among is not None and index not in among):
            continue
        for i, literal in enumerate(lits):
            spoilt = lits[:i] + ([-literal] if negate else []) + lits[i + 1:]
            missed = [c for c in matrix if not set(c) & set(spoilt) and not any(-l in c for l in c)]
            if missed:
                steps = list(trace.steps)
                steps[position] = (index, spoilt, ants)
                return steps, position
    return None


def cut_step(trace):
    """The step the last step's first antecedent names, removed; returns the
    steps, the cut index and the index of the first step that names it."""
    root_index, _, root_ants = trace.steps[-1]
    cut = root_ants[0] if root_ants else None
    if cut is None:
        return None
    steps = [step for step in trace.steps if step[0] != cut]
    first_user = next(index for index, _, ants in steps if cut in ants)
    return steps, cut, first_user


def repeat_step(trace):
    """The last step's line repeated; returns the steps and its position."""
    steps = list(trace.steps) + [trace.steps[-1]]
    return steps, len(steps) - 1


def main():
    with open(os.path.join(HERE, "MANIFEST.tsv")) as manifest:
        rows = [line.rstrip("\n").split("\t") for line in manifest if not line.startswith("#")]
    tmp = tempfile.mkdtemp(prefix="zel-qrp-")
    ld_message = {}  # traces refused: their expected output (fifth column of the MANIFEST)
    for name, formula, result, verdict, _command in rows[:]:
        trace_path = os.path.join(HERE, name)
        formula_path = os.path.join(CORPUS, formula)
        with open(trace_path, "rb") as f:
            data = f.read()
        packed = os.path.join(tmp, name + ".gz")
        with gzip.open(packed, "wb") as f:
            f.write(data)
        expected = int(verdict)
        for how, args, stdin in (("file", [formula_path, trace_path], None),
                                 ("stdin", [formula_path, "-"], data),
                                 ("gzip", [formula_path, packed], None)):
            status, out, _ = run(args, stdin)
            check("%s (%s) gives %d" % (name, how, expected),
                  status == expected and (expected != 10 or out == VALIDATED),
                  "status %d, %r" % (status, out[:300]))
            if expected == 30:
                ld_message.setdefault(name.rsplit(".", 1)[0], []).append(out)

    # The refused long-distance steps give the same message in both
    # encodings but for the position.
    for stem, outputs in ld_message.items():
        messages = {o.split(b": ", 1)[1] for o in outputs}
        check("%s: one message for both encodings" % stem,
              len(messages) == 1 and b"(allowed only for a universal variable on a level "
              b"greater than the pivot's)" in messages.pop(), repr(outputs[:2]))

    for name, formula, result, verdict, _command in rows:
        if not name.endswith(".qrp") or verdict != "10":
            continue
        formula_path = os.path.join(CORPUS, formula)
        with open(os.path.join(HERE, name)) as f:
            trace = Trace(f.read())
        with open(os.path.join(HERE, name[:-4] + ".bqrp"), "rb") as f:
            check("%s: the binary encoder reproduces DepQBF's file" % name,
                  trace.binary()[0] == f.read())
        cube = trace.result == "SAT"
        matrix = read_matrix(formula_path)

        # --stats: steps checked, skipped (only backwards) and outside the
        # proof; backwards, the steps checked are at least the proof's.
        in_proof = len(proof_steps(trace, cube))
        for mode in ([], ["--forward"]):
            core_path = os.path.join(tmp, "core.qrp")
            status, _, err = run(["--stats", "--core", core_path] + mode +
                                 [formula_path, os.path.join(HERE, name)])
            text = err.decode()
            # The core's share is of the trace's steps, checked or skipped.
            check("%s %s: --stats gives the core's share of all steps" % (name, " ".join(mode)),
                  re.search(r"c core steps +\d+ of %d \(" % len(trace.steps), text) is not None,
                  text[-600:])
            checked = re.search(r"c steps checked +(\d+) ", text)
            skipped = re.search(r"c steps skipped +(\d+)\n", text)
            wanted = "c steps outside the proof  %d\n" % outside_proof(trace, cube)
            counts_ok = checked and skipped and (
                int(checked.group(1)) == len(trace.steps) and int(skipped.group(1)) == 0
                if mode else int(checked.group(1)) + int(skipped.group(1)) == len(trace.steps)
                and int(checked.group(1)) >= in_proof)
            check("%s %s: --stats counts the steps checked, skipped and outside the proof"
                  % (name, " ".join(mode)), status == 10 and wanted in text and bool(counts_ok),
                  text[-600:])

        def both(label, steps, result, expect_status, expect_text=None, mode=()):
            """Runs the mutation in both encodings; expect_text(encoding) is the
            exact output wanted, when given."""
            ascii_bytes = trace.ascii(steps, result)
            binary_bytes, offsets = trace.binary(steps, result)
            for encoding, payload in (("ascii", ascii_bytes), ("binary", binary_bytes)):
                status, out, _ = run(list(mode) + [formula_path, "-"], payload)
                ok = status == expect_status and status != 10
                if expect_text:
                    ok = ok and out == expect_text(encoding, offsets)
                check("%s %s (%s%s)" % (name, label, encoding, "".join(" " + m for m in mode)),
                      ok, "status %d, %r" % (status, out[:300]))

        # The literal a step resolves on: existential in clause proofs,
        # universal in cube proofs (whose existential literals reduction
        # mostly removes). Every step is checked with --forward; backwards,
        # the mutated step is one the proof rests on.
        quantifier = "a" if cube else "e"
        proof = proof_steps(trace, cube)
        for mode, among in ((["--forward"], None), ([], proof)):
            steps = negate_literal(trace, quantifier, among)
            if among is None:
                check("%s: has a literal to negate" % name, steps is not None)
            if steps:
                both("%s literal negated" % quantifier, steps, None, 30, mode=mode)
            steps = replace_antecedent(trace, among)
            if steps:
                both("antecedent replaced", steps, None, 30, mode=mode)
            # Cube proofs rest on initial cubes, which must imply the matrix.
            for negate in (False, True) if cube else ():
                spoilt = spoil_initial_cube(trace, matrix, negate, among)
                if among is None:
                    check("%s: has an initial cube to spoil" % name, spoilt is not None)
                if spoilt:
                    steps, position = spoilt

                    def spoilt_text(encoding, offsets, position=position, steps=steps):
                        where = ("line %d, column 1" % (1 + len(trace.blocks) + position + 1)
                                 if encoding == "ascii" else "byte offset %d" % offsets[position])
                        return ("Error at %s: Step %d: no clause of the QBF file, and as an initial "
                                "cube it does not imply the matrix.\n"
                                % (where, steps[position][0])).encode()
                    both("initial cube %s" % ("literal negated" if negate else "weakened"), steps,
                         None, 30, spoilt_text, mode=mode)
        both("result flipped", None, "UNSAT" if cube else "SAT", 20,
             lambda encoding, offsets: ERRONEOUS)
        cut = cut_step(trace)
        if cut:
            steps, cut_index, user = cut
            position = next(i for i, step in enumerate(steps) if step[0] == user)
            lines_before = 1 + len(trace.blocks)

            def cut_text(encoding, offsets):
                where = ("line %d, column 1" % (lines_before + position + 1)
                         if encoding == "ascii" else "byte offset %d" % offsets[position])
                return ("Error at %s: Step %d: antecedent %d is not defined.\n"
                        % (where, user, cut_index)).encode()
            both("step %d cut" % cut_index, steps, None, 30, cut_text)
        steps, position = repeat_step(trace)
        index = steps[position][0]

        def repeat_text(encoding, offsets):
            where = ("line %d, column 1" % (1 + len(trace.blocks) + position + 1)
                     if encoding == "ascii" else "byte offset %d" % offsets[position])
            return ("Error at %s: Step index %d is used twice.\n" % (where, index)).encode()
        both("index %d repeated" % index, steps, None, 30, repeat_text)

    # A trace needs its formula.
    status, out, _ = run([os.path.join(HERE, "eq-n4.trad.qrp")])
    check("a trace without the QBF file is refused", status == 30 and out ==
          b"Error at line 1, column 1: A QRP trace is checked against its formula: give the "
          b"QBF file before the trace.\n", repr(out))
    # Binary faults are reported by byte offset: a trace cut inside a step.
    with open(os.path.join(HERE, "eq-n4.trad.bqrp"), "rb") as f:
        data = f.read()
    cut_at = data.index(b"\0r UNSAT") - 3
    status, out, _ = run([os.path.join(CORPUS, "eq-n4.qpup.plain.qdimacs"), "-"], data[:cut_at])
    check("a binary trace cut inside a step: its message names a byte offset",
          status == 30 and out.startswith(b"Error at byte offset %d: " % cut_at) and
          b"cut off by the end of the file" in out, repr(out))
    long_chains(tmp)
    two_passes(rows, tmp)
    return TALLY.summary()


def long_chain(n, repeats, listed, result):
    """A trace of one step that resolves the clause (1 ... n q0) with
    (-q0 q1) and (-q1 q0) `repeats` times each, listing `listed`; its
    formula. Every resolution is a single clash on an existential pivot."""
    q0, q1 = n + 1, n + 2
    variables = " ".join(map(str, range(1, q1 + 1)))
    long_clause = " ".join(map(str, range(1, n + 1))) + " %d" % q0
    formula = "p cnf %d 3\ne %s 0\n%s 0\n%d %d 0\n%d %d 0\n" % (
        q1, variables, long_clause, -q0, q1, -q1, q0)
    trace = Trace("p qrp %d 3\ne %s 0\n1 %s 0 0\n2 %d %d 0 0\n3 %d %d 0 0\n4 %s 0 1 %s 0\nr %s\n" % (
        q1, variables, long_clause, -q0, q1, -q1, q0, " ".join(map(str, listed)),
        " ".join(["2 3"] * repeats), result))
    return formula, trace


def long_chains(tmp):
    """A step's work is linear in its numbers: 800,000 resolutions on a
    clause of 200,001 literals end in well under a second (they took
    minutes when each resolution passed over the whole clause). A step
    whose listed literals differ is refused with the clause derived in the
    order the resolutions give it."""
    n = 200000
    formula, trace = long_chain(n, 400000, list(range(1, n + 2)), "SAT")
    formula_path = os.path.join(tmp, "long-chain.qdimacs")
    with open(formula_path, "w") as f:
        f.write(formula)
    for encoding, payload in (("ascii", trace.ascii()), ("binary", trace.binary()[0])):
        status, out, _ = run([formula_path, "-"], payload)
        check("800,000 single-clash resolutions on a long clause (%s)" % encoding,
              status == 20 and out == ERRONEOUS, "status %d, %r" % (status, out[:300]))
    n = 300
    formula, trace = long_chain(n, 300, list(range(2, n + 2)), "UNSAT")
    with open(formula_path, "w") as f:
        f.write(formula)
    status, out, _ = run(["--forward", formula_path, "-"], trace.ascii())
    wanted = ("Error at line 6, column 1: Step 4: the listed literals (%s) differ from the clause "
              "derived (%s).\n" % (", ".join(map(str, range(2, n + 2))),
                                   ", ".join(map(str, range(1, n + 2))))).encode()
    check("a long chain whose listed literals differ", status == 30 and out == wanted,
          "status %d, %r" % (status, out[-300:]))

    # 20,000 steps that may each hold the empty clause and each fail:
    # backwards every one is tried once, and the first fault is the one
    # reported, as forwards.
    with open(formula_path, "w") as f:
        f.write("p cnf 2 1\ne 1 0\na 2 0\n1 2 0\n")
    trace = Trace("p qrp 2 1\ne 1 0\na 2 0\n1 1 2 0 0\n" +
                  "".join("%d 2 0 1 0\n" % i for i in range(2, 20002)) + "r UNSAT\n")
    for mode in ([], ["--forward"]):
        status, out, _ = run(mode + [formula_path, "-"], trace.ascii())
        check("20,000 failing candidates %s" % " ".join(mode), status == 30 and out ==
              b"Error at line 5, column 1: Step 2: the listed literals (), reduced, differ from "
              b"the clause derived (1).\n", "status %d, %r" % (status, out[-300:]))


def stats_lines(err):
    """--stats without the lines that differ between runs of one trace:
    the times, the memory, the readings and the certificate's name."""
    varying = (b"c certificate ", b"c formula time", b"c proof time", b"c conclusion time",
               b"c total time", b"c throughput", b"c peak memory", b"c readings of the trace")
    return [line for line in err.splitlines() if not line.startswith(varying)]


def readings(err):
    found = re.search(rb"c readings of the trace +(\d+)\n", err)
    return int(found.group(1)) if found else None


def two_passes(rows, tmp):
    """Traces in files take two passes (three after a fault), pipes one;
    both print the same, exactly."""
    for name, formula, _result, verdict, _command in rows:
        formula_path = os.path.join(CORPUS, formula)
        with open(os.path.join(HERE, name), "rb") as f:
            data = f.read()
        packed = os.path.join(tmp, name + ".xz")
        with open(packed, "wb") as f:
            f.write(lzma.compress(data))
        piped = run_once(["--stats", formula_path, "-"], data)
        for how, args, stdin in (("xz", [packed], None),
                                 ("/dev/stdin", ["/dev/stdin"], os.path.join(HERE, name))):
            if stdin is None:
                result = run_once(["--stats", formula_path] + args)
            else:
                with open(stdin, "rb") as f:
                    result = subprocess.run([ZEL, "--stats", formula_path] + args, stdin=f,
                                            capture_output=True, timeout=120)
                    result = result.returncode, result.stdout, result.stderr
            wanted_readings = 2 if verdict == "10" else 3
            check("%s (%s): two passes print what one pass over a pipe prints" % (name, how),
                  result[:2] == piped[:2] and result[0] == int(verdict) and
                  stats_lines(result[2]) == stats_lines(piped[2]) and
                  readings(piped[2]) == 1 and readings(result[2]) == wanted_readings,
                  "%r %r against %r %r" % (result[:2], readings(result[2]), piped[:2],
                                           stats_lines(result[2])[-6:]))

    # A bogus empty constraint before the real one: the second pass fails on
    # it and the third (one pass) validates by the real one; alone, it is
    # refused with the one-pass message.
    for name, formula, result, verdict, _command in rows:
        if verdict != "10" or not name.endswith(".qrp") or result != "UNSAT":
            continue
        formula_path = os.path.join(CORPUS, formula)
        with open(os.path.join(HERE, name)) as f:
            trace = Trace(f.read())
        root = next(position for position, (index, lits, ants) in enumerate(trace.steps)
                    if ants and not trace.reduced(lits, False))
        bogus_index = max(index for index, _, _ in trace.steps) + 1
        first, second = trace.steps[0][0], trace.steps[1][0]
        bogus = (bogus_index, [], [first, second])
        before = trace.steps[:root] + [bogus] + trace.steps[root:]
        alone = trace.steps[:root] + [bogus]
        for label, steps, expected in (("before the root", before, 10), ("alone", alone, 30)):
            for encoding, payload in (("ascii", trace.ascii(steps)),
                                      ("binary", trace.binary(steps)[0])):
                path = os.path.join(tmp, "bogus." + encoding)
                with open(path, "wb") as f:
                    f.write(payload)
                piped = run_once(["--stats", formula_path, "-"], payload)
                filed = run_once(["--stats", formula_path, path])
                check("%s: a bogus empty clause %s (%s)" % (name, label, encoding),
                      filed[:2] == piped[:2] and filed[0] == expected and
                      (expected == 30 or filed[1] == VALIDATED) and
                      stats_lines(filed[2]) == stats_lines(piped[2]) and
                      readings(filed[2]) == 3,
                      "%r %r against %r" % (filed[:2], readings(filed[2]), piped[:2]))
                if expected == 30:
                    wanted = b"Step %d: " % bogus_index
                    check("%s: the bogus step alone is the fault reported (%s)" % (name, encoding),
                          wanted in filed[1], repr(filed[1]))

    # Mutations inside the proof, compressed: never validated, and the
    # message of one pass.
    for name, formula, result, verdict, _command in rows:
        if verdict != "10" or not name.endswith(".qrp"):
            continue
        formula_path = os.path.join(CORPUS, formula)
        with open(os.path.join(HERE, name)) as f:
            trace = Trace(f.read())
        cube = trace.result == "SAT"
        proof = proof_steps(trace, cube)
        for label, steps in (("literal negated", negate_literal(trace, "a" if cube else "e", proof)),
                             ("antecedent replaced", replace_antecedent(trace, proof))):
            if not steps:
                continue
            for encoding, payload in (("ascii", trace.ascii(steps)),
                                      ("binary", trace.binary(steps)[0])):
                path = os.path.join(tmp, "mutated.xz")
                with open(path, "wb") as f:
                    f.write(lzma.compress(payload))
                piped = run_once([formula_path, "-"], payload)
                filed = run_once([formula_path, path])
                check("%s %s, xz (%s)" % (name, label, encoding),
                      filed[0] == 30 and filed[:2] == piped[:2], "%r against %r" % (filed[:2], piped[:2]))
                # Standard input redirected from a file is read twice too.
                plain = os.path.join(tmp, "mutated.trace")
                with open(plain, "wb") as f:
                    f.write(payload)
                with open(plain, "rb") as f:
                    result = subprocess.run([ZEL, formula_path, "/dev/stdin"], stdin=f,
                                            capture_output=True, timeout=120)
                check("%s %s, /dev/stdin (%s)" % (name, label, encoding),
                      result.returncode == 30 and result.stdout == piped[1],
                      "%r against %r" % (result.stdout[:200], piped[1][:200]))


if __name__ == "__main__":
    sys.exit(main())
