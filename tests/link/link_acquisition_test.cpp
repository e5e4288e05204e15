// The acquisition loop one pass at a time in fake time: publishing, arming,
// the read-out time, the fast path, the hand-over with the model lookup, the
// lost-link rule; and the real thread against the fake line.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <thread>

#include "link/acquisition.h"
#include "link/acquisition_loop.h"
#include "link/get_w.h"
#include "link_fake_balance.h"
#include "support/fake_clock.h"
#include "support/fake_serial.h"

namespace librato {
namespace {

using testing::FakeBBalance;
using testing::FakeClock;
using testing::FakeLine;

// One scripted Acquire: a reading (or none) after costMs of fake time.
struct Scripted {
  bool ok = true;
  double value = 0;
  bool stable = true;
  int decimals = 4;
  const char* unit = "g";
  const char* model = "QZ7334";
  double costMs = 180;  // with the 20 ms pause: a reading every 0.2 s
};

class ScriptedSource final : public ReadingSource {
 public:
  ScriptedSource(FakeClock& clock, std::deque<Scripted>& script, bool& destroyed)
      : clock_(clock), script_(script), destroyed_(destroyed) {}
  ~ScriptedSource() override { destroyed_ = true; }
  bool Acquire(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
               std::int32_t& serial, std::int32_t& decimals) override {
    if (script_.empty()) return false;
    const Scripted s = script_.front();
    script_.pop_front();
    clock_.advanceMs(s.costMs);
    if (!s.ok) return false;
    value = s.value;
    std::strncpy(unit.data(), s.unit, 3);
    stable = s.stable ? 1 : 0;
    b_protocol::CopyText(model, s.model);
    serial = 42;
    decimals = s.decimals;
    return true;
  }

 private:
  FakeClock& clock_;
  std::deque<Scripted>& script_;
  bool& destroyed_;
};

struct Loop : ::testing::Test {
  FakeClock clock;
  AcquisitionShared shared;
  std::deque<Scripted> script;
  bool destroyed = false;
  std::unique_ptr<AcquisitionLoop> loop;

