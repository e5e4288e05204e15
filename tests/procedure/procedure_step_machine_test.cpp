#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "link/trace.h"
#include "procedure/step_machine.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using testing::FakeAcquisition;
using testing::FakeClock;
using testing::FakeResolver;
using testing::FakeRunView;
using testing::Played;
using testing::RecordingSound;
using testing::ScriptedDialogs;
using testing::TableRows;
using Step = ProcedureStep;

Plan MakePlan(std::initializer_list<int> codes) {
  Plan p;
  for (int c : codes) p.push_back(static_cast<ProcedureStep>(c));
  return p;
}

// One weight, ABA, individual, interdependent, one cycle.
const Plan kOneWeight = MakePlan({0, 1, 2, 3, 4, 3, 5, 3, 4, 3, 6});

// At 4 decimals a fine count is 1e-6 g; with the model known the threshold T
// is 100 display steps, 10000 fine counts, 0.01 g. Readings are counted from
// five decimals, so the least change above T is 10 fine counts, 1e-5 g.
constexpr double kT = 0.01;
constexpr double kFine = 1e-5;

struct StepMachineTest : ::testing::Test {
  FakeClock clock;
  AcquisitionShared shared;
  FakeRunView view;
  ScriptedDialogs dialogs;
  RecordingSound sound{&clock, 500};  // every play-to-end takes 0.5 s
  FakeResolver files;
  Prompts prompts{view, sound, files.resolver(), clock, shared};
  FakeAcquisition acquisition;
  ResultsTable table;
  TableRows rows{table, shared};
  Trace trace;
  StepMachine m{{view, dialogs, prompts, clock, shared, acquisition, table, rows, trace}};
  int clearance = 100;

  void SetUp() override { shared.liveDecimals = 4; }

  void start(const Plan& plan, SessionParameters p = {}) {
    p.PortNumber = 3;
    p.ReadoutTime = 5;
    view.setup = RunSetup{p, plan};
    m.btnStartClick();
  }

  // Acts as the acquisition thread: hands a reading over, as after a tick
  // interval, then lets the step timer tick.
  void handOver(double value, bool invalid = false) {
    clock.advanceMs(400);
    {
      std::lock_guard lock(shared.SnapshotLock);
      shared.liveValue = value;
      shared.liveInvalid = invalid;
      shared.accepted.acceptedValue = invalid ? 0 : value;
      shared.accepted.acceptedInvalid = invalid;
      shared.accepted.clearanceDigits = clearance;
      shared.lastReadingTime = clock.now();
      shared.readingRequested = false;
      shared.readingReady = true;
    }
    m.Timer2Timer();
  }
  void tick(double ms = 400) {
    clock.advanceMs(ms);
    m.Timer2Timer();
  }

  Step step() const { return m.state().at(m.state().stepPos); }

  // From the start to the first placement of the plan (stepPos 4): reference
  // on at 100 g, zeroed with it on, taken off (-100 g).
  void prepare() {
    handOver(0);
    handOver(100);
    handOver(0);
    handOver(-100);
    ASSERT_EQ(m.state().stepPos, 4u);
  }

  std::vector<std::string> hints() const {
    std::vector<std::string> out;
    for (const auto& e : view.events)
      if (e.rfind("hint:", 0) == 0) out.push_back(e.substr(5));
    return out;
  }
};

// ------------------------------------------------------------ start, thread

TEST_F(StepMachineTest, StartWarnsPausesAndStartsTheMachinery) {
  shared.stopRequested = true;
  shared.linkLost = true;
  const DateTime t0 = clock.now();
  start(kOneWeight);
  EXPECT_EQ(sound.played.front(), (Played{"Sounds/StartWarning.wav", true}));
  // The warning's own length (0.5 s in this sink) plus the 3.5 s pause.
  EXPECT_NEAR(ToSeconds(clock.now() - t0), 4.0, 1e-6);
  ASSERT_EQ(acquisition.starts.size(), 1u);
  EXPECT_EQ(acquisition.starts[0].portNumber, 3);
  EXPECT_EQ(acquisition.starts[0].readoutSeconds, 5);
  EXPECT_FALSE(shared.stopRequested);
  EXPECT_FALSE(shared.linkLost);
  EXPECT_EQ(shared.stepsDone, -2);
  EXPECT_TRUE(m.stepTimerOn());
  EXPECT_TRUE(view.timer);
  EXPECT_FALSE(view.idle);
  EXPECT_FALSE(view.protocolSaved);
  EXPECT_EQ(view.hintSmall, "Подготовка к измерениям...");
  EXPECT_EQ(m.state().aCount, -1);
  EXPECT_EQ(m.state().bCount, 0);
  EXPECT_EQ(m.state().placeTimeMin, RunState::kSpanUnset);
  EXPECT_EQ(step(), Step::WaitForReading);
  EXPECT_EQ(m.outcome(), RunOutcome::Running);
  // Warning shown, then hidden before validation.
  EXPECT_EQ(view.events[0], "warning:on");
  EXPECT_EQ(view.events[1], "warning:off");
}

