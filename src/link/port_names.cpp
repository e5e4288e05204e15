#include "port_names.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace librato {

std::string PortLinkDir() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/Norvane/ports";
}

std::string PortDevicePath(int port) {
  namespace fs = std::filesystem;
  const fs::path link = fs::path(PortLinkDir()) / ("COM" + std::to_string(port));
  std::error_code ec;
  if (fs::is_symlink(link, ec)) {
    fs::path target = fs::read_symlink(link, ec);
    if (!ec) {
      if (target.is_relative()) target = link.parent_path() / target;
      return target.string();
    }
  }
  return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace librato
