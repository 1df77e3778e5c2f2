"""Seeded generators of refutations shaped like QBF solver traces.

Solver trace (input "solver"). A QCDCL solver such as DepQBF learns a clause
by resolving a conflict clause with the reasons of the literals on its trail,
one after the other; its trace lists each learned clause with the clauses it
was resolved from (two per step when every resolution is written, up to
dozens when a whole chain is folded into one step). This generator mimics
that: it runs derivations of 3 to 40 steps each, every step resolving the
current clause with one reason (two antecedents) or, now and then, with a
chain of 9 to 59 reasons (a folded step), and starts each derivation from
an input "conflict" clause or from a clause learned before.

The formula has five quantifier blocks, e a e a e. Every variable has a
fixed phase (its in-phase literal). Input clauses are
* reasons (-x | D): the out-of-phase literal of an existential x and one to
  three in-phase existential literals of x's neighbourhood (a cluster of 16
  variables, as in a circuit encoding), sometimes with an in-phase universal
  quantified outside the deepest of them; every existential of the innermost
  block also has a reason whose D lies in outer blocks only, and every other
  existential a "shrink" reason (-x | u) with u a universal of the block
  just inside x's, which universal reduction removes once no deeper
  existential is left;
* conflict clauses of 10 to 16 in-phase literals.
Since only the pivot literals are out of phase, no union of antecedents is
tautological, whatever order the checker resolves them in. A step resolves
pivots p_1, ..., p_k in turn: p_1 is a literal of the current clause, p_i a
literal of the current clause or of an earlier reason of the step, and no
reason holds an earlier pivot. Working backwards from the resolvent, each
reason then keeps exactly one existential literal (-p_i) outside the clauses
placed so far, which is how the checker orders the shuffled antecedents.
A universal literal that survives reduction must have, in every antecedent
that holds it, a deeper existential that is not a pivot, so the chain with
reduction after every resolution gives the clause the generator computes
(resolvents of 20 to 40 literals; other steps are drawn again).

The last derivation removes the current clause's innermost existentials
through their outer reasons, then the others, deepest block first, through
shrink reasons; the last step leaves universals only, which reduce to the
empty clause.

Unit chain (input "unit-chain"). The formula, exists x_1..x_n w forall u,
holds the implications (-x_i | x_j) of a random graph over x (j < i), the
clauses (-x_1 | w) and (-x_1 | -w), and (x_e | u). The proof first derives
(-x_1), then every step `k -x_i 0 a b 0` derives (-x_i) from an implication
(-x_i | x_j) and an earlier derivation of (-x_j) (a variable's negation is
derived again and again under new numbers); the last step resolves (x_e | u)
with a derivation of (-x_e), and u reduces away.
"""

import random

HEADER = "QBCertificate\nc %s, seed %d\n"
FLUSH = 1 << 20          # characters collected before a write

# Quantifier blocks of the solver formula: e a e a e.
BLOCKS = (900, 60, 900, 60, 1000)
CLUSTER = 16
MIN_SIZE, MAX_SIZE = 20, 40


