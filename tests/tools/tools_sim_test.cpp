// The simulated balance in fake time: frames and check sums, overload,
// settling, noise and zero tracking, the byte exchanges of protocol 1, the
// paced lines of protocol 2, and the faults.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "balance_sim.h"
#include "sim_cli.h"
#include "sim_device.h"
#include "support/fake_clock.h"

namespace librato::sim {
namespace {

using librato::testing::FakeClock;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
  return std::vector<std::uint8_t>(v.begin(), v.end());
}

std::vector<std::uint8_t> ToVector(const Frame& f) { return {f.begin(), f.end()}; }

bool SumsZero(const std::vector<std::uint8_t>& r) {
  return static_cast<std::uint8_t>(r[0] + r[1] + r[2] + r[3] + r[4]) == 0 &&
         static_cast<std::uint8_t>(r[1] + r[2] + r[3] + r[4] + r[5]) == 0 &&
         static_cast<std::uint8_t>(r[2] + r[3] + r[4] + r[5] + r[6]) == 0;
}

std::int64_t CountOf(const std::vector<std::uint8_t>& r) {
  std::int64_t c = (r[4] << 16) | (r[5] << 8) | r[6];
  return (c & 0x800000) ? c - 0x1000000 : c;
}

TEST(SimFrames, RepliesAreByteExact) {
  struct Case {
    const char* what;
    Frame frame;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"12.3456 g stable", WeighingReply(123456, 4, true),
       Bytes({0xE2, 0x40, 0x5B, 0x82, 0x01, 0xE2, 0x40, 0x00})},
      {"-0.01 g unstable", WeighingReply(-100, 4, false),
       Bytes({0xFF, 0x9C, 0x64, 0x02, 0xFF, 0xFF, 0x9C, 0x00})},
      {"identification QZ7334 123456", IdentificationReply(0x25, 123456),
       Bytes({0xE2, 0x40, 0xB8, 0x25, 0x01, 0xE2, 0x40, 0x01})},
  };
  for (const auto& c : cases) EXPECT_EQ(ToVector(c.frame), c.bytes) << c.what;
  const auto ack = ToVector(AcknowledgeReply());
  EXPECT_TRUE(SumsZero(ack));
  EXPECT_EQ(ack[3], 'S');
  EXPECT_EQ(ack[4], 'q');
}

TEST(SimFrames, ExponentCarriesTheDecimalsAndSumsHoldForAnyCount) {
  for (int d = 0; d <= 6; ++d) {
    for (std::int64_t count : {0LL, 1LL, -1LL, 255LL, -256LL, 65535LL, 4194304LL, -4194305LL}) {
      const auto r = ToVector(WeighingReply(count, d, true));
      EXPECT_TRUE(SumsZero(r)) << d << " " << count;
      EXPECT_EQ(r[3] & 0x07, 6 - d);
      EXPECT_EQ(CountOf(r), count);
    }
  }
}

TEST(SimFrames, CountsBeyondTwentyFourBitsAreOverloadNeverAWrongNumber) {
  struct Case {
    std::int64_t count;
    bool overload;
    std::int64_t carried;
  };
  const Case cases[] = {{8388607, false, 8388607},
                        {8388608, true, 8388607},
                        {50000000000LL, true, 8388607},
                        {-8388608, false, -8388608},
                        {-8388609, true, -8388608}};
  for (const auto& c : cases) {
    bool over = !c.overload;
    const auto r = ToVector(WeighingReply(c.count, 4, true, &over));
    EXPECT_EQ(over, c.overload) << c.count;
    EXPECT_EQ(CountOf(r), c.carried) << c.count;
    EXPECT_EQ((r[3] & 0x80) != 0, !c.overload) << "overload is never stable";
    EXPECT_TRUE(SumsZero(r));
  }
}

