"""Seeded generator of Q-resolution refutations for the benchmark.

The formula has eight quantifier blocks, e a e a e a e a (levels 0 to 7).
Every variable has a fixed phase; the literal of a variable in its phase is
called its in-phase literal. Clauses come in two kinds:

* rules  (-x | D): one out-of-phase literal -x and a set D of in-phase
  literals. The QDIMACS file holds, for every existential x, one or two
  "expand" rules (D: one to four existential literals and at most one
  universal, of the level just above the deepest of them or of level 7) and
  one "shrink" rule (D: two universals of level 7, which universal reduction
  always removes). Lemma steps derive further rules for x from a rule for x.
* spine clauses: in-phase literals only. A spine starts from an input clause
  and is rewritten step after step (64 spines interleaved; one for the
  reversed input, where every step uses the clause of the step before).

A step takes a base clause, picks k (1..7) existential in-phase literals of
it as pivots and one rule per pivot as side clauses:
    base = B,  side i = (-p_i | D_i)   ->   reduce((B - {p}) | D_1 | ... | D_k)
Since every literal but the pivots' complements is in phase, the union never
holds a literal and its complement, so no resolution is tautological, in any
order. A step is kept only if
* no D_i holds a pivot (or, for a lemma of x, the literal x),
* every universal literal that survives reduction has, in each antecedent
  that holds it, an existential literal of a deeper level that is not a
  pivot of the step; then the checker's chain (whatever order it finds, with
  reduction after every resolution) and the merge of all antecedents give the
  same clause, and
* the result has 3 to 30 literals, two of them existential at least.
Each side clause keeps exactly one existential literal outside the resolvent
(its -p_i), so the checker's backward ordering finds the chain.

To end, the clause of spine 0 loses its existential literals deepest level
first, up to seven per step, through shrink rules; the last step leaves only
universal literals, which reduce to the empty clause.
"""

import random

LEVELS = 8          # e a e a e a e a
LAST_LEVEL = LEVELS - 1
MAX_PIVOTS = 7      # 2 to 8 antecedents
MIN_SIZE, MAX_SIZE = 3, 30
LEMMAS_KEPT = 3     # derived rules per variable offered as side clauses


