// The POSIX tty backend over a pseudo-terminal: timeouts, 0xFF escaping,
// hang-up, exclusivity and the port-name link. Parity marks cannot be
// injected into a pty; the decoder is tested on byte arrays instead.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "link/posix_serial.h"
#include "link/serko_com.h"
#include "support/fake_clock.h"

namespace librato {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DecodeCase {
  const char* name;
  std::vector<Bytes> chunks;
  Bytes decoded;
  bool parity;
};

TEST(ParmrkDecoderTest, Escapes) {
  const DecodeCase cases[] = {
      {"plain", {{1, 2, 3}}, {1, 2, 3}, false},
      {"real 0xFF", {{0xFF, 0xFF, 7}}, {0xFF, 7}, false},
      {"marked byte", {{5, 0xFF, 0x00, 0x41, 6}}, {5, 0x41, 6}, true},
      {"marked zero (break)", {{0xFF, 0x00, 0x00}}, {0x00}, true},
      {"marked 0xFF", {{0xFF, 0x00, 0xFF}}, {0xFF}, true},
      {"escape split after FF", {{1, 0xFF}, {0xFF, 2}}, {1, 0xFF, 2}, false},
      {"mark split twice", {{0xFF}, {0x00}, {0x41}}, {0x41}, true},
      {"unknown escape kept", {{0xFF, 0x07}}, {0xFF, 0x07}, false},
  };
  for (const DecodeCase& c : cases) {
    ParmrkDecoder d;
    Bytes out;
    std::uint32_t errors = 0;
    for (const Bytes& chunk : c.chunks) {
      std::uint8_t buffer[16];
      const int n = d.decode(chunk.data(), static_cast<int>(chunk.size()), buffer, errors);
      ASSERT_LE(n, static_cast<int>(chunk.size()) + 1) << c.name;
      out.insert(out.end(), buffer, buffer + n);
    }
    EXPECT_EQ(out, c.decoded) << c.name;
    EXPECT_EQ(errors == line_error::kParity, c.parity) << c.name;
  }
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Pty : ::testing::Test {
  int master = -1;
  std::string slavePath;
  PosixSerialDevice* device = nullptr;
  std::unique_ptr<PosixSerialDevice> owned;

  void SetUp() override {
    int slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    slavePath = name;
    ::close(slave);  // the device opens it by name
    owned = std::make_unique<PosixSerialDevice>(slavePath);
    device = owned.get();
    ASSERT_TRUE(device->open(1, LineSettings{19200, Parity::None}));
    device->setTimeouts(CommTimeouts{1, 1, 1000, 1, 1000});
  }
  void TearDown() override {
    owned.reset();
    if (master >= 0) ::close(master);
  }
  void masterWrite(const Bytes& bytes) {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
};

TEST_F(Pty, ConfiguresRawLineWithParityMarks) {
  const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  // TIOCEXCL keeps others out unless privileged; then read the settings.
  if (fd < 0) GTEST_SKIP() << "exclusive pty cannot be inspected without privileges";
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  ::close(fd);
  EXPECT_TRUE(tio.c_iflag & INPCK);
  EXPECT_TRUE(tio.c_iflag & PARMRK);
  EXPECT_FALSE(tio.c_iflag & (IGNPAR | ISTRIP));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(tio.c_cflag & CLOCAL);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);
  EXPECT_FALSE(tio.c_lflag & ICANON);
}

TEST_F(Pty, SecondOpenIsRefused) {
  PosixSerialDevice other(slavePath);
  EXPECT_FALSE(other.open(1, LineSettings{19200, Parity::None}));
  EXPECT_FALSE(other.isOpen());
  EXPECT_TRUE(device->close());
  EXPECT_FALSE(device->close());
  EXPECT_TRUE(other.open(1, LineSettings{19200, Parity::None}));
}

TEST_F(Pty, SilentReadEndsAfterTheTotalTimeout) {
  std::uint8_t b = 0x5A;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->read(&b, 1), 0);
  const double took = SecondsSince(start);
  EXPECT_GE(took, 0.99);
  EXPECT_LT(took, 3.0);
  EXPECT_EQ(b, 0x5A);
}

TEST_F(Pty, GapAfterTheFirstBytesEndsTheReadEarly) {
  masterWrite({1, 2});
  std::uint8_t buffer[10] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->read(buffer, 10), 2);
  EXPECT_LT(SecondsSince(start), 0.5);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(buffer[2], 0);
}

