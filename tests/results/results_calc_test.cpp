// Complete runs of every cycle scheme through the call sequence of a run,
// checked against tables worked out by hand (d = 4 unless said otherwise,
// reference 100,00012 g conventional, 100 g nominal: ref = 10000012 tenth
// counts, nom = 10000000).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/trace.h"
#include "procedure/plan.h"
#include "results_table_check.h"
#include "support/results_sequence.h"

namespace librato {
namespace {

using testing::ExpectedRow;
using testing::ExpectTable;
using testing::ResultsSequence;

constexpr double kReal = 100.00012;
constexpr double kNominal = 100.0;

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

std::unique_ptr<ResultsSequence> Start(PlanInputs in, bool sko, int d = 4, double real = kReal,
                                       double nominal = kNominal) {
  in.DetermineSKO = sko;
  Trace planTrace;
  auto plan = BuildPlan(in, planTrace);
  EXPECT_TRUE(plan.has_value());
  CalcOptions opt;
  opt.GroupCycle = in.GroupCycle;
  opt.MethodABA = in.MethodABA;
  opt.Depend = in.Depend;
  opt.CyclesToWeight = in.CyclesToWeight;
  opt.LoadInCycle = in.LoadInCycle;
  opt.DetermineSKO = sko;
  opt.RealMass = real;
  opt.NominalMass = nominal;
  return std::make_unique<ResultsSequence>(plan.value_or(Plan{}), opt, d, in.WeightCount);
}

const std::string G = "GetLong prec = 4";

TEST(CalcWorkedExample, AbaSingleCycleAndItsTrace) {
  // An 100,0000, B 100,0012, Ak 100,0001: half(An + Ak) = 100000050, X = 1150.
  auto s = Start(Individual(1, 1, true, true), false);
  s->run({100.0, 100.0012, 100.0001});
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00115", "0,00115", "100,00127", "0,00127"},
                            {"A2", "100,0001", "", "", "", ""},
                        });
  EXPECT_EQ(s->trace.copyLines(),
            (std::vector<std::string>{"Calc", "CalcMultiple", G, G, G, "Calc", "Calc1", G, G,
                                      "Calc3 100,0012", G, G, "Calc4", G, G, G, G}));
  EXPECT_EQ(s->calcMultipleCalls, 1);
  EXPECT_EQ(s->calcCalls, 2);  // at A1 (no B yet) and at the last A
}

TEST(CalcWorkedExample, RoundingOfShownDifferences) {
  const MassText mass(4, nullptr);
  EXPECT_EQ(mass.LongToText(1150), "0,00115");
  EXPECT_EQ(mass.LongToText(1155), "0,00116");
  EXPECT_EQ(mass.LongToText(-1155), "-0,00116");
  EXPECT_EQ(mass.LongToText(-12, 0), "-0,00012");
}

TEST(CalcWorkedExample, StandardDeviationOfTheMean) {
  // Differences 1150, 1200, 1100: mean 1150, S = 5000, V = 833, s = 28.
  auto s = Start(Individual(1, 3, true, true), false);
  s->run({100.0, 100.0012, 100.0001, 100.0013, 100.0001, 100.0012, 100.0001});
  ExpectTable(s->table,
              {
                  {"A1", "100,0000", "", "", "", ""},
                  {"B1", "100,0012", "0,00115", "", "", ""},
                  {"A2", "100,0001", "", "", "", ""},
                  {"B2", "100,0013", "0,00120", "", "", ""},
                  {"A3", "100,0001", "", "", "", ""},
                  {"B3", "100,0012", "0,00110", "0,00115", "100,00127 СКО=0,00003 г", "0,00127"},
                  {"A4", "100,0001", "", "", "", ""},
              });
  const auto& lines = s->trace.lines();
  std::vector<std::string> sko;
  for (const auto& l : lines)
    if (l.rfind("SKO", 0) == 0) sko.push_back(l);
  EXPECT_EQ(sko,
            (std::vector<std::string>{"SKO jump = 2", "SKO Sdif = 0; j = 2; Xi = 1150; sqr = 0",
                                      "SKO Sdif = 0; j = 4; Xi = 1200; sqr = 2500",
                                      "SKO Sdif = 2500; j = 6; Xi = 1100; sqr = 2500",
                                      "SKO final Sdif = 5000; n/(n-1) = 6"}));
}