TEST_F(StepMachineTest, FailedValidationLeavesTheWindowIdle) {
  view.valid = false;
  start(kOneWeight);
  EXPECT_EQ(view.checks, 1);
  EXPECT_TRUE(acquisition.starts.empty());
  EXPECT_FALSE(m.stepTimerOn());
  EXPECT_TRUE(view.idle);
  EXPECT_EQ(m.outcome(), RunOutcome::Refused);
}

TEST_F(StepMachineTest, EveryTickRequestsAReading) {
  start(kOneWeight);
  shared.readingRequested = false;
  tick();
  EXPECT_TRUE(shared.readingRequested);
  EXPECT_EQ(step(), Step::WaitForReading);  // nothing handed over, nothing run
}

// ------------------------------------------------------------ WaitForReading

TEST_F(StepMachineTest, WaitForReadingPassesAtFirstValidOrSixthHandOver) {
  start(kOneWeight);
  for (int i = 0; i < 5; ++i) {
    handOver(0, true);
    EXPECT_EQ(step(), Step::WaitForReading) << i;
  }
  EXPECT_TRUE(view.liveOn);
  EXPECT_EQ(view.caption, "-----");
  handOver(0, true);  // the sixth passes although invalid
  EXPECT_EQ(step(), Step::ReadInitWeight);
  EXPECT_TRUE(m.state().prevStepInvalid);
  EXPECT_TRUE(shared.prevStepInvalid);
  EXPECT_EQ(view.hint, "A0");
  EXPECT_EQ(view.hintSmall, "Поставьте эталонную гирю");
  EXPECT_EQ(shared.stepsDone, -2);  // the first step does not count

  // A new run starts counting invalid hand-overs afresh; a valid one passes.
  m.btnStopClick();
  start(kOneWeight);
  handOver(12.5);
  EXPECT_EQ(step(), Step::ReadInitWeight);
  EXPECT_FALSE(m.state().prevStepInvalid);
  EXPECT_EQ(m.state().prevStepWeight, 12500000);
}

// ------------------------------------------------------------ ReadInitWeight

TEST_F(StepMachineTest, ReadInitWeightPlacedAboveThresholdOnlyAndAsksForTare) {
  start(kOneWeight);
  handOver(0);
  handOver(kT);  // exactly T
  EXPECT_EQ(step(), Step::ReadInitWeight);
  EXPECT_EQ(trace.lines().back(), " prevStepWeight0 W10000 (100*modelDiscretel)10000");
  handOver(0, true);  // invalid never places
  EXPECT_EQ(step(), Step::ReadInitWeight);
  const DateTime t0 = clock.now();
  handOver(kT + kFine);  // T + 1
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(view.hint, "0/T");
  EXPECT_EQ(view.hintSmall, "Обнулите показания");
  // 0.4 s of the tick, 2.5 s of the tare pause, 50 ms.
  EXPECT_NEAR(ToSeconds(clock.now() - t0), 0.4 + 2.5 + 0.05, 1e-6);
  EXPECT_EQ(shared.stepsDone, -1);
  EXPECT_EQ(trace.count("ReadInitWeight1"), 3);
}

TEST_F(StepMachineTest, ReadInitWeightAtZeroAfterInvalidStartSkipsTheTarePrompt) {
  start(kOneWeight);
  for (int i = 0; i < 6; ++i) handOver(0, true);
  sound.played.clear();
  const DateTime t0 = clock.now();
  handOver(0);  // valid after invalid: placed, and already zero
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(view.hint, "A0");
  EXPECT_TRUE(sound.played.empty());
  EXPECT_NEAR(ToSeconds(clock.now() - t0), 0.4 + 0.05, 1e-6);
}

