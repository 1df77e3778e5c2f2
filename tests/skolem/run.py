#!/usr/bin/env python3
"""Skolem functions out: every validated model of the examples and the corpus
written with --skolem as ASCII and binary AIGER, read back by a reader of
this test's own, and checked:
  - both files describe the same circuit;
  - inputs are the formula's universal variables in prefix order, outputs
    its existential variables in prefix order (symbol table);
  - simulated on every assignment of the inputs (bit-parallel, in chunks;
    above 20 inputs on 65536 random ones), the outputs satisfy every clause
    of the matrix;
  - each output depends only on inputs quantified before its variable;
  - a certificate that is not validated leaves no file, and an existing file
    of that name untouched;
  - the places a circuit may go: an input (by any path) is refused before
    any checking; links are followed; FIFOs, devices and standard output are
    written into; a regular file is replaced keeping its permission bits; a
    directory, a missing directory or an unwritable one gives no file; a
    failed write leaves nothing behind.

Usage: tests/skolem/run.py path/to/zel
"""
import os
import resource
import signal
import stat
from random import Random
import subprocess
import sys
import tempfile
import threading

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))
EXHAUSTIVE = 20  # inputs up to which every assignment is simulated
TALLY = Tally("skolem")
check = TALLY.check


def read_qdimacs(path):
    """Prefix as (variable, quantifier, level) in order, and the clauses."""
    prefix, clauses, level, last = [], [], -1, None
    quantified = set()
    for line in open(path):
        tokens = line.split()
        if not tokens or tokens[0] in ("c", "p") or tokens[0].startswith("%"):
            continue
        if tokens[0] in ("e", "a"):
            if tokens[0] != last:
                level += 1
                if last is None and tokens[0] == "a":
                    level = 1
                last = tokens[0]
            for v in tokens[1:-1]:
                prefix.append((int(v), tokens[0], level))
                quantified.add(int(v))
            continue
        clauses.append([int(x) for x in tokens[:-1]])
    free = []
    for clause in clauses:
        for literal in clause:
            if abs(literal) not in quantified and abs(literal) not in free:
                free.append(abs(literal))
    # Free variables are outermost existentials, latest first.
    prefix = [(v, "e", 0) for v in reversed(free)] + prefix
    return prefix, clauses


def read_aiger(path):
    data = open(path, "rb").read()
    newline = data.index(b"\n")
    header = data[:newline].split()
    kind, (m, i, l, o, a) = header[0], map(int, header[1:6])
    assert l == 0
    rest = data[newline + 1:]
    ands = []
    if kind == b"aag":
        lines = rest.split(b"\n")
        inputs = [int(x) for x in lines[:i]]
        assert inputs == [2 * (k + 1) for k in range(i)]
        outputs = [int(x) for x in lines[i:i + o]]
        for line in lines[i + o:i + o + a]:
            lhs, r0, r1 = map(int, line.split())
            ands.append((lhs, r0, r1))
        tail = b"\n".join(lines[i + o + a:])
    else:
        position = 0
        outputs = []
        for _ in range(o):
            end = rest.index(b"\n", position)
            outputs.append(int(rest[position:end]))
            position = end + 1

        def number():
            nonlocal position
            value, shift = 0, 0
            while True:
                byte = rest[position]
                position += 1
                value |= (byte & 0x7F) << shift
                if not byte & 0x80:
                    return value
                shift += 7
        for k in range(a):
            lhs = 2 * (i + k + 1)
            d0 = number()
            d1 = number()
            ands.append((lhs, lhs - d0, lhs - d0 - d1))
        tail = rest[position:]
    symbols = {}
    for line in tail.split(b"\n"):
        if line == b"c":
            break
        if line[:1] in (b"i", b"o"):
            key, name = line.split(b" ", 1)
            symbols[key.decode()] = int(name)
    return {"i": i, "o": o, "outputs": outputs, "ands": ands, "symbols": symbols}


def simulate(circuit, input_values, mask):
    values = {0: 0}
    for k, value in enumerate(input_values):
        values[2 * (k + 1)] = value

    def literal(lit):
        value = values[lit & ~1]
        return value ^ mask if lit & 1 else value
    for lhs, r0, r1 in circuit["ands"]:
        values[lhs] = literal(r0) & literal(r1)
    return [literal(out) for out in circuit["outputs"]]


