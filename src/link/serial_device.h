#pragma once
// The platform side of a serial port, as the channel needs it: open a numbered
// port exclusively with a line set-up, timed reads and writes that report the
// byte count, error clearing that reports the line error bits, close.
// Backends: the POSIX tty (posix_serial.h), fakes in tests, and the balance
// simulator in-process.

#include <cstdint>
#include <functional>
#include <memory>

namespace librato {

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct LineSettings {
  std::uint32_t baud = 0;
  Parity parity = Parity::None;
  // Always 8 data bits, one stop bit, DTR raised while open.
};

// Transfer bounds in milliseconds, with the classic serial timeout semantics:
// a read of n bytes ends after readConstant + n * readMultiplier ms, or as soon
// as more than readInterval ms pass between two bytes once the first arrived.
struct CommTimeouts {
  std::uint32_t readInterval = 0;
  std::uint32_t readMultiplier = 0;
  std::uint32_t readConstant = 0;
  std::uint32_t writeMultiplier = 0;
  std::uint32_t writeConstant = 0;
};

// Line error bits reported by takeErrors().
namespace line_error {
constexpr std::uint32_t kRxOverflow = 0x0001;
constexpr std::uint32_t kOverrun = 0x0002;
constexpr std::uint32_t kParity = 0x0004;
constexpr std::uint32_t kFraming = 0x0008;
constexpr std::uint32_t kBreak = 0x0010;
}  // namespace line_error

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens port n ("COM" n) exclusively with the set-up. False when the device
  // is absent, busy or refuses the set-up; a device opened but refusing the
  // set-up stays open (isOpen() true) and returns false.
  virtual bool open(int port, const LineSettings& line) = 0;
  virtual void setTimeouts(const CommTimeouts& timeouts) = 0;
  virtual bool close() = 0;
  virtual bool isOpen() const = 0;

  // Blocking transfers bounded by the timeouts; return the number of bytes
  // moved (0..n). A hang-up or a call the platform refuses ends the transfer
  // at once with what was moved so far.
  virtual int read(std::uint8_t* buffer, int n) = 0;
  virtual int write(const std::uint8_t* buffer, int n) = 0;

  // Returns and clears the line error bits accumulated since the last call.
  virtual std::uint32_t takeErrors() = 0;
};

// Makes a fresh, closed device; every protocol driver owns one.
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

}  // namespace librato
