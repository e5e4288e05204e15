#include "results/results_row.h"

#include "link/mass_text.h"
#include "link/trace.h"

namespace librato {

void PrintToStrGridCur(ResultsTable& table, const MassText& mass, Trace& trace,
                       const RowInputs& in) {
  const int row = in.readingCount;
  // The first reading (always an A, no B yet) goes into the empty row 1.
  if (in.bCount >= 1) table.setRowCount(table.rowCount() + 1);
  // The row must exist even if the table was not cut back before the run.
  if (row >= table.rowCount()) table.setRowCount(row + 1);
  if (in.readingCount >= 5) table.scrollDown();

  table.setCell(ResultsTable::kNumber, row, std::to_string(in.readingCount));

  if (!in.DetermineSKO && in.rowLabel == "B" && in.NumbersEntered) {
    int w = 0;
    if (in.GroupCycle) {
      w = in.WeightCount < 2 ? 1 : in.bCount;
    } else {
      const int delitel = (in.MethodABA ? 1 : 2) * in.CyclesToWeight;
      trace.add("PrintToStrGridCur Bcount = " + std::to_string(in.bCount) +
                " delitel = " + std::to_string(delitel));
      w = delitel > 0 ? (in.bCount + delitel - 1) / delitel : in.bCount;
    }
    table.setCell(ResultsTable::kWeightNo, row, in.weightNumber ? in.weightNumber(w) : "");
  }
  if (in.DetermineSKO || in.rowLabel == "A")
    table.setCell(ResultsTable::kWeightNo, row, in.ReferenceNumber);

  table.setCell(ResultsTable::kLabel, row, in.rowLabel + std::to_string(in.rowNumber));
  table.setCell(ResultsTable::kTime, row, in.timeText);
  table.setCell(ResultsTable::kReading, row, FormatFixed(mass.decimals(), in.acceptedValue));
}

}  // namespace librato
