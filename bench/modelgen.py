"""Seeded generators of model certificates for the benchmark.

Extension model (input 4). The formula is  forall u_1..u_m  exists e_1..e_r.
The certificate defines `gates` extension variables by AND and if-then-else
lines. Every gate belongs to the family of one universal u_f: its operands
are u_f, -u_f or earlier gates of the same family, with random signs, so it
computes one of the four functions of u_f (false, u_f, -u_f, true). The
generator tracks that function as a two-bit truth table. Once u_f has a value,
unit propagation over the defining clauses fixes every gate of the family,
which keeps each clause test of the model cheap and linear.

A few gates are written some lines after their first user, so that the user,
and the users of a held-back user, wait until the conclusion. Each e_j is
modelled by a non-constant gate g (e_j = g); the matrix says e_j equals the
universal literal that g computes, and that e_j equals e_k when both compute
the same literal (each such clause also names u_f, so that the clause test
assigns u_f and unit propagation alone finds the conflict: the benchmark
measures the checker, not a SAT search).

Copy model (input 5).  forall u_1..u_n exists e_1..e_n  with the clauses
(e_i | -u_i) and (-e_i | u_i); the model is e_i = u_i.
"""

import random

TRUE_TABLE = 3              # bit 1: value for u_f true, bit 0: for u_f false


def _and(tables):
    value = TRUE_TABLE
    for table in tables:
        value &= table
    return value


def _ite(c, t, e):
    return (c & t) | (~c & e & TRUE_TABLE)


def write_extension_model(seed, qdimacs_path, cert_path, gates, families=5000,
                          existentials=10000, late_share=0.03):
    rng = random.Random(seed)
    m, r = families, existentials
    first_gate = m + r + 1
    # Per family: the gates made so far as (variable, table); operands are
    # drawn from the most recent ones.
    members = [[] for _ in range(m + 1)]
    table = {}                # gate variable -> truth table
    defined = set()           # gate variables applied when their line is read
    waiting = set()           # gate variables held back until the conclusion
    pending = []              # (emit after this many lines, line, gate, operands)
    lines = []
    held = 0

    def literal_of(family, avoid_held):
        """An operand literal with its truth table."""
        pool = members[family]
        for _ in range(4):
            if pool and rng.random() < 0.85:
                variable = pool[-1 - min(len(pool) - 1, int(rng.expovariate(0.15)))]
                # Users of a held-back gate are held back too; keep that
                # cascade short.
                if avoid_held and variable in waiting and rng.random() < 0.9:
                    continue
                value = table[variable]
            else:
                variable, value = family, 2
            if rng.random() < 0.5:
                return -variable, TRUE_TABLE ^ value
            return variable, value
        return family, 2

    def emit(line, gate, operands):
        nonlocal held
        if all(abs(o) <= m or abs(o) in defined for o in operands):
            defined.add(gate)
        else:
            waiting.add(gate)
            held += 1
        lines.append(line)

    for index in range(gates):
        gate = first_gate + index
        family = rng.randint(1, m)
        if rng.random() < 0.5:
            operands = []
            tables = []
            for _ in range(rng.randint(2, 4)):
                o, t = literal_of(family, True)
                if abs(o) in (abs(p) for p in operands):
                    continue
                operands.append(o)
                tables.append(t)
            line = "E %d A %s 0\n" % (gate, " ".join(map(str, operands)))
            table[gate] = _and(tables)
        else:
            picks = [literal_of(family, True) for _ in range(3)]
            operands = [p[0] for p in picks]
            line = "E %d I %d %d %d\n" % (gate, operands[0], operands[1], operands[2])
            table[gate] = _ite(picks[0][1], picks[1][1], picks[2][1])
        members[family].append(gate)
        if rng.random() < late_share:
            pending.append([rng.randint(1, 4 * families), line, gate, operands])
        else:
            emit(line, gate, operands)
        for entry in pending:
            entry[0] -= 1
        while pending and min(entry[0] for entry in pending) <= 0:
            entry = min(pending, key=lambda item: item[0])
            pending.remove(entry)
            emit(entry[1], entry[2], entry[3])
    for entry in sorted(pending, key=lambda item: item[0]):
        emit(entry[1], entry[2], entry[3])

    # The model and the matrix.
    model = []
    clauses = []
    by_literal = {}
    for j in range(1, r + 1):
        e = m + j
        while True:
            family = rng.randint(1, m)
            candidates = [g for g in members[family][-40:] if table[g] in (1, 2)]
            if candidates:
                break
        g = rng.choice(candidates)
        literal = family if table[g] == 2 else -family
        model.append((e, g))
        clauses.append((e, -literal))
        clauses.append((-e, literal))
        by_literal.setdefault(literal, []).append(e)
    for literal, es in by_literal.items():
        for a, b in zip(es, es[1:]):
            clauses.append((a, -b, rng.choice((literal, -literal))))
            clauses.append((-a, b, rng.choice((literal, -literal))))
    rng.shuffle(clauses)

    with open(qdimacs_path, "w") as out:
        out.write("c benchmark formula: model with extension variables\n")
        out.write("p cnf %d %d\n" % (m + r, len(clauses)))
        out.write("a %s 0\n" % " ".join(map(str, range(1, m + 1))))
        out.write("e %s 0\n" % " ".join(map(str, range(m + 1, m + r + 1))))
        for clause in clauses:
            out.write(" ".join(map(str, clause)) + " 0\n")
    with open(cert_path, "w") as out:
        out.write("QBCertificate\nc synthetic model with extension variables, seed %d\n" % seed)
        out.writelines(lines)
        out.write("CONCLUDE VALID\n")
        for k in range(0, len(model), 8):
            out.write(" ".join("%d %d" % pair for pair in model[k:k + 8]) + "\n")
    return {"extension_lines": len(lines), "held_back_extensions": held,
            "input_clauses": len(clauses), "model_pairs": len(model)}


def write_copy_model(seed, qdimacs_path, cert_path, clauses):
    """Input 5: `clauses` input clauses, two per universal."""
    rng = random.Random(seed)
    n = clauses // 2
    pairs = list(range(1, n + 1))
    rng.shuffle(pairs)          # clause order: the pairs in random order
    with open(qdimacs_path, "w") as out:
        out.write("c benchmark formula: each existential copies a universal\n")
        out.write("p cnf %d %d\n" % (2 * n, 2 * n))
        out.write("a %s 0\n" % " ".join(map(str, range(1, n + 1))))
        out.write("e %s 0\n" % " ".join(map(str, range(n + 1, 2 * n + 1))))
        for i in pairs:
            out.write("%d -%d 0\n-%d %d 0\n" % (n + i, i, n + i, i))
    with open(cert_path, "w") as out:
        out.write("QBCertificate\nc model: every existential copies its universal, seed %d\n" % seed)
        out.write("CONCLUDE VALID\n")
        for k in range(1, n + 1, 8):
            out.write(" ".join("%d %d" % (n + i, i) for i in range(k, min(n, k + 7) + 1)) + "\n")
    return {"input_clauses": 2 * n, "model_pairs": n}
