#pragma once
// Why a port cannot be used, in words a technician can act on: absent device,
// dangling link, no permission, busy, not a serial device.

#include <string>

namespace librato::probe {

struct PortCheck {
  bool usable = false;
  std::string device;    // the path that COM<n> opens
  std::string sentence;  // when not usable: what is wrong and what to do
};

PortCheck CheckPort(int port);

}  // namespace librato::probe
