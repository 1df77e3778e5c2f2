#!/usr/bin/env python3
"""Seeded generator of zel test cases: a small QBF, a certificate and the
command line, for the differential runner (run.py).

    gen.py --seed S --out DIR

writes DIR/formula.qdimacs (left out when the case runs without a formula),
DIR/cert, DIR/args (the argument list, one argument per line, run inside DIR)
and DIR/meta (kind of case and, where the formula was left as generated, its
truth value and the certificate's claim).

Valid certificates are built by real derivations: refutations come from a
Q-resolution tree grown backwards from the empty clause (existential pivots,
universal reduction after each step), models from Skolem functions read off a
brute-force evaluation of a small true formula and written as AND and
if-then-else extensions. A share of the cases is then broken on purpose, both
in meaning (wrong resolvents, tautologies, cycles, bad dependencies) and in
form (dropped or changed tokens, number boundaries, truncated files).
Python 3 standard library only.
"""
import argparse
import os
import random

# Kinds of case and their weights in the mix.
KINDS = [
    ("refute-chain", 14),
    ("refute-merge", 8),
    ("refute-R", 6),
    ("refute-wrong", 12),
    ("delayed", 8),
    ("extension", 6),
    ("model", 12),
    ("model-wrong", 12),
    ("syntax", 12),
    ("qdimacs-error", 6),
    ("options", 4),
]

BOUNDARY_NUMBERS = [
    "0", "-0", "+0", "1", "-1", "+3", "007", "2147483647", "-2147483647",
    "2147483648", "-2147483648", "-2147483649", "4294967294", "4294967295",
    "4294967296", "-4294967295", "33554431", "33554432", "-33554432",
    "99999999999999999999", "1e3", "0x10", " ", "",
]
BAD_TOKENS = ["x", "*", "*5", "**", "1\t2", "\t5", "c", "C", "cfoo", "R", "E",
              "A", "I", "CONCLUDE", "conclude", "INVALID", "VALID", "-", "+",
              "QBCertificate", "e", "a", "p", "\x00", "\xff", "é"]


# --- formulas -------------------------------------------------------------

class Formula:
    """A prenex CNF: blocks of (quantifier, variables) outermost first."""

    def __init__(self, blocks, clauses, nvars):
        self.blocks = blocks        # [(q, [var, ...])] with q 'e' or 'a'
        self.clauses = clauses      # list of literal lists, file order
        self.nvars = nvars          # count announced on the p line
        self.level = {}             # var -> quantifier level (even = existential)
        self.quant = {}             # var -> 'e' or 'a'
        level = -1
        prev = None
        for q, vs in blocks:
            if q != prev:
                level += 1
                if q == "e" and level % 2 == 1:
                    level += 1
                if q == "a" and level % 2 == 0:
                    level += 1
            prev = q
            for v in vs:
                if v not in self.quant:
                    self.level[v] = level
                    self.quant[v] = q
        for c in clauses:
            for lit in c:
                if abs(lit) not in self.quant:
                    self.level[abs(lit)] = 0
                    self.quant[abs(lit)] = "e"

    def exist(self):
        return [v for v in self.order() if self.quant[v] == "e"]

    def univ(self):
        return [v for v in self.order() if self.quant[v] == "a"]

    def order(self):
        """Variables outermost first (free variables lead, as the reader puts them)."""
        quantified = [v for _, vs in self.blocks for v in vs]
        seen = set(quantified)
        free = []
        for c in self.clauses:
            for lit in c:
                if abs(lit) not in seen:
                    seen.add(abs(lit))
                    free.append(abs(lit))
        out = []
        done = set()
        for v in list(reversed(free)) + quantified:
            if v not in done:
                done.add(v)
                out.append(v)
        return sorted(out, key=lambda v: self.level[v])

    def text(self):
        lines = ["p cnf %d %d" % (self.nvars, len(self.clauses))]
        for q, vs in self.blocks:
            lines.append("%s %s 0" % (q, " ".join(map(str, vs))))
        for c in self.clauses:
            lines.append(" ".join(map(str, c + [0])))
        return "\n".join(lines) + "\n"

    def reduce(self, clause):
        """Universal reduction: drop universals no existential literal lies inside of."""
        emax = max([self.level[abs(l)] for l in clause if self.quant[abs(l)] == "e"],
                   default=-1)
        return [l for l in clause if self.quant[abs(l)] == "e" or self.level[abs(l)] < emax]

    def tables(self):
        """Truth tables after eliminating the innermost variables, as bit masks.

        Returns (order, stages): stages[k] is the value of the formula with
        variables order[k:] quantified away, as a mask over all assignments
        (variable order[i] is bit i of the assignment index)."""
        order = self.order()
        n = len(order)
        idx = {v: i for i, v in enumerate(order)}
        size = 1 << n
        full = (1 << size) - 1
        var_mask = []
        for i in range(n):
            block = ((1 << (1 << i)) - 1) << (1 << i)   # bit i set, one period
            period = 1 << (i + 1)
            m = 0
            for start in range(0, size, period):
                m |= block << start
            var_mask.append(m)
        f = full
        for c in self.clauses:
            cm = 0
            for lit in c:
                m = var_mask[idx[abs(lit)]]
                cm |= m if lit > 0 else full & ~m
            f &= cm
        stages = [0] * (n + 1)
        stages[n] = f
        for i in range(n - 1, -1, -1):
            s = 1 << i
            lo = f & ~var_mask[i]
            hi = (f & var_mask[i]) >> s
            comb = (lo | hi) if self.quant[order[i]] == "e" else (lo & hi)
            comb &= full & ~var_mask[i]
            f = comb | (comb << s)
            stages[i] = f
        return order, stages

    def truth(self):
        if len(self.order()) > 14:
            return None
        _, stages = self.tables()
        return bool(stages[0] & 1)


