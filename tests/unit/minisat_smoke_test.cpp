// Checks that the MiniSat we build from Debian's source links and behaves the
// way zel's checker relies on: incremental clauses, solving under assumptions
// (which must not stick), models, and the final conflict over assumptions.
#include "minisat/core/Solver.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

// l_True/l_False/l_Undef are macros that name `lbool` unqualified, so it has
// to be visible here.
using Minisat::lbool;
using Minisat::Lit;
using Minisat::mkLit;
using Minisat::Solver;
using Minisat::Var;
using Minisat::vec;

// lbool has no printer; this keeps assertion failures readable.
std::string show(lbool b) {
    if (b == l_True) return "true";
    if (b == l_False) return "false";
    return "undef";
}

// (a | b) & (~a | c) & (~b | c): every model has c true.
struct ImpliesC : ::testing::Test {
    Solver s;
    Var a = 0, b = 0, c = 0;

    void SetUp() override {
        a = s.newVar();
        b = s.newVar();
        c = s.newVar();
        ASSERT_TRUE(add({mkLit(a), mkLit(b)}));
        ASSERT_TRUE(add({~mkLit(a), mkLit(c)}));
        ASSERT_TRUE(add({~mkLit(b), mkLit(c)}));
    }

    bool add(std::initializer_list<Lit> lits) {
        vec<Lit> clause;
        for (Lit l : lits) clause.push(l);
        return s.addClause(clause);
    }
};

TEST_F(ImpliesC, VariablesAreNumberedFromZero) {
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(s.nVars(), 3);
    EXPECT_EQ(s.nClauses(), 3);
    EXPECT_TRUE(s.okay());
}

TEST_F(ImpliesC, SatisfiableUnderAssumptionGivesConsistentModel) {
    vec<Lit> assumptions;
    assumptions.push(mkLit(a));
    assumptions.push(~mkLit(b));
    ASSERT_TRUE(s.solve(assumptions));

    ASSERT_EQ(s.model.size(), 3);
    EXPECT_EQ(show(s.modelValue(a)), "true");
    EXPECT_EQ(show(s.modelValue(b)), "false");
    EXPECT_EQ(show(s.modelValue(c)), "true");
    EXPECT_TRUE(s.model[c] == l_True);
    // Literal form honours the sign.
    EXPECT_TRUE(s.modelValue(~mkLit(b)) == l_True);
    EXPECT_TRUE(s.modelValue(~mkLit(c)) == l_False);
}

TEST_F(ImpliesC, UnsatisfiableUnderAssumptionReportsConflict) {
    vec<Lit> assumptions;
    assumptions.push(~mkLit(c));
    EXPECT_FALSE(s.solve(assumptions));

    // The conflict is a clause over negated assumptions: here just c.
    ASSERT_EQ(s.conflict.size(), 1);
    EXPECT_TRUE(s.conflict[0] == mkLit(c));

    // Assumptions are not clauses: the formula itself is still satisfiable,
    // and the solver is not left in a conflicting state.
    EXPECT_TRUE(s.okay());
    EXPECT_TRUE(s.solve());
    EXPECT_TRUE(s.model[c] == l_True);
}

TEST_F(ImpliesC, ContradictoryUnitsMakeSolverNotOkay) {
    EXPECT_TRUE(s.addClause(~mkLit(c)) == false);
    EXPECT_FALSE(s.okay());
    EXPECT_FALSE(s.solve());
}

}  // namespace
