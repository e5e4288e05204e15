#pragma once
// Driver of the second protocol: 2400 baud 8E1; the balance sends text lines
// by itself and the driver only listens.

#include <cstdint>

#include "link/balance.h"
#include "link/pt_balance/pt_line.h"

namespace librato {

class PT_balance : public CBalance {
 public:
  PT_balance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock);

  void Poll(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
            std::int32_t& serial) override;
  void Resume() override;

  // Waits for a CR LF so that the next byte starts a line; at most 32 tries.
  bool Synchronize();
  FrameStatus ReadFrame(pt_protocol::PtReading& out);

  UnitText unitText{};
};

}  // namespace librato