def random_prefix(rnd, nvars, first=None):
    """Alternating blocks over variables 1..nvars, sometimes with a gap or a repeat."""
    vs = list(range(1, nvars + 1))
    nblocks = rnd.randint(1, min(4, nvars))
    cuts = sorted(rnd.sample(range(1, nvars), nblocks - 1)) if nblocks > 1 else []
    parts = [vs[a:b] for a, b in zip([0] + cuts, cuts + [nvars])]
    q = first or rnd.choice("eeea")
    blocks = []
    for p in parts:
        blocks.append((q, p))
        q = "a" if q == "e" else "e"
    if rnd.random() < 0.1 and len(blocks[-1][1]) > 1:   # one block on two lines
        q, p = blocks.pop()
        blocks += [(q, p[:1]), (q, p[1:])]
    return blocks


def random_clause(rnd, f_vars, width):
    vs = rnd.sample(f_vars, min(width, len(f_vars)))
    return [v if rnd.random() < 0.5 else -v for v in vs]


# --- refutations ----------------------------------------------------------

class Node:
    def __init__(self, clause, pivot=None, kids=None):
        self.clause = clause        # existential literals (the node's clause before universals)
        self.pivot = pivot          # pivot variable of an inner node
        self.kids = kids or []      # two children of an inner node
        self.full = None            # derived clause with universals, after reduction
        self.number = None          # certificate clause number
        self.pos = None             # formula position once derived


def grow_tree(rnd, exist, clause, depth, budget, banned=frozenset()):
    """Grows a resolution tree backwards: the node's clause splits into two
    clauses that clash on a fresh existential pivot. Pivots avoid the
    variables of the ancestors' clauses (a regular tree) unless banned is None."""
    taken = {abs(l) for l in clause} | (banned or set())
    free = [v for v in exist if v not in taken]
    if not free or budget[0] <= 0 or (depth > 0 and rnd.random() < 0.12 * depth):
        budget[0] -= 1
        return Node(list(clause))
    x = rnd.choice(free)
    left, right = [], []
    for lit in clause:
        r = rnd.random()
        if r < 0.4:
            left.append(lit)
        elif r < 0.8:
            right.append(lit)
        else:
            left.append(lit)
            right.append(lit)
    budget[0] -= 1
    below = None if banned is None else banned | taken | {x}
    a = grow_tree(rnd, exist, left + [x], depth + 1, budget, below)
    b = grow_tree(rnd, exist, right + [-x], depth + 1, budget, below)
    if rnd.random() < 0.5:
        a, b = b, a
    return Node(list(clause), x, [a, b])


def leaves(node):
    if not node.kids:
        return [node]
    return leaves(node.kids[0]) + leaves(node.kids[1])


def inner_postorder(node):
    if not node.kids:
        return []
    return inner_postorder(node.kids[0]) + inner_postorder(node.kids[1]) + [node]


def resolve(formula, a, b, pivot):
    """Q-resolvent of a and b on pivot, or None when it is tautological or the
    pivot does not clash."""
    if pivot not in a and -pivot not in a:
        return None
    pa = pivot if pivot in a else -pivot
    if -pa not in b:
        return None
    out = []
    for lit in a + b:
        if abs(lit) != pivot and lit not in out:
            out.append(lit)
    if any(-l in out for l in out):
        return None
    return formula.reduce(out)


def make_refutation(rnd, opts):
    """A false formula with a Q-resolution tree that refutes it."""
    nvars = rnd.randint(3, 12)
    blocks = random_prefix(rnd, nvars)
    tmp = Formula(blocks, [], nvars)
    exist = tmp.exist()
    univ = tmp.univ()
    if not exist:
        blocks.append(("e", [nvars + 1]))
        nvars += 1
        tmp = Formula(blocks, [], nvars)
        exist = tmp.exist()
    root_clause = []
    if opts.get("nonempty_root") and exist:
        v = rnd.choice(exist)
        root_clause = [v if rnd.random() < 0.5 else -v]
    budget = [rnd.randint(3, 24)]
    root = grow_tree(rnd, exist, root_clause, 0, budget,
                     frozenset() if rnd.random() < 0.8 else None)
    if not root.kids:
        x = rnd.choice(exist)
        root = Node(list(root_clause), x, [Node(root_clause + [x]), Node(root_clause + [-x])])
    polarity = {u: rnd.choice((1, -1)) for u in univ}
    taut = opts.get("universal_tautology")
    input_clauses = []
    for leaf in leaves(root):
        c = list(leaf.clause)
        for u in univ:
            if rnd.random() < 0.3:
                s = polarity[u]
                if taut and rnd.random() < 0.5:
                    s = -s
                c.append(s * u)
        rnd.shuffle(c)
        leaf.full = c
        input_clauses.append(c)
    # noise clauses
    allv = exist + univ
    for _ in range(rnd.randint(0, 6)):
        input_clauses.append(random_clause(rnd, allv, rnd.randint(1, 4)))
    # dedupe and shuffle the input clauses; leaves point to their file number
    uniq = []
    for c in input_clauses:
        if c not in uniq:
            uniq.append(c)
    rnd.shuffle(uniq)
    uniq = uniq[:30]
    announced = nvars if rnd.random() < 0.9 else rnd.randint(0, nvars + 3)
    formula = Formula(blocks, uniq, announced)
    for leaf in leaves(root):
        leaf.number = uniq.index(leaf.full) + 1 if leaf.full in uniq else None
        leaf.pos = leaf.number
    return formula, root