TEST(SimLines, ValueFieldIsEightCharactersOrNothing) {
  struct Case {
    std::int64_t count;
    int decimals;
    const char* field;
  };
  const Case cases[] = {
      {123456, 3, " 123.456"}, {-123456, 4, "-12.3456"}, {1234567, 4, "123.4567"},
      {5, 4, "  0.0005"},      {-5, 4, " -0.0005"},      {0, 4, "  0.0000"},
      {123, 0, "     123"},    {9999999, 6, "9.999999"}, {99999999, 4, ""},
      {-1000000, 4, ""},       {-999999, 4, "-99.9999"}, {10000000, 6, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueField(c.count, c.decimals), c.field) << c.count;
}

TEST(SimLines, LineLayout) {
  EXPECT_EQ(ReadingLine(123456, 3, true, "PT300", 10452), " 123.456g   PT300 10452\r\n");
  EXPECT_EQ(ReadingLine(123456, 3, false, "PT300", 10452), " 123.456    PT300 10452\r\n");
  EXPECT_EQ(ReadingLine(99999999, 4, true, "PT300", 10452), "OVERLOAD\r\n");
}

TEST(SimModels, EveryModelCodeRoundTrips) {
  for (int code = 0; code < 256; ++code) {
    const std::string name = DesignationOfCode(code);
    const int back = ModelCodeOf(name);
    ASSERT_GE(back, 0) << name;
    EXPECT_EQ(DesignationOfCode(back), name);
    EXPECT_LE(back, code);
  }
  EXPECT_EQ(DesignationOfCode(0x95), "LWR150M-1A");
  EXPECT_EQ(DesignationOfCode(0x0C), "LWV65-1C");
  EXPECT_EQ(ModelCodeOf("QZ7334"), 0x25);
  EXPECT_EQ(ModelCodeOf("QZ713"), 0x21);
  EXPECT_EQ(ModelCodeOf("QZ7334 "), -1);
  EXPECT_EQ(ModelCodeOf("PT300"), -1);
}

TEST(SimModel, SettlesThenReadsTheLoadAndTracksZero) {
  FakeClock clock;
  BalanceModel m(ModelSettings{4, 0.0, 1.0}, 7, clock.now());
  EXPECT_EQ(m.sample(clock.now()).count, 0);
  EXPECT_TRUE(m.sample(clock.now()).stable);

  m.put(100.0002, clock.now());
  clock.advanceMs(100);
  Sample s = m.sample(clock.now());
  EXPECT_FALSE(s.stable);
  EXPECT_LT(s.count, 1000002) << "still swinging up";
  clock.advanceMs(899);
  EXPECT_FALSE(m.sample(clock.now()).stable);
  clock.advanceMs(2);
  s = m.sample(clock.now());
  EXPECT_TRUE(s.stable);
  EXPECT_EQ(s.count, 1000002);

  m.zero(clock.now());
  clock.advanceMs(1001);
  EXPECT_EQ(m.sample(clock.now()).count, 0);
  m.remove(clock.now());
  clock.advanceMs(1001);
  EXPECT_EQ(m.sample(clock.now()).count, -1000002) << "empty pan after a tare with load";
}

TEST(SimModel, NoiseWhileLoadedButEmptyTaredPanReadsExactlyZero) {
  FakeClock clock;
  BalanceModel m(ModelSettings{4, 0.3, 0.0}, 11, clock.now());
  for (int i = 0; i < 200; ++i) {
    clock.advanceMs(50);
    const Sample s = m.sample(clock.now());
    ASSERT_EQ(s.count, 0);
    ASSERT_TRUE(s.stable);
  }
  m.put(50.0, clock.now());
  double sum = 0, squares = 0;
  int differing = 0;
  const int n = 2000;
  for (int i = 0; i < n; ++i) {
    clock.advanceMs(50);
    const double d = static_cast<double>(m.sample(clock.now()).count - 500000);
    sum += d;
    squares += d * d;
    differing += d != 0;
  }
  const double mean = sum / n;
  const double sd = std::sqrt(squares / n - mean * mean);
  EXPECT_NEAR(mean, 0.0, 0.05);
  // Rounding a 0.3-step noise to whole steps leaves about 0.3 to 0.4 steps.
  EXPECT_GT(sd, 0.2);
  EXPECT_LT(sd, 0.5);
  EXPECT_GT(differing, n / 20);
  // A load within half a step of the tare: zero tracking holds the zero.
  m.zero(clock.now());
  m.put(50.00004, clock.now());
  for (int i = 0; i < 100; ++i) {
    clock.advanceMs(50);
    ASSERT_EQ(m.sample(clock.now()).count, 0);
  }
}

// Protocol 1 over the in-process device: one byte out, one byte in, as the
// driver does it. Returns the reply; a missing byte leaves the request byte.
struct Exchanger {
  SimSerialDevice& device;
  int missing = 0;
  std::vector<std::uint8_t> operator()(const std::vector<std::uint8_t>& request) {
    std::vector<std::uint8_t> reply = request;
    for (auto& b : reply) {
      device.write(&b, 1);
      if (device.read(&b, 1) != 1) ++missing;
    }
    return reply;
  }
};

std::vector<std::uint8_t> Cmd(std::uint8_t a, std::uint8_t b) {
  return {'S', 'i', 'm', 'p', 'l', 'e', a, b};
}

struct Protocol1Rig {
  explicit Protocol1Rig(SimConfig c = {})
      : config(Checked(c)), balance(config, clock.now()), device(balance, clock, 3) {
    device.setTimeouts(CommTimeouts{1, 1, 1000, 1, 1000});
    EXPECT_TRUE(device.open(3, LineSettings{19200, Parity::None}));
  }
  static SimConfig Checked(SimConfig c) {
    c.protocol = 1;
    c.keepLog = true;
    EXPECT_EQ(CheckConfig(c), "");
    return c;
  }
  // Synchronisation and identification; returns the identification reply.
  std::vector<std::uint8_t> link() {
    for (int i = 0; i < 15; ++i) EXPECT_EQ(ex({0x00}), Bytes({0x00}));
    EXPECT_EQ(ex({0x01}), Bytes({0x02}));
    auto request = Cmd(0xA5, 0x01);
    const auto second = Cmd(0x00, 0x00);
    request.insert(request.end(), second.begin(), second.end());
    const auto first = ex(request);
    EXPECT_TRUE(SumsZero(std::vector<std::uint8_t>(first.begin() + 8, first.end())));
    EXPECT_EQ(first[11], 'S');
    EXPECT_EQ(first[12], 'q');
    ex(Cmd('|', 0x01));
    return ex(Cmd(0x00, 0x01));
  }
  FakeClock clock;
  SimConfig config;
  BalanceSimulator balance;
  SimSerialDevice device;
  Exchanger ex{device};
};

TEST(SimProtocol1, LinksIdentifiesAndWeighs) {
  SimConfig c;
  c.model = "LWR150M-1A";
  c.serial = 654321;
  c.decimals = 3;
  c.noiseSteps = 0;
  Protocol1Rig rig(c);
  const auto id = rig.link();
  EXPECT_TRUE(SumsZero(id));
  EXPECT_EQ(id[3], 0x95);
  EXPECT_EQ(id[4] * 65536 + id[5] * 256 + id[6], 654321);
  EXPECT_EQ(id[7], 0x01);

  rig.balance.put(200.5, rig.clock.now());
  const auto unstable = rig.ex(Cmd(0x47, 0x01));
  EXPECT_TRUE(SumsZero(unstable));
  EXPECT_EQ(unstable[3] & 0x80, 0);
  rig.clock.advanceMs(1000);
  const auto w = rig.ex(Cmd(0x47, 0x01));
  EXPECT_TRUE(SumsZero(w));
  EXPECT_EQ(w[3], 0x80 | 3);
  EXPECT_EQ(CountOf(w), 200500);
  EXPECT_EQ(rig.ex.missing, 0);
}

TEST(SimProtocol1, FaultsBreakTheFrameTheWayTheyShould) {
  {
    SimConfig c;
    c.corruptRate = 1;
    Protocol1Rig rig(c);
    rig.link();
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(SumsZero(rig.ex(Cmd(0x47, 0x01))));
    EXPECT_EQ(rig.ex.missing, 0);
  }
  {
    SimConfig c;
    c.dropRate = 1;
    Protocol1Rig rig(c);
    rig.link();
    for (int i = 0; i < 10; ++i) {
      const int before = rig.ex.missing;
      rig.ex(Cmd(0x47, 0x01));
      EXPECT_EQ(rig.ex.missing, before + 1) << "one byte of each reply goes missing";
      // The driver then synchronises again; the balance answers at once.
      int zeros = 0;
      for (int k = 0; k < 40 && zeros < 15; ++k) zeros = rig.ex({0x00})[0] == 0 ? zeros + 1 : 0;
      EXPECT_EQ(zeros, 15);
      EXPECT_EQ(rig.ex({0x01}), Bytes({0x02}));
      rig.link();
    }
    for (const auto& r : rig.balance.sent()) EXPECT_EQ(r.kind, SentKind::Dropped);
  }
}

TEST(SimProtocol1, SilenceCostsTheReadTimeoutThenAnswersAgain) {
  Protocol1Rig rig;
  rig.link();
  rig.balance.silence(3, rig.clock.now());
  const DateTime start = rig.clock.now();
  std::uint8_t b = 0;
  rig.device.write(&b, 1);
  EXPECT_EQ(rig.device.read(&b, 1), 0);
  EXPECT_NEAR(ToSeconds(rig.clock.now() - start) * 1000, 1001, 1.5);
  rig.clock.advanceMs(2000);
  EXPECT_EQ(rig.ex({0x00}), Bytes({0x00}));
  rig.balance.disconnect();
  EXPECT_EQ(rig.device.write(&b, 1), 0);
  const DateTime hangUp = rig.clock.now();
  EXPECT_EQ(rig.device.read(&b, 1), 0);
  EXPECT_EQ(rig.clock.now(), hangUp) << "a hang-up does not wait";
}

TEST(SimProtocol1, WrongLineSettingsGetNoAnswer) {
  FakeClock clock;
  SimConfig c;
  ASSERT_EQ(CheckConfig(c), "");
  BalanceSimulator balance(c, clock.now());
  SimSerialDevice device(balance, clock, 3);
  device.setTimeouts(CommTimeouts{1, 1, 1000, 1, 1000});
  EXPECT_FALSE(device.open(4, LineSettings{19200, Parity::None})) << "no balance on COM4";
  ASSERT_TRUE(device.open(3, LineSettings{2400, Parity::Even}));
  std::uint8_t b = 0;
  device.write(&b, 1);
  EXPECT_EQ(device.read(&b, 1), 0);
}

// Protocol 2: reads what the device delivers for `seconds` of fake time,
// byte by byte like the driver, and splits it into lines.
std::vector<std::string> ReadLines(SimSerialDevice& device, FakeClock& clock, double seconds) {
  std::vector<std::string> lines;
  std::string current;
  const DateTime end = clock.now() + Seconds(seconds);
  while (clock.now() < end) {
    std::uint8_t b = 0;
    if (device.read(&b, 1) != 1) continue;
    current += static_cast<char>(b);
    if (current.size() >= 2 && current.compare(current.size() - 2, 2, "\r\n") == 0) {
      lines.push_back(current);
      current.clear();
    }
  }
  return lines;
}

struct Protocol2Rig {
  explicit Protocol2Rig(SimConfig c)
      : config(Checked(c)), balance(config, clock.now()), device(balance, clock, 5) {
    device.setTimeouts(CommTimeouts{1, 1, 1000, 1, 1000});
    EXPECT_TRUE(device.open(5, LineSettings{2400, Parity::Even}));
  }
  static SimConfig Checked(SimConfig c) {
    c.protocol = 2;
    c.keepLog = true;
    EXPECT_EQ(CheckConfig(c), "");
    return c;
  }
  FakeClock clock;
  SimConfig config;
  BalanceSimulator balance;
  SimSerialDevice device;
};

TEST(SimProtocol2, SendsLinesAtThePaceOfTheLine) {
  SimConfig c;
  c.noiseSteps = 0;
  c.serial = 10452;
  Protocol2Rig rig(c);
  rig.balance.put(123.4567, rig.clock.now());
  const auto lines = ReadLines(rig.device, rig.clock, 10);
  const std::string settled = "123.4567g   PT300 10452\r\n";
  // 25 bytes of 11 bits at 2400 baud: about 8.7 lines a second.
  EXPECT_NEAR(static_cast<double>(lines.size()), 10 * 2400.0 / 11 / settled.size(), 2);
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines.back(), settled);
  EXPECT_EQ(lines[1].substr(8, 3), "   ") << "unstable while settling";
}

