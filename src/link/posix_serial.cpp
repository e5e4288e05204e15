#include "link/posix_serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "link/port_names.h"

namespace librato {

int ParmrkDecoder::decode(const std::uint8_t* raw, int rawCount, std::uint8_t* out,
                          std::uint32_t& errors) {
  int n = 0;
  for (int i = 0; i < rawCount; ++i) {
    const std::uint8_t b = raw[i];
    switch (state_) {
      case State::Plain:
        if (b == 0xFF)
          state_ = State::AfterFF;
        else
          out[n++] = b;
        break;
      case State::AfterFF:
        if (b == 0xFF) {
          out[n++] = 0xFF;
          state_ = State::Plain;
        } else if (b == 0x00) {
          state_ = State::AfterFF00;
        } else {
          // Not an escape the tty makes; keep both bytes rather than lose one.
          out[n++] = 0xFF;
          out[n++] = b;
          state_ = State::Plain;
        }
        break;
      case State::AfterFF00:
        out[n++] = b;
        errors |= line_error::kParity;
        state_ = State::Plain;
        break;
    }
  }
  return n;
}

namespace {

bool BaudConstant(std::uint32_t baud, speed_t& speed) {
  switch (baud) {
    case 1200:
      speed = B1200;
      return true;
    case 2400:
      speed = B2400;
      return true;
    case 4800:
      speed = B4800;
      return true;
    case 9600:
      speed = B9600;
      return true;
    case 19200:
      speed = B19200;
      return true;
    case 38400:
      speed = B38400;
      return true;
    case 57600:
      speed = B57600;
      return true;
    case 115200:
      speed = B115200;
      return true;
    default:
      return false;
  }
}

}  // namespace

PosixSerialDevice::~PosixSerialDevice() { close(); }

bool PosixSerialDevice::open(int port, const LineSettings& line) {
  if (fd_ >= 0) return false;
  const std::string path = fixedPath_.empty() ? PortDevicePath(port) : fixedPath_;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Exclusive: TIOCEXCL keeps other openers out of the tty, flock catches
  // programs that honour advisory locks (and root, whom TIOCEXCL lets in).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  hungUp_ = false;
  errors_ = 0;
  decoder_.reset();
  tcflush(fd_, TCIOFLUSH);

  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= CS8;
  if (line.parity == Parity::Even) {
    tio.c_cflag |= PARENB;
  } else if (line.parity == Parity::Odd) {
    tio.c_cflag |= PARENB | PARODD;
  } else if (line.parity != Parity::None) {
    return false;  // mark and space parity are not offered here
  }
  // Report received-parity errors in-band, keep 0xFF distinguishable.
  tio.c_iflag &= ~(IGNPAR | ISTRIP | IGNBRK | BRKINT | IXON | IXOFF | IXANY);
  tio.c_iflag |= INPCK | PARMRK;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  speed_t speed;
  if (!BaudConstant(line.baud, speed)) return false;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;

  // DTR up while open; a pseudo-terminal has no modem lines (ENOTTY).
  int dtr = TIOCM_DTR;
  ioctl(fd_, TIOCMBIS, &dtr);

  serial_icounter_struct counters{};
  haveCounters_ = ioctl(fd_, TIOCGICOUNT, &counters) == 0;
  if (haveCounters_) {
    counters_[0] = counters.frame;
    counters_[1] = counters.overrun;
    counters_[2] = counters.parity;
    counters_[3] = counters.brk;
    counters_[4] = counters.buf_overrun;
  }
  return true;
}

void PosixSerialDevice::setTimeouts(const CommTimeouts& timeouts) { timeouts_ = timeouts; }

bool PosixSerialDevice::close() {
  if (fd_ < 0) return false;
  const int fd = fd_;
  fd_ = -1;
  flock(fd, LOCK_UN);
  return ::close(fd) == 0;
}

bool PosixSerialDevice::waitFor(short events, Clock::time_point deadline) {
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
    pollfd p{fd_, events, 0};
    const int r = ppoll(&p, 1, &ts, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      hungUp_ = true;  // a failing poll would fail again at once
      return false;
    }
    if (r == 0) return false;
    if (p.revents & events) return true;  // data first; a hang-up shows on the read
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      hungUp_ = true;
      return false;
    }
  }
}

