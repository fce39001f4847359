#include "dict/ResultView.h"

#include "dict/DictText.h"

namespace velmora {

void TResultView::ClearView() {
  view_.Clear();
}

void TResultView::AppendLine(std::string_view text) {
  view_.AppendLine(text);
}

void TResultView::ReplaceLine(int line, std::string_view text) {
  view_.ReplaceLine(line, text);
}

int TResultView::LineStart(int line) const {
  return view_.LineIndex(line);
}

// The line that holds the end of the text is always the last one; counting
// lines is cheaper than finding the line of a position in a long view.
int TResultView::LastLineStart() const {
  return view_.LineIndex(view_.LineCount() - 1);
}

void TResultView::MarkSpan(int start, int length, TColor color, TFontStyles style) {
  // A span that would begin before the view (the stop status with no status
  // line, a span counted back past line 0) formats nothing and leaves the
  // selection alone, instead of spilling onto whatever text lies at 0.
  if (start < 0) return;
  view_.SetSelection(start, length);
  view_.SetSelColor(color);
  view_.SetSelStyle(style);
}

void TResultView::HighlightAdded(std::string_view text, int trailing, TColor color) {
  if (color == 0) color = clBlue;
  const int length = int(text.size());
  MarkSpan(LastLineStart() - length - trailing, length, color, fsBold);
}

void TResultView::HighlightMatches(std::string_view text, std::string_view query,
                                   int trailing, TColor color) {
  if (query.empty()) return;
  if (color == 0) color = MatchColor;
  // Position of the byte at 0-based index i of text is start + i; trailing
  // counts one past the positions after the text.
  const int start = LastLineStart() - int(text.size()) - trailing + 1;
  // Every occurrence that begins on a character boundary, overlapping ones
  // included: the next try starts at the character after an occurrence's
  // first character.
  for (std::size_t at = FindAtBoundary(text, query); at != std::string_view::npos;
       at = FindAtBoundary(text, query, at + LeadByteLengthAt(text, at))) {
    MarkSpan(start + int(at), int(query.size()), color, fsBold | fsUnderline);
  }
}

}  // namespace velmora