// ------------------------------------------------------------ WaitForTare

TEST_F(StepMachineTest, WaitForTareNeedsAValidReadingOfExactlyZero) {
  start(kOneWeight);
  handOver(0);
  handOver(100);
  for (double off : {0.0001, -0.0001, 0.00004}) {
    handOver(off);
    EXPECT_EQ(step(), Step::WaitForTare) << off;
  }
  handOver(0, true);
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(trace.count("WaitForTare2"), 4);
  handOver(-0.000004);  // shows as zero with five decimals
  EXPECT_EQ(step(), Step::WaitForClear);
  EXPECT_EQ(m.state().aCount, 0);
  EXPECT_EQ(view.hint, " 0 ");
  EXPECT_EQ(view.hintSmall, "Снимите гирю");
  EXPECT_TRUE(shared.inWaitForClear);
}

// ------------------------------------------------------------ WaitForClear

TEST_F(StepMachineTest, RemovalPassesBeyondThresholdOrOnInvalidReading) {
  start(kOneWeight);
  handOver(0);
  handOver(100);
  handOver(0);
  handOver(-kT);  // exactly T below
  EXPECT_EQ(step(), Step::WaitForClear);
  handOver(-kT - kFine);
  EXPECT_EQ(step(), Step::WaitForA);
  EXPECT_FALSE(shared.inWaitForClear);
  EXPECT_EQ(view.hint, "A1");
  EXPECT_EQ(shared.stepsDone, 1);

  handOver(0);  // A1 on
  ASSERT_EQ(step(), Step::WaitForClear);
  handOver(0, true);  // an invalid frame counts as removed at once
  EXPECT_EQ(step(), Step::WaitForB);
  EXPECT_TRUE(m.state().prevStepInvalid);
  EXPECT_EQ(view.hint, "B1");
}

TEST_F(StepMachineTest, AfterAnInvalidStepReadingPlacingPassesOnFirstValid) {
  start(kOneWeight);
  prepare();
  handOver(0, true);  // invalid never places
  EXPECT_EQ(step(), Step::WaitForA);
  handOver(0);        // A1
  handOver(0, true);  // removed by an invalid frame: PI set
  ASSERT_EQ(step(), Step::WaitForB);
  handOver(-50);  // any valid value places now, even far below
  EXPECT_EQ(step(), Step::WaitForClear);
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 2), "B1");
  EXPECT_FALSE(shared.prevStepInvalid);
}

TEST_F(StepMachineTest, AfterAnInvalidStepReadingRemovalWaitsForAnotherInvalidOne) {
  // The only way into a removal step with an invalid step reading: the first
  // reading of the run passed invalid.
  start(MakePlan({0, 3, 4, 3, 6}));
  for (int i = 0; i < 6; ++i) handOver(0, true);
  ASSERT_EQ(step(), Step::WaitForClear);
  handOver(-100);  // far below, but valid
  EXPECT_EQ(step(), Step::WaitForClear);
  handOver(0, true);
  EXPECT_EQ(step(), Step::WaitForA);
}

// ------------------------------------------------------------ placing steps

TEST_F(StepMachineTest, PlacingStepsNeedMoreThanThreshold) {
  start(kOneWeight);
  prepare();  // P = -100
  handOver(-100 + kT);
  EXPECT_EQ(step(), Step::WaitForA);
  handOver(-100 + kT + kFine);
  ASSERT_EQ(step(), Step::WaitForClear);
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 1), "A1");
  EXPECT_EQ(table.cell(ResultsTable::kReading, 1), "-99,9900");
  handOver(-200);
  ASSERT_EQ(step(), Step::WaitForB);
  handOver(-200 + kT);
  EXPECT_EQ(step(), Step::WaitForB);
  handOver(-200 + kT + kFine);
  EXPECT_EQ(step(), Step::WaitForClear);
  EXPECT_EQ(m.state().bCount, 1);
}

TEST_F(StepMachineTest, UnknownModelUsesTheNegativeThresholdAsGiven) {
  clearance = -1;  // model not in the table: T = -100 fine counts
  start(kOneWeight);
  handOver(0);
  handOver(-0.00009);  // a change above -100 fine counts places
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(trace.lines().back(), " prevStepWeight0 W-90 (100*modelDiscretel)-100");
}