// ------------------------------------------------------------ group cycles

TEST(CalcGroup, DependentMassesOfEveryWeight) {
  auto s = Start(Group(3, 2, true), false);
  s->run({100.0, 100.0012, 99.9990, 100.0002, 100.0005, 100.0004});
  // A2 closes B1, B2: half(100000000 + 100000200) = 100000100.
  // A3 closes B3: half(100000200 + 100000400) = 100000300.
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00110", "", "100,00122", "0,00122"},
                            {"B2", "99,9990", "-0,00110", "", "99,99902", "-0,00098"},
                            {"A2", "100,0002", "", "", "", ""},
                            {"B3", "100,0005", "0,00020", "", "100,00032", "0,00032"},
                            {"A3", "100,0004", "", "", "", ""},
                        });
  EXPECT_EQ(s->trace.count("CM"), 3);
  EXPECT_EQ(s->trace.count("Calc1"), 0);
  EXPECT_TRUE(s->skoVisible);
  EXPECT_EQ(s->skoCaption, "");
}

TEST(CalcGroup, IndependentSkipsTheOpeningA) {
  auto s = Start(Group(3, 2, false), false);
  s->run({100.0, 100.0012, 99.9990, 100.0002, 100.0001, 100.0005, 100.0003});
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00110", "", "100,00122", "0,00122"},
                            {"B2", "99,9990", "-0,00110", "", "99,99902", "-0,00098"},
                            {"A2", "100,0002", "", "", "", ""},
                            {"A3", "100,0001", "", "", "", ""},
                            // half(100000100 + 100000300) = 100000200
                            {"B3", "100,0005", "0,00030", "", "100,00042", "0,00042"},
                            {"A4", "100,0003", "", "", "", ""},
                        });
  // No computation at A1, and none at A3, which opens a cycle right after A2.
  EXPECT_EQ(s->calcMultipleCalls, 2);
}

TEST(CalcGroup, DeterminationModeLeavesMassesEmptyAndShowsBalanceSko) {
  auto s = Start(Group(3, 2, true), true);
  const std::vector<double> readings = {100.0, 100.0012, 99.9990, 100.0002, 100.0005, 100.0004};
  for (std::size_t i = 0; i < 4; ++i) s->place(readings[i]);
  // At A2: values 0,00110 and -0,00110, sqrt(2 * 0,0011^2 / 1) = 0,0015556.
  EXPECT_EQ(s->skoCaption, "СКО = 0,00156 г");
  s->place(readings[4]);
  s->place(readings[5]);
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00110", "", "", ""},
                            {"B2", "99,9990", "-0,00110", "", "", ""},
                            {"A2", "100,0002", "", "", "", ""},
                            {"B3", "100,0005", "0,00020", "", "", ""},
                            {"A3", "100,0004", "", "", "", ""},
                        });
  // 110, -110, 20 (1e-5 g): mean 6,667, Q = 24466,7, sqrt(Q / 2) = 110,60.
  EXPECT_EQ(s->skoCaption, "СКО = 0,00111 г");
}

TEST(CalcGroup, LabelVisibility) {
  CalcOptions one;
  one.GroupCycle = true;
  one.LoadInCycle = 1;
  EXPECT_FALSE(SkoLabelVisible(one, 2));
  EXPECT_TRUE(SkoLabelVisible(one, 3));
  CalcOptions two = one;
  two.LoadInCycle = 2;
  EXPECT_FALSE(SkoLabelVisible(two, 1));
  EXPECT_TRUE(SkoLabelVisible(two, 2));
  CalcOptions ind;
  ind.GroupCycle = false;
  ind.CyclesToWeight = 3;
  EXPECT_FALSE(SkoLabelVisible(ind, 3));
  EXPECT_TRUE(SkoLabelVisible(ind, 4));
}

// ------------------------------------------------------- individual, ABA

TEST(CalcIndividualAba, DependentOneCycle) {
  auto s = Start(Individual(2, 1, true, true), false);
  s->run({100.0, 100.0012, 100.0002, 99.9995, 100.0});
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00110", "0,00110", "100,00122", "0,00122"},
                            {"A2", "100,0002", "", "", "", ""},
                            {"B2", "99,9995", "-0,00060", "-0,00060", "99,99952", "-0,00048"},
                            {"A3", "100,0000", "", "", "", ""},
                        });
  EXPECT_EQ(s->trace.count("SKO jump = 2"), 0);
}