TEST_F(Pty, RealFFBytesArriveOnceEachAlsoByteByByte) {
  const Bytes sent = {0xFF, 0x00, 0xFF, 0xFF, 0x41};
  masterWrite(sent);
  Bytes got;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    std::uint8_t b = 0;
    ASSERT_EQ(device->read(&b, 1), 1) << i;
    got.push_back(b);
  }
  EXPECT_EQ(got, sent);
  EXPECT_EQ(device->takeErrors(), 0u);
  masterWrite(sent);
  std::uint8_t all[5] = {};
  ASSERT_EQ(device->read(all, 5), 5);
  EXPECT_EQ(Bytes(all, all + 5), sent);
}

TEST_F(Pty, WritesReachTheOtherEnd) {
  const std::uint8_t out[3] = {0x53, 0xFF, 0x01};
  EXPECT_EQ(device->write(out, 3), 3);
  std::uint8_t in[3] = {};
  ASSERT_EQ(::read(master, in, 3), 3);
  EXPECT_EQ(Bytes(in, in + 3), Bytes(out, out + 3));
}

TEST_F(Pty, HangUpEndsTransfersAtOnce) {
  masterWrite({7});
  ::close(master);
  master = -1;
  std::uint8_t buffer[4] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LE(device->read(buffer, 4), 1);
  EXPECT_TRUE(device->hungUp());
  EXPECT_EQ(device->read(buffer, 1), 0);
  const std::uint8_t b = 1;
  EXPECT_EQ(device->write(&b, 1), 0);
  EXPECT_LT(SecondsSince(start), 0.5);
}

TEST_F(Pty, ChannelOverTheTty) {
  owned.reset();
  testing::FakeClock clock;
  SerkoComA com([this] { return std::make_unique<PosixSerialDevice>(slavePath); }, clock);
  com.baudRate = 19200;
  ASSERT_TRUE(com.OpenPort());
  masterWrite({0xFF, 0xFF});  // the far end sends FF FF; the tty escapes each
  std::uint8_t two[2] = {};
  EXPECT_EQ(com.ReadBytes(two, 2), read_result::kComplete);
  EXPECT_EQ(two[0], 0xFF);
  EXPECT_EQ(two[1], 0xFF);
  std::uint8_t b = 3;
  EXPECT_EQ(com.ReadBytes(&b, 1), read_result::kShort);
  EXPECT_TRUE(com.WriteBytes(&b, 1));
}

TEST(PortLink, ComPortOpensTheLinkedDevice) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);
  const auto dir =
      std::filesystem::temp_directory_path() / ("link-posix-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "Norvane" / "ports");
  std::filesystem::create_symlink(name, dir / "Norvane" / "ports" / "COM7");
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  {
    PosixSerialDevice device;
    EXPECT_TRUE(device.open(7, LineSettings{2400, Parity::Even}));
    device.setTimeouts(CommTimeouts{1, 1, 1000, 1, 1000});
    const std::uint8_t b = 0x42;
    EXPECT_EQ(device.write(&b, 1), 1);
    std::uint8_t in = 0;
    EXPECT_EQ(::read(master, &in, 1), 1);
    EXPECT_EQ(in, 0x42);
    PosixSerialDevice absent;
    EXPECT_FALSE(absent.open(8, LineSettings{2400, Parity::Even}));  // no link, no ttyS7 here
  }
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);
  ::close(master);
}

}  // namespace
}  // namespace librato
