#include "link/balance.h"

namespace librato {

CBalance::CBalance(std::int32_t port, const SerialDeviceFactory& devices, Clock& clock)
    : SerkoComA(devices, clock), driverPortNumber(port) {}

bool CBalance::Connect(std::int32_t port, std::uint32_t baud, Parity lineParity) {
  if (portIsOpen()) ClosePort();
  portNumber = port;
  baudRate = baud;
  parity = lineParity;
  return OpenPort();
}

void CBalance::Poll(double&, UnitText&, std::uint8_t&, ModelText&, std::int32_t&) {}

void CBalance::Resume() {}

}  // namespace librato
