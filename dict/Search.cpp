#include "dict/Search.h"

#include <string>
#include <string_view>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Query.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"

namespace velmora {

bool StopRequested = false;

namespace {

// Enables the search button again on every way out of a search.
class TSearchButtonGuard {
 public:
  explicit TSearchButtonGuard(ISearchControls& controls) : controls_(controls) {
    controls_.SetSearchEnabled(false);
  }
  ~TSearchButtonGuard() { controls_.SetSearchEnabled(true); }
  TSearchButtonGuard(const TSearchButtonGuard&) = delete;
  TSearchButtonGuard& operator=(const TSearchButtonGuard&) = delete;

 private:
  ISearchControls& controls_;
};

void ShowFailure(TResultView& view, std::string_view message) {
  view.AppendLine(message);
  view.HighlightAdded(message, 2, clRed);
}

enum class TForm { Key, Explanation };

void ShowEntry(TResultView& view, const TEntry& entry, const std::string& query,
               TForm form) {
  view.AppendLine(entry.Key);
  view.HighlightAdded(entry.Key, 2, 0);
  if (form == TForm::Key) view.HighlightMatches(entry.Key, query, 3, MatchColor);
  const std::string text = DisplayExplanation(entry.Explanation);
  std::string line;
  line.reserve(texts::kIndent.size() + text.size() + 1);
  line.append(texts::kIndent).append(text).append("\n");
  view.AppendLine(line);
  // 3: the line feed after the text and the line's own break.
  view.HighlightAdded(text, 3, ExplanationColor);
  if (form == TForm::Explanation) view.HighlightMatches(text, query, 4, MatchColor);
}

}  // namespace

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view) {
  TSearchButtonGuard searchButton(controls);
  StopRequested = false;
  controls.SetStopEnabled(true);
  const std::string query = CleanQuery(controls.GetQueryText());
  controls.SetQueryText(query);

  view.ClearView();
  view.View().SetParagraphIndents(6, 22);
  if (query.size() < 2) {
    ShowFailure(view, texts::kInvalidQuery);
    return TSearchOutcome::InvalidQuery;
  }

  const int ownFile = OwnFileNumber(query);
  TDictFile file;
  if (!file.Open(DictFileName(ownFile))) {
    ShowFailure(view, texts::kOwnFileMissing);
    return TSearchOutcome::OwnFileMissing;
  }

  std::string heading;
  heading.append(texts::kHeadingBefore).append(query).append(texts::kHeadingAfter);
  view.AppendLine(heading);
  view.HighlightAdded(heading, 2, clBlue);
  // 14: the bytes after the query in the heading and the line's break.
  view.HighlightAdded(query, 14, MatchColor);
  view.View().SetSelStyle(fsBold | fsUnderline);
  // The heading's closing highlight counts back past the start of the view
  // (line 0 starts at 0, so its start is -2). We keep the call but let it
  // format nothing: the heading stays exactly blue and bold with its query
  // marked, and the status line below stays plain. Formatting the clipped
  // span instead would paint over the marked query.
  view.HighlightAdded(heading, 4, clBlue);
  view.AppendLine(texts::kSearching);

  const TMatcher matcher(query);
  bool found = false;
  for (int pass = 1; pass <= 3; ++pass) {
    for (int number = 1; number <= 5; ++number) {
      if (pass == 1 && number != ownFile) continue;
      if (pass == 2 && number == ownFile) continue;
      const std::string name = DictFileName(number);
      if (pass > 1 && !file.Open(name)) {
        std::string message(texts::kFileMissing);
        view.ReplaceLine(0, message.append(name));
        return TSearchOutcome::OtherFileMissing;
      }
      std::string_view line;
      while (file.ReadLine(line)) {
        if (StopRequested) {
          file.Close();
          return TSearchOutcome::Stopped;
        }
        const TEntry entry = SplitLine(line);
        const bool keyMatch = matcher.In(entry.Key);
        if (pass < 3 ? keyMatch : !keyMatch && matcher.In(entry.Explanation)) {
          found = true;
          ShowEntry(view, entry, query, pass < 3 ? TForm::Key : TForm::Explanation);
        }
        Application().ProcessMessages();
      }
      file.Close();
    }
  }

  view.ReplaceLine(1, texts::kFinished);
  if (!found) ShowFailure(view, texts::kNotFound);
  return found ? TSearchOutcome::Found : TSearchOutcome::NotFound;
}

}  // namespace velmora