# --- certificates for refutations ------------------------------------------

def frontier(node, inline):
    """Antecedents of node's line: its children, with inlined inner children
    replaced by their own antecedents."""
    out = []
    for k in node.kids:
        if k.kids and id(k) in inline:
            out += frontier(k, inline)
        else:
            out.append(k)
    return out


def lit_text(rnd, lits):
    lits = list(lits)
    rnd.shuffle(lits)
    return " ".join(map(str, lits))


def refutation_lines(rnd, formula, root, mode, opts):
    """Lines of a refutation (without header and conclusion). mode: chain,
    merge or mixed. Returns (lines, root number)."""
    inner = inner_postorder(root)
    ok = True
    for node in inner:
        a, b = node.kids
        if a.full is None or b.full is None:
            node.full = None
            continue
        node.full = resolve(formula, a.full, b.full, node.pivot)
        if node.full is None:
            ok = False
    inline = set()
    if opts.get("chains", True):
        # inline one inner child per line (a linear chain), both now and then
        for node in inner:
            kids = [k for k in node.kids if k.kids]
            rnd.shuffle(kids)
            for k in kids[:2 if rnd.random() < 0.1 else 1]:
                if rnd.random() < 0.35:
                    inline.add(id(k))
    n = len(formula.clauses)
    numbering = opts.get("numbering", "sequential")
    used = set(range(1, n + 1))
    nxt = n + 1
    for node in inner:
        if id(node) in inline:
            continue
        if numbering == "sparse":
            k = rnd.choice([rnd.randint(n + 1, n + 50), rnd.randint(1000, 100000),
                            rnd.randint(10 ** 6, 4294967294)])
            while k in used:
                k += 1
        elif numbering == "gaps":
            k = nxt + rnd.randint(0, 5)
        else:
            k = nxt
        used.add(k)
        nxt = k + 1
        node.number = k
    lines = []
    for node in inner:
        if id(node) in inline:
            continue
        ants = frontier(node, inline)
        order = opts.get("order") or rnd.choice(["listed", "listed", "reversed", "shuffled"])
        if order == "reversed":
            ants = ants[::-1]
        elif order == "shuffled":
            rnd.shuffle(ants)
        nums = [a.number if a.number is not None else rnd.randint(1, n + 1) for a in ants]
        merge = mode == "merge" or (mode == "mixed" and rnd.random() < 0.5)
        if merge:
            lines.append("%d * %s 0" % (node.number, " ".join(map(str, nums))))
        else:
            res = node.full if node.full is not None else node.clause
            lits = lit_text(rnd, res)
            lines.append("%d %s%s0 %s 0" % (node.number, lits, " " if lits else "",
                                             " ".join(map(str, nums))))
    return lines, root.number, ok


def comment_noise(rnd, lines):
    out = []
    for ln in lines:
        if rnd.random() < 0.05:
            out.append(rnd.choice(["c a comment", "C", "c", "c 1 2 0 *"]))
        out.append(ln)
    return out


def gen_refute(rnd, kind):
    opts = {}
    opts["numbering"] = rnd.choice(["sequential"] * 4 + ["gaps", "sparse"])
    formula, root = make_refutation(rnd, opts)
    mode = {"refute-chain": "chain", "refute-merge": "merge"}.get(kind, "mixed")
    if kind == "refute-merge" and rnd.random() < 0.3:
        mode = "mixed"
    lines, k, _ = refutation_lines(rnd, formula, root, mode, opts)
    lines = comment_noise(rnd, lines)
    return formula, lines, "CONCLUDE INVALID %d" % k


def gen_refute_R(rnd):
    """Resolution lines by formula position, then the numbered proof."""
    formula, root = make_refutation(rnd, {})
    n = len(formula.clauses)
    pos = n
    rlines = []
    for node in inner_postorder(root):
        a, b = node.kids
        if a.pos is None or b.pos is None:
            continue
        i, j = a.pos, b.pos
        p = node.pivot
        r = rnd.random()
        if r < 0.04:
            i = 0
        elif r < 0.08:
            j = pos + rnd.randint(1, 3)
        elif r < 0.12:
            p = rnd.choice(list(formula.quant))
        elif r < 0.15:
            p = rnd.choice(["4294967295", "0", "-1"])
        if rnd.random() < 0.5:
            i, j = j, i
        rlines.append("R %s %s %s" % (i, j, p))
        pos += 1
        node.pos = pos
        if rnd.random() < 0.15:
            break
    lines, k, _ = refutation_lines(rnd, formula, root, rnd.choice(["chain", "mixed"]), {})
    if rnd.random() < 0.5:
        lines = rlines + lines
    else:
        cut = rnd.randint(0, len(lines))
        lines = lines[:cut] + rlines + lines[cut:]
    if rnd.random() < 0.2:
        return formula, rlines, "CONCLUDE INVALID %d" % rnd.randint(1, n)
    return formula, lines, "CONCLUDE INVALID %d" % k


