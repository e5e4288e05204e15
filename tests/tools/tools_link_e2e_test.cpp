// The balance link end to end: GetW on the POSIX serial device, over a real
// pseudo-terminal, against the simulated balance. Real time, a few seconds
// per test; values are checked against what the simulator sent.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "balance_sim.h"
#include "link/clock.h"
#include "link/get_w.h"
#include "link/posix_serial.h"
#include "pty_balance.h"
#include "pty_support.h"

namespace librato::sim {
namespace {

using librato::testing::TempConfigHome;
using Steady = std::chrono::steady_clock;

constexpr int kPort = 11;

struct Reading {
  int protocol = 0;
  double value = 0;
  std::string unit;
  bool stable = false;
  std::string model;
  std::int32_t serial = 0;
  std::int32_t decimals = 0;
  const CBalance* driver = nullptr;
};

// The simulator on a pty linked as COM11, and GetW reading it.
class LinkRig {
 public:
  explicit LinkRig(SimConfig c)
      : config_(Checked(c)), balance(config_, RealClock().now()), pty_(balance, RealClock()) {
    std::string error;
    EXPECT_TRUE(pty_.open(error)) << error;
    EXPECT_TRUE(pty_.linkAs(kPort, error)) << error;
    pty_.start();
  }
  ~LinkRig() { pty_.stop(); }

  static SimConfig Checked(SimConfig c) {
    c.keepLog = true;
    EXPECT_EQ(CheckConfig(c), "");
    return c;
  }

  // Calls Acquire until `count` readings came or `seconds` passed (tested
  // between calls). `failures` counts the calls without a reading after the
  // first reading.
  std::vector<Reading> acquire(std::size_t count, double seconds) {
    std::vector<Reading> out;
    const auto end = Steady::now() + std::chrono::duration<double>(seconds);
    while (out.size() < count && Steady::now() < end) {
      double value = 0;
      UnitText unit{};
      std::uint8_t stable = 0;
      ModelText model{};
      std::int32_t serial = 0, decimals = 0;
      if (!getw.Acquire(value, unit, stable, model, serial, decimals)) {
        if (!out.empty() || gotAny_) ++failures;
        continue;
      }
      gotAny_ = true;
      out.push_back(Reading{getw.protocol(), value, unit.data(), stable != 0, model.data(), serial,
                            decimals, getw.driver()});
    }
    return out;
  }

  void disconnect() { pty_.disconnect(); }

 private:
  SimConfig config_;
  TempConfigHome home_;

 public:
  BalanceSimulator balance;

 private:
  PtyBalance pty_;
  bool gotAny_ = false;

