#include "dict/Search.h"

#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/ExtendedSearch.h"
#include "dict/Query.h"
#include "dict/SearchSteps.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/classes/SysUtils.h"

namespace velmora {

bool StopRequested = false;
unsigned SearchGeneration = 0;
TSearchPacing SearchPacing;

namespace {

using search::ShowFailure;
using search::ShowHeading;
using search::TCandidateMemo;
using search::TScanEnd;

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

// Lets pending messages run after every entry shown and otherwise whenever
// the interval has passed; says whether a stop was asked for meanwhile.
class TPacer {
 public:
  TPacer() : last_(Clock::now()) {}
  bool Stopped(bool shown) {
    const Clock::time_point now = Clock::now();
    if (!shown && now - last_ < SearchPacing.Interval) return false;
    Application().ProcessMessages();
    last_ = Clock::now();
    return StopRequested;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point last_;
};

// What one standard search carries from file to file and line to line:
// the cleaned query, how it is matched and found, where it is shown, its
// pacing and whether anything was shown.
class TScan {
 public:
  TScan(const std::string& query, TResultView& view)
      : query_(query),
        matcher_(query),
        // Candidates are found by their exact bytes; a query with letters
        // (never a cleaned one) makes every line a candidate.
        finder_(matcher_.Exact() ? std::string_view(query) : ""),
        view_(view) {}

  // One pass over one file: only the lines that hold the query's bytes are
  // split and tested.
  TScanEnd File(const std::shared_ptr<const TDictImage>& image, int pass,
                TCandidateMemo& memo) {
    return search::ScanFile<TCandidateLines>(
        image, pass, finder_, memo, [this] { return pacer_.Stopped(false); },
        [this, pass](std::string_view line) { return Line(line, pass); });
  }

  bool Found() const { return found_; }

 private:
  // Tests one candidate line for the pass and shows it when it passes.
  TScanEnd Line(std::string_view line, int pass) {
    const TEntry entry = SplitLine(line);
    const bool keyMatch = matcher_.In(entry.Key);
    bool shown = false;
    if (pass < 3 ? keyMatch : !keyMatch && matcher_.In(entry.Explanation)) {
      // A stop asked for by anything but our own message runs still comes
      // before the next entry.
      if (StopRequested) return TScanEnd::Stopped;
      found_ = true;
      ShowEntry(view_, entry, query_, pass < 3 ? TForm::Key : TForm::Explanation);
      shown = true;
    }
    return pacer_.Stopped(shown) ? TScanEnd::Stopped : TScanEnd::Done;
  }

  const std::string& query_;
  const TMatcher matcher_;
  const TSubstringFinder finder_;
  TResultView& view_;
  TPacer pacer_;
  bool found_ = false;
};

TSearchOutcome RunStandardSearch(ISearchControls& controls, TResultView& view,
                                 TDictImages& images, const std::string& query) {
  // The search button comes back on every way out of a search.
  controls.SetSearchEnabled(false);
  TScopeGuard enableSearch([&controls] { controls.SetSearchEnabled(true); });
  ++SearchGeneration;
  StopRequested = false;
  controls.SetStopEnabled(true);
  controls.SetQueryText(query);

  view.ClearView();
  view.View().SetParagraphIndents(6, 22);
  if (query.size() < 2) {
    ShowFailure(view, texts::kInvalidQuery);
    return TSearchOutcome::InvalidQuery;
  }

  return search::ScanThreePasses(query, view, images, [&] { return TScan(query, view); });
}

}  // namespace

TSearchQuery ReadQuery(ISearchControls& controls) {
  TSearchQuery query;
  query.Typed = controls.GetQueryText();
  query.Cleaned = CleanQuery(query.Typed);
  return query;
}

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view) {
  return RunSearch(controls, view, SharedDictImages());
}

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images) {
  return RunSearch(controls, view, images, TSearchOptions{});
}

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images, const TSearchOptions& options) {
  return RunSearch(controls, view, images, options, ReadQuery(controls));
}

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         TDictImages& images, const TSearchOptions& options,
                         const TSearchQuery& query) {
  // Memory that runs out is reported as the class library reports it,
  // naming the file that was being searched.
  try {
    if (options.Kind == TSearchKind::Extended)
      return RunExtendedSearch(controls, view, images, query);
    return RunStandardSearch(controls, view, images, query.Cleaned);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while searching " + images.LastOpened());
  }
}

}  // namespace velmora
