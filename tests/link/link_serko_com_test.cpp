// The serial channel over a scripted device: line set-up and timeouts on
// open, the result codes of reads and writes, closing.

#include <gtest/gtest.h>

#include "link/serko_com.h"
#include "support/fake_clock.h"
#include "support/fake_serial.h"

namespace librato {
namespace {

using testing::FakeClock;
using testing::FakeLine;

struct Channel : ::testing::Test {
  FakeClock clock;
  FakeLine line{clock};
  SerkoComA com{line.factory(), clock};

  void open(std::uint32_t baud = 19200, Parity parity = Parity::None) {
    com.baudRate = baud;
    com.parity = parity;
    ASSERT_TRUE(com.OpenPort());
  }
};

TEST(TimeoutMultiplierTest, OneMillisecondPerByteFromTwentyBaud) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {{19200, 1}, {2400, 1}, {20, 1}, {19, 2},
                                                           {10, 2},    {9, 2},    {0, 2}};
  for (auto [baud, multiplier] : cases) EXPECT_EQ(TimeoutMultiplier(baud), multiplier) << baud;
}

TEST_F(Channel, OpenPassesPortLineAndTimeouts) {
  com.portNumber = 12;
  open(2400, Parity::Even);
  EXPECT_EQ(line.lastPort(), 12);
  EXPECT_EQ(line.lastLine().baud, 2400u);
  EXPECT_EQ(line.lastLine().parity, Parity::Even);
  const CommTimeouts t = line.lastTimeouts();
  EXPECT_EQ(t.readInterval, 1u);
  EXPECT_EQ(t.readMultiplier, 1u);
  EXPECT_EQ(t.readConstant, 1000u);
  EXPECT_EQ(t.writeMultiplier, 1u);
  EXPECT_EQ(t.writeConstant, 1000u);
}

TEST_F(Channel, BusyPortFailsAndStaysClosed) {
  SerkoComA other{line.factory(), clock};
  open();
  EXPECT_FALSE(other.OpenPort());
  EXPECT_FALSE(other.portIsOpen());
  std::uint8_t b = 0x55;
  EXPECT_EQ(other.ReadBytes(&b, 1), read_result::kNotOpen);
  EXPECT_EQ(b, 0x55);
  EXPECT_FALSE(other.WriteBytes(&b, 1));
}

TEST_F(Channel, RefusedSetUpLeavesThePortOpen) {
  line.setRefuseSetup(true);
  com.baudRate = 19200;
  EXPECT_FALSE(com.OpenPort());
  EXPECT_TRUE(com.portIsOpen());
  EXPECT_TRUE(com.ClosePort());
  EXPECT_FALSE(com.portIsOpen());
  // Closing again: still closed.
  com.ClosePort();
  EXPECT_FALSE(com.portIsOpen());
}

TEST_F(Channel, ReadResultCodes) {
  open();
  struct {
    const char* name;
    std::uint32_t errors;
    std::int32_t result;
  } const cases[] = {
      {"clean", 0, read_result::kComplete},
      {"lone parity error", line_error::kParity, read_result::kComplete},
      {"framing", line_error::kFraming, read_result::kLineError},
      {"parity and overrun", line_error::kParity | line_error::kOverrun, read_result::kLineError},
      {"break", line_error::kBreak, read_result::kLineError},
  };
  for (const auto& c : cases) {
    line.markNextByte(c.errors);
    line.send({0x42});
    std::uint8_t b = 0;
    EXPECT_EQ(com.ReadBytes(&b, 1), c.result) << c.name;
    EXPECT_EQ(b, 0x42) << c.name;
  }
  // The error state was cleared by the read that reported it.
  line.send({0x43});
  std::uint8_t b = 0;
  EXPECT_EQ(com.ReadBytes(&b, 1), read_result::kComplete);
}

TEST_F(Channel, SilentLineReadIsShortAfterAboutOneSecondAndKeepsTheBuffer) {
  open();
  std::uint8_t buffer[3] = {1, 2, 3};
  line.send({9});
  const DateTime before = clock.now();
  EXPECT_EQ(com.ReadBytes(buffer, 3), read_result::kShort);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(buffer[2], 3);
  // The byte came at once, then the interval timeout ended the read.
  EXPECT_LT(ToSeconds(clock.now() - before), 0.1);

  std::uint8_t b = 7;
  const DateTime quiet = clock.now();
  EXPECT_EQ(com.ReadBytes(&b, 1), read_result::kShort);
  EXPECT_EQ(b, 7);
  EXPECT_NEAR(ToSeconds(clock.now() - quiet), 1.001, 0.005);
}

TEST_F(Channel, WriteResult) {
  line.setCallCostMs(0);  // only the channel's own pause moves the clock
  open();
  const std::uint8_t bytes[2] = {0x53, 0x69};
  EXPECT_TRUE(com.WriteBytes(bytes, 2));
  EXPECT_EQ(line.written(), (std::vector<std::uint8_t>{0x53, 0x69}));
  // A short read leaves its errors pending; a lone parity error then makes
  // the next write pause 1 ms and report failure.
  line.markNextByte(line_error::kParity);
  line.send({0});
  std::uint8_t b[2];
  ASSERT_EQ(com.ReadBytes(b, 2), read_result::kShort);
  const DateTime before = clock.now();
  EXPECT_FALSE(com.WriteBytes(bytes, 1));
  EXPECT_NEAR(ToSeconds(clock.now() - before), 0.001, 1e-6);
  EXPECT_TRUE(com.WriteBytes(bytes, 1));
  line.hangUp();
  EXPECT_FALSE(com.WriteBytes(bytes, 1));
  EXPECT_EQ(com.ReadBytes(b, 1), read_result::kShort);
}

TEST_F(Channel, ReopensAfterClose) {
  open();
  EXPECT_TRUE(com.ClosePort());
  EXPECT_FALSE(com.portIsOpen());
  open();
  EXPECT_EQ(line.opens(), 2);
}

}  // namespace
}  // namespace librato
