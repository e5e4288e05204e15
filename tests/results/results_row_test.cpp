#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/mass_text.h"
#include "link/trace.h"
#include "procedure/plan.h"
#include "results/results_row.h"
#include "support/results_sequence.h"

namespace librato {
namespace {

using testing::ResultsSequence;

RowInputs ARow(int readingCount, int aCount, int bCount) {
  RowInputs in;
  in.readingCount = readingCount;
  in.aCount = aCount;
  in.bCount = bCount;
  in.rowLabel = "A";
  in.rowNumber = aCount;
  in.acceptedValue = 100.0;
  in.timeText = "9:41:07";
  in.ReferenceNumber = "E2-17";
  return in;
}

TEST(ResultsRow, FirstReadingFillsRowOneLaterOnesGrowTheTable) {
  ResultsTable t;
  Trace trace;
  const MassText mass(4, &trace);
  RowInputs a = ARow(1, 1, 0);
  a.acceptedValue = 0.0005;
  PrintToStrGridCur(t, mass, trace, a);
  EXPECT_EQ(t.rowCount(), 2);
  EXPECT_EQ(t.cell(ResultsTable::kNumber, 1), "1");
  EXPECT_EQ(t.cell(ResultsTable::kTime, 1), "9:41:07");
  EXPECT_EQ(t.cell(ResultsTable::kLabel, 1), "A1");
  EXPECT_EQ(t.cell(ResultsTable::kWeightNo, 1), "E2-17");
  EXPECT_EQ(t.cell(ResultsTable::kReading, 1), "0,0005");

  RowInputs b = ARow(2, 1, 1);
  b.rowLabel = "B";
  b.rowNumber = 1;
  b.acceptedValue = 99.99987;  // shown with the balance's four decimals
  PrintToStrGridCur(t, mass, trace, b);
  EXPECT_EQ(t.rowCount(), 3);
  EXPECT_EQ(t.cell(ResultsTable::kLabel, 2), "B1");
  EXPECT_EQ(t.cell(ResultsTable::kWeightNo, 2), "");  // no weight numbers in use
  EXPECT_EQ(t.cell(ResultsTable::kReading, 2), "99,9999");
  EXPECT_TRUE(trace.lines().empty());  // group cycle: no trace line
}

TEST(ResultsRow, ScrollsFromTheFifthReadingOn) {
  auto plan = [] {
    PlanInputs in;
    in.GroupCycle = true;
    in.WeightCount = 5;
    in.LoadInCycle = 5;
    Trace t;
    return *BuildPlan(in, t);
  }();
  CalcOptions opt;
  opt.LoadInCycle = 5;
  opt.RealMass = 100;
  opt.NominalMass = 100;
  ResultsSequence s(plan, opt, 4, 5);
  std::vector<int> tops;
  for (double r : {100.0, 100.001, 100.002, 100.003, 100.004, 100.005, 100.0}) {
    s.place(r);
    tops.push_back(s.table.topRow());
  }
  EXPECT_EQ(tops, (std::vector<int>{1, 1, 1, 1, 2, 3, 4}));
  EXPECT_EQ(s.table.rowCount(), 8);
}

TEST(ResultsRow, WeightNumbersIndividualAbbaTwoCycles) {
  PlanInputs in;
  in.GroupCycle = false;
  in.MethodABA = false;
  in.CyclesToWeight = 2;
  in.WeightCount = 2;
  Trace planTrace;
  CalcOptions opt;
  opt.GroupCycle = false;
  opt.MethodABA = false;
  opt.CyclesToWeight = 2;
  opt.RealMass = 100;
  opt.NominalMass = 100;
  ResultsSequence s(*BuildPlan(in, planTrace), opt, 4, 2);
  s.numbersEntered = true;
  s.weightNumbers = {"101", "102"};
  std::vector<double> readings(s.placements(), 100.0);
  s.run(readings);

  std::vector<std::string> bNumbers, delitel;
  for (int r = 1; r < s.table.rowCount(); ++r) {
    const std::string& label = s.table.cell(ResultsTable::kLabel, r);
    if (label[0] == 'A')
      EXPECT_EQ(s.table.cell(ResultsTable::kWeightNo, r), "R1") << r;
    else
      bNumbers.push_back(s.table.cell(ResultsTable::kWeightNo, r));
  }
  EXPECT_EQ(bNumbers,
            (std::vector<std::string>{"101", "101", "101", "101", "102", "102", "102", "102"}));
  for (const auto& l : s.trace.lines())
    if (l.rfind("PrintToStrGridCur", 0) == 0) delitel.push_back(l);
  ASSERT_EQ(delitel.size(), 8u);
  EXPECT_EQ(delitel.front(), "PrintToStrGridCur Bcount = 1 delitel = 4");
  EXPECT_EQ(delitel.back(), "PrintToStrGridCur Bcount = 8 delitel = 4");
}

struct NumberCase {
  const char* name;
  bool sko, numbers, group;
  int weightCount, bCount;
  std::vector<std::string> names;
  const char* expected;
  bool traced;
};

TEST(ResultsRow, WeightNumberOfABRow) {
  const std::vector<NumberCase> cases = {
      {"group: weight b", false, true, true, 3, 2, {"N1", "N2", "N3"}, "N2", false},
      {"group, one weight: weight 1", false, true, true, 1, 2, {"N1", "N2"}, "N1", false},
      {"individual ABA C=1: weight b", false, true, false, 3, 3, {"N1", "N2", "N3"}, "N3", true},
      {"weight without a number", false, true, false, 3, 2, {"N1", ""}, "", true},
      {"numbers not in use", false, false, false, 3, 2, {"N1", "N2"}, "", false},
      {"determination mode: the reference", true, true, false, 3, 2, {"N1", "N2"}, "E2-17", false},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsTable t;
    t.setRowCount(3);
    Trace trace;
    const MassText mass(4, &trace);
    RowInputs in = ARow(3, 1, c.bCount);
    in.rowLabel = "B";
    in.rowNumber = c.bCount;
    in.DetermineSKO = c.sko;
    in.NumbersEntered = c.numbers;
    in.GroupCycle = c.group;
    in.WeightCount = c.weightCount;
    in.weightNumber = [&c](int w) {
      return w >= 1 && w <= static_cast<int>(c.names.size()) ? c.names[w - 1] : std::string();
    };
    PrintToStrGridCur(t, mass, trace, in);
    EXPECT_EQ(t.cell(ResultsTable::kWeightNo, 3), c.expected);
    EXPECT_EQ(trace.lines().size(), c.traced ? 1u : 0u);
  }
}

}  // namespace
}  // namespace librato
