#include <gtest/gtest.h>

#include <sstream>

#include "link/trace.h"
#include "procedure/plan.h"
#include "procedure/step_machine.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using namespace librato::testing;

// Walks built plans through the step machine in fake time, with an operator
// who does what labHint asks and a balance that shows it.
struct Variant {
  const char* name;
  PlanInputs in;
  std::string rows;                   // labels of the table rows, blank-separated
  std::vector<std::string> computed;  // when the computations ran
  std::vector<std::string> hintsB;    // labHintSmall of each B placement
};

std::string Labels(const ResultsTable& t) {
  std::string out;
  for (int r = 1; r < t.rowCount(); ++r) {
    if (r > 1) out += ' ';
    out += t.cell(ResultsTable::kLabel, r);
  }
  return out;
}

TEST(StepMachineVariants, EveryPlanVariantRunsToItsEndWithRowsInPlanOrder) {
  auto inputs = [](bool group, bool depend, int n, int l, int c, bool aba) {
    PlanInputs in;
    in.GroupCycle = group;
    in.Depend = depend;
    in.WeightCount = n;
    in.LoadInCycle = l;
    in.CyclesToWeight = c;
    in.MethodABA = aba;
    return in;
  };
  const std::string w1 = "Поставьте проверяемую гирю № W1";
  const std::string w2 = "Поставьте проверяемую гирю № W2";
  const std::string w3 = "Поставьте проверяемую гирю № W3";
  const std::string w4 = "Поставьте проверяемую гирю № W4";
  const std::string w5 = "Поставьте проверяемую гирю № W5";
  const std::vector<Variant> variants = {
      {"group, interdependent",
       inputs(true, true, 5, 2, 1, true),
       "A1 B1 B2 A2 B3 B4 A3 B5 A4",
       {"Calc@1", "CalcMultiple@4", "Calc@4", "CalcMultiple@7", "Calc@7", "CalcMultiple@9",
        "Calc@9"},
       {w1, w2, w3, w4, w5}},
      {"group, not interdependent",
       inputs(true, false, 5, 2, 1, true),
       "A1 B1 B2 A2 A3 B3 B4 A4 A5 B5 A6",
       {"Calc@1", "CalcMultiple@4", "Calc@4", "Calc@5", "CalcMultiple@8", "Calc@8", "Calc@9",
        "CalcMultiple@11", "Calc@11"},
       {w1, w2, w3, w4, w5}},
      {"individual ABA, interdependent",
       inputs(false, true, 2, 1, 2, true),
       "A1 B1 A2 B2 A3 B3 A4 B4 A5",
       {"Calc@1", "CalcMultiple@3", "CalcMultiple@5", "Calc@5", "CalcMultiple@7", "CalcMultiple@9",
        "Calc@9"},
       {w1, w1, w2, w2}},
      {"individual ABA, not interdependent",
       inputs(false, false, 2, 1, 1, true),
       "A1 B1 A2 A3 B2 A4",
       {"Calc@1", "CalcMultiple@3", "Calc@3", "Calc@4", "CalcMultiple@6", "Calc@6"},
       {w1, w2}},
      {"individual ABBA, not interdependent",
       inputs(false, false, 2, 1, 1, false),
       "A1 B1 B2 A2 A3 B3 B4 A4",
       {"Calc@1", "CalcMultiple@4", "Calc@4", "Calc@5", "CalcMultiple@8", "Calc@8"},
       {w1, w1, w2, w2}},
      {"individual ABBA, interdependent, two cycles",
       inputs(false, true, 1, 1, 2, false),
       "A1 B1 B2 A2 B3 B4 A3",
       {"Calc@1", "CalcMultiple@4", "CalcMultiple@7", "Calc@7"},
       {w1, w1, w1, w1}},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    FakeClock clock;
    AcquisitionShared shared;
    shared.liveDecimals = 4;
    FakeRunView view;
    view.numbersOn = true;
    for (int i = 1; i <= 5; ++i) view.numbers[i] = "W" + std::to_string(i);
    ScriptedDialogs dialogs;
    RecordingSound sound(&clock, 300);
    FakeResolver files;
    Prompts prompts(view, sound, files.resolver(), clock, shared);
    FakeAcquisition acquisition;
    ResultsTable table;
    TableRows rows(table, shared);
    Trace trace;
    StepMachine m({view, dialogs, prompts, clock, shared, acquisition, table, rows, trace});

    std::optional<Plan> plan = BuildPlan(v.in, trace);
    ASSERT_TRUE(plan);
    SessionParameters p;
    p.GroupCycle = v.in.GroupCycle;
    p.Depend = v.in.Depend;
    p.LoadInCycle = v.in.LoadInCycle;
    p.CyclesToWeight = v.in.CyclesToWeight;
    p.MethodABA = v.in.MethodABA;
    p.WeightCount = v.in.WeightCount;
    view.setup = RunSetup{p, *plan};
    m.btnStartClick();

    std::vector<std::string> bHints;
    int handOvers = 0;
    std::size_t lastBPos = 0;
    while (m.stepTimerOn() && handOvers < 1000) {
      // The operator follows labHint; the balance shows the load.
      double value = -100;  // after the tare with the reference on
      if (view.hint == "A0") value = 100;
      if (view.hint == "0/T") value = 0;
      if (!view.hint.empty() && (view.hint[0] == 'A' || view.hint[0] == 'B') && view.hint != "A0")
        value = view.hint[0] == 'A' ? 0 : 0.0012;
      if (view.hint.empty()) value = 0;  // before the first prompt
      // The small line of each B placement, once, while its step waits.
      if (m.state().at(m.state().stepPos) == ProcedureStep::WaitForB &&
          m.state().stepPos != lastBPos) {
        bHints.push_back(view.hintSmall);
        lastBPos = m.state().stepPos;
      }
      clock.advanceMs(400);
      {
        std::lock_guard lock(shared.SnapshotLock);
        shared.accepted.acceptedValue = value;
        shared.accepted.acceptedInvalid = 0;
        shared.accepted.clearanceDigits = 100;
        shared.lastReadingTime = clock.now();
        shared.readingReady = true;
      }
      m.Timer2Timer();
      ++handOvers;
    }
    EXPECT_EQ(m.outcome(), RunOutcome::Finished);
    EXPECT_EQ(m.state().stepPos, plan->size() - 1);
    EXPECT_EQ(Labels(table), v.rows);
    EXPECT_EQ(rows.calls, v.computed);
    EXPECT_EQ(bHints, v.hintsB);
    EXPECT_EQ(view.hintSmall, "Проверка закончена");
  }
}

}  // namespace
}  // namespace librato
