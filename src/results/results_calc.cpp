#include "results/results_calc.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "link/mass_text.h"
#include "link/trace.h"
#include "procedure/session.h"

namespace librato {

namespace {

using Count = std::int64_t;
using Col = ResultsTable::Column;

// The count helpers of the computations: fine counts (1/100 of the display
// step) of a reading or a result text, tenth counts of a result text, and
// back to texts with d + 1 decimals.
class Counts {
 public:
  Counts(ResultsTable& table, const MassText& mass) : table_(table), mass_(mass) {}

  Count fine(int col, int row) const { return mass_.GetLong(table_.cell(col, row)); }
  Count tenth(int col, int row) const { return mass_.GetLong(table_.cell(col, row), 0); }
  Count fineText(const std::string& text) const { return mass_.GetLong(text); }
  Count tenthText(const std::string& text) const { return mass_.GetLong(text, 0); }
  void show(int col, int row, Count c) { write(col, row, mass_.LongToText(c)); }
  void show0(int col, int row, Count c) { write(col, row, mass_.LongToText(c, 0)); }
  // Calc rewrites every completed weight with the same texts; a cell whose
  // text does not change is left alone, so the window repaints only news.
  void write(int col, int row, std::string text) {
    if (table_.cell(col, row) != text) table_.setCell(col, row, std::move(text));
  }

  // The reference's conventional and nominal masses in tenth counts, rounded
  // to d + 1 decimals; taken afresh at every use.
  Count ref(const CalcOptions& opt) const {
    return tenthText(mass_.FormatMass(true, opt.RealMass));
  }
  Count nom(const CalcOptions& opt) const {
    return tenthText(mass_.FormatMass(true, opt.NominalMass));
  }

  const MassText& mass() const { return mass_; }
  ResultsTable& table() { return table_; }

 private:
  ResultsTable& table_;
  const MassText& mass_;
};

Count Half(Count v) { return v / 2; }

// Decimal digits of v appended to `out`, without a temporary string.
template <typename Int>
void AppendNumber(std::string& out, Int v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

bool IsARow(const ResultsTable& table, int row) {
  const std::string& label = table.cell(Col::kLabel, row);
  return !label.empty() && label[0] == 'A';
}

bool IsBRow(const ResultsTable& table, int row) {
  const std::string& label = table.cell(Col::kLabel, row);
  return !label.empty() && label[0] == 'B';
}

// Mass and deviation of a test weight from its difference or mean cell.
void WriteMassAndDeviation(Counts& c, const CalcOptions& opt, int fromCol, int row) {
  const Count m = c.ref(opt) + c.tenth(fromCol, row);
  c.show0(Col::kMass, row, m);
  const Count dev = c.tenth(Col::kMass, row) - c.nom(opt);
  c.show0(Col::kDeviation, row, dev);
}

// Standard deviation of a weight's mean over its C cycles, appended to the
// mass cell of its last test row.
void AppendWeightSko(Counts& c, Trace& trace, const CalcOptions& opt, int last) {
  const int cycles = opt.CyclesToWeight;
  const Count mean = c.fine(Col::kMean, last);
  const int jump = 2 + (opt.MethodABA ? 0 : 1) + (opt.Depend ? 0 : 1);
  trace.add("SKO jump = " + std::to_string(jump));
  std::string line;
  line.reserve(80);
  // 64 bits: a 32-bit sum wraps with ten cycles of differences that stray by
  // some 20000 counts, and would give a plainly wrong deviation.
  std::uint64_t sum = 0;
  for (int r = last - (cycles - 1) * jump; r <= last; r += jump) {
    const Count dif = c.fine(Col::kDifference, r) - mean;
    const Count xi = c.fine(Col::kDifference, r);
    const std::uint64_t mag = static_cast<std::uint64_t>(dif < 0 ? -dif : dif);
    std::uint64_t sqr = 0;
    if (__builtin_mul_overflow(mag, mag, &sqr))
      throw ConversionError("Переполнение при вычислении СКО");
    line.assign("SKO Sdif = ");
    AppendNumber(line, sum);
    line += "; j = ";
    AppendNumber(line, r);
    line += "; Xi = ";
    AppendNumber(line, xi);
    line += "; sqr = ";
    AppendNumber(line, sqr);
    trace.add(line);
    if (__builtin_add_overflow(sum, sqr, &sum))
      throw ConversionError("Переполнение при вычислении СКО");
  }
  const std::uint64_t n =
      static_cast<std::uint64_t>(cycles - 1) * static_cast<std::uint64_t>(cycles);
  trace.add("SKO final Sdif = " + std::to_string(sum) + "; n/(n-1) = " + std::to_string(n));
  const std::uint64_t v = sum / n;
  // Integer square root, truncated: the double estimate corrected by one
  // either way where it is off.
  auto s = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(v)));
  while (s > 0 && s > v / s) --s;
  while ((s + 1) <= v / (s + 1)) ++s;
  std::string text = c.table().cell(Col::kMass, last);
  text += " СКО=";
  text += c.mass().LongToText(static_cast<Count>(s));
  text += " г";
  c.write(Col::kMass, last, std::move(text));
}

// The first A row below `row`; row count when there is none (its cells then
// read as empty texts, which the conversion refuses).
int NextARow(const ResultsTable& table, int row) {
  const int rows = table.rowCount();
  for (int r = row + 1; r < rows; ++r)
    if (IsARow(table, r)) return r;
  return rows;
}

Count FineReadingOrFail(const Counts& c, const ResultsTable& table, int row) {
  if (row >= table.rowCount()) return c.fineText(std::string());
  return c.fine(Col::kReading, row);
}

}  // namespace

