#include "app/document_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace librato::app {

void DesktopDocumentOpener::open(const QString& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace librato::app
