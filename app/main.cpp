// Process entry: the application object, the main window, the message loop.
// A query on the command line is searched at once; while a window of this
// desktop session is open, it goes to that window instead.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "app/Dict.h"
#include "app/QueryBox.h"
#include "app/Screenshot.h"
#include "app/SingleInstance.h"
#include "dict/DictFolder.h"
#include "platform/classes/Application.h"
#include "platform/classes/FileWrite.h"
#include "platform/classes/SysUtils.h"
#include "platform/qt/QtApplication.h"
#include "velmora/Version.h"

using namespace velmora;

namespace {

constexpr const char* kUsage =
    "Usage: velmora [-C DIR] [QUERY]\n"
    "Opens the Velmora window on a dictionary (1.sr..5.sr) and, given a QUERY\n"
    "(UTF-8), searches it as if typed and Enter pressed; the query box holds one\n"
    "line, so a QUERY with a line break is searched up to the break. The\n"
    "dictionary folder is DIR, else $VELMORA_DICTIONARY, else the current\n"
    "folder when it holds any of 1.sr..5.sr, else the installed dictionary. A\n"
    "folder that cannot be entered is named in the window. While a Velmora window\n"
    "is open in this desktop session, the query goes to that window, which\n"
    "searches its own dictionary, and the window is raised; without a query it\n"
    "is only raised. With -C, a window open on another folder is left alone\n"
    "and a new one opens on DIR.\n"
    "\n"
    "  -C DIR     use the dictionary in DIR\n"
    "  --help     show this help\n"
    "  --version  show the version\n";

// --help and --version answer before the application object exists, so that
// they work without a display.
bool AnsweredAtOnce(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) return false;
    if (std::strcmp(arg, "-C") == 0) {
      ++i;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return true;
    } else if (std::strcmp(arg, "--version") == 0) {
      std::fputs("velmora " VELMORA_VERSION "\n", stdout);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnsweredAtOnce(argc, argv)) return FlushStandardOutput("velmora") ? 0 : 2;
  QApplication qapp(argc, argv);  // takes Qt's own options out of argv
  std::optional<QString> query;
  std::optional<std::string> folderOption;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options && std::strcmp(arg, "--") == 0) {
      options = false;
      continue;
    }
    if (options && std::strcmp(arg, "-C") == 0) {
      if (++i >= argc) {
        std::fprintf(stderr, "velmora: -C needs a folder\n%s", kUsage);
        return 2;
      }
      folderOption = argv[i];
      continue;
    }
    if (options && arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "velmora: unknown option %s\n%s", arg, kUsage);
      return 2;
    }
    // Several words are one query, as typed with spaces between them.
    QString word = QString::fromUtf8(arg);
    query = query ? *query + QLatin1Char(' ') + word : word;
  }
  // The query box holds one line.
  if (query) *query = FirstLineOf(*query);

  // The search and the pictures are read relative to the current folder.
  const TDictFolder folder = ChooseDictFolder(folderOption);
  // Started from a menu, standard error is seen by no one: a folder that
  // cannot be entered is also said in the window, which then reads nothing.
  const std::string folderError = EnterDictFolder(folder);
  if (!folderError.empty()) std::fprintf(stderr, "velmora: %s\n", folderError.c_str());
  TInstanceService service;
  // A folder asked for by name goes only to a window that shows that one;
  // one that could not be entered is shown by no window but this one.
  std::optional<QString> handOverFolder;
  if (folder.Source == TDictFolderSource::Option)
    handOverFolder = QString::fromStdString(std::filesystem::current_path().string());
  if (folderError.empty() && !service.Claim() &&
      HandToRunningInstance(query, handOverFolder))
    return 0;
  // Said only by a window that shows it, not by a hand-over.
  if (folder.Source == TDictFolderSource::Installed)
    std::fprintf(stderr, "velmora: using %s (%s)\n", folder.Path.c_str(),
                 folder.Why().c_str());

  InstallQtApplicationHooks();
  // Velmora辞典查询系统
  Application().Title = "Velmora\xB4\xC7\xB5\xE4\xB2\xE9\xD1\xAF\xCF\xB5\xCD\xB3";
  try {
    TForm4 form;
    form.SetDictFolder(folder);
    form.SetDictFolderError(folderError);
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
