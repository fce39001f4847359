// Helpers that every view implementation shares, so that they agree on where
// lines break, where characters start and what counts as a link.
#pragma once

#include <string_view>
#include <vector>

#include "platform/richedit/RichEdit.h"

namespace velmora::richedit {

// Width of the line break starting at text[i]: 2 for CR LF, 1 for a lone CR
// or LF, 0 when text[i] is no break.
inline int BreakWidthAt(std::string_view text, size_t i) {
  if (text[i] == '\n') return 1;
  if (text[i] != '\r') return 0;
  return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
}

// Links in text, by byte offset from its start. A link begins, on a character
// boundary, with one of the known prefixes in any letter case, and runs to the
// first space, tab, CR, LF or the end of text. A prefix with nothing after it
// is no link.
std::vector<TLinkRange> FindLinks(std::string_view text);

// The selection a view keeps for a request of (start, length) over a text of
// size positions: a start outside the text or a negative length gives an
// empty selection at the nearest valid position; a length past the end stops
// at the end.
struct TSelectionRange {
  int Start;
  int Length;
};
inline TSelectionRange ClampSelection(int start, int length, int size) {
  if (start < 0 || start > size || length < 0)
    return {start < 0 ? 0 : start > size ? size : start, 0};
  return {start, length < size - start ? length : size - start};
}

}  // namespace velmora::richedit
