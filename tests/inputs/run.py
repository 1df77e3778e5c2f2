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

    # --stats after an error counts what was done before it: 100,000 sound
    # steps, then one whose resolvent does not match.
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

    return TALLY.summary()


if __name__ == "__main__":
    sys.exit(main())
