#include "procedure/table_results.h"

#include "link/acquisition.h"
#include "link/clock.h"
#include "link/mass_text.h"
#include "link/trace.h"
#include "results/results_calc.h"
#include "results/results_row.h"
#include "results/results_table.h"

namespace librato {

namespace {

CalcRun CalcRunOf(const RunState& run) {
  CalcRun r;
  r.lAp = run.lAp;
  r.lastAWeight = run.lastAWeight;
  r.bCount = run.bCount;
  r.aCount = run.aCount;
  return r;
}

}  // namespace

TableResults::TableResults(ResultsTable& table, const AcquisitionShared& shared, Trace& trace,
                           Clock& clock, const PromptView& numbers, SkoLabelSink skoLabel)
    : table_(table),
      shared_(shared),
      trace_(trace),
      clock_(clock),
      numbers_(numbers),
      skoLabel_(std::move(skoLabel)) {}

void TableResults::PrintToStrGridCur(const RunState& run, const SessionParameters& params,
                                     double acceptedValue) {
  RowInputs in;
  in.readingCount = run.readingCount;
  in.aCount = run.aCount;
  in.bCount = run.bCount;
  in.rowLabel = run.rowLabel;
  in.rowNumber = run.rowNumber;
  in.acceptedValue = acceptedValue;
  in.timeText = LongTimeText(clock_.now());
  in.ReferenceNumber = params.ReferenceNumber;
  in.DetermineSKO = params.DetermineSKO;
  in.NumbersEntered = numbers_.numbersEntered();
  in.GroupCycle = params.GroupCycle;
  in.MethodABA = params.MethodABA;
  in.CyclesToWeight = params.CyclesToWeight;
  in.WeightCount = params.WeightCount;
  in.weightNumber = [this](int w) { return numbers_.weightNumber(w); };
  librato::PrintToStrGridCur(table_, MassText(shared_.liveDecimals.load(), &trace_), trace_, in);
}

void TableResults::CalcMultiple(const RunState& run, const SessionParameters& params) {
  librato::CalcMultiple(table_, MassText(shared_.liveDecimals.load(), &trace_), trace_,
                        CalcOptionsOf(params), CalcRunOf(run));
}

void TableResults::Calc(const RunState& run, const SessionParameters& params) {
  SkoLabelUpdate update = librato::Calc(table_, MassText(shared_.liveDecimals.load(), &trace_),
                                        trace_, CalcOptionsOf(params), CalcRunOf(run));
  if (skoLabel_) skoLabel_(update.visible, update.caption);
}

}  // namespace librato
