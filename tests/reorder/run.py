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
                try:
                    result = subprocess.run([zel, stem + ".qdimacs", cert], capture_output=True,
                                            timeout=120)
                    status, last = result.returncode, result.stdout.decode("latin-1").rstrip("\n").split("\n")[-1]
                except subprocess.TimeoutExpired:
                    status, last = None, "timed out"
                label = "%s %s%s" % (os.path.relpath(stem), how, "" if seed is None else " %d" % seed)
                if status == 10 and last == "Certificate validated correctly.":
                    passed += 1
                else:
                    failed += 1
                    print("FAIL %s: exit status %s, %s" % (label, status, last))
    print("reorder: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
