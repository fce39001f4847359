// The standard search: the cleaned query's bytes looked for in the keys of
// its own file (the one whose keys have its character count), then in the
// keys of the other four, then in the explanations of all five; every
// entry listed as it is found, the query marked in it.
#pragma once

#include <string>

#include "dict/SearchRun.h"

namespace velmora {

// query: cleaned. The run has started and the view is empty.
TSearchOutcome RunStandardSearch(TSearchRun& run, const std::string& query);

}  // namespace velmora
