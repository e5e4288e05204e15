#include "pty_balance.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "link/port_names.h"

namespace librato::sim {

namespace fs = std::filesystem;

PtyBalance::PtyBalance(BalanceSimulator& balance, Clock& clock)
    : balance_(balance), clock_(clock) {}

PtyBalance::~PtyBalance() {
  stop();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool PtyBalance::open(std::string& error) {
  int slave = -1;
  char name[128] = {};
  if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
    error = std::string("Could not create a pseudo-terminal: ") + std::strerror(errno) + ".";
    return false;
  }
  termios t{};
  if (::tcgetattr(slave, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
  }
  // Our copy of the slave goes: the master then sees when the program has the
  // port open (no POLLHUP) and when it closes it again.
  ::close(slave);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  int pipe[2];
  if (::pipe2(pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = std::string("Could not create a pipe: ") + std::strerror(errno) + ".";
    return false;
  }
  wakeRead_ = pipe[0];
  wakeWrite_ = pipe[1];
  devicePath_ = name;
  masterOpen_ = true;
  return true;
}

bool PtyBalance::linkAs(int port, std::string& error) {
  const fs::path dir = PortLinkDir();
  const fs::path link = dir / ("COM" + std::to_string(port));
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    error = "Could not create the port link folder " + dir.string() + " (" + ec.message() +
            "); make it writable or set XDG_CONFIG_HOME to a writable folder.";
    return false;
  }
  const auto status = fs::symlink_status(link, ec);
  if (!ec && fs::exists(status)) {
    if (!fs::is_symlink(status)) {
      error = link.string() + " exists and is not a link; remove it or choose another port number.";
      return false;
    }
    const fs::path target = fs::read_symlink(link, ec);
    const bool stale = !fs::exists(link, ec);
    const bool pseudo = target.string().rfind("/dev/pts/", 0) == 0;
    if (!stale && !pseudo) {
      error = "COM" + std::to_string(port) + " already points to " + target.string() + " (" +
              link.string() + "); choose another port number or remove that link.";
      return false;
    }
  }
  // Made beside the link and renamed over it, so COM<n> never dangles half-made.
  const fs::path temporary =
      dir / (".COM" + std::to_string(port) + "." + std::to_string(::getpid()));
  fs::remove(temporary, ec);
  fs::create_symlink(devicePath_, temporary, ec);
  if (!ec) fs::rename(temporary, link, ec);
  if (ec) {
    fs::remove(temporary, ec);
    error =
        "Could not create the port link " + link.string() + " (is " + dir.string() + " writable?).";
    return false;
  }
  linkPath_ = link.string();
  linkTarget_ = devicePath_;
  return true;
}

void PtyBalance::unlink() {
  if (linkPath_.empty()) return;
  std::error_code ec;
  if (fs::is_symlink(linkPath_, ec) && fs::read_symlink(linkPath_, ec) == linkTarget_) {
    fs::remove(linkPath_, ec);
  }
  linkPath_.clear();
}

void PtyBalance::start() {
  if (thread_.joinable() || master_ < 0) return;
  thread_ = std::thread([this] { serve(); });
}

void PtyBalance::wake() {
  const char b = 1;
  [[maybe_unused]] const auto n = ::write(wakeWrite_, &b, 1);
}

bool PtyBalance::disconnect() {
  if (!masterOpen_) return false;
  balance_.disconnect();
  if (!thread_.joinable()) {
    closeMaster();
  } else {
    std::unique_lock lock(mutex_);
    disconnectRequested_ = true;
    wake();
    done_.wait(lock, [this] { return !disconnectRequested_; });
  }
  // The pty's number is free again and the next pseudo-terminal anyone opens
  // may get it: point COM<n> at a device that does not exist, as an unplugged
  // adapter leaves it, so the program never reaches someone else's terminal.
  if (!linkPath_.empty()) {
    const fs::path link = linkPath_;
    const fs::path gone = link.parent_path() / ("." + link.filename().string() + ".unplugged");
    const fs::path temporary =
        link.parent_path() / ("." + link.filename().string() + "." + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove(temporary, ec);
    fs::create_symlink(gone, temporary, ec);
    if (!ec) fs::rename(temporary, link, ec);
    if (!ec) linkTarget_ = gone.string();
  }
  return true;
}

void PtyBalance::stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopRequested_ = true;
    }
    wake();
    thread_.join();
  }
  closeMaster();
}

void PtyBalance::closeMaster() {
  if (master_ >= 0) {
    ::close(master_);
    master_ = -1;
  }
  masterOpen_ = false;
}

void PtyBalance::serve() {
  std::vector<std::uint8_t> out;
  std::uint8_t in[512];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopRequested_) return;
      if (disconnectRequested_) {
        closeMaster();
        disconnectRequested_ = false;
        done_.notify_all();
      }
    }
    // Wait for a request, the next byte of a line, or a command.
    int timeoutMs = 100;
    if (const auto next = balance_.nextTransmitTime()) {
      const double ms = ToSeconds(*next - clock_.now()) * 1000.0;
      timeoutMs = std::clamp(static_cast<int>(std::ceil(ms)), 0, 100);
    }
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    ::poll(fds, count, timeoutMs);
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if (master_ < 0) continue;
    // POLLHUP: nobody has the port open. Requests still waiting are read and
    // forgotten; lines go by unheard.
    const bool listener = !(fds[1].revents & POLLHUP);
    out.clear();
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(master_, in, sizeof in);
      if (n > 0 && listener) balance_.receive(in, static_cast<std::size_t>(n), clock_.now(), out);
    }
    balance_.transmitUntil(clock_.now(), out);
    if (listener && !out.empty()) {
      // A full receive buffer on the other side drops the rest, as a UART overruns.
      [[maybe_unused]] const ssize_t w = ::write(master_, out.data(), out.size());
    }
    if (!listener) {
      // poll() does not block while the slave is closed; look again shortly.
      pollfd wakeOnly{wakeRead_, POLLIN, 0};
      ::poll(&wakeOnly, 1, 2);
    }
  }
}

}  // namespace librato::sim
