// librato-probe against the simulated balance on a pseudo-terminal, and on
// ports that cannot give a reading.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "balance_sim.h"
#include "link/clock.h"
#include "link/port_names.h"
#include "pty_balance.h"
#include "pty_support.h"

namespace librato::sim {
namespace {

using librato::testing::Child;
using librato::testing::TempConfigHome;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string f;
  while (std::getline(in, f, '\t')) out.push_back(f);
  return out;
}

// All output lines of a probe run, and its exit status.
int Probe(const std::vector<std::string>& args, std::vector<std::string>& lines) {
  std::vector<std::string> argv{LIBRATO_PROBE_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  Child probe(argv);
  for (std::string l; !(l = probe.line(15000)).empty();) lines.push_back(l);
  return probe.wait(15000);
}

TEST(Probe, PrintsEveryReadingAndTheSummary) {
  struct Case {
    int protocol;
    const char* model;
    const char* seconds;
    const char* reading;  // the expected reading line
    const char* summary;
  };
  const Case cases[] = {
      {1, "LWR150M-1A", "1", "1\t100.0000\tg\t1\t4\tLWR150M-1A\t123456",
       "; protocol: 1; model: LWR150M-1A; recognised: yes"},
      {2, "XY12", "3.5", "2\t100.0000\tg\t1\t4\tXY12\t123456",
       "; protocol: 2; model: XY12; recognised: no"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    TempConfigHome home;
    SimConfig config;
    config.protocol = c.protocol;
    config.model = c.model;
    config.noiseSteps = 0;
    ASSERT_EQ(CheckConfig(config), "");
    BalanceSimulator balance(config, RealClock().now() - Seconds(5));
    balance.put(100.0, RealClock().now() - Seconds(5));
    PtyBalance pty(balance, RealClock());
    std::string error;
    ASSERT_TRUE(pty.open(error) && pty.linkAs(12, error)) << error;
    pty.start();

    std::vector<std::string> lines;
    EXPECT_EQ(Probe({"--port", "12", "--seconds", c.seconds}, lines), 0);
    ASSERT_GE(lines.size(), 2u);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      EXPECT_EQ(Fields(lines[i]).size(), 7u) << lines[i];
      EXPECT_EQ(lines[i], c.reading);
    }
    const std::string count = std::to_string(lines.size() - 1);
    EXPECT_EQ(lines.back(), "readings: " + count + c.summary);
    pty.stop();
  }
}

TEST(Probe, PortsWithoutAReadingEndWithStatusOne) {
  TempConfigHome home;
  const std::string none = "readings: 0; protocol: none; model: ; recognised: no";
  std::vector<std::string> lines;
  EXPECT_EQ(Probe({"--port", "13", "--seconds", "1"}, lines), 1) << "absent";
  EXPECT_EQ(lines, std::vector<std::string>{none});

  // A pty that nobody serves: silent line; the probe still ends on time.
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  std::filesystem::create_directories(home.ports());
  std::filesystem::create_symlink(name, home.ports() + "/COM14");
  lines.clear();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Probe({"--port", "14", "--seconds", "1"}, lines), 1) << "silent";
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 6);
  EXPECT_EQ(lines, std::vector<std::string>{none});

  // Busy: another program holds the port's lock.
  ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
  lines.clear();
  EXPECT_EQ(Probe({"--port", "14", "--seconds", "1"}, lines), 1) << "busy";
  EXPECT_EQ(lines, std::vector<std::string>{none});
  ::close(slave);
  ::close(master);

  lines.clear();
  EXPECT_EQ(Probe({"--seconds", "1"}, lines), 2) << "no port given";
}

}  // namespace
}  // namespace librato::sim
