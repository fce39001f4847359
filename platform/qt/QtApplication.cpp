#include "platform/qt/QtApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include "platform/classes/Application.h"
#include "platform/classes/SysUtils.h"
#include "platform/classes/Threads.h"
#include "platform/richedit/GbkQt.h"

namespace velmora {
namespace {

constexpr qint64 kProcessMessagesInterval = 8;  // ms

}  // namespace

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
  // A search lets messages run after every dictionary line; asking the
  // system for events a hundred thousand times a second cost far more than
  // the search itself. Messages run at most every few milliseconds instead,
  // which is still immediate to a person.
  app.OnProcessMessages = [] {
    thread_local QElapsedTimer since;
    if (since.isValid() && since.elapsed() < kProcessMessagesInterval) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    CheckSynchronize();
    since.start();
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
