// Cleaning the typed query and choosing the dictionary file it is looked up
// in first.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Removes every printable ASCII character ("!" to "~") that stands as a
// character of its own. Spaces, control characters and double-byte
// characters stay, including double-byte characters whose second byte lies
// in that range.
std::string CleanQuery(std::string_view query);

// The query's byte length divided by 2, capped at 5: the file that holds keys
// of the query's own character count.
int OwnFileNumber(std::string_view query);

}  // namespace velmora
