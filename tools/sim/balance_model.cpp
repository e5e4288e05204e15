#include "balance_model.h"

#include <algorithm>
#include <cmath>

namespace librato::sim {

std::uint64_t Random::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Random::gaussian() {
  const double u1 = 1.0 - uniform();  // (0, 1]: log stays finite
  const double u2 = uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
}

BalanceModel::BalanceModel(const ModelSettings& settings, std::uint64_t seed, DateTime start)
    : settings_(settings),
      random_(seed),
      step_(std::pow(10.0, -settings.decimals)),
      // Switched on long ago: the empty pan has settled.
      changedAt_(start - Seconds(settings.settleSeconds + 1)) {}

void BalanceModel::changed(DateTime now) {
  // The display swings from where it was towards the new load.
  settleFrom_ = net();
  changedAt_ = now;
}

void BalanceModel::put(double grams, DateTime now) {
  changed(now);
  load_ = std::max(0.0, grams);
}

void BalanceModel::zero(DateTime now) {
  changed(now);
  tare_ = load_;
}

Sample BalanceModel::sample(DateTime now) {
  const double elapsed = std::max(0.0, ToSeconds(now - changedAt_));
  const bool settling = elapsed < settings_.settleSeconds;
  double shown = net();
  if (settling) {
    // Exponential approach: most of the swing is over after a third of the time.
    const double left = std::exp(-5.0 * elapsed / settings_.settleSeconds);
    shown += (settleFrom_ - net()) * left;
  }
  // Zero tracking: a settled reading within half a step of zero shows exactly 0,
  // whatever the noise, as a balance's zero tracker holds its zero.
  if (!settling && std::fabs(net()) < 0.5 * step_) return Sample{0, true};
  if (load_ > 0 && settings_.noiseSteps > 0) {
    shown += random_.gaussian() * settings_.noiseSteps * step_;
  }
  const double steps = std::round(shown / step_);
  Sample s;
  // Far beyond any frame; the protocols turn such counts into overload.
  s.count = static_cast<std::int64_t>(std::clamp(steps, -1e15, 1e15));
  s.stable = !settling;
  return s;
}

}  // namespace librato::sim
