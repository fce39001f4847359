// velmora-lookup: one search in a dictionary folder, printed as the window's
// result view would show it.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "dict/Search.h"
#include "platform/classes/Gbk.h"
#include "tools/velmora-lookup/ViewExport.h"

#ifdef VELMORA_LOOKUP_QT
#include <QGuiApplication>

#include "platform/richedit/QtRichEdit.h"
#else
#include "platform/richedit/MemoryRichEdit.h"
#endif

using namespace velmora;

namespace {

const char kUsage[] =
    "Usage: velmora-lookup [-C DIR] [--plain | --html | --json] [--raw] QUERY\n"
    "\n"
    "Looks QUERY up in the dictionary files 1.sr to 5.sr of DIR (default: the\n"
    "current folder) exactly as the Velmora window does, and prints the result\n"
    "view: in colour on a terminal, otherwise as plain text.\n"
    "\n"
    "  -C DIR    search the dictionary in DIR\n"
    "  --plain   the text only, in UTF-8, one line per view line\n"
    "  --html    a standalone HTML page with colours, styles and links\n"
    "  --json    {\"text_hex\", \"text\", \"spans\", \"links\", \"found\"}; positions\n"
    "            are byte positions in the view's GBK text\n"
    "  --raw     take the bytes of QUERY as GBK as they are (default: QUERY is\n"
    "            UTF-8 and is converted; a character GBK lacks becomes \"?\")\n"
    "  --help    show this help\n"
    "\n"
    "Exit status: 0 an entry was found, 1 nothing matched, 2 the query is too\n"
    "short, a dictionary file can't be opened, or the command line is wrong.\n"
    "The view is printed in every case in which a search ran.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "velmora-lookup: %s\nTry 'velmora-lookup --help'.\n",
               message.c_str());
  return 2;
}

enum class TMode { Auto, Plain, Html, Json };

#ifdef VELMORA_LOOKUP_QT
// Qt's remarks about the desktop session (no runtime folder when run as a
// service, and the like) would mix with the tool's own messages on stderr.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.startsWith(QLatin1String("QStandardPaths:"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  TMode mode = TMode::Auto;
  bool raw = false;
  std::string dir;
  std::string query;
  bool haveQuery = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto setMode = [&](TMode m) {
      if (mode != TMode::Auto && mode != m) return false;
      mode = m;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-C") {
      if (++i >= argc) return UsageError("-C needs a folder");
      dir = argv[i];
    } else if (arg == "--plain" || arg == "--html" || arg == "--json") {
      if (!setMode(arg == "--plain"  ? TMode::Plain
                   : arg == "--html" ? TMode::Html
                                     : TMode::Json))
        return UsageError("choose only one of --plain, --html and --json");
    } else if (arg == "--raw") {
      raw = true;
    } else if (arg == "--") {
      if (i + 1 < argc) {
        if (haveQuery || i + 2 < argc) return UsageError("give exactly one QUERY");
        query = argv[++i];
        haveQuery = true;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else {
      if (haveQuery)
        return UsageError("give exactly one QUERY (quote it if it has spaces)");
      query = arg;
      haveQuery = true;
    }
  }
  if (!haveQuery) return UsageError("no QUERY given");

  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::current_path(dir, ec);
    if (ec) return UsageError("can't enter folder " + dir + ": " + ec.message());
  }

#ifdef VELMORA_LOOKUP_QT
  // The view lays text out with Qt's fonts; without a display, off screen.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qInstallMessageHandler(QuietQtMessages);
  QGuiApplication app(argc, argv);
  TQtRichEdit edit;
#else
  TMemoryRichEdit edit;
#endif
  edit.SetAutoUrlDetect(true);  // as the window switches it on
  TResultView view(edit);
  TQueryControls controls(raw ? query : gbk::FromUtf8(query));
  const TSearchOutcome outcome = RunSearch(controls, view);
  const bool found = outcome == TSearchOutcome::Found;

  if (mode == TMode::Auto) mode = ::isatty(STDOUT_FILENO) ? TMode::Auto : TMode::Plain;
  std::string out;
  switch (mode) {
    case TMode::Auto:
      out = ExportAnsi(edit);
      break;
    case TMode::Plain:
      out = ExportPlain(edit);
      break;
    case TMode::Json:
      out = ExportJson(edit, found);
      break;
    case TMode::Html: {
      const std::string folder = std::filesystem::current_path().string();
      out = ExportHtml(edit, "Velmora: " + gbk::ToUtf8(controls.GetQueryText()),
                       folder + "/");
      break;
    }
  }
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "velmora-lookup: can't write the result: %s\n",
                 std::strerror(errno));
    return 2;
  }
  switch (outcome) {
    case TSearchOutcome::Found:
      return 0;
    case TSearchOutcome::NotFound:
    case TSearchOutcome::Stopped:
      return 1;
    default:
      return 2;
  }
}
