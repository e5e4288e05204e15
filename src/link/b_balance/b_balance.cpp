#include "link/b_balance/b_balance.h"

#include <algorithm>

namespace librato {

using namespace b_protocol;

namespace {
// A reply byte arrived (possibly with a line error) as opposed to not at all.
bool Arrived(std::int32_t r) { return r == read_result::kComplete || r == read_result::kLineError; }
}  // namespace

B_balance::B_balance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock)
    : CBalance(port, devices, clock) {}

std::int32_t B_balance::Exchange(std::uint8_t* buffer, std::int32_t n) {
  std::int32_t result = read_result::kComplete;
  for (std::int32_t i = 0; i < n; ++i) {
    WriteBytes(buffer + i, 1);  // the reply decides, not the write
    const std::int32_t r = ReadBytes(buffer + i, 1);
    // A byte that did not arrive outweighs a line error on another byte.
    if (!Arrived(r)) {
      if (Arrived(result)) result = r;
    } else if (r == read_result::kLineError && result == read_result::kComplete) {
      result = r;
    }
  }
  return result;
}

bool B_balance::Synchronize() {
  int zeros = 0;
  bool counted = false;
  for (int i = 0; i < 40; ++i) {
    std::uint8_t b = 0x00;
    if (!Arrived(Exchange(&b, 1))) return false;
    zeros = b == 0x00 ? zeros + 1 : 0;
    if (zeros >= 15) {
      counted = true;
      break;
    }
  }
  if (!counted) return false;
  std::uint8_t b = 0x01;
  if (!Arrived(Exchange(&b, 1))) return false;
  return b == 0x02;
}

bool B_balance::Identify() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::uint8_t first[kFirstIdentSize];
    std::copy(std::begin(kFirstIdentRequest), std::end(kFirstIdentRequest), first);
    Exchange(first, kFirstIdentSize);  // missing replies keep their request bytes
    switch (CheckFirstIdent(first)) {
      case FirstIdentCheck::SumsBad:
        clock_.sleepMs(100);
        continue;
      case FirstIdentCheck::NotSimple:
        continue;
      case FirstIdentCheck::Ok:
        break;
    }
    std::uint8_t ack[kFrameSize];
    std::copy(std::begin(kIdentAckRequest), std::end(kIdentAckRequest), ack);
    if (!Arrived(Exchange(ack, kFrameSize))) return false;
    std::uint8_t reply[kFrameSize];
    std::copy(std::begin(kIdentRequest), std::end(kIdentRequest), reply);
    if (!Arrived(Exchange(reply, kFrameSize))) return false;
    Identity id;
    if (DecodeIdentity(reply, id)) {
      serialNumber = id.serial;
      modelCode = id.modelCode;
      decimals = id.decimals;
      return true;
    }
  }
  return false;
}

FrameStatus B_balance::ReadFrame(Weighing& out) {
  std::uint8_t r[kFrameSize];
  std::copy(std::begin(kWeighRequest), std::end(kWeighRequest), r);
  for (std::size_t i = 0; i < kFrameSize; ++i) {
    WriteBytes(r + i, 1);
    if (ReadBytes(r + i, 1) != read_result::kComplete) return FrameStatus::FrameLost;
  }
  return DecodeWeighing(r, out);
}

void B_balance::Poll(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
                     std::int32_t& serial) {
  switch (state) {
    case DriverState::Disconnected: {
      const bool connected = Connect(driverPortNumber, 19200, Parity::None);
      modelCode = -1;
      if (connected) state = DriverState::PortOpen;
      break;
    }
    case DriverState::PortOpen:
      if (Synchronize() && Identify()) state = DriverState::Linked;
      break;
    case DriverState::Linked: {
      Weighing w;
      const FrameStatus status = ReadFrame(w);
      if (status == FrameStatus::FrameLost) {
        state = DriverState::PortOpen;
        break;
      }
      if (status == FrameStatus::FrameOk) {
        value = w.value;
        stable = w.stable ? 1 : 0;
        decimals = w.decimals;
        CopyText(unit, UnitName(w.unitIndex));
      } else {
        value = 0.0;
        stable = 1;
        CopyText(unit, UnitName(8));
      }
      if (modelCode >= 0) {
        CopyText(model, ModelName(modelCode));
        serial = serialNumber;
      }
      state = DriverState::ReadingComplete;
      break;
    }
    case DriverState::ReadingComplete:
      break;
  }
}

void B_balance::Resume() { state = DriverState::Linked; }

}  // namespace librato
