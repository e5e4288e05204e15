#include "app/conversions.h"

#include <cstdint>
#include <limits>

#include "link/mass_text.h"

namespace librato::app {

int StrToInt(const QString& text) {
  auto fail = [&]() -> int {
    throw ConversionError(
        QStringLiteral("\"%1\" не является целым числом").arg(text).toStdString());
  };
  int i = 0;
  const int n = static_cast<int>(text.size());
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == n) return fail();
  std::int64_t value = 0;
  for (; i < n; ++i) {
    const QChar c = text[i];
    if (c < '0' || c > '9') return fail();
    value = value * 10 + (c.unicode() - '0');
    if (value > std::int64_t{std::numeric_limits<int>::max()} + 1) return fail();
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
    return fail();
  return static_cast<int>(value);
}

}  // namespace librato::app
