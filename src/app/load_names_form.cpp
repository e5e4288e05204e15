#include "app/load_names_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "app/fonts.h"
#include "procedure/operator_dialogs.h"

namespace librato::app {

TLoadNamesForm::TLoadNamesForm(OperatorDialogs* dialogs, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
  setObjectName("TLoadNamesForm");
  setWindowTitle("Введите номера гирь");
  setFont(DialogFont());

  panel1_ = new QFrame(this);
  panel1_->setObjectName("Panel1");
  panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel1_->setGeometry(0, 0, 178, 22);
  cbSound_ = new QCheckBox("Озвучивать номера", panel1_);
  cbSound_->setObjectName("cbSound");
  cbSound_->setGeometry(6, 2, 167, 17);
  connect(cbSound_, &QCheckBox::clicked, this, &TLoadNamesForm::cbSoundClick);

  sgNames_ = new QTableWidget(0, 2, this);
  sgNames_->setObjectName("sgNames");
  sgNames_->setGeometry(0, 22, 177, 227);
  sgNames_->setHorizontalHeaderLabels({"№", "№ гири"});
  sgNames_->horizontalHeader()->setMinimumSectionSize(10);
  sgNames_->setColumnWidth(0, 40);
  sgNames_->setColumnWidth(1, 127);
  sgNames_->horizontalHeader()->setFixedHeight(16);
  sgNames_->horizontalHeader()->setHighlightSections(false);
  sgNames_->verticalHeader()->hide();
  sgNames_->verticalHeader()->setMinimumSectionSize(10);
  sgNames_->verticalHeader()->setDefaultSectionSize(16);
  sgNames_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sgNames_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  sgNames_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  sgNames_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);

  btnClose_ = new QPushButton("Закрыть", this);
  btnClose_->setObjectName("btnClose");
  btnClose_->setGeometry(180, 0, 89, 25);
  connect(btnClose_, &QPushButton::clicked, this, &TLoadNamesForm::btnCloseClick);
  btnClear_ = new QPushButton("Очистить", this);
  btnClear_->setObjectName("btnClear");
  btnClear_->setGeometry(180, 27, 90, 25);
  connect(btnClear_, &QPushButton::clicked, this, &TLoadNamesForm::btnClearClick);

  setFixedSize(270, 249);
  move(309, 180);
}

void TLoadNamesForm::setRowCount(int n) {
  rowCount_ = std::max(n, 1);
  const int rows = rowCount_ - 1;
  // Rows are only ever added: a lower count hides the rows beyond it.
  while (sgNames_->rowCount() < rows) {
    const int r = sgNames_->rowCount();
    sgNames_->insertRow(r);
    auto* index = new QTableWidgetItem();
    index->setFlags(Qt::ItemIsEnabled);
    index->setBackground(palette().window());
    sgNames_->setItem(r, 0, index);
    sgNames_->setItem(r, 1, new QTableWidgetItem());
  }
  for (int r = 0; r < sgNames_->rowCount(); ++r) sgNames_->setRowHidden(r, r >= rows);
}

QString TLoadNamesForm::cell(int col, int row) const {
  if (col < 0 || col > 1) return {};
  if (row == 0) return sgNames_->horizontalHeaderItem(col)->text();
  const QTableWidgetItem* item = sgNames_->item(row - 1, col);
  return item ? item->text() : QString();
}

void TLoadNamesForm::setCell(int col, int row, const QString& text) {
  if (col < 0 || col > 1 || row < 0) return;
  if (row == 0) {
    sgNames_->horizontalHeaderItem(col)->setText(text);
    return;
  }
  if (row >= sgNames_->rowCount() + 1) {
    // Beyond every row made so far: make them, hidden, as a grid keeps cells.
    const int keep = rowCount_;
    setRowCount(row + 1);
    setRowCount(keep);
  }
  sgNames_->item(row - 1, col)->setText(text);
}

QString TLoadNamesForm::weightNumber(int i) const {
  if (i < 1 || i >= rowCount_) return {};
  return cell(1, i);
}

bool TLoadNamesForm::voiceNumbers() const { return cbSound_->isChecked(); }

void TLoadNamesForm::clearNumbers() {
  for (int r = 1; r < rowCount_; ++r) setCell(1, r, {});
}

void TLoadNamesForm::clearRows() {
  for (int r = 1; r < rowCount_; ++r) {
    setCell(0, r, {});
    setCell(1, r, {});
  }
}

void TLoadNamesForm::cbSoundClick() {
  if (!cbSound_->isChecked()) return;
  const Answer a = dialogs_->message(
      "Озвучивание длинных номеров может повлиять на ритмичность. Включить озвучивание?",
      "Предупреждение", kMsgYesNoWarning);
  if (a != Answer::Yes) cbSound_->setChecked(false);
}

void TLoadNamesForm::btnClearClick() {
  if (dialogs_->message("Очистить номера гирь?", "Удаление данных", kMsgOkCancelQuestion) ==
      Answer::Ok)
    clearNumbers();
}

void TLoadNamesForm::btnCloseClick() {
  hide();
  finishClose();
}

void TLoadNamesForm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  finishClose();
}

void TLoadNamesForm::finishClose() {
  // An edit still open in the grid belongs to the numbers.
  if (QWidget* editor = sgNames_->indexWidget(sgNames_->currentIndex())) editor->clearFocus();
  sgNames_->setCurrentItem(nullptr);
  if (onClosed_) onClosed_();
}

}  // namespace librato::app
