#pragma once
// Driver of the first protocol: 19200 baud 8N1, every request byte answered
// by one reply byte; synchronisation, identification (model code and serial
// number) and check-summed weighing frames.

#include <cstdint>

#include "link/b_balance/b_frames.h"
#include "link/balance.h"

namespace librato {

class B_balance : public CBalance {
 public:
  B_balance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock);

  void Poll(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
            std::int32_t& serial) override;
  void Resume() override;

  // Writes each byte, then reads its reply into the same place. A reply
  // that does not arrive leaves the request byte there. Returns 0 when
  // every reply came clean, the failing read's code when one did not
  // arrive, else 2 when one came with a line error.
  std::int32_t Exchange(std::uint8_t* buffer, std::int32_t n);

  bool Synchronize();
  bool Identify();
  FrameStatus ReadFrame(b_protocol::Weighing& out);

  std::int32_t modelCode = -1;
  std::int32_t serialNumber = 0;
};

}  // namespace librato
