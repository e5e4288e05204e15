#pragma once
// The serial device on a POSIX tty: raw termios, poll() for the classic
// transfer timeouts, parity errors reported through PARMRK marks.

#include <chrono>
#include <cstdint>
#include <string>

#include "link/serial_device.h"

namespace librato {

// Decodes the PARMRK escapes of a byte stream: FF 00 x is byte x received
// with a parity or framing error, FF FF is a real 0xFF. The state carries
// across chunks, so an escape split between two reads decodes right.
class ParmrkDecoder {
 public:
  // Decodes `raw`, writes at most rawCount bytes to `out`, returns how many;
  // sets kParity in `errors` for every marked byte.
  int decode(const std::uint8_t* raw, int rawCount, std::uint8_t* out, std::uint32_t& errors);
  void reset() { state_ = State::Plain; }

 private:
  enum class State { Plain, AfterFF, AfterFF00 };
  State state_ = State::Plain;
};

class PosixSerialDevice final : public SerialDevice {
 public:
  PosixSerialDevice() = default;
  // Opens `path` instead of the port's device path (tests, tools).
  explicit PosixSerialDevice(std::string path) : fixedPath_(std::move(path)) {}
  ~PosixSerialDevice() override;

  bool open(int port, const LineSettings& line) override;
  void setTimeouts(const CommTimeouts& timeouts) override;
  bool close() override;
  bool isOpen() const override { return fd_ >= 0; }
  int read(std::uint8_t* buffer, int n) override;
  int write(const std::uint8_t* buffer, int n) override;
  std::uint32_t takeErrors() override;

  // True after the line hung up (the adapter was unplugged, the other end
  // of a pty closed); every later transfer ends at once.
  bool hungUp() const { return hungUp_; }

 private:
  using Clock = std::chrono::steady_clock;
  // Waits for `events` until `deadline`; false on timeout, hang-up or error.
  bool waitFor(short events, Clock::time_point deadline);
  void collectCounterErrors();

  std::string fixedPath_;
  int fd_ = -1;
  CommTimeouts timeouts_{};
  ParmrkDecoder decoder_;
  std::uint32_t errors_ = 0;
  bool hungUp_ = false;
  bool haveCounters_ = false;
  int counters_[5] = {};  // frame, overrun, parity, brk, buf_overrun
};

// A factory of closed PosixSerialDevice objects.
SerialDeviceFactory PosixSerialFactory();

}  // namespace librato
