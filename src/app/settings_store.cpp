#include "app/settings_store.h"

#include <QStringList>

#include "procedure/session.h"

namespace librato::app {
namespace {

QString Group() { return QString::fromLatin1(kProgramVersion); }

QString Key(const QString& name) { return Group() + '/' + name; }

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            "Norvane", "Librato")) {
  // Only this user's own store counts, not system-wide defaults.
  settings_->setFallbacksEnabled(false);
}

bool SettingsStore::openOrCreate() {
  // A damaged file reads as far as it parses; what is missing or unreadable
  // takes its default, and the next save writes a sound file.
  if (!settings_->allKeys().isEmpty()) return false;
  settings_->setValue(kMarkerName, kMarkerValue);
  settings_->sync();
  return true;
}

bool SettingsStore::hasVersionGroup() const { return settings_->childGroups().contains(Group()); }

QVariant SettingsStore::value(const QString& name) const { return settings_->value(Key(name)); }

int SettingsStore::readInt(const QString& name, int def) const {
  const QVariant v = value(name);
  if (!v.isValid() || v.userType() == QMetaType::QStringList) return def;
  bool ok = false;
  const int i = v.toString().trimmed().toInt(&ok);
  return ok ? i : def;
}

bool SettingsStore::readBool(const QString& name, bool def) const {
  const QVariant v = value(name);
  if (!v.isValid() || v.userType() == QMetaType::QStringList) return def;
  const QString t = v.toString().trimmed().toLower();
  if (t == "true") return true;
  if (t == "false") return false;
  bool ok = false;
  const int i = t.toInt(&ok);
  return ok ? i != 0 : def;
}

QString SettingsStore::readText(const QString& name, const QString& def) const {
  const QVariant v = value(name);
  if (!v.isValid()) return def;
  // An unquoted text with commas in a hand-edited file reads as a list.
  if (v.userType() == QMetaType::QStringList) return v.toStringList().join(", ");
  if (!v.canConvert<QString>()) return def;
  return v.toString();
}

void SettingsStore::writeInt(const QString& name, int value) {
  settings_->setValue(Key(name), value);
}

void SettingsStore::writeBool(const QString& name, bool value) {
  settings_->setValue(Key(name), value);
}

void SettingsStore::writeText(const QString& name, const QString& text) {
  settings_->setValue(Key(name), text);
}

void SettingsStore::close() { settings_->sync(); }

}  // namespace librato::app
