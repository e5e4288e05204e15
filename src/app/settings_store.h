#pragma once
// The per-user settings store: QSettings in the platform's native format
// (the registry on Windows, ~/.config/Norvane/Librato.conf on Linux), all
// values in the group named by the program version. Errors of the store are
// never reported: a value that cannot be read as its kind takes the default.

#include <QSettings>
#include <QString>
#include <memory>

namespace librato::app {

class SettingsStore {
 public:
  // Name of the value written at the first start; the store cannot hold the
  // key path "SOFTWARE\Norvane\Librato" as a value name (backslashes separate
  // groups), so it is stored under this name, with the same data 30.
  static constexpr const char* kMarkerName = "Marker";
  static constexpr int kMarkerValue = 30;

  SettingsStore();

  // True when the store held nothing for this program (its first start for
  // this user); the marker is written then.
  bool openOrCreate();
  // The version group exists.
  bool hasVersionGroup() const;

  int readInt(const QString& name, int def) const;
  bool readBool(const QString& name, bool def) const;
  QString readText(const QString& name, const QString& def) const;

  void writeInt(const QString& name, int value);
  void writeBool(const QString& name, bool value);
  void writeText(const QString& name, const QString& text);

  // Writes everything out to the store.
  void close();

 private:
  QVariant value(const QString& name) const;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace librato::app
