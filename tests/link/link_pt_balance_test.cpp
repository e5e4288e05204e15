// Second protocol: line decoding on byte arrays, and the driver over a fake
// line on which the balance sends by itself.

#include <gtest/gtest.h>

#include <string>

#include "link/pt_balance/pt_balance.h"
#include "support/fake_clock.h"
#include "support/fake_serial.h"

namespace librato {
namespace {

using pt_protocol::DecodeLine;
using pt_protocol::PtReading;
using testing::FakeClock;
using testing::FakeLine;

const std::string kExample = " 123.456g   PT300 10452\r\n";

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

FrameStatus Decode(const std::string& line, PtReading& r, std::int32_t& decimals) {
  const auto bytes = Bytes(line);
  return DecodeLine(bytes, r, decimals);
}

TEST(PtLine, DecodesTheExampleLine) {
  ASSERT_EQ(kExample.size(), 25u);
  PtReading r;
  std::int32_t decimals = 0;
  ASSERT_EQ(Decode(kExample, r, decimals), FrameStatus::FrameOk);
  EXPECT_EQ(r.value, 123.456);
  EXPECT_EQ(decimals, 3);
  EXPECT_EQ(std::string(r.unit.data()), "g  ");
  EXPECT_TRUE(r.stable);
  EXPECT_STREQ(r.model.data(), "PT300 ");
  EXPECT_EQ(r.serial, 10452);

  std::string unstable = kExample;
  unstable[8] = ' ';
  ASSERT_EQ(Decode(unstable, r, decimals), FrameStatus::FrameOk);
  EXPECT_FALSE(r.stable);
  EXPECT_EQ(r.value, 123.456);
}

struct LineCase {
  const char* name;
  std::string line;
  FrameStatus status;
  double value;
  int decimals;  // previous decimals are 5
  const char* model;
  std::int32_t serial;
};

TEST(PtLine, Fields) {
  // Value fields are 8 characters, right-aligned; the decimals before each
  // line are 9, so a line without a point visibly keeps them.
  const LineCase cases[] = {
      {"negative", "   -12.5g   PT1500 7\r\n", FrameStatus::FrameOk, -12.5, 1, "PT1500 ", 7},
      {"no point keeps decimals", "     120g   PT300 1\r\n", FrameStatus::FrameOk, 120, 9, "PT300 ",
       1},
      {"no number reads 0", "     abcg   PT300 1\r\n", FrameStatus::FrameOk, 0, 9, "PT300 ", 1},
      {"plus sign", "+0.00001g   PT300 1\r\n", FrameStatus::FrameOk, 0.00001, 5, "PT300 ", 1},
      {"no serial digits", "     1.0g   PT300 x\r\n", FrameStatus::FrameOk, 1.0, 1, "PT300 ", 0},
      {"space before CR", "     1.0g   PT300 \r\n", FrameStatus::FrameOk, 1.0, 1, "PT300 ", 0},
      {"serial of 7 digits", "     1.0g   PT300 1234567\r\n", FrameStatus::FrameOk, 1.0, 1,
       "PT300 ", 1234567},
      // Beyond what the model field and the serial can hold.
      {"designation cut to 15", "     1.0g   ABCDEFGHIJKLMNOPQR 5\r\n", FrameStatus::FrameOk, 1.0,
       1, "ABCDEFGHIJKLMNO", 5},
      {"last space before 12", "    1.00g  1234\r\n", FrameStatus::FrameOk, 1.0, 2, "", 1234},
      {"serial of 8 digits", "     1.0g   PT300 12345678\r\n", FrameStatus::FrameBad, 0, 9, "", 0},
      {"huge serial", "     1.0g   PT300 99999999999999999999\r\n", FrameStatus::FrameBad, 0, 9, "",
       0},
      {"no CR LF", "     1.0g   PT300 1\n\n", FrameStatus::FrameBad, 0, 9, "", 0},
      {"no space at all", "1234567890123\r\n", FrameStatus::FrameBad, 0, 9, "", 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    PtReading r;
    std::int32_t decimals = 9;
    ASSERT_EQ(Decode(c.line, r, decimals), c.status);
    EXPECT_EQ(decimals, c.decimals);
    if (c.status != FrameStatus::FrameOk) continue;
    EXPECT_EQ(r.value, c.value);
    EXPECT_STREQ(r.model.data(), c.model);
    EXPECT_EQ(r.serial, c.serial);
  }
}

TEST(PtLine, AssemblerEndsAtCrLfFromPositionSixOrAfterFiftyBytes) {
  struct {
    std::string bytes;
    std::size_t length;  // bytes taken when the line ends, 0 = not ended
  } const cases[] = {
      {"ab\r\ncdefg\r\n", 11},  // the first CR LF ends at 3: too early
      {"abcd\r\n", 0},
      {"abcde\r\n", 7},
      {std::string(60, 'x'), 50},
  };
  for (const auto& c : cases) {
    pt_protocol::LineAssembler a;
    std::size_t ended = 0;
    for (std::size_t i = 0; i < c.bytes.size() && !ended; ++i)
      if (a.push(static_cast<std::uint8_t>(c.bytes[i]))) ended = i + 1;
    EXPECT_EQ(ended, c.length) << c.bytes;
  }
}

struct PtDriver : ::testing::Test {
  FakeClock clock;
  FakeLine line{clock};
  PT_balance driver{2, line.factory(), clock};

  double value = -1;
  UnitText unit{};
  std::uint8_t stable = 9;
  ModelText model{};
  std::int32_t serial = -1;

  void poll() { driver.Poll(value, unit, stable, model, serial); }
};

TEST_F(PtDriver, SynchronisesThenReadsLines) {
  line.sendText("junk\r\n" + kExample);
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  EXPECT_EQ(line.lastLine().baud, 2400u);
  EXPECT_EQ(line.lastLine().parity, Parity::Even);
  poll();
  EXPECT_EQ(driver.state, DriverState::Linked);
  poll();
  ASSERT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, 123.456);
  EXPECT_EQ(driver.decimals, 3);
  EXPECT_EQ(std::string(unit.data()), "g  ");
  EXPECT_EQ(stable, 1);
  EXPECT_STREQ(model.data(), "PT300 ");
  EXPECT_EQ(serial, 10452);
  EXPECT_TRUE(line.written().empty());
}

TEST_F(PtDriver, LineSplitAtEveryByteStillDecodes) {
  for (std::size_t split = 1; split < kExample.size(); ++split) {
    FakeClock c;
    FakeLine l{c};
    PT_balance d{1, l.factory(), c};
    l.sendText("\r\n");
    l.sendText(kExample.substr(0, split));
    l.sendText(kExample.substr(split), 900);
    for (int i = 0; i < 3; ++i) d.Poll(value, unit, stable, model, serial);
    ASSERT_EQ(d.state, DriverState::ReadingComplete) << split;
    EXPECT_EQ(value, 123.456);
    EXPECT_EQ(serial, 10452);
  }
}

TEST_F(PtDriver, BadLineIsSkippedAndTheDriverStaysLinked) {
  line.sendText("\r\n" + std::string(50, '7') + kExample);
  poll();
  poll();
  ASSERT_EQ(driver.state, DriverState::Linked);
  poll();  // 50 bytes without CR LF
  EXPECT_EQ(driver.state, DriverState::Linked);
  EXPECT_EQ(value, -1);
  poll();  // the rest of the line up to its CR LF, also bad
  poll();
  ASSERT_EQ(driver.state, DriverState::ReadingComplete);
  EXPECT_EQ(value, 123.456);
}

TEST_F(PtDriver, MissingByteLosesTheLineAndResynchronises) {
  line.sendText("\r\n" + kExample.substr(0, 10));
  poll();
  poll();
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  line.sendText(kExample + kExample);
  poll();
  EXPECT_EQ(driver.state, DriverState::Linked);
  poll();
  EXPECT_EQ(driver.state, DriverState::ReadingComplete);
}

TEST_F(PtDriver, LoneParityErrorIsNoErrorButFramingIs) {
  line.sendText("\r\n");
  poll();
  poll();
  ASSERT_EQ(driver.state, DriverState::Linked);
  line.markNextByte(line_error::kParity);
  line.sendText(kExample);
  poll();
  EXPECT_EQ(driver.state, DriverState::ReadingComplete);
  driver.Resume();
  line.markNextByte(line_error::kFraming | line_error::kParity);
  line.sendText(kExample);
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
}

TEST_F(PtDriver, SilentLineSynchronisationTakesAbout32Seconds) {
  poll();
  const DateTime before = clock.now();
  poll();
  EXPECT_EQ(driver.state, DriverState::PortOpen);
  const double took = ToSeconds(clock.now() - before);
  EXPECT_GT(took, 32.0);
  EXPECT_LT(took, 33.0);
}

}  // namespace
}  // namespace librato