TEST(CalcIndividualAba, DependentTwoCyclesSharesAAcrossWeights) {
  auto s = Start(Individual(2, 2, true, true), false);
  s->run({100.0, 100.0012, 100.0002, 100.0015, 100.0002, 99.9995, 100.0, 99.9992, 100.0002});
  // Weight 1: 1100, 1300, mean 1200, D = -100, 100, V = 10000, s = 100.
  // Weight 2 (A3 opens it): -600, -900, mean -750, D = 150, -150, s = 150.
  ExpectTable(s->table,
              {
                  {"A1", "100,0000", "", "", "", ""},
                  {"B1", "100,0012", "0,00110", "", "", ""},
                  {"A2", "100,0002", "", "", "", ""},
                  {"B2", "100,0015", "0,00130", "0,00120", "100,00132 СКО=0,00010 г", "0,00132"},
                  {"A3", "100,0002", "", "", "", ""},
                  {"B3", "99,9995", "-0,00060", "", "", ""},
                  {"A4", "100,0000", "", "", "", ""},
                  {"B4", "99,9992", "-0,00090", "-0,00075", "99,99937 СКО=0,00015 г", "-0,00063"},
                  {"A5", "100,0002", "", "", "", ""},
              });
  EXPECT_EQ(s->calcCalls, 3);  // A1, A3 (weight 1 done), A5
  EXPECT_TRUE(s->skoVisible);
}

TEST(CalcIndividualAba, IndependentTwoCycles) {
  auto s = Start(Individual(2, 2, true, false), false);
  s->run({100.0, 100.0012, 100.0002, 100.0001, 100.0014, 100.0001, 100.0, 99.9996, 100.0002,
          100.0002, 99.9990, 100.0});
  ExpectTable(s->table,
              {
                  {"A1", "100,0000", "", "", "", ""},
                  {"B1", "100,0012", "0,00110", "", "", ""},
                  {"A2", "100,0002", "", "", "", ""},
                  {"A3", "100,0001", "", "", "", ""},
                  {"B2", "100,0014", "0,00130", "0,00120", "100,00132 СКО=0,00010 г", "0,00132"},
                  {"A4", "100,0001", "", "", "", ""},
                  {"A5", "100,0000", "", "", "", ""},
                  {"B3", "99,9996", "-0,00050", "", "", ""},
                  {"A6", "100,0002", "", "", "", ""},
                  {"A7", "100,0002", "", "", "", ""},
                  {"B4", "99,9990", "-0,00110", "-0,00080", "99,99932 СКО=0,00030 г", "-0,00068"},
                  {"A8", "100,0000", "", "", "", ""},
              });
  EXPECT_EQ(s->trace.count("SKO jump = 3"), 4);  // weight 1 at A4, A5 and A8; weight 2 at A8
  EXPECT_EQ(s->calcMultipleCalls, 4);            // only at the A closing a cycle
}

TEST(CalcIndividualAba, IndependentDeterminationMode) {
  auto s = Start(Individual(2, 1, true, false), true);
  const std::vector<double> readings = {100.0, 100.0012, 100.0002, 100.0001, 100.0005, 100.0001};
  for (std::size_t i = 0; i < 4; ++i) s->place(readings[i]);
  EXPECT_EQ(s->skoCaption, "");  // a single B so far
  s->place(readings[4]);
  s->place(readings[5]);
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "0,00110", "0,00110", "", ""},
                            {"A2", "100,0002", "", "", "", ""},
                            {"A3", "100,0001", "", "", "", ""},
                            {"B2", "100,0005", "0,00040", "0,00040", "", ""},
                            {"A4", "100,0001", "", "", "", ""},
                        });
  // 0,0011 and 0,0004: sqrt(2 * 0,00035^2) = 0,000495.
  EXPECT_EQ(s->skoCaption, "СКО = 0,00049 г");
  EXPECT_TRUE(s->skoVisible);
  EXPECT_EQ(s->trace.count("SKO jump = 2"), 0);
}

// ------------------------------------------------------ individual, ABBA