class _Trace:
    def __init__(self, seed, out):
        self.rng = rng = random.Random(seed)
        self.out = out
        self.buffer = []
        self.buffered = 0
        self.bytes = 0
        counts = list(BLOCKS)
        total = sum(counts)
        numbers = list(range(1, total + 1))
        rng.shuffle(numbers)
        self.variables = total
        self.blocks = []
        self.level = [0] * (total + 1)          # variable -> block index
        self.phase = [0] * (total + 1)          # variable -> in-phase literal
        start = 0
        for index, count in enumerate(counts):
            block = sorted(numbers[start:start + count])
            start += count
            self.blocks.append(block)
            for v in block:
                self.level[v] = index
                self.phase[v] = v if rng.random() < 0.5 else -v
        self.universal = bytearray(total + 1)   # variable -> 1 if universal
        for index in range(1, len(counts), 2):
            for v in self.blocks[index]:
                self.universal[v] = 1
        self.existentials = [v for i in range(0, len(counts), 2) for v in self.blocks[i]]
        self.universal_levels = list(range(1, len(counts), 2))
        self.last = len(counts) - 1
        # Clusters mix the blocks, as the variables of one circuit region do.
        order = list(self.existentials)
        rng.shuffle(order)
        self.cluster_of = [0] * (total + 1)
        self.clusters = [order[i:i + CLUSTER] for i in range(0, len(order), CLUSTER)]
        for index, members in enumerate(self.clusters):
            for v in members:
                self.cluster_of[v] = index

        self.clauses = []       # input clauses (certificate numbers 1..n)
        self.reasons = {}       # existential -> [(number, D, universals of D)]
        self.outer = {}         # innermost existential -> its outer reason
        self.shrink = {}        # other existential -> its shrink reason
        self.conflicts = []     # (number, literal set)
        self._make_inputs()
        self.next_number = len(self.clauses) + 1
        self.steps = 0
        self.antecedents = 0
        self.folded = 0
        self.reduced = 0
        self.literals = 0

    # ---- formula -------------------------------------------------------

    def _neighbour(self, v):
        rng = self.rng
        cluster = self.cluster_of[v]
        if rng.random() < 0.08:
            cluster = (cluster + rng.choice((-1, 1))) % len(self.clusters)
        return self.phase[rng.choice(self.clusters[cluster])]

    def _universal_below(self, level):
        """An in-phase universal quantified outside `level` (None at level 0)."""
        choices = [u for u in self.universal_levels if u < level]
        if not choices:
            return None
        return self.phase[self.rng.choice(self.blocks[self.rng.choice(choices)])]

    def _add(self, literals):
        self.clauses.append(literals)
        return len(self.clauses)

    def _add_reason(self, x, d):
        d = frozenset(d)
        number = self._add([-self.phase[x]] + list(d))
        universals = tuple(l for l in d if self.level[abs(l)] % 2)
        self.reasons.setdefault(x, []).append((number, d, universals))
        return number, d, universals

    def _make_inputs(self):
        rng = self.rng
        level = self.level
        for x in self.existentials:
            for _ in range(rng.randint(3, 5)):
                d = set()
                for _ in range(rng.choice((1, 1, 1, 2, 2, 3))):
                    l = self._neighbour(x)
                    if abs(l) != x:
                        d.add(l)
                if not d:
                    continue
                if rng.random() < 0.06:
                    u = self._universal_below(max(level[abs(l)] for l in d))
                    if u is not None:
                        d.add(u)
                self._add_reason(x, d)
            if level[x] == self.last:
                d = set()
                while len(d) < rng.randint(1, 2):
                    v = rng.choice(self.existentials)
                    if level[v] < self.last:
                        d.add(self.phase[v])
                number, d, _ = self._add_reason(x, d)
                self.outer[x] = (number, d)
            else:
                u = self.phase[rng.choice(self.blocks[level[x] + 1])]
                number = self._add([-self.phase[x], u])
                self.shrink[x] = (number, frozenset((u,)))
        for _ in range(2000):
            x = rng.choice(self.existentials)
            literals = {self.phase[x]}
            while len(literals) < rng.randint(10, 16):
                literals.add(self._neighbour(rng.choice(self.existentials)
                                             if rng.random() < 0.3 else abs(rng.choice(list(literals)))))
            number = self._add(list(literals))
            self.conflicts.append((number, frozenset(literals)))
        rng.shuffle(self.conflicts)

    def qdimacs(self):
        parts = ["c benchmark formula: shaped like a circuit encoding refuted by a QCDCL solver\n",
                 "p cnf %d %d\n" % (self.variables, len(self.clauses))]
        for index, block in enumerate(self.blocks):
            parts.append(("a " if index % 2 else "e ") + " ".join(map(str, block)) + " 0\n")
        for clause in self.clauses:
            parts.append(" ".join(map(str, clause)) + " 0\n")
        return "".join(parts)

    # ---- steps ---------------------------------------------------------

    def _reduce(self, union):
        level = self.level
        deepest = -1
        for l in union:
            lv = level[abs(l)]
            if not lv % 2 and lv > deepest:
                deepest = lv
        return frozenset(l for l in union if not level[abs(l)] % 2 or level[abs(l)] < deepest)

    def _blocked(self, literals, u, pivots):
        """Whether `literals` hold an existential deeper than u that is not a pivot."""
        level = self.level
        lu = level[abs(u)]
        for l in literals:
            lv = level[abs(l)]
            if lv > lu and not lv % 2 and l not in pivots:
                return True
        return False

    def _blocker(self, literals, u):
        """The deepest existential of `literals` if it is deeper than u."""
        level = self.level
        best, best_level = None, level[abs(u)]
        for l in literals:
            lv = level[abs(l)]
            if lv > best_level and not lv % 2:
                best, best_level = l, lv
        return best

    def _sound(self, base, sides, pivots, result):
        level = self.level
        for u in result:
            if not level[abs(u)] % 2:
                continue
            if u in base and not self._blocked(base, u, pivots):
                return False
            for _, d, universals in sides:
                if u in universals and not self._blocked(d, u, pivots):
                    return False
        return True

    def _chain(self, base, pivots_wanted, target, extra_first=()):
        """Resolves `base` with reasons for up to `pivots_wanted` pivots;
        returns (sides, pivots, result) or None."""
        rng = self.rng
        level = self.level
        current = set(base)
        pivots = set()
        sides = []
        recent = list(extra_first)
        universal = self.universal
        # One blocker per universal literal and antecedent is never a pivot,
        # so that the universal survives or goes whatever the chain's order.
        protected = set()
        for u in (base if pivots_wanted > 1 else ()):
            if universal[abs(u)]:
                blocker = self._blocker(base, u)
                if blocker is not None:
                    protected.add(blocker)
        for _ in range(pivots_wanted):
            pool = [l for l in recent if l in current and l not in protected]
            if not pool:
                pool = [l for l in current if not universal[abs(l)] and l not in protected]
                if not pool:
                    break
            # Of a few candidate pivots and their reasons, take the one that
            # brings the clause closest to the target size.
            best, best_score = None, None
            for p in (pool if len(pool) <= 6 else rng.sample(pool, 6)):
                for reason in self.reasons[abs(p)]:
                    d = reason[1]
                    if not pivots.isdisjoint(d):
                        continue
                    grown = len(current) - 1 + len(d - current)
                    score = abs(grown - target) + rng.random()
                    if best is None or score < best_score:
                        best, best_score = (p, reason), score
            if best is None:
                break
            p, reason = best
            pivots.add(p)
            current.discard(p)
            fresh = [l for l in reason[1] if l not in current and not universal[abs(l)]]
            current.update(reason[1])
            sides.append(reason)
            for u in reason[2]:
                protected.add(self._blocker(reason[1], u))
            recent = fresh + [l for l in recent if l in current]
        if not sides:
            return None
        result = self._reduce(current)
        if not MIN_SIZE <= len(result) <= MAX_SIZE:
            return None
        if sum(1 for l in result if not level[abs(l)] % 2) < 2:
            return None
        if not self._sound(base, sides, pivots, result):
            return None
        return sides, result, len(result) < len(current)

    def _plain(self, base, target):
        """One resolution of `base` with one reason: (side, result, reduced)
        or None. The fast path of the common two-antecedent step."""
        rng = self.rng
        universal = self.universal
        existential = [l for l in base if not universal[abs(l)]]
        size = len(base) - 1
        best, best_score = None, 1000
        for _ in range(6):
            p = existential[int(rng.random() * len(existential))]
            for reason in self.reasons[abs(p)]:
                score = abs(size + len(reason[1] - base) - target) + rng.random()
                if score < best_score:
                    best, best_score = (p, reason), score
        p, reason = best
        union = set(base)
        union.discard(p)
        union.update(reason[1])
        # With an innermost existential besides p, nothing reduces and every
        # universal stays blocked in both antecedents.
        last = self.last
        level = self.level
        if reason[2] or len(existential) < len(base) and not any(
                level[abs(l)] == last and l != p for l in existential):
            result = self._reduce(union)
            if not self._sound(base, (reason,), (p,), result):
                return None
        else:
            result = union
        if not MIN_SIZE <= len(result) <= MAX_SIZE:
            return None
        return reason, result, len(result) < len(union)

    def step(self, number, base, folded, target):
        rng = self.rng
        if not folded:
            for _ in range(30):
                made = self._plain(base, target)
                if made:
                    reason, result, reduced = made
                    return self._emit(result, [number, reason[0]], reduced), result
            return None
        for _ in range(30):
            k = rng.randint(9, 59) if folded else 1
            made = self._chain(base, k, target)
            if made:
                sides, result, reduced = made
                return self._emit(result, [number] + [r[0] for r in sides], reduced), result
        return None

    def _emit(self, result, antecedents, reduced):
        rng = self.rng
        number = self.next_number
        self.next_number += 1
        self.steps += 1
        self.antecedents += len(antecedents)
        self.literals += len(result)
        if len(antecedents) > 2:
            self.folded += 1
        if reduced:
            self.reduced += 1
        if len(antecedents) == 2:
            if rng.random() < 0.5:
                antecedents.reverse()
        else:
            rng.shuffle(antecedents)
        # The set's own order stands in for the solver's.
        literals = result
        if literals:
            line = "%d %s 0 %s 0\n" % (number, " ".join(map(str, literals)),
                                       " ".join(map(str, antecedents)))
        else:
            line = "%d 0 %s 0\n" % (number, " ".join(map(str, antecedents)))
        self.write(line)
        return number

    def write(self, text):
        self.buffer.append(text)
        self.buffered += len(text)
        if self.buffered >= FLUSH:
            self.flush()

    def flush(self):
        self.out.write("".join(self.buffer))
        self.bytes += self.buffered
        self.buffer = []
        self.buffered = 0

    def grow(self, conflict):
        """The first step of a derivation from a conflict clause: a folded
        step whose reasons bring the clause to 20 literals or more."""
        number, literals = conflict
        for _ in range(50):
            made = self._chain(literals, self.rng.randint(9, 30), 30)
            if made:
                sides, result, reduced = made
                return self._emit(result, [number] + [r[0] for r in sides], reduced), result
        return None

    def finish(self, number, clause):
        """Removes the clause's existentials, deepest block first."""
        level = self.level
        rng = self.rng
        current = set(clause)
        while True:
            existential = [l for l in current if not level[abs(l)] % 2]
            if not existential:
                break
            deepest = max(level[abs(l)] for l in existential)
            chunk = [l for l in existential if level[abs(l)] == deepest]
            rng.shuffle(chunk)
            chunk = chunk[:59]
            sides = []
            union = set(current)
            union.difference_update(chunk)
            for p in chunk:
                reason = self.outer[abs(p)] if deepest == self.last else self.shrink[abs(p)]
                # An outer reason may name a literal of the chunk; that
                # literal waits for the next step.
                sides.append(reason)
                union.update(reason[1])
            result = self._reduce(union)
            assert set(chunk).isdisjoint(result)
            number = self._emit(result, [number] + [r[0] for r in sides], len(result) < len(union))
            current = set(result)
        return number


