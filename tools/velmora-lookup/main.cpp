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
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dict/DictFile.h"
#include "dict/DictFolder.h"
#include "dict/ExtendedQuery.h"
#include "dict/Query.h"
#include "dict/Search.h"
#include "platform/classes/FileWrite.h"
#include "platform/classes/Gbk.h"
#include "platform/classes/SysUtils.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tools/velmora-lookup/Handwriting.h"
#include "tools/velmora-lookup/LearnerOutput.h"
#include "tools/velmora-lookup/StrokePicture.h"
#include "tools/velmora-lookup/ViewExport.h"
#include "velmora/Version.h"

using namespace velmora;

namespace {

const char kUsage[] =
    "Usage: velmora-lookup [-C DIR] [-x] [--plain | --html | --json] [--raw]\n"
    "                      [--color=WHEN] [--colors=WHICH] QUERY\n"
    "       velmora-lookup --batch [-C DIR] [-x] [--plain | --json] [--raw]\n"
    "                      [--color=WHEN] [--colors=WHICH]\n"
    "       velmora-lookup --handwriting FILE [-C DIR]\n"
    "       velmora-lookup --say [--wav FILE] [-C DIR] [-x] [--raw] QUERY\n"
    "       velmora-lookup --anki [-C DIR] [--raw] < WORDS > FILE.txt\n"
    "\n"
    "Looks QUERY up in the dictionary files 1.sr to 5.sr exactly as the Velmora\n"
    "window does, and prints the result view: in colour on a terminal, otherwise\n"
    "as plain text. The dictionary folder is DIR, else $VELMORA_DICTIONARY, else\n"
    "the current folder when it holds any of 1.sr..5.sr, else the installed\n"
    "dictionary. QUERY is one line, as typed into the window's query box: with\n"
    "a line break in it, only the text before the break is searched.\n"
    "\n"
    "  -C DIR        search the dictionary in DIR\n"
    "  -x, --extended  the extended search: pinyin (zhongguo, zhong1 guo2,\n"
    "                zhōngguó), English words (green tea), traditional\n"
    "                characters as well as simplified, wildcards over the key\n"
    "                (学*, *学, 中?人), sentences split into words; common\n"
    "                words first; readings shown with tone marks, the\n"
    "                explanation in its own letter case, the traditional form\n"
    "                beside the key; a character GBK lacks makes the query\n"
    "                invalid (never a wildcard)\n"
    "  --tone-digits, --lowercase, --no-traditional\n"
    "                with -x: readings with tone digits, explanations in lower\n"
    "                case, no traditional forms (as the standard search shows)\n"
    "  --plain       the text only, in UTF-8, one line per view line\n"
    "  --html        a standalone HTML page with colours, styles and links; for\n"
    "                one character, its stroke order drawn by velmora-gif\n"
    "  --json        {\"text_hex\", \"text\", \"spans\", \"links\", \"found\",\n"
    "                \"entries\"} on one line; positions are byte positions in the\n"
    "                view's GBK text; each of the entries gives its key, reading,\n"
    "                HSK level, frequency band (1 most frequent .. 5) and, for\n"
    "                a character, radical and strokes (null where unknown)\n"
    "  --raw         take the bytes of QUERY as GBK as they are (default: QUERY is\n"
    "                UTF-8 and is converted; a character GBK lacks becomes \"?\")\n"
    "  --color=WHEN  colour the terminal view: auto (the default: only on a\n"
    "                terminal, and not when NO_COLOR is set or TERM is dumb),\n"
    "                always, or never\n"
    "  --colors=WHICH\n"
    "                which colours: terminal (the terminal's own palette: blue\n"
    "                keys, green explanations, red marks, all bold), 24bit (the\n"
    "                window's exact colours), or auto (the default: 24bit when\n"
    "                COLORTERM is truecolor or 24bit, otherwise terminal)\n"
    "  --batch       read one query per line from standard input (UTF-8, or GBK\n"
    "                with --raw; a CR before the line feed is dropped) and print\n"
    "                one result per query: with --json one object per line with\n"
    "                the \"query\" as read added, otherwise each view followed by\n"
    "                a line holding a form feed. The files are read once.\n"
    "  --handwriting FILE\n"
    "                recognise drawn characters: FILE (- for standard input)\n"
    "                holds one drawing a line, a JSON array of strokes in the\n"
    "                order drawn, each an array of [x, y] points (any box, y\n"
    "                pointing down), e.g. [[[10,50],[90,50]]] for 一. For each\n"
    "                drawing one line of up to 10 candidate characters, best\n"
    "                first, separated by spaces (UTF-8). Strokes may be drawn\n"
    "                out of order, and two written in one go. The characters\n"
    "                are those of the stroke data strokes.bin, in DIR, else in\n"
    "                the dictionary folder, else in the installed data. A line\n"
    "                that is not a drawing (or has more than 64 strokes,\n"
    "                100000 points or 4 MiB) gives an empty line and a message\n"
    "                naming the line on standard error.\n"
    "  --say         say the reading of the first entry found with espeak-ng\n"
    "                (voice cmn-latn-pinyin), and print the entry and what is said\n"
    "  --wav FILE    with --say: write the speech into FILE (WAV) instead\n"
    "  --anki        read one word per line from standard input (UTF-8, or GBK\n"
    "                with --raw) and print an Anki import file (UTF-8, tab\n"
    "                separated, with Anki's header lines): one note per word with\n"
    "                simplified, traditional, reading, meaning, HSK level and a\n"
    "                guid that stays the same, so importing again updates the notes\n"
    "  --help        show this help\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 an entry was found, 1 nothing matched, 2 the query is too\n"
    "short, a dictionary file can't be opened, or the command line is wrong.\n"
    "The view is printed in every case in which a search ran, except when\n"
    "memory ran out (status 2, naming the file being searched). With --batch:\n"
    "0 if any query found an entry, 1 if none did, 2 if a dictionary file\n"
    "could not be opened, memory ran out or the input could not be read or\n"
    "held a line too long; a query that is too short gives its message in its\n"
    "own result. With --handwriting: 0, or 2 when a line was not a drawing, or\n"
    "the stroke data or FILE could not be read. With --say: 0 said, 1 nothing\n"
    "found or no reading, 2 espeak-ng missing (Debian package espeak-ng) or\n"
    "failing. With --anki: 0 every word found, 1 some left out (named on\n"
    "standard error), 2 trouble.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "velmora-lookup: %s\nTry 'velmora-lookup --help'.\n",
               message.c_str());
  return 2;
}

