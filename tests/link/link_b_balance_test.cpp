// First protocol: frame decoding on byte arrays, and the driver over a fake
// line that answers byte by byte.

#include <gtest/gtest.h>

#include <cstring>

#include "support/fake_clock.h"
#include "support/fake_serial.h"
#include "link/b_balance/b_balance.h"
#include "link_fake_balance.h"

namespace librato {
namespace {

using b_protocol::DecodeIdentity;
using b_protocol::DecodeWeighing;
using b_protocol::ModelName;
using b_protocol::UnitName;
using testing::FakeBBalance;
using testing::FakeClock;
using testing::FakeLine;
using testing::Frame8;

const Frame8 kStable12_3456 = {0xE2, 0x40, 0x5B, 0x82, 0x01, 0xE2, 0x40, 0x00};
const Frame8 kUnstableMinus0_01 = {0xFF, 0x9C, 0x64, 0x02, 0xFF, 0xFF, 0x9C, 0x00};

struct WeighCase {
  Frame8 reply;
  double value;
  int decimals;
  bool stable;
  int unit;
};

TEST(BFrames, DecodesWeighingReplies) {
  const WeighCase cases[] = {
      {kStable12_3456, 12.3456, 4, true, 0},
      {kUnstableMinus0_01, -0.01, 4, false, 0},
      {testing::WeighFrame(-8388608, 6, true, 5), -8388608, 0, true, 5},
      {testing::WeighFrame(8388607, 0, false, 7), 8.388607, 6, false, 7},
      {testing::WeighFrame(12, 7, true, 1), 120, -1, true, 1},
  };
  for (const WeighCase& c : cases) {
    b_protocol::Weighing w;
    ASSERT_EQ(DecodeWeighing(c.reply, w), FrameStatus::FrameOk);
    EXPECT_EQ(w.value, c.value);
    EXPECT_EQ(w.decimals, c.decimals);
    EXPECT_EQ(w.stable, c.stable);
    EXPECT_EQ(w.unitIndex, c.unit);
  }
}

TEST(BFrames, EverySingleChangedCheckedByteIsBad) {
  for (const Frame8& good : {kStable12_3456, kUnstableMinus0_01}) {
    for (int i = 0; i < 7; ++i) {
      for (int delta : {1, 0x80, 0xFF}) {
        Frame8 bad = good;
        bad[i] = static_cast<std::uint8_t>(bad[i] + delta);
        b_protocol::Weighing w;
        w.value = 7;
        EXPECT_EQ(DecodeWeighing(bad, w), FrameStatus::FrameBad) << "byte " << i;
        EXPECT_EQ(w.value, 7);
      }
    }
    // r7 is outside every sum.
    Frame8 other = good;
    other[7] ^= 0x5A;
    b_protocol::Weighing w;
    EXPECT_EQ(DecodeWeighing(other, w), FrameStatus::FrameOk);
  }
}

TEST(BFrames, DecodesIdentity) {
  b_protocol::Identity id;
  ASSERT_TRUE(DecodeIdentity(Frame8{0xE2, 0x40, 0xB8, 0x25, 0x01, 0xE2, 0x40, 0x01}, id));
  EXPECT_EQ(id.modelCode, 0x25);
  EXPECT_EQ(id.serial, 123456);
  EXPECT_EQ(id.decimals, 4);
  EXPECT_EQ(ModelName(id.modelCode), "QZ7334");

  struct {
    int code;
    int decimals;
  } const presets[] = {{4, 3}, {5, 3}, {12, 3}, {13, 3}, {0x24, 4}, {0, 4}, {0xFF, 4}};
  for (const auto& p : presets) {
    ASSERT_TRUE(DecodeIdentity(testing::IdentFrame(p.code, 0xFFFFFF), id));
    EXPECT_EQ(id.decimals, p.decimals) << p.code;
    EXPECT_EQ(id.serial, 0xFFFFFF);
  }

  Frame8 noTail = testing::IdentFrame(0x25, 1);
  noTail[7] = 0;
  EXPECT_FALSE(DecodeIdentity(noTail, id));
  Frame8 badSum = testing::IdentFrame(0x25, 1);
  badSum[5] ^= 1;
  EXPECT_FALSE(DecodeIdentity(badSum, id));
}

TEST(BFrames, ModelAndUnitNames) {
  const struct {
    int code;
    const char* name;
  } models[] = {
      {0x20, "QZ71"},     {0x27, "QZ74426"},     {0xFF, "QZ74426"},
      {0x00, "LWQ7-01"},  {0x95, "LWR150M-1A"},  {0x0C, "LWV65-1C"},
      {0x03, "LWT35-01"}, {0x9F, "LWX250M-1AC"}, {0x46, "LWU55-1"},
  };
  for (const auto& m : models) EXPECT_EQ(ModelName(m.code), m.name) << m.code;

  const char* units[] = {"g", "ct", "%", "pcs", "mg", "kg", "oz", "ozt", "|"};
  for (int i = 0; i <= 8; ++i) EXPECT_STREQ(UnitName(i), units[i]);
  EXPECT_STREQ(UnitName(9), "|");
  EXPECT_STREQ(UnitName(-1), "|");
}

// The driver over a fake line.
struct BDriver : ::testing::Test {
  FakeClock clock;
  FakeLine line{clock};
  FakeBBalance balance{line};
  B_balance driver{3, line.factory(), clock};

