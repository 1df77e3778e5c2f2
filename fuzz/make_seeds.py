#!/usr/bin/env python3
"""Writes the fuzz target's seed inputs, one folder per certificate kind.

Every certificate the repository holds (zel's format, QRP traces in both
encodings, AIGER circuits in both encodings: tests/, examples/, and the
circuits kept under fuzz/seeds with their formulas named in its MANIFEST.tsv:
binary AIGER, which no test file holds)
becomes inputs in the target's layout (fuzz/zel_fuzzer.cpp): an option byte,
then the certificate alone, and, when its formula is known, the formula, the
separator line and the certificate, once without output options and once
with each output the kind can give (ASCII and binary outputs). The kind is
told by the certificate's first bytes, as zel tells it. The inputs the fuzzer
reported (tests/fuzz-findings) are seeds of their kind too.

Usage: fuzz/make_seeds.py REPOSITORY OUTPUT-FOLDER [MAX-BYTES]
Prints one line: the number of seeds of each kind.
"""
import hashlib
import os
import sys

KINDS = ("zel", "qrp", "bqrp", "aag", "aig")
SEPARATOR = b"\n#zel-certificate#\n"
EXTENSIONS = (".cert", ".qrp", ".bqrp", ".aag", ".aig")

# The option byte's bits (fuzz/zel_fuzzer.cpp).
CORE, SKOLEM, HERBRAND, BINARY_OUTPUTS = 8, 16, 32, 64


def kind_of(certificate):
    """zel's own decision, on uncompressed bytes: AIGER by its first bytes,
    QRP by the header after comment lines, zel's format otherwise."""
    if certificate.startswith(b"aag "):
        return "aag"
    if certificate.startswith(b"aig "):
        return "aig"
    for line in certificate.split(b"\n"):
        words = line.split()
        if not words or words[0] == b"c":
            continue
        if words[0] == b"p" and len(words) > 1 and words[1] in (b"qrp", b"bqrp"):
            return words[1].decode()
        break
    return "zel"


def manifest_formulas(folder):
    """Certificate name -> formula path, from a MANIFEST.tsv in `folder`
    (its first two columns); a formula is looked up beside it, from the
    repository's top and in tests/corpus."""
    table = {}
    path = os.path.join(folder, "MANIFEST.tsv")
    if not os.path.exists(path):
        return table
    with open(path) as f:
        for line in f:
            columns = line.rstrip("\n").split("\t")
            if line.startswith("#") or len(columns) < 2:
                continue
            table[columns[0]] = columns[1]
    return table


def formula_of(path, root):
    stem = os.path.splitext(path)[0]
    if os.path.exists(stem + ".qdimacs"):
        return stem + ".qdimacs"
    folder = os.path.dirname(path)
    name = manifest_formulas(folder).get(os.path.basename(path))
    if name:
        for place in (folder, root, os.path.join(root, "tests", "corpus")):
            candidate = os.path.join(place, name)
            if os.path.exists(candidate):
                return candidate
    return None


def outputs_for(kind, certificate):
    """The output options a validated certificate of this kind can use:
    a model and an AIGER circuit give no core."""
    if kind in ("aag", "aig") or (kind == "zel" and b"CONCLUDE VALID" in certificate):
        return SKOLEM | HERBRAND
    return CORE | SKOLEM | HERBRAND


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    root, output = sys.argv[1], sys.argv[2]
    max_bytes = int(sys.argv[3]) if len(sys.argv) > 3 else 65536
    seeds = {kind: set() for kind in KINDS}

    for top in ("tests", "examples", os.path.join("fuzz", "seeds")):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(EXTENSIONS):
                    continue
                path = os.path.join(folder, name)
                certificate = read(path)
                kind = kind_of(certificate)
                seeds[kind].add(b"\0" + certificate)
                formula = formula_of(path, root)
                if formula is None:
                    continue
                pair = read(formula) + SEPARATOR + certificate
                outputs = outputs_for(kind, certificate)
                for options in (0, outputs, outputs | BINARY_OUTPUTS):
                    seeds[kind].add(bytes([options]) + pair)

    # The inputs the fuzzer reported, already in the target's layout.
    findings = os.path.join(root, "tests", "fuzz-findings")
    for name in sorted(os.listdir(findings)):
        if name.endswith(".fuzz"):
            data = read(os.path.join(findings, name))
            split = data.find(SEPARATOR, 1)
            certificate = data[split + len(SEPARATOR):] if split >= 0 else data[1:]
            seeds[kind_of(certificate)].add(data)

    counts = []
    for kind in KINDS:
        folder = os.path.join(output, kind)
        os.makedirs(folder, exist_ok=True)
        kept = [seed for seed in seeds[kind] if len(seed) <= max_bytes]
        for seed in kept:
            with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()[:16]), "wb") as f:
                f.write(seed)
        counts.append("%s %d" % (kind, len(kept)))
    print("seeds: " + ", ".join(counts))


if __name__ == "__main__":
    main()
