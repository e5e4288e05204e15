#pragma once
// The step machine's rows and computations on the window's results table,
// through the results library.

#include <functional>
#include <optional>
#include <string>

#include "procedure/step_machine.h"

namespace librato {

class ResultsTable;
class Trace;
class Clock;
struct AcquisitionShared;

class TableResults final : public RunResults {
 public:
  // What the window shows of the standard deviation after each Calc.
  using SkoLabelSink = std::function<void(bool visible, const std::optional<std::string>& caption)>;

  TableResults(ResultsTable& table, const AcquisitionShared& shared, Trace& trace, Clock& clock,
               const PromptView& numbers, SkoLabelSink skoLabel);

  void PrintToStrGridCur(const RunState& run, const SessionParameters& params,
                         double acceptedValue) override;
  void CalcMultiple(const RunState& run, const SessionParameters& params) override;
  void Calc(const RunState& run, const SessionParameters& params) override;

 private:
  ResultsTable& table_;
  const AcquisitionShared& shared_;
  Trace& trace_;
  Clock& clock_;
  const PromptView& numbers_;
  SkoLabelSink skoLabel_;
};

}  // namespace librato
