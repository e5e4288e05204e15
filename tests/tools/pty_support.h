#pragma once
// Helpers of the pseudo-terminal tests: a private port link folder, a raw
// client end of a pty, and a child program with piped standard streams.
// Every wait is bounded and ends on a real event.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace librato::testing {

// XDG_CONFIG_HOME in a fresh temporary folder for the life of the object, so
// the tests never touch the user's port links.
class TempConfigHome {
 public:
  TempConfigHome() {
    char pattern[] = "/tmp/librato-tools-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  ~TempConfigHome() {
    if (old_.empty()) {
      ::unsetenv("XDG_CONFIG_HOME");
    } else {
      ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }
  std::string ports() const { return dir_ + "/Norvane/ports"; }

 private:
  std::string dir_;
  std::string old_;
};

// Opens a device raw, as a serial port would be; -1 on failure.
inline int OpenRaw(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Reads up to n bytes, waiting at most `ms` for each; returns what came.
inline std::string ReadFor(int fd, std::size_t n, int ms) {
  std::string out;
  while (out.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN)) break;
    char buf[256];
    const ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
    if (got <= 0) break;
    out.append(buf, static_cast<std::size_t>(got));
  }
  return out;
}

// A child program with its stdin and stdout on pipes.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Child() {
    closeInput();
    if (pid_ > 0) {
      if (wait(5000) < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    if (stdout_ >= 0) ::close(stdout_);
  }
  bool started() const { return pid_ > 0; }

  void send(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const auto n = ::write(stdin_, text.data(), text.size());
  }
  void closeInput() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  // The next line of its output (without the newline); "" after `ms`.
  std::string line(int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
        std::string l = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return l;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buf[512];
      const ssize_t got = ::read(stdout_, buf, sizeof buf);
      if (got <= 0) return "";
      buffer_.append(buf, static_cast<std::size_t>(got));
    }
  }
  // Exit status, or -1 when it has not ended within `ms`.
  int wait(int ms) {
    if (pid_ <= 0) return status_;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
      if (std::chrono::steady_clock::now() >= end) return -1;
      // Nothing to wait on for a child's end but the child; poll its output.
      pollfd p{stdout_, POLLIN, 0};
      ::poll(&p, 1, 10);
      if (p.revents & (POLLIN | POLLHUP)) {
        char buf[512];
        const ssize_t got = ::read(stdout_, buf, sizeof buf);
        if (got > 0) {
          buffer_.append(buf, static_cast<std::size_t>(got));
        } else if (::waitpid(pid_, &st, 0) == pid_) {
          // Its output has ended: it is on its way out.
          pid_ = -1;
          status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
          return status_;
        }
      }
    }
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
};

}  // namespace librato::testing
