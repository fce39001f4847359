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
  runs_.assign(1, Run{0, TCharFormat{}});
  selStart_ = selLength_ = 0;
}

void TMemoryRichEdit::Reparse(int line) {
  // A lone CR before this line may now meet an LF and become one break.
  if (line > 0 && text_[lineStarts_[line] - 1] == '\r') --line;
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
  if (runs_.back().start == oldLength)
    runs_.back().format = TCharFormat{};
  else if (!runs_.back().format.IsDefault())
    runs_.push_back(Run{oldLength, TCharFormat{}});
  if (runs_.size() > 1) Coalesce(runs_.size() - 2, runs_.size() - 1);
  Reparse(LineCount() - 1);
}

void TMemoryRichEdit::ReplaceLine(int line, std::string_view text) {
  int start = LineIndex(line);
  if (start < 0) return;
  int end = line + 1 < LineCount() ? lineStarts_[line + 1] : TextLength();
  while (end > start && (text_[end - 1] == '\n' || text_[end - 1] == '\r')) --end;
  // Text that replaces nothing continues the format before it.
  TCharFormat format = end > start ? FormatAt(start)
                       : start > 0 ? FormatAt(start - 1)
                                   : TCharFormat{};
  int delta = int(text.size()) - (end - start);

  size_t first = SplitAt(start);
  size_t last = SplitAt(end);
  runs_.erase(runs_.begin() + first, runs_.begin() + last);
  for (size_t i = first; i < runs_.size(); ++i) runs_[i].start += delta;
  if (!text.empty()) runs_.insert(runs_.begin() + first, Run{start, format});
  if (runs_.empty()) runs_.push_back(Run{0, TCharFormat{}});
  Coalesce(first == 0 ? 0 : first - 1, std::min(first + 1, runs_.size() - 1));

  text_.replace(start, end - start, text);
  Reparse(line);
  selStart_ = std::min(selStart_, TextLength());
  selLength_ = std::min(selLength_, TextLength() - selStart_);
}

int TMemoryRichEdit::LineFromChar(int pos) const {
  if (pos >= lineStarts_.back()) return LineCount() - 1;  // the usual question
  auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), pos);
  return it == lineStarts_.begin() ? 0 : int(it - lineStarts_.begin()) - 1;
}

int TMemoryRichEdit::LineIndex(int line) const {
  return line >= 0 && line < LineCount() ? lineStarts_[line] : -1;
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

size_t TMemoryRichEdit::RunAt(int pos) const {
  if (pos >= runs_.back().start) return runs_.size() - 1;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), pos,
                             [](int p, const Run& r) { return p < r.start; });
  return size_t(it - runs_.begin()) - 1;
}

size_t TMemoryRichEdit::SplitAt(int pos) {
  if (pos >= TextLength()) return runs_.size();
  size_t i = RunAt(pos);
  if (runs_[i].start == pos) return i;
  runs_.insert(runs_.begin() + i + 1, Run{pos, runs_[i].format});
  return i + 1;
}

void TMemoryRichEdit::Coalesce(size_t first, size_t last) {
  last = std::min(last, runs_.size() - 1);
  for (size_t i = last; i > first && i < runs_.size(); --i)
    if (runs_[i].format == runs_[i - 1].format) runs_.erase(runs_.begin() + i);
}

template <typename F>
void TMemoryRichEdit::FormatSelection(F change) {
  if (selLength_ == 0) return;
  size_t first = SplitAt(selStart_);
  size_t last = SplitAt(selStart_ + selLength_);
  for (size_t i = first; i < last; ++i) change(runs_[i].format);
  Coalesce(first == 0 ? 0 : first - 1, last);
}

void TMemoryRichEdit::SetSelColor(TColor color) {
  FormatSelection([color](TCharFormat& f) { f.Color = color; });
}

void TMemoryRichEdit::SetSelStyle(TFontStyles style) {
  FormatSelection([style](TCharFormat& f) { f.Style = style; });
}

TCharFormat TMemoryRichEdit::FormatAt(int pos) const {
  if (pos < 0 || pos >= TextLength()) return TCharFormat{};
  return runs_[RunAt(pos)].format;
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
  if (selLength_ > 0 && clipboard_) clipboard_(SelectedText());
}

}  // namespace velmora
