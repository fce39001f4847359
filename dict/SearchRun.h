// What every search is written against: the controls it touches besides the
// view, the query as it reads it, its options and outcome, and the run that
// one search carries from its start to its end (pacing, stopping, the lines
// every search writes the same way). The searches include this header and
// never each other; the dispatcher (dict/Search.h) includes them all.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dict/ResultView.h"

namespace velmora {

// Set by the stop command, cleared by a search when it starts, and looked at
// whenever pending messages have run and before every entry is shown. GUI
// thread only.
extern bool StopRequested;

// How a search keeps the window responsive. Pending messages run after every
// entry shown and, while the scan finds nothing to show, once Interval has
// passed; the clock is read at least every SliceBytes of scanning and after
// every line tested. Tests shorten both.
struct TSearchPacing {
  std::size_t SliceBytes = std::size_t(1) << 20;
  std::chrono::nanoseconds Interval = std::chrono::milliseconds(10);
};

class TDictImage;
class TDictImages;

// What the search touches besides the view.
class ISearchControls {
 public:
  virtual ~ISearchControls() = default;
  virtual std::string GetQueryText() = 0;  // GBK
  virtual void SetQueryText(const std::string& text) = 0;
  virtual void SetSearchEnabled(bool enabled) = 0;
  virtual void SetStopEnabled(bool enabled) = 0;
};

// Controls without a window (the command-line tool, benchmarks): the query
// box is a string and there are no buttons to enable.
class TQueryControls : public ISearchControls {
 public:
  explicit TQueryControls(std::string query) : query_(std::move(query)) {}
  std::string GetQueryText() override { return query_; }
  void SetQueryText(const std::string& text) override { query_ = text; }
  void SetSearchEnabled(bool) override {}
  void SetStopEnabled(bool) override {}

 private:
  std::string query_;
};

enum class TSearchOutcome {
  InvalidQuery,      // cleaned query shorter than 2 bytes
  OwnFileMissing,    // the query's own file could not be opened
  OtherFileMissing,  // a file of pass 2 or 3 could not be opened
  Stopped,
  Found,
  NotFound,
};

// Which search a call runs. The standard search is the default and is never
// changed by the other; the extended search also reads pinyin readings,
// English words, traditional characters and wildcards, and is turned on only
// by an explicit choice (the window's menu item, velmora-lookup --extended).
enum class TSearchKind { Standard, Extended };

// The query box as one search reads it, once, at its start: the text as
// typed and that text cleaned. A caller that needs the query before the
// search runs (the window, for its history) reads it and hands it on, so
// that the box is read and cleaned once per search.
// The box holds one line: ReadQuery reads up to the first line break.
struct TSearchQuery {
  std::string Typed;    // GBK, as in the box
  std::string Cleaned;  // CleanQuery(Typed)
  // The first character typed that GBK cannot hold (it came as "?"), named
  // ("U+00F1"); empty when there is none. Known only where the text was
  // still Unicode, so the window and the tools set it. The extended search
  // refuses such a query rather than read "?" as a wildcard.
  std::string Unencodable;
};
TSearchQuery ReadQuery(ISearchControls& controls);

// How the extended search shows its entries, as learners read them; the
// standard search ignores it. Each is a choice the window keeps.
struct TExtendedDisplay {
  bool ToneMarks = true;    // [zhōng guó] for [zhong1 guo2], ü for u:
  bool OwnCase = true;      // the explanation's letter case, not lowered
  bool Traditional = true;  // the traditional form beside the key
  friend bool operator==(const TExtendedDisplay&, const TExtendedDisplay&) = default;
};

struct TSearchOptions {
  TSearchOptions(TSearchKind kind = TSearchKind::Standard) : Kind(kind) {}
  TSearchKind Kind;
  TSearchPacing Pacing;
  // Where the files' bytes come from; none: the images kept for the whole
  // process, so that a second search of unchanged files reads nothing.
  TDictImages* Images = nullptr;
  // The query read ahead by the caller; none: the search reads the box.
  std::optional<TSearchQuery> Query;
  TExtendedDisplay Display;
};

// One search from its start to its end. Made when a search starts: the
// search button goes off until the run ends, however it ends, the stop flag
// is cleared and the stop button enabled. A run also counts the searches
// started, so that one that lets messages run learns whether a newer search
// ran inside them (results as you type start one per keystroke); it then
// ends without writing more, and an older search never appends to the newer
// one's view.
class TSearchRun {
 public:
  TSearchRun(ISearchControls& controls, TResultView& view, TDictImages& images,
             const TSearchPacing& pacing);
  ~TSearchRun();
  TSearchRun(const TSearchRun&) = delete;
  TSearchRun& operator=(const TSearchRun&) = delete;

  ISearchControls& Controls() { return controls_; }
  TResultView& View() { return view_; }
  const TSearchPacing& Pacing() const { return pacing_; }
  // The images the files' bytes come from, for the side tables.
  TDictImages& Images() { return images_; }

  // Lets pending messages run after every entry shown and otherwise whenever
  // the interval has passed; says whether this search must end.
  bool Stopped(bool shown);
  // A stop was asked for, or a newer search started.
  bool Superseded() const;

  // The file of the given number (1..5), opened at its turn; none when it
  // cannot be opened. Its bytes stay valid while the pointer is held.
  std::shared_ptr<const TDictImage> Open(int number);
  // The number of the file opened last (0: none yet): the one being searched.
  int Opened() const { return opened_; }
  // What a search reports when it cannot open its first file (nothing
  // else is written), or a later one (named in the heading's place).
  TSearchOutcome OwnFileMissing();
  TSearchOutcome OtherFileMissing(int number);
  // The heading that names what is searched, with the status line below it.
  void ShowHeading(const std::string& shown);
  // The status line says the search is over; the not-found line follows
  // when nothing was listed.
  TSearchOutcome Finish(bool found);
  TSearchOutcome InvalidQuery();

 private:
  using Clock = std::chrono::steady_clock;
  ISearchControls& controls_;
  TResultView& view_;
  TDictImages& images_;
  const TSearchPacing pacing_;
  const unsigned generation_;
  Clock::time_point last_;
  int opened_ = 0;
};

// The lines of one entry as every search writes them. The key line, blue;
// then the explanation line, indented and green, whose shown text (links
// reduced to their text) and the view position of its first byte are
// returned, so that a search can mark its matches in it.
void ShowKey(TResultView& view, std::string_view key);
struct TShownText {
  std::string Text;
  int Start = 0;
};
TShownText ShowExplanation(TResultView& view, std::string_view explanation);
// The same with the text to show already made.
TShownText ShowExplanationText(TResultView& view, std::string text);

}  // namespace velmora
