#pragma once
// Character filters of the entry fields: a character outside the accepted
// set never reaches the field and the desktop's beep sounds. Keys that are
// not characters (arrows, function keys, Delete) pass. Control characters
// other than backspace are refused, so the clipboard shortcuts do nothing.

#include <QObject>
#include <QString>
#include <functional>

namespace librato::app {

class KeyFilter final : public QObject {
  Q_OBJECT
 public:
  // `accepted`: the printable characters let through (backspace always is).
  KeyFilter(QString accepted, std::function<void()> beep, QObject* parent = nullptr);

  // Filters the key presses of `widget` and, for an editable combo box, of
  // its edit field.
  void attach(QObject* widget);

  static QString DecimalCharacters() { return QStringLiteral("0123456789,."); }
  static QString DigitCharacters() { return QStringLiteral("0123456789"); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString accepted_;
  std::function<void()> beep_;
};

}  // namespace librato::app