// ------------------------------------------------------------ whole run

TEST_F(StepMachineTest, OneWeightRunPromptsRecordsComputesAndEnds) {
  start(kOneWeight);
  handOver(0);
  handOver(100);
  handOver(0);
  handOver(-100);
  handOver(0.0000);  // A1
  handOver(-100);
  handOver(0.0012);  // B1
  handOver(-100);
  handOver(0.0001);  // A2
  EXPECT_TRUE(m.stepTimerOn());
  handOver(-100);  // the last removal ends the run

  // The first empty one is the clearing at Start.
  EXPECT_EQ(hints(), (std::vector<std::string>{"", "A0", "0/T", " 0 ", "A1", " 0 ", "B1", " 0 ",
                                               "A2", " 0 ", "", ""}));
  EXPECT_EQ(view.hintSmall, "Проверка закончена");
  EXPECT_EQ(sound.played.back(), (Played{"Sounds/End.wav", false}));
  EXPECT_EQ(table.rowCount(), 4);
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 1), "A1");
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 2), "B1");
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 3), "A2");
  EXPECT_EQ(table.cell(ResultsTable::kReading, 2), "0,0012");
  EXPECT_EQ(rows.calls, (std::vector<std::string>{"Calc@1", "CalcMultiple@3", "Calc@3"}));
  EXPECT_EQ(m.state().lAp, 3);
  EXPECT_DOUBLE_EQ(m.state().lastAWeight, 0.0001);
  EXPECT_EQ(m.state().readingCount, 3);
  EXPECT_EQ(m.state().aCount, 2);
  EXPECT_EQ(m.state().bCount, 1);
  EXPECT_EQ(m.state().stepsDone, 6);  // the final removal is not counted
  EXPECT_EQ(step(), Step::Finish);
  EXPECT_FALSE(m.stepTimerOn());
  EXPECT_FALSE(view.liveOn);
  EXPECT_TRUE(view.idle);
  EXPECT_TRUE(shared.stopRequested);
  EXPECT_FALSE(shared.readingReady);
  EXPECT_EQ(acquisition.stops, 2);  // the clearing at Start, and the end
  EXPECT_EQ(m.outcome(), RunOutcome::Finished);
  // A tick that was already queued does nothing.
  handOver(0);
  EXPECT_EQ(m.state().readingCount, 3);

  // The computations' bookkeeping lines of the first and the last A.
  const auto& l = trace.lines();
  auto at = [&](const std::string& s) { return std::find(l.begin(), l.end(), s) - l.begin(); };
  EXPECT_LT(at("lAp = 0; rcnt = 2"), at("set lAp = 1"));
  EXPECT_LT(at("set lAp = 1"), at("lAp = 1; rcnt = 4"));
  EXPECT_LT(at("lAp = 1; rcnt = 4"), at("set lAp = 3"));
  EXPECT_EQ(trace.count("B = 1"), 1);
  EXPECT_EQ(trace.count("B%ctv = 0"), 2);
  EXPECT_EQ(trace.count("ReadInitWeight1"), 1);
  EXPECT_EQ(trace.count("WaitForClear3"), 4);
  EXPECT_EQ(trace.count("WaitForA4"), 2);
  EXPECT_EQ(trace.count("WaitForB5"), 1);
}

TEST_F(StepMachineTest, CalcRunsWhenAWeightsCyclesAreCompleteInAbbaAndAtTheLastReading) {
  // Individual ABBA, interdependent, 2 weights, 1 cycle: A B B A B B A.
  SessionParameters p;
  p.GroupCycle = false;
  p.MethodABA = false;
  p.CyclesToWeight = 1;
  start(MakePlan({0, 1, 2, 3, 4, 3, 5, 3, 5, 3, 4, 3, 5, 3, 5, 3, 4, 3, 6}), p);
  prepare();
  for (int i = 0; i < 7; ++i) {
    handOver(i == 3 ? 0.0002 : 0);
    handOver(-100);
  }
  EXPECT_EQ(m.outcome(), RunOutcome::Finished);
  EXPECT_EQ(rows.calls, (std::vector<std::string>{"Calc@1", "CalcMultiple@4", "Calc@4",
                                                  "CalcMultiple@7", "Calc@7"}));
  EXPECT_EQ(trace.count("B%ctv = 0"), 3);
}

