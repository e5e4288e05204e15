#include "app/message_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace librato::app {

QWidget* MessageBoxDialogs::owner() const {
  QWidget* w = parent_.data();
  return (w && w->isVisible()) ? w : nullptr;
}

Answer MessageBoxDialogs::message(const std::string& text, const std::string& caption, int flags) {
  QMessageBox box(owner());
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  Answer onClose = Answer::Ok;  // what closing the box by its title bar means
  switch (flags) {
    case kMsgOkCancelQuestion:
      icon = QMessageBox::Question;
      buttons = QMessageBox::Ok | QMessageBox::Cancel;
      onClose = Answer::Cancel;
      break;
    case kMsgYesNoCancelQuestion:
      icon = QMessageBox::Question;
      buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      onClose = Answer::Cancel;
      break;
    case kMsgYesNoQuestion:
      icon = QMessageBox::Question;
      buttons = QMessageBox::Yes | QMessageBox::No;
      onClose = Answer::No;
      break;
    case kMsgOkWarning:
      icon = QMessageBox::Warning;
      break;
    case kMsgYesNoWarning:
      icon = QMessageBox::Warning;
      buttons = QMessageBox::Yes | QMessageBox::No;
      onClose = Answer::No;
      break;
    default:
      break;
  }
  box.setIcon(icon);
  box.setStandardButtons(buttons);
  // Russian button texts whatever the Qt translation installed.
  if (auto* b = box.button(QMessageBox::Ok)) b->setText("OK");
  if (auto* b = box.button(QMessageBox::Cancel)) b->setText("Отмена");
  if (auto* b = box.button(QMessageBox::Yes)) b->setText("Да");
  if (auto* b = box.button(QMessageBox::No)) b->setText("Нет");
  box.exec();
  auto* clicked = box.clickedButton();
  if (!clicked) return onClose;
  switch (box.standardButton(clicked)) {
    case QMessageBox::Ok:
      return Answer::Ok;
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      return onClose;
  }
}

void MessageBoxDialogs::error(const std::string& text) {
  QMessageBox box(QMessageBox::Critical,
                  QApplication::applicationName().isEmpty() ? QStringLiteral("Librato")
                                                            : QApplication::applicationName(),
                  QString::fromStdString(text), QMessageBox::Ok, owner());
  box.exec();
}

std::optional<std::string> MessageBoxDialogs::saveFile(const std::string& caption,
                                                       const std::string& defaultPath,
                                                       const std::string& filter) {
  const QString path = QFileDialog::getSaveFileName(owner(), QString::fromStdString(caption),
                                                    QString::fromStdString(defaultPath),
                                                    QString::fromStdString(filter));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace librato::app
