#pragma once
// The serial channel: one numbered port with a fixed line set-up and timed,
// blocking byte transfers. The protocol drivers derive from it and do all
// their traffic one byte at a time.

#include <cstdint>
#include <memory>

#include "link/clock.h"
#include "link/serial_device.h"

namespace librato {

// Result codes of SerkoComA::ReadBytes.
namespace read_result {
constexpr std::int32_t kComplete = 0;
constexpr std::int32_t kShort = 1;      // fewer bytes than asked before the timeout
constexpr std::int32_t kLineError = 2;  // all bytes came, but the line reported an error
constexpr std::int32_t kNotOpen = -2;
}  // namespace read_result

// Per-byte timeout multiplier for a baud rate: 1 + 1 div (baud div 10), in
// unsigned arithmetic (1 for every rate of 20 baud and more).
std::uint32_t TimeoutMultiplier(std::uint32_t baud);

class SerkoComA {
 public:
  // The device comes from the factory once, closed; the clock serves the
  // short pauses of the channel and the drivers.
  SerkoComA(const SerialDeviceFactory& devices, Clock& clock);
  // Virtual because the owner destroys drivers through this class.
  virtual ~SerkoComA();
  SerkoComA(const SerkoComA&) = delete;
  SerkoComA& operator=(const SerkoComA&) = delete;

  // Opens port `portNumber` with `baudRate` and `parity`, then sets the
  // timeouts. True when the final line set-up was accepted; when the device
  // opened but refused the set-up it stays open and the result is false.
  bool OpenPort();
  // True when the close succeeded; only then is the port closed.
  bool ClosePort();
  // 0 complete, 1 short, 2 line error, -2 not open. Bytes that did not arrive
  // leave the buffer as it was. A lone parity error is not an error.
  virtual std::int32_t ReadBytes(std::uint8_t* buffer, std::int32_t n);
  // True when all n bytes went out and no line error is pending.
  bool WriteBytes(const std::uint8_t* buffer, std::int32_t n);

  bool portIsOpen() const;
  const CommTimeouts& timeouts() const { return timeouts_; }

  // Set by the driver before OpenPort.
  std::uint32_t baudRate = 0;
  Parity parity = Parity::None;
  std::int32_t portNumber = 1;

 protected:
  Clock& clock_;

 private:
  std::unique_ptr<SerialDevice> device_;
  CommTimeouts timeouts_{};
};

}  // namespace librato