TEST(SimProtocol2, FaultyLinesFailTheLineChecksAndKeepTheirLineEnd) {
  SimConfig c;
  c.corruptRate = 0.2;
  c.garbageRate = 0.2;
  c.seed = 3;
  Protocol2Rig rig(c);
  rig.balance.put(42.0, rig.clock.now());
  const auto lines = ReadLines(rig.device, rig.clock, 30);
  const auto sent = rig.balance.sent();
  // The first line was joined part-way; the rest match the record one to one.
  ASSERT_GT(lines.size(), 100u);
  ASSERT_GE(sent.size(), lines.size());
  int faulty = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const SentRecord& r = sent[i];
    ASSERT_LT(line.size(), 50u);
    ASSERT_GE(line.size(), 8u) << "a line end is never within the first 6 bytes";
    const bool hasSpace = line.find(' ') != std::string::npos;
    if (r.kind == SentKind::Intact) {
      EXPECT_TRUE(hasSpace);
      EXPECT_NEAR(std::stod(line.substr(0, 8)), r.value, 1e-9) << line;
    } else {
      ++faulty;
      EXPECT_FALSE(hasSpace) << line;
      EXPECT_EQ(line.find('\r'), line.size() - 2);
      EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
  }
  EXPECT_GT(faulty, static_cast<int>(lines.size()) / 5);
}