enum class TMode { Terminal, Plain, Html, Json };
enum class TColorWhen { Auto, Always, Never };
enum class TColorKind { Auto, Terminal, TrueColor };

// 24-bit colour only when asked for, or when the terminal says it has it.
TAnsiColors DecideColors(TColorKind kind) {
  if (kind != TColorKind::Auto)
    return kind == TColorKind::TrueColor ? TAnsiColors::TrueColor : TAnsiColors::Palette;
  const char* colorTerm = std::getenv("COLORTERM");
  const bool has = colorTerm && (std::strcmp(colorTerm, "truecolor") == 0 ||
                                 std::strcmp(colorTerm, "24bit") == 0);
  return has ? TAnsiColors::TrueColor : TAnsiColors::Palette;
}

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
  errno = 0;
  const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  return FlushStandardOutput("velmora-lookup", written ? 0 : errno ? errno : EIO);
}

struct TOptions {
  TMode Mode = TMode::Terminal;
  bool Color = false;
  TAnsiColors Colors = TAnsiColors::Palette;
  bool Raw = false;
  bool Extended = false;
  bool Say = false;
  std::string Wav;
  TExtendedDisplay Display;
};

// One search into the view; the query as typed (UTF-8 unless raw).
TSearchOutcome Search(const TOptions& options, const std::string& typed,
                      TMemoryRichEdit& edit, std::string& cleaned) {
  edit.Clear();
  TResultView view(edit);
  const std::string_view line = FirstLine(typed);
  // The extended search reads full-width forms as plain and tone marks
  // composed, capitals lowered, while the text is still Unicode: GBK holds
  // no capital tone-marked vowels.
  std::u32string text = gbk::DecodeUtf8(line);
  if (options.Extended) text = PlainQuery(text);
  TQueryControls controls(options.Raw ? std::string(line) : gbk::Encode(text));
  TSearchQuery query = ReadQuery(controls);
  if (!options.Raw) {
    query.Unencodable = gbk::NameFirstUnencodableUtf8(line);
    // A character read in another form (Ō as ō) is no fault; a byte that
    // is no UTF-8 stays one.
    if (options.Extended && query.Unencodable.starts_with("U+"))
      query.Unencodable = gbk::NameFirstUnencodable(text);
  }
  TSearchOptions search;
  if (options.Extended) search.Kind = TSearchKind::Extended;
  search.Query = std::move(query);
  search.Display = options.Display;
  const TSearchOutcome outcome = RunSearch(controls, view, search);
  cleaned = controls.GetQueryText();
  return outcome;
}

