#include "link/pt_balance/pt_balance.h"

namespace librato {

using namespace pt_protocol;

PT_balance::PT_balance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock)
    : CBalance(port, devices, clock) {}

bool PT_balance::Synchronize() {
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::uint8_t b = 0;
    if (ReadBytes(&b, 1) != read_result::kComplete || b != 0x0D) continue;
    if (ReadBytes(&b, 1) == read_result::kComplete && b == 0x0A) return true;
  }
  return false;
}

FrameStatus PT_balance::ReadFrame(PtReading& out) {
  unitText.fill(0);
  LineAssembler line;
  for (;;) {
    std::uint8_t b = 0;
    if (ReadBytes(&b, 1) != read_result::kComplete) return FrameStatus::FrameLost;
    if (line.push(b)) break;
  }
  PtReading reading;
  const FrameStatus status = DecodeLine(line.line(), reading, decimals);
  if (status == FrameStatus::FrameOk) {
    unitText = reading.unit;
    out = reading;
  }
  return status;
}

void PT_balance::Poll(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
                      std::int32_t& serial) {
  switch (state) {
    case DriverState::Disconnected:
      if (Connect(driverPortNumber, 2400, Parity::Even)) state = DriverState::PortOpen;
      break;
    case DriverState::PortOpen:
      if (Synchronize()) state = DriverState::Linked;
      break;
    case DriverState::Linked: {
      PtReading r;
      const FrameStatus status = ReadFrame(r);
      if (status == FrameStatus::FrameLost) {
        state = DriverState::PortOpen;
      } else if (status == FrameStatus::FrameOk) {
        value = r.value;
        // Three characters; the caller's buffer supplies the terminating zero.
        for (int i = 0; i < 3; ++i) unit[i] = r.unit[i];
        stable = r.stable ? 1 : 0;
        model = r.model;
        serial = r.serial;
        state = DriverState::ReadingComplete;
      }
      break;
    }
    case DriverState::ReadingComplete:
      break;
  }
}

void PT_balance::Resume() { state = DriverState::Linked; }

}  // namespace librato