// ------------------------------------------------------------ time spans

TEST_F(StepMachineTest, PlacingAndRemovalTimesAndTheirReportValues) {
  start(kOneWeight);
  prepare();  // the removal before A1 is not measured
  EXPECT_EQ(m.state().removeTimeMax, 0);
  const DateTime stepEnd = m.state().lastStepTime;
  clock.advanceMs(2600);
  handOver(0);  // A1: placing time from the end of the removal to the hand-over
  EXPECT_NEAR(ToSeconds(m.state().placeTimeMax), 3.0, 1e-6);
  EXPECT_NEAR(ToSeconds(m.state().placeTimeMin), 3.0, 1e-6);
  EXPECT_GT(m.state().lastStepTime, stepEnd);
  EXPECT_EQ(m.state().reportPlaceMax, 0);  // reported at the next removal
  clock.advanceMs(600);
  handOver(-100);
  EXPECT_NEAR(ToSeconds(m.state().removeTimeMax), 1.0, 1e-6);
  EXPECT_NEAR(ToSeconds(m.state().reportRemoveMin), 1.0, 1e-6);
  EXPECT_NEAR(ToSeconds(m.state().reportPlaceMax), 3.0, 1e-6);
  // The removal's moment; the placing prompt's sound has played since.
  EXPECT_NEAR(ToSeconds(clock.now() - shared.lastReadingTime), 0.5, 1e-6);
  // B1 after a short wait: the placing time includes the prompt's sounds.
  handOver(0.0012);
  EXPECT_NEAR(ToSeconds(m.state().placeTimeMin), 0.4 + 0.5, 1e-6);
}

// ------------------------------------------------------------ time-out

TEST_F(StepMachineTest, NoTimeOutBeforeTheFirstA) {
  start(kOneWeight);
  prepare();
  for (int i = 0; i < 30; ++i) tick(60000);
  EXPECT_TRUE(m.stepTimerOn());
  EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(StepMachineTest, TimeOutAfterTwoMinutesWithoutStepAndWithoutHandOver) {
  start(kOneWeight);
  prepare();
  handOver(0);  // A1
  const DateTime stepTime = m.state().lastStepTime;
  // Hand-overs that pass no step keep the run alive.
  for (int i = 0; i < 5; ++i) {
    clock.advanceMs(60000);
    handOver(0);
  }
  EXPECT_TRUE(m.stepTimerOn());
  EXPECT_EQ(m.state().lastStepTime, stepTime);
  // Exactly two minutes after the latest hand-over: not yet.
  clock.set(shared.lastReadingTime + StepMachine::kIdleTimeout);
  m.Timer2Timer();
  EXPECT_TRUE(m.stepTimerOn());
  sound.played.clear();
  tick(1);
  EXPECT_FALSE(m.stepTimerOn());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].caption, "Время ожидания превысило 2 минуты");
  EXPECT_EQ(dialogs.asked[0].text,
            "Время ожидания действий пользователя превысило 2 минуты. Начните, пожалуйста, "
            "сначала.\n Вы можете записать полученные результаты в файл, используя кнопку "
            "\"Сохранить\".");
  EXPECT_EQ(dialogs.asked[0].flags, kMsgOkWarning);
  EXPECT_EQ(sound.played, (std::vector<Played>{{"Sounds/notify.wav", false}}));
  EXPECT_TRUE(shared.stopRequested);
  EXPECT_TRUE(view.idle);
  EXPECT_EQ(table.cell(ResultsTable::kLabel, 1), "A1");
  EXPECT_EQ(m.outcome(), RunOutcome::TimedOut);
}

TEST_F(StepMachineTest, RecentStepAloneAlsoPreventsTheTimeOut) {
  start(kOneWeight);
  prepare();
  handOver(0);  // A1
  // The hand-over time is old but a step passed less than two minutes ago.
  shared.lastReadingTime = clock.now() - 1.0;
  tick(1000);
  EXPECT_TRUE(m.stepTimerOn());
}

// ------------------------------------------------------------ lost link