// A query of one double-byte character, whose stroke order the page shows.
bool OneCharacter(const std::string& gbkQuery) {
  return gbkQuery.size() == 2 && static_cast<unsigned char>(gbkQuery[0]) >= 0x81;
}

std::string Render(const TOptions& options, const TMemoryRichEdit& edit,
                   TSearchOutcome outcome, const std::string& cleaned) {
  switch (options.Mode) {
    case TMode::Terminal:
      return options.Color ? ExportAnsi(edit, options.Colors) : ExportPlain(edit);
    case TMode::Plain:
      return ExportPlain(edit);
    case TMode::Json:
      return WithField(ExportJson(edit, outcome == TSearchOutcome::Found), "entries",
                       EntriesJson(edit, SharedDictImages()));
    case TMode::Html: {
      const std::string folder = std::filesystem::current_path().string();
      return ExportHtml(edit, "Velmora: " + gbk::ToUtf8(cleaned), folder,
                        OneCharacter(cleaned)
                            ? StrokeAnimationGif(gbk::ToUtf8(cleaned), folder)
                            : std::string());
    }
  }
  return {};
}

bool Trouble(TSearchOutcome outcome) {
  return outcome == TSearchOutcome::OwnFileMissing ||
         outcome == TSearchOutcome::OtherFileMissing;
}

// Standard error names the folder and the system's reason beside the view's
// own message, which says neither.
void ExplainTrouble(const TDictFolder& folder) {
  for (const std::string& line : DictOpenFailures(folder))
    std::fprintf(stderr, "velmora-lookup: %s\n", line.c_str());
}