TEST(CalcIndividualAbba, DependentOneCycleAcrossWeights) {
  auto s = Start(Individual(2, 1, false, true), false);
  s->run({100.0, 100.0012, 100.0014, 100.0002, 100.0010, 100.0017, 100.0});
  // Weight 2 opens with A2: half(200002700 - 200000200) = 1250.
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "", "", "", ""},
                            {"B2", "100,0014", "0,00120", "0,00120", "100,00132", "0,00132"},
                            {"A2", "100,0002", "", "", "", ""},
                            {"B3", "100,0010", "", "", "", ""},
                            {"B4", "100,0017", "0,00125", "0,00125", "100,00137", "0,00137"},
                            {"A3", "100,0000", "", "", "", ""},
                        });
  EXPECT_EQ(s->trace.count("Calc3 100,0010"), 1);  // only the first B of a cycle is named
  EXPECT_EQ(s->trace.count("Calc3 100,0017"), 0);
}

TEST(CalcIndividualAbba, DependentTwoCycles) {
  auto s = Start(Individual(1, 2, false, true), false);
  s->run({100.0, 100.0012, 100.0014, 100.0002, 100.0010, 100.0017, 100.0});
  // 1200 and 1250: mean 1225 shown 0,00123, read back 1230; D = -30, 20,
  // S = 1300, V = 650, s = 25 shown 0,00003.
  ExpectTable(s->table,
              {
                  {"A1", "100,0000", "", "", "", ""},
                  {"B1", "100,0012", "", "", "", ""},
                  {"B2", "100,0014", "0,00120", "", "", ""},
                  {"A2", "100,0002", "", "", "", ""},
                  {"B3", "100,0010", "", "", "", ""},
                  {"B4", "100,0017", "0,00125", "0,00123", "100,00135 СКО=0,00003 г", "0,00135"},
                  {"A3", "100,0000", "", "", "", ""},
              });
  EXPECT_EQ(s->trace.count("SKO jump = 3"), 1);
  EXPECT_EQ(s->trace.count("SKO Sdif = 900; j = 6; Xi = 1250; sqr = 400"), 1);
}

TEST(CalcIndividualAbba, IndependentTwoCyclesNegative) {
  auto s = Start(Individual(1, 2, false, false), false);
  s->run({100.0, 99.9990, 99.9992, 100.0002, 100.0001, 99.9989, 99.9991, 100.0});
  // -1000 and -1050: mean -1025 shown -0,00103 (half away from zero).
  ExpectTable(s->table,
              {
                  {"A1", "100,0000", "", "", "", ""},
                  {"B1", "99,9990", "", "", "", ""},
                  {"B2", "99,9992", "-0,00100", "", "", ""},
                  {"A2", "100,0002", "", "", "", ""},
                  {"A3", "100,0001", "", "", "", ""},
                  {"B3", "99,9989", "", "", "", ""},
                  {"B4", "99,9991", "-0,00105", "-0,00103", "99,99909 СКО=0,00003 г", "-0,00091"},
                  {"A4", "100,0000", "", "", "", ""},
              });
  EXPECT_EQ(s->trace.count("SKO jump = 4"), 1);
  EXPECT_EQ(s->calcMultipleCalls, 2);
}

TEST(CalcIndividualAbba, IndependentDeterminationModeOneValuePerCycle) {
  auto s = Start(Individual(2, 1, false, false), true);
  const std::vector<double> readings = {100.0,    100.0012, 100.0014, 100.0002,
                                        100.0001, 99.9990,  99.9993,  100.0001};
  for (std::size_t i = 0; i < 4; ++i) s->place(readings[i]);
  // One value (the second B row): n = 1 gives 0.
  EXPECT_EQ(s->skoCaption, "СКО = 0,00000 г");
  for (std::size_t i = 4; i < readings.size(); ++i) s->place(readings[i]);
  ExpectTable(s->table, {
                            {"A1", "100,0000", "", "", "", ""},
                            {"B1", "100,0012", "", "", "", ""},
                            {"B2", "100,0014", "0,00120", "0,00120", "", ""},
                            {"A2", "100,0002", "", "", "", ""},
                            {"A3", "100,0001", "", "", "", ""},
                            {"B3", "99,9990", "", "", "", ""},
                            {"B4", "99,9993", "-0,00095", "-0,00095", "", ""},
                            {"A4", "100,0001", "", "", "", ""},
                        });
  // 0,0012 and -0,00095: sqrt(2 * 0,001075^2) = 0,00152.
  EXPECT_EQ(s->skoCaption, "СКО = 0,00152 г");
}

// ------------------------------------------------------------ real loads

