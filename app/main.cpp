// Process entry: the application object, the main window, the message loop.
// A query on the command line is searched at once; while a window of this
// desktop session is open, it goes to that window instead.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/Dict.h"
#include "app/Screenshot.h"
#include "app/SingleInstance.h"
#include "platform/classes/Application.h"
#include "platform/classes/SysUtils.h"
#include "platform/qt/QtApplication.h"

using namespace velmora;

namespace {

constexpr const char* kUsage =
    "Usage: velmora [QUERY]\n"
    "Opens the Velmora window on the dictionary (1.sr..5.sr) of the current\n"
    "folder and, given a QUERY (UTF-8), searches it as if typed and Enter\n"
    "pressed. While a Velmora window is open in this desktop session, the\n"
    "query goes to that window, which searches its own dictionary, and the\n"
    "window is raised; without a query it is only raised.\n";

}  // namespace

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);  // takes Qt's own options out of argv
  std::optional<QString> query;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options && std::strcmp(arg, "--") == 0) {
      options = false;
      continue;
    }
    if (options && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (options && arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "velmora: unknown option %s\n%s", arg, kUsage);
      return 2;
    }
    // Several words are one query, as typed with spaces between them.
    QString word = QString::fromUtf8(arg);
    query = query ? *query + QLatin1Char(' ') + word : word;
  }

  TInstanceService service;
  if (!service.Claim() && HandToRunningInstance(query)) return 0;

  InstallQtApplicationHooks();
  // Velmora辞典查询系统
  Application().Title = "Velmora\xB4\xC7\xB5\xE4\xB2\xE9\xD1\xAF\xCF\xB5\xCD\xB3";
  try {
    TForm4 form;
    form.DoCreate();
    form.show();
    service.Serve(&form);
    if (query) {
      QTimer::singleShot(0, &form, [&form, &query] { form.LookUp(*query); });
    }
    ScheduleScreenshot(form);
    qapp.exec();
  } catch (const Exception& e) {
    Application().ShowException(e);
  } catch (...) {
    Application().ShowException(Exception(""));
  }
  return 0;
}
