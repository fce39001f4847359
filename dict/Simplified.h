// Traditional characters to simplified ones, for queries. The dictionary
// keys are in simplified characters; a query typed in traditional ones is
// looked up in both forms.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The query (GBK) with its traditional characters turned into simplified
// ones, by OpenCC's traditional-to-simplified conversion (phrases first,
// then characters). A query that holds none comes back unchanged, as does
// any query when the conversion's data can't be loaded. Loaded on first
// use: a search that never asks pays nothing.
std::string ToSimplified(std::string_view gbk);

}  // namespace velmora