// Found: 0, nothing found: 1, a query too short or a file missing: 2.
int ExitStatus(TSearchOutcome outcome) {
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

int RunQuery(const TOptions& options, const std::string& query, TMemoryRichEdit& edit,
             const TDictFolder& folder) {
  std::string cleaned;
  const TSearchOutcome outcome = Search(options, query, edit, cleaned);
  if (Trouble(outcome)) ExplainTrouble(folder);
  if (options.Say) {
    if (Trouble(outcome) || outcome == TSearchOutcome::InvalidQuery) {
      std::fprintf(stderr, "velmora-lookup: %s\n",
                   gbk::ToUtf8(edit.Text().substr(0, edit.Text().find('\r'))).c_str());
      return 2;
    }
    return SayFirstEntry(edit, options.Wav, Write);
  }
  if (!Write(Render(options, edit, outcome, cleaned))) return 2;
  return ExitStatus(outcome);
}

// The longest line --batch takes as a query: room for any sentence, while
// a stray file given as input can't make one query of gigabytes.
constexpr std::size_t kMostBatchLine = 65536;

enum class TLineRead { Line, TooLong, End };

// The next line of in without its line feed (and without a CR before it).
// A line longer than kMostBatchLine is passed over to its end, not kept.
TLineRead ReadBatchLine(std::FILE* in, std::string& line) {
  line.clear();
  int c = EOF;
  bool any = false, tooLong = false;
  while ((c = getc_unlocked(in)) != EOF && c != '\n') {
    any = true;
    if (line.size() <= kMostBatchLine)
      line.push_back(char(c));  // one byte more, for a CR that goes
    else
      tooLong = true;
  }
  if (!any && c == EOF) return TLineRead::End;
  if (!line.empty() && line.back() == '\r' && !tooLong) line.pop_back();
  return tooLong || line.size() > kMostBatchLine ? TLineRead::TooLong : TLineRead::Line;
}

int RunBatch(const TOptions& options, TMemoryRichEdit& edit, const TDictFolder& folder) {
  bool anyFound = false, trouble = false;
  std::string line;
  for (long number = 1;; ++number) {
    const TLineRead read = ReadBatchLine(stdin, line);
    if (read == TLineRead::End) break;
    if (read == TLineRead::TooLong) {
      std::fprintf(stderr,
                   "velmora-lookup: line %ld of standard input is longer than %zu bytes; "
                   "stopped there\n",
                   number, kMostBatchLine);
      return 2;
    }
    std::string cleaned;
    const TSearchOutcome outcome = Search(options, line, edit, cleaned);
    anyFound |= outcome == TSearchOutcome::Found;
    if (Trouble(outcome) && !trouble) ExplainTrouble(folder);
    trouble |= Trouble(outcome);
    std::string out;
    if (options.Mode == TMode::Json) {
      // The query as read: GBK shown as UTF-8, and UTF-8 as it came (bytes
      // that aren't UTF-8 are shown as replacement characters).
      out = WithField(ExportJson(edit, outcome == TSearchOutcome::Found,
                                 options.Raw ? gbk::ToUtf8(line) : line),
                      "entries", EntriesJson(edit, SharedDictImages()));
    } else {
      out = Render(options, edit, outcome, cleaned);
      out += "\f\n";
    }
    if (!Write(out)) return 2;
  }
  if (std::ferror(stdin)) {
    std::fprintf(stderr, "velmora-lookup: can't read the queries: %s\n",
                 std::strerror(errno));
    return 2;
  }
  return trouble ? 2 : anyFound ? 0 : 1;
}

// The command line as given. Parsing stops at --help, --version or the first
// mistake, so what comes before decides.
struct TCommandLine {
  bool Help = false;
  bool Version = false;
  std::string Error;  // the first mistake; empty if none
  TMode Mode = TMode::Terminal;
  bool ModeGiven = false;
  TColorWhen Color = TColorWhen::Auto;
  bool ColorGiven = false;
  TColorKind Colors = TColorKind::Auto;
  bool Raw = false;
  bool Batch = false;
  bool Extended = false;
  bool Say = false;
  bool Anki = false;
  std::optional<std::string> Wav;
  TExtendedDisplay Display;
  std::optional<std::string> Dir;
  std::optional<std::string> Query;
  std::optional<std::string> Handwriting;
};

// --color alone means always; anything but =auto, =always or =never after
// it is a mistake.
std::optional<TColorWhen> ParseColorWhen(const std::string& arg) {
  const std::string when = arg == "--color" ? "always"
                           : arg[7] == '='  ? arg.substr(8)
                                            : "";
  if (when == "auto") return TColorWhen::Auto;
  if (when == "always") return TColorWhen::Always;
  if (when == "never") return TColorWhen::Never;
  return std::nullopt;
}

TCommandLine ParseArguments(int argc, char** argv) {
  TCommandLine line;
  auto fail = [&line](std::string message) {
    line.Error = std::move(message);
    return line;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      line.Help = true;
      return line;
    } else if (arg == "--version") {
      line.Version = true;
      return line;
    } else if (arg == "-C") {
      if (++i >= argc) return fail("-C needs a folder");
      line.Dir = argv[i];
    } else if (arg == "--plain" || arg == "--html" || arg == "--json") {
      const TMode mode = arg == "--plain"  ? TMode::Plain
                         : arg == "--html" ? TMode::Html
                                           : TMode::Json;
      if (line.ModeGiven && line.Mode != mode)
        return fail("choose only one of --plain, --html and --json");
      line.Mode = mode;
      line.ModeGiven = true;
    } else if (arg == "--handwriting") {
      if (++i >= argc) return fail("--handwriting needs a FILE (- for standard input)");
      line.Handwriting = argv[i];
    } else if (arg == "--say") {
      line.Say = true;
    } else if (arg == "--wav") {
      if (++i >= argc) return fail("--wav needs a file");
      line.Wav = argv[i];
    } else if (arg == "--anki") {
      line.Anki = true;
    } else if (arg == "--raw") {
      line.Raw = true;
    } else if (arg == "--batch") {
      line.Batch = true;
    } else if (arg.rfind("--colors=", 0) == 0) {
      const std::string which = arg.substr(9);
      if (which == "terminal") {
        line.Colors = TColorKind::Terminal;
      } else if (which == "24bit") {
        line.Colors = TColorKind::TrueColor;
      } else if (which == "auto") {
        line.Colors = TColorKind::Auto;
      } else {
        return fail("--colors takes terminal, 24bit or auto");
      }
    } else if (arg == "--extended" || arg == "-x") {
      line.Extended = true;
    } else if (arg == "--tone-digits") {
      line.Display.ToneMarks = false;
    } else if (arg == "--lowercase") {
      line.Display.OwnCase = false;
    } else if (arg == "--no-traditional") {
      line.Display.Traditional = false;
    } else if (arg.rfind("--color", 0) == 0) {
      const std::optional<TColorWhen> when = ParseColorWhen(arg);
      if (!when)
        return fail(arg[7] == '=' ? "--color takes auto, always or never"
                                  : "unknown option " + arg);
      line.Color = *when;
      line.ColorGiven = true;
    } else if (arg == "--") {
      if (i + 1 < argc) {
        if (line.Query || i + 2 < argc) return fail("give exactly one QUERY");
        line.Query = argv[++i];
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else {
      if (line.Query) return fail("give exactly one QUERY (quote it if it has spaces)");
      line.Query = arg;
    }
  }
  return line;
}

// Options that are each fine but don't go together; empty if none.
std::string CheckCombination(const TCommandLine& line) {
  if (line.Handwriting) {
    if (line.Query || line.Batch || line.ModeGiven || line.ColorGiven || line.Raw ||
        line.Extended || line.Say || line.Anki)
      return "--handwriting takes only -C DIR";
    return {};
  }
  if (line.Wav && !line.Say) return "--wav goes with --say";
  if (line.Say && (line.Batch || line.Anki || line.ModeGiven))
    return "--say takes one QUERY and prints no view";
  if (line.Anki) {
    if (line.Batch || line.ModeGiven || line.Extended)
      return "--anki reads words and prints only the Anki file";
    if (line.Query) return "--anki reads its words from standard input";
    return {};
  }
  if (line.Batch) {
    if (line.Query) return "--batch reads its queries from standard input";
    if (line.Mode == TMode::Html) return "--batch takes --plain or --json";
  } else if (!line.Query) {
    return "no QUERY given";
  }
  if (line.ColorGiven && line.Color == TColorWhen::Always && line.Mode != TMode::Terminal)
    return "--color=always colours only the terminal view";
  return {};
}

// The colour is decided once, for the terminal view only.
TOptions DecideOptions(const TCommandLine& line) {
  TOptions options;
  options.Mode = line.Mode;
  options.Color = line.Mode == TMode::Terminal && UseColor(line.Color);
  options.Colors = DecideColors(line.Colors);
  options.Raw = line.Raw;
  options.Extended = line.Extended;
  options.Say = line.Say;
  options.Wav = line.Wav.value_or("");
  options.Display = line.Display;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const TCommandLine line = ParseArguments(argc, argv);
  if (line.Help) return Write(kUsage) ? 0 : 2;
  if (line.Version) return Write("velmora-lookup " VELMORA_VERSION "\n") ? 0 : 2;
  if (!line.Error.empty()) return UsageError(line.Error);
  if (const std::string error = CheckCombination(line); !error.empty())
    return UsageError(error);
  if (line.Handwriting) return RunHandwriting(*line.Handwriting, line.Dir);
  const TOptions options = DecideOptions(line);
  // Files are opened relative to the current folder, as in the window.
  const TDictFolder folder = ChooseDictFolder(line.Dir);
  if (const std::string error = EnterDictFolder(folder); !error.empty())
    return UsageError(error);
  if (folder.Source == TDictFolderSource::Installed)
    std::fprintf(stderr, "velmora-lookup: using %s (%s)\n", folder.Path.c_str(),
                 folder.Why().c_str());

  TMemoryRichEdit edit;
  edit.SetAutoUrlDetect(true);  // as the window switches it on
  try {
    if (line.Anki) return WriteAnkiFile(std::cin, options.Raw, SharedDictImages(), Write);
    return line.Batch ? RunBatch(options, edit, folder)
                      : RunQuery(options, *line.Query, edit, folder);
  } catch (const EOutOfMemory& e) {
    // Raised by the search, naming the file it was searching.
    std::fprintf(stderr, "velmora-lookup: %s in %s\n", e.what(), folder.Path.c_str());
  } catch (const std::bad_alloc&) {
    std::fprintf(
        stderr,
        "velmora-lookup: out of memory while writing the result of searching %s\n",
        folder.Path.c_str());
  }
  return 2;
}
