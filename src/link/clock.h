#pragma once
// Time as the procedure sees it: local date-time values in days (the classic
// desktop date-time: days since 1899-12-30, fraction = time of day), compared as
// doubles. Everything that waits or measures goes through a Clock so that tests
// can run minutes of a run in fake time.

#include <string>

namespace librato {

using DateTime = double;  // days

constexpr double kSecondsPerDay = 86400.0;
constexpr DateTime Seconds(double s) { return s / kSecondsPerDay; }
constexpr DateTime Milliseconds(double ms) { return ms / (kSecondsPerDay * 1000.0); }
constexpr double ToSeconds(DateTime span) { return span * kSecondsPerDay; }

class Clock {
 public:
  virtual ~Clock() = default;
  // Current local date-time.
  virtual DateTime now() = 0;
  // Pauses the calling thread.
  virtual void sleepMs(int ms) = 0;
};

// The real clock: local wall time, real sleeps.
class SystemClock final : public Clock {
 public:
  DateTime now() override;
  void sleepMs(int ms) override;
};

// Process-wide real clock.
Clock& RealClock();

// Hours, minutes, seconds and milliseconds of the time-of-day part of `t`.
struct TimeOfDay {
  int hours, minutes, seconds, milliseconds;
};
TimeOfDay TimeOfDayOf(DateTime t);

// The long time text of the user's locale as the lab computers show it: "H:mm:ss".
std::string LongTimeText(DateTime t);
// The short date text: "dd.MM.yyyy".
std::string ShortDateText(DateTime t);

}  // namespace librato