def mutate_step(rnd, line, formula):
    """Breaks one numbered line in meaning."""
    parts = line.split()
    k = parts[0]
    if parts[1] == "*":
        ants = parts[2:-1]
        lits = None
    else:
        z = parts.index("0", 1)
        lits = [int(x) for x in parts[1:z]]
        ants = parts[z + 1:-1]
    what = rnd.choice(["flip", "drop", "add", "single", "none", "dup-ant",
                       "undefined-ant", "swap-mode"])
    allv = list(formula.quant)
    if what == "flip" and lits:
        i = rnd.randrange(len(lits))
        lits[i] = -lits[i]
    elif what == "drop" and lits:
        lits.pop(rnd.randrange(len(lits)))
    elif what == "add" and lits is not None:
        v = rnd.choice(allv)
        lits.append(v if rnd.random() < 0.5 else -v)
    elif what == "single":
        ants = ants[:1]
    elif what == "none":
        ants = []
    elif what == "dup-ant" and ants:
        ants.insert(rnd.randrange(len(ants) + 1), rnd.choice(ants))
    elif what == "undefined-ant":
        ants.append(str(rnd.choice([len(formula.clauses) + 777, 4294967295, 0])))
    elif what == "swap-mode":
        if lits is None:
            lits = []
        else:
            lits = None
    else:
        lits = None if lits is None else lits + [rnd.choice(allv)]
    if lits is None:
        return "%s * %s 0" % (k, " ".join(ants))
    return "%s %s 0 %s 0" % (k, " ".join(map(str, lits)), " ".join(ants))


def gen_refute_wrong(rnd):
    what = rnd.choice(["step", "step", "nonempty", "input-clause", "undefined",
                       "universal-taut", "taut-chain", "universal-pivot", "clause-0",
                       "redefine", "taut-conclusion"])
    opts = {"nonempty_root": what == "nonempty",
            "universal_tautology": what == "universal-taut"}
    formula, root = make_refutation(rnd, opts)
    mode = rnd.choice(["chain", "chain", "merge", "mixed"])
    lines, k, _ = refutation_lines(rnd, formula, root, mode, opts)
    n = len(formula.clauses)
    concl = "CONCLUDE INVALID %d" % k
    numbered = [i for i, ln in enumerate(lines) if ln.split()[0].isdigit()]
    if what == "step" and numbered:
        i = rnd.choice(numbered)
        lines[i] = mutate_step(rnd, lines[i], formula)
    elif what == "input-clause":
        concl = "CONCLUDE INVALID %d" % rnd.randint(1, n)
    elif what == "undefined":
        concl = "CONCLUDE INVALID %s" % rnd.choice([str(k + 1000), "0", "-1", "4294967295",
                                                    "4294967296", str(n + 1)])
    elif what == "taut-chain":
        # two input clauses clashing on two existential variables
        ex = formula.exist()
        if len(ex) >= 2:
            x, y = rnd.sample(ex, 2)
            a, b = [x, y], [-x, -y]
            formula.clauses += [a, b]
            formula.nvars = max(formula.nvars, 0)
            i, j = n + 1, n + 2
            k0 = max(k or 0, n + 2) + 1000
            # renumbering the proof would be needed if k <= n + 2; place step first
            form = rnd.choice(["%d %d %d 0 %d %d 0" % (k0, y, -y, i, j),
                               "%d 0 %d %d 0" % (k0, i, j),
                               "%d * %d %d 0" % (k0, i, j),
                               "%d %d %d 0 %d %d 0" % (k0, x, -x, i, j)])
            lines = [form]
            concl = "CONCLUDE INVALID %d" % k0
    elif what == "universal-pivot":
        un = formula.univ()
        if un:
            u = rnd.choice(un)
            formula.clauses += [[u], [-u]]
            k0 = n + 3 + rnd.randint(0, 3)
            lines = lines[:] if False else []
            lines = [rnd.choice(["%d 0 %d %d 0" % (k0, n + 1, n + 2), "%d * %d %d 0" % (k0, n + 1, n + 2)])]
            concl = "CONCLUDE INVALID %d" % k0
    elif what == "clause-0" and lines:
        i = rnd.randrange(len(lines))
        parts = lines[i].split()
        if parts[0].isdigit():
            old = parts[0]
            parts[0] = "0"
            lines[i] = " ".join(parts)
            lines = [ln.replace(" %s " % old, " 0 ") if j > i else ln for j, ln in enumerate(lines)]
    elif what == "redefine" and numbered:
        i = rnd.choice(numbered)
        parts = lines[i].split()
        parts[0] = str(rnd.choice([rnd.randint(1, n), k]))
        lines[i] = " ".join(parts)
    elif what == "taut-conclusion":
        ex = formula.exist()
        x = rnd.choice(ex)
        formula.clauses.append([x, -x])
        concl = "CONCLUDE INVALID %d" % len(formula.clauses)
        lines = lines if rnd.random() < 0.5 else []
    return formula, lines, concl