TEST(SimProtocol2, SilenceFinishesTheLineAndWhatGoesByUnheardIsLost) {
  SimConfig c;
  Protocol2Rig rig(c);
  ReadLines(rig.device, rig.clock, 0.05);  // mid-line
  rig.balance.silence(3, rig.clock.now());
  // Stops early enough that no read is still waiting when the silence ends.
  const auto during = ReadLines(rig.device, rig.clock, 1.9);
  rig.clock.advanceMs(1100);
  ASSERT_EQ(during.size(), 1u) << "the line in progress ends";
  const auto after = ReadLines(rig.device, rig.clock, 1.0);
  EXPECT_GT(after.size(), 5u);
  EXPECT_EQ(after.front(), "  0.0000g   PT300 123456\r\n");

  rig.device.close();
  rig.clock.advanceMs(5000);
  ASSERT_TRUE(rig.device.open(5, LineSettings{2400, Parity::Even}));
  std::uint8_t b = 0;
  const DateTime t = rig.clock.now();
  ASSERT_EQ(rig.device.read(&b, 1), 1);
  EXPECT_GT(rig.clock.now(), t) << "nothing was queued while the port was closed";
}

TEST(SimProtocol2, OverloadLinesCarryNoNumber) {
  SimConfig c;
  c.noiseSteps = 0;
  c.settleSeconds = 0;
  Protocol2Rig rig(c);
  rig.balance.put(10000.0, rig.clock.now());
  const auto lines = ReadLines(rig.device, rig.clock, 1);
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "OVERLOAD\r\n");
}

