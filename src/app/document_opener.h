#pragma once
// Opens a document with the desktop's default application. The window goes
// through this interface so that tests can see what would be opened without
// launching anything.

#include <QString>

namespace librato::app {

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // Asks the desktop to open `path`; the outcome is not examined.
  virtual void open(const QString& path) = 0;
};

class DesktopDocumentOpener final : public DocumentOpener {
 public:
  void open(const QString& path) override;
};

}  // namespace librato::app
