#include "platform/richedit/MemoryRichEdit.h"

#include <algorithm>

#include "platform/richedit/TextLayout.h"

namespace velmora {

TMemoryRichEdit::TMemoryRichEdit() {
  Clear();
}

void TMemoryRichEdit::Clear() {
  text_.clear();
  lineStarts_.assign(1, 0);
  runs_.Clear();
  selStart_ = selLength_ = 0;
}

void TMemoryRichEdit::Reparse(int line) {
  lineStarts_.resize(line + 1);
  std::string_view text = text_;
  for (size_t i = lineStarts_[line]; i < text.size();) {
    int width = richedit::BreakWidthAt(text, i);
    if (width == 0) {
      ++i;
      continue;
    }
    i += width;
    lineStarts_.push_back(int(i));
  }
}

void TMemoryRichEdit::AppendLine(std::string_view text) {
  int oldLength = TextLength();
  text_.append(text);
  text_.append("\r\n");
  // Appended text is plain whatever the end of the view looked like.
  runs_.Replace(oldLength, oldLength, int(text.size()) + 2, TCharFormat{});
  Reparse(LineCount() - 1);
}

void TMemoryRichEdit::ReplaceLine(int line, std::string_view text) {
  int start = LineIndex(line);
  if (start < 0) return;
  int end = line + 1 < LineCount() ? lineStarts_[line + 1] : TextLength();
  // The break only: a CR before it that is not its own stays in the text.
  if (end > start && text_[end - 1] == '\n') {
    --end;
    if (end > start && text_[end - 1] == '\r') --end;
  }
  // Text that replaces nothing continues the format before it.
  TCharFormat format = end > start ? FormatAt(start)
                       : start > 0 ? FormatAt(start - 1)
                                   : TCharFormat{};
  runs_.Replace(start, end, int(text.size()), format);
  text_.replace(start, end - start, text);
  Reparse(line);
  const richedit::TSelectionRange moved = richedit::SelectionAfterReplace(
      selStart_, selStart_ + selLength_, start, end, int(text.size()));
  selStart_ = moved.Start;
  selLength_ = moved.Length;
}

int TMemoryRichEdit::LineFromChar(int pos) const {
  return richedit::LineHolding(lineStarts_, pos);
}

int TMemoryRichEdit::LineIndex(int line) const {
  return richedit::LineStart(lineStarts_, line);
}

void TMemoryRichEdit::SetSelection(int start, int length) {
  int size = TextLength();
  richedit::TSelectionRange kept = richedit::ClampSelection(start, length, size);
  selStart_ = kept.Start;
  selLength_ = kept.Length;
  scrollPos_ = selStart_ + selLength_;
}

std::string TMemoryRichEdit::SelectedText() const {
  return text_.substr(selStart_, selLength_);
}

void TMemoryRichEdit::SetSelColor(TColor color) {
  runs_.Change(selStart_, selStart_ + selLength_,
               [color](TCharFormat& f) { f.Color = color; });
}

void TMemoryRichEdit::SetSelStyle(TFontStyles style) {
  runs_.Change(selStart_, selStart_ + selLength_,
               [style](TCharFormat& f) { f.Style = style; });
}

TCharFormat TMemoryRichEdit::FormatAt(int pos) const {
  if (pos < 0 || pos >= TextLength()) return TCharFormat{};
  return runs_.At(pos);
}

void TMemoryRichEdit::SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) {
  firstIndent_ = firstLineIndentPt;
  leftIndent_ = leftIndentPt;
}

std::vector<TLinkRange> TMemoryRichEdit::Links() const {
  if (!urlDetect_) return {};
  return richedit::FindLinks(text_);
}

void TMemoryRichEdit::CopySelection() {
  if (selLength_ > 0 && clipboard_)
    clipboard_(richedit::PlainTextForCopy(SelectedText()));
}

}  // namespace velmora
