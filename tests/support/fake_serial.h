#pragma once
// A scripted serial line in fake time. The test plays the balance: it queues
// bytes that arrive at given fake times, answers written bytes through
// onWrite, injects line errors, refuses opens or hangs the line up. Every
// device that factory() makes talks over the same line, as every driver of
// one port does; only one of them may have it open at a time.
//
// Reads follow the classic timeouts: a read of n bytes ends after
// readConstant + n * readMultiplier ms, or when more than readInterval ms
// pass between two bytes; the fake clock moves to where the real read
// would have ended. Every call also costs callCostMs of fake time, so that
// loops over failing calls make progress in fake time.
//
// Thread-safe: the acquisition thread may read while the test queues bytes.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "link/serial_device.h"

namespace librato::testing {

class FakeLine {
 public:
  explicit FakeLine(FakeClock& clock) : clock_(clock) {}

 private:
  template <class F>
  auto locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }

 public:

  // Called for every byte written, outside the line's lock, in the writer's
  // thread; usually queues the reply with send().
  using WriteHandler = std::function<void(FakeLine&, std::uint8_t)>;

  SerialDeviceFactory factory();

  // Queues bytes that arrive `delayMs` after the later of now and the
  // previously queued byte, each carrying the given line error bits.
  void send(const std::vector<std::uint8_t>& bytes, double delayMs = 0, std::uint32_t errors = 0) {
    std::lock_guard lock(mutex_);
    DateTime at = std::max(clock_.now(), lastQueued_) + Milliseconds(delayMs);
    for (std::uint8_t b : bytes) {
      rx_.push_back({b, errors, at});
      lastQueued_ = at;
    }
  }
  void sendText(const std::string& text, double delayMs = 0) {
    send(std::vector<std::uint8_t>(text.begin(), text.end()), delayMs);
  }
  void setWriteHandler(WriteHandler handler) {
    std::lock_guard lock(mutex_);
    onWrite_ = std::move(handler);
  }
  // The next byte a read takes comes with these line error bits.
  void markNextByte(std::uint32_t errors) {
    std::lock_guard lock(mutex_);
    nextByteErrors_ |= errors;
  }
  // The cable is pulled: transfers end at once, the device cannot be opened.
  void hangUp() {
    std::lock_guard lock(mutex_);
    hungUp_ = true;
    rx_.clear();
  }
  void plugIn() {
    std::lock_guard lock(mutex_);
    hungUp_ = false;
  }
  void setOpenFails(bool fails) {
    std::lock_guard lock(mutex_);
    openFails_ = fails;
  }
  void setRefuseSetup(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseSetup_ = refuse;
  }
  void setCallCostMs(double ms) {
    std::lock_guard lock(mutex_);
    callCostMs_ = ms;
  }

  // What the program did to the line.
  int opens() const {
    return locked([&] { return opens_; });
  }
  int closes() const {
    return locked([&] { return closes_; });
  }
  int lastPort() const {
    return locked([&] { return lastPort_; });
  }
  LineSettings lastLine() const {
    return locked([&] { return lastLine_; });
  }
  CommTimeouts lastTimeouts() const {
    return locked([&] { return lastTimeouts_; });
  }
  std::vector<std::uint8_t> written() const {
    return locked([&] { return written_; });
  }
  std::size_t pending() const {
    return locked([&] { return rx_.size(); });
  }
  bool isOpen() const {
    return locked([&] { return openDevice_ != nullptr; });
  }

 private:
  friend class FakeSerialDevice;
  struct Rx {
    std::uint8_t byte;
    std::uint32_t errors;
    DateTime at;
  };

  FakeClock& clock_;
  mutable std::mutex mutex_;
  std::deque<Rx> rx_;
  DateTime lastQueued_ = 0;
  WriteHandler onWrite_;
  std::uint32_t nextByteErrors_ = 0;
  bool hungUp_ = false;
  bool openFails_ = false;
  bool refuseSetup_ = false;
  double callCostMs_ = 1;
  const void* openDevice_ = nullptr;
  int opens_ = 0, closes_ = 0, lastPort_ = 0;
  LineSettings lastLine_{};
  CommTimeouts lastTimeouts_{};
  std::vector<std::uint8_t> written_;
};

class FakeSerialDevice final : public SerialDevice {
 public:
  explicit FakeSerialDevice(FakeLine& line) : line_(line) {}
  ~FakeSerialDevice() override { close(); }

  bool open(int port, const LineSettings& settings) override {
    std::lock_guard lock(line_.mutex_);
    line_.clock_.advanceMs(line_.callCostMs_);
    if (open_ || line_.openFails_ || line_.hungUp_ || line_.openDevice_) return false;
    open_ = true;
    line_.openDevice_ = this;
    ++line_.opens_;
    line_.lastPort_ = port;
    line_.lastLine_ = settings;
    return !line_.refuseSetup_;
  }
  void setTimeouts(const CommTimeouts& timeouts) override {
    std::lock_guard lock(line_.mutex_);
    timeouts_ = timeouts;
    line_.lastTimeouts_ = timeouts;
  }
  bool close() override {
    std::lock_guard lock(line_.mutex_);
    if (!open_) return false;
    open_ = false;
    line_.openDevice_ = nullptr;
    ++line_.closes_;
    return true;
  }
  bool isOpen() const override { return open_; }

  int read(std::uint8_t* buffer, int n) override {
    std::lock_guard lock(line_.mutex_);
    FakeClock& clock = line_.clock_;
    clock.advanceMs(line_.callCostMs_);
    if (!open_ || line_.hungUp_ || n <= 0) return 0;
    const DateTime start = clock.now();
    const DateTime total =
        start + Milliseconds(timeouts_.readConstant + double(n) * timeouts_.readMultiplier);
    int got = 0;
    DateTime last = start;
    while (got < n) {
      DateTime deadline = total;
      if (got > 0 && timeouts_.readInterval > 0)
        deadline = std::min(deadline, last + Milliseconds(timeouts_.readInterval));
      if (line_.rx_.empty() || line_.rx_.front().at > deadline) {
        if (clock.now() < deadline) clock.set(deadline);
        break;
      }
      const FakeLine::Rx rx = line_.rx_.front();
      line_.rx_.pop_front();
      if (rx.at > clock.now()) clock.set(rx.at);
      buffer[got++] = rx.byte;
      errors_ |= rx.errors | line_.nextByteErrors_;
      line_.nextByteErrors_ = 0;
      last = clock.now();
    }
    return got;
  }

  int write(const std::uint8_t* buffer, int n) override {
    FakeLine::WriteHandler handler;
    {
      std::lock_guard lock(line_.mutex_);
      line_.clock_.advanceMs(line_.callCostMs_);
      if (!open_ || line_.hungUp_ || n <= 0) return 0;
      line_.written_.insert(line_.written_.end(), buffer, buffer + n);
      handler = line_.onWrite_;
    }
    if (handler)
      for (int i = 0; i < n; ++i) handler(line_, buffer[i]);
    return n;
  }

  std::uint32_t takeErrors() override {
    std::lock_guard lock(line_.mutex_);
    const std::uint32_t e = errors_;
    errors_ = 0;
    return e;
  }

 private:
  FakeLine& line_;
  bool open_ = false;
  CommTimeouts timeouts_{};
  std::uint32_t errors_ = 0;
};

inline SerialDeviceFactory FakeLine::factory() {
  return [this] { return std::make_unique<FakeSerialDevice>(*this); };
}

}  // namespace librato::testing
