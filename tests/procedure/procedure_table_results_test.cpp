#include <gtest/gtest.h>

#include "link/trace.h"
#include "procedure/table_results.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using namespace librato::testing;

// One weight, ABA, through the real row writer and computations.
TEST(StepMachineWithTable, OneWeightRunFillsRowsMassAndDeviation) {
  FakeClock clock;
  AcquisitionShared shared;
  shared.liveDecimals = 4;
  FakeRunView view;
  view.numbersOn = true;
  view.numbers = {{1, "17"}};
  ScriptedDialogs dialogs;
  RecordingSound sound(&clock, 300);
  FakeResolver files;
  Prompts prompts(view, sound, files.resolver(), clock, shared);
  FakeAcquisition acquisition;
  ResultsTable table;
  Trace trace;
  std::vector<std::pair<bool, std::optional<std::string>>> labels;
  TableResults results(table, shared, trace, clock, view,
                       [&](bool visible, const std::optional<std::string>& caption) {
                         labels.emplace_back(visible, caption);
                       });
  StepMachine m({view, dialogs, prompts, clock, shared, acquisition, table, results, trace});

  SessionParameters p;
  p.GroupCycle = false;
  p.MethodABA = true;
  p.CyclesToWeight = 1;
  p.WeightCount = 1;
  p.RealMass = 100.00012;
  p.NominalMass = 100;
  p.ReferenceNumber = "E-5";
  view.setup =
      RunSetup{p,
               {ProcedureStep::WaitForReading, ProcedureStep::ReadInitWeight,
                ProcedureStep::WaitForTare, ProcedureStep::WaitForClear, ProcedureStep::WaitForA,
                ProcedureStep::WaitForClear, ProcedureStep::WaitForB, ProcedureStep::WaitForClear,
                ProcedureStep::WaitForA, ProcedureStep::WaitForClear, ProcedureStep::Finish}};
  m.btnStartClick();
  // Zeroed with the reference on, so the pan reads the differences.
  for (double v : {0.0, 100.0, 0.0, -100.0, 0.0, -100.0, 0.0012, -100.0, 0.0001, -100.0}) {
    clock.advanceMs(400);
    {
      std::lock_guard lock(shared.SnapshotLock);
      shared.accepted.acceptedValue = v;
      shared.accepted.acceptedInvalid = 0;
      shared.accepted.clearanceDigits = 100;
      shared.lastReadingTime = clock.now();
      shared.readingReady = true;
    }
    m.Timer2Timer();
  }
  ASSERT_EQ(m.outcome(), RunOutcome::Finished);
  ASSERT_EQ(table.rowCount(), 4);
  const std::vector<std::vector<std::string>> expected = {
      {"1", "A1", "E-5", "0,0000", "", "", "", ""},
      {"2", "B1", "17", "0,0012", "0,00115", "0,00115", "100,00127", "0,00127"},
      {"3", "A2", "E-5", "0,0001", "", "", "", ""},
  };
  for (int r = 1; r <= 3; ++r) {
    const auto& e = expected[std::size_t(r - 1)];
    int k = 0;
    for (int col : {0, 2, 3, 4, 5, 6, 7, 8})
      EXPECT_EQ(table.cell(col, r), e[std::size_t(k++)]) << "row " << r << " col " << col;
    EXPECT_FALSE(table.cell(ResultsTable::kTime, r).empty());
  }
  EXPECT_TRUE(dialogs.errors.empty());
  // The label rule ran at both A rows: hidden after A1, shown after A2.
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_FALSE(labels[0].first);
  EXPECT_TRUE(labels[1].first);
}

}  // namespace
}  // namespace librato
