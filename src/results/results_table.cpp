#include "results_table.h"

#include <stdexcept>

namespace librato {

const std::array<std::string, ResultsTable::kColumns>& ResultsTable::Headers() {
  static const std::array<std::string, kColumns> headers = {
      "№", "Время", "A/B", "№ гири", "Показания, г", "Xi (Xj), г", "Ср.зн., г", "Масса, г",
      "Отклонение, г"};
  return headers;
}

ResultsTable::ResultsTable() : rows_(2) { rows_[0] = Headers(); }

void ResultsTable::setRowCount(int n) {
  if (n < 1) n = 1;
  rows_.resize(static_cast<std::size_t>(n));
  notify({Change::RowCount, 0, n});
}

const std::string& ResultsTable::cell(int col, int row) const {
  if (col < 0 || col >= kColumns || row < 0 || row >= rowCount())
    throw std::out_of_range("results table cell (" + std::to_string(col) + ", " +
                            std::to_string(row) + ") out of range");
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void ResultsTable::setCell(int col, int row, std::string text) {
  if (col < 0 || col >= kColumns || row < 0 || row >= rowCount())
    throw std::out_of_range("results table cell (" + std::to_string(col) + ", " +
                            std::to_string(row) + ") out of range");
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = std::move(text);
  notify({Change::Cell, col, row});
}

void ResultsTable::clear() {
  for (std::size_t r = 1; r < rows_.size(); ++r) rows_[r] = {};
  rows_.resize(2);
  top_row_ = 1;
  notify({Change::RowCount, 0, 2});
  notify({Change::Scroll, 0, top_row_});
}

void ResultsTable::scrollDown() {
  ++top_row_;
  notify({Change::Scroll, 0, top_row_});
}

}  // namespace librato
