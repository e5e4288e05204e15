// The simulator on a real pseudo-terminal: the port link, the byte service,
// the hang-up, and the program with its commands.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "balance_sim.h"
#include "link/clock.h"
#include "link/port_names.h"
#include "pty_balance.h"
#include "pty_support.h"

namespace librato::sim {
namespace {

namespace fs = std::filesystem;
using librato::testing::Child;
using librato::testing::OpenRaw;
using librato::testing::ReadFor;
using librato::testing::TempConfigHome;

SimConfig Config(int protocol) {
  SimConfig c;
  c.protocol = protocol;
  c.noiseSteps = 0;
  c.settleSeconds = 0;
  EXPECT_EQ(CheckConfig(c), "");
  return c;
}

TEST(SimPty, LinksServesAndHangsUp) {
  TempConfigHome home;
  BalanceSimulator balance(Config(1), RealClock().now());
  PtyBalance pty(balance, RealClock());
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  ASSERT_TRUE(pty.linkAs(4, error)) << error;
  EXPECT_EQ(PortDevicePath(4), pty.devicePath());
  pty.start();

  const int fd = OpenRaw(PortDevicePath(4));
  ASSERT_GE(fd, 0);
  for (const auto& [request, reply] : {std::pair{'\x00', '\x00'}, std::pair{'\x01', '\x02'}}) {
    ASSERT_EQ(::write(fd, &request, 1), 1);
    EXPECT_EQ(ReadFor(fd, 1, 2000), std::string(1, reply));
  }
  EXPECT_TRUE(pty.disconnect());
  EXPECT_FALSE(pty.disconnect());
  char b = 0;
  EXPECT_EQ(::read(fd, &b, 1), 0) << "the program's side sees the hang-up";
  ::close(fd);
  // Like an unplugged adapter: the port's device is gone, and a later
  // pseudo-terminal with the same number is not reached through COM4.
  EXPECT_TRUE(fs::is_symlink(home.ports() + "/COM4"));
  EXPECT_NE(PortDevicePath(4), pty.devicePath());
  EXPECT_FALSE(fs::exists(PortDevicePath(4)));

  pty.stop();
  pty.unlink();
  EXPECT_FALSE(fs::is_symlink(home.ports() + "/COM4"));
}

TEST(SimPty, ReplacesOnlyStaleOrPseudoTerminalLinks) {
  TempConfigHome home;
  fs::create_directories(home.ports());
  fs::create_symlink("/dev/nonexistent-adapter", home.ports() + "/COM1");
  fs::create_symlink("/dev/pts/999999", home.ports() + "/COM2");
  fs::create_symlink("/dev/null", home.ports() + "/COM3");
  std::ofstream(home.ports() + "/COM5") << "not a link";

  BalanceSimulator balance(Config(2), RealClock().now());
  PtyBalance pty(balance, RealClock());
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  for (int port : {1, 2}) {
    EXPECT_TRUE(pty.linkAs(port, error)) << error;
    EXPECT_EQ(fs::read_symlink(home.ports() + "/COM" + std::to_string(port)), pty.devicePath());
  }
  EXPECT_FALSE(pty.linkAs(3, error));
  EXPECT_NE(error.find("already points to /dev/null"), std::string::npos) << error;
  EXPECT_EQ(fs::read_symlink(home.ports() + "/COM3"), "/dev/null");
  EXPECT_FALSE(pty.linkAs(5, error));
  EXPECT_NE(error.find("is not a link"), std::string::npos) << error;
  pty.stop();
}

TEST(SimProgram, AnnouncesThePortAnswersCommandsAndCleansUp) {
  TempConfigHome home;
  Child sim({LIBRATO_SIM_PROGRAM, "--protocol", "2", "--port", "6", "--noise", "0", "--settle", "0",
             "--decimals", "3", "--serial", "10452"});
  ASSERT_TRUE(sim.started());
  const std::string first = sim.line();
  const std::string prefix = "port COM6 -> ";
  ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
  const std::string device = first.substr(prefix.size());
  EXPECT_EQ(PortDevicePath(6), device);

  sim.send("put 123.456");
  EXPECT_EQ(sim.line(), "ok");
  sim.send("put heavy");
  EXPECT_EQ(sim.line().rfind("error: ", 0), 0u);

  const int fd = OpenRaw(device);
  ASSERT_GE(fd, 0);
  // Joined part-way through a line: the second full line is the reading.
  const std::string text = ReadFor(fd, 80, 2000);
  EXPECT_NE(text.find("\r\n 123.456g   PT300 10452\r\n"), std::string::npos) << text;

  sim.send("disconnect");
  EXPECT_EQ(sim.line(), "ok");
  char b = 0;
  while (::read(fd, &b, 1) > 0) {
  }
  EXPECT_EQ(::read(fd, &b, 1), 0);
  ::close(fd);

  sim.send("quit");
  EXPECT_EQ(sim.line(), "ok");
  EXPECT_EQ(sim.wait(5000), 0);
  EXPECT_FALSE(fs::is_symlink(home.ports() + "/COM6"));
}

TEST(SimProgram, RefusesBadSettingsWithASentence) {
  TempConfigHome home;
  // Port links folder not writable: a file stands where the folder should be.
  fs::create_directories(home.dir() + "/Norvane");
  std::ofstream(home.dir() + "/Norvane/ports") << "x";
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{LIBRATO_SIM_PROGRAM, "--protocol", "1", "--port", "2", "--model", "QZ9"}, 2},
      {{LIBRATO_SIM_PROGRAM, "--protocol", "1"}, 2},
      {{LIBRATO_SIM_PROGRAM, "--protocol", "2", "--port", "2"}, 1},
  };
  for (const auto& c : cases) {
    Child sim(c.args);
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.line(1000), "") << "nothing on standard output";
    EXPECT_EQ(sim.wait(5000), c.status);
  }
}

TEST(SimProgram, EndOfInputQuits) {
  TempConfigHome home;
  Child sim({LIBRATO_SIM_PROGRAM, "--protocol", "1", "--port", "8"});
  ASSERT_EQ(sim.line().rfind("port COM8 -> /dev/pts/", 0), 0u);
  EXPECT_TRUE(fs::is_symlink(home.ports() + "/COM8"));
  sim.closeInput();
  EXPECT_EQ(sim.wait(5000), 0);
  EXPECT_FALSE(fs::is_symlink(home.ports() + "/COM8"));
}

}  // namespace
}  // namespace librato::sim
