// The search: query cleaning, the three passes over 1.sr..5.sr and the
// coloured output. Written once against these seams, so that the window and
// the command-line tool run the same code.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>

#include "dict/ResultView.h"

namespace velmora {

// Set by the stop command, cleared by a search when it starts, and looked at
// whenever pending messages have run and before every entry is shown. GUI
// thread only.
extern bool StopRequested;

// Counts the searches started, of either kind. A search that sees it
// changed after letting messages run knows that a newer search ran inside
// it (the extended search then ends without writing more).
extern unsigned SearchGeneration;

// How a search keeps the window responsive. Pending messages run after every
// entry shown and, while the scan finds nothing to show, once Interval has
// passed; the clock is read at least every SliceBytes of scanning and after
// every line tested. Tests shorten both.
struct TSearchPacing {
  std::size_t SliceBytes = std::size_t(1) << 20;
  std::chrono::nanoseconds Interval = std::chrono::milliseconds(10);
};
extern TSearchPacing SearchPacing;

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

struct TSearchOptions {
  TSearchKind Kind = TSearchKind::Standard;
};

// The query box as one search reads it, once, at its start: the text as
// typed and that text cleaned. A caller that needs the query before the
// search runs (the window, for its history) reads it and hands it on, so
// that the box is read and cleaned once per search.
struct TSearchQuery {
  std::string Typed;    // GBK, as in the box
  std::string Cleaned;  // CleanQuery(Typed)
};
TSearchQuery ReadQuery(ISearchControls& controls);

// Runs one whole search (the search button's click action). Files are opened
// relative to the current folder, each at its turn in each pass; their bytes
// come from images, by default the ones kept for the whole process, so that a
// second search of unchanged files reads nothing. Pending messages run
// through Application().ProcessMessages(). Raises EOutOfMemory when memory
// runs out.
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view);
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images);
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images, const TSearchOptions& options);
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images, const TSearchOptions& options,
                         const TSearchQuery& query);

}  // namespace velmora