def write_solver(seed, qdimacs_path, cert_path, target_bytes):
    """Input "solver": derivations of a QCDCL-like trace until the
    certificate holds `target_bytes`, then the empty clause."""
    with open(cert_path, "w") as out:
        trace = _Trace(seed, out)
        rng = trace.rng
        trace.write(HEADER % ("synthetic QCDCL-style refutation", seed))
        learned = []            # (number, clause) of finished derivations
        conflicts = iter(trace.conflicts * 1000)
        current = None
        while trace.bytes + trace.buffered < target_bytes:
            if current is None:
                if learned and rng.random() < 0.6:
                    current = rng.choice(learned[-500:])
                else:
                    current = trace.grow(next(conflicts))
                    if current is None:
                        continue
                length = rng.randint(3, 40)
                target = rng.choice((20, 21, 22, 22, 23, 24, 25, 26, 28, 32))
            made = trace.step(current[0], current[1], rng.random() < 0.04, target)
            length -= 1
            if made is None or length <= 0:
                if made is not None:
                    current = made
                learned.append(current)
                current = None
            else:
                current = made
        if current is None:
            current = learned[-1]
        last = trace.finish(*current)
        trace.write("CONCLUDE INVALID %d\n" % last)
        trace.flush()
    with open(qdimacs_path, "w") as out:
        out.write(trace.qdimacs())
    return {"steps": trace.steps, "input_clauses": len(trace.clauses),
            "variables": trace.variables,
            "antecedents_per_step": round(trace.antecedents / max(1, trace.steps), 2),
            "folded_steps": trace.folded, "reduced_steps": trace.reduced,
            "literals_per_step": round(trace.literals / max(1, trace.steps), 1)}