CalcOptions CalcOptionsOf(const SessionParameters& p) {
  CalcOptions o;
  o.GroupCycle = p.GroupCycle;
  o.MethodABA = p.MethodABA;
  o.Depend = p.Depend;
  o.CyclesToWeight = p.CyclesToWeight;
  o.LoadInCycle = p.LoadInCycle;
  o.DetermineSKO = p.DetermineSKO;
  o.RealMass = p.RealMass;
  o.NominalMass = p.NominalMass;
  return o;
}

void CalcMultiple(ResultsTable& table, const MassText& mass, Trace& trace, const CalcOptions& opt,
                  const CalcRun& run) {
  trace.add("CalcMultiple");
  Counts c(table, mass);
  const Count an = c.fine(Col::kReading, run.lAp);
  const Count ak = c.fineText(mass.FormatMass(true, run.lastAWeight));
  if (opt.GroupCycle) {
    const int lastB = table.rowCount() - 2;
    for (int r = run.lAp + 1; r <= lastB; ++r) {
      trace.add("CM");
      const Count x = c.fine(Col::kReading, r) - Half(an + ak);
      c.show(Col::kDifference, r, x);
      if (!opt.DetermineSKO) WriteMassAndDeviation(c, opt, Col::kDifference, r);
    }
  } else if (opt.MethodABA) {
    const int b = run.lAp + 1;
    const Count x = c.fine(Col::kReading, b) - Half(an + ak);
    c.show(Col::kDifference, b, x);
  } else {
    const int b1 = run.lAp + 1, b2 = run.lAp + 2;
    const Count x = Half((c.fine(Col::kReading, b1) - an) + (c.fine(Col::kReading, b2) - ak));
    c.show(Col::kDifference, b2, x);
  }
}

SkoLabelUpdate Calc(ResultsTable& table, const MassText& mass, Trace& trace, const CalcOptions& opt,
                    const CalcRun& run) {
  trace.add("Calc");
  Counts c(table, mass);
  const int k = opt.MethodABA ? 1 : 2;
  const int cycles = opt.CyclesToWeight;
  const int perWeight = k * cycles;
  if (!opt.GroupCycle && perWeight > 0) {
    const int weights = run.bCount / perWeight;
    std::string line;
    for (int w = 0; w < weights; ++w) {
      const int first = opt.Depend ? (k + 1) * cycles * w + 1 : (k + 2) * cycles * w + 1;
      const int last = opt.Depend ? (k + 1) * cycles * (w + 1) : (k + 2) * cycles * (w + 1) - 1;
      Count sum = 0, n = 0, an = 0, ak = 0;
      for (int j = first; j <= last; ++j) {
        if (IsARow(table, j)) {
          trace.add("Calc1");
          an = c.fine(Col::kReading, j);
          ak = FineReadingOrFail(c, table, NextARow(table, j));
          continue;
        }
        line.assign("Calc3 ");
        line += table.cell(Col::kReading, j);
        trace.add(line);
        Count x = 0;
        if (k == 1) {
          x = c.fine(Col::kReading, j) - Half(an + ak);
        } else {
          x = Half(c.fine(Col::kReading, j) + c.fine(Col::kReading, j + 1) - (an + ak));
          ++j;
        }
        c.show(Col::kDifference, j, x);
        const Count shown = c.fine(Col::kDifference, j);
        trace.add("Calc4");
        sum += shown;
        ++n;
        if (j == last) {
          c.show(Col::kMean, last, sum / n);
          if (opt.DetermineSKO) continue;
          WriteMassAndDeviation(c, opt, Col::kMean, last);
          if (cycles > 1) AppendWeightSko(c, trace, opt, last);
        }
      }
    }
  }

  SkoLabelUpdate label;
  label.visible = SkoLabelVisible(opt, run.aCount);
  if (opt.DetermineSKO && run.bCount > 1) {
    // No B row holds a value yet (the run stopped before the A closing the
    // first cycles): the caption stays as it is.
    if (const auto sko = BalanceSko(table, opt))
      label.caption = "СКО = " + mass.FormatMass(true, *sko) + " г";
  }
  return label;
}

std::optional<double> BalanceSko(const ResultsTable& table, const CalcOptions& opt) {
  const int col = (!opt.GroupCycle && opt.CyclesToWeight > 1) ? Col::kMean : Col::kDifference;
  double sum = 0;
  std::int64_t n = 0;
  const int rows = table.rowCount();
  for (int r = 1; r < rows; ++r) {
    if (!IsBRow(table, r) || table.cell(col, r).empty()) continue;
    double v = 0;
    if (!ParseDecimal(table.cell(col, r), v))
      throw ConversionError("«" + table.cell(col, r) + "» не является числом");
    sum += v;
    ++n;
  }
  if (n == 0) return std::nullopt;
  const double mean = sum / static_cast<double>(n);
  double q = 0;
  for (int r = 1; r < rows; ++r) {
    if (!IsBRow(table, r) || table.cell(col, r).empty()) continue;
    double v = 0;
    ParseDecimal(table.cell(col, r), v);
    q += (v - mean) * (v - mean);
  }
  if (n == 1) return q;
  return std::sqrt(q / static_cast<double>(n - 1));
}

bool SkoLabelVisible(const CalcOptions& opt, int aCount) {
  if (!opt.GroupCycle) return aCount >= opt.CyclesToWeight + 1;
  return (opt.LoadInCycle == 1 && aCount >= 3) || (opt.LoadInCycle >= 2 && aCount >= 2);
}

}  // namespace librato
