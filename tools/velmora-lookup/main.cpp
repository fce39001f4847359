// velmora-lookup: searches a dictionary folder as the window does and prints
// the result view; one query from the command line, or one per line of
// standard input with --batch.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "dict/Search.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tools/velmora-lookup/ViewExport.h"

using namespace velmora;

namespace {

const char kUsage[] =
    "Usage: velmora-lookup [-C DIR] [--plain | --html | --json] [--raw]\n"
    "                      [--color=WHEN] QUERY\n"
    "       velmora-lookup --batch [-C DIR] [--plain | --json] [--raw] [--color=WHEN]\n"
    "\n"
    "Looks QUERY up in the dictionary files 1.sr to 5.sr of DIR (default: the\n"
    "current folder) exactly as the Velmora window does, and prints the result\n"
    "view: in colour on a terminal, otherwise as plain text.\n"
    "\n"
    "  -C DIR        search the dictionary in DIR\n"
    "  --plain       the text only, in UTF-8, one line per view line\n"
    "  --html        a standalone HTML page with colours, styles and links\n"
    "  --json        {\"text_hex\", \"text\", \"spans\", \"links\", \"found\"} on one\n"
    "                line; positions are byte positions in the view's GBK text\n"
    "  --raw         take the bytes of QUERY as GBK as they are (default: QUERY is\n"
    "                UTF-8 and is converted; a character GBK lacks becomes \"?\")\n"
    "  --color=WHEN  colour the terminal view: auto (the default: only on a\n"
    "                terminal, and not when NO_COLOR is set or TERM is dumb),\n"
    "                always, or never\n"
    "  --batch       read one query per line from standard input (UTF-8, or GBK\n"
    "                with --raw; a CR before the line feed is dropped) and print\n"
    "                one result per query: with --json one object per line with\n"
    "                the \"query\" as read added, otherwise each view followed by\n"
    "                a line holding a form feed. The files are read once.\n"
    "  --help        show this help\n"
    "\n"
    "Exit status: 0 an entry was found, 1 nothing matched, 2 the query is too\n"
    "short, a dictionary file can't be opened, or the command line is wrong.\n"
    "The view is printed in every case in which a search ran. With --batch:\n"
    "0 if any query found an entry, 1 if none did, 2 if a dictionary file\n"
    "could not be opened or the input could not be read; a query that is too\n"
    "short gives its message in its own result.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "velmora-lookup: %s\nTry 'velmora-lookup --help'.\n",
               message.c_str());
  return 2;
}

enum class TMode { Terminal, Plain, Html, Json };
enum class TColorWhen { Auto, Always, Never };

// The terminal conventions: an explicit --color wins, otherwise colour only
// on a terminal that is not dumb and when NO_COLOR is unset or empty.
bool UseColor(TColorWhen when) {
  if (when != TColorWhen::Auto) return when == TColorWhen::Always;
  const char* noColor = std::getenv("NO_COLOR");
  if (noColor && *noColor) return false;
  const char* term = std::getenv("TERM");
  if (term && std::strcmp(term, "dumb") == 0) return false;
  return ::isatty(STDOUT_FILENO);
}

bool Write(const std::string& out) {
  if (std::fwrite(out.data(), 1, out.size(), stdout) == out.size() &&
      std::fflush(stdout) == 0)
    return true;
  std::fprintf(stderr, "velmora-lookup: can't write the result: %s\n",
               std::strerror(errno));
  return false;
}

struct TOptions {
  TMode Mode = TMode::Terminal;
  bool Color = false;
  bool Raw = false;
};

// One search into the view; the query as typed (UTF-8 unless raw).
TSearchOutcome Search(const TOptions& options, const std::string& typed,
                      TMemoryRichEdit& edit, std::string& cleaned) {
  edit.Clear();
  TResultView view(edit);
  TQueryControls controls(options.Raw ? typed : gbk::FromUtf8(typed));
  const TSearchOutcome outcome = RunSearch(controls, view);
  cleaned = controls.GetQueryText();
  return outcome;
}

