#pragma once
// The arrow pair beside a number field: each click steps the number in the
// field by one within [minimum, maximum], without wrapping around.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace librato::app {

class UpDown final : public QWidget {
  Q_OBJECT
 public:
  UpDown(QWidget* parent, QLineEdit* associate, int minimum, int maximum);

  int position() const { return position_; }
  // Brings `value` into the range and writes it into the field.
  void setPosition(int value);
  void stepBy(int steps);

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* associate_;
  QToolButton* up_;
  QToolButton* down_;
  int minimum_, maximum_, position_;
};

}  // namespace librato::app
