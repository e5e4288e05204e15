#include "app/fonts.h"

namespace librato::app {

QFont DialogFont() {
  QFont f("Liberation Sans");
  f.setPointSize(8);
  return f;
}

QFont SansPx(int pixels, bool bold) {
  QFont f("Liberation Sans");
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QFont MonoPx(int pixels, bool bold) {
  QFont f("Liberation Mono");
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

}  // namespace librato::app