def gen_delayed(rnd):
    formula, root = make_refutation(rnd, {"numbering": rnd.choice(["sequential", "gaps"])})
    lines, k, _ = refutation_lines(rnd, formula, root, rnd.choice(["chain", "merge", "mixed"]),
                                   {"numbering": "sequential"})
    what = rnd.choice(["reverse", "shuffle", "late", "cycle", "never", "after-conclusion",
                       "held-redefined"])
    concl = "CONCLUDE INVALID %d" % k
    numbered = [ln for ln in lines if ln.split()[0].isdigit()]
    if what == "reverse":
        lines = lines[::-1]
    elif what == "shuffle":
        rnd.shuffle(lines)
    elif what == "late" and lines:
        i = rnd.randrange(len(lines))
        lines.append(lines.pop(i))
    elif what == "cycle" and len(numbered) >= 2:
        a, b = rnd.sample(range(len(lines)), 2)
        pa, pb = lines[a].split(), lines[b].split()
        if pa[0].isdigit() and pb[0].isdigit():
            lines[a] = " ".join(pa[:-1] + [pb[0], "0"])
            lines[b] = " ".join(pb[:-1] + [pa[0], "0"])
        rnd.shuffle(lines)
    elif what == "never" and lines:
        i = rnd.randrange(len(lines))
        parts = lines[i].split()
        parts.insert(len(parts) - 1, str(rnd.choice([k + 500, 4294967294, 4294967295])))
        lines[i] = " ".join(parts)
    elif what == "after-conclusion" and lines:
        i = rnd.randrange(len(lines))
        tail = lines.pop(i)
        return formula, lines, concl + "\n" + tail
    elif what == "held-redefined" and numbered:
        # a held step and a direct step defining the same number
        i = rnd.randrange(len(lines))
        parts = lines[i].split()
        if parts[0].isdigit():
            lines.append(lines[i])
            rnd.shuffle(lines)
    lines = comment_noise(rnd, lines)
    return formula, lines, concl


# --- extensions and models ------------------------------------------------

class Ext:
    """Writes extension lines for fresh variables."""

    def __init__(self, rnd, first):
        self.rnd = rnd
        self.next = first           # next fresh variable number
        self.lines = []             # extension lines in definition order
        self.true = None            # literal that is constant true
        self.defined = []           # variables defined here

    def fresh(self):
        v = self.next
        self.next += 1 if self.rnd.random() < 0.9 else self.rnd.randint(2, 40)
        self.defined.append(v)
        return v

    def const(self, value):
        if self.true is None:
            self.true = self.fresh()
            self.lines.append("E %d A 0" % self.true)
        return self.true if value else -self.true

    def AND(self, lits):
        v = self.fresh()
        self.lines.append("E %d A %s0" % (v, "".join("%d " % l for l in lits)))
        return v

    def ITE(self, c, t, e):
        v = self.fresh()
        self.lines.append("E %d I %d %d %d" % (v, c, t, e))
        return v


def encode_ite(ext, table, us):
    """Literal computing table (dict: tuple of universal values -> bool) over us."""
    vals = set(table.values())
    if len(vals) == 1:
        return ext.const(vals.pop())
    u = us[0]
    hi = encode_ite(ext, {k[1:]: v for k, v in table.items() if k[0] == 1}, us[1:])
    lo = encode_ite(ext, {k[1:]: v for k, v in table.items() if k[0] == 0}, us[1:])
    if hi == lo:
        return hi
    if ext.true is not None and hi == ext.true and lo == -ext.true:
        return u
    if ext.true is not None and hi == -ext.true and lo == ext.true:
        return -u
    return ext.ITE(u, hi, lo)


def encode_dnf(ext, table, us):
    rows = [k for k, v in table.items() if v]
    if not rows:
        return ext.const(False)
    if len(rows) == len(table):
        return ext.const(True)
    terms = []
    for r in rows:
        terms.append(ext.AND([u if b else -u for u, b in zip(us, r)]))
    if len(terms) == 1:
        return terms[0]
    return -ext.AND([-t for t in terms])


def skolem(formula):
    """Skolem functions of a true formula: var -> (universals before it, table)."""
    order, stages = formula.tables()
    univ_all = [v for v in order if formula.quant[v] == "a"]
    funcs = {v: ([u for u in univ_all if formula.level[u] < formula.level[v]], {})
             for v in order if formula.quant[v] == "e"}
    for bits in range(1 << len(univ_all)):
        uval = {u: (bits >> i) & 1 for i, u in enumerate(univ_all)}
        idx = 0
        for i, v in enumerate(order):
            if formula.quant[v] == "a":
                b = uval[v]
            else:
                b = 0 if (stages[i + 1] >> idx) & 1 else 1
                us = funcs[v][0]
                funcs[v][1][tuple(uval[u] for u in us)] = bool(b)
            idx |= b << i
    return funcs


def make_true_formula(rnd):
    for _ in range(30):
        nvars = rnd.randint(2, 9)
        blocks = random_prefix(rnd, nvars)
        allv = list(range(1, nvars + 1))
        clauses = []
        for _ in range(rnd.randint(1, min(30, 2 * nvars + 2))):
            c = random_clause(rnd, allv, rnd.randint(1, 4))
            if c not in clauses:
                clauses.append(c)
        f = Formula(blocks, clauses, nvars)
        if f.exist() and f.truth():
            return f
    return None


