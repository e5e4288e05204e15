#pragma once
// The weight numbers dialog: one row per weight under test, column 1 holding
// the number the operator typed for it. Created hidden at start-up, shown
// and hidden, never destroyed before the program ends; nothing of it is
// stored between starts.
//
// Rows are counted as in a grid whose row 0 is the header: row i (i >= 1) is
// weight i. Lowering the row count hides the rows beyond it and keeps their
// texts.

#include <QWidget>
#include <functional>

class QCheckBox;
class QFrame;
class QPushButton;
class QTableWidget;

namespace librato {
class OperatorDialogs;
}

namespace librato::app {

class TLoadNamesForm final : public QWidget {
  Q_OBJECT
 public:
  explicit TLoadNamesForm(OperatorDialogs* dialogs, QWidget* parent = nullptr);

  // Row count including the header row.
  int rowCount() const { return rowCount_; }
  void setRowCount(int n);
  QString cell(int col, int row) const;
  void setCell(int col, int row, const QString& text);

  // The number of test weight i (from 1); empty when it has none or i is
  // beyond the rows.
  QString weightNumber(int i) const;
  // The operator chose to have the numbers voiced.
  bool voiceNumbers() const;

  // Empties column 1 of rows 1 to the last.
  void clearNumbers();
  // Empties whole rows from 1 on, indices included.
  void clearRows();

  // Called after the dialog has been hidden by its close button or title bar.
  void setClosedHandler(std::function<void()> handler) { onClosed_ = std::move(handler); }

  QTableWidget* grid() const { return sgNames_; }

 public slots:
  void cbSoundClick();
  void btnClearClick();
  void btnCloseClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void finishClose();

  OperatorDialogs* dialogs_;
  QFrame* panel1_;
  QCheckBox* cbSound_;
  QTableWidget* sgNames_;
  QPushButton* btnClose_;
  QPushButton* btnClear_;
  int rowCount_ = 1;
  std::function<void()> onClosed_;
};

}  // namespace librato::app
