#pragma once
// The weighing physics of the simulated balance: what lies on the pan, the
// zero offset, the settling after every change, noise while loaded and zero
// tracking. Time is passed in by the caller, so the model runs as well in fake
// time as in real time. Not thread-safe: the simulator guards it.

#include <cstdint>

#include "link/clock.h"

namespace librato::sim {

// Deterministic generator (splitmix64), so a seed replays the same session.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [0, 1).
  double uniform();
  // Uniform integer in [0, n), n > 0.
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  // Standard normal (Box-Muller).
  double gaussian();

 private:
  std::uint64_t state_;
};

struct ModelSettings {
  int decimals = 4;            // display step 10^-decimals g
  double noiseSteps = 0.3;     // standard deviation of the noise, display steps
  double settleSeconds = 1.0;  // unstable for this long after every change
};

// One reading as the display would show it: a whole number of display steps.
struct Sample {
  std::int64_t count = 0;  // display steps
  bool stable = false;
};

class BalanceModel {
 public:
  BalanceModel(const ModelSettings& settings, std::uint64_t seed, DateTime start);

  // The load on the pan becomes `grams` (>= 0).
  void put(double grams, DateTime now);
  void remove(DateTime now) { put(0, now); }
  // Tare: the current load reads 0 from now on.
  void zero(DateTime now);

  // The display at `now`. Draws noise, so successive calls differ while loaded.
  Sample sample(DateTime now);

  double load() const { return load_; }
  double tare() const { return tare_; }
  double step() const { return step_; }
  const ModelSettings& settings() const { return settings_; }

 private:
  void changed(DateTime now);
  double net() const { return load_ - tare_; }

  ModelSettings settings_;
  Random random_;
  double step_;
  double load_ = 0;
  double tare_ = 0;
  double settleFrom_ = 0;  // net reading when the latest change began
  DateTime changedAt_;
};

}  // namespace librato::sim
