// Protocol auto-detection in fake time, and the model table.

#include <gtest/gtest.h>

#include "link/b_balance/b_balance.h"
#include "link/get_w.h"
#include "link/pt_balance/pt_balance.h"
#include "link_fake_balance.h"
#include "support/fake_clock.h"
#include "support/fake_serial.h"

namespace librato {
namespace {

using testing::FakeBBalance;
using testing::FakeClock;
using testing::FakeLine;

struct Detect : ::testing::Test {
  FakeClock clock;
  FakeLine line{clock};
  GetW getW{5, line.factory(), clock};

  double value = -1;
  UnitText unit{};
  std::uint8_t stable = 9;
  ModelText model{};
  std::int32_t serial = -1;
  std::int32_t decimals = -7;

  bool acquire() { return getW.Acquire(value, unit, stable, model, serial, decimals); }
  // Seconds that one call took in fake time.
  double timed(bool& result) {
    const DateTime before = clock.now();
    result = acquire();
    return ToSeconds(clock.now() - before);
  }
};

TEST_F(Detect, FirstCallSwitchesToProtocolOneWithoutOpening) {
  EXPECT_EQ(getW.phase(), 1);
  EXPECT_EQ(getW.driver(), nullptr);
  EXPECT_FALSE(acquire());
  EXPECT_NE(dynamic_cast<B_balance*>(getW.driver()), nullptr);
  EXPECT_EQ(getW.phase(), 2);
  EXPECT_EQ(line.opens(), 0);
}

TEST_F(Detect, NothingOnThePortAlternatesBothProtocols) {
  bool got = true;
  acquire();
  // B_balance: connect, then two synchronisations of about 1 s each.
  const double first = timed(got);
  EXPECT_FALSE(got);
  EXPECT_GT(first, 2.0);
  EXPECT_LT(first, 2.2);
  EXPECT_EQ(getW.phase(), 1);
  EXPECT_FALSE(acquire());  // the switch
  EXPECT_NE(dynamic_cast<PT_balance*>(getW.driver()), nullptr);
  EXPECT_EQ(line.closes(), 1);  // the B_balance's port was closed
  // PT_balance: connect, then one synchronisation of 32 reads.
  const double second = timed(got);
  EXPECT_FALSE(got);
  EXPECT_GT(second, 32.0);
  EXPECT_LT(second, 33.0);
  EXPECT_FALSE(acquire());
  EXPECT_NE(dynamic_cast<B_balance*>(getW.driver()), nullptr);
  EXPECT_EQ(line.lastLine().baud, 2400u);
}

TEST_F(Detect, PortThatCannotOpenFailsEachWindowAfterOneAndAHalfSeconds) {
  line.setOpenFails(true);
  for (int protocol : {1, 2, 1}) {
    EXPECT_FALSE(acquire());
    EXPECT_EQ(getW.protocol(), protocol);
    bool got = true;
    const double took = timed(got);
    EXPECT_FALSE(got);
    EXPECT_GE(took, 1.5);
    EXPECT_LT(took, 1.6);
  }
}

TEST_F(Detect, FindsProtocolOneAndKeepsItsDriver) {
  FakeBBalance balance{line};
  balance.queueFrames({testing::WeighFrame(123456, 2, true), testing::WeighFrame(-100, 2, false)});
  EXPECT_FALSE(acquire());
  ASSERT_TRUE(acquire());
  EXPECT_EQ(value, 12.3456);
  EXPECT_EQ(decimals, 4);
  EXPECT_STREQ(model.data(), "QZ7334");
  EXPECT_EQ(serial, 123456);
  EXPECT_EQ(getW.driver()->state, DriverState::Linked);
  CBalance* const driver = getW.driver();
  ASSERT_TRUE(acquire());
  EXPECT_EQ(value, -0.01);
  EXPECT_EQ(stable, 0);
  EXPECT_EQ(getW.driver(), driver);
  EXPECT_EQ(line.opens(), 1);
}

TEST_F(Detect, FindsProtocolTwoAfterProtocolOne) {
  // A protocol-2 balance talks by itself; the B_balance's zero requests get
  // text instead of zeros and its synchronisation fails.
  const std::string lineText = "  12.345g   PT300 10452\r\n";
  std::string lots;
  for (int i = 0; i < 200; ++i) lots += lineText;
  line.sendText(lots);
  bool got = false;
  for (int call = 0; call < 6 && !got; ++call) got = acquire();
  ASSERT_TRUE(got);
  EXPECT_EQ(getW.protocol(), 2);
  EXPECT_EQ(value, 12.345);
  EXPECT_EQ(decimals, 3);
  EXPECT_STREQ(model.data(), "PT300 ");
  EXPECT_EQ(serial, 10452);
}

TEST_F(Detect, LinkedDriverIsNotGivenUpByTimeAlone) {
  // Protocol 2 whose lines all fail their checks: linked, never a reading,
  // never a switch. Lines come every 0.4 s for a minute.
  line.sendText("\r\n");
  std::string bad = "xxxxxxxx\r\n";
  for (int i = 0; i < 150; ++i) line.sendText(bad, 400);
  ASSERT_FALSE(acquire());  // protocol 1
  bool got = true;
  timed(got);               // fails: no zeros in reply
  ASSERT_FALSE(acquire());  // protocol 2
  const DateTime before = clock.now();
  // The call goes on while the lines keep coming, then fails once they stop.
  EXPECT_FALSE(acquire());
  EXPECT_GT(ToSeconds(clock.now() - before), 55.0);
  EXPECT_EQ(getW.phase(), 1);
}

TEST_F(Detect, RecoversWithinTheWindowWhenTheBalanceLosesItsSynchronisation) {
  FakeBBalance balance{line};
  balance.queueFrames({testing::WeighFrame(5000, 2, true)});
  acquire();
  ASSERT_TRUE(acquire());
  // The balance drops out of a weighing reply: a read times out (1 s), the
  // driver resynchronises and reads again within the same call.
  balance.dropNextWeighAfter(2);
  balance.queueFrames({testing::WeighFrame(5001, 2, true)});
  bool got = false;
  const double took = timed(got);
  ASSERT_TRUE(got);
  EXPECT_GT(took, 1.0);
  EXPECT_EQ(value, 0.5001);
  EXPECT_EQ(getW.protocol(), 1);
  EXPECT_EQ(balance.syncs(), 2);
}

struct ModelCase {
  const char* text;
  bool found;
  std::int32_t capacity;
};

TEST(LookupModelTest, Table) {
  const ModelCase cases[] = {
      {"QZ71", true, 20},
      {"QZ713", true, 100},
      {"QZ722", true, 200},
      {"QZ7312", true, 1000},
      {"QZ7323", true, 2000},
      {"QZ7334", true, 5000},
      {"QZ74415", true, 10000},
      {"QZ74426", true, 20000},
      {"QZ7334 ", false, 0},
      {"QZ7", false, 0},
      {"QZ", false, 0},
      {"LWR150M-1A", true, 1200},
      {"LWR150-1", true, 1200},
      {"LWR150A", true, 1200},
      {"LWX250M-1AC", true, 2200},
      {"LWR15-01", true, 120},
      {"LWS25", true, 210},
      {"LWT35-01", true, 310},
      {"LWV65-1C", true, 600},
      {"LWU55 ", true, 510},
      {"LWQ7-01", true, 60},
      {"LWQ", false, 0},
      {"LW", false, 0},
      {"PT300 ", true, 3000},
      {"PT1500", true, 15000},
      {" \tPT60\r\n", true, 600},
      {"PT", false, 0},
      {"PTx", false, 0},
      {"PT300x", true, 3000},
      {"PT214748364", true, 2147483640},
      {"PT214748365", false, 0},
      {"PT99999999999999999999", false, 0},
      {"XYZ", false, 0},
      {"", false, 0},
      {"pt300", false, 0},
  };
  for (const ModelCase& c : cases) {
    std::int32_t clearance = -1, capacity = -1;
    EXPECT_EQ(LookupModel(std::string_view(c.text), clearance, capacity, 2), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(capacity, c.capacity) << c.text;
      EXPECT_EQ(clearance, 100) << c.text;
    } else {
      EXPECT_EQ(capacity, -1) << c.text;
      EXPECT_EQ(clearance, -1) << c.text;
    }
  }
}

TEST(LookupModelTest, EveryDriverDesignationOfTheFirstProtocolIsKnown) {
  for (int code = 0; code < 256; ++code) {
    ModelText text{};
    b_protocol::CopyText(text, b_protocol::ModelName(code));
    std::int32_t clearance = -1, capacity = -1;
    EXPECT_TRUE(LookupModel(text, clearance, capacity, 2)) << code;
  }
}

TEST(LookupModelTest, ReadsOnlyUpToTheFirstZeroAndWithinTheBuffer) {
  ModelText full;
  full.fill('Q');  // no terminating zero at all
  std::int32_t clearance = -1, capacity = -1;
  EXPECT_FALSE(LookupModel(full, clearance, capacity, 2));
  const char withZero[] = "QZ71\0garbage";
  EXPECT_TRUE(LookupModel(std::string_view(withZero, sizeof withZero - 1), clearance, capacity, 0));
  EXPECT_EQ(capacity, 20);
  EXPECT_EQ(clearance, 1);
}

}  // namespace
}  // namespace librato
