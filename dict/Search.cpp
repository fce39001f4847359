#include "dict/Search.h"

#include "dict/DictFile.h"
#include "dict/ExtendedSearch.h"
#include "dict/StandardSearch.h"

namespace velmora {

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         const TSearchOptions& options) {
  const TSearchQuery query = options.Query ? *options.Query : ReadQuery(controls);
  TSearchRun run(controls, view, options.Images ? *options.Images : SharedDictImages(),
                 options.Pacing);
  const bool extended = options.Kind == TSearchKind::Extended;
  // The extended search leaves the query box as typed: with results as you
  // type, rewriting it would move the caret under the user's hands.
  if (!extended) controls.SetQueryText(query.Cleaned);
  view.ClearView();
  view.View().SetParagraphIndents(6, 22);
  return extended ? RunExtendedSearch(run, query, options.Display)
                  : RunStandardSearch(run, query.Cleaned);
}

}  // namespace velmora
