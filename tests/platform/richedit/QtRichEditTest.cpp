#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include "RichEditConformance.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "platform/richedit/QtRichEdit.h"

// Not in an anonymous namespace, so that test names show plain harness names.
namespace velmora::richedit_test {

std::string ToBytes(const QString& s) {
  std::u32string text;
  for (char32_t c : s.toUcs4()) text += c;
  return gbk::Encode(text);
}

struct QtHarness {
  TQtRichEdit edit;
  std::vector<std::string> copies;
  int scrolledTo = -1;
  QtHarness() {
    edit.SetClipboardSink([this](const QString& plain, const QString&) {
      copies.push_back(ToBytes(plain));
    });
    edit.OnScrollIntoView = [this](int pos) { scrolledTo = edit.ByteFromDocument(pos); };
    edit.OnScrollToTop = [this] { scrolledTo = 0; };
  }
  IRichEdit& View() { return edit; }
  int ScrolledTo() const { return scrolledTo; }
};

// With a layout, as in an editor, the document also reports its changes.
struct QtLayoutHarness : QtHarness {
  QtLayoutHarness() { edit.Document()->documentLayout(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, RichEditConformance, QtHarness);
INSTANTIATE_TYPED_TEST_SUITE_P(QtLaidOut, RichEditConformance, QtLayoutHarness);

TEST(QtRichEdit, EachLineIsOneBlockAndPositionsMapBothWays) {
  TQtRichEdit edit;
  std::string odd = "a\xFF" + kZhong + "\x81";  // raw bytes stand for one position each
  edit.AppendLine(odd);
  edit.AppendLine("x\ny");
  QTextDocument* doc = edit.Document();
  ASSERT_EQ(doc->blockCount(), 4);
  EXPECT_EQ(doc->findBlockByNumber(0).text(),
            QString::fromUcs4(U"a\U0010FFFF中\U0010FF81", 4));
  EXPECT_EQ(doc->findBlockByNumber(1).text(), "x");
  EXPECT_EQ(doc->findBlockByNumber(3).text(), "");

  // bytes: a FF D6 D0 81 CR LF x LF y CR LF
  const int toDocument[] = {0, 1, 3, 3, 4, 6, 6, 7, 8, 9, 10, 10};
  for (int pos = 0; pos < 12; ++pos)
    EXPECT_EQ(edit.DocumentFromByte(pos), toDocument[pos]) << pos;
  EXPECT_EQ(edit.DocumentFromByte(12), doc->characterCount() - 1);
  const int toByte[] = {0, 1, 1, 2, 4, 4, 5, 7, 8, 9, 10};  // mid-pair: the character
  for (int pos = 0; pos < 11; ++pos)
    EXPECT_EQ(edit.ByteFromDocument(pos), toByte[pos]) << pos;
}

TEST(QtRichEdit, LinksAreAnchorsWithoutChangingTheProgramFormat) {
  TQtRichEdit edit;
  edit.SetAutoUrlDetect(true);
  edit.AppendLine("go file://a.htm now");
  edit.SetSelection(0, 19);
  edit.SetSelColor(kGreen);
  edit.SetSelStyle(fsBold);
  auto formatAt = [&](int pos) {
    QTextCursor c(edit.Document());
    c.setPosition(pos + 1);
    return c.charFormat();
  };
  EXPECT_TRUE(formatAt(3).isAnchor());
  EXPECT_EQ(formatAt(3).anchorHref(), "file://a.htm");
  EXPECT_TRUE(formatAt(3).fontUnderline());
  EXPECT_FALSE(formatAt(2).isAnchor());
  EXPECT_FALSE(formatAt(2).fontUnderline());
  EXPECT_EQ(formatAt(2).foreground().color(), QColor(0, 106, 0));
  EXPECT_EQ(edit.FormatAt(3), (TCharFormat{kGreen, fsBold}));
  EXPECT_EQ(edit.LinkAt(14), (TLinkRange{3, 12}));
  EXPECT_FALSE(edit.LinkAt(15));

  edit.ReplaceLine(0, "file://b");  // the new text is re-examined
  EXPECT_EQ(formatAt(0).anchorHref(), "file://b");
  EXPECT_EQ(edit.FormatAt(0), (TCharFormat{kGreen, fsBold}));

  edit.SetAutoUrlDetect(false);
  EXPECT_FALSE(formatAt(0).isAnchor());
  EXPECT_FALSE(formatAt(0).fontUnderline());
  EXPECT_FALSE(edit.LinkAt(0));
}

TEST(QtRichEdit, IndentsBecomeBlockMarginsInPixels) {
  TQtRichEdit edit;
  edit.AppendLine("old");
  edit.SetParagraphIndents(6, 22);
  edit.AppendLine("new");
  for (QTextBlock b = edit.Document()->begin(); b.isValid(); b = b.next()) {
    EXPECT_DOUBLE_EQ(b.blockFormat().leftMargin(), 28 * 96 / 72.0);
    EXPECT_DOUBLE_EQ(b.blockFormat().textIndent(), -22 * 96 / 72.0);
  }
  edit.Clear();
  EXPECT_DOUBLE_EQ(edit.Document()->firstBlock().blockFormat().leftMargin(),
                   28 * 96 / 72.0);
}

// Typing in the editor changes the document behind the view's back; without
// a layout the document does not say where.
TEST(QtRichEdit, DirectDocumentEditsMovePositions) {
  for (bool laidOut : {true, false}) {
    TQtRichEdit edit;
    if (laidOut) edit.Document()->documentLayout();
    edit.AppendLine("ab");
    edit.AppendLine("cd");
    EXPECT_EQ(edit.LineIndex(2), 8);
    QTextCursor cursor(edit.Document());
    cursor.setPosition(1);
    cursor.insertText(QString::fromUcs4(U"中", 1));
    EXPECT_EQ(edit.Text(), "a" + kZhong + "b\r\ncd\r\n");
    EXPECT_EQ(edit.LineIndex(1), 6);
    cursor.insertBlock();  // Enter makes a CR LF break
    EXPECT_EQ(edit.Text(), "a" + kZhong + "\r\nb\r\ncd\r\n");
    EXPECT_EQ(edit.LineIndex(3), 12);
    edit.AppendLine("e");  // and the view's own edits go on from there
    EXPECT_EQ(edit.LineIndex(4), 15);
  }
}

TEST(QtRichEdit, CopiesPlainTextAndHtmlToTheSystemClipboard) {
  TQtRichEdit edit;
  edit.AppendLine("one " + kZhong);
  edit.SetSelection(0, 3);
  edit.SetSelColor(clRed);
  edit.SetSelection(0, 6);
  edit.CopySelection();
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text(), QString::fromUtf8("one 中"));
  EXPECT_TRUE(data->html().contains("#ff0000")) << data->html().toStdString();
}

// Random edits and formatting on both implementations give the same view.
TEST(QtRichEdit, AgreesWithTheMemoryViewUnderRandomEdits) {
  TQtRichEdit qt;
  TMemoryRichEdit memory;
  IRichEdit* views[] = {&qt, &memory};
  for (IRichEdit* v : views) v->SetAutoUrlDetect(true);
  std::mt19937 rng(99);
  const char* pieces[] = {"a",    "\r", "\n",       "\r\n", kZhong.c_str(),
                          "\xFF", " ",  "file://x", "\t"};
  const TColor colors[] = {clDefault, clRed, clBlue, kGreen};
  for (int step = 0; step < 400; ++step) {
    int op = rng() % 10;
    std::string text;
    for (int n = rng() % 5; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    if (op < 4) {
      for (IRichEdit* v : views) v->AppendLine(text);
    } else if (op < 5) {
      int line = rng() % (memory.LineCount() + 1);
      for (IRichEdit* v : views) v->ReplaceLine(line, text);
    } else if (op < 6 && rng() % 8 == 0) {
      for (IRichEdit* v : views) v->Clear();
    } else {
      // Whole characters and whole breaks, as the program selects.
      std::string all = memory.Text();
      std::vector<int> bounds{0};
      for (size_t i = 0; i < all.size();) {
        int w = richedit::BreakWidthAt(all, i);
        i += w ? w : gbk::CharLengthAt(all, i);
        bounds.push_back(int(i));
      }
      int a = bounds[rng() % bounds.size()], b = bounds[rng() % bounds.size()];
      if (a > b) std::swap(a, b);
      TColor color = colors[rng() % 4];
      TFontStyles style = rng() % 16;
      for (IRichEdit* v : views) {
        v->SetSelection(a, b - a);
        v->SetSelColor(color);
        v->SetSelStyle(style);
      }
    }
    ASSERT_EQ(qt.Text(), memory.Text()) << step;
    ASSERT_EQ(qt.LineCount(), memory.LineCount());
    for (int i = 0; i < memory.LineCount(); ++i)
      ASSERT_EQ(qt.LineIndex(i), memory.LineIndex(i));
    ASSERT_EQ(qt.Links(), memory.Links());
    for (int i = 0; i < memory.TextLength(); ++i)
      ASSERT_EQ(qt.FormatAt(i), memory.FormatAt(i)) << "step " << step << " pos " << i;
    ASSERT_EQ(qt.SelStart(), memory.SelStart());
    ASSERT_EQ(qt.SelectedText(), memory.SelectedText());
  }
}

}  // namespace velmora::richedit_test

int main(int argc, char** argv) {
  // Fonts and the clipboard need an application object.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