TEST_F(StepMachineTest, LostLinkStopsTheRunWithItsMessageAndKeepsRows) {
  start(kOneWeight);
  prepare();
  handOver(0);  // A1
  sound.played.clear();
  shared.linkLost = true;
  // A pending hand-over is still taken first.
  handOver(-100);
  EXPECT_TRUE(m.stepTimerOn());
  EXPECT_EQ(step(), Step::WaitForB);
  tick();
  EXPECT_FALSE(m.stepTimerOn());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, "Проверьте выбранный порт и подключение весов");
  EXPECT_EQ(dialogs.asked[0].caption, "Нет связи с весами");
  EXPECT_EQ(dialogs.asked[0].flags, kMsgOkWarning);
  EXPECT_EQ(sound.played.back(), (Played{"Sounds/notify.wav", false}));
  EXPECT_EQ(view.hint, "");
  EXPECT_TRUE(table.hasReading());
  EXPECT_EQ(m.outcome(), RunOutcome::LinkLost);
}

// ------------------------------------------------------------ stop and restart

TEST_F(StepMachineTest, StopMidRunKeepsRowsAndTheNextStartOffersToSave) {
  view.numbers = {{1, "N1"}, {2, "N2"}};
  start(kOneWeight);
  prepare();
  handOver(0);
  handOver(-100);
  handOver(0.0012);
  m.btnStopClick();
  EXPECT_FALSE(m.stepTimerOn());
  EXPECT_TRUE(view.idle);
  EXPECT_EQ(m.outcome(), RunOutcome::Stopped);
  EXPECT_EQ(table.rowCount(), 3);
  EXPECT_EQ(m.state().readingCount, 2);

  // Cancel: nothing is cleared and nothing starts.
  sound.played.clear();
  dialogs.answers = {Answer::Cancel};
  m.btnStartClick();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].caption, "Сохранить результаты перед очисткой окна?");
  EXPECT_EQ(dialogs.asked[0].text,
            " Нажмите \"Да\", чтобы сохранить результаты и очистить окно. \n"
            " Нажмите \"Нет\", чтобы очистить окно без сохранения результатов.");
  EXPECT_EQ(dialogs.asked[0].flags, kMsgYesNoCancelQuestion);
  EXPECT_EQ(sound.played.back(), (Played{"Sounds/notify.wav", false}));
  EXPECT_EQ(table.rowCount(), 3);
  EXPECT_EQ(acquisition.starts.size(), 1u);
  EXPECT_TRUE(view.builds.empty());

  // Yes: the protocol is shown for saving, numbers kept on No, table cleared.
  dialogs.asked.clear();
  dialogs.answers = {Answer::Yes, Answer::No};
  m.btnStartClick();
  EXPECT_EQ(view.builds, (std::vector<bool>{true}));
  ASSERT_EQ(dialogs.asked.size(), 2u);
  EXPECT_EQ(dialogs.asked[1].text, "Очистить номера гирь?");
  EXPECT_EQ(dialogs.asked[1].caption, "Удаление данных");
  EXPECT_EQ(dialogs.asked[1].flags, kMsgYesNoQuestion);
  EXPECT_EQ(view.numbers[1], "N1");
  EXPECT_EQ(table.rowCount(), 2);
  EXPECT_FALSE(table.hasReading());
  EXPECT_EQ(m.state().readingCount, 0);
  EXPECT_EQ(acquisition.starts.size(), 2u);
  EXPECT_TRUE(m.stepTimerOn());
}

