// A complete view kept in memory: GBK bytes, line starts and runs of
// character format. It has no display; the search's headless tests and the
// sanitizer build use it. Appending and formatting near the end cost
// amortised O(1); replacing a line in the middle costs O(size of the view).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/richedit/FormatRuns.h"
#include "platform/richedit/RichEdit.h"

namespace velmora {

class TMemoryRichEdit : public IRichEdit {
 public:
  // Receives the selected bytes on CopySelection, with LF for each CR LF.
  using TClipboardSink = std::function<void(std::string_view gbk)>;

  TMemoryRichEdit();

  void Clear() override;
  void AppendLine(std::string_view text) override;
  void ReplaceLine(int line, std::string_view text) override;

  int LineCount() const override { return int(lineStarts_.size()); }
  int LineFromChar(int pos) const override;
  int LineIndex(int line) const override;
  int TextLength() const override { return int(text_.size()); }
  std::string Text() const override { return text_; }

  void SetSelection(int start, int length) override;
  int SelStart() const override { return selStart_; }
  int SelLength() const override { return selLength_; }
  std::string SelectedText() const override;

  void SetSelColor(TColor color) override;
  void SetSelStyle(TFontStyles style) override;
  TCharFormat FormatAt(int pos) const override;

  void SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) override;
  double FirstLineIndent() const override { return firstIndent_; }
  double LeftIndent() const override { return leftIndent_; }

  void SetAutoUrlDetect(bool on) override { urlDetect_ = on; }
  bool AutoUrlDetect() const override { return urlDetect_; }
  std::vector<TLinkRange> Links() const override;

  void CopySelection() override;
  void ScrollToTop() override { scrollPos_ = 0; }

  void SetClipboardSink(TClipboardSink sink) { clipboard_ = std::move(sink); }
  // The position last scrolled into view: the selection's end, or 0 after
  // ScrollToTop.
  int ScrollPosition() const { return scrollPos_; }

 private:
  // Recomputes the line starts from line `line` on.
  void Reparse(int line);

  std::string text_;
  std::vector<int> lineStarts_;
  richedit::TFormatRuns runs_;
  int selStart_ = 0;
  int selLength_ = 0;
  int scrollPos_ = 0;
  double firstIndent_ = 0;
  double leftIndent_ = 0;
  bool urlDetect_ = false;
  TClipboardSink clipboard_;
};

}  // namespace velmora
