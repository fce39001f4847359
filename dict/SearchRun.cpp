#include "dict/SearchRun.h"

#include <string>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Query.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"

namespace velmora {

bool StopRequested = false;

namespace {

// Counts the searches started, of either kind.
unsigned searchesStarted = 0;

void ShowFailure(TResultView& view, std::string_view message) {
  view.AppendLine(message);
  view.HighlightAdded(message, 2, clRed);
}

}  // namespace

TSearchQuery ReadQuery(ISearchControls& controls) {
  TSearchQuery query;
  query.Typed = FirstLine(controls.GetQueryText());
  query.Cleaned = CleanQuery(query.Typed);
  return query;
}

TSearchRun::TSearchRun(ISearchControls& controls, TResultView& view, TDictImages& images,
                       const TSearchPacing& pacing)
    : controls_(controls),
      view_(view),
      images_(images),
      pacing_(pacing),
      generation_(++searchesStarted) {
  controls_.SetSearchEnabled(false);
  StopRequested = false;
  controls_.SetStopEnabled(true);
  last_ = Clock::now();
}

TSearchRun::~TSearchRun() {
  // The search button comes back on every way out of a search.
  controls_.SetSearchEnabled(true);
}

bool TSearchRun::Stopped(bool shown) {
  if (!shown && Clock::now() - last_ < pacing_.Interval) return false;
  Application().ProcessMessages();
  last_ = Clock::now();
  return Superseded();
}

bool TSearchRun::Superseded() const {
  return StopRequested || searchesStarted != generation_;
}

std::shared_ptr<const TDictImage> TSearchRun::Open(int number) {
  opened_ = number;
  return images_.Open(DictFileName(number));
}

TSearchOutcome TSearchRun::OwnFileMissing() {
  ShowFailure(view_, texts::kOwnFileMissing);
  return TSearchOutcome::OwnFileMissing;
}

TSearchOutcome TSearchRun::OtherFileMissing(int number) {
  std::string message(texts::kFileMissing);
  view_.ReplaceLine(0, message.append(DictFileName(number)));
  return TSearchOutcome::OtherFileMissing;
}

TSearchOutcome TSearchRun::InvalidQuery() {
  ShowFailure(view_, texts::kInvalidQuery);
  return TSearchOutcome::InvalidQuery;
}

void TSearchRun::ShowHeading(const std::string& shown) {
  std::string heading;
  heading.append(texts::kHeadingBefore).append(shown).append(texts::kHeadingAfter);
  view_.AppendLine(heading);
  view_.HighlightAdded(heading, 2, clBlue);
  // 14: the bytes after the query in the heading and the line's break.
  view_.HighlightAdded(shown, 14, MatchColor);
  view_.View().SetSelStyle(fsBold | fsUnderline);
  // The heading's closing highlight counts back past the start of the view
  // (line 0 starts at 0, so its start is -2). We keep the call but let it
  // format nothing: the heading stays exactly blue and bold with its query
  // marked, and the status line below stays plain. Formatting the clipped
  // span instead would paint over the marked query.
  view_.HighlightAdded(heading, 4, clBlue);
  view_.AppendLine(texts::kSearching);
}

TSearchOutcome TSearchRun::Finish(bool found) {
  view_.ReplaceLine(1, texts::kFinished);
  if (!found) ShowFailure(view_, texts::kNotFound);
  return found ? TSearchOutcome::Found : TSearchOutcome::NotFound;
}

void ShowKey(TResultView& view, std::string_view key) {
  view.AppendLine(key);
  view.HighlightAdded(key, 2, 0);
}

TShownText ShowExplanation(TResultView& view, std::string_view explanation) {
  return ShowExplanationText(view, DisplayExplanation(explanation));
}

TShownText ShowExplanationText(TResultView& view, std::string shownText) {
  TShownText shown{std::move(shownText), 0};
  const std::string& text = shown.Text;
  std::string line;
  line.reserve(texts::kIndent.size() + text.size() + 1);
  line.append(texts::kIndent).append(text).append("\n");
  view.AppendLine(line);
  // 3: the line feed after the text and the line's own break.
  view.HighlightAdded(text, 3, ExplanationColor);
  shown.Start = view.LastLineStart() - 3 - int(text.size());
  return shown;
}

}  // namespace velmora
