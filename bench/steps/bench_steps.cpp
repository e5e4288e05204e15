// Times every tick of the step machine over the largest plan the controls
// allow (100 weights, individual ABBA cycles, 10 per weight, independent:
// 8005 entries) in fake time with a silent sound sink, the real row writer
// and computations, and prints the heaviest tick. Goal: at most 2 ms.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/trace.h"
#include "procedure/step_machine.h"
#include "procedure/table_results.h"
#include "run_fakes.h"
#include "support/fake_clock.h"

using namespace librato;
using librato::testing::FakeClock;

namespace {

Plan LargestPlan(int weights, int cycles) {
  using S = ProcedureStep;
  Plan p = {S::WaitForReading, S::ReadInitWeight, S::WaitForTare, S::WaitForClear};
  for (int w = 0; w < weights; ++w)
    for (int c = 0; c < cycles; ++c)
      for (S s : {S::WaitForA, S::WaitForClear, S::WaitForB, S::WaitForClear, S::WaitForB,
                  S::WaitForClear, S::WaitForA, S::WaitForClear})
        p.push_back(s);
  p.push_back(S::Finish);
  return p;
}

struct RunTimes {
  std::vector<double> ms;            // per tick
  std::vector<ProcedureStep> steps;  // the step each tick ran
  std::size_t planLength = 0;
  int rows = 0;
  std::size_t traceLines = 0;
};

bool RunOnce(int weights, int cycles, bool computations, RunTimes& out) {
  FakeClock clock;
  AcquisitionShared shared;
  shared.liveDecimals = 4;
  testing::FakeRunView view;
  view.numbersOn = view.voiceOn = true;
  for (int i = 1; i <= weights; ++i) view.numbers[i] = "N" + std::to_string(i);
  testing::ScriptedDialogs dialogs;
  SilentSoundOutput sound;
  // Every name resolves, so every prompt goes through the sink.
  SoundResolver all = [](const std::string& rel) -> std::optional<std::string> { return rel; };
  Prompts prompts(view, sound, all, clock, shared);
  testing::FakeAcquisition acquisition;
  ResultsTable table;
  Trace trace;
  TableResults computed(table, shared, trace, clock, view, nullptr);
  testing::TableRows rowsOnly(table, shared);
  RunResults& rows = computations ? static_cast<RunResults&>(computed) : rowsOnly;
  StepMachine m({view, dialogs, prompts, clock, shared, acquisition, table, rows, trace});

  SessionParameters params;
  params.GroupCycle = false;
  params.MethodABA = false;
  params.Depend = false;
  params.CyclesToWeight = cycles;
  params.WeightCount = weights;
  params.NumbersEntered = true;
  params.RealMass = 100.00012;
  params.NominalMass = 100;
  view.setup = RunSetup{params, LargestPlan(weights, cycles)};
  const std::size_t planLength = view.setup.plan.size();
  m.btnStartClick();

  out.planLength = planLength;
  out.ms.reserve(planLength + 16);
  double weight = 100;
  while (m.stepTimerOn()) {
    // The balance follows the operator: weight on or off as the step asks.
    const ProcedureStep s = m.state().at(m.state().stepPos);
    double value = 0;
    switch (s) {
      case ProcedureStep::WaitForReading:
      case ProcedureStep::WaitForTare:
        value = 0;
        break;
      case ProcedureStep::ReadInitWeight:
        value = 100;
        break;
      case ProcedureStep::WaitForClear:
        value = -100;
        break;
      case ProcedureStep::WaitForA:
      case ProcedureStep::WaitForB:
        // Small differences, as a real comparison shows them.
        weight = s == ProcedureStep::WaitForB ? 0.0012 : (weight == 0 ? 0.0001 : 0);
        value = weight;
        break;
      case ProcedureStep::Finish:
        break;
    }
    clock.advanceMs(400);
    {
      std::lock_guard lock(shared.SnapshotLock);
      shared.liveValue = value;
      shared.accepted.acceptedValue = value;
      shared.accepted.acceptedInvalid = 0;
      shared.accepted.clearanceDigits = 100;
      shared.lastReadingTime = clock.now();
      shared.readingReady = true;
    }
    const auto t0 = std::chrono::steady_clock::now();
    m.Timer2Timer();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    out.ms.push_back(ms);
    out.steps.push_back(s);
  }
  out.rows = m.state().readingCount;
  out.traceLines = trace.lines().size();
  return m.outcome() == RunOutcome::Finished && out.rows > 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int weights = argc > 1 ? std::atoi(argv[1]) : 100;
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 10;
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 7;

  // The same run several times; each tick's time is the median over the
  // runs, so that a preemption by another process does not count as work.
  // First with rows only (the machine and its prompts), then with the real
  // row writer and computations.
  for (bool computations : {false, true}) {
    std::vector<RunTimes> runs(std::size_t(std::max(1, repeats)));
    for (auto& r : runs)
      if (!RunOnce(weights, cycles, computations, r)) {
        std::fprintf(stderr, "bench_steps: the run did not reach the plan's end\n");
        return 1;
      }
    const RunTimes& first = runs.front();
    std::vector<double> perTick(first.ms.size());
    double rawMax = 0;
    for (std::size_t i = 0; i < perTick.size(); ++i) {
      std::vector<double> v;
      for (const auto& r : runs) v.push_back(r.ms[i]);
      std::sort(v.begin(), v.end());
      perTick[i] = v[v.size() / 2];
      rawMax = std::max(rawMax, v.back());
    }
    const std::size_t worst =
        std::size_t(std::max_element(perTick.begin(), perTick.end()) - perTick.begin());
    std::vector<double> sorted = perTick;
    std::sort(sorted.begin(), sorted.end());
    const char* what = computations ? "with computations" : "rows only";
    std::printf("%s: plan %zu entries, %d rows, %zu ticks, trace %zu lines, %zu runs\n", what,
                first.planLength, first.rows, perTick.size(), first.traceLines, runs.size());
    std::printf("%s: tick median %.4f ms, p99 %.4f ms, slowest single tick %.4f ms\n", what,
                sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], rawMax);
    // The last A: its Calc goes over every weight of the run.
    std::size_t lastA = perTick.size() - 1;
    while (lastA > 0 && first.steps[lastA] != ProcedureStep::WaitForA) --lastA;
    std::printf("%s: last A tick %.4f ms\n", what, perTick[lastA]);
    std::printf("%s: heaviest tick %.4f ms (tick %zu, step code %d; goal 2 ms)\n", what,
                perTick[worst], worst, int(first.steps[worst]));
  }
  return 0;
}
