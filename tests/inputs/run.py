#!/usr/bin/env python3
"""Inputs and outputs: compressed files, standard input, --stats, progress.

For every certificate of the examples and the corpus, the plain run's
standard output and exit status are the reference. Each must come out the
same
  - with the certificate and the formula compressed by gzip, bzip2, xz and
    zstd (the Debian command-line tools), read from files and from standard
    input ("-"), one input at a time;
  - with --stats (standard error gets the summary);
  - with standard error a pseudo-terminal while the certificate arrives
    slowly through a pipe, so that the progress line is drawn: it must
    appear on standard error only, and be erased before the verdict.
A model whose third clause MiniSat does not decide in minutes (x * y against
y * x, 16-bit multipliers) shows, while that clause is being tested, its
"Testing clause 3/4" line on standard output with --d and the model test's
progress line on a pseudo-terminal; the run is then stopped.
A truncated and a corrupted file of each format end with exit status 30 and
"Could not decompress file"; "-" given twice and an empty standard input
are refused.

Usage: tests/inputs/run.py path/to/zel
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from tally import Tally  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ZEL = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "zel"))
FORMATS = {"gzip": ["gzip", "-c"], "bzip2": ["bzip2", "-c"], "xz": ["xz", "-c"],
           "zstd": ["zstd", "-q", "-c"]}

TALLY = Tally("inputs")
check = TALLY.check


def run(args, stdin_bytes=None, cwd=None):
    result = subprocess.run([ZEL] + args, input=stdin_bytes, capture_output=True, timeout=120,
                            cwd=cwd)
    return result.returncode, result.stdout, result.stderr


def compress(path, tool, out):
    with open(out, "wb") as f:
        subprocess.run(tool + [path], stdout=f, check=True)
    return out


def cases():
    found = []
    for folder in (os.path.join(ROOT, "examples"), os.path.join(ROOT, "tests", "corpus")):
        for dirpath, _, files in os.walk(folder):
            for name in sorted(files):
                if name.endswith(".cert"):
                    stem = os.path.join(dirpath, name[:-5])
                    if os.path.exists(stem + ".qdimacs"):
                        found.append(stem)
    return found


def multiplier_miter(n, bit):
    """x * y against y * x, each an n-bit array multiplier of AND and
    if-then-else gates over 2n universals: the model sets p0, q0 to bit 0
    of the two products (decided at once) and p, q to bit `bit`; the
    clauses say p0 = q0 and p = q."""
    X, Y = list(range(1, n + 1)), list(range(n + 1, 2 * n + 1))
    p0, q0, p, q = 2 * n + 1, 2 * n + 2, 2 * n + 3, 2 * n + 4
    lines = ["QBCertificate"]
    fresh = [2 * n + 5]

    def gate(kind, operands):
        fresh[0] += 1
        lines.append("E %d %s %s%s" % (fresh[0] - 1, kind, " ".join(map(str, operands)),
                                       " 0" if kind == "A" else ""))
        return fresh[0] - 1

    true = gate("A", [])

    def xor(a, b):
        return gate("I", [a, -b, b])

    def product(a, b):
        row = [gate("A", [a[0], bj]) for bj in b] + [-true] * n
        for i in range(1, n):
            carry = -true
            for j in range(2 * n - i):
                addend = gate("A", [a[i], b[j]]) if j < n else -true
                partial = xor(row[i + j], addend)
                total = xor(partial, carry)
                carry = gate("I", [partial, carry, row[i + j]])
                row[i + j] = total
        return row

    m1, m2 = product(X, Y), product(Y, X)
    lines.append("CONCLUDE VALID %d %d %d %d %d %d %d %d" % (p0, m1[0], q0, m2[0], p, m1[bit], q,
                                                             m2[bit]))
    qbf = "p cnf %d 4\na %s 0\ne %d %d %d %d 0\n-%d %d 0\n%d -%d 0\n-%d %d 0\n%d -%d 0\n" % (
        2 * n + 4, " ".join(map(str, X + Y)), p0, q0, p, q, p0, q0, p0, q0, p, q, p, q)
    return qbf, "\n".join(lines) + "\n"


def read_until(stream, wanted, seconds):
    """Bytes read from the file descriptor `stream` until `wanted` is among
    them or `seconds` have passed."""
    got = b""
    deadline = time.monotonic() + seconds
    while wanted not in got and time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(stream, 4096)
            except OSError:
                break
            if not chunk:
                break
            got += chunk
    return got


def main():
    work = tempfile.mkdtemp(prefix="zel-inputs-")
    # Formats round trip, through files and standard input.
    for stem in cases():
        name = os.path.relpath(stem, ROOT)
        qbf, cert = stem + ".qdimacs", stem + ".cert"
        reference = run([qbf, cert])
        for fmt, tool in FORMATS.items():
            zqbf = compress(qbf, tool, os.path.join(work, "f." + fmt))
            zcert = compress(cert, tool, os.path.join(work, "c." + fmt))
            got = run([zqbf, zcert])
            check("%s %s files" % (name, fmt), got[:2] == reference[:2], repr(got[1][-200:]))
            with open(zcert, "rb") as f:
                got = run([zqbf, "-"], f.read())
            check("%s %s certificate on standard input" % (name, fmt), got[:2] == reference[:2],
                  repr(got[1][-200:]))
            with open(zqbf, "rb") as f:
                got = run(["-", cert], f.read())
            check("%s %s formula on standard input" % (name, fmt), got[:2] == reference[:2],
                  repr(got[1][-200:]))
        with open(cert, "rb") as f:
            got = run([qbf, "-"], f.read())
        check("%s plain certificate on standard input" % name, got[:2] == reference[:2])
        got = run(["--stats", qbf, cert])
        check("%s --stats leaves standard output alone" % name,
              got[:2] == reference[:2] and b"c zel statistics" in got[2])

    # Broken compressed files.
    stem = os.path.join(ROOT, "tests", "corpus", "fcl-e10a10e30-k4-r4.25-s771721.qpup.plain")
    for fmt, tool in FORMATS.items():
        zcert = compress(stem + ".cert", tool, os.path.join(work, "c." + fmt))
        data = open(zcert, "rb").read()
        variants = {"truncated": data[:len(data) // 2],
                    "corrupted": data[:len(data) // 2] + bytes([data[len(data) // 2] ^ 0x55]) +
                    data[len(data) // 2 + 1:]}
        for how, broken in variants.items():
            path = os.path.join(work, "broken." + fmt)
            with open(path, "wb") as f:
                f.write(broken)
            status, out, _ = run([stem + ".qdimacs", path])
            last = out.decode("latin-1").rstrip("\n").split("\n")[-1]
            check("%s %s certificate" % (how, fmt),
                  status == 30 and ("Could not decompress file '%s'" % path) in last, last)
            status, out, _ = run([stem + ".qdimacs", "-"], broken)
            last = out.decode("latin-1").rstrip("\n").split("\n")[-1]
            check("%s %s certificate on standard input" % (how, fmt),
                  status == 30 and "Could not decompress file '-'" in last, last)

    # A run too short to measure prints a percentage of 0.00, never nan.
    model = os.path.join(ROOT, "tests", "corpus", "adder-n3.skolem.bdd")
    status, out, _ = run(["--d", model + ".qdimacs", model + ".cert"])
    percentage = [ln for ln in out.decode().split("\n") if ln.startswith("SAT PERCENTAGE: ")]
    check("--d prints a number as SAT PERCENTAGE", status == 10 and len(percentage) == 1 and
          "nan" not in percentage[0], repr(percentage))

    example = os.path.join(ROOT, "examples", "refutation")
    status, out, _ = run(["-", "-"], b"")
    check("standard input twice", status == 30 and
          out == b"Error: Standard input can be read only once.\n", repr(out))
    status, out, _ = run([example + ".qdimacs", "-"], b"")
    check("empty standard input", status == 30 and
          out == b"Error at line 1, column 1: Missing header in file: '-'.\n", repr(out))

    # The progress line: 30,000 steps, the second half sent 2.5 s after the
    # first, standard error a pseudo-terminal.
    qbf = os.path.join(work, "progress.qdimacs")
    with open(qbf, "w") as f:
        f.write("p cnf 1 2\ne 1 0\n1 0\n-1 0\n")
    steps = ["%d 0 1 2 0" % k for k in range(3, 30003)]
    first = ("QBCertificate\n" + "\n".join(steps[:15000]) + "\n").encode()
    second = ("\n".join(steps[15000:]) + "\nCONCLUDE INVALID 3\n").encode()
    reference = run([qbf, "-"], first + second)
    master, slave = pty.openpty()
    process = subprocess.Popen([ZEL, qbf, "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=slave)
    os.close(slave)
    process.stdin.write(first)
    process.stdin.flush()
    time.sleep(2.5)
    process.stdin.write(second)
    process.stdin.close()
    out = process.stdout.read()
    process.wait()
    terminal = b""
    while True:
        ready, _, _ = select.select([master], [], [], 0.5)
        if not ready:
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        terminal += chunk
    os.close(master)
    check("progress leaves standard output alone",
          (process.returncode, out) == reference[:2], repr(out[-200:]))
    check("progress line drawn on the terminal", b"zel: " in terminal and b"MB/s" in terminal,
          repr(terminal[:200]))
    check("progress line erased at the end", terminal.rstrip(b" ").endswith(b"\r"),
          repr(terminal[-100:]))
    status, out, err = run([qbf, "-"], first + second)
    check("no progress line when standard error is no terminal", err == b"", repr(err[:200]))

    # A clause MiniSat keeps busy: its line is out while its test runs.
    qbf, cert = os.path.join(work, "miter.qdimacs"), os.path.join(work, "miter.cert")
    for name, text in zip((qbf, cert), multiplier_miter(16, 15)):
        with open(name, "w") as f:
            f.write(text)
    process = subprocess.Popen([ZEL, "--d", qbf, cert], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    out = read_until(process.stdout.fileno(), b"Testing clause 3/4", 60)
    time.sleep(1)
    running = process.poll() is None
    process.kill()
    process.wait()
    check("--d shows the clause being tested while its test runs", running and out.endswith(
        b"\rTesting clause 1/4\rTesting clause 2/4\rTesting clause 3/4"), repr(out[-100:]))
    master, slave = pty.openpty()
    process = subprocess.Popen([ZEL, qbf, cert], stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    wanted = b"zel: model test, 2 of 4 clauses done, testing clause 3"
    terminal = read_until(master, wanted, 60)
    running = process.poll() is None
    process.kill()
    process.wait()
    os.close(master)
    check("progress line of the model test drawn while a clause is tested",
          running and wanted in terminal and terminal.startswith(b"\rzel: model test"),
          repr(terminal[:200]))

    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
