#include "platform/qt/ShellOpen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QString>
#include <QUrl>

namespace velmora {

namespace {

void DesktopOpen(const std::string& target) {
  QString text = QString::fromUtf8(target.data(), qsizetype(target.size()));
  // xdg-open takes the target as it stands, with spaces or non-ASCII letters
  // in file names; QDesktopServices is the fallback where it is missing.
  if (QProcess::startDetached(QStringLiteral("xdg-open"), {text})) return;
  QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode));
}

TShellOpener& Opener() {
  static TShellOpener opener;
  return opener;
}

}  // namespace

void ShellOpen(const std::string& target) {
  if (Opener()) {
    Opener()(target);
  } else {
    DesktopOpen(target);
  }
}

TShellOpener SetShellOpener(TShellOpener opener) {
  TShellOpener previous = std::move(Opener());
  Opener() = std::move(opener);
  return previous;
}

}  // namespace velmora