int PosixSerialDevice::read(std::uint8_t* buffer, int n) {
  if (fd_ < 0 || n <= 0 || hungUp_) return 0;
  using std::chrono::milliseconds;
  const auto start = Clock::now();
  const auto total = start + milliseconds(timeouts_.readConstant) +
                     milliseconds(std::int64_t{timeouts_.readMultiplier} * n);
  const bool useInterval = timeouts_.readInterval > 0;
  const auto interval = milliseconds(timeouts_.readInterval);
  int got = 0;
  Clock::time_point lastByte{};
  std::uint8_t raw[256];
  while (got < n) {
    auto deadline = total;
    // Once the first byte is in, a gap longer than the interval ends the read.
    if (got > 0 && useInterval && lastByte + interval < deadline) deadline = lastByte + interval;
    // Ask the tty first: bytes may already wait, and the deadline may be due.
    const int want = std::min<int>(n - got, static_cast<int>(sizeof raw));
    const ssize_t r = ::read(fd_, raw, static_cast<std::size_t>(want));
    if (r > 0) {
      got += decoder_.decode(raw, static_cast<int>(r), buffer + got, errors_);
      lastByte = Clock::now();
      continue;
    }
    if (r == 0) {
      // With VMIN = VTIME = 0 an empty read is either "nothing yet" or a
      // hang-up; poll tells them apart.
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
        hungUp_ = true;
        break;
      }
    } else if (errno != EAGAIN && errno != EINTR) {
      hungUp_ = true;  // EIO after a hang-up, or any other refusal
      break;
    }
    if (!waitFor(POLLIN, deadline)) {
      if (!hungUp_) break;  // timed out
      // Bytes that came before the hang-up are still worth taking.
      const ssize_t last = ::read(fd_, raw, static_cast<std::size_t>(want));
      if (last > 0) got += decoder_.decode(raw, static_cast<int>(last), buffer + got, errors_);
      break;
    }
  }
  collectCounterErrors();
  return got;
}

int PosixSerialDevice::write(const std::uint8_t* buffer, int n) {
  if (fd_ < 0 || n <= 0 || hungUp_) return 0;
  using std::chrono::milliseconds;
  const auto deadline = Clock::now() + milliseconds(timeouts_.writeConstant) +
                        milliseconds(std::int64_t{timeouts_.writeMultiplier} * n);
  int sent = 0;
  while (sent < n) {
    const ssize_t r = ::write(fd_, buffer + sent, static_cast<std::size_t>(n - sent));
    if (r > 0) {
      sent += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != EINTR) {
      if (errno == EIO) hungUp_ = true;
      break;
    }
    if (!waitFor(POLLOUT, deadline)) break;
  }
  return sent;
}

void PosixSerialDevice::collectCounterErrors() {
  if (!haveCounters_ || fd_ < 0) return;
  serial_icounter_struct c{};
  if (ioctl(fd_, TIOCGICOUNT, &c) != 0) return;
  const int now[5] = {c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
  static constexpr std::uint32_t kBits[5] = {line_error::kFraming, line_error::kOverrun,
                                             line_error::kParity, line_error::kBreak,
                                             line_error::kRxOverflow};
  for (int i = 0; i < 5; ++i) {
    if (now[i] != counters_[i]) errors_ |= kBits[i];
    counters_[i] = now[i];
  }
}

std::uint32_t PosixSerialDevice::takeErrors() {
  collectCounterErrors();
  const std::uint32_t e = errors_;
  errors_ = 0;
  return e;
}

SerialDeviceFactory PosixSerialFactory() {
  return [] { return std::make_unique<PosixSerialDevice>(); };
}

}  // namespace librato