  void start(int readoutSeconds = 3, int stepsDone = 0) {
    shared.stepsDone = stepsDone;
    shared.readingRequested = true;
    loop = std::make_unique<AcquisitionLoop>(
        shared, AcquisitionConfig{1, readoutSeconds},
        std::make_unique<ScriptedSource>(clock, script, destroyed), clock);
  }
  // Runs one pass with the given reading; true when it handed over.
  bool pass(Scripted s) {
    script.push_back(s);
    const bool before = shared.readingReady;
    EXPECT_TRUE(loop->runPass());
    const bool handed = !before && shared.readingReady;
    return handed;
  }
  // What the step machine does when it takes a reading.
  void take() {
    std::lock_guard lock(shared.SnapshotLock);
    shared.readingReady = false;
    shared.readingRequested = true;
  }
  Scripted at(double value, bool stable = true, int decimals = 4) {
    Scripted s;
    s.value = value;
    s.stable = stable;
    s.decimals = decimals;
    return s;
  }
};

TEST_F(Loop, PublishesEveryReadingToTheLivePart) {
  start();
  shared.readingRequested = false;
  Scripted s = at(1.5, false, 3);
  pass(s);
  EXPECT_EQ(shared.liveValue, 1.5);
  EXPECT_EQ(shared.liveIsStable, 0);
  EXPECT_EQ(shared.liveDecimals, 3);
  EXPECT_EQ(shared.liveInvalid, 0);
  s.unit = "|";
  pass(s);
  EXPECT_EQ(shared.liveInvalid, 1);
}

TEST_F(Loop, EarlyStepsHandOverTheSecondStableReading) {
  start(3, -2);
  EXPECT_FALSE(pass(at(10)));
  EXPECT_TRUE(loop->armed());
  EXPECT_TRUE(pass(at(10.0001)));
  EXPECT_FALSE(loop->armed());
  EXPECT_FALSE(shared.readingRequested);
  EXPECT_EQ(shared.accepted.acceptedValue, 10.0001);
  EXPECT_EQ(shared.lastReadingTime, clock.now());
  EXPECT_EQ(shared.accepted.balanceSerial, 42);
  EXPECT_STREQ(shared.accepted.balanceModel.data(), "QZ7334");
}

TEST_F(Loop, HandsOverAfterTheReadOutTimeAndAnUnstableReadingRestarts) {
  start(3, 0);
  pass(at(10));  // arms
  const DateTime armedAt = clock.now();
  int passes = 0;
  while (!pass(at(10))) {
    ASSERT_LT(++passes, 100);
  }
  const double waited = ToSeconds(clock.now() - armedAt);
  EXPECT_GE(waited, 3.0);
  EXPECT_LT(waited, 3.2);

  // Second interval: unstable at 2 s restarts the wait.
  take();
  pass(at(10));
  const DateTime start2 = clock.now();
  while (ToSeconds(clock.now() - start2) < 1.9) ASSERT_FALSE(pass(at(10)));
  EXPECT_FALSE(pass(at(10, false)));
  EXPECT_FALSE(loop->armed());
  EXPECT_FALSE(pass(at(10)));  // arms again
  const DateTime rearmed = clock.now();
  while (!pass(at(10))) ASSERT_LT(ToSeconds(clock.now() - rearmed), 4.0);
  EXPECT_GE(ToSeconds(clock.now() - rearmed), 3.0);
}

TEST_F(Loop, UnrequestedReadingsNeitherHandOverNorChangeTheArmedState) {
  start(3, 0);
  pass(at(10));
  ASSERT_TRUE(loop->armed());
  shared.readingRequested = false;
  for (int i = 0; i < 30; ++i) EXPECT_FALSE(pass(at(10, i % 2 == 0)));
  EXPECT_TRUE(loop->armed());
  EXPECT_EQ(shared.liveValue, 10);
  shared.readingRequested = true;
  EXPECT_TRUE(pass(at(10)));  // the interval started 6 s ago
}

struct ClearCase {
  int decimals;
  double accepted;
  double reading;
  bool fast;
};

TEST_F(Loop, RemovalFastPathThresholds) {
  const ClearCase cases[] = {
      {4, 100.0, 99.9950, false}, {4, 100.0, 99.9800, true},
      {1, 100.0, 90.0, false},  // the drop equals the threshold
      {1, 100.0, 89.9, true},     {4, 100.0, 100.5, false},
  };
  for (const ClearCase& c : cases) {
    SCOPED_TRACE(c.reading);
    shared.accepted.acceptedValue = c.accepted;
    shared.accepted.clearanceDigits = 100;
    shared.inWaitForClear = true;
    shared.prevStepInvalid = false;
    shared.readingReady = false;
    start(3, 0);
    // Unstable: only the fast path can hand it over in this pass.
    EXPECT_EQ(pass(at(c.reading, false, c.decimals)), c.fast);
    if (c.fast) {
      EXPECT_EQ(shared.accepted.acceptedValue, c.reading);
    }
  }
}

TEST_F(Loop, RemovalFastPathOnlyWhileWaitingForClear) {
  shared.accepted.acceptedValue = 100.0;
  shared.accepted.clearanceDigits = 100;
  shared.inWaitForClear = false;
  start(3, 0);
  EXPECT_FALSE(pass(at(0.0, false)));
  // Recorded while unrequested, the fast path arms with the interval elapsed.
  shared.inWaitForClear = true;
  shared.readingRequested = false;
  EXPECT_FALSE(pass(at(0.0, false)));
  EXPECT_TRUE(loop->armed());
  shared.readingRequested = true;
  EXPECT_TRUE(pass(at(0.0, true)));
}

TEST_F(Loop, InvalidFrameAfterAValidStepIsHandedOverAtOnce) {
  start(3, 0);
  Scripted invalid = at(0);
  invalid.unit = "|";
  EXPECT_TRUE(pass(invalid));
  EXPECT_EQ(shared.accepted.acceptedInvalid, 1);
  EXPECT_EQ(shared.accepted.acceptedValue, 0);

  // The step used it: the next invalid frame waits like an ordinary reading.
  take();
  shared.prevStepInvalid = true;
  EXPECT_FALSE(pass(invalid));  // arms
  const DateTime armedAt = clock.now();
  while (!pass(invalid)) ASSERT_LT(ToSeconds(clock.now() - armedAt), 4.0);
  EXPECT_GE(ToSeconds(clock.now() - armedAt), 3.0);
  EXPECT_EQ(shared.accepted.acceptedInvalid, 1);
}

TEST_F(Loop, UnrecognisedModelStillGetsTheClearanceAndIsLookedUpAgain) {
  start(3, -2);
  Scripted unknown = at(5);
  unknown.model = "XYZ-1";
  pass(unknown);
  ASSERT_TRUE(pass(unknown));
  EXPECT_EQ(shared.accepted.clearanceDigits, 100);
  EXPECT_EQ(shared.accepted.balanceCapacity, -1);

  // With the threshold at 100 steps a reading at the same mass during the
  // removal step is no removal.
  take();
  shared.inWaitForClear = true;
  EXPECT_FALSE(pass(unknown));
  shared.inWaitForClear = false;
  // Recognised at a later hand-over.
  Scripted known = at(5);
  known.model = "LWR150M-1A";
  ASSERT_TRUE(pass(known));
  EXPECT_EQ(shared.accepted.balanceCapacity, 1200);
  EXPECT_EQ(shared.accepted.clearanceDigits, 100);
  // Looked up once per program life: another balance changes nothing.
  take();
  Scripted other = at(5);
  other.model = "QZ71";
  pass(other);
  ASSERT_TRUE(pass(other));
  EXPECT_EQ(shared.accepted.balanceCapacity, 1200);
  EXPECT_STREQ(shared.accepted.balanceModel.data(), "QZ71");
}

TEST_F(Loop, StopRequestEndsAtTheNextPassAndReleasesTheSource) {
  start();
  pass(at(1));
  shared.stopRequested = true;
  script.push_back(at(1));
  EXPECT_FALSE(loop->runPass());
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(script.size(), 1u);  // no Acquire after the stop
}

// The 40 s rule.
TEST_F(Loop, SilentSourceLosesTheLinkJustAfterFortySeconds) {
  start(3, 0);
  Scripted none;
  none.ok = false;
  none.costMs = 980;
  const DateTime started = clock.now();
  while (!shared.linkLost) {
    pass(none);
    ASSERT_LT(ToSeconds(clock.now() - started), 45);
  }
  EXPECT_GT(ToSeconds(clock.now() - started), 40.0);
  EXPECT_LT(ToSeconds(clock.now() - started), 41.1);
  EXPECT_TRUE(shared.stopRequested);
  EXPECT_FALSE(loop->runPass());
}

TEST_F(Loop, AWorkingBalanceSurvivesASingleFailedWindowLongAfterTheLastInterval) {
  start(3, 0);
  shared.readingRequested = false;  // nobody asks: no interval is armed
  const DateTime started = clock.now();
  while (ToSeconds(clock.now() - started) < 60) pass(at(10));
  Scripted none;
  none.ok = false;
  none.costMs = 1500;
  pass(none);
  EXPECT_FALSE(shared.linkLost);
  // A balance that really stops is still given up 40 s after its last reading.
  const DateTime last = clock.now() - Milliseconds(1520);
  while (!shared.linkLost) {
    pass(none);
    ASSERT_LT(ToSeconds(clock.now() - last), 45);
  }
  EXPECT_GT(ToSeconds(clock.now() - last), 40.0);
  EXPECT_LT(ToSeconds(clock.now() - last), 41.6);
}

// The loop over the real GetW and drivers, on the fake line.
struct LoopOnLine : ::testing::Test {
  FakeClock clock;
  FakeLine line{clock};
  AcquisitionShared shared;

