#pragma once
// The results table: nine text columns, row 0 the headings, row i the i-th
// reading of the run. It is the operator's view (the window's grid mirrors it
// through the listener) and the store that the computations and the protocol
// read back, so every value lives here as the text the operator sees.

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace librato {

class ResultsTable {
 public:
  static constexpr int kColumns = 9;
  enum Column {
    kNumber = 0,      // "№"
    kTime = 1,        // "Время"
    kLabel = 2,       // "A/B"
    kWeightNo = 3,    // "№ гири"
    kReading = 4,     // "Показания, г"
    kDifference = 5,  // "Xi (Xj), г"
    kMean = 6,        // "Ср.зн., г"
    kMass = 7,        // "Масса, г"
    kDeviation = 8,   // "Отклонение, г"
  };
  static const std::array<std::string, kColumns>& Headers();

  struct Change {
    enum Kind { Cell, RowCount, Scroll } kind;
    int col = 0;
    int row = 0;
  };
  using Listener = std::function<void(const Change&)>;

  // Headings in row 0 and one empty row below them.
  ResultsTable();

  int rowCount() const { return static_cast<int>(rows_.size()); }
  // Growing adds empty rows; shrinking drops the rows beyond (never row 0).
  void setRowCount(int n);
  const std::string& cell(int col, int row) const;
  void setCell(int col, int row, std::string text);

  // Empties every row from 1 on and cuts the table back to 2 rows; the
  // headings stay and the view scrolls back to the top.
  void clear();
  // Column 0 of row 1 holds a reading number.
  bool hasReading() const { return !cell(kNumber, 1).empty(); }

  // The first data row the view shows; moves down one row per new reading
  // from the fifth reading on.
  int topRow() const { return top_row_; }
  void scrollDown();

  void setListener(Listener listener) { listener_ = std::move(listener); }

 private:
  void notify(const Change& change) {
    if (listener_) listener_(change);
  }
  std::vector<std::array<std::string, kColumns>> rows_;
  int top_row_ = 1;
  Listener listener_;
};

}  // namespace librato
