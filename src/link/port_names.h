#pragma once
// Port n of "COM" n on this platform: the device that the link
// <config>/Norvane/ports/COM<n> points to (config = $XDG_CONFIG_HOME, or
// ~/.config), else /dev/ttyS<n-1>.

#include <string>

namespace librato {

// The folder that holds the COM<n> links.
std::string PortLinkDir();
// The device path that port n opens.
std::string PortDevicePath(int port);

}  // namespace librato
