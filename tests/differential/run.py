#!/usr/bin/env python3
"""Differential runner: runs two zel binaries on generated cases and compares
their standard output and exit status.

    run.py --ref BIN --new BIN --count N --seed S [--jobs 2] [--keep DIR]
           [--timeout SEC] [--messages]

Case i uses seed S + i (gen.py --seed S+i writes the same case). Timing lines
of --d ("SAT TIME:", "TOT TIME:", "SAT PERCENTAGE:") and the line
"Assignment to universals:" are compared by their label only, and the usage
lines of --stats, --forward, --single-thread, --skolem, --herbrand and --core (options newer than the reference binary of the
default test run, with the second lines of their descriptions) are left out; the reference's
messages for a file that cannot be opened are read in today's wording (no position, one
wording for both files); everything else byte for byte. Each mismatching case is saved with both outputs under
--keep DIR/seed-S/. The last line is "differential: P passed, F failed"; the
exit status is 0 only when F is 0.
"""
import argparse
import collections
import multiprocessing
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen  # noqa: E402

MASKED = (b"SAT TIME:", b"TOT TIME:", b"SAT PERCENTAGE:", b"Assignment to universals:")
# Usage lines of options added after the reference binary of the default
# test run: left out of both outputs.
# The usage lines of options newer than the reference, and the second lines
# of their descriptions (indented to the description column).
ADDED_OPTIONS = (b"   --stats ", b"   --forward ", b"   --single-thread ", b"   --skolem ", b"   --herbrand ", b"   --core ",
                 b" " * 26)


# Messages reworded after the reference, each rewritten to today's wording:
# a file that cannot be opened is reported without a position, in one wording
# for the QBF file and the certificate.
REWORDED = (
    (re.compile(rb"^Error at line \d+, column \d+: Couldn't open file (.*)$"),
     rb"Error: Cannot open file: '\1'."),
    (re.compile(rb"^Error at line \d+, column \d+: (Cannot open file: '.*'\.)$"), rb"Error: \1"),
)


def mask(out):
    lines = [ln for ln in out.split(b"\n") if not ln.startswith(ADDED_OPTIONS)]
    for i, ln in enumerate(lines):
        for pattern, wording in REWORDED:
            lines[i] = pattern.sub(wording, lines[i])
        ln = lines[i]
        for label in MASKED:
            if ln.startswith(label):
                lines[i] = label + b" <masked>"
    return b"\n".join(lines)


def run_one(binary, args, cwd, timeout):
    try:
        p = subprocess.run([binary] + args, cwd=cwd, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                           timeout=timeout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        return "timeout", e.stdout or b""


def last_message(out):
    """The verdict or error line, first 40 characters, for the statistics."""
    lines = [ln for ln in out.replace(b"\r", b"\n").split(b"\n") if ln.strip()]
    if not lines:
        return "(no output)"
    errors = [ln for ln in lines if ln.startswith(b"Error")]
    text = (errors or lines)[-1].decode("utf-8", "replace")
    if text.startswith("Error at line"):
        text = "Error: " + text.split(": ", 1)[-1]
    return text[:40]


def check(job):
    seed, ref, new, timeout, keep = job
    case = gen.generate(seed)
    with tempfile.TemporaryDirectory(prefix="zel-diff-") as d:
        gen.write_case(case, d)
        t0 = time.time()
        rs, ro = run_one(ref, case["args"], d, timeout)
        t1 = time.time()
        ns, no = run_one(new, case["args"], d, timeout)
        same = rs == ns and mask(ro) == mask(no)
        if not same and keep:
            dest = os.path.join(keep, "seed-%d" % seed)
            shutil.rmtree(dest, ignore_errors=True)
            shutil.copytree(d, dest)
            for tag, status, out in (("ref", rs, ro), ("new", ns, no)):
                with open(os.path.join(dest, tag + ".out"), "wb") as f:
                    f.write(out)
                with open(os.path.join(dest, tag + ".status"), "w") as f:
                    f.write("%s\n" % status)
            with open(os.path.join(dest, "reproduce"), "w") as f:
                f.write("cd %s && BIN %s\n" % (dest, " ".join(repr(a) for a in case["args"])))
    return {"seed": seed, "same": same, "meta": case["meta"], "ref_status": rs,
            "new_status": ns, "message": last_message(ro), "ref_time": t1 - t0}


def main():
    ap = argparse.ArgumentParser(description="differential test of two zel binaries")
    ap.add_argument("--ref", required=True)
    ap.add_argument("--new", required=True)
    ap.add_argument("--count", type=int, required=True)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--keep")
    ap.add_argument("--timeout", type=float, default=30.0)
    ap.add_argument("--messages", action="store_true",
                    help="also print the distribution of verdict and error lines")
    a = ap.parse_args()
    ref, new = os.path.abspath(a.ref), os.path.abspath(a.new)
    keep = os.path.abspath(a.keep) if a.keep else None
    if keep:
        os.makedirs(keep, exist_ok=True)
    jobs = [(a.seed + i, ref, new, a.timeout, keep) for i in range(a.count)]
    start = time.time()
    per_kind = collections.defaultdict(lambda: [0, 0, collections.Counter()])
    statuses = collections.Counter()
    messages = collections.Counter()
    suspicious = []
    failed_seeds = []
    passed = failed = 0
    with multiprocessing.Pool(max(1, a.jobs)) as pool:
        for r in pool.imap_unordered(check, jobs, chunksize=8):
            k = r["meta"]["kind"]
            entry = per_kind[k]
            entry[2][r["ref_status"]] += 1
            statuses[r["ref_status"]] += 1
            messages[r["message"]] += 1
            if r["same"]:
                passed += 1
                entry[0] += 1
            else:
                failed += 1
                entry[1] += 1
                failed_seeds.append(r["seed"])
            m = r["meta"]
            # a verdict the formula's truth value contradicts, or a run that hung
            if r["ref_status"] == "timeout" or r["ref_status"] not in (0, 10, 20, 30) or (
                    r["ref_status"] == 10 and m["truth"] != "unknown"
                    and (m["truth"] == "true") != (m["claim"] == "valid")):
                suspicious.append((r["seed"], k, r["ref_status"], r["message"]))
    elapsed = time.time() - start
    print("kind               pass  fail  ref exit statuses")
    for k in sorted(per_kind):
        p, f, st = per_kind[k]
        print("%-18s %5d %5d  %s" % (k, p, f, " ".join(
            "%s:%d" % (s, n) for s, n in sorted(st.items(), key=lambda x: str(x[0])))))
    print("exit statuses (ref): " + " ".join(
        "%s:%d" % (s, n) for s, n in sorted(statuses.items(), key=lambda x: str(x[0]))))
    if a.messages:
        print("messages (ref, first 40 characters):")
        for msg, n in messages.most_common():
            print("  %6d  %s" % (n, msg))
    for seed, k, st, msg in sorted(suspicious)[:20]:
        print("suspicious: seed %d (%s): ref exit %s, %s" % (seed, k, st, msg))
    if suspicious:
        print("suspicious reference results: %d" % len(suspicious))
    if failed_seeds:
        print("failing seeds: " + " ".join(map(str, sorted(failed_seeds)[:50])))
    print("time: %.1f s for %d cases" % (elapsed, a.count))
    print("differential: %d passed, %d failed" % (passed, failed))
    sys.exit(0 if failed == 0 else 1)


if __name__ == "__main__":
    main()
