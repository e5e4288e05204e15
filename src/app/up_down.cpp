#include "app/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "app/conversions.h"
#include "link/mass_text.h"

namespace librato::app {

UpDown::UpDown(QWidget* parent, QLineEdit* associate, int minimum, int maximum)
    : QWidget(parent),
      associate_(associate),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)),
      minimum_(minimum),
      maximum_(maximum),
      position_(minimum) {
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
  }
  connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

void UpDown::setPosition(int value) {
  position_ = std::clamp(value, minimum_, maximum_);
  if (associate_) associate_->setText(QString::number(position_));
}

void UpDown::stepBy(int steps) {
  // The field may have been typed into since the last step: go on from it.
  if (associate_) {
    try {
      position_ = std::clamp(StrToInt(associate_->text()), minimum_, maximum_);
    } catch (const ConversionError&) {
    }
  }
  setPosition(position_ + steps);
}

}  // namespace librato::app
