#pragma once
// The operator's messages as modal message boxes.

#include <QPointer>
#include <QWidget>

#include "procedure/operator_dialogs.h"

namespace librato::app {

class MessageBoxDialogs final : public OperatorDialogs {
 public:
  // Boxes are centred over `parent` when it is set and visible.
  explicit MessageBoxDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  Answer message(const std::string& text, const std::string& caption, int flags) override;
  void error(const std::string& text) override;
  std::optional<std::string> saveFile(const std::string& caption, const std::string& defaultPath,
                                      const std::string& filter) override;

 private:
  QWidget* owner() const;
  QPointer<QWidget> parent_;
};

}  // namespace librato::app
