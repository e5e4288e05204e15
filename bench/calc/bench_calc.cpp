// Times the computations after each reference reading of the longest run the
// controls allow in individual ABBA cycles: 100 weights, 10 cycles each, not
// interdependent, 4000 rows. Each A row's CalcMultiple + Calc is timed on its
// own (the trace gets every line, as in the program); the last line gives the
// heaviest of them.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <utility>
#include <vector>

#include "link/trace.h"
#include "procedure/plan.h"
#include "support/results_sequence.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of this thread: what the computation itself costs, without the
// time the shared machine gives to other processes in between.
double ThreadCpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

struct RunFigures {
  double heaviestUs = 0;  // thread CPU time
  int heaviestRow = 0;
  double heaviestWallUs = 0;
  double totalComputeUs = 0;
  int aRows = 0;
  int rows = 0;
  std::size_t traceLines = 0;
};

// `trace`: the program's one trace; the plan builder empties it at every
// start, so from the second run on it keeps the storage of the runs before.
RunFigures OneRun(unsigned seed, librato::Trace& trace) {
  librato::PlanInputs in;
  in.GroupCycle = false;
  in.MethodABA = false;
  in.Depend = false;
  in.CyclesToWeight = 10;
  in.WeightCount = 100;
  librato::CalcOptions opt;
  opt.GroupCycle = false;
  opt.MethodABA = false;
  opt.Depend = false;
  opt.CyclesToWeight = 10;
  opt.RealMass = 100.00012;
  opt.NominalMass = 100.0;
  librato::testing::ResultsSequence s(*librato::BuildPlan(in, trace), opt, 4, 100);
  s.trace = std::move(trace);

  // Readings of a 4-decimal balance: the reference near 100 g, the test
  // weights a milligram or so heavier, a few display steps of scatter.
  std::mt19937 rng(seed);
  std::normal_distribution<double> scatter(0.0, 0.0002);
  Clock::time_point t0;
  double cpu0 = 0;
  RunFigures f;
  s.beforeCompute = [&] {
    cpu0 = ThreadCpuUs();
    t0 = Clock::now();
  };
  s.afterCompute = [&] {
    const double wall = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    const double us = ThreadCpuUs() - cpu0;
    f.heaviestWallUs = std::max(f.heaviestWallUs, wall);
    f.totalComputeUs += us;
    ++f.aRows;
    if (us > f.heaviestUs) {
      f.heaviestUs = us;
      f.heaviestRow = s.readingCount;
    }
  };
  while (true) {
    const librato::ProcedureStep next = s.nextPlacement();
    if (next == librato::ProcedureStep::Finish) break;
    const double base = next == librato::ProcedureStep::WaitForA ? 100.0 : 100.0012;
    const double r = std::round((base + scatter(rng)) * 1e4) / 1e4;
    s.place(r);
  }
  f.rows = s.table.rowCount() - 1;
  f.traceLines = s.trace.lines().size();
  trace = std::move(s.trace);
  return f;
}

}  // namespace

int main() {
  constexpr int kRuns = 7;
  std::vector<double> heaviest;
  librato::Trace trace;
  double firstRun = 0;
  for (int run = 0; run < kRuns; ++run) {
    const RunFigures f = OneRun(1234u + static_cast<unsigned>(run), trace);
    std::printf(
        "run %d: %d rows, %d A rows, trace %zu lines, computations %.0f us in all, mean %.1f us, "
        "heaviest %.1f us CPU (at row %d), heaviest wall time %.1f us\n",
        run + 1, f.rows, f.aRows, f.traceLines, f.totalComputeUs, f.totalComputeUs / f.aRows,
        f.heaviestUs, f.heaviestRow, f.heaviestWallUs);
    if (run == 0)
      firstRun = f.heaviestUs;
    else
      heaviest.push_back(f.heaviestUs);
  }
  std::sort(heaviest.begin(), heaviest.end());
  std::printf(
      "first run of the program (the trace grows from empty; its storage doubles on the way): "
      "heaviest %.1f us\n",
      firstRun);
  std::printf(
      "later runs (trace emptied at start, storage kept): heaviest per run: min %.1f us, median "
      "%.1f us, max %.1f us (goal <= 1000 us)\n",
      heaviest.front(), heaviest[heaviest.size() / 2], heaviest.back());
  std::printf("heaviest A-row computation at 4000 rows: %.0f us\n", heaviest[heaviest.size() / 2]);
  return 0;
}
