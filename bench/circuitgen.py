"""Seeded generator of a large model certificate (input "big-model").

2QBF solvers certify a true formula  forall U exists E . phi  with Skolem
functions: one And-Inverter graph over U, shared by all existentials, often
millions of gates, written as `E x A a b 0` lines. This generator builds such
a certificate and a formula together, so that the model is correct by
construction.

The formula is forall u_1..u_36 exists e_1..e_m. The certificate defines
`gates` AND gates of two operands. Each operand is, with random sign, a
universal (1.5 %), one of the previous eight gates (20 %: long chains, so the
graph is deep), a recent gate (up to 5,000 back), or any earlier gate (so the
graph is shared and the cones of influence are large). Each gate is
simulated on 64 random assignments of the universals, and each operand is
taken in the sign that is true on at least half of them, which keeps the
gates' functions from collapsing to constants however deep the graph grows.

The existentials are modelled by gates and the matrix states relations that
hold between those gates by the way they are built:
* "tap" existentials are modelled by gates of the second half of the graph
  that are neither constant nor near-constant on the 64 assignments
  (no clause of their own);
* for some gates g = AND(a, b) of the graph whose operands are gates, three
  existentials model a, b and g, with the clauses of g = a AND b;
* on top of the taps, new gates (appended after the graph) combine
  existentials into AND, XOR (three gates), multiplexer (three gates,
  selected by a universal), AND with a universal, and majority (four gates,
  the carry of a full adder); the existential modelled by the top gate gets
  the clauses of that relation.
The clauses are those of the relation over the existentials (and the
universal), so each clause holds for every assignment of the universals.
Model literals may be negated gates (the existential then takes the
complement, and the clauses say so).
"""

import array
import random

UNIVERSALS = 36
MASK = (1 << 64) - 1