std::string Render(const TOptions& options, const TMemoryRichEdit& edit,
                   TSearchOutcome outcome, const std::string& cleaned) {
  switch (options.Mode) {
    case TMode::Terminal:
      return options.Color ? ExportAnsi(edit) : ExportPlain(edit);
    case TMode::Plain:
      return ExportPlain(edit);
    case TMode::Json:
      return ExportJson(edit, outcome == TSearchOutcome::Found);
    case TMode::Html:
      return ExportHtml(edit, "Velmora: " + gbk::ToUtf8(cleaned),
                        std::filesystem::current_path().string());
  }
  return {};
}

bool Trouble(TSearchOutcome outcome) {
  return outcome == TSearchOutcome::OwnFileMissing ||
         outcome == TSearchOutcome::OtherFileMissing;
}

int RunBatch(const TOptions& options) {
  TMemoryRichEdit edit;
  edit.SetAutoUrlDetect(true);  // as the window switches it on
  bool anyFound = false, trouble = false;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string cleaned;
    const TSearchOutcome outcome = Search(options, line, edit, cleaned);
    anyFound |= outcome == TSearchOutcome::Found;
    trouble |= Trouble(outcome);
    std::string out;
    if (options.Mode == TMode::Json) {
      // The query as read: GBK shown as UTF-8, and UTF-8 as it came (bytes
      // that aren't UTF-8 are shown as replacement characters).
      out = ExportJson(edit, outcome == TSearchOutcome::Found,
                       options.Raw ? gbk::ToUtf8(line) : line);
    } else {
      out = Render(options, edit, outcome, cleaned);
      out += "\f\n";
    }
    if (!Write(out)) return 2;
  }
  if (std::cin.bad()) {
    std::fprintf(stderr, "velmora-lookup: can't read the queries: %s\n",
                 std::strerror(errno));
    return 2;
  }
  return trouble ? 2 : anyFound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  bool modeGiven = false, batch = false;
  TColorWhen color = TColorWhen::Auto;
  bool colorGiven = false;
  std::string dir;
  std::string query;
  bool haveQuery = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto setMode = [&](TMode m) {
      if (modeGiven && options.Mode != m) return false;
      options.Mode = m;
      modeGiven = true;
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
      options.Raw = true;
    } else if (arg == "--batch") {
      batch = true;
    } else if (arg.rfind("--color", 0) == 0) {
      const std::string when = arg == "--color" ? "always"
                               : arg[7] == '='  ? arg.substr(8)
                                                : "";
      if (when == "auto")
        color = TColorWhen::Auto;
      else if (when == "always")
        color = TColorWhen::Always;
      else if (when == "never")
        color = TColorWhen::Never;
      else
        return UsageError(arg[7] == '=' ? "--color takes auto, always or never"
                                        : "unknown option " + arg);
      colorGiven = true;
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
  if (batch) {
    if (haveQuery) return UsageError("--batch reads its queries from standard input");
    if (options.Mode == TMode::Html) return UsageError("--batch takes --plain or --json");
  } else if (!haveQuery) {
    return UsageError("no QUERY given");
  }
  if (colorGiven && color == TColorWhen::Always && options.Mode != TMode::Terminal)
    return UsageError("--color=always colours only the terminal view");
  options.Color = options.Mode == TMode::Terminal && UseColor(color);

  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::current_path(dir, ec);
    if (ec) return UsageError("can't enter folder " + dir + ": " + ec.message());
  }
  if (batch) return RunBatch(options);

  TMemoryRichEdit edit;
  edit.SetAutoUrlDetect(true);  // as the window switches it on
  std::string cleaned;
  const TSearchOutcome outcome = Search(options, query, edit, cleaned);
  if (!Write(Render(options, edit, outcome, cleaned))) return 2;
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
