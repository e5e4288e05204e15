#pragma once
// The typefaces of the windows: Liberation Sans stands in for the classic
// 8-point dialog face, Liberation Mono for the typewriter face of the
// reading and prompt displays.

#include <QFont>

namespace librato::app {

// 8 pt dialog face.
QFont DialogFont();
// Dialog face at a pixel size.
QFont SansPx(int pixels, bool bold = false);
// Typewriter face at a pixel size.
QFont MonoPx(int pixels, bool bold = false);

}  // namespace librato::app