def write_big_model(seed, qdimacs_path, cert_path, gates, taps=60, structural=40, tops=100):
    rng = random.Random(seed)
    random_ = rng.random
    u = UNIVERSALS
    m = taps + 3 * structural + tops
    first_gate = u + m + 1
    # value[v]: the variable's values on the 64 assignments (index 0 unused,
    # existential slots unused).
    value = array.array("Q", [0]) * first_gate
    for v in range(1, u + 1):
        value[v] = rng.getrandbits(64)
    operands = array.array("q")         # the two operand literals of each gate
    lines = ["QBCertificate\nc synthetic Skolem functions of a 2QBF model, seed %d\n" % seed]
    buffered = 0
    out = open(cert_path, "w")

    def flush():
        out.write("".join(lines))
        lines.clear()

    def operand(index):
        """An operand literal for the gate of this index (0-based) and its values."""
        while True:
            r = random_()
            if index == 0 or r < 0.015:
                v = 1 + int(random_() * u)
            elif r < 0.2:
                v = first_gate + index - 1 - int(random_() * min(8, index))
            elif r < 0.75:
                v = first_gate + index - 1 - int(random_() ** 2 * min(5000, index))
            else:
                v = first_gate + int(random_() * index)
            bits = value[v]
            # The sign true on at least half of the assignments, sometimes
            # the other one.
            if (bits.bit_count() < 32) != (random_() < 0.1):
                return -v, bits ^ MASK
            return v, bits

    for index in range(gates):
        a, va = operand(index)
        b, vb = operand(index)
        while abs(b) == abs(a):
            b, vb = operand(index)
        value.append(va & vb)
        operands.append(a)
        operands.append(b)
        lines.append("E %d A %d %d 0\n" % (first_gate + index, a, b))
        buffered += 1
        if buffered >= 100000:
            flush()
            buffered = 0

    next_gate = first_gate + gates

    def bits_of(literal):
        return value[literal] if literal > 0 else value[-literal] ^ MASK

    def balanced(literal):
        return 8 <= bits_of(literal).bit_count() <= 56

    def new_gate(a, b):
        nonlocal next_gate
        g = next_gate
        next_gate += 1
        value.append(bits_of(a) & bits_of(b))
        lines.append("E %d A %d %d 0\n" % (g, a, b))
        return g

    model = {}        # existential -> literal
    clauses = []
    existential = iter(range(u + 1, u + m + 1))
    half = gates // 2

    def model_literal(literal):
        """A fresh existential modelled by `literal` (sometimes through its
        complement): returns the existential as a literal equal to it."""
        e = next(existential)
        if random_() < 0.3:
            model[e] = -literal
            return -e
        model[e] = literal
        return e

    # Taps.
    tapped = []
    while len(tapped) < taps:
        g = first_gate + half + int(random_() * (gates - half))
        literal = g if random_() < 0.5 else -g
        if balanced(literal):
            tapped.append(model_literal(literal))
    # Relations inside the graph.
    made = 0
    while made < structural:
        index = half + int(random_() * (gates - half))
        a, b = operands[2 * index], operands[2 * index + 1]
        if abs(a) < first_gate or abs(b) < first_gate or not balanced(first_gate + index):
            continue
        ea, eb, eg = model_literal(a), model_literal(b), model_literal(first_gate + index)
        clauses += [(-eg, ea), (-eg, eb), (eg, -ea, -eb)]
        tapped += [ea, eb, eg]
        made += 1
    # Relations on top of the graph.
    pool = list(tapped)

    def graph(e):
        literal = model[abs(e)]
        return literal if e > 0 else -literal

    for _ in range(tops):
        kind = random_()
        x, y = rng.sample(pool, 2)
        x = x if random_() < 0.5 else -x
        y = y if random_() < 0.5 else -y
        gx, gy = graph(x), graph(y)
        if kind < 0.3:                                  # e = x AND y
            e = model_literal(new_gate(gx, gy))
            clauses += [(-e, x), (-e, y), (e, -x, -y)]
        elif kind < 0.5:                                # e = x XOR y
            p = new_gate(gx, -gy)
            q = new_gate(-gx, gy)
            e = model_literal(-new_gate(-p, -q))
            clauses += [(-e, x, y), (-e, -x, -y), (e, -x, y), (e, x, -y)]
        elif kind < 0.7:                                # e = s ? x : y
            s = 1 + int(random_() * u)
            p = new_gate(s, gx)
            q = new_gate(-s, gy)
            e = model_literal(-new_gate(-p, -q))
            clauses += [(-e, -s, x), (-e, s, y), (e, -s, -x), (e, s, -y)]
        elif kind < 0.8:                                # e = s AND x
            s = (1 + int(random_() * u)) * (1 if random_() < 0.5 else -1)
            e = model_literal(new_gate(s, gx))
            clauses += [(-e, s), (-e, x), (e, -s, -x)]
        else:                                           # e = majority(x, y, z)
            z = rng.choice(pool)
            while abs(z) in (abs(x), abs(y)):
                z = rng.choice(pool)
            gz = graph(z)
            p = new_gate(gx, gy)
            q = new_gate(gx, gz)
            r = new_gate(gy, gz)
            t = new_gate(-p, -q)
            e = model_literal(-new_gate(t, -r))
            clauses += [(-e, x, y), (-e, x, z), (-e, y, z), (e, -x, -y), (e, -x, -z), (e, -y, -z)]
        pool.append(e if e > 0 else -e)
    flush()
    out.write("CONCLUDE VALID\n")
    pairs = sorted(model.items())
    for k in range(0, len(pairs), 8):
        out.write(" ".join("%d %d" % pair for pair in pairs[k:k + 8]) + "\n")
    out.close()
    rng.shuffle(clauses)
    with open(qdimacs_path, "w") as formula:
        formula.write("c benchmark formula: relations between Skolem functions of a large graph\n")
        formula.write("p cnf %d %d\n" % (u + m, len(clauses)))
        formula.write("a %s 0\n" % " ".join(map(str, range(1, u + 1))))
        formula.write("e %s 0\n" % " ".join(map(str, range(u + 1, u + m + 1))))
        formula.write("".join(" ".join(map(str, clause)) + " 0\n" for clause in clauses))
    return {"extension_lines": next_gate - first_gate, "input_clauses": len(clauses),
            "model_pairs": len(model), "universals": u}
