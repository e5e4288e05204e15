// Link figures over a pseudo-terminal with the simulated balance:
// (a) readings per second the acquisition loop publishes from a protocol-1
//     balance answering without wire delay (the program's own cost per reading);
// (b) the share of a protocol-2 balance's lines that become readings;
// (c) the time from the loop's start to its first protocol-2 reading
//     (protocol 1 is tried first).
// The loop is the acquisition thread's own body (AcquisitionLoop::run) on a
// thread of ours, reading through GetW on the POSIX serial device; a counting
// wrapper around GetW tells when readings come.

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "balance_sim.h"
#include "link/acquisition.h"
#include "link/acquisition_loop.h"
#include "link/clock.h"
#include "link/get_w.h"
#include "link/posix_serial.h"
#include "pty_balance.h"

namespace {

using namespace librato;
using namespace librato::sim;
using Steady = std::chrono::steady_clock;

constexpr int kPort = 17;

class CountingSource final : public ReadingSource {
 public:
  CountingSource(Steady::time_point start) : start_(start) {}
  bool Acquire(double& value, UnitText& unit, std::uint8_t& stable, ModelText& model,
               std::int32_t& serial, std::int32_t& decimals) override {
    const bool ok = getw_.Acquire(value, unit, stable, model, serial, decimals);
    if (ok) {
      const double t = std::chrono::duration<double>(Steady::now() - start_).count();
      if (readings_.fetch_add(1) == 0) first_ = t;
      last_ = t;
    }
    return ok;
  }
  std::int64_t readings() const { return readings_; }
  double first() const { return first_; }
  double last() const { return last_; }

 private:
  Steady::time_point start_;
  GetW getw_{kPort, PosixSerialFactory(), RealClock()};
  std::atomic<std::int64_t> readings_{0};
  std::atomic<double> first_{-1};
  std::atomic<double> last_{-1};
};

struct Run {
  std::int64_t readings = 0;
  double first = -1;  // seconds after the start
  double last = -1;
  std::vector<SentRecord> sent;
  DateTime start = 0;
};

// Runs the acquisition loop on the simulator for `seconds`, or until the first
// reading when `untilFirst`.
Run Measure(SimConfig config, double seconds, bool untilFirst) {
  config.keepLog = true;
  config.noiseSteps = 0.3;
  const std::string error = CheckConfig(config);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  BalanceSimulator balance(config, RealClock().now());
  PtyBalance pty(balance, RealClock());
  std::string problem;
  if (!pty.open(problem) || !pty.linkAs(kPort, problem)) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::exit(1);
  }
  pty.start();
  balance.put(100.0, RealClock().now());

  AcquisitionShared shared;
  Run run;
  run.start = RealClock().now();
  const auto start = Steady::now();
  auto source = std::make_unique<CountingSource>(start);
  CountingSource* counter = source.get();
  AcquisitionLoop loop(shared, AcquisitionConfig{kPort, 3}, std::move(source), RealClock());
  std::thread thread([&loop] { loop.run(); });
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Steady::now() < end && !(untilFirst && counter->readings() > 0)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.readings = counter->readings();
  run.first = counter->first();
  run.last = counter->last();
  {
    std::lock_guard lock(shared.SnapshotLock);
    shared.stopRequested = true;
  }
  thread.join();
  run.sent = balance.sent();
  pty.stop();
  pty.unlink();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  double p1Seconds = 5, p2Seconds = 20;
  int firstRuns = 3;
  if (argc > 1 && std::string(argv[1]) == "--quick") {
    p1Seconds = 2;
    p2Seconds = 5;
    firstRuns = 1;
  }
  // Port links go to a private folder, never the user's.
  char dir[] = "/tmp/librato-bench-link-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("XDG_CONFIG_HOME", dir, 1);

  // (a) Protocol 1, no wire delay: readings per second after the first.
  SimConfig p1;
  p1.protocol = 1;
  const Run a = Measure(p1, p1Seconds, false);
  const double rate =
      a.readings > 1 && a.last > a.first ? (a.readings - 1) / (a.last - a.first) : 0;
  std::printf("protocol 1: %lld readings in %.2f s after the first (first after %.3f s)\n",
              static_cast<long long>(a.readings), a.last - a.first, a.first);

  // (b) Protocol 2 at 2400 baud: lines begun after the first reading's line
  // and finished by the last reading, against the readings in that span.
  SimConfig p2;
  p2.protocol = 2;
  const Run b = Measure(p2, p2Seconds, false);
  const double lineSeconds = 25 * p2.byteSeconds;  // "100.0000g   PT300 123456" CR LF
  std::int64_t lines = 0;
  for (const auto& r : b.sent) {
    const double at = ToSeconds(r.time - b.start);
    if (at > b.first - lineSeconds + 1e-3 && at + lineSeconds <= b.last + 1e-3) ++lines;
  }
  const std::int64_t readingsAfterFirst = b.readings - 1;
  const double share = lines > 0 ? 100.0 * static_cast<double>(readingsAfterFirst) / lines : 0;
  std::printf("protocol 2: %lld readings from %lld lines in %.2f s\n",
              static_cast<long long>(readingsAfterFirst), static_cast<long long>(lines),
              b.last - b.first);

  // (c) Protocol 2: time to the first reading, worst of a few starts.
  double worst = b.first;
  std::printf("first protocol-2 reading after %.3f s", b.first);
  for (int i = 1; i < firstRuns; ++i) {
    const Run c = Measure(p2, 10, true);
    std::printf(", %.3f s", c.first);
    worst = std::max(worst, c.first < 0 ? 1e9 : c.first);
  }
  std::printf("\n");

  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::printf(
      "protocol 1: %.1f readings/s; protocol 2: %.1f %% of lines; first protocol-2 "
      "reading after %.2f s\n",
      rate, share, worst);
  return 0;
}
