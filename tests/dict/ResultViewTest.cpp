#include <gtest/gtest.h>

#include "dict/ResultView.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

using test::HasFormat;

class ResultViewTest : public ::testing::Test {
 protected:
  TMemoryRichEdit edit_;
  TResultView view_{edit_};
};

TEST_F(ResultViewTest, HighlightAddedFormatsTheLineJustAppended) {
  view_.ClearView();
  view_.AppendLine("first");
  const std::string text = "\xD6\xD0\xB9\xFA text";  // 9 bytes
  view_.AppendLine(text);
  EXPECT_EQ(view_.LastLineStart(), 7 + 11);
  view_.MarkSpan(7, 9, clRed, fsBold | fsUnderline);
  view_.HighlightAdded(text, 2, 0);  // 0 is blue, and underline goes
  EXPECT_TRUE(HasFormat(edit_, 7, 9, clBlue, fsBold));
  EXPECT_TRUE(HasFormat(edit_, 0, 5, clDefault, 0));
  view_.HighlightAdded(text, 2, clRed);
  EXPECT_TRUE(HasFormat(edit_, 7, 9, clRed, fsBold));
  EXPECT_EQ(edit_.SelStart(), 7);
  EXPECT_EQ(edit_.SelLength(), 9);
}

TEST_F(ResultViewTest, ASpanBeforeTheViewFormatsNothing) {
  view_.ClearView();
  view_.AppendLine("abcdef");
  view_.MarkSpan(1, 2, clRed, fsBold);
  view_.MarkSpan(-2, 6, clBlue, fsBold);
  EXPECT_TRUE(HasFormat(edit_, 0, 1, clDefault, 0));
  EXPECT_TRUE(HasFormat(edit_, 1, 2, clRed, fsBold));
  EXPECT_TRUE(HasFormat(edit_, 3, 3, clDefault, 0));
  EXPECT_EQ(edit_.SelStart(), 1);
}

// Positions (within the line) that HighlightMatches marks.
std::vector<int> Marked(TMemoryRichEdit& edit, TResultView& view, const std::string& text,
                        const std::string& query) {
  view.ClearView();
  view.AppendLine(text);
  view.HighlightMatches(text, query, 3, 0);
  std::vector<int> starts;
  for (int p = 0; p < int(text.size()); ++p) {
    const TCharFormat f = edit.FormatAt(p);
    const bool marked = f.Color == MatchColor && f.Style == (fsBold | fsUnderline);
    const bool before = p > 0 && edit.FormatAt(p - 1) == f;
    if (marked && !before) starts.push_back(p);
    if (!marked) {
      EXPECT_TRUE(f.IsDefault()) << "position " << p;
    }
  }
  return starts;
}

TEST_F(ResultViewTest, HighlightMatchesMarksEveryOccurrenceOnACharacterBoundary) {
  const std::string zhong = "\xD6\xD0";  // 中
  // Overlapping occurrences: 中中 in 中中中 at both of its starts (the marks
  // merge into one run).
  view_.ClearView();
  view_.AppendLine(zhong + zhong + zhong);
  view_.HighlightMatches(zhong + zhong + zhong, zhong + zhong, 3, 0);
  EXPECT_TRUE(HasFormat(edit_, 0, 6, MatchColor, fsBold | fsUnderline));
  EXPECT_EQ(edit_.SelStart(), 2);  // the last occurrence marked
  EXPECT_EQ(edit_.SelLength(), 4);

  EXPECT_EQ(Marked(edit_, view_, "a" + zhong + "b" + zhong, zhong),
            (std::vector<int>{1, 4}));
  // 泄 is bytes 2-3 of 中国; it is not in 中国, only after it.
  EXPECT_EQ(Marked(edit_, view_, "\xD6\xD0\xB9\xFA\xD0\xB9", "\xD0\xB9"),
            (std::vector<int>{4}));
  // A query that starts with a single-byte character: every occurrence,
  // including one right after the previous.
  const std::string spaced = " " + zhong + " " + zhong + "x " + zhong;
  EXPECT_EQ(Marked(edit_, view_, spaced, " " + zhong), (std::vector<int>{0, 7}));
  EXPECT_TRUE(HasFormat(edit_, 0, 6, MatchColor, fsBold | fsUnderline));
  EXPECT_TRUE(Marked(edit_, view_, "abc", zhong).empty());
  EXPECT_TRUE(Marked(edit_, view_, "", zhong).empty());
}

}  // namespace
}  // namespace velmora