def support(circuit):
    """Inputs (0-based) each output's cone reaches."""
    cone = {2 * (k + 1): {k} for k in range(circuit["i"])}
    cone[0] = set()
    for lhs, r0, r1 in circuit["ands"]:
        cone[lhs] = cone[r0 & ~1] | cone[r1 & ~1]
    return [cone[out & ~1] for out in circuit["outputs"]]


def check_model(stem, work):
    name = os.path.relpath(stem, ROOT)
    prefix, clauses = read_qdimacs(stem + ".qdimacs")
    circuits = {}
    for suffix in ("aag", "aig"):
        path = os.path.join(work, "model." + suffix)
        if os.path.exists(path):
            os.remove(path)
        result = subprocess.run([ZEL, "--skolem", path, stem + ".qdimacs", stem + ".cert"],
                                capture_output=True, timeout=300)
        plain = subprocess.run([ZEL, stem + ".qdimacs", stem + ".cert"], capture_output=True,
                               timeout=300)
        check("%s --skolem %s leaves the output alone" % (name, suffix),
              (result.returncode, result.stdout) == (plain.returncode, plain.stdout))
        if result.returncode != 10:
            check("%s not validated: no %s file" % (name, suffix), not os.path.exists(path))
            return
        circuits[suffix] = read_aiger(path)
    ascii_circuit, binary_circuit = circuits["aag"], circuits["aig"]
    check("%s ASCII and binary describe the same circuit" % name, ascii_circuit == binary_circuit)
    circuit = ascii_circuit

    universals = [v for v, q, _ in prefix if q == "a"]
    existentials = [v for v, q, _ in prefix if q == "e"]
    level = {v: lv for v, _, lv in prefix}
    inputs = [circuit["symbols"]["i%d" % k] for k in range(circuit["i"])]
    outputs = [circuit["symbols"]["o%d" % k] for k in range(circuit["o"])]
    check("%s inputs are the universals in prefix order" % name, inputs == universals)
    check("%s outputs are the existentials in prefix order" % name, outputs == existentials)

    cones = support(circuit)
    check("%s outputs read only inputs quantified before them" % name,
          all(level[inputs[k]] < level[outputs[o]] for o in range(len(outputs)) for k in cones[o]))

    # Every assignment of the inputs, 2^chunk at a time as bits of integers;
    # beyond EXHAUSTIVE inputs, 2^16 random assignments instead.
    n = len(inputs)
    exhaustive = n <= EXHAUSTIVE
    chunk = min(n, 14) if exhaustive else 16
    width = 1 << chunk
    mask = (1 << width) - 1
    patterns = []
    for k in range(chunk):
        block = ((1 << (1 << k)) - 1) << (1 << k)
        pattern = 0
        period = 1 << (k + 1)
        for start in range(0, width, period):
            pattern |= block << start
        patterns.append(pattern & mask)
    random = Random(len(clauses))
    value_of = {}
    all_hold = True
    for high in range(1 << (n - chunk) if exhaustive else 1):
        if exhaustive:
            input_values = patterns + [mask if (high >> (k - chunk)) & 1 else 0
                                       for k in range(chunk, n)]
        else:
            input_values = [random.getrandbits(width) for _ in range(n)]
        output_values = simulate(circuit, input_values, mask)
        for k, v in enumerate(inputs):
            value_of[v] = input_values[k]
        for k, v in enumerate(outputs):
            value_of[v] = output_values[k]
        for clause in clauses:
            satisfied = 0
            for literal in clause:
                value = value_of[abs(literal)]
                satisfied |= value if literal > 0 else value ^ mask
            if satisfied != mask:
                all_hold = False
                break
        if not all_hold:
            break
    check("%s outputs satisfy every clause for %s" % (
        name, "all %d input assignments" % (1 << n) if exhaustive else "65536 random assignments"),
        all_hold)

FORMULA = "p cnf 2 2\na 1 0\ne 2 0\n1 -2 0\n-1 2 0\n"
MODEL = "QBCertificate\nCONCLUDE VALID 2 1\n"
VALIDATED = b"Certificate validated correctly.\n"


