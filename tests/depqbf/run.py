#!/usr/bin/env python3
"""DepQBF's traces of random formulas, end to end: small random QBFs (some
with free variables) are solved by DepQBF in every tracing mode, and each
trace, ASCII and binary, must be validated by zel (exit 10), checked
backwards from its result and with --forward; the formula's
truth, found here by brute force, must be the trace's result line. The one
refusal allowed is the long-distance pair that the sound rule refuses
(in --long-dist-res modes only), with its exact message.

Usage: tests/depqbf/run.py path/to/zel [--formulas N] [--seed S]
The default count (2000 formulas, 32,000 traces, each checked twice) keeps the suite near two
minutes on two cores;
ZEL_DEPQBF_FORMULAS sets another.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally  # noqa: E402

# Every mode DepQBF can trace in: traditional or QPUP-based QCDCL, with or
# without long-distance resolution, with or without pure literals.
MODES = {
    "trad": ["--traditional-qcdcl"],
    "qpup": ["--no-lazy-qpup"],
    "ld-trad": ["--traditional-qcdcl", "--long-dist-res"],
    "ld-qpup": ["--no-lazy-qpup", "--long-dist-res"],
    "trad-nopure": ["--traditional-qcdcl", "--no-pure-literals"],
    "qpup-nopure": ["--no-lazy-qpup", "--no-pure-literals"],
    "ld-trad-nopure": ["--traditional-qcdcl", "--long-dist-res", "--no-pure-literals"],
    "ld-qpup-nopure": ["--no-lazy-qpup", "--long-dist-res", "--no-pure-literals"],
}
LONG_DISTANCE_REFUSAL = re.compile(
    rb"^Error at (line \d+, column \d+|byte offset \d+): Step \d+: resolving antecedent \d+ on "
    rb"variable \d+ leaves \d+ and -\d+ \(allowed only for a universal variable on a level "
    rb"greater than the pivot's\)\.\n$")


def random_formula(rng):
    """(prefix, clauses, variables): prefix a list of (quantifier, vars);
    a variable of no block is free."""
    variables = rng.randint(2, 10)
    order = list(range(1, variables + 1))
    rng.shuffle(order)
    free = rng.randint(0, 2) if rng.random() < 0.25 else 0
    bound = order[free:]
    blocks = []
    quantifier = rng.choice("ae")
    while bound:
        size = rng.randint(1, max(1, len(bound) // 2))
        blocks.append((quantifier, sorted(bound[:size])))
        bound = bound[size:]
        quantifier = "a" if quantifier == "e" else "e"
    clauses = []
    for _ in range(rng.randint(1, 4 * variables)):
        width = rng.randint(1, min(4, variables))
        chosen = rng.sample(range(1, variables + 1), width)
        clauses.append([v if rng.random() < 0.5 else -v for v in chosen])
    return blocks, clauses, variables


def qdimacs(blocks, clauses, variables):
    lines = ["p cnf %d %d" % (variables, len(clauses))]
    lines += ["%s %s 0" % (q, " ".join(map(str, vs))) for q, vs in blocks]
    lines += [" ".join(map(str, c)) + " 0" for c in clauses]
    return "\n".join(lines) + "\n"


def truth(blocks, clauses, variables):
    """The formula's value by expansion; free variables are existential
    and outermost."""
    bound = {v for _, vs in blocks for v in vs}
    order = [("e", v) for v in range(1, variables + 1) if v not in bound]
    order += [(q, v) for q, vs in blocks for v in vs]

    def value(depth, live):
        if any(not c for c in live):
            return False
        if not live:
            return True
        quantifier, variable = order[depth]
        results = []
        for literal in (variable, -variable):
            rest = [[l for l in c if l != -literal] for c in live if literal not in c]
            results.append(value(depth + 1, rest))
            if (quantifier == "e") == results[-1]:
                return results[-1]
        return results[-1]

    return value(0, [list(c) for c in clauses])


def run_case(zel, directory, number, rng_seed):
    """Every mode and encoding on one random formula; a list of
    (name, ok, detail)."""
    rng = random.Random(rng_seed)
    blocks, clauses, variables = random_formula(rng)
    expected = "SAT" if truth(blocks, clauses, variables) else "UNSAT"
    formula = os.path.join(directory, "f%d.qdimacs" % number)
    with open(formula, "w") as f:
        f.write(qdimacs(blocks, clauses, variables))
    checks = []
    for mode, options in MODES.items():
        for encoding in ("qrp", "bqrp"):
            name = "formula %d (seed %d) %s %s" % (number, rng_seed, mode, encoding)
            trace = os.path.join(directory, "f%d.%s.%s" % (number, mode, encoding))
            with open(trace, "wb") as out:
                solver = subprocess.run(
                    ["depqbf", "--trace" if encoding == "qrp" else "--trace=bqrp",
                     "--dep-man=simple", "--no-qbce-dynamic"] + options + [formula],
                    stdout=out, stderr=subprocess.PIPE, timeout=600)
            answer = {10: "SAT", 20: "UNSAT"}.get(solver.returncode)
            if answer != expected:
                checks.append((name, False, "depqbf said %s, the truth is %s" % (answer, expected)))
                continue
            for check_mode in ([], ["--forward"]):
                result = subprocess.run([zel] + check_mode + [formula, trace],
                                        capture_output=True, timeout=600)
                label = name + "".join(" " + m for m in check_mode)
                if result.returncode == 10:
                    ok = result.stdout == b"Certificate validated correctly.\n"
                    checks.append((label, ok, repr(result.stdout)))
                elif mode.startswith("ld-") and result.returncode == 30:
                    ok = LONG_DISTANCE_REFUSAL.match(result.stdout) is not None
                    checks.append((label, ok, repr(result.stdout)))
                else:
                    checks.append((label, False,
                                   "exit %d: %r" % (result.returncode, result.stdout)))
            os.unlink(trace)
    os.unlink(formula)
    return checks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zel")
    parser.add_argument("--formulas", type=int,
                        default=int(os.environ.get("ZEL_DEPQBF_FORMULAS", "2000")))
    parser.add_argument("--seed", type=int, default=1)
    arguments = parser.parse_args()
    zel = os.path.abspath(arguments.zel)
    tally = Tally("depqbf")
    refused = 0
    with tempfile.TemporaryDirectory() as directory:
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            cases = pool.map(lambda n: run_case(zel, directory, n, arguments.seed * 1000003 + n),
                             range(arguments.formulas))
            for checks in cases:
                for name, ok, detail in checks:
                    refused += ok and detail.startswith("b'Error")
                    tally.check(name, ok, detail)
    print("depqbf: %d traces refused for a long-distance pair" % refused)
    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
