#include "app/data_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace librato::app {
namespace {

QString& StartDirStore() {
  static QString dir;
  return dir;
}

bool RunsFromBuildTree() {
  if (!QCoreApplication::instance()) return false;
  const QString build = QDir::cleanPath(QStringLiteral(LIBRATO_BUILD_DIR));
  const QString exe = QDir::cleanPath(QCoreApplication::applicationDirPath());
  return exe == build || exe.startsWith(build + '/');
}

QStringList DataDirs() {
  QStringList dirs{StartDir()};
  const QString source = QStringLiteral(LIBRATO_SOURCE_DATA_DIR);
  const QString installed = QStringLiteral(LIBRATO_INSTALLED_DATA_DIR);
  if (RunsFromBuildTree()) {
    dirs << source << installed;
  } else {
    dirs << installed << source;
  }
  return dirs;
}

}  // namespace

QString StartDir() {
  const QString& dir = StartDirStore();
  return dir.isEmpty() ? QDir::currentPath() : dir;
}

void SetStartDir(const QString& dir) { StartDirStore() = QDir::cleanPath(dir); }

QString FindDataFile(const QString& relative) {
  QString rel = relative;
  rel.replace('\\', '/');
  while (rel.startsWith('/')) rel.remove(0, 1);
  if (rel.isEmpty()) return {};
  for (const QString& dir : DataDirs()) {
    const QFileInfo info(QDir(dir), rel);
    if (info.isFile()) return info.absoluteFilePath();
  }
  return {};
}

}  // namespace librato::app
