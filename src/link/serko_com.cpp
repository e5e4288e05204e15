#include "link/serko_com.h"

namespace librato {

std::uint32_t TimeoutMultiplier(std::uint32_t baud) {
  const std::uint32_t perTen = baud / 10;
  // Below 10 baud the classic formula divides by zero; such a line needs
  // more than a second per byte, so give it the largest step we can.
  if (perTen == 0) return 2;
  return 1 + (1 / perTen);
}

SerkoComA::SerkoComA(const SerialDeviceFactory& devices, Clock& clock)
    : clock_(clock), device_(devices ? devices() : nullptr) {}

SerkoComA::~SerkoComA() { ClosePort(); }

bool SerkoComA::portIsOpen() const { return device_ && device_->isOpen(); }

bool SerkoComA::OpenPort() {
  if (!device_) return false;
  const LineSettings line{baudRate, parity};
  const bool accepted = device_->open(portNumber, line);
  if (!device_->isOpen()) return false;
  const std::uint32_t multiplier = TimeoutMultiplier(baudRate);
  timeouts_.readInterval = 1;
  timeouts_.readMultiplier = multiplier;
  timeouts_.readConstant = 1000;
  timeouts_.writeMultiplier = multiplier;
  timeouts_.writeConstant = 1000;
  device_->setTimeouts(timeouts_);
  return accepted;
}

bool SerkoComA::ClosePort() {
  if (!device_) return false;
  return device_->close();
}

std::int32_t SerkoComA::ReadBytes(std::uint8_t* buffer, std::int32_t n) {
  if (!portIsOpen()) return read_result::kNotOpen;
  if (n < 0) return read_result::kShort;
  const int moved = n == 0 ? 0 : device_->read(buffer, n);
  if (moved != n) return read_result::kShort;
  const std::uint32_t errors = device_->takeErrors();
  if (errors == 0 || errors == line_error::kParity) return read_result::kComplete;
  return read_result::kLineError;
}

bool SerkoComA::WriteBytes(const std::uint8_t* buffer, std::int32_t n) {
  if (!portIsOpen() || n < 0) return false;
  const int moved = n == 0 ? 0 : device_->write(buffer, n);
  if (moved != n) return false;
  const std::uint32_t errors = device_->takeErrors();
  if (errors == line_error::kParity) clock_.sleepMs(1);
  return errors == 0;
}

}  // namespace librato