  double value = -1;
  UnitText unit{};
  std::uint8_t stable = 9;
  ModelText model{};
  std::int32_t serial = -1;

  void poll() { driver.Poll(value, unit, stable, model, serial); }
  void pollToLinked() {
    for (int i = 0; i < 3 && driver.state != DriverState::Linked; ++i) poll();
    ASSERT_EQ(driver.state, DriverState::Linked);
  }
};

TEST_F(BDriver, ConnectsSynchronisesIdentifiesAndReads) {
  balance.queueFrames({kStable12_3456, kUnstableMinus0_01});
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  EXPECT_EQ(line.lastPort(), 3);
  EXPECT_EQ(line.lastLine().baud, 19200u);
  EXPECT_EQ(line.lastLine().parity, Parity::None);
  EXPECT_EQ(driver.modelCode, -1);
  poll();
  ASSERT_EQ(driver.state, DriverState::Linked);
  EXPECT_EQ(driver.modelCode, 0x25);
  EXPECT_EQ(driver.serialNumber, 123456);
  EXPECT_EQ(driver.decimals, 4);

  poll();
  ASSERT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, 12.3456);
  EXPECT_STREQ(unit.data(), "g");
  EXPECT_EQ(stable, 1);
  EXPECT_STREQ(model.data(), "QZ7334");
  EXPECT_EQ(serial, 123456);
  // Waiting for Resume: another poll does nothing.
  const auto written = line.written().size();
  poll();
  EXPECT_EQ(line.written().size(), written);
  driver.Resume();
  poll();
  ASSERT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, -0.01);
  EXPECT_EQ(stable, 0);
}

TEST_F(BDriver, RepliesDelayedWithinTheTimeoutAtEveryByteStillDecode) {
  for (int split = 0; split < 8; ++split) {
    FakeClock c;
    FakeLine l{c};
    FakeBBalance b{l};
    b.queueFrames({kStable12_3456});
    b.setWeighDelay([split](int i) { return i == split ? 900.0 : 0.0; });
    B_balance d{1, l.factory(), c};
    for (int i = 0; i < 3; ++i) d.Poll(value, unit, stable, model, serial);
    ASSERT_EQ(d.state, DriverState::ReadingComplete) << split;
    EXPECT_EQ(value, 12.3456);
  }
}

TEST_F(BDriver, BadFrameIsTheInvalidFrameReading) {
  Frame8 bad = kUnstableMinus0_01;
  bad[4] ^= 0x10;
  balance.queueFrames({bad});
  pollToLinked();
  poll();
  ASSERT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, 0.0);
  EXPECT_STREQ(unit.data(), "|");
  EXPECT_EQ(stable, 1);
  EXPECT_STREQ(model.data(), "QZ7334");
}

TEST_F(BDriver, LostReplyByteResynchronises) {
  balance.queueFrames({kStable12_3456});
  pollToLinked();
  EXPECT_EQ(balance.syncs(), 1);
  balance.dropNextWeighAfter(3);
  const DateTime before = clock.now();
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  EXPECT_GE(ToSeconds(clock.now() - before), 1.0);  // one read timed out
  poll();
  EXPECT_EQ(driver.state, DriverState::Linked);
  EXPECT_EQ(balance.syncs(), 2);
  poll();
  EXPECT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, 12.3456);
}

