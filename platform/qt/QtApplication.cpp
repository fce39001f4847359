#include "platform/qt/QtApplication.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/classes/Application.h"
#include "platform/classes/SysUtils.h"
#include "platform/classes/Threads.h"
#include "platform/qt/GbkQt.h"

namespace velmora {

void ShowExceptionMessageBox(const std::exception& e) {
  // Our own exceptions carry GBK text; anything else is shown without a
  // message, since its text has no known encoding.
  const auto* own = dynamic_cast<const Exception*>(&e);
  QString message = own ? QStringFromGbk(own->Message) : QString();
  QMessageBox::critical(QApplication::activeWindow(), QStringFromGbk(Application().Title),
                        message);
}

void InstallQtApplicationHooks() {
  TApplication& app = Application();
  app.OnProcessMessages = [] {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    CheckSynchronize();
  };
  // A painter thread that queued a step wakes the event loop, which then
  // carries the step out on this thread.
  SetWakeMainThread([] {
    if (QCoreApplication* qapp = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(
          qapp, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    }
  });
  app.OnShowException = ShowExceptionMessageBox;
}

}  // namespace velmora
