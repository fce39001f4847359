// The search: query cleaning, the three passes over 1.sr..5.sr and the
// coloured output. Written once against these seams, so that the window and
// the command-line tool run the same code.
#pragma once

#include <string>
#include <utility>

#include "dict/ResultView.h"

namespace velmora {

// Set by the stop command, cleared by a search when it starts, polled before
// every dictionary line. GUI thread only.
extern bool StopRequested;

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

// Runs one whole search (the search button's click action). Files are opened
// relative to the current folder. Between lines it calls
// Application().ProcessMessages().
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view);

}  // namespace velmora
