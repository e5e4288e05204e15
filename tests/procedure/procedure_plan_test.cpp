#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "link/trace.h"
#include "procedure/plan.h"

namespace librato {
namespace {

PlanInputs Group(int n, int l, bool depend) {
  PlanInputs in;
  in.GroupCycle = true;
  in.WeightCount = n;
  in.LoadInCycle = l;
  in.Depend = depend;
  return in;
}

PlanInputs Individual(int n, int c, bool aba, bool depend) {
  PlanInputs in;
  in.GroupCycle = false;
  in.WeightCount = n;
  in.CyclesToWeight = c;
  in.MethodABA = aba;
  in.Depend = depend;
  return in;
}

std::string Codes(const Plan& plan) {
  std::string s;
  for (ProcedureStep p : plan) {
    if (!s.empty()) s += ' ';
    s += std::to_string(static_cast<int>(p));
  }
  return s;
}

struct PlanCase {
  const char* name;
  PlanInputs in;
  int length;
  const char* codes;
};

TEST(Plan, WorkedExamplesAndEdgeCases) {
  const std::vector<PlanCase> cases = {
      {"group N5 L2 dependent", Group(5, 2, true), 23,
       "0 1 2 3 4 3 5 3 5 3 4 3 5 3 5 3 4 3 5 3 4 3 6"},
      {"group N5 L2 independent", Group(5, 2, false), 27,
       "0 1 2 3 4 3 5 3 5 3 4 3 4 3 5 3 5 3 4 3 4 3 5 3 4 3 6"},
      {"ABA N2 C2 dependent", Individual(2, 2, true, true), 23,
       "0 1 2 3 4 3 5 3 4 3 5 3 4 3 5 3 4 3 5 3 4 3 6"},
      {"ABA N2 C1 independent", Individual(2, 1, true, false), 17,
       "0 1 2 3 4 3 5 3 4 3 4 3 5 3 4 3 6"},
      {"ABBA N2 C1 independent", Individual(2, 1, false, false), 21,
       "0 1 2 3 4 3 5 3 5 3 4 3 4 3 5 3 5 3 4 3 6"},
      {"ABBA N1 C2 dependent", Individual(1, 2, false, true), 19,
       "0 1 2 3 4 3 5 3 5 3 4 3 5 3 5 3 4 3 6"},
      // N a multiple of L: every group holds L weights.
      {"group N4 L2 dependent", Group(4, 2, true), 19, "0 1 2 3 4 3 5 3 5 3 4 3 5 3 5 3 4 3 6"},
      // L > N: one group with all weights.
      {"group N3 L5 dependent", Group(3, 5, true), 15, "0 1 2 3 4 3 5 3 5 3 5 3 4 3 6"},
      {"group N3 L5 independent", Group(3, 5, false), 15, "0 1 2 3 4 3 5 3 5 3 5 3 4 3 6"},
      // The only cycle is also the last: both cycle modes agree.
      {"ABA N1 C1 dependent", Individual(1, 1, true, true), 11, "0 1 2 3 4 3 5 3 4 3 6"},
      {"ABA N1 C1 independent", Individual(1, 1, true, false), 11, "0 1 2 3 4 3 5 3 4 3 6"},
      {"ABBA N1 C1 independent", Individual(1, 1, false, false), 13, "0 1 2 3 4 3 5 3 5 3 4 3 6"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    Trace trace;
    const auto plan = BuildPlan(c.in, trace);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(Codes(*plan), c.codes);
    EXPECT_EQ(static_cast<int>(plan->size()), c.length);
    EXPECT_EQ(PlanLength(c.in), c.length);
  }
}

// The built plan always has the formula's length and the fixed shape, over
// the whole range of the controls, so no entry is ever left unset.
TEST(Plan, LengthMatchesFormulaAcrossSchemes) {
  for (int n = 1; n <= 12; ++n) {
    for (bool depend : {true, false}) {
      for (int l = 1; l <= 5; ++l) {
        PlanInputs in = Group(n, l, depend);
        Trace t;
        const auto plan = BuildPlan(in, t);
        ASSERT_TRUE(plan);
        EXPECT_EQ(static_cast<int>(plan->size()), PlanLength(in)) << n << " " << l;
        int b = 0;
        for (ProcedureStep s : *plan) b += s == ProcedureStep::WaitForB;
        EXPECT_EQ(b, n);
      }
      for (bool aba : {true, false}) {
        for (int c = 1; c <= 10; ++c) {
          PlanInputs in = Individual(n, c, aba, depend);
          Trace t;
          const auto plan = BuildPlan(in, t);
          ASSERT_TRUE(plan);
          const int k = aba ? 1 : 2;
          const int expected =
              depend ? 2 * k * n * c + 2 * n * c + 7 : 2 * k * n * c + 4 * n * c + 5;
          EXPECT_EQ(static_cast<int>(plan->size()), expected);
          EXPECT_EQ(PlanLength(in), expected);
          EXPECT_EQ(plan->back(), ProcedureStep::Finish);
          // Every placement is followed by a removal.
          for (std::size_t i = 4; i + 1 < plan->size(); i += 2) {
            EXPECT_TRUE((*plan)[i] == ProcedureStep::WaitForA ||
                        (*plan)[i] == ProcedureStep::WaitForB);
            EXPECT_EQ((*plan)[i + 1], ProcedureStep::WaitForClear);
          }
        }
      }
    }
  }
}

TEST(Plan, LongestPlanOfTheControls) {
  Trace t;
  const auto plan = BuildPlan(Individual(100, 10, false, false), t);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->size(), 8005u);
}

TEST(Plan, GroupIgnoresMethodAndCyclesIndividualIgnoresLoad) {
  Trace t1, t2;
  PlanInputs a = Group(5, 2, true);
  PlanInputs b = a;
  b.MethodABA = false;
  b.CyclesToWeight = 3;
  EXPECT_EQ(Codes(*BuildPlan(a, t1)), Codes(*BuildPlan(b, t2)));

  PlanInputs c = Individual(2, 2, false, false);
  PlanInputs e = c;
  e.LoadInCycle = 5;
  EXPECT_EQ(Codes(*BuildPlan(c, t1)), Codes(*BuildPlan(e, t2)));
}

TEST(Plan, NoWeightsGivesNoPlan) {
  for (bool group : {true, false}) {
    for (bool depend : {true, false}) {
      for (int n : {0, -3}) {
        PlanInputs in = group ? Group(n, 2, depend) : Individual(n, 1, true, depend);
        Trace trace;
        trace.add("old");
        EXPECT_FALSE(BuildPlan(in, trace).has_value());
        EXPECT_EQ(trace.copyLines(), std::vector<std::string>{"0"});
      }
    }
  }
}

TEST(Plan, TraceLinesPerVariant) {
  {
    Trace trace;
    trace.add("earlier run");
    ASSERT_TRUE(BuildPlan(Group(5, 2, true), trace));
    EXPECT_EQ(trace.copyLines(), (std::vector<std::string>{
                                 "0", "Weights: 5", "LoadInCycle: 2", "Steps: 23", "Cycles: 3",
                                 "Algo:  0 1 2 3 4 3 5 3 5 3 4 3 5 3 5 3 4 3 5 3 4 3 6"}));
  }
  {
    // The method's list index comes first, also in group cycles.
    Trace trace;
    PlanInputs in = Group(1, 1, false);
    in.MethodABA = false;
    ASSERT_TRUE(BuildPlan(in, trace));
    EXPECT_EQ(trace.copyLines(),
              (std::vector<std::string>{"1", "Weights: 1", "LoadInCycle: 1", "Steps: 11",
                                        "Cycles: 1", "Algo:  0 1 2 3 4 3 5 3 4 3 6"}));
  }
  {
    Trace trace;
    ASSERT_TRUE(BuildPlan(Individual(1, 2, false, true), trace));
    EXPECT_EQ(trace.copyLines(),
              (std::vector<std::string>{"1", "Steps: 19", "Weights: 1",
                                        "Algo:  0 1 2 3 4 3 5 3 5 3 4 3 5 3 5 3 4 3 6"}));
  }
}

TEST(Plan, TestWeightOfEachBPlacement) {
  // Group cycles: each weight once.
  for (int b = 1; b <= 7; ++b) EXPECT_EQ(TestWeightOfB(b, Group(7, 3, true)), b);
  // Individual: ceil(b / (k * C)).
  const PlanInputs aba = Individual(3, 2, true, true);
  const std::vector<int> abaWeights = {1, 1, 2, 2, 3, 3};
  for (int b = 1; b <= 6; ++b) EXPECT_EQ(TestWeightOfB(b, aba), abaWeights[b - 1]) << b;
  const PlanInputs abba = Individual(2, 2, false, false);
  for (int b = 1; b <= 8; ++b) EXPECT_EQ(TestWeightOfB(b, abba), b <= 4 ? 1 : 2) << b;
}

}  // namespace
}  // namespace librato
