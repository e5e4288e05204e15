#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/trace.h"
#include "procedure/plan.h"
#include "procedure/step_machine.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using namespace librato::testing;

// The hand-over protocol with a second thread in the acquisition thread's
// place: it hands the next reading over whenever one is requested and the
// previous one has been taken. Meant to be run under ThreadSanitizer too.
TEST(StepMachineThreads, HandOversFromAnotherThreadWalkTheWholePlan) {
  FakeClock clock;
  AcquisitionShared shared;
  shared.liveDecimals = 4;
  FakeRunView view;
  ScriptedDialogs dialogs;
  RecordingSound sound;
  FakeResolver files;
  Prompts prompts(view, sound, files.resolver(), clock, shared);
  FakeAcquisition acquisition;
  ResultsTable table;
  TableRows rows(table, shared);
  Trace trace;
  StepMachine m({view, dialogs, prompts, clock, shared, acquisition, table, rows, trace});

  PlanInputs in;
  in.GroupCycle = false;
  in.MethodABA = false;
  in.Depend = false;
  in.CyclesToWeight = 2;
  in.WeightCount = 3;
  std::optional<Plan> plan = BuildPlan(in, trace);
  ASSERT_TRUE(plan);
  SessionParameters p;
  p.GroupCycle = false;
  p.MethodABA = false;
  p.Depend = false;
  p.CyclesToWeight = 2;
  p.WeightCount = 3;
  view.setup = RunSetup{p, *plan};
  m.btnStartClick();
  ASSERT_TRUE(m.stepTimerOn());

  // Every reading passes one step: the reference on, zeroed, then off and
  // on in turn.
  std::atomic<bool> done{false};
  std::atomic<int> handed{0};
  std::thread balance([&] {
    int n = 0;
    while (!done.load() && !shared.stopRequested.load()) {
      bool give = false;
      {
        std::lock_guard lock(shared.SnapshotLock);
        if (shared.readingRequested.load() && !shared.readingReady.load()) {
          const double v = n == 0 ? 0 : n == 1 ? 100 : n == 2 ? 0 : (n % 2 ? -100 : 0.0012);
          shared.liveValue = v;
          shared.accepted.acceptedValue = v;
          shared.accepted.acceptedInvalid = 0;
          shared.accepted.clearanceDigits = 100;
          shared.lastReadingTime = clock.now();
          shared.readingRequested = false;
          shared.readingReady = true;
          // The thread reads these between hand-overs.
          (void)shared.stepsDone.load();
          (void)shared.inWaitForClear.load();
          (void)shared.prevStepInvalid.load();
          give = true;
        }
      }
      if (give) {
        ++n;
        handed = n;
      } else {
        std::this_thread::yield();
      }
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (m.stepTimerOn() && std::chrono::steady_clock::now() < deadline) {
    m.Timer2Timer();
    std::this_thread::yield();
  }
  done = true;
  balance.join();

  EXPECT_EQ(m.outcome(), RunOutcome::Finished);
  EXPECT_EQ(m.state().stepPos, plan->size() - 1);
  EXPECT_EQ(handed.load(), int(plan->size()) - 1);
  EXPECT_EQ(m.state().readingCount, (int(plan->size()) - 5) / 2);
  EXPECT_TRUE(shared.stopRequested);
}

}  // namespace
}  // namespace librato
