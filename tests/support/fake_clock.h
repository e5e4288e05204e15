#pragma once
// A clock whose time moves only when someone sleeps on it or a test advances
// it. Safe to use from the acquisition thread and the test thread at once.

#include <mutex>

#include "link/clock.h"

namespace librato::testing {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(DateTime start = 46000.5) : now_(start) {}
  DateTime now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void sleepMs(int ms) override { advanceMs(ms); }
  void advanceMs(double ms) {
    std::lock_guard lock(mutex_);
    now_ += Milliseconds(ms);
  }
  void set(DateTime t) {
    std::lock_guard lock(mutex_);
    now_ = t;
  }

 private:
  std::mutex mutex_;
  DateTime now_;
};

}  // namespace librato::testing
