#include "RichEditConformance.h"
#include "platform/richedit/MemoryRichEdit.h"

// Not in an anonymous namespace, so that test names show plain harness names.
namespace velmora::richedit_test {

struct MemoryHarness {
  TMemoryRichEdit edit;
  std::vector<std::string> copies;
  MemoryHarness() {
    edit.SetClipboardSink([this](std::string_view gbk) { copies.emplace_back(gbk); });
  }
  IRichEdit& View() { return edit; }
  int ScrolledTo() const { return edit.ScrollPosition(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RichEditConformance, MemoryHarness);

// The format runs against one format per byte, through random edits.
TEST(MemoryRichEdit, FormatRunsMatchAPerByteModel) {
  TMemoryRichEdit edit;
  std::string text;
  std::vector<TCharFormat> formats;
  std::mt19937 rng(7);
  const TColor colors[] = {clDefault, clRed, clBlue, kGreen};
  for (int step = 0; step < 2000; ++step) {
    int op = rng() % 40;
    if (op < 12) {
      std::string t(rng() % 5, 'a');
      edit.AppendLine(t);
      text += t + "\r\n";
      formats.resize(text.size(), TCharFormat{});
    } else if (op < 16) {
      int line = rng() % edit.LineCount();
      int start = edit.LineIndex(line);
      int end =
          line + 1 < edit.LineCount() ? edit.LineIndex(line + 1) - 2 : int(text.size());
      std::string t(rng() % 4, 'b');
      TCharFormat f = end > start ? formats[start]
                      : start > 0 ? formats[start - 1]
                                  : TCharFormat{};
      edit.ReplaceLine(line, t);
      text.replace(start, end - start, t);
      formats.erase(formats.begin() + start, formats.begin() + end);
      formats.insert(formats.begin() + start, t.size(), f);
    } else if (op < 17) {
      edit.Clear();
      text.clear();
      formats.clear();
    } else {
      int size = int(text.size());
      int start = size ? int(rng() % size) : 0;
      int length = int(rng() % 8);
      edit.SetSelection(start, length);
      length = std::min(length, size - start);
      TColor color = colors[rng() % 4];
      TFontStyles style = rng() % 16;
      bool setColor = rng() % 2;
      if (setColor)
        edit.SetSelColor(color);
      else
        edit.SetSelStyle(style);
      for (int i = start; i < start + length; ++i)
        (setColor ? formats[i].Color : formats[i].Style) = setColor ? color : style;
    }
    ASSERT_EQ(edit.Text(), text);
    for (int i = 0; i < int(text.size()); ++i)
      ASSERT_EQ(edit.FormatAt(i), formats[i]) << i;
  }
}

}  // namespace velmora::richedit_test
