#pragma once
// Number routines: every mass that is shown, tabled or compared passes through
// these, so that the number of decimals always follows what the balance shows.
//
// Two representations: texts with a decimal comma (usually one decimal more
// than the balance shows), and integer counts read from such texts with the
// comma removed: fine counts (1/100 of the display step) and tenth counts
// (1/10 of the display step). Counts are 64-bit: a 4-decimal balance loaded
// with more than 2147 g would overflow 32 bits.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace librato {

class Trace;

// A text that does not read as a number of the required kind.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fixed-point text with exactly n decimals (n < 0 counts as 0), rounded to the
// nearest, at most n + 7 significant digits, comma as the decimal separator.
std::string FormatFixed(int n, double value);

// Reads a decimal number typed by the operator or stored in a cell: optional
// blanks around it, optional sign, digits with "," or "." as the separator,
// optional exponent. False when the whole text is not such a number.
bool ParseDecimal(std::string_view text, double& value);

// The routines that depend on the balance's resolution d (its liveDecimals,
// -1 before the first reading of the program). Callers take d once per
// computation and pass it here, so every call of one computation agrees.
class MassText {
 public:
  MassText(int decimals, Trace* trace)
      : d_(decimals), trace_(trace), trace_line_("GetLong prec = " + std::to_string(decimals)) {}

  int decimals() const { return d_; }

  // precise: d + 1 decimals (6 while no reading has come); otherwise six
  // decimals with trailing zeros and a trailing separator removed.
  std::string FormatMass(bool precise, double value) const;

  // Count of a comma text: extra = 2 gives fine counts (10^-(d+2) g) of a text
  // with d or d + 1 decimals, extra = 0 gives tenth counts (10^-(d+1) g) of a
  // text with d + 1 decimals. Digits beyond d + extra + 1 are cut, not rounded.
  // Appends "GetLong prec = <d>" to the trace. Throws ConversionError.
  std::int64_t GetLong(std::string_view text, int extra = 2) const;

  // Text with d + 1 decimals of a count: n = 2 for fine counts (divided by 10,
  // halves away from zero), n = 0 for tenth counts (unchanged in value).
  std::string LongToText(std::int64_t count, int n = 2) const;

  // Convenience: a mass in fine counts, GetLong(FormatMass(true, value)).
  std::int64_t FineCounts(double value) const { return GetLong(FormatMass(true, value)); }

 private:
  int d_;
  Trace* trace_;
  std::string trace_line_;  // made once: a heavy computation writes it thousands of times
};

}  // namespace librato