  // Passes until linkLost or the fake-time limit; seconds since the start.
  double runUntilLinkLost(double limitSeconds) {
    AcquisitionLoop loop(shared, AcquisitionConfig{1, 3},
                         std::make_unique<GetW>(1, line.factory(), clock), clock);
    const DateTime started = clock.now();
    while (loop.runPass()) {
      if (ToSeconds(clock.now() - started) > limitSeconds) break;
    }
    return ToSeconds(clock.now() - started);
  }
};

TEST_F(LoopOnLine, PortThatCannotOpenEndsTheRunAfterAboutFortySeconds) {
  line.setOpenFails(true);
  const double took = runUntilLinkLost(120);
  EXPECT_TRUE(shared.linkLost);
  EXPECT_GT(took, 40.0);
  EXPECT_LT(took, 43.0);
}

TEST_F(LoopOnLine, SilentPortEndsTheRunAfterAboutSeventySeconds) {
  const double took = runUntilLinkLost(200);
  EXPECT_TRUE(shared.linkLost);
  EXPECT_GT(took, 65.0);
  EXPECT_LT(took, 75.0);
  EXPECT_FALSE(line.isOpen());  // the port was closed on the way out
}

TEST_F(LoopOnLine, CablePulledInTheMiddleOfReadingsEndsInLinkLost) {
  FakeBBalance balance{line};
  balance.queueFrames({testing::WeighFrame(123456, 2, true)});
  shared.stepsDone = -2;
  shared.readingRequested = true;
  AcquisitionLoop loop(shared, AcquisitionConfig{1, 3},
                       std::make_unique<GetW>(1, line.factory(), clock), clock);
  while (!shared.readingReady) {
    ASSERT_TRUE(loop.runPass());
    ASSERT_LT(balance.weighings(), 10);
  }
  EXPECT_EQ(shared.accepted.acceptedValue, 12.3456);
  EXPECT_EQ(shared.accepted.balanceCapacity, 5000);
  EXPECT_EQ(shared.accepted.clearanceDigits, 100);
  EXPECT_EQ(shared.liveDecimals, 4);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(loop.runPass());
  ASSERT_FALSE(shared.linkLost);

  line.hangUp();
  const DateTime pulled = clock.now();
  while (loop.runPass()) ASSERT_LT(ToSeconds(clock.now() - pulled), 120);
  EXPECT_TRUE(shared.linkLost);
  const double after = ToSeconds(clock.now() - pulled);
  EXPECT_GT(after, 39.0);
  EXPECT_LT(after, 42.0);
  EXPECT_FALSE(line.isOpen());
}

// The real thread. Waits are bounded generously in real time; the thread
// runs in fake time, so it moves fast.
bool WaitFor(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(AcquisitionThreadTest, HandsOverReadingsAndClosesThePortWhenStopped) {
  FakeClock clock;
  FakeLine line{clock};
  FakeBBalance balance{line};
  balance.queueFrames({testing::WeighFrame(50000, 2, true)});
  AcquisitionShared shared;
  AcquisitionThread thread(shared, line.factory(), clock);
  shared.stepsDone = -2;
  thread.Start(AcquisitionConfig{4, 3});
  EXPECT_TRUE(thread.running());
  for (int i = 0; i < 3; ++i) {
    {
      std::lock_guard lock(shared.SnapshotLock);
      shared.readingRequested = true;
    }
    ASSERT_TRUE(WaitFor([&] { return shared.readingReady.load(); }));
    std::lock_guard lock(shared.SnapshotLock);
    EXPECT_EQ(shared.accepted.acceptedValue, 5.0);
    shared.readingReady = false;
  }
  EXPECT_EQ(line.lastPort(), 4);
  thread.RequestStop();
  thread.Join();
  EXPECT_FALSE(thread.running());
  EXPECT_FALSE(line.isOpen());
  EXPECT_FALSE(shared.linkLost);
}

TEST(AcquisitionThreadTest, StartEndsThePreviousThreadAndClearsTheFlags) {
  FakeClock clock;
  FakeLine line{clock};
  line.setOpenFails(true);
  FakeBBalance balance{line};  // outlives the thread
  AcquisitionShared shared;
  AcquisitionThread thread(shared, line.factory(), clock);
  thread.Start(AcquisitionConfig{1, 3});
  ASSERT_TRUE(WaitFor([&] { return shared.linkLost.load(); }));
  ASSERT_TRUE(WaitFor([&] { return !thread.running(); }));
  EXPECT_TRUE(shared.stopRequested);

  line.setOpenFails(false);
  thread.Start(AcquisitionConfig{1, 3});
  EXPECT_FALSE(shared.linkLost);
  // A second Start while the first still runs: the first is ended and joined.
  thread.Start(AcquisitionConfig{1, 3});
  EXPECT_TRUE(thread.running());
  EXPECT_FALSE(shared.stopRequested);
  {
    std::lock_guard lock(shared.SnapshotLock);
    shared.stepsDone = -2;
    shared.readingRequested = true;
  }
  EXPECT_TRUE(WaitFor([&] { return shared.readingReady.load(); }));
}

TEST(AcquisitionThreadTest, DestructorStopsAndJoins) {
  FakeClock clock;
  FakeLine line{clock};
  FakeBBalance balance{line};
  AcquisitionShared shared;
  {
    AcquisitionThread thread(shared, line.factory(), clock);
    thread.Start(AcquisitionConfig{1, 3});
    ASSERT_TRUE(WaitFor([&] { return line.isOpen(); }));
  }
  EXPECT_FALSE(line.isOpen());
}

}  // namespace
}  // namespace librato
