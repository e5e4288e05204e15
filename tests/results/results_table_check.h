#pragma once
// Expected rows of a computed results table, written out by hand in the
// tests, and their comparison with the table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/results_table.h"

namespace librato::testing {

// Columns "A/B", "Показания, г", "Xi (Xj), г", "Ср.зн., г", "Масса, г",
// "Отклонение, г" of one row.
struct ExpectedRow {
  std::string label, reading, x, mean, mass, dev;
};

inline void ExpectTable(const ResultsTable& t, const std::vector<ExpectedRow>& rows) {
  ASSERT_EQ(t.rowCount(), static_cast<int>(rows.size()) + 1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int r = static_cast<int>(i) + 1;
    const ExpectedRow& e = rows[i];
    SCOPED_TRACE("row " + std::to_string(r));
    EXPECT_EQ(t.cell(ResultsTable::kNumber, r), std::to_string(r));
    EXPECT_EQ(t.cell(ResultsTable::kLabel, r), e.label);
    EXPECT_EQ(t.cell(ResultsTable::kReading, r), e.reading);
    EXPECT_EQ(t.cell(ResultsTable::kDifference, r), e.x);
    EXPECT_EQ(t.cell(ResultsTable::kMean, r), e.mean);
    EXPECT_EQ(t.cell(ResultsTable::kMass, r), e.mass);
    EXPECT_EQ(t.cell(ResultsTable::kDeviation, r), e.dev);
  }
}

}  // namespace librato::testing