def check_targets(work):
    """Where --skolem FILE may write, and where it must not."""
    folder = os.path.join(work, "targets")
    os.mkdir(folder)
    formula, certificate = os.path.join(folder, "f.qdimacs"), os.path.join(folder, "c.cert")

    def reset():
        for name in os.listdir(folder):
            target = os.path.join(folder, name)
            if os.path.isdir(target) and not os.path.islink(target):
                os.chmod(target, 0o755)
                for inner in os.listdir(target):
                    os.remove(os.path.join(target, inner))
                os.rmdir(target)
            else:
                os.remove(target)
        with open(formula, "w") as f:
            f.write(FORMULA)
        with open(certificate, "w") as f:
            f.write(MODEL)

    def run(output, stdin=None, user=None, file_limit=None, stdout=subprocess.PIPE):
        def prepare():
            if file_limit is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))
            if user is not None:
                os.setgid(user)
                os.setuid(user)
        return subprocess.run([ZEL, "--skolem", output, "f.qdimacs", "c.cert" if stdin is None else "-"],
                              cwd=folder, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL,
                              preexec_fn=prepare, timeout=60)

    def inputs_intact():
        return open(formula).read() == FORMULA and open(certificate).read() == MODEL

    reset()
    circuit_path = os.path.join(folder, "model.aag")
    check("targets: a new file is written", run("model.aag").returncode == 10)
    circuit = open(circuit_path, "rb").read()
    check("targets: the circuit is the model", read_aiger(circuit_path)["symbols"] == {"i0": 1, "o0": 2})

    # An input, by any path, is refused before any checking (the certificate
    # is not even read: a broken one gives the same refusal).
    for name, setup, role in (
            ("the formula", lambda: None, "the QBF file"),
            ("the certificate", lambda: None, "the certificate"),
            ("./f.qdimacs", lambda: None, "the QBF file"),
            ("hard", lambda: os.link(formula, os.path.join(folder, "hard")), "the QBF file"),
            ("soft", lambda: os.symlink("c.cert", os.path.join(folder, "soft")), "the certificate")):
        reset()
        setup()
        output = {"the formula": "f.qdimacs", "the certificate": "c.cert"}.get(name, name)
        with open(certificate, "w") as f:
            f.write("QBCertificate\nCONCLUDE VALID 9 x\n")
        result = run(output)
        expected = ("Error: Cannot write file: '%s' (it is %s).\n" % (output, role)).encode()
        check("targets: %s is refused" % name, (result.returncode, result.stdout) == (30, expected),
              repr((result.returncode, result.stdout)))
        check("targets: %s is left as it was" % name, open(formula).read() == FORMULA and
              open(certificate).read() == "QBCertificate\nCONCLUDE VALID 9 x\n")
    reset()
    with open(certificate, "rb") as stdin:
        result = run("c.cert", stdin=stdin)
    check("targets: standard input's file is refused",
          (result.returncode, result.stdout) ==
          (30, b"Error: Cannot write file: 'c.cert' (it is the certificate).\n") and inputs_intact(),
          repr((result.returncode, result.stdout)))

    # Places that cannot take a file: exit 30, no file, nothing left.
    for name, output, reason, setup in (
            ("a directory", "sub", "Is a directory", lambda: os.mkdir(os.path.join(folder, "sub"))),
            ("a missing directory", "missing/model.aag", "No such file or directory", lambda: None)):
        reset()
        setup()
        result = run(output)
        check("targets: %s is refused" % name,
              (result.returncode, result.stdout) ==
              (30, ("Error: Cannot write file: '%s' (%s).\n" % (output, reason)).encode()),
              repr((result.returncode, result.stdout)))
        check("targets: %s leaves nothing" % name,
              sorted(os.listdir(folder)) == sorted(["f.qdimacs", "c.cert"] + (["sub"] if output == "sub" else []))
              and (output != "sub" or os.listdir(os.path.join(folder, "sub")) == []))
    reset()
    os.mkdir(os.path.join(folder, "locked"), 0o555)
    os.chmod(folder, 0o755)
    result = run("locked/model.aag", user=65534)
    check("targets: an unwritable directory is refused",
          (result.returncode, result.stdout) ==
          (30, b"Error: Cannot write file: 'locked/model.aag' (Permission denied).\n") and
          os.listdir(os.path.join(folder, "locked")) == [], repr((result.returncode, result.stdout)))

    # A write that fails halfway: the old file stays, nothing is left.
    reset()
    with open(circuit_path, "w") as f:
        f.write("old\n")
    result = run("model.aag", file_limit=10)
    check("targets: a failed write is an error",
          result.returncode == 30 and result.stdout.endswith(b"Cannot write file: 'model.aag' (File too large).\n"),
          repr((result.returncode, result.stdout)))
    check("targets: a failed write leaves the old file and nothing else",
          open(circuit_path).read() == "old\n" and sorted(os.listdir(folder)) == ["c.cert", "f.qdimacs", "model.aag"])

    # A regular file is replaced, keeping its permission bits; any valid name works.
    reset()
    with open(circuit_path, "w") as f:
        f.write("old\n")
    os.chmod(circuit_path, 0o600)
    result = run("model.aag")
    check("targets: a regular file is replaced with its permissions",
          result.returncode == 10 and open(circuit_path, "rb").read() == circuit and
          stat.S_IMODE(os.stat(circuit_path).st_mode) == 0o600)
    long_name = "m" * 245 + ".aag"
    result = run(long_name)
    check("targets: a 249-byte name works", result.returncode == 10 and
          open(os.path.join(folder, long_name), "rb").read() == circuit)

    # A link is followed: its target is replaced, the link stays.
    reset()
    os.mkdir(os.path.join(folder, "real"))
    with open(os.path.join(folder, "real", "model.aag"), "w") as f:
        f.write("old\n")
    os.symlink("real/model.aag", os.path.join(folder, "link"))
    result = run("link")
    check("targets: a link's target is replaced",
          result.returncode == 10 and os.path.islink(os.path.join(folder, "link")) and
          open(os.path.join(folder, "real", "model.aag"), "rb").read() == circuit and
          os.listdir(os.path.join(folder, "real")) == ["model.aag"])

    # A FIFO, a character device and standard output are written into.
    reset()
    fifo = os.path.join(folder, "pipe")
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(open(fifo, "rb").read()))
    reader.start()
    result = run("pipe")
    reader.join(60)
    check("targets: a FIFO is written into", result.returncode == 10 and received == [circuit] and
          stat.S_ISFIFO(os.lstat(fifo).st_mode))
    result = run("/dev/null")
    check("targets: /dev/null stays a device", result.returncode == 10 and
          stat.S_ISCHR(os.lstat("/dev/null").st_mode))
    result = run("/dev/stdout")
    check("targets: /dev/stdout on a pipe", (result.returncode, result.stdout) == (10, circuit + VALIDATED),
          repr(result.stdout))
    reset()
    out_path = os.path.join(folder, "out.txt")
    with open(out_path, "wb") as out:
        inode = os.fstat(out.fileno()).st_ino
        result = run("/dev/stdout", stdout=out)
    check("targets: /dev/stdout on a file is written into, not replaced",
          result.returncode == 10 and os.stat(out_path).st_ino == inode and
          open(out_path, "rb").read() == circuit + VALIDATED and
          sorted(os.listdir(folder)) == ["c.cert", "f.qdimacs", "out.txt"])
    check("targets: the inputs are never modified", inputs_intact())


