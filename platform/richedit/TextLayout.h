// Helpers that every view implementation shares, so that they agree on where
// lines break, where characters start and what counts as a link.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/richedit/RichEdit.h"

namespace velmora::richedit {

// Width of the line break starting at text[i]: 2 for CR LF, 1 for a lone LF,
// 0 when text[i] is no break. A lone CR is an ordinary byte of its line.
inline int BreakWidthAt(std::string_view text, size_t i) {
  if (text[i] == '\n') return 1;
  return text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 0;
}

// Text as other programs take it from the clipboard: each CR LF break
// becomes LF (a terminal or editor would show the CR as ^M). Lone LFs and
// lone CRs stay.
std::string PlainTextForCopy(std::string_view text);

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

// Where a selection [start, end) goes when the text [from, to) is replaced by
// newLength bytes, as a rich edit control moves it: a bound after the
// replaced text moves by the change in length, one before it stays, and one
// inside it goes to its start. Text put in where a selection begins or ends
// stays outside it; an empty selection (a caret) goes after it. So the span
// formatted last still holds the same bytes after a status line above it was
// rewritten.
inline TSelectionRange SelectionAfterReplace(int start, int end, int from, int to,
                                             int newLength) {
  const int delta = newLength - (to - from);
  auto moveStart = [&](int p) { return p >= to ? p + delta : p <= from ? p : from; };
  if (start == end) return {moveStart(start), 0};
  const int newStart = moveStart(start);
  const int newEnd = end > to || (end == to && to > from) ? end + delta
                     : end <= from                        ? end
                                                          : from;
  return {newStart, newEnd > newStart ? newEnd - newStart : 0};
}

// Lines by the first position of each (line 0 starts at 0): the line holding
// pos, the last one for a position past the end and line 0 for one before
// the start; and the first position of a line, -1 when it does not exist.
inline int LineHolding(const std::vector<int>& lineStarts, int pos) {
  if (pos >= lineStarts.back()) return int(lineStarts.size()) - 1;  // the usual question
  auto it = std::upper_bound(lineStarts.begin(), lineStarts.end(), pos);
  return it == lineStarts.begin() ? 0 : int(it - lineStarts.begin()) - 1;
}
inline int LineStart(const std::vector<int>& lineStarts, int line) {
  return line >= 0 && line < int(lineStarts.size()) ? lineStarts[line] : -1;
}

}  // namespace velmora::richedit

namespace velmora::richedit {

// Heights of the lines of a view, with the top of any line and the line at
// any height in O(log n), so that a view of many thousand lines can place
// what it shows without adding them all up. Appending is O(log n); changing
// the number of lines in the middle rebuilds it in O(n).
class THeightIndex {
 public:
  int Size() const { return int(heights_.size()); }
  int Height(int line) const { return heights_[line]; }
  // Sum of all heights.
  long long Total() const { return total_; }
  // Sum of the heights of lines [0, line).
  long long Top(int line) const;
  // The line whose span [Top, Top + Height) holds y; the last line for y
  // past the end, line 0 for y < 0. Size() must be > 0.
  int LineAt(long long y) const;

  void Append(int height);
  void Set(int line, int height);
  // Replaces lines [first, first + count) by the given heights.
  void Splice(int first, int count, const std::vector<int>& heights);
  void Assign(std::vector<int> heights);
  void Clear() { Assign({}); }

 private:
  std::vector<int> heights_;
  std::vector<long long> tree_{0};  // Fenwick tree over heights_, 1-based
  long long total_ = 0;
};

}  // namespace velmora::richedit
