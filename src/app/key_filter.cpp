#include "app/key_filter.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace librato::app {

KeyFilter::KeyFilter(QString accepted, std::function<void()> beep, QObject* parent)
    : QObject(parent), accepted_(std::move(accepted)), beep_(std::move(beep)) {}

void KeyFilter::attach(QObject* widget) {
  widget->installEventFilter(this);
  if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
    combo->lineEdit()->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  // Shortcut overrides would let Ctrl+V and the like reach the field as
  // editing commands; treat them as the characters they are.
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
    return QObject::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Backspace) return false;
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  const bool control =
      (mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier);
  const QString text = key->text();
  bool isCharacter = !text.isEmpty();
  // A Ctrl+letter arrives with or without its control character as text.
  if (control && key->key() >= Qt::Key_Space && key->key() <= Qt::Key_AsciiTilde)
    isCharacter = true;
  if (!isCharacter) return false;  // arrows, function keys, Delete, ...
  bool accepted = !control;
  for (const QChar c : text) {
    if (!accepted_.contains(c)) accepted = false;
  }
  if (accepted) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // Claim the key so no shortcut runs; the press that follows is refused.
    event->accept();
    return true;
  }
  if (beep_) beep_();
  return true;
}

}  // namespace librato::app
