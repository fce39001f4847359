// velmora.conf: the choices the window keeps across runs (the view's text
// size, the kind of search, whether the stroke panel is wanted), one INI
// file in the user's configuration folder. Without such a folder nothing is
// kept: reads give the fallback and writes are dropped.
#pragma once

#include <QString>
#include <QVariant>

namespace velmora {

class TSettings {
 public:
  // The file's path; empty when there is no configuration folder.
  static QString File();
  static QVariant Value(const QString& key, const QVariant& fallback);
  static void SetValue(const QString& key, const QVariant& value);
};

}  // namespace velmora