def main():
    work = tempfile.mkdtemp(prefix="zel-skolem-")
    models = []
    for folder in (os.path.join(ROOT, "examples"), os.path.join(ROOT, "tests", "corpus")):
        for dirpath, _, files in os.walk(folder):
            for file in sorted(files):
                if not file.endswith(".cert"):
                    continue
                stem = os.path.join(dirpath, file[:-5])
                if os.path.exists(stem + ".qdimacs") and "CONCLUDE VALID" in open(stem + ".cert").read():
                    models.append(stem)
    for stem in models:
        check_model(stem, work)

    # Not validated, or no model: no file, and an existing one untouched.
    wrong = os.path.join(ROOT, "tests", "corpus", "adder-n3.neg-model")
    refutation = os.path.join(ROOT, "examples", "refutation")
    broken = os.path.join(work, "broken")
    with open(broken + ".qdimacs", "w") as f:
        f.write("p cnf 2 2\na 1 0\ne 2 0\n1 -2 0\n-1 2 0\n")
    with open(broken + ".cert", "w") as f:
        f.write("QBCertificate\nE 3 A 1 0\nCONCLUDE VALID 2 x\n")
    for stem, status in ((wrong, 20), (refutation, 10), (broken, 30)):
        path = os.path.join(work, "kept.aag")
        with open(path, "w") as f:
            f.write("old content\n")
        result = subprocess.run([ZEL, "--skolem", path, stem + ".qdimacs", stem + ".cert"],
                                capture_output=True)
        check("%s leaves an existing file alone" % os.path.relpath(stem, ROOT),
              result.returncode == status and open(path).read() == "old content\n")
        os.remove(path)
        subprocess.run([ZEL, "--skolem", path, stem + ".qdimacs", stem + ".cert"], capture_output=True)
        check("%s writes no file" % os.path.relpath(stem, ROOT), not os.path.exists(path))
    check_targets(work)
    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
