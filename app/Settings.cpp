#include "app/Settings.h"

#include <QSettings>
#include <string>

#include "app/History.h"

namespace velmora {

QString TSettings::File() {
  const std::string folder = ConfigFolder();
  return folder.empty() ? QString() : QString::fromStdString(folder + "/velmora.conf");
}

QVariant TSettings::Value(const QString& key, const QVariant& fallback) {
  const QString file = File();
  if (file.isEmpty()) return fallback;
  return QSettings(file, QSettings::IniFormat).value(key, fallback);
}

void TSettings::SetValue(const QString& key, const QVariant& value) {
  const QString file = File();
  if (file.isEmpty()) return;
  QSettings(file, QSettings::IniFormat).setValue(key, value);
}

}  // namespace velmora
