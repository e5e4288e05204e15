#include "port_check.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/port_names.h"

namespace librato::probe {

namespace fs = std::filesystem;

PortCheck CheckPort(int port) {
  PortCheck r;
  const std::string com = "COM" + std::to_string(port);
  const fs::path link = fs::path(PortLinkDir()) / com;
  std::error_code ec;
  const bool linked = fs::is_symlink(link, ec);
  r.device = PortDevicePath(port);
  const std::string named = com + " (" + r.device + ")";

  if (!fs::exists(r.device, ec)) {
    if (linked) {
      r.sentence = com + " is not available: its link " + link.string() + " points to " + r.device +
                   ", which does not exist. Is the USB adapter plugged in, or the simulator "
                   "still running?";
    } else {
      r.sentence = com + " is not available: " + r.device + " does not exist, and no link " +
                   link.string() + " points " + com + " to another device.";
    }
    return r;
  }
  const int fd = ::open(r.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    if (e == EACCES || e == EPERM) {
      r.sentence = named +
                   " cannot be opened: permission denied. Add your user to the group that owns "
                   "the device (usually dialout) and log in again.";
    } else if (e == EBUSY) {
      r.sentence = named + " is busy: another program has it open.";
    } else {
      r.sentence = named + " cannot be opened: " + std::strerror(e) + ".";
    }
    return r;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    r.sentence = named + " is not a serial device.";
    return r;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    r.sentence = e == EWOULDBLOCK
                     ? named + " is busy: another program (Librato, or another probe) is using it."
                     : named + " cannot be locked: " + std::strerror(e) + ".";
    return r;
  }
  ::close(fd);
  r.usable = true;
  return r;
}

}  // namespace librato::probe
