#include "mass_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "trace.h"

namespace librato {

namespace {

// Rounds the digits of a fixed text to `sig` significant digits (only needed
// for magnitudes of 10^7 and more; masses never get there).
std::string LimitSignificant(double value, int decimals, int sig) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                 sig - 1);
  if (ec != std::errc()) return {};
  std::string s(buf, end);  // [-]d.ddde+XX
  const auto epos = s.find('e');
  const int exp = std::atoi(s.c_str() + epos + 1);
  std::string sign = s[0] == '-' ? "-" : "";
  std::string digits;
  for (std::size_t i = sign.size(); i < epos; ++i)
    if (s[i] != '.') digits += s[i];
  // digits represent d.ddd * 10^exp; place the decimal point.
  const int int_len = exp + 1;
  std::string int_part, frac_part;
  if (int_len <= 0) {
    int_part = "0";
    frac_part = std::string(static_cast<std::size_t>(-int_len), '0') + digits;
  } else if (static_cast<std::size_t>(int_len) >= digits.size()) {
    int_part = digits + std::string(int_len - digits.size(), '0');
  } else {
    int_part = digits.substr(0, int_len);
    frac_part = digits.substr(int_len);
  }
  frac_part.resize(static_cast<std::size_t>(decimals), '0');
  return sign + int_part + (decimals > 0 ? "," + frac_part : "");
}

bool AllZeroDigits(const std::string& s) {
  return std::none_of(s.begin(), s.end(), [](char c) { return c >= '1' && c <= '9'; });
}

}  // namespace

std::string FormatFixed(int n, double value) {
  n = std::clamp(n, 0, 18);
  if (!std::isfinite(value)) value = 0.0;
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, n);
  std::string s = ec == std::errc() ? std::string(buf, end) : std::string("0");
  std::size_t sig = 0;
  bool leading = true;
  for (char c : s) {
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++sig;
  }
  if (sig > static_cast<std::size_t>(n + 7)) {
    s = LimitSignificant(value, n, n + 7);
  } else {
    std::replace(s.begin(), s.end(), '.', ',');
  }
  // A value that rounds to zero is shown without a sign.
  if (!s.empty() && s[0] == '-' && AllZeroDigits(s)) s.erase(0, 1);
  return s;
}

bool ParseDecimal(std::string_view text, double& value) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  std::string s(text.substr(b, e - b));
  if (s.empty()) return false;
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::size_t digits = 0, seps = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == ',' || c == '.') {
      if (++seps > 1) return false;
      s[i] = '.';
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return false;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++exp_digits;
    if (exp_digits == 0 || i != s.size()) return false;
  }
  const char* first = s.c_str();
  if (*first == '+') ++first;
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, s.c_str() + s.size(), v);
  if (ec != std::errc() || ptr != s.c_str() + s.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string MassText::FormatMass(bool precise, double value) const {
  // d = 0 is a real resolution (a balance without decimals): one decimal more,
  // like every other resolution. Only "no reading yet" falls back to six.
  const int p = (precise && d_ >= 0) ? d_ + 1 : 6;
  std::string text = FormatFixed(p, value);
  if (!precise && text.find_first_of(".,") != std::string::npos) {
    std::size_t i = text.size() - 1;
    while (i > 0 && text[i] == '0') --i;
    if (text[i] == '.' || text[i] == ',') {
      text.resize(i);
    } else {
      text.resize(i + 1);
    }
  }
  return text;
}

std::int64_t MassText::GetLong(std::string_view text, int extra) const {
  if (trace_) trace_->add(trace_line_);
  std::string s(text);
  if (s.empty()) throw ConversionError("«» не является целым числом");
  const auto comma = s.find(',');
  if (comma != std::string::npos) {
    const std::size_t c = comma + 1;  // 1-based position of the comma
    const long long keep = static_cast<long long>(c) + d_ + extra + 1;
    if (keep >= 0 && static_cast<long long>(s.size()) > keep) s.resize(static_cast<std::size_t>(keep));
    while (static_cast<long long>(s.size() - c) < d_ + extra) s += '0';
    s.erase(comma, 1);
  } else {
    // A text without a comma has no decimals: all its digits are whole units.
    for (int i = 0; i < d_ + extra; ++i) s += '0';
  }
  const char* first = s.c_str();
  const char* last = first + s.size();
  if (first != last && *first == '+') ++first;
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v);
  if (s.empty() || ec != std::errc() || ptr != last) {
    throw ConversionError("«" + std::string(text) + "» не является целым числом");
  }
  return v;
}

std::string MassText::LongToText(std::int64_t count, int n) const {
  std::int64_t m = 1;
  for (int i = 1; i < n; ++i) m *= 10;
  std::int64_t q = count;
  if (m > 1) {
    q = count / m;
    const std::int64_t r = std::llabs(count - q * m);
    if (r >= m / 2) q += count >= 0 ? 1 : -1;
  }
  std::string text = std::to_string(q);
  const std::size_t sign = (!text.empty() && text[0] == '-') ? 1 : 0;
  const int want = d_ + 1;
  if (want <= 0) return text;
  while (static_cast<int>(text.size() - sign) < want) text.insert(sign, "0");
  text.insert(text.size() - static_cast<std::size_t>(want), ",");
  if (text[sign] == ',') text.insert(sign, "0");
  return text;
}

}  // namespace librato
