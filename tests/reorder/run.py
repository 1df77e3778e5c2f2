#!/usr/bin/env python3
"""Real refutations with their antecedent lists reordered.

A solver lists the antecedents of a folded chain in the order it resolved
them; a correct proof stays correct in any order, and the checker must find
a sound chain whatever the order. For every refutation below the given
folders (NAME.cert with NAME.expect = 10 and a CONCLUDE INVALID), this writes
the certificate with every antecedent list reversed and shuffled (seeded),
runs zel on each and expects "Certificate validated correctly." with exit
status 10. Certificates whose supplied resolvents were pruned ("prune" in the
name) keep only what universal reduction leaves in the order the solver
resolved, and another order of the same antecedents can leave more
universal literals, which the checker reports as a different resolvent:
they are left out.

Each refutation is also checked with every variable renumbered by adding
32760, so that the derived clauses mix literal codes below and above 2^16
(stored in the narrow and in the wide form); it must validate as before.

Usage: tests/reorder/run.py path/to/zel FOLDER... [--seeds N]
"""
import os
import random
import subprocess
import sys
import tempfile


def refutations(folders):
    for folder in folders:
        for dirpath, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith(".cert") or "prune" in name:
                    continue
                stem = os.path.join(dirpath, name[:-5])
                try:
                    expect = open(stem + ".expect").read().strip()
                    text = open(stem + ".cert").read()
                except OSError:
                    continue
                if expect == "10" and "CONCLUDE INVALID" in text and os.path.exists(stem + ".qdimacs"):
                    yield stem, text


def reorder(text, how, rng):
    """Rewrites every numbered clause line `k lits 0 ants 0`."""
    out = []
    for line in text.split("\n"):
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit() and fields[-1] == "0":
            body = fields[1:-1]
            if "0" in body:
                cut = body.index("0")
                antecedents = body[cut + 1:]
                if how == "reversed":
                    antecedents.reverse()
                else:
                    rng.shuffle(antecedents)
                line = " ".join([fields[0]] + body[:cut + 1] + antecedents + ["0"])
        out.append(line)
    return "\n".join(out)


SHIFT = 32760


def shifted(field):
    value = int(field)
    return str(value + SHIFT if value > 0 else value - SHIFT if value < 0 else 0)


def renumber_formula(text):
    """The QDIMACS formula with every variable v renamed v + SHIFT."""
    out = []
    for line in text.split("\n"):
        fields = line.split()
        if not fields or fields[0] == "c":
            out.append(line)
        elif fields[0] == "p":
            out.append(" ".join(fields[:2] + [str(int(fields[2]) + SHIFT)] + fields[3:]))
        elif fields[0] in ("a", "e"):
            out.append(" ".join([fields[0]] + [shifted(f) for f in fields[1:]]))
        else:
            out.append(" ".join(shifted(f) for f in fields))
    return "\n".join(out)


def renumber_certificate(text):
    """The certificate with the same renaming: literals of numbered lines and
    the pivots of resolution lines; clause numbers stay. None when it holds
    lines this does not rename (extensions)."""
    out = []
    for line in text.split("\n"):
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit() and fields[1] != "*" and "0" in fields[1:]:
            cut = fields.index("0", 1)  # the literals end; antecedents follow
            line = " ".join([fields[0]] + [shifted(f) for f in fields[1:cut]] + fields[cut:])
        elif fields and fields[0] in ("r", "R") and len(fields) == 4:
            line = " ".join(fields[:3] + [shifted(fields[3])])
        elif fields and fields[0] in ("e", "E"):
            return None
        out.append(line)
    return "\n".join(out)


def run(zel, qdimacs, cert):
    try:
        result = subprocess.run([zel, qdimacs, cert], capture_output=True, timeout=120)
        return result.returncode, result.stdout.decode("latin-1").rstrip("\n").split("\n")[-1]
    except subprocess.TimeoutExpired:
        return None, "timed out"


def main():
    args = sys.argv[1:]
    seeds = 2
    if "--seeds" in args:
        i = args.index("--seeds")
        seeds = int(args[i + 1])
        del args[i:i + 2]
    zel, folders = os.path.abspath(args[0]), args[1:]
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="zel-reorder-") as work:
        for stem, text in refutations(folders):
            variants = [("reversed", None)] + [("shuffled", seed) for seed in range(seeds)]
            for how, seed in variants:
                cert = os.path.join(work, "variant.cert")
                with open(cert, "w") as f:
                    f.write(reorder(text, how, random.Random(seed)))
                status, last = run(zel, stem + ".qdimacs", cert)
                label = "%s %s%s" % (os.path.relpath(stem), how, "" if seed is None else " %d" % seed)
                if status == 10 and last == "Certificate validated correctly.":
                    passed += 1
                else:
                    failed += 1
                    print("FAIL %s: exit status %s, %s" % (label, status, last))
            renamed = renumber_certificate(text)
            if renamed is None:
                continue
            qdimacs = os.path.join(work, "renumbered.qdimacs")
            cert = os.path.join(work, "renumbered.cert")
            with open(qdimacs, "w") as f:
                f.write(renumber_formula(open(stem + ".qdimacs").read()))
            with open(cert, "w") as f:
                f.write(renamed)
            status, last = run(zel, qdimacs, cert)
            if status == 10 and last == "Certificate validated correctly.":
                passed += 1
            else:
                failed += 1
                print("FAIL %s renumbered: exit status %s, %s" % (os.path.relpath(stem), status, last))
    print("reorder: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
