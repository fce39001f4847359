#include "dict/StandardSearch.h"

#include <memory>
#include <string>
#include <string_view>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/SearchSteps.h"

namespace velmora {

namespace {

using search::TCandidateMemo;
using search::TScanEnd;

enum class TForm { Key, Explanation };

void ShowEntry(TResultView& view, const TEntry& entry, const std::string& query,
               TForm form) {
  ShowKey(view, entry.Key);
  if (form == TForm::Key) view.HighlightMatches(entry.Key, query, 3, MatchColor);
  const std::string text = ShowExplanation(view, entry.Explanation).Text;
  if (form == TForm::Explanation) view.HighlightMatches(text, query, 4, MatchColor);
}

// What one standard search carries from file to file and line to line:
// the cleaned query, how it is matched and found, where it is shown, its
// run and whether anything was shown.
class TScan {
 public:
  TScan(const std::string& query, TSearchRun& run)
      : query_(query),
        matcher_(query),
        // Candidates are found by their exact bytes; a query with letters
        // (never a cleaned one) makes every line a candidate.
        finder_(matcher_.Exact() ? std::string_view(query) : ""),
        run_(run) {}

  // One pass over one file: only the lines that hold the query's bytes are
  // split and tested.
  TScanEnd File(const std::shared_ptr<const TDictImage>& image, int pass,
                TCandidateMemo& memo) {
    return search::ScanFile<TCandidateLines>(
        image, pass, finder_, memo, run_.Pacing().SliceBytes,
        [this] { return run_.Stopped(false); },
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
      if (run_.Superseded()) return TScanEnd::Stopped;
      found_ = true;
      ShowEntry(run_.View(), entry, query_, pass < 3 ? TForm::Key : TForm::Explanation);
      shown = true;
    }
    return run_.Stopped(shown) ? TScanEnd::Stopped : TScanEnd::Done;
  }

  const std::string& query_;
  const TMatcher matcher_;
  const TSubstringFinder finder_;
  TSearchRun& run_;
  bool found_ = false;
};

}  // namespace

TSearchOutcome RunStandardSearch(TSearchRun& run, const std::string& query) {
  return search::ScanThreePasses(query, run, [&] { return TScan(query, run); });
}

}  // namespace velmora