TEST_F(StepMachineTest, SaveOrClearAnswers) {
  struct Case {
    const char* name;
    std::deque<Answer> answers;
    bool numbersCleared, started, built;
  };
  const Case cases[] = {
      {"no, clear numbers", {Answer::No, Answer::Yes}, true, true, false},
      {"no, keep numbers", {Answer::No, Answer::No}, false, true, false},
      {"closed box counts as cancel", {Answer::Ok}, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    table.clear();
    table.setCell(ResultsTable::kNumber, 1, "1");
    view.numbers = {{1, "N1"}};
    view.builds.clear();
    const auto starts = acquisition.starts.size();
    dialogs.answers = c.answers;
    m.btnStartClick();
    EXPECT_EQ(view.numbers[1].empty(), c.numbersCleared);
    EXPECT_EQ(acquisition.starts.size() - starts, c.started ? 1u : 0u);
    EXPECT_EQ(table.hasReading(), !c.started);
    EXPECT_EQ(!view.builds.empty(), c.built);
    m.btnStopClick();
  }
}

TEST_F(StepMachineTest, FailedProtocolBuildAbandonsTheStartAndKeepsTheTable) {
  table.setCell(ResultsTable::kNumber, 1, "1");
  view.buildOk = false;
  dialogs.answers = {Answer::Yes};
  m.btnStartClick();
  EXPECT_TRUE(table.hasReading());
  EXPECT_TRUE(acquisition.starts.empty());
}

TEST_F(StepMachineTest, EmptyTableStartsWithoutQuestions) {
  view.numbers = {{1, "N1"}};
  start(kOneWeight);
  EXPECT_TRUE(dialogs.asked.empty());
  EXPECT_EQ(view.numbers[1], "N1");
  EXPECT_TRUE(m.stepTimerOn());
}

// ------------------------------------------------------------ standard deviation

TEST_F(StepMachineTest, StandardDeviationStartQuestions) {
  struct Case {
    const char* name;
    std::string count;
    int cycles;
    std::deque<Answer> answers;
    std::vector<std::string> asked;
    bool started;
    int cyclesAfter;
  };
  const std::string kImpossible =
      "СКО вычислить невозможно. Рекомендуется указать количество проверяемых гирь 10.";
  const std::string kFew = "Рекомендуется указать количество проверяемых гирь 10. Продолжить?";
  const std::string kCycles = "Количество циклов на гирю будет установлено равным 1. Продолжить?";
  const std::vector<Case> cases = {
      {"one weight", "1", 3, {}, {kImpossible}, false, 3},
      {"five weights, three cycles, yes", "5", 3, {}, {kFew, kCycles}, true, 1},
      {"five weights, no", "5", 3, {Answer::No}, {kFew}, false, 3},
      {"ten weights, cycles refused", "10", 2, {Answer::No}, {kCycles}, false, 2},
      {"ten weights, one cycle", " 10 ", 1, {}, {}, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view.sko = true;
    view.countText = c.count;
    view.cycles = c.cycles;
    dialogs.asked.clear();
    dialogs.answers = c.answers;
    view.cyclesAtCheck = -1;
    const auto starts = acquisition.starts.size();
    const int checks = view.checks;
    m.btnStartClick();
    std::vector<std::string> asked;
    for (const auto& a : dialogs.asked) {
      asked.push_back(a.text);
      EXPECT_EQ(a.caption, "Вычисление СКО");
      EXPECT_EQ(a.flags, a.text == kImpossible ? kMsgOk : kMsgYesNoQuestion);
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(acquisition.starts.size() - starts, c.started ? 1u : 0u);
    EXPECT_EQ(view.cycles, c.cyclesAfter);
    EXPECT_EQ(view.checks - checks, c.started ? 1 : 0);
    if (c.started) {
      EXPECT_EQ(view.cyclesAtCheck, 1);
    }
    m.btnStopClick();
  }
}

TEST_F(StepMachineTest, UnreadableWeightCountEndsTheStartWithAnError) {
  view.sko = true;
  view.countText = "abc";
  m.btnStartClick();
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_TRUE(acquisition.starts.empty());
}

// ------------------------------------------------------------ readings out of range

TEST_F(StepMachineTest, HeavyLoadsCountIn64BitAndUncountableReadingsKeepTheStep) {
  start(kOneWeight);
  handOver(0);
  handOver(5000.1234);  // beyond 32-bit fine counts at 4 decimals
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(m.state().prevStepWeight, 5000123400);
  handOver(1e30);  // beyond even 64 bits: the conversion fails
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(dialogs.errors.size(), 1u);
  handOver(std::numeric_limits<double>::quiet_NaN());  // would read as zero
  EXPECT_EQ(step(), Step::WaitForTare);
  EXPECT_EQ(dialogs.errors.size(), 2u);
  handOver(0);
  EXPECT_EQ(step(), Step::WaitForClear);
}

TEST_F(StepMachineTest, FailedComputationIsShownAndTheReadingIsRecordedOnce) {
  start(kOneWeight);
  prepare();
  rows.failCalc = true;
  handOver(0);  // A1: Calc fails
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(step(), Step::WaitForClear);
  EXPECT_EQ(m.state().lAp, 1);
  handOver(0);  // the same load again: no second row
  EXPECT_EQ(m.state().readingCount, 1);
  EXPECT_EQ(table.rowCount(), 2);
}

}  // namespace
}  // namespace librato