def gen_model(rnd, wrong):
    formula = make_true_formula(rnd)
    if formula is None:
        return gen_refute(rnd, "refute-chain")
    funcs = skolem(formula)
    # variable numbers near the limit make the checker allocate large tables
    # (a second or two per run), so they come rarely
    r = rnd.random()
    first = formula.nvars + 1 if r < 0.9 else formula.nvars + 100 if r < 0.985 else \
        rnd.choice([33554400, 33554431, 33554432])
    ext = Ext(rnd, first)
    model = []
    for v, (us, table) in funcs.items():
        if not us:
            if rnd.random() < 0.8:
                lit = ext.const(table[()])
            else:
                t = ext.AND([])         # a constant of its own
                lit = t if table[()] else -t
        elif rnd.random() < 0.6:
            lit = encode_ite(ext, table, us)
        else:
            lit = encode_dnf(ext, table, us)
        model.append([v, lit])
    ext_lines = list(ext.lines)
    if rnd.random() < 0.25:
        rnd.shuffle(ext_lines)          # forward references: held back, applied at the end
    elif rnd.random() < 0.15:
        ext_lines = ext_lines[::-1]
    rnd.shuffle(model)
    detail = "good"
    if wrong:
        detail = rnd.choice(["negate", "swap-ite", "drop-pair", "universal", "dependency",
                             "cycle", "self", "ext-in-model", "too-big", "undefined",
                             "ext-cycle", "not-fresh", "ext-undefined-operand", "ext-type",
                             "zero", "duplicate-pair", "model-refers-model"])
        ex = formula.exist()
        un = formula.univ()
        if detail == "negate" and model:
            m = rnd.choice(model)
            m[1] = -m[1]
        elif detail == "swap-ite":
            ites = [i for i, ln in enumerate(ext_lines) if " I " in ln]
            if ites:
                i = rnd.choice(ites)
                p = ext_lines[i].split()
                p[4], p[5] = p[5], p[4]
                ext_lines[i] = " ".join(p)
            elif model:
                model[0][1] = -model[0][1]
        elif detail == "drop-pair" and model:
            model.pop(rnd.randrange(len(model)))
        elif detail == "universal" and un:
            u = rnd.choice(un)
            model.insert(rnd.randint(0, len(model)), [u, rnd.choice(un + ex)])
        elif detail == "dependency" and un:
            inner_u = max(un, key=lambda u: formula.level[u])
            outer = [v for v in ex if formula.level[v] < formula.level[inner_u]]
            if outer:
                v = rnd.choice(outer)
                lit = inner_u if rnd.random() < 0.5 else ext.AND([inner_u, rnd.choice(un)])
                ext_lines = list(ext.lines) if lit != inner_u else ext_lines
                model = [m for m in model if m[0] != v] + [[v, lit]]
        elif detail == "cycle" and len(ex) >= 2:
            a, b = rnd.sample(ex, 2)
            model = [m for m in model if m[0] not in (a, b)] + [[a, b], [b, -a]]
        elif detail == "self" and ex:
            a = rnd.choice(ex)
            model = [m for m in model if m[0] != a] + [[a, rnd.choice([a, -a])]]
        elif detail == "ext-in-model" and ext.defined:
            model.append([rnd.choice(ext.defined), rnd.choice(ex)])
        elif detail == "too-big":
            model.append([rnd.choice([formula.nvars + 1, 4294967295, 4294967296]), 1])
        elif detail == "undefined" and model:
            m = rnd.choice(model)
            m[1] = rnd.choice([0, ext.next + 5, -(ext.next + 5), 2147483647])
        elif detail == "ext-cycle":
            a, b = ext.next + 3, ext.next + 4
            ext_lines += ["E %d A %d 0" % (a, b), "E %d I %d 1 -1" % (b, a)]
            if ex and rnd.random() < 0.5:
                model.append([rnd.choice(ex), a])
        elif detail == "not-fresh":
            v = rnd.choice(list(formula.quant) + ext.defined + [0])
            ext_lines.insert(rnd.randint(0, len(ext_lines)),
                             rnd.choice(["E %d A 1 0" % v, "E -%d I 1 2 3" % v]))
        elif detail == "ext-undefined-operand":
            ext_lines.append("E %d A %d 0" % (ext.next + 1, ext.next + 9))
        elif detail == "ext-type":
            ext_lines.insert(rnd.randint(0, len(ext_lines)),
                             "E %d %s 1 0" % (ext.next + 2, rnd.choice(["B", "a", "i", "AND", ""])))
        elif detail == "zero":
            model.append([0, rnd.choice(ex)])
        elif detail == "duplicate-pair" and model:
            m = rnd.choice(model)
            model.append([m[0], -m[1]])
        elif detail == "model-refers-model" and len(model) >= 2:
            model[0][1] = model[1][0]
    body = ext_lines
    if rnd.random() < 0.1:       # resolution lines before the model
        c = formula.clauses
        for _ in range(rnd.randint(1, 3)):
            i, j = rnd.randint(1, len(c)), rnd.randint(1, len(c))
            body.insert(0, "R %d %d %d" % (i, j, rnd.randint(1, formula.nvars)))
    pairs = " ".join("%d %d" % (v, f) for v, f in model)
    sep = rnd.choice([" ", " ", "\n", "  \n"])
    kw = rnd.choice(["CONCLUDE VALID"] * 6 + ["conclude valid", "CONCLUDE Valid", "CONCLUDE TRUE"])
    concl = kw + (sep + pairs if pairs else "") + rnd.choice(["", "", "\n", " \t\n"])
    return formula, body, concl


def gen_extension(rnd):
    """Refutations with extension lines around them (applied at once or held back)."""
    formula, lines, concl = gen_refute(rnd, rnd.choice(["refute-chain", "refute-merge"]))
    maxv = max(list(formula.quant) + [formula.nvars])
    ext = Ext(rnd, maxv + 1)
    allv = list(formula.quant)
    for _ in range(rnd.randint(1, 6)):
        pool = allv + ext.defined
        if rnd.random() < 0.5:
            ext.AND([rnd.choice([1, -1]) * rnd.choice(pool) for _ in range(rnd.randint(0, 3))])
        else:
            ext.ITE(*[rnd.choice([1, -1]) * rnd.choice(pool) for _ in range(3)])
    el = list(ext.lines)
    if rnd.random() < 0.4:
        rnd.shuffle(el)                 # held back until their operands exist
    if rnd.random() < 0.15:
        el.append("E %d A %d 0" % (ext.next + 3, ext.next + 7))   # never applied
    out = lines[:]
    for ln in el:
        out.insert(rnd.randint(0, len(out)), ln)
    return formula, out, concl