class Proof:
    """Builds the formula and the refutation; writes certificates on the fly."""

    def __init__(self, seed, existentials_per_block=1500, universals_per_block=100,
                 spines=64, lemma_share=0.3, chained=False):
        self.rng = random.Random(seed)
        self.spine_count = 1 if chained else spines
        self.lemma_share = 0.0 if chained else lemma_share
        rng = self.rng
        counts = [existentials_per_block if level % 2 == 0 else universals_per_block
                  for level in range(LEVELS)]
        numbers = list(range(1, sum(counts) + 1))
        rng.shuffle(numbers)
        self.blocks = []
        self.level = {}          # literal (both signs) -> level
        self.in_phase = {}       # variable -> in-phase literal
        start = 0
        for level, count in enumerate(counts):
            block = sorted(numbers[start:start + count])
            start += count
            self.blocks.append(block)
            for variable in block:
                self.level[variable] = self.level[-variable] = level
                self.in_phase[variable] = variable if rng.random() < 0.5 else -variable
        self.variables = sum(counts)
        self.existentials = [v for level in range(0, LEVELS, 2) for v in self.blocks[level]]

        self.clauses = []        # input clauses, QDIMACS order (certificate numbers 1..n)
        self.rule_d = {}         # rule clause number -> frozenset D
        self.rule_var = {}       # rule clause number -> its variable x
        self.expand = {}         # variable -> input expand rule numbers
        self.lemmas = {}         # variable -> recent derived rule numbers
        self.shrink = {}         # variable -> shrink rule number
        self.derived = set()     # numbers of derived clauses
        self._make_inputs()
        self.next_number = len(self.clauses) + 1
        self.steps = 0
        self.reduced_steps = 0   # steps whose universal reduction removed a literal
        self.antecedents = 0     # antecedents listed, over all steps
        self.derived_antecedents = 0

    # ---- formula -------------------------------------------------------

    def _universal(self, level):
        return self.in_phase[self.rng.choice(self.blocks[level])]

    def _random_d(self, exclude):
        """1-4 existential in-phase literals, then universals each below the
        deepest of them (or at level 7)."""
        rng = self.rng
        d = set()
        for _ in range(rng.randint(1, 4)):
            v = rng.choice(self.existentials)
            if v != exclude:
                d.add(self.in_phase[v])
        if not d:
            d.add(self.in_phase[self.existentials[0] if self.existentials[0] != exclude
                                else self.existentials[1]])
        deepest = max(self.level[l] for l in d)
        if rng.random() < 0.4:
            if deepest > 0 and rng.random() < 0.7:
                d.add(self._universal(deepest - 1))
            else:
                d.add(self._universal(LAST_LEVEL))
        return frozenset(d)

    def _add_input(self, literals):
        self.clauses.append(tuple(literals))
        return len(self.clauses)

    def _make_inputs(self):
        rng = self.rng
        for x in self.existentials:
            minus_x = -self.in_phase[x]
            self.expand[x] = []
            self.lemmas[x] = []
            for _ in range(rng.randint(1, 2)):
                d = self._random_d(x)
                number = self._add_input([minus_x] + sorted(d, key=abs))
                self.rule_d[number], self.rule_var[number] = d, x
                self.expand[x].append(number)
            d = frozenset({self._universal(LAST_LEVEL), self._universal(LAST_LEVEL)})
            number = self._add_input([minus_x] + sorted(d, key=abs))
            self.rule_d[number], self.rule_var[number] = d, x
            self.shrink[x] = number
        self.spines = []         # [clause number, frozenset of literals]
        for _ in range(self.spine_count):
            literals = set()
            while len(literals) < rng.randint(6, 14):
                literals.add(self.in_phase[rng.choice(self.existentials)])
            deepest = max(self.level[l] for l in literals)
            for _ in range(rng.randint(0, 3)):
                literals.add(self._universal(rng.choice(
                    [level for level in range(1, LEVELS, 2) if level < deepest] or [LAST_LEVEL])))
            number = self._add_input(sorted(literals, key=abs))
            self.spines.append([number, frozenset(literals)])

    def qdimacs(self):
        lines = ["c benchmark formula: Q-resolution refutation test\n",
                 "p cnf %d %d\n" % (self.variables, len(self.clauses))]
        for level, block in enumerate(self.blocks):
            lines.append(("e " if level % 2 == 0 else "a ") + " ".join(map(str, block)) + " 0\n")
        for clause in self.clauses:
            lines.append(" ".join(map(str, clause)) + " 0\n")
        return "".join(lines)

    # ---- steps ---------------------------------------------------------

    def _reduce(self, union):
        level = self.level
        deepest = -1
        for l in union:
            lv = level[l]
            if lv % 2 == 0 and lv > deepest:
                deepest = lv
        return frozenset(l for l in union if level[l] % 2 == 0 or level[l] < deepest)

    def _sound(self, antecedents, result):
        """Every surviving universal is blocked, in each antecedent holding it,
        by a deeper non-pivot existential. `antecedents` lists (universals,
        deepest non-pivot existential level) pairs."""
        level = self.level
        for universals, deepest in antecedents:
            for u in universals:
                if level[u] > deepest and u in result:
                    return False
        return True

    def _split(self, literals, pivots):
        level = self.level
        universals = []
        deepest = -1
        for l in literals:
            lv = level[l]
            if lv % 2:
                universals.append(l)
            elif lv > deepest and l not in pivots:
                deepest = lv
        return universals, deepest

    def _side(self, pivot, shrink_share, forbidden):
        """A rule for the pivot's variable whose D avoids `forbidden`."""
        v = abs(pivot)
        rng = self.rng
        if rng.random() < shrink_share:
            number = self.shrink[v]
        else:
            pool = self.expand[v] + self.lemmas[v]
            number = rng.choice(pool)
        d = self.rule_d[number]
        if not d.isdisjoint(forbidden):
            return None
        return number

    def _try_step(self, base_literals, pivots, shrink_share, extra_forbidden=(), minimum=MIN_SIZE):
        forbidden = set(pivots)
        forbidden.update(extra_forbidden)
        sides = []
        for p in pivots:
            number = self._side(p, shrink_share, forbidden)
            if number is None:
                return None
            sides.append(number)
        union = set(base_literals)
        union.difference_update(pivots)
        for number in sides:
            union.update(self.rule_d[number])
        result = self._reduce(union)
        if not minimum <= len(result) <= MAX_SIZE:
            return None
        if sum(1 for l in result if self.level[l] % 2 == 0) < 2:
            return None
        pivot_set = set(pivots)
        checks = [self._split(base_literals, pivot_set)]
        for number in sides:
            checks.append(self._split(self.rule_d[number], ()))
        if not self._sound(checks, result):
            return None
        return sides, result, len(result) < len(union)

    def _shrink_share(self, existentials):
        return min(0.9, max(0.1, (existentials - 6) / 12.0))

    def spine_step(self, spine_index):
        rng = self.rng
        spine = self.spines[spine_index]
        literals = spine[1]
        level = self.level
        existential = [l for l in literals if level[l] % 2 == 0]
        universals = len(literals) - len(existential)
        if universals > 6 and universals > len(existential) // 2:
            # Too many universal literals: drop the deepest existential ones
            # (with shrink rules), so that universal reduction removes some.
            deepest = max(level[l] for l in existential)
            pivots = [l for l in existential if level[l] == deepest]
            rng.shuffle(pivots)
            pivots = pivots[:MAX_PIVOTS]
            if len(pivots) < len(existential):
                made = self._try_step(literals, pivots, 1.0)
                if made:
                    sides, result, reduced = made
                    spine[0] = self._emit(result, [spine[0]] + sides, reduced)
                    spine[1] = result
                    return True
        share = self._shrink_share(len(existential))
        for attempt in range(40):
            k = rng.randint(1, min(MAX_PIVOTS, len(existential) - 1))
            pivots = rng.sample(existential, k)
            # Rarely no choice gives 3 literals or more; then accept fewer.
            made = self._try_step(literals, pivots, share, minimum=MIN_SIZE if attempt < 20 else 1)
            if made:
                sides, result, reduced = made
                spine[0] = self._emit(result, [spine[0]] + sides, reduced)
                spine[1] = result
                return True
        return False

    def lemma_step(self):
        rng = self.rng
        level = self.level
        for _ in range(20):
            x = rng.choice(self.existentials)
            pool = self.expand[x] + self.lemmas[x]
            base = rng.choice(pool)
            d = self.rule_d[base]
            existential = [l for l in d if level[l] % 2 == 0]
            if not existential:
                continue
            minus_x = -self.in_phase[x]
            base_literals = d | {minus_x}
            k = rng.randint(1, min(MAX_PIVOTS, len(existential)))
            pivots = rng.sample(existential, k)
            made = self._try_step(base_literals, pivots, self._shrink_share(len(existential) + 1),
                                  extra_forbidden=(-minus_x,))
            if not made:
                continue
            sides, result, reduced = made
            number = self._emit(result, [base] + sides, reduced)
            self.rule_d[number] = result - {minus_x}
            self.rule_var[number] = x
            kept = self.lemmas[x]
            kept.append(number)
            if len(kept) > LEMMAS_KEPT:
                del kept[0]
            return True
        return False

    def bulk_step(self):
        rng = self.rng
        while True:
            if rng.random() < self.lemma_share:
                if self.lemma_step():
                    return
            elif self.spine_step(rng.randrange(self.spine_count)):
                return

    def finishing_plan(self, steps=None):
        """Chunks of spine 0's existential literals, deepest level first.
        With `steps`, exactly that many chunks (None when impossible)."""
        literals = self.spines[0][1]
        existential = sorted((l for l in literals if self.level[l] % 2 == 0),
                             key=lambda l: (-self.level[l], abs(l)))
        e = len(existential)
        if steps is None:
            steps = -(-e // MAX_PIVOTS)
        if not -(-e // MAX_PIVOTS) <= steps <= e:
            return None
        sizes = [e // steps + (1 if i < e % steps else 0) for i in range(steps)]
        chunks, start = [], 0
        for size in sizes:
            chunks.append(existential[start:start + size])
            start += size
        return chunks

    def finish(self, chunks):
        spine = self.spines[0]
        for chunk in chunks:
            base_literals = spine[1]
            sides = [self.shrink[abs(p)] for p in chunk]
            union = set(base_literals)
            union.difference_update(chunk)
            for number in sides:
                union.update(self.rule_d[number])
            result = self._reduce(union)
            checks = [self._split(base_literals, set(chunk))]
            checks += [self._split(self.rule_d[n], ()) for n in sides]
            assert self._sound(checks, result)
            spine[0] = self._emit(result, [spine[0]] + sides, len(result) < len(union))
            spine[1] = result
        assert not spine[1]
        return spine[0]

    def summary(self):
        return {"steps": self.steps, "input_clauses": len(self.clauses),
                "reduced_steps": self.reduced_steps,
                "antecedents_per_step": round(self.antecedents / max(1, self.steps), 2),
                "derived_antecedent_share": round(self.derived_antecedents / max(1, self.antecedents), 3)}

    # ---- output --------------------------------------------------------

    def _emit(self, result, antecedents, reduced):
        if reduced:
            self.reduced_steps += 1
        self.antecedents += len(antecedents)
        self.derived_antecedents += sum(1 for a in antecedents if a in self.derived)
        number = self.next_number
        self.next_number += 1
        self.steps += 1
        self.derived.add(number)
        self.rng.shuffle(antecedents)
        literals = list(result)
        self.rng.shuffle(literals)
        self.sink(number, literals, antecedents)
        return number

    def sink(self, number, literals, antecedents):
        raise NotImplementedError


class _Writer(Proof):
    def __init__(self, seed, chain_file, merge_file=None, **options):
        self.chain_file = chain_file
        self.merge_file = merge_file
        self.lines = []          # kept only when the lines are written reversed
        self.keep = False
        self.chain_bytes = 0
        super().__init__(seed, **options)

    def sink(self, number, literals, antecedents):
        ants = " ".join(map(str, antecedents))
        line = "%d %s 0 %s 0\n" % (number, " ".join(map(str, literals)), ants) if literals \
            else "%d 0 %s 0\n" % (number, ants)
        self.chain_bytes += len(line)
        if self.keep:
            self.lines.append(line)
        else:
            self.chain_file.write(line)
        if self.merge_file is not None:
            self.merge_file.write("%d * %s 0\n" % (number, ants))


HEADER = "QBCertificate\nc synthetic Q-resolution refutation, seed %d\n"


def write_forward(seed, qdimacs_path, chain_path, merge_path, target_bytes):
    """Inputs 1 and 2: one proof, written with resolvents and with "*"."""
    with open(chain_path, "w") as chain, open(merge_path, "w") as merge:
        chain.write(HEADER % seed)
        merge.write(HEADER % seed)
        proof = _Writer(seed, chain, merge)
        while proof.chain_bytes < target_bytes:
            proof.bulk_step()
        last = proof.finish(proof.finishing_plan())
        chain.write("CONCLUDE INVALID %d\n" % last)
        merge.write("CONCLUDE INVALID %d\n" % last)
    with open(qdimacs_path, "w") as out:
        out.write(proof.qdimacs())
    return proof.summary()


def write_reversed(seed, qdimacs_path, cert_path, lines):
    """Input 3: one spine of exactly `lines` steps, each using the clause of
    the step before, written last step first: every line but the one of the
    first step names a clause that a later line defines."""
    proof = _Writer(seed, None, None, chained=True)
    proof.keep = True
    while True:
        remaining = lines - proof.steps
        chunks = proof.finishing_plan(remaining) if remaining <= MAX_SIZE else None
        if chunks is not None:
            break
        if remaining <= 0:
            raise RuntimeError("the spine cannot be finished in exactly %d lines" % lines)
        proof.bulk_step()
    last = proof.finish(chunks)
    assert proof.steps == lines
    with open(cert_path, "w") as out:
        out.write(HEADER % seed)
        out.write("c the numbered lines stand in reverse order of derivation\n")
        for line in reversed(proof.lines):
            out.write(line)
        out.write("CONCLUDE INVALID %d\n" % last)
    with open(qdimacs_path, "w") as out:
        out.write(proof.qdimacs())
    return proof.summary()
