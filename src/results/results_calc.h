#pragma once
// The comparison results of a run, computed from the results table after each
// reference reading: the differences of the test weights against the
// reference, their means, conventional masses and deviations, and the
// standard deviations. All arithmetic is on integer counts read back from the
// table's texts, so every later step works on the value the operator sees.

#include <optional>
#include <string>

#include "results/results_table.h"

namespace librato {

class MassText;
class Trace;
struct SessionParameters;

// The run's choices the computations read.
struct CalcOptions {
  bool GroupCycle = true;
  bool MethodABA = true;
  bool Depend = true;
  int CyclesToWeight = 1;
  int LoadInCycle = 1;
  bool DetermineSKO = false;
  double RealMass = 0;     // conventional mass of the reference, g
  double NominalMass = 0;  // its nominal mass, g
};
CalcOptions CalcOptionsOf(const SessionParameters& params);

// The run state at the A row just written.
struct CalcRun {
  int lAp = 0;             // row of the previous A
  double lastAWeight = 0;  // the A reading just recorded, g
  int bCount = 0;          // test readings so far
  int aCount = 0;          // reference readings so far
};

// Differences of the cycle that the new A row (the table's last row) closes;
// in group cycles also the masses and deviations of its test weights.
// Throws ConversionError when a text does not convert; cells written up to
// that point stay.
void CalcMultiple(ResultsTable& table, const MassText& mass, Trace& trace, const CalcOptions& opt,
                  const CalcRun& run);

// What the window does with lblSKO after Calc.
struct SkoLabelUpdate {
  bool visible = false;
  // The new caption; none when it stays as it is.
  std::optional<std::string> caption;
};

// Individual cycles: differences, mean, mass, deviation and the standard
// deviation of the mean of every completed test weight, from the first one
// on. In all modes: the lblSKO rule. Throws ConversionError as CalcMultiple.
SkoLabelUpdate Calc(ResultsTable& table, const MassText& mass, Trace& trace, const CalcOptions& opt,
                    const CalcRun& run);

// The balance's standard deviation in grams from the differences (or, with
// several cycles per weight, the means) of all B rows; none when no B row
// holds a value yet.
std::optional<double> BalanceSko(const ResultsTable& table, const CalcOptions& opt);

// lblSKO's visibility after aCount reference readings.
bool SkoLabelVisible(const CalcOptions& opt, int aCount);

}  // namespace librato