TEST_F(BDriver, LineErrorOnAWeighingByteLosesTheFrame) {
  balance.queueFrames({kStable12_3456});
  pollToLinked();
  line.markNextByte(line_error::kOverrun);
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
}

TEST_F(BDriver, PortThatDoesNotOpenStaysDisconnected) {
  line.setOpenFails(true);
  poll();
  EXPECT_EQ(driver.state, DriverState::Disconnected);
  line.setOpenFails(false);
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
}

TEST_F(BDriver, SilentLineFailsSynchronisationAfterOneTimeout) {
  balance.setSilent(true);
  poll();
  const DateTime before = clock.now();
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  const double took = ToSeconds(clock.now() - before);
  EXPECT_GE(took, 1.0);
  EXPECT_LT(took, 1.1);
}

// Synchronisation against scripted replies to the zero bytes.
struct SyncCase {
  std::vector<std::uint8_t> zeroReplies;  // replies to the 0x00 requests, in order
  std::uint8_t finalReply;
  bool ok;
  int exchanges;  // bytes written in all
};

TEST(BSynchronize, CountsFifteenZerosInARow) {
  std::vector<std::uint8_t> nonzeroEveryTenth;
  for (int i = 0; i < 40; ++i) nonzeroEveryTenth.push_back(i % 10 == 9 ? 0x07 : 0x00);
  std::vector<std::uint8_t> late = {0x00, 0x00, 0x05};
  late.insert(late.end(), 15, 0x00);
  std::vector<std::uint8_t> fifteen(15, 0x00);
  const SyncCase cases[] = {
      {late, 0x02, true, 19},
      {fifteen, 0x02, true, 16},
      {fifteen, 0x03, false, 16},
      {nonzeroEveryTenth, 0x02, false, 40},
  };
  for (const SyncCase& c : cases) {
    FakeClock clock;
    FakeLine line{clock};
    std::size_t next = 0;
    line.setWriteHandler([&](FakeLine& l, std::uint8_t b) {
      if (b == 0x00 && next < c.zeroReplies.size()) l.send({c.zeroReplies[next++]});
      if (b == 0x01) l.send({c.finalReply});
    });
    B_balance driver{1, line.factory(), clock};
    ASSERT_TRUE(driver.Connect(1, 19200, Parity::None));
    EXPECT_EQ(driver.Synchronize(), c.ok);
    EXPECT_EQ(static_cast<int>(line.written().size()), c.exchanges);
  }
}

TEST(BIdentify, RetriesAndGivesUpAfterTwentyAttempts) {
  // A balance that never passes the first check: 20 attempts, 100 ms each.
  FakeClock clock;
  FakeLine line{clock};
  line.setWriteHandler([](FakeLine& l, std::uint8_t) { l.send({0x11}); });
  B_balance driver{1, line.factory(), clock};
  ASSERT_TRUE(driver.Connect(1, 19200, Parity::None));
  const DateTime before = clock.now();
  EXPECT_FALSE(driver.Identify());
  EXPECT_EQ(line.written().size(), 20u * 16u);
  EXPECT_GE(ToSeconds(clock.now() - before), 2.0);
  EXPECT_EQ(driver.modelCode, -1);
}

TEST(BIdentify, MissingReplyInTheFinalExchangesEndsAtOnce) {
  // Replies pass the first check, then stop.
  FakeClock clock;
  FakeLine line{clock};
  int n = 0;
  line.setWriteHandler([&](FakeLine& l, std::uint8_t b) {
    const std::uint8_t tail[7] = {0x00, 0x00, 0x3C, 0x53, 0x71, 0x00, 0x00};
    if (n < 16) l.send({n >= 8 && n < 15 ? tail[n - 8] : b});
    ++n;
  });
  B_balance driver{1, line.factory(), clock};
  ASSERT_TRUE(driver.Connect(1, 19200, Parity::None));
  EXPECT_FALSE(driver.Identify());
  EXPECT_EQ(line.written().size(), 24u);  // one attempt: 16 + 8 bytes
}

}  // namespace
}  // namespace librato
