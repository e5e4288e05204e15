#pragma once
// Writing the row of a new reading into the results table.

#include <functional>
#include <string>

#include "results/results_table.h"

namespace librato {

class MassText;
class Trace;

// Everything the row of one reading is made from, as the step routine has
// just updated it.
struct RowInputs {
  int readingCount = 0;      // the row to write
  int aCount = 0;            // reference readings so far
  int bCount = 0;            // test readings so far
  std::string rowLabel;      // "A" or "B"
  int rowNumber = 0;         // written after the label
  double acceptedValue = 0;  // grams
  std::string timeText;      // local time of the row, long time format
  std::string ReferenceNumber;
  bool DetermineSKO = false;
  bool NumbersEntered = false;
  bool GroupCycle = true;
  bool MethodABA = true;
  int CyclesToWeight = 1;
  int WeightCount = 0;
  // Number text of test weight w (from 1) in the numbers dialog; empty when
  // the weight has none.
  std::function<std::string(int w)> weightNumber;
};

// Writes row readingCount: grows the table after the first reading, scrolls
// it from the fifth reading on, fills columns 0 to 4 (the reading with the
// balance's decimals).
void PrintToStrGridCur(ResultsTable& table, const MassText& mass, Trace& trace,
                       const RowInputs& in);

}  // namespace librato