 public:
  GetW getw{kPort, PosixSerialFactory(), RealClock()};
  int failures = 0;
};

SimConfig Quiet(int protocol) {
  SimConfig c;
  c.protocol = protocol;
  c.noiseSteps = 0;
  c.settleSeconds = 0;
  return c;
}

std::vector<SentRecord> Records(const BalanceSimulator& b, SentKind kind) {
  std::vector<SentRecord> out;
  for (const auto& r : b.sent()) {
    if (r.kind == kind) out.push_back(r);
  }
  return out;
}

TEST(LinkEndToEnd, FindsEachProtocolAndReadsWhatTheBalanceReports) {
  struct Case {
    int protocol;
    const char* model;
    std::int64_t serial;
    int decimals;
    double load;
    const char* reportedModel;  // as the driver delivers it
  };
  const Case cases[] = {
      {1, "LWR150M-1A", 654321, 3, 200.5, "LWR150M-1A"},
      {1, "QZ7334", 123456, 4, 12.3456, "QZ7334"},
      {2, "PT300", 10452, 3, 123.456, "PT300 "},
      {2, "PT1500", 7, 2, 1499.99, "PT1500 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    SimConfig config = Quiet(c.protocol);
    config.model = c.model;
    config.serial = c.serial;
    config.decimals = c.decimals;
    LinkRig rig(config);
    rig.balance.put(c.load, RealClock().now());
    const auto readings = rig.acquire(3, 8);
    ASSERT_EQ(readings.size(), 3u);
    for (const auto& r : readings) {
      EXPECT_EQ(r.protocol, c.protocol);
      EXPECT_NEAR(r.value, c.load, 1e-9);
      EXPECT_EQ(r.unit.substr(0, 1), "g");
      EXPECT_TRUE(r.stable);
      EXPECT_EQ(r.model, c.reportedModel);
      EXPECT_EQ(r.serial, c.serial);
      EXPECT_EQ(r.decimals, c.decimals);
      EXPECT_EQ(r.driver, readings[0].driver) << "the driver is kept after a reading";
    }
    EXPECT_EQ(rig.failures, 0);
    std::int32_t clearance = 0, capacity = 0;
    EXPECT_TRUE(LookupModel(readings[0].model, clearance, capacity, 2));
  }
}

TEST(LinkEndToEnd, ASilenceShorterThanTheWindowCostsNoReading) {
  for (int protocol : {1, 2}) {
    SCOPED_TRACE(protocol);
    LinkRig rig(Quiet(protocol));
    rig.balance.put(10.0, RealClock().now());
    ASSERT_EQ(rig.acquire(2, 8).size(), 2u);
    const CBalance* driver = rig.getw.driver();
    rig.balance.silence(0.8, RealClock().now());
    const auto after = rig.acquire(3, 6);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(rig.failures, 0) << "no window failed";
    EXPECT_EQ(rig.getw.driver(), driver) << "no switch of protocol";
    EXPECT_NEAR(after.back().value, 10.0, 1e-9);
  }
}

TEST(LinkEndToEnd, Protocol1CorruptedFramesBecomeTheInvalidFrameReading) {
  SimConfig config;
  config.corruptRate = 0.25;
  config.seed = 21;
  LinkRig rig(config);
  rig.balance.put(50.0, RealClock().now());
  const auto readings = rig.acquire(40, 10);
  ASSERT_EQ(readings.size(), 40u);
  const auto sent = rig.balance.sent();
  ASSERT_EQ(sent.size(), readings.size()) << "one weighing reply per reading";
  int invalid = 0;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    const Reading& r = readings[i];
    if (sent[i].kind == SentKind::Corrupted) {
      ++invalid;
      EXPECT_EQ(r.value, 0.0);
      EXPECT_EQ(r.unit, "|");
      EXPECT_TRUE(r.stable);
    } else {
      ASSERT_EQ(sent[i].kind, SentKind::Intact);
      EXPECT_NEAR(r.value, sent[i].value, 1e-9);
      EXPECT_EQ(r.unit, "g");
      EXPECT_EQ(r.stable, sent[i].stable);
    }
  }
  EXPECT_GT(invalid, 3);
}

TEST(LinkEndToEnd, Protocol1DroppedReplyByteResynchronisesWithoutSwitching) {
  SimConfig config;
  config.dropRate = 0.25;
  config.seed = 5;
  LinkRig rig(config);
  rig.balance.put(75.0, RealClock().now());
  const auto readings = rig.acquire(12, 20);
  ASSERT_EQ(readings.size(), 12u);
  EXPECT_EQ(rig.failures, 0);
  const auto intact = Records(rig.balance, SentKind::Intact);
  const auto dropped = Records(rig.balance, SentKind::Dropped);
  EXPECT_GE(dropped.size(), 1u);
  ASSERT_EQ(intact.size(), readings.size()) << "a reply with a byte missing gives no reading";
  for (std::size_t i = 0; i < readings.size(); ++i) {
    EXPECT_EQ(readings[i].protocol, 1);
    EXPECT_EQ(readings[i].driver, readings[0].driver);
    EXPECT_NEAR(readings[i].value, intact[i].value, 1e-9);
  }
}

TEST(LinkEndToEnd, Protocol2EveryIntactLineGivesItsReadingUnderFaults) {
  SimConfig config;
  config.protocol = 2;
  config.corruptRate = 0.05;
  config.garbageRate = 0.05;
  config.seed = 9;
  LinkRig rig(config);
  rig.balance.put(123.4567, RealClock().now());
  const auto readings = rig.acquire(50, 15);
  ASSERT_EQ(readings.size(), 50u);
  const auto sent = rig.balance.sent();
  // Find where the readings begin among the lines sent; from there every
  // intact line gives exactly its reading, and nothing else gives one.
  std::size_t k = 0;
  bool found = false;
  for (; k < sent.size() && !found; ++k) {
    if (sent[k].kind != SentKind::Intact) continue;
    std::size_t j = k, i = 0;
    for (; i < readings.size() && j < sent.size(); ++j) {
      if (sent[j].kind != SentKind::Intact) continue;
      if (std::fabs(sent[j].value - readings[i].value) > 1e-9 ||
          sent[j].stable != readings[i].stable) {
        break;
      }
      ++i;
    }
    found = i == readings.size();
    if (found) {
      int faulty = 0;
      for (std::size_t m = k; m < j; ++m) faulty += sent[m].kind != SentKind::Intact;
      EXPECT_GT(faulty, 0) << "faults fell among the lines read";
    }
  }
  EXPECT_TRUE(found) << "the readings are the intact lines in order";
  for (const auto& r : readings) {
    EXPECT_EQ(r.protocol, 2);
    EXPECT_EQ(r.driver, readings[0].driver);
  }
  EXPECT_EQ(rig.failures, 0);
}

TEST(LinkEndToEnd, DisconnectEndsTheReadingsAtOnce) {
  LinkRig rig(Quiet(1));
  ASSERT_EQ(rig.acquire(2, 5).size(), 2u);
  rig.disconnect();
  const auto start = Steady::now();
  EXPECT_TRUE(rig.acquire(1, 1.5).empty());
  EXPECT_GT(rig.failures, 0);
  EXPECT_LT(std::chrono::duration<double>(Steady::now() - start).count(), 6.0)
      << "no call blocks for long on a hung-up line";
}

}  // namespace
}  // namespace librato::sim
