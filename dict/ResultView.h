// The output operations every writer of the result view shares. They act on
// one view, at its end, one line at a time; colouring selects the span just
// written by counting back from the start of the last line.
#pragma once

#include <string>
#include <string_view>

#include "platform/richedit/RichEdit.h"

namespace velmora {

constexpr TColor MatchColor = RGB(255, 119, 119);
constexpr TColor ExplanationColor = RGB(0, 106, 0);

class TResultView {
 public:
  explicit TResultView(IRichEdit& view) : view_(view) {}
  IRichEdit& View() const { return view_; }

  void ClearView();
  void AppendLine(std::string_view text);
  void ReplaceLine(int line, std::string_view text);
  int LineStart(int line) const;
  int LastLineStart() const;
  void MarkSpan(int start, int length, TColor color, TFontStyles style);
  // colour 0 means blue.
  void HighlightAdded(std::string_view text, int trailing, TColor color);
  // colour 0 means MatchColor.
  void HighlightMatches(std::string_view text, std::string_view query, int trailing,
                        TColor color);

 private:
  IRichEdit& view_;
};

}  // namespace velmora