TEST(SimConfigCheck, RefusesWhatTheBalanceCannotReport) {
  struct Case {
    int protocol;
    const char* model;
    std::int64_t serial;
    const char* error;  // a part of the sentence; "" when accepted
  };
  const Case cases[] = {
      {1, "", 123456, ""},
      {1, "LWQ7-01", 0, ""},
      {1, "QZ7999", 1, "not a designation"},
      {1, "QZ713", 16777216, "0 to 16777215"},
      {2, "", 9999999, ""},
      {2, "PT300", 10000000, "7 digits"},
      {2, "A VERY LONG BALANCE DESIGNATION XXXX", 1, "too long"},
      {3, "", 1, "1 or 2"},
  };
  for (const auto& c : cases) {
    SimConfig config;
    config.protocol = c.protocol;
    config.model = c.model;
    config.serial = c.serial;
    const std::string error = CheckConfig(config);
    if (*c.error == 0) {
      EXPECT_EQ(error, "") << c.model;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.model << ": " << error;
    }
  }
}

TEST(SimCommandLine, OptionsAndCommands) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--protocol", "2", "--port", "3"}, ""},
      {{"--protocol", "1", "--port", "3", "--drop-rate", "0.05", "--decimals", "5"}, ""},
      {{"--port", "3"}, "--protocol 1"},
      {{"--protocol", "1"}, "--port"},
      {{"--protocol", "1", "--port", "0"}, "port number"},
      {{"--protocol", "1", "--port", "3", "--noise"}, "needs a value"},
      {{"--protocol", "1", "--port", "3", "--garbage-rate", "1.5"}, "fraction"},
      {{"--protocol", "1", "--port", "3", "--decimals", "x"}, "decimals"},
      {{"--protocol", "1", "--port", "3", "--colour", "red"}, "Unknown option"},
  };
  for (const auto& c : cases) {
    SimOptions o;
    const std::string error = ParseOptions(c.args, o);
    if (*c.error == 0) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
  }

  FakeClock clock;
  SimConfig config;
  config.noiseSteps = 0;
  config.settleSeconds = 0;
  ASSERT_EQ(CheckConfig(config), "");
  BalanceSimulator balance(config, clock.now());
  bool quit = false;
  const auto run = [&](const char* line) {
    return RunCommand(line, balance, nullptr, clock.now(), quit);
  };
  EXPECT_EQ(run("put 12.5"), "ok");
  EXPECT_EQ(run("zero"), "ok");
  EXPECT_EQ(run("put abc").rfind("error: ", 0), 0u);
  EXPECT_EQ(run("put -1").rfind("error: ", 0), 0u);
  EXPECT_EQ(run("remove now").rfind("error: ", 0), 0u);
  EXPECT_EQ(run("launch").rfind("error: ", 0), 0u);
  EXPECT_EQ(run("silence 0.5"), "ok");
  EXPECT_EQ(run("disconnect"), "ok");
  EXPECT_FALSE(balance.connected());
  EXPECT_EQ(run("disconnect").rfind("error: ", 0), 0u);
  EXPECT_FALSE(quit);
  EXPECT_EQ(run("quit"), "ok");
  EXPECT_TRUE(quit);
}

}  // namespace
}  // namespace librato::sim
