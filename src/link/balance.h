#pragma once
// The common base of both balance protocol drivers: a serial channel plus a
// small state machine advanced by Poll().

#include <array>
#include <cstdint>

#include "link/serko_com.h"

namespace librato {

enum class DriverState : std::uint8_t {
  Disconnected = 0,     // port not open
  PortOpen = 1,         // port open, not synchronised
  Linked = 2,           // synchronised; the next Poll reads a weighing
  ReadingComplete = 3,  // a reading was delivered and waits for Resume
};

enum class FrameStatus : std::uint8_t {
  FrameOk = 0,    // decoded
  FrameLost = 1,  // a byte did not arrive or the line reported an error
  FrameBad = 2,   // the bytes arrived but failed the frame's checks
};

// Unit text: up to 3 characters and a terminating zero.
using UnitText = std::array<char, 4>;
// Model designation: up to 15 characters and a terminating zero.
using ModelText = std::array<char, 16>;

class CBalance : public SerkoComA {
 public:
  CBalance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock);

  // Closes the port if it is open, stores the line set-up, opens again.
  bool Connect(std::int32_t port, std::uint32_t baud, Parity lineParity);

  // One step of the driver. The out-arguments are filled only when the call
  // ends in ReadingComplete.
  virtual void Poll(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
                    std::int32_t& serial);
  // Leaves ReadingComplete: the next Poll reads the next weighing.
  virtual void Resume();

  DriverState state = DriverState::Disconnected;
  std::int32_t driverPortNumber = 0;
  // Decimal places of the latest reading as the balance shows them.
  std::int32_t decimals = 0;
};

}  // namespace librato