# --- form mutations -------------------------------------------------------

def tokens_of(text):
    return text.replace("\n", " \n ").split(" ")


def mutate_text(rnd, text):
    """Breaks the certificate in form."""
    what = rnd.choice(["drop", "dup", "swap", "number", "bad", "truncate", "truncate",
                       "header", "crlf", "cr", "no-final-newline", "lowercase", "tab",
                       "spread", "join", "comment-cut", "star-line", "garbage-end"])
    toks = [t for t in tokens_of(text)]
    idxs = [i for i, t in enumerate(toks) if t not in ("", "\n")]
    if what == "drop" and len(idxs) > 1:
        del toks[rnd.choice(idxs[1:])]
    elif what == "dup" and idxs:
        i = rnd.choice(idxs)
        toks.insert(i, toks[i])
    elif what == "swap" and len(idxs) > 2:
        a = rnd.choice(idxs[1:-1])
        b = idxs[idxs.index(a) + 1]
        toks[a], toks[b] = toks[b], toks[a]
    elif what == "number" and len(idxs) > 1:
        nums = [i for i in idxs if toks[i].lstrip("-").isdigit()]
        if nums:
            toks[rnd.choice(nums)] = rnd.choice(BOUNDARY_NUMBERS)
    elif what == "bad" and len(idxs) > 1:
        toks[rnd.choice(idxs[1:])] = rnd.choice(BAD_TOKENS)
    elif what == "truncate":
        return text[:rnd.randint(0, len(text))]
    elif what == "header":
        return rnd.choice(["", "qbcertificate\n", "QBCertificat\n", "\ufeffQBCertificate\n",
                           "c x\nQBCertificate\n", "QBCertificateX\n", " \n"]) + \
            text.split("\n", 1)[1] if "\n" in text else ""
    elif what == "crlf":
        return text.replace("\n", "\r\n")
    elif what == "cr":
        return text.replace("\n", "\r")
    elif what == "no-final-newline":
        return text.rstrip("\n")
    elif what == "lowercase":
        return text.replace("CONCLUDE", "conclude").replace("INVALID", "invalid")
    elif what == "tab" and len(idxs) > 2:
        i = rnd.choice(idxs[1:-1])
        toks[i] = toks[i] + "\t" + toks[i + 1]
        del toks[i + 1]
    elif what == "spread":
        return text.replace(" ", "\n")
    elif what == "join":
        return text.replace("\n", " ")
    elif what == "comment-cut":
        return text.rstrip("\n") + "\nc trailing comment"
    elif what == "star-line":
        return text.replace(" * ", "\n* ", 1)
    elif what == "garbage-end":
        return text + rnd.choice(["x y z\n", "CONCLUDE INVALID 1\n", "\x00\x01", "1 2 3"])
    return " ".join(toks).replace(" \n ", "\n")


def mutate_qdimacs(rnd, text):
    what = rnd.choice(["no-p", "no-cnf", "nvars", "nclauses", "bad-clause", "comment-after-p",
                       "count-less", "count-more", "truncate", "empty", "redefine",
                       "free", "leading-comments", "split-p", "quant-junk", "quant-big"])
    lines = text.split("\n")
    if what == "no-p":
        return "\n".join(lines[1:])
    if what == "no-cnf":
        return text.replace("cnf", rnd.choice(["CNF", "dnf", "", "cnf2"]), 1)
    if what == "nvars":
        p = lines[0].split()
        p[2] = rnd.choice(["4294967296", "99999999999999", "-1", "x", "4294967295", "0"])
        lines[0] = " ".join(p)
    elif what == "nclauses":
        p = lines[0].split()
        p[3] = rnd.choice(["4294967296", "99999999999999", "-1", "x", "4294967295", "0", "1"])
        lines[0] = " ".join(p)
    elif what == "bad-clause":
        cl = [i for i, ln in enumerate(lines) if ln and ln[0] not in "pae"]
        if cl:
            i = rnd.choice(cl)
            toks = lines[i].split()
            toks[rnd.randrange(len(toks))] = rnd.choice(
                ["x", "1x", "2147483648", "-2147483648", "+3", "1.0", "--1"])
            lines[i] = " ".join(toks)
    elif what == "comment-after-p":
        lines.insert(rnd.randint(1, len(lines) - 1), "c comment")
    elif what in ("count-less", "count-more"):
        p = lines[0].split()
        n = int(p[3])
        p[3] = str(max(0, n - rnd.randint(1, 3)) if what == "count-less" else n + rnd.randint(1, 3))
        lines[0] = " ".join(p)
    elif what == "truncate":
        return text[:rnd.randint(0, len(text))]
    elif what == "empty":
        return ""
    elif what == "redefine":
        q = [i for i, ln in enumerate(lines) if ln[:2] in ("a ", "e ")]
        if q:
            i = rnd.choice(q)
            lines.insert(i + 1, "%s %s 0" % (rnd.choice("ae"), rnd.randint(1, 5)))
    elif what == "free":
        cl = [i for i, ln in enumerate(lines) if ln and ln[0] not in "pae"]
        if cl:
            i = rnd.choice(cl)
            lines[i] = "%d %s" % (rnd.choice([20, 33554431, 33554432]), lines[i])
    elif what == "leading-comments":
        return rnd.choice(["c hello\n", "c\nc x\n", "cc\n", "comment\n"]) + text
    elif what == "split-p":
        return text.replace(" ", "\n", 3)
    elif what == "quant-junk":
        q = [i for i, ln in enumerate(lines) if ln[:2] in ("a ", "e ")]
        if q:
            i = rnd.choice(q)
            lines[i] = lines[i].replace(" 0", rnd.choice([" 3x 0", " x 0", " -1 0", " 4294967296 0"]))
    elif what == "quant-big":
        lines.insert(1, "e %s 0" % rnd.choice(["33554431", "33554432", "4294967295"]))
    return "\n".join(lines)