TEST(CalcRealLoads, FiveKilogramsOnAFourDecimalBalance) {
  // 5000 g is 5 * 10^9 fine counts: beyond 32 bits.
  auto s = Start(Group(2, 2, true), false, 4, 5000.0003, 5000.0);
  s->run({5000.0, 5000.0012, 4999.9985, 5000.0004});
  ExpectTable(s->table, {
                            {"A1", "5000,0000", "", "", "", ""},
                            {"B1", "5000,0012", "0,00100", "", "5000,00130", "0,00130"},
                            {"B2", "4999,9985", "-0,00170", "", "4999,99860", "-0,00140"},
                            {"A2", "5000,0004", "", "", "", ""},
                        });
}

TEST(CalcRealLoads, TwentyKilogramsOnAThreeDecimalBalance) {
  // 20000 g is 2 * 10^9 fine counts; An + Ak is beyond 32 bits.
  auto s = Start(Individual(1, 2, true, true), false, 3, 20000.0012, 20000.0);
  s->run({20000.0, 20000.003, 20000.001, 20000.004, 20000.001});
  // 250 and 300 (10^-5 g): mean 275 shown 0,0028; D = -30, 20, s = 25.
  ExpectTable(s->table,
              {
                  {"A1", "20000,000", "", "", "", ""},
                  {"B1", "20000,003", "0,0025", "", "", ""},
                  {"A2", "20000,001", "", "", "", ""},
                  {"B2", "20000,004", "0,0030", "0,0028", "20000,0040 СКО=0,0003 г", "0,0040"},
                  {"A3", "20000,001", "", "", "", ""},
              });
  EXPECT_EQ(s->trace.count("GetLong prec = 4"), 0);
  EXPECT_GT(s->trace.count("GetLong prec = 3"), 0);
}

TEST(CalcRealLoads, BalanceWithoutDecimals) {
  // d = 0: readings in whole grams, results with one decimal.
  auto s = Start(Individual(1, 2, true, false), false, 0, 20000.3, 20000.0);
  s->run({20000, 20002, 20001, 20001, 20003, 20000});
  // 150 and 250 hundredths: mean 200; D = -50, 50, S = 5000, V = 2500, s = 50.
  ExpectTable(s->table, {
                            {"A1", "20000", "", "", "", ""},
                            {"B1", "20002", "1,5", "", "", ""},
                            {"A2", "20001", "", "", "", ""},
                            {"A3", "20001", "", "", "", ""},
                            {"B2", "20003", "2,5", "2,0", "20002,3 СКО=0,5 г", "2,3"},
                            {"A4", "20000", "", "", "", ""},
                        });
}

TEST(CalcRealLoads, WideSpreadDoesNotWrapTheSumOfSquares) {
  // Differences 0 and 140000 fine counts: S = 9,8 * 10^9, beyond 32 bits.
  auto s = Start(Individual(1, 2, true, true), false);
  s->run({100.0, 100.0, 100.0, 100.14, 100.0});
  EXPECT_EQ(s->table.cell(ResultsTable::kMean, 4), "0,07000");
  EXPECT_EQ(s->table.cell(ResultsTable::kMass, 4), "100,07012 СКО=0,07000 г");
  EXPECT_EQ(s->trace.count("SKO final Sdif = 9800000000; n/(n-1) = 2"), 1);
}

// ------------------------------------------------- determination mode

