#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/WindowParts.h"

namespace velmora {

namespace {

// A window that does not answer within this time is taken for hung; the
// caller then opens its own.
constexpr int kCallTimeoutMs = 5000;

}  // namespace

TInstanceService::~TInstanceService() {
  if (!claimed_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(QString::fromLatin1(kBusName));
  bus.unregisterObject(QString::fromLatin1(kBusPath));
}

bool TInstanceService::Claim() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  // The object first: whoever finds the name finds the object behind it.
  if (!bus.registerObject(QString::fromLatin1(kBusPath), this,
                          QDBusConnection::ExportScriptableSlots)) {
    return false;
  }
  if (!bus.registerService(QString::fromLatin1(kBusName))) {
    bus.unregisterObject(QString::fromLatin1(kBusPath));
    return false;
  }
  claimed_ = true;
  return true;
}

void TInstanceService::Serve(IQueryWindow* window) {
  window_ = window;
  alive_ = window ? &window->Window() : nullptr;
}

void TInstanceService::LookUp(const QString& query) {
  if (!alive_) return;
  window_->Raise();
  QTimer::singleShot(0, alive_.data(), [alive = alive_, window = window_, query] {
    if (alive) window->LookUp(query);
  });
}

void TInstanceService::Raise() {
  if (alive_) window_->Raise();
}

QString TInstanceService::Folder() {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  return ec ? QString() : QString::fromStdString(folder.string());
}

bool HandToRunningInstance(const std::optional<QString>& query,
                           const std::optional<QString>& folder) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.interface()->isServiceRegistered(QString::fromLatin1(kBusName))) return false;
  auto method = [](const QString& name) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(kBusName),
                                          QString::fromLatin1(kBusPath),
                                          QString::fromLatin1(kBusInterface), name);
  };
  if (folder) {
    QDBusMessage reply =
        bus.call(method(QStringLiteral("Folder")), QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1 ||
        reply.arguments().first().toString() != *folder)
      return false;
  }
  QDBusMessage call = method(query ? QStringLiteral("LookUp") : QStringLiteral("Raise"));
  if (query) call << *query;
  QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace velmora
