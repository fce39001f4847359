// Process entry: the application object, the main window, the message loop.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "app/Dict.h"
#include "app/Screenshot.h"
#include "platform/classes/Application.h"
#include "platform/classes/SysUtils.h"
#include "platform/qt/QtApplication.h"

using namespace velmora;

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  InstallQtApplicationHooks();
  // Velmora辞典查询系统
  Application().Title = "Velmora\xB4\xC7\xB5\xE4\xB2\xE9\xD1\xAF\xCF\xB5\xCD\xB3";
  try {
    TForm4 form;
    form.DoCreate();
    form.show();
    ScheduleScreenshot(form);
    qapp.exec();
  } catch (const Exception& e) {
    Application().ShowException(e);
  } catch (...) {
    Application().ShowException(Exception(""));
  }
  return 0;
}