// The mode changes nothing but the masses and deviations, which stay empty,
// and the caption, which shows the balance's deviation.
TEST(CalcDeterminationMode, SameDifferencesNoMassesAndTheCaption) {
  struct Case {
    const char* name;
    PlanInputs in;
    std::vector<double> readings;
    const char* caption;
  };
  const std::vector<Case> cases = {
      // 0,0011, -0,0011, 0,0003: mean 0,0001, sqrt(2,48e-6 / 2) = 0,0011136.
      {"group, independent",
       Group(3, 2, false),
       {100.0, 100.0012, 99.9990, 100.0002, 100.0001, 100.0005, 100.0003},
       "СКО = 0,00111 г"},
      // 0,0011, -0,0006: sqrt(2 * 0,00085^2) = 0,0012021.
      {"individual ABA, dependent",
       Individual(2, 1, true, true),
       {100.0, 100.0012, 100.0002, 99.9995, 100.0},
       "СКО = 0,00120 г"},
      // 0,0012, 0,00125: sqrt(2 * 0,000025^2) = 0,0000354.
      {"individual ABBA, dependent",
       Individual(2, 1, false, true),
       {100.0, 100.0012, 100.0014, 100.0002, 100.0010, 100.0017, 100.0},
       "СКО = 0,00004 г"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto off = Start(c.in, false);
    auto on = Start(c.in, true);
    off->run(c.readings);
    on->run(c.readings);
    ASSERT_EQ(on->table.rowCount(), off->table.rowCount());
    int masses = 0;
    for (int r = 1; r < on->table.rowCount(); ++r) {
      for (int col : {ResultsTable::kLabel, ResultsTable::kReading, ResultsTable::kDifference,
                      ResultsTable::kMean})
        EXPECT_EQ(on->table.cell(col, r), off->table.cell(col, r)) << r;
      EXPECT_EQ(on->table.cell(ResultsTable::kMass, r), "") << r;
      EXPECT_EQ(on->table.cell(ResultsTable::kDeviation, r), "") << r;
      EXPECT_EQ(on->table.cell(ResultsTable::kWeightNo, r), "R1") << r;
      masses += !off->table.cell(ResultsTable::kMass, r).empty();
    }
    EXPECT_EQ(masses, 3 - (c.in.GroupCycle ? 0 : 1));
    EXPECT_EQ(on->skoCaption, c.caption);
    EXPECT_EQ(off->skoCaption, "");
  }
}

TEST(CalcWorkedExample, IdenticalDifferencesGiveZeroDeviation) {
  auto s = Start(Individual(1, 2, true, true), false);
  s->run({100.0, 100.0012, 100.0, 100.0012, 100.0});
  EXPECT_EQ(s->table.cell(ResultsTable::kMass, 4), "100,00132 СКО=0,00000 г");
}

// ---------------------------------------------------------------- failures

TEST(CalcFailures, ConversionErrorKeepsTheCellsWrittenSoFar) {
  auto s = Start(Group(2, 2, true), false);
  s->place(100.0);
  s->place(100.0012);
  s->place(99.9990);
  s->table.setCell(ResultsTable::kReading, 3, "99.9990");  // not a comma text
  EXPECT_THROW(s->place(100.0002), ConversionError);
  EXPECT_EQ(s->table.cell(ResultsTable::kDifference, 2), "0,00110");
  EXPECT_EQ(s->table.cell(ResultsTable::kDeviation, 2), "0,00122");
  EXPECT_EQ(s->table.cell(ResultsTable::kDifference, 3), "");
}

TEST(CalcFailures, NoUsableValueLeavesTheCaption) {
  // Two B readings recorded, the run stopped before the A that closes them.
  ResultsTable t;
  t.setRowCount(4);
  const char* labels[] = {"A1", "B1", "B2"};
  const char* readings[] = {"100,0000", "100,0012", "99,9990"};
  for (int r = 1; r <= 3; ++r) {
    t.setCell(ResultsTable::kLabel, r, labels[r - 1]);
    t.setCell(ResultsTable::kReading, r, readings[r - 1]);
  }
  CalcOptions opt;
  opt.GroupCycle = true;
  opt.LoadInCycle = 2;
  opt.DetermineSKO = true;
  EXPECT_FALSE(BalanceSko(t, opt).has_value());
  Trace trace;
  const MassText mass(4, &trace);
  CalcRun run;
  run.bCount = 2;
  run.aCount = 1;
  const SkoLabelUpdate u = Calc(t, mass, trace, opt, run);
  EXPECT_FALSE(u.caption.has_value());
  EXPECT_FALSE(u.visible);
}

TEST(CalcFailures, MissingClosingAIsAConversionError) {
  // A table cut short: Calc finds no A below the weight's first A.
  ResultsTable t;
  t.setRowCount(3);
  t.setCell(ResultsTable::kLabel, 1, "A1");
  t.setCell(ResultsTable::kReading, 1, "100,0000");
  t.setCell(ResultsTable::kLabel, 2, "B1");
  t.setCell(ResultsTable::kReading, 2, "100,0012");
  CalcOptions opt;
  opt.GroupCycle = false;
  Trace trace;
  const MassText mass(4, &trace);
  CalcRun run;
  run.bCount = 1;
  EXPECT_THROW(Calc(t, mass, trace, opt, run), ConversionError);
}

}  // namespace
}  // namespace librato
