#pragma once
// The simulated balance behind the serial-device interface, in-process: what
// the POSIX backend does with a real cable, driven by a Clock instead of the
// wire. Timeouts follow the interface's rules in the clock's time, so with a
// fake clock a silent line costs no real time.

#include <cstdint>
#include <deque>

#include "balance_sim.h"
#include "link/clock.h"
#include "link/serial_device.h"

namespace librato::sim {

class SimSerialDevice final : public SerialDevice {
 public:
  // The balance hangs on port `port`; every other port is absent.
  SimSerialDevice(BalanceSimulator& balance, Clock& clock, int port);

  bool open(int port, const LineSettings& line) override;
  void setTimeouts(const CommTimeouts& timeouts) override { timeouts_ = timeouts; }
  bool close() override;
  bool isOpen() const override { return open_; }
  int read(std::uint8_t* buffer, int n) override;
  int write(const std::uint8_t* buffer, int n) override;
  std::uint32_t takeErrors() override;

  // What a receive buffer holds before it overflows.
  static constexpr std::size_t kReceiveBuffer = 4096;

 private:
  // Moves what the balance has sent by now into the receive buffer.
  void pump();
  bool lineMatches() const;

  BalanceSimulator& balance_;
  Clock& clock_;
  int port_;
  bool open_ = false;
  LineSettings line_;
  CommTimeouts timeouts_;
  std::deque<std::uint8_t> received_;
  std::uint32_t errors_ = 0;
};

// A factory for the drivers: every device it makes talks to `balance`.
SerialDeviceFactory SimDeviceFactory(BalanceSimulator& balance, Clock& clock, int port);

}  // namespace librato::sim
