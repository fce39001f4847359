#include "dict/Search.h"

#include <new>
#include <string>

#include "dict/DictFile.h"
#include "dict/ExtendedSearch.h"
#include "dict/StandardSearch.h"
#include "platform/classes/SysUtils.h"

namespace velmora {

TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         const TSearchOptions& options) {
  const TSearchQuery query = options.Query ? *options.Query : ReadQuery(controls);
  TSearchRun run(controls, view, options.Images ? *options.Images : SharedDictImages(),
                 options.Pacing);
  // Memory that runs out is reported as the class library reports it,
  // naming the file that was being searched.
  try {
    const bool extended = options.Kind == TSearchKind::Extended;
    // The extended search leaves the query box as typed: with results as you
    // type, rewriting it would move the caret under the user's hands.
    if (!extended) controls.SetQueryText(query.Cleaned);
    view.ClearView();
    view.View().SetParagraphIndents(6, 22);
    return extended ? RunExtendedSearch(run, query, options.Display)
                    : RunStandardSearch(run, query.Cleaned);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(
        "Out of memory while searching " +
        (run.Opened() ? DictFileName(run.Opened()) : std::string("the query")));
  }
}

}  // namespace velmora
