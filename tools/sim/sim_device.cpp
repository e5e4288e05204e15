#include "sim_device.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace librato::sim {

SimSerialDevice::SimSerialDevice(BalanceSimulator& balance, Clock& clock, int port)
    : balance_(balance), clock_(clock), port_(port) {}

bool SimSerialDevice::lineMatches() const {
  // A receiver at another baud rate or parity understands nothing of the balance.
  if (balance_.config().protocol == 1) return line_.baud == 19200 && line_.parity == Parity::None;
  return line_.baud == 2400 && line_.parity == Parity::Even;
}

bool SimSerialDevice::open(int port, const LineSettings& line) {
  if (open_ || port != port_ || !balance_.connected()) return false;
  open_ = true;
  line_ = line;
  received_.clear();
  errors_ = 0;
  // What the balance sent while the port was closed is gone.
  std::vector<std::uint8_t> lost;
  balance_.transmitUntil(clock_.now(), lost);
  return true;
}

bool SimSerialDevice::close() {
  open_ = false;
  received_.clear();
  return true;
}

void SimSerialDevice::pump() {
  std::vector<std::uint8_t> bytes;
  balance_.transmitUntil(clock_.now(), bytes);
  if (bytes.empty()) return;
  if (!lineMatches()) {
    errors_ |= line_error::kFraming;
    return;
  }
  for (const std::uint8_t b : bytes) {
    if (received_.size() >= kReceiveBuffer) {
      errors_ |= line_error::kRxOverflow;
      break;
    }
    received_.push_back(b);
  }
}

namespace {
// Sleeps on the clock until `until` (at least 1 ms when it lies ahead).
void SleepUntil(Clock& clock, DateTime until) {
  const double ms = ToSeconds(until - clock.now()) * 1000.0;
  if (ms > 0) clock.sleepMs(std::max(1, static_cast<int>(std::ceil(ms))));
}
}  // namespace

int SimSerialDevice::read(std::uint8_t* buffer, int n) {
  if (!open_ || n <= 0) return 0;
  const DateTime start = clock_.now();
  const DateTime deadline = start + Milliseconds(timeouts_.readConstant +
                                                 static_cast<double>(n) * timeouts_.readMultiplier);
  int got = 0;
  DateTime lastByte = start;
  for (;;) {
    if (!balance_.connected()) return got;  // hang-up: the transfer ends short
    pump();
    while (got < n && !received_.empty()) {
      buffer[got++] = received_.front();
      received_.pop_front();
      lastByte = clock_.now();
    }
    if (got == n) return got;
    DateTime limit = deadline;
    if (got > 0 && timeouts_.readInterval > 0) {
      limit = std::min(limit, lastByte + Milliseconds(timeouts_.readInterval));
    }
    const DateTime now = clock_.now();
    if (now >= limit) return got;
    const auto next = balance_.nextTransmitTime();
    if (!next || *next > limit) {
      SleepUntil(clock_, limit);
      pump();
      while (got < n && !received_.empty()) {
        buffer[got++] = received_.front();
        received_.pop_front();
      }
      return got;
    }
    SleepUntil(clock_, *next);
  }
}

int SimSerialDevice::write(const std::uint8_t* buffer, int n) {
  if (!open_ || n <= 0 || !balance_.connected()) return 0;
  if (!lineMatches()) return n;  // went out, but the balance hears only noise
  std::vector<std::uint8_t> replies;
  balance_.receive(buffer, static_cast<std::size_t>(n), clock_.now(), replies);
  for (const std::uint8_t b : replies) {
    if (received_.size() >= kReceiveBuffer) {
      errors_ |= line_error::kRxOverflow;
      break;
    }
    received_.push_back(b);
  }
  return n;
}

std::uint32_t SimSerialDevice::takeErrors() {
  const std::uint32_t e = errors_;
  errors_ = 0;
  return e;
}

SerialDeviceFactory SimDeviceFactory(BalanceSimulator& balance, Clock& clock, int port) {
  return [&balance, &clock, port]() -> std::unique_ptr<SerialDevice> {
    return std::make_unique<SimSerialDevice>(balance, clock, port);
  };
}

}  // namespace librato::sim
