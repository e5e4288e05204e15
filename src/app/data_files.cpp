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

// `rel` below `dir`, each name matched without regard to case when there is
// no exact match: the names come from a system whose paths ignore case
// ("Sounds/notify.wav" is data/sounds/notify.wav here).
QString Lookup(const QString& dir, const QString& rel) {
  const QFileInfo exact(QDir(dir), rel);
  if (exact.isFile()) return exact.absoluteFilePath();
  QDir at(dir);
  const QStringList parts = rel.split('/', Qt::SkipEmptyParts);
  for (int i = 0; i < parts.size(); ++i) {
    const bool last = i == parts.size() - 1;
    const QStringList names =
        at.entryList(last ? QDir::Files : (QDir::Dirs | QDir::NoDotAndDotDot), QDir::Name);
    QString found;
    for (const QString& name : names) {
      if (name.compare(parts[i], Qt::CaseInsensitive) == 0) {
        found = name;
        break;
      }
    }
    if (found.isEmpty()) return {};
    if (last) return QFileInfo(at, found).absoluteFilePath();
    if (!at.cd(found)) return {};
  }
  return {};
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
  if (rel.split('/').contains("..")) return {};  // stays below the data folders
  for (const QString& dir : DataDirs()) {
    const QString path = Lookup(dir, rel);
    if (!path.isEmpty()) return path;
  }
  return {};
}

}  // namespace librato::app
