#include "procedure/plan.h"

#include <climits>
#include <cstdint>
#include <string>

#include "link/trace.h"

namespace librato {

namespace {

constexpr std::int64_t kUnbuildable = -1;

std::int64_t Ceil(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

// Length in 64 bits so that a huge typed weight count cannot wrap;
// kUnbuildable when the scheme's divisor is not positive.
std::int64_t Length64(const PlanInputs& in) {
  const std::int64_t n = in.WeightCount;
  if (in.GroupCycle) {
    if (in.LoadInCycle < 1) return kUnbuildable;
    const std::int64_t g = n > 0 ? Ceil(n, in.LoadInCycle) : 0;
    return in.Depend ? 2 * n + 2 * g + 7 : 2 * n + 4 * g + 5;
  }
  const std::int64_t c = in.CyclesToWeight;
  const std::int64_t k = in.MethodABA ? 1 : 2;
  return in.Depend ? 2 * k * n * c + 2 * n * c + 7 : 2 * k * n * c + 4 * n * c + 5;
}

void Put(Plan& plan, ProcedureStep a, ProcedureStep b) {
  plan.push_back(a);
  plan.push_back(b);
}

}  // namespace

int PlanLength(const PlanInputs& in) {
  const std::int64_t len = Length64(in);
  if (len < 0 || len > INT_MAX) return 0;
  return static_cast<int>(len);
}

int TestWeightOfB(int b, const PlanInputs& in) {
  if (in.GroupCycle) return b;
  const int per = (in.MethodABA ? 1 : 2) * in.CyclesToWeight;
  if (per < 1 || b < 1) return b;
  return static_cast<int>(Ceil(b, per));
}

std::optional<Plan> BuildPlan(const PlanInputs& in, Trace& trace) {
  using S = ProcedureStep;
  trace.clear();
  trace.add(in.MethodABA ? "0" : "1");

  // No weight to test (or a scheme without cycles) has no placements; with
  // interdependent cycles the formulas would even leave entries unset.
  if (in.WeightCount < 1) return std::nullopt;
  if (!in.GroupCycle && in.CyclesToWeight < 1) return std::nullopt;
  const std::int64_t len64 = Length64(in);
  if (len64 < 0 || len64 > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(len64);
  const int n = in.WeightCount;

  Plan plan;
  plan.reserve(static_cast<std::size_t>(length));
  plan.push_back(S::WaitForReading);
  plan.push_back(S::ReadInitWeight);
  plan.push_back(S::WaitForTare);
  plan.push_back(S::WaitForClear);

  if (in.GroupCycle) {
    const int l = in.LoadInCycle;
    const int g = static_cast<int>(Ceil(n, l));
    trace.add("Weights: " + std::to_string(n));
    trace.add("LoadInCycle: " + std::to_string(l));
    trace.add("Steps: " + std::to_string(length));
    trace.add("Cycles: " + std::to_string(g));
    for (int j = 0; j < g; ++j) {
      Put(plan, S::WaitForA, S::WaitForClear);
      const int loads = j < g - 1 ? l : n - (g - 1) * l;
      for (int i = 0; i < loads; ++i) Put(plan, S::WaitForB, S::WaitForClear);
      if (!in.Depend || j == g - 1) Put(plan, S::WaitForA, S::WaitForClear);
    }
  } else {
    const int c = in.CyclesToWeight;
    trace.add("Steps: " + std::to_string(length));
    trace.add("Weights: " + std::to_string(n));
    for (int w = 1; w <= n; ++w) {
      for (int cy = 1; cy <= c; ++cy) {
        Put(plan, S::WaitForA, S::WaitForClear);
        Put(plan, S::WaitForB, S::WaitForClear);
        if (!in.MethodABA) Put(plan, S::WaitForB, S::WaitForClear);
        if (!in.Depend || (w == n && cy == c)) Put(plan, S::WaitForA, S::WaitForClear);
      }
    }
  }
  plan.push_back(S::Finish);

  std::string algo = "Algo: ";
  algo.reserve(algo.size() + 2 * plan.size());
  for (ProcedureStep s : plan) {
    algo += ' ';
    algo += static_cast<char>('0' + static_cast<int>(s));
  }
  trace.add(std::move(algo));
  return plan;
}

}  // namespace librato
