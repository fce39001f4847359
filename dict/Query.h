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

// The query box holds one line: text with a line break in it (a paste from a
// terminal or an editor, a query from the command line) is read up to its
// first break, LF or CR LF; a lone CR is text, as in the result view. Neither
// byte occurs inside a GBK or UTF-8 character.
std::string_view FirstLine(std::string_view text);

// The extended search reads a query without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// The extended search's message for a query that held a character GBK
// cannot hold, which came as "?" (see gbk::NameFirstUnencodable for name).
std::string UnencodableQueryMessage(std::string_view name);

// The query's byte length divided by 2, capped at 5: the file that holds keys
// of the query's own character count.
int OwnFileNumber(std::string_view query);

}  // namespace velmora
