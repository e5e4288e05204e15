#pragma once
// Walks a plan the way a run calls the results code: every A or B placement
// after the preparation takes the next reading, updates the counters as the
// placing steps do, writes the row, and after an A row runs CalcMultiple and
// Calc under the same conditions as the step routine. For tests and the
// benchmark; the step machine does this for real.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/mass_text.h"
#include "link/trace.h"
#include "procedure/session.h"
#include "results/results_calc.h"
#include "results/results_row.h"
#include "results/results_table.h"

namespace librato::testing {

class ResultsSequence {
 public:
  ResultsSequence(Plan plan, CalcOptions opt, int decimals, int weightCount)
      : plan_(std::move(plan)), opt_(opt), mass_(decimals, &trace), weightCount_(weightCount) {}

  // Row inputs that do not come from the counters.
  std::string referenceNumber = "R1";
  bool numbersEntered = false;
  std::vector<std::string> weightNumbers;  // weight w has weightNumbers[w - 1]
  std::string timeText = "12:00:00";
  int lAp = 0;  // not reset per run

  // Around the computations of each A row (CalcMultiple and Calc), for timing.
  std::function<void()> beforeCompute, afterCompute;

  ResultsTable table;
  Trace trace;
  // lblSKO as the window would show it (emptied when the plan was built).
  bool skoVisible = false;
  std::string skoCaption;
  int calcCalls = 0, calcMultipleCalls = 0;

  int readingCount = 0, aCount = 0, bCount = 0;

  // Number of placements in the plan.
  std::size_t placements() const {
    std::size_t n = 0;
    for (ProcedureStep s : plan_) n += s == ProcedureStep::WaitForA || s == ProcedureStep::WaitForB;
    return n;
  }

  // The code of the next placement (WaitForA or WaitForB), Finish at the end.
  ProcedureStep nextPlacement() {
    while (pos_ < plan_.size() && plan_[pos_] != ProcedureStep::WaitForA &&
           plan_[pos_] != ProcedureStep::WaitForB && plan_[pos_] != ProcedureStep::Finish)
      ++pos_;
    return pos_ < plan_.size() ? plan_[pos_] : ProcedureStep::Finish;
  }

  // Records one placement with its reading; false when the plan has none left.
  bool place(double reading) {
    const ProcedureStep step = nextPlacement();
    if (step == ProcedureStep::Finish) return false;
    readingCount += 1;
    std::string label;
    int number = 0;
    if (step == ProcedureStep::WaitForA) {
      aCount += 1;
      lastAWeight_ = reading;
      label = "A";
      number = aCount;
    } else {
      bCount += 1;
      label = "B";
      number = bCount;
    }
    writeRow(label, number, reading);
    if (step == ProcedureStep::WaitForA) computeAfterA();
    ++pos_;
    return true;
  }

  // The whole run; the readings must match the plan's placements.
  void run(const std::vector<double>& readings) {
    if (readings.size() != placements())
      throw std::invalid_argument("readings do not match the plan's placements");
    for (double r : readings) place(r);
  }

  const MassText& mass() const { return mass_; }

 private:
  void writeRow(const std::string& label, int number, double reading) {
    RowInputs in;
    in.readingCount = readingCount;
    in.aCount = aCount;
    in.bCount = bCount;
    in.rowLabel = label;
    in.rowNumber = number;
    in.acceptedValue = reading;
    in.timeText = timeText;
    in.ReferenceNumber = referenceNumber;
    in.DetermineSKO = opt_.DetermineSKO;
    in.NumbersEntered = numbersEntered;
    in.GroupCycle = opt_.GroupCycle;
    in.MethodABA = opt_.MethodABA;
    in.CyclesToWeight = opt_.CyclesToWeight;
    in.WeightCount = weightCount_;
    in.weightNumber = [this](int w) {
      return w >= 1 && static_cast<std::size_t>(w) <= weightNumbers.size()
                 ? weightNumbers[static_cast<std::size_t>(w) - 1]
                 : std::string();
    };
    PrintToStrGridCur(table, mass_, trace, in);
  }

  void computeAfterA() {
    CalcRun run;
    run.lAp = lAp;
    run.lastAWeight = lastAWeight_;
    run.bCount = bCount;
    run.aCount = aCount;
    if (beforeCompute) beforeCompute();
    const int rows = table.rowCount();
    if (lAp != 0 && lAp < rows - 2) {
      ++calcMultipleCalls;
      CalcMultiple(table, mass_, trace, opt_, run);
    }
    const int perWeight = (opt_.MethodABA ? 1 : 2) * opt_.CyclesToWeight;
    const bool last = pos_ + 2 < plan_.size() ? plan_[pos_ + 2] == ProcedureStep::Finish : true;
    if (last || (perWeight != 0 && bCount % perWeight == 0)) {
      ++calcCalls;
      const SkoLabelUpdate u = Calc(table, mass_, trace, opt_, run);
      skoVisible = u.visible;
      if (u.caption) skoCaption = *u.caption;
    }
    if (afterCompute) afterCompute();
    lAp = table.rowCount() - 1;
  }

  Plan plan_;
  CalcOptions opt_;
  MassText mass_;
  int weightCount_;
  std::size_t pos_ = 0;
  double lastAWeight_ = 0;
};

}  // namespace librato::testing
