#pragma once
// Integer reading of the operator's texts. A text that is not a whole number
// ends the handler that reads it with an error box, so these throw.

#include <QString>

namespace librato::app {

// Optional leading blanks, an optional sign and decimal digits, within the
// 32-bit range. Throws librato::ConversionError naming the text.
int StrToInt(const QString& text);

}  // namespace librato::app
