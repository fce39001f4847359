// The search: query cleaning, the three passes over 1.sr..5.sr and the
// coloured output. Written once against the contract of dict/SearchRun.h,
// so that the window and the command-line tool run the same code; this is
// the one place that knows both kinds of search.
#pragma once

#include "dict/SearchRun.h"

namespace velmora {

// Runs one whole search (the search button's click action) of the kind the
// options ask for. Files are opened relative to the current folder, each at
// its turn in each pass. Pending messages run through
// Application().ProcessMessages(). Raises EOutOfMemory, naming the file it
// was searching, when memory runs out.
TSearchOutcome RunSearch(ISearchControls& controls, TResultView& view,
                         const TSearchOptions& options = {});

}  // namespace velmora