# --- one case -------------------------------------------------------------

def pick_kind(rnd):
    total = sum(w for _, w in KINDS)
    r = rnd.uniform(0, total)
    for k, w in KINDS:
        r -= w
        if r <= 0:
            return k
    return KINDS[-1][0]


def build(kind, rnd):
    if kind in ("refute-chain", "refute-merge"):
        return gen_refute(rnd, kind)
    if kind == "refute-R":
        return gen_refute_R(rnd)
    if kind == "refute-wrong":
        return gen_refute_wrong(rnd)
    if kind == "delayed":
        return gen_delayed(rnd)
    if kind == "extension":
        return gen_extension(rnd)
    if kind == "model":
        return gen_model(rnd, False)
    if kind == "model-wrong":
        return gen_model(rnd, True)
    base = rnd.choice(["refute-chain", "refute-merge", "refute-R", "delayed", "extension",
                       "model", "model-wrong", "refute-wrong"])
    return build(base, rnd)


def generate(seed):
    """Returns the case for seed: dict with files (name -> bytes), args, meta."""
    rnd = random.Random(seed)
    kind = pick_kind(rnd)
    formula, lines, concl = build(kind, rnd)
    with_qbf = True
    opts = []
    if kind == "options":
        variant = rnd.choice(["noqbf", "noqbf", "d", "ignore", "both", "order", "usage",
                              "missing", "three", "dash"])
    else:
        variant = rnd.choice(["plain"] * 14 + ["d", "d", "ignore", "noqbf"])
    if variant in ("d", "both") or (variant != "plain" and rnd.random() < 0.2):
        opts.append("--d")
    if variant in ("ignore", "both") or rnd.random() < 0.03:
        opts.append("--ignore")
    if variant == "noqbf":
        with_qbf = False
    if rnd.random() < 0.5 and (variant in ("ignore", "both") or rnd.random() < 0.04):
        # steps without antecedents: stored unchecked under --ignore, refused otherwise
        k = rnd.choice([len(formula.clauses) + 900, 4000000000])
        lits = [rnd.choice([1, -1]) * v for v in rnd.sample(list(formula.quant),
                                                            min(2, len(formula.quant)))]
        lits = lits[:rnd.randint(0, len(lits))]
        step = "%d %s0 0" % (k, "".join("%d " % l for l in lits)) if rnd.random() < 0.7 \
            else "%d * 0" % k
        lines = lines[:]
        lines.insert(rnd.randint(0, len(lines)), step)
        if concl.startswith("CONCLUDE INVALID") and rnd.random() < 0.7:
            concl = "CONCLUDE INVALID %d" % k
    cert = "QBCertificate\n" + "".join(ln + "\n" for ln in lines) + concl + "\n"
    qtext = formula.text()
    claim = "invalid" if concl.upper().startswith("CONCLUDE INVALID") else "valid"
    truth = formula.truth()
    pristine = True
    if kind == "syntax":
        for _ in range(rnd.choice([1, 1, 1, 2, 3])):
            cert = mutate_text(rnd, cert)
        pristine = False
    if kind == "qdimacs-error":
        qtext = mutate_qdimacs(rnd, qtext)
        pristine = False
    names = (["formula.qdimacs"] if with_qbf else []) + ["cert"]
    if variant == "order":
        args = names[:1] + opts + names[1:]
    elif variant == "usage":
        args = rnd.choice([["--h"], ["-h"], opts + ["--h"] + names, [], opts])
    elif variant == "missing":
        args = opts + rnd.choice([["nosuch.qdimacs", "cert"], ["formula.qdimacs", "nosuch"],
                                  ["nosuch"], ["."], ["", "cert"]])
    elif variant == "three":
        args = opts + names + ["cert"]
    elif variant == "dash":
        args = opts + [rnd.choice(["-d", "--debug", "--D", "-ignore"])] + names
    else:
        args = opts + names
    files = {"cert": cert.encode("utf-8", "surrogateescape")}
    if with_qbf:
        files["formula.qdimacs"] = qtext.encode("utf-8", "surrogateescape")
    meta = {
        "kind": kind,
        "variant": variant,
        "claim": claim,
        # the formula's truth value, recorded only where the checker reads the
        # formula and certificate as generated and no option relaxes the checks
        "truth": ("true" if truth else "false") if (
            truth is not None and pristine and with_qbf and "--ignore" not in opts
            and variant in ("plain", "d")) else "unknown",
    }
    return {"files": files, "args": args, "meta": meta}


def write_case(case, out):
    os.makedirs(out, exist_ok=True)
    for name, data in case["files"].items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    with open(os.path.join(out, "args"), "w") as f:
        f.write("".join(a + "\n" for a in case["args"]))
    with open(os.path.join(out, "meta"), "w") as f:
        f.write("".join("%s=%s\n" % kv for kv in sorted(case["meta"].items())))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    write_case(generate(a.seed), a.out)


if __name__ == "__main__":
    main()
