// What the program relies on in a result view, checked the same way on every
// implementation. A test file instantiates the suite with a harness type that
// owns one view and records its clipboard and scrolling:
//   IRichEdit& View();  std::vector<std::string> copies;  int ScrolledTo();
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/classes/Gbk.h"
#include "platform/richedit/RichEdit.h"
#include "platform/richedit/TextLayout.h"

namespace velmora::richedit_test {

inline const std::string kZhong = "\xD6\xD0";  // a double-byte character
inline const std::string kColon = "\xA3\xBA";  // the fullwidth colon

constexpr TColor kGreen = RGB(0, 106, 0);

// Line starts as the bytes say: the reference every view must agree with.
inline std::vector<int> ParseLineStarts(std::string_view text) {
  std::vector<int> starts{0};
  for (size_t i = 0; i < text.size();) {
    int width = richedit::BreakWidthAt(text, i);
    i += width ? width : 1;
    if (width) starts.push_back(int(i));
  }
  return starts;
}

template <typename Harness>
class RichEditConformance : public ::testing::Test {
 protected:
  Harness h;
  IRichEdit& v = h.View();

  void ExpectLinesMatchText() {
    std::vector<int> starts = ParseLineStarts(v.Text());
    ASSERT_EQ(v.TextLength(), int(v.Text().size()));
    ASSERT_EQ(v.LineCount(), int(starts.size())) << v.Text();
    for (int i = 0; i < v.LineCount(); ++i) {
      ASSERT_EQ(v.LineIndex(i), starts[i]) << "line " << i;
      ASSERT_EQ(v.LineFromChar(starts[i]), i);
      if (starts[i] > 0) {
        ASSERT_EQ(v.LineFromChar(starts[i] - 1), i - 1);
      }
    }
    EXPECT_EQ(v.LineIndex(-1), -1);
    EXPECT_EQ(v.LineIndex(v.LineCount()), -1);
  }
  void Mark(int start, int length, TColor color, TFontStyles style) {
    v.SetSelection(start, length);
    v.SetSelColor(color);
    v.SetSelStyle(style);
  }
};

TYPED_TEST_SUITE_P(RichEditConformance);

TYPED_TEST_P(RichEditConformance, PositionsCountBytesAndBreaks) {
  IRichEdit& v = this->v;
  EXPECT_EQ(v.Text(), "");
  EXPECT_EQ(v.LineCount(), 1);
  EXPECT_EQ(v.LineIndex(0), 0);

  v.AppendLine("ab" + kZhong);  // 4 bytes and CR LF
  EXPECT_EQ(v.TextLength(), 6);
  EXPECT_EQ(v.LineCount(), 2);
  EXPECT_EQ(v.LineIndex(1), 6);  // the empty last line starts at the end
  EXPECT_EQ(v.LineFromChar(4), 0);
  EXPECT_EQ(v.LineFromChar(5), 0);
  EXPECT_EQ(v.LineFromChar(6), 1);

  // A lone LF ends a line and counts one; a lone CR is an ordinary byte.
  v.AppendLine("x\ny\rz");
  EXPECT_EQ(v.Text(), "ab" + kZhong + "\r\nx\ny\rz\r\n");
  EXPECT_EQ(v.LineCount(), 4);
  EXPECT_EQ(v.LineIndex(2), 8);
  EXPECT_EQ(v.LineIndex(3), 13);
  EXPECT_EQ(v.LineFromChar(9), 2);  // the CR
  EXPECT_EQ(v.LineFromChar(10), 2);

  // An explanation read with its CR, then the LF the search adds: one break.
  v.AppendLine("      t\r\n");
  EXPECT_EQ(v.LineIndex(4), 13 + 9);
  EXPECT_EQ(v.LineIndex(5), 13 + 11);
  // A CR at the end of the text before the line's own CR LF stays text.
  v.AppendLine("u\r");
  EXPECT_EQ(v.LineIndex(6), 13 + 11 + 4);
  this->ExpectLinesMatchText();

  v.Clear();
  EXPECT_EQ(v.Text(), "");
  EXPECT_EQ(v.LineCount(), 1);
  EXPECT_EQ(v.LineIndex(1), -1);
  EXPECT_EQ(v.LineFromChar(0), 0);
}

TYPED_TEST_P(RichEditConformance, ReplaceLine) {
  IRichEdit& v = this->v;
  v.ReplaceLine(1, "x");  // no such line
  EXPECT_EQ(v.Text(), "");

  v.AppendLine("head");
  v.ReplaceLine(1, "tail");  // the empty last line
  EXPECT_EQ(v.Text(), "head\r\ntail");
  v.ReplaceLine(2, "x");
  EXPECT_EQ(v.Text(), "head\r\ntail");

  v.Clear();
  v.AppendLine("aa");
  v.AppendLine("status\n");
  v.AppendLine("cc");
  this->Mark(0, 2, clBlue, fsBold);
  this->Mark(4, 6, clRed, fsBold);
  this->Mark(13, 2, kGreen, fsItalic);
  v.ReplaceLine(1, "stopped" + kZhong);  // longer: the lines after it move
  EXPECT_EQ(v.Text(), "aa\r\nstopped" + kZhong + "\n\r\ncc\r\n");
  this->ExpectLinesMatchText();
  EXPECT_EQ(v.FormatAt(0), (TCharFormat{clBlue, fsBold}));
  EXPECT_EQ(v.FormatAt(4), (TCharFormat{clRed, fsBold}));
  EXPECT_EQ(v.FormatAt(4 + 8),
            (TCharFormat{clRed, fsBold}));  // second byte of the character
  EXPECT_EQ(v.FormatAt(v.LineIndex(3)), (TCharFormat{kGreen, fsItalic}));
  v.ReplaceLine(1, "s");  // shorter
  EXPECT_EQ(v.Text(), "aa\r\ns\n\r\ncc\r\n");
  EXPECT_EQ(v.FormatAt(8), (TCharFormat{kGreen, fsItalic}));

  // An empty line's new text continues the format of the byte before it.
  this->Mark(0, 6, clRed, fsUnderline);
  v.ReplaceLine(2, "new");
  EXPECT_EQ(v.Text(), "aa\r\ns\nnew\r\ncc\r\n");
  EXPECT_EQ(v.FormatAt(6), (TCharFormat{clRed, fsUnderline}));
  EXPECT_EQ(v.FormatAt(8), (TCharFormat{clRed, fsUnderline}));
  v.Clear();
  v.ReplaceLine(0, "first");
  EXPECT_EQ(v.Text(), "first");
  EXPECT_TRUE(v.FormatAt(0).IsDefault());
}

TYPED_TEST_P(RichEditConformance, ReplaceLineWithBreaksKeepsLinesInStepWithText) {
  IRichEdit& v = this->v;
  v.AppendLine("a");
  v.AppendLine("b");
  v.ReplaceLine(1, "x\ny\rz");
  EXPECT_EQ(v.Text(), "a\r\nx\ny\rz\r\n");
  this->ExpectLinesMatchText();

  // A lone CR is part of its line and goes with it; a line's CR LF break
  // is not mistaken for text.
  v.Clear();
  v.AppendLine("a\r");
  v.AppendLine("b");
  EXPECT_EQ(v.LineCount(), 3);
  v.ReplaceLine(0, "c\rd");
  EXPECT_EQ(v.Text(), "c\rd\r\nb\r\n");
  EXPECT_EQ(v.LineCount(), 3);
  this->ExpectLinesMatchText();
  v.ReplaceLine(0, "e\r");
  EXPECT_EQ(v.Text(), "e\r\r\nb\r\n");
  v.ReplaceLine(0, "f");
  EXPECT_EQ(v.Text(), "f\r\nb\r\n");
  this->ExpectLinesMatchText();

  // New text ending in CR before a lone LF break: one CR LF break.
  v.Clear();
  v.AppendLine("p\nq");
  v.ReplaceLine(0, "r\r");
  EXPECT_EQ(v.Text(), "r\r\nq\r\n");
  this->ExpectLinesMatchText();
  EXPECT_EQ(v.LineCount(), 3);
}

// A search marks its entries, then rewrites the status line above them: the
// selection must still hold the span marked last, whatever the change in
// length, so that copying it copies those bytes.
TYPED_TEST_P(RichEditConformance, ReplaceLineMovesTheSelectionWithTheText) {
  IRichEdit& v = this->v;
  const std::string searching = kZhong + kZhong + "......\n", done = kZhong + "!";
  auto write = [&] {
    v.Clear();
    v.AppendLine("heading");
    v.AppendLine(searching);
    v.AppendLine("key" + kColon);
    v.AppendLine("      " + kZhong + "x");
  };
  write();
  const int entry = v.LineIndex(4) + 6;
  v.SetSelection(entry, 3);
  v.ReplaceLine(1, done);  // shorter
  EXPECT_EQ(v.SelectedText(), kZhong + "x");
  v.ReplaceLine(1, searching + "longer");
  EXPECT_EQ(v.SelectedText(), kZhong + "x");

  // Before the line: stays. Over the whole line's text: covers the new text.
  write();
  v.SetSelection(0, 4);
  v.ReplaceLine(1, done);
  EXPECT_EQ(v.SelectedText(), "head");
  v.SetSelection(v.LineIndex(1), int(done.size()));
  v.ReplaceLine(1, "new text");
  EXPECT_EQ(v.SelectedText(), "new text");
  // Ending inside the replaced text: ends where the new text begins.
  v.SetSelection(3, v.LineIndex(1) + 2 - 3);
  v.ReplaceLine(1, kZhong);
  EXPECT_EQ(v.SelectedText(), "ding\r\n");
  // Starting inside it and ending after it: from its start.
  v.SetSelection(v.LineIndex(1) + 1, 4);
  v.ReplaceLine(1, "abc");
  EXPECT_EQ(v.SelStart(), v.LineIndex(1));
  EXPECT_EQ(v.SelectedText(), "abc\n\r\n");

  // Text put into an empty line at either end of a selection stays outside it.
  v.Clear();
  v.AppendLine("a");
  v.SetSelection(0, 3);
  v.ReplaceLine(1, "tail");
  EXPECT_EQ(v.SelectedText(), "a\r\n");
  v.Clear();
  v.AppendLine("");
  v.AppendLine("b");
  v.SetSelection(0, 2);
  v.ReplaceLine(0, "head");
  EXPECT_EQ(v.SelectedText(), "\r\n");
  v.SetSelection(v.TextLength(), 0);  // a caret after a change stays after it
  v.ReplaceLine(v.LineCount() - 1, "end");
  EXPECT_EQ(v.SelStart(), v.TextLength());
}

TYPED_TEST_P(RichEditConformance, SelectionReadsBackTheBytesWritten) {
  IRichEdit& v = this->v;
  // control bytes, every non-ASCII byte, broken pairs and a lead byte at the end
  std::string odd("\0\x01\x0B\x0C\x1F\x7F", 6);
  for (int b = 0x80; b <= 0xFF; ++b) odd += char(b);
  odd += "\xD6\x7F\xFF\xD6\xD0" + kColon + "\x81";
  v.AppendLine("key" + kColon);
  v.AppendLine(odd);
  v.SetSelection(7, int(odd.size()));
  EXPECT_EQ(v.SelStart(), 7);
  EXPECT_EQ(v.SelLength(), int(odd.size()));
  EXPECT_EQ(v.SelectedText(), odd);
  EXPECT_EQ(v.Text(), "key" + kColon + "\r\n" + odd + "\r\n");

  v.SetSelection(3, 4);  // across a CR LF
  EXPECT_EQ(v.SelectedText(), kColon + "\r\n");
  v.SetSelection(4, 1);  // half a character still reads back its byte
  EXPECT_EQ(v.SelectedText(), "\xBA");

  int end = v.TextLength();
  v.SetSelection(end - 2, 100);  // runs past the end: cut at the end
  EXPECT_EQ(v.SelStart(), end - 2);
  EXPECT_EQ(v.SelLength(), 2);
  v.SetSelection(-2, 10);  // start outside: empty at the nearest position
  EXPECT_EQ(v.SelStart(), 0);
  EXPECT_EQ(v.SelLength(), 0);
  EXPECT_EQ(v.SelectedText(), "");
  v.SetSelection(end + 5, 1);
  EXPECT_EQ(v.SelStart(), end);
  EXPECT_EQ(v.SelLength(), 0);
  v.SetSelection(2, -1);
  EXPECT_EQ(v.SelStart(), 2);
  EXPECT_EQ(v.SelLength(), 0);
}

TYPED_TEST_P(RichEditConformance, CharacterFormat) {
  IRichEdit& v = this->v;
  v.AppendLine("heading" + kZhong);
  v.AppendLine("body");
  EXPECT_TRUE(v.FormatAt(0).IsDefault());

  this->Mark(0, 9, clBlue, fsBold | fsUnderline);
  this->Mark(2, 2, clRed, fsBold);  // a style is set as a whole
  EXPECT_EQ(v.FormatAt(1), (TCharFormat{clBlue, fsBold | fsUnderline}));
  EXPECT_EQ(v.FormatAt(2), (TCharFormat{clRed, fsBold}));
  EXPECT_EQ(v.FormatAt(3), (TCharFormat{clRed, fsBold}));
  EXPECT_EQ(v.FormatAt(4), (TCharFormat{clBlue, fsBold | fsUnderline}));
  EXPECT_EQ(v.FormatAt(8), (TCharFormat{clBlue, fsBold | fsUnderline}));
  EXPECT_TRUE(v.FormatAt(11).IsDefault());

  v.SetSelection(4, 2);
  v.SetSelColor(clDefault);  // colour alone keeps the style
  EXPECT_EQ(v.FormatAt(4), (TCharFormat{clDefault, fsBold | fsUnderline}));
  v.SetSelStyle(fsItalic | fsStrikeOut);  // style alone keeps the colour
  EXPECT_EQ(v.FormatAt(5), (TCharFormat{clDefault, fsItalic | fsStrikeOut}));
  v.SetSelStyle(0);
  EXPECT_TRUE(v.FormatAt(5).IsDefault());

  v.SetSelection(11, 0);  // an empty selection formats nothing
  v.SetSelColor(clRed);
  v.SetSelStyle(fsBold);
  EXPECT_TRUE(v.FormatAt(11).IsDefault());
  EXPECT_TRUE(v.FormatAt(10).IsDefault());

  this->Mark(11, 4, kGreen, fsBold);  // up to the end of the text
  v.AppendLine("plain");              // appended text is plain whatever came before
  EXPECT_EQ(v.FormatAt(14), (TCharFormat{kGreen, fsBold}));
  EXPECT_TRUE(v.FormatAt(17).IsDefault());
  EXPECT_TRUE(v.FormatAt(-1).IsDefault());
  EXPECT_TRUE(v.FormatAt(v.TextLength()).IsDefault());

  v.Clear();
  v.AppendLine("x");
  EXPECT_TRUE(v.FormatAt(0).IsDefault());
}

TYPED_TEST_P(RichEditConformance, ParagraphIndents) {
  IRichEdit& v = this->v;
  v.AppendLine("before");
  v.SetParagraphIndents(6, 22);
  v.AppendLine("after");
  EXPECT_DOUBLE_EQ(v.FirstLineIndent(), 6);
  EXPECT_DOUBLE_EQ(v.LeftIndent(), 22);
  v.Clear();
  EXPECT_DOUBLE_EQ(v.LeftIndent(), 22);
}

TYPED_TEST_P(RichEditConformance, LinkDetection) {
  IRichEdit& v = this->v;
  v.AppendLine("see file://a.htm label");
  EXPECT_FALSE(v.AutoUrlDetect());
  EXPECT_TRUE(v.Links().empty());

  v.SetAutoUrlDetect(true);
  v.AppendLine(kZhong + "HTTP://x.org/" + kZhong + "\tmailto:m@x ftp://f\rhttps://s");
  v.AppendLine("file:// https:// plain mailto:");  // prefixes alone
  v.AppendLine("Https://e");
  std::vector<TLinkRange> expected = {{4, 12}, {26, 15}, {42, 10},
                                      {53, 7}, {61, 9},  {104, 9}};
  EXPECT_EQ(v.Links(), expected) << v.Text();

  v.SetAutoUrlDetect(false);
  EXPECT_TRUE(v.Links().empty());
  v.SetAutoUrlDetect(true);
  v.Clear();
  EXPECT_TRUE(v.Links().empty());
  v.AppendLine("x");
  v.ReplaceLine(1, "file://end");
  EXPECT_EQ(v.Links(), (std::vector<TLinkRange>{{3, 10}}));
}

TYPED_TEST_P(RichEditConformance, CopyAndScroll) {
  IRichEdit& v = this->v;
  v.AppendLine("one" + kZhong + "\xFF");
  v.AppendLine("two");
  v.SetSelection(1, 0);
  v.CopySelection();
  EXPECT_TRUE(this->h.copies.empty());

  v.SetSelection(1, 10);
  EXPECT_EQ(this->h.ScrolledTo(), 11);
  v.CopySelection();
  ASSERT_EQ(this->h.copies.size(), 1u);
  // Other programs get LF line ends, as a terminal or an editor expects.
  EXPECT_EQ(this->h.copies[0], "ne" + kZhong + "\xFF\ntwo");
  // A lone CR is text and goes as it is.
  v.AppendLine("a\rb\nc");
  v.SetSelection(v.LineIndex(2), 8);
  v.CopySelection();
  ASSERT_EQ(this->h.copies.size(), 2u);
  EXPECT_EQ(this->h.copies[1], "a\rb\nc\n");

  v.ScrollToTop();
  EXPECT_EQ(this->h.ScrolledTo(), 0);
}

// Random appends, replacements and formatting, checked against the bytes.
TYPED_TEST_P(RichEditConformance, RandomEditsKeepLinesAndTextConsistent) {
  IRichEdit& v = this->v;
  std::mt19937 rng(2024);
  const char pieces[][3] = {"a", "\r", "\n", "\r\n", "\xD6\xD0", "\xD6", " ", "\xA3\xBA"};
  auto randomText = [&] {
    std::string s;
    for (int n = rng() % 6; n > 0; --n) s += pieces[rng() % std::size(pieces)];
    return s;
  };
  std::string expected;
  for (int step = 0; step < 300; ++step) {
    if (rng() % 3) {
      std::string t = randomText();
      v.AppendLine(t);
      expected += t + "\r\n";
    } else {
      int line = int(rng() % (v.LineCount() + 1));
      v.ReplaceLine(line, randomText());
      expected = v.Text();  // the replacement itself is checked by the line test
    }
    ASSERT_EQ(v.Text(), expected);
    this->ExpectLinesMatchText();
    if (::testing::Test::HasFatalFailure()) return;
  }
}

REGISTER_TYPED_TEST_SUITE_P(RichEditConformance, PositionsCountBytesAndBreaks,
                            ReplaceLine, ReplaceLineWithBreaksKeepsLinesInStepWithText,
                            ReplaceLineMovesTheSelectionWithTheText,
                            SelectionReadsBackTheBytesWritten, CharacterFormat,
                            ParagraphIndents, LinkDetection, CopyAndScroll,
                            RandomEditsKeepLinesAndTextConsistent);

}  // namespace velmora::richedit_test
