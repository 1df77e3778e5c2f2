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
"Could not decompress file", also when the damage lies after the claim or
after a formula's "%" trailer (plain files are not read past the claim);
zstd files with skippable frames (pzstd's) are read; "-" given twice and an
empty standard input are refused.

Usage: tests/inputs/run.py path/to/zel
"""
import os
import pty
import re
import select
import struct
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


def compress_bytes(data, tool):
    return subprocess.run(tool, input=data, stdout=subprocess.PIPE, check=True).stdout


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


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


def flip(data, at):
    """`data` with the bits of the byte at `at` (negative: from the end) flipped."""
    at %= len(data)
    return data[:at] + bytes([data[at] ^ 0x01]) + data[at + 1:]


GARBAGE = b"garbage after the member\n"
# A fault at the end of a compressed file, after every byte the run needs:
# (format, what, damage, the library's detail).
END_FAULTS = [
    ("gzip", "without its trailer", lambda d: d[:-8], "unexpected end of data"),
    ("gzip", "with a wrong CRC-32", lambda d: flip(d, -8), "incorrect data check"),
    ("gzip", "with garbage after the member", lambda d: d + GARBAGE, "incorrect header check"),
    ("bzip2", "cut near the end", lambda d: d[:-4], "unexpected end of data"),
    ("bzip2", "with a wrong stream CRC", lambda d: flip(d, -3), "data integrity error"),
    ("bzip2", "with garbage after the stream", lambda d: d + GARBAGE, "not bzip2 data"),
    ("xz", "cut near the end", lambda d: d[:-4], "unexpected end of data"),
    ("xz", "with garbage after the stream", lambda d: d + GARBAGE, "compressed data is corrupt"),
    ("zstd", "cut near the end", lambda d: d[:-4], "unexpected end of data"),
    ("zstd", "with a wrong content checksum", lambda d: flip(d, -1),
     "Restored data doesn't match checksum"),
    ("zstd", "with garbage after the frame", lambda d: d + GARBAGE, "Unknown frame descriptor"),
]


def damaged_ends(work):
    """The claim and the formula are read before the damaged end of a
    compressed file: the run must still end with the decompress error
    (exit status 30), never with a verdict. Through a file and standard
    input; an INVALID certificate and a formula whose "%" trailer ends it,
    each followed by 2 MB of text the reader never needs (more than one
    read of the tokenizer, so the fault lies beyond what was read for the
    verdict), and a VALID certificate, whose model is read to the end."""
    refutation = os.path.join(ROOT, "examples", "refutation")
    model = os.path.join(ROOT, "tests", "corpus", "adder-n3.skolem.bdd")
    tail = b"".join(b"c line %d after the claim\n" % i for i in range(80000))
    formula = os.path.join(work, "trailer.qdimacs")
    formula_text = read_bytes(refutation + ".qdimacs") + b"%\n0\n" + b" \n" * (1 << 20)
    certificate = os.path.join(work, "tail.cert")
    certificate_text = read_bytes(refutation + ".cert") + tail
    for path, text in ((formula, formula_text), (certificate, certificate_text)):
        with open(path, "wb") as f:
            f.write(text)
    reference = run([formula, certificate])
    check("formula with a % trailer and certificate with text after the claim validate",
          reference[:2] == (10, b"Certificate validated correctly.\n"), repr(reference[:2]))
    inputs = [  # (label, formula, certificate, damaged argument, its text, expected position)
        # After "CONCLUDE INVALID 3" on line 4.
        ("INVALID certificate", refutation + ".qdimacs", certificate, 1, certificate_text,
         b"line 4, column 19"),
        # Where the library finds the fault: with the last content or after it.
        ("VALID certificate", model + ".qdimacs", model + ".cert", 1, read_bytes(model + ".cert"),
         None),
        # The formula is read after the certificate's header.
        ("formula with a % trailer", formula, certificate, 0, formula_text, b"line 1, column 14"),
    ]
    for label, qbf, cert, index, text, position in inputs:
        for fmt, what, damage, detail in END_FAULTS:
            packed = damage(compress_bytes(text, FORMATS[fmt]))
            path = os.path.join(work, "damaged." + fmt)
            with open(path, "wb") as f:
                f.write(packed)
            for name, stdin in ((path, None), ("-", packed)):
                args = [qbf, cert]
                args[index] = name
                message = b": Could not decompress file '%s': %s.\n" % (name.encode(), detail.encode())
                status, out, _ = run(args, stdin)
                if position is None:
                    fits = re.fullmatch(rb"Error at line \d+, column \d+" + re.escape(message), out)
                else:
                    fits = out == b"Error at " + position + message
                check("%s, %s %s, %s" % (label, fmt, what, "file" if stdin is None else "stdin"),
                      status == 30 and fits, repr((status, out)))

    # Without compression nothing after the claim is read: junk there, even
    # bytes that look like a compressed member, leaves the verdict alone. A
    # compressed certificate whose text goes on after the claim is read to
    # its end and validates the same.
    junk = b"\x1f\x8b junk \x00\xff\nmore junk"
    cert_text = read_bytes(refutation + ".cert") + junk
    plain = os.path.join(work, "junk.cert")
    with open(plain, "wb") as f:
        f.write(cert_text)
    for fmt in ("plain",) + tuple(FORMATS):
        path = plain if fmt == "plain" else compress(plain, FORMATS[fmt],
                                                      os.path.join(work, "junk." + fmt))
        for name, stdin in ((path, None), ("-", read_bytes(path))):
            got = run([refutation + ".qdimacs", name], stdin)
            check("%s certificate with junk after the claim validates, %s" %
                  (fmt, "file" if stdin is None else "stdin"),
                  got[:2] == (10, b"Certificate validated correctly.\n"), repr(got[:2]))


def skippable_frame(low_nibble, payload):
    """A zstd skippable frame: magic 0x184D2A50 + low_nibble, size, payload."""
    return struct.pack("<II", 0x184D2A50 + low_nibble, len(payload)) + payload


def zstd_skippable_frames(work):
    """pzstd starts every file with a skippable frame; such frames are skipped
    wherever they stand. Each variant gives the plain run's verdict."""
    pairs = [os.path.join(ROOT, "examples", "refutation"),
             os.path.join(ROOT, "tests", "corpus", "adder-n3.skolem.bdd")]
    for stem in pairs:
        qbf, cert = stem + ".qdimacs", stem + ".cert"
        reference = run([qbf, cert])
        for index, path in ((0, qbf), (1, cert)):
            text = read_bytes(path)
            half = len(text) // 2
            first = compress_bytes(text[:half], FORMATS["zstd"])
            second = compress_bytes(text[half:], FORMATS["zstd"])
            variants = {
                "pzstd": compress_bytes(text, ["pzstd", "-q", "-c"]),
                "skippable frames first, in the middle and last":
                    skippable_frame(0xF, b"") + first + skippable_frame(0x0, b"\x28\xb5\x2f\xfd") +
                    second + skippable_frame(0x7, b"end"),
            }
            for how, packed in variants.items():
                check("%s begins with a skippable frame" % how, packed[:4] in
                      [struct.pack("<I", 0x184D2A50 + n) for n in range(16)], repr(packed[:8]))
                zpath = os.path.join(work, "skippable.zst")
                with open(zpath, "wb") as f:
                    f.write(packed)
                for name, stdin in ((zpath, None), ("-", packed)):
                    args = [qbf, cert]
                    args[index] = name
                    got = run(args, stdin)
                    check("%s %s, %s" % (os.path.basename(path), how,
                                         "file" if stdin is None else "stdin"),
                          got[:2] == reference[:2] and reference[0] == 10, repr(got[:2]))


def stats_after_errors(work):
    """--stats after an error counts what was done before it."""
    # 100,000 sound steps, then one whose resolvent does not match.
    qbf = os.path.join(work, "stats.qdimacs")
    with open(qbf, "w") as f:
        f.write("p cnf 2 4\ne 1 2 0\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0\n")
    steps = ["%d 2 0 1 2 0" % k for k in range(5, 100005)]
    cert = os.path.join(work, "stats.cert")
    with open(cert, "w") as f:
        f.write("QBCertificate\n" + "\n".join(steps) + "\n100005 -2 0 3 4 0\n100006 1 0 5 100005 0\nCONCLUDE INVALID 5\n")
    status, out, err = run(["--stats", qbf, cert])
    stats = dict((line[2:27].strip(), line[27:]) for line in err.decode().split("\n")
                 if line.startswith("c ") and len(line) > 27)
    check("--stats after an error: the verdict is the error", status == 30 and out ==
          b"Error at line 100003, column 22: Calculated and supplied resolvent sizes do not match.\n",
          repr(out))
    check("--stats after an error: the steps done", stats.get("chain steps") == "100002", repr(stats))
    check("--stats after an error: the bytes read",
          stats.get("certificate", "").endswith(": %d bytes" % os.path.getsize(cert)), repr(stats))
    check("--stats after an error: the time of the proof so far",
          stats.get("proof time", "0.000 s") != "0.000 s", repr(stats))
    with open(cert, "w") as f:
        f.write("QBCertificate\nE 3 A 2 0\nCONCLUDE VALID 1 3 2 1\n")
    status, out, err = run(["--stats", qbf, cert])
    stats = dict((line[2:27].strip(), line[27:]) for line in err.decode().split("\n")
                 if line.startswith("c ") and len(line) > 27)
    check("--stats after a refused model: its entries", status == 30 and
          stats.get("model entries") == "2" and stats.get("AND extensions") == "1",
          repr((out, stats)))


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

    damaged_ends(work)
    zstd_skippable_frames(work)
    stats_after_errors(work)

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