def write_unit_chain(seed, qdimacs_path, cert_path, steps):
    """Input "unit-chain": `steps` numbered lines of one-literal resolvents
    (the empty clause last)."""
    rng = random.Random(seed)
    n = min(50000, max(100, steps // 60))
    w, u = n + 1, n + 2
    # Implications (-x_i | x_j); x_1 is refuted first. Every x_i > 1 gets
    # three implications to variables of lower number, so every (-x_i) can
    # be derived once (-x_1) is.
    clauses = [(-1, w), (-1, -w)]
    implications = [[] for _ in range(n + 1)]
    for i in range(2, n + 1):
        for _ in range(3):
            j = rng.randint(max(1, i - 200), i - 1)
            clauses.append((-i, j))
            implications[i].append((len(clauses), j))
    # The last input clause, (x_e | u), is written once the proof has
    # derived (-x_e) for some e; its number is reserved here.
    clauses.append(None)
    end_clause = len(clauses)
    derived = [[] for _ in range(n + 1)]   # variable -> recent numbers of (-x)
    number = len(clauses) + 1
    written = 0
    with open(cert_path, "w") as out:
        buffer = [HEADER % ("synthetic unit resolution chain", seed)]
        buffer.append("%d -1 0 1 2 0\n" % number)
        derived[1].append(number)
        number += 1
        known = [1]             # variables whose negation is derived
        frontier = 2            # next variable not yet derived
        random_ = rng.random
        for _ in range(steps - 2):
            if frontier <= n and random_() < 0.25:
                i = frontier
                frontier += 1
            else:
                i = known[int(random_() * len(known))]
            if i == 1:
                first, second = 1, 2
            else:
                # Every variable below the frontier has (-x) derived already.
                c, j = implications[i][int(random_() * 3)]
                history = derived[j]
                d = history[int(random_() * len(history))]
                first, second = (c, d) if random_() < 0.5 else (d, c)
            buffer.append("%d -%d 0 %d %d 0\n" % (number, i, first, second))
            history = derived[i]
            if not history:
                known.append(i)
            history.append(number)
            if len(history) > 8:
                del history[0]
            number += 1
            if len(buffer) >= 50000:
                chunk = "".join(buffer)
                written += len(chunk)
                out.write(chunk)
                buffer = []
        end = known[int(random_() * len(known))]
        clauses[-1] = (end, u)
        buffer.append("%d 0 %d %d 0\n" % (number, derived[end][-1], end_clause))
        buffer.append("CONCLUDE INVALID %d\n" % number)
        chunk = "".join(buffer)
        written += len(chunk)
        out.write(chunk)
    with open(qdimacs_path, "w") as out:
        out.write("c benchmark formula: implications refuted by unit resolution\n")
        out.write("p cnf %d %d\n" % (n + 2, len(clauses)))
        out.write("e %s 0\n" % " ".join(map(str, range(1, n + 2))))
        out.write("a %d 0\n" % u)
        out.write("".join("%d %d 0\n" % clause for clause in clauses))
    return {"steps": number - len(clauses), "input_clauses": len(clauses)}
