#include "clock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

namespace librato {

namespace {
// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
}  // namespace

DateTime SystemClock::now() {
  using namespace std::chrono;
  const auto since = system_clock::now().time_since_epoch();
  const auto ms = duration_cast<milliseconds>(since).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  const double local_secs = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff) +
                            static_cast<double>(ms % 1000) / 1000.0;
  return kUnixEpochDays + local_secs / kSecondsPerDay;
}

void SystemClock::sleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& RealClock() {
  static SystemClock clock;
  return clock;
}

TimeOfDay TimeOfDayOf(DateTime t) {
  // Whole milliseconds of the fractional day, as the desktop decoder rounds them.
  const double frac = t - std::floor(t);
  long long ms = std::llround(frac * kSecondsPerDay * 1000.0);
  if (ms >= 86400000LL) ms = 86399999LL;
  TimeOfDay r{};
  r.hours = static_cast<int>(ms / 3600000);
  r.minutes = static_cast<int>(ms / 60000 % 60);
  r.seconds = static_cast<int>(ms / 1000 % 60);
  r.milliseconds = static_cast<int>(ms % 1000);
  return r;
}

std::string LongTimeText(DateTime t) {
  const TimeOfDay d = TimeOfDayOf(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", d.hours, d.minutes, d.seconds);
  return buf;
}

std::string ShortDateText(DateTime t) {
  // Civil date from the day number (days since 1899-12-30).
  const long long days = static_cast<long long>(std::floor(t)) - 25569;  // since 1970-01-01
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", static_cast<int>(d), static_cast<int>(m),
                static_cast<int>(y));
  return buf;
}

}  // namespace librato
