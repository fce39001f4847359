#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <random>

#include "RichEditConformance.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "platform/richedit/QtRichEdit.h"

// Not in an anonymous namespace, so that test names show plain harness names.
namespace velmora::richedit_test {

TEST(GbkQt, EveryByteStringSurvivesTheTripThroughQString) {
  // 中文, a lone lead byte, a byte that never starts a character, and a
  // double-byte character whose second byte is an ASCII letter.
  const std::string bytes = "\xD6\xD0\xCE\xC4 \x81\xFF \x80x \xD1}";
  QString text = QStringFromGbk(bytes);
  EXPECT_TRUE(text.startsWith(QStringLiteral("中文 ")));
  EXPECT_EQ(GbkFromQString(text), bytes);
  // What GBK cannot hold becomes "?".
  EXPECT_EQ(GbkFromQString(QStringLiteral("a😀b")), "a?b");
}

struct QtHarness {
  TQtRichEdit edit;
  std::vector<std::string> copies;
  int scrolledTo = -1;
  QtHarness() {
    edit.SetClipboardSink([this](const QString& plain, const QString&) {
      copies.push_back(GbkFromQString(plain));
    });
    edit.OnScrollIntoView = [this](int pos) { scrolledTo = pos; };
    edit.OnScrollToTop = [this] { scrolledTo = 0; };
  }
  IRichEdit& View() { return edit; }
  int ScrolledTo() const { return scrolledTo; }
};

// With every line laid out as it changes, as a view showing it all would.
struct QtLaidOutHarness : QtHarness {
  QtLaidOutHarness() {
    edit.OnChanged = [this] { edit.EnsureLaidOut(0, edit.LineCount() - 1); };
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, RichEditConformance, QtHarness);
INSTANTIATE_TYPED_TEST_SUITE_P(QtLaidOut, RichEditConformance, QtLaidOutHarness);

TEST(QtRichEdit, CopiesPlainTextAndHtmlToTheSystemClipboard) {
  TQtRichEdit edit;
  edit.AppendLine("one " + kZhong);
  edit.AppendLine("x\ry");
  edit.SetSelection(0, 3);
  edit.SetSelColor(clRed);
  edit.SetSelection(0, 11);
  edit.CopySelection();
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text(), QString::fromUtf8("one 中\nx\ry"));
  EXPECT_TRUE(data->html().contains("#ff0000")) << data->html().toStdString();
  // The lone CR is no line break in the HTML either.
  EXPECT_EQ(data->html().count("<br>"), 1) << data->html().toStdString();
}

TEST(QtRichEdit, OffersTheSelectionAsThePrimarySelection) {
  TQtRichEdit edit;
  std::vector<QString> offered;
  edit.SetPrimarySink([&](const QString& plain) { offered.push_back(plain); });
  edit.AppendLine("one " + kZhong);
  edit.AppendLine("two");
  edit.OfferSelection();  // nothing selected: nothing offered
  EXPECT_TRUE(offered.empty());
  edit.SetSelection(4, 6);
  edit.OfferSelection();
  EXPECT_EQ(offered, std::vector<QString>{QString::fromUtf8("中\ntw")});
  // Without a sink it goes to the platform's primary selection, if any.
  TQtRichEdit plain;
  plain.AppendLine("sel");
  plain.SetSelection(0, 3);
  plain.OfferSelection();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->supportsSelection()) {
    EXPECT_EQ(clipboard->text(QClipboard::Selection), QStringLiteral("sel"));
  }
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
        i += w ? w : gbk::DecodedLengthAt(all, i);
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

TEST(HeightIndex, AgreesWithPlainSumsUnderRandomChanges) {
  richedit::THeightIndex index;
  std::vector<int> plain;
  std::mt19937 rng(7);
  for (int step = 0; step < 2000; ++step) {
    int op = rng() % 4;
    if (op == 0 || plain.empty()) {
      int h = 1 + rng() % 40;
      index.Append(h);
      plain.push_back(h);
    } else if (op == 1) {
      int line = rng() % plain.size(), h = 1 + rng() % 40;
      index.Set(line, h);
      plain[line] = h;
    } else if (op == 2 && rng() % 10 == 0) {
      int first = rng() % plain.size();
      int count = rng() % std::min<int>(3, int(plain.size()) - first + 1);
      std::vector<int> fresh(rng() % 3, 5);
      index.Splice(first, count, fresh);
      plain.erase(plain.begin() + first, plain.begin() + first + count);
      plain.insert(plain.begin() + first, fresh.begin(), fresh.end());
    }
    ASSERT_EQ(index.Size(), int(plain.size()));
    if (plain.empty()) continue;
    long long top = 0;
    for (int i = 0; i < int(plain.size()); ++i) {
      ASSERT_EQ(index.Top(i), top);
      ASSERT_EQ(index.LineAt(top), i);
      ASSERT_EQ(index.LineAt(top + plain[i] - 1), i);
      top += plain[i];
    }
    ASSERT_EQ(index.Total(), top);
    ASSERT_EQ(index.LineAt(top + 100), int(plain.size()) - 1);
  }
}

// The user's edits keep the byte counting of the program's own, and undo
// gives back exactly what was there, formats included.
TEST(QtRichEdit, UserEditsKeepPositionsAndUndoRestoresTextAndFormats) {
  std::mt19937 rng(3);
  const char* pieces[] = {"a", "\r\n", "\n", kZhong.c_str(), " ", "file://x", "\t", "\r"};
  for (int round = 0; round < 20; ++round) {
    TQtRichEdit edit;
    edit.SetAutoUrlDetect(true);
    for (int i = 0; i < 6; ++i) {
      edit.AppendLine("line " + std::to_string(i) + " " + kZhong + "\n" + kColon);
      edit.SetSelection(edit.LineIndex(edit.LineCount() - 2) - 4, 3);
      edit.SetSelColor(i % 2 ? clRed : kGreen);
      edit.SetSelStyle(fsBold);
    }
    const std::string before = edit.Text();
    std::vector<TCharFormat> formats;
    for (int i = 0; i < edit.TextLength(); ++i) formats.push_back(edit.FormatAt(i));

    for (int k = 0; k < 15; ++k) {
      int a = int(rng() % (edit.TextLength() + 1)),
          b = int(rng() % (edit.TextLength() + 1));
      edit.SetAnchorAndCaret(a, b);
      if (rng() % 3 == 0) {
        edit.DeleteAtCaret(rng() % 2);
      } else {
        std::string text;
        for (int n = 1 + rng() % 3; n > 0; --n) text += pieces[rng() % std::size(pieces)];
        edit.EditSelection(text);
      }
      std::vector<int> starts = ParseLineStarts(edit.Text());
      ASSERT_EQ(edit.LineCount(), int(starts.size())) << round << " " << k;
      for (int i = 0; i < edit.LineCount(); ++i) ASSERT_EQ(edit.LineIndex(i), starts[i]);
      // Every line is placed: heights for all of them, laid out or not.
      ASSERT_EQ(edit.LineAtY(edit.DocumentHeight() - 1), edit.LineCount() - 1);
    }
    ASSERT_NE(edit.Text(), before) << round;  // there is something to undo
    while (edit.Undo()) {
    }
    ASSERT_EQ(edit.Text(), before) << round;
    for (int i = 0; i < edit.TextLength(); ++i)
      ASSERT_EQ(edit.FormatAt(i), formats[i]) << round << " pos " << i;
  }
}

TEST(QtRichEdit, TypedTextTakesTheFormatBeforeItAndJoinsOneUndoStep) {
  TQtRichEdit edit;
  edit.AppendLine("key");
  edit.SetSelection(0, 3);
  edit.SetSelColor(clBlue);
  edit.SetAnchorAndCaret(3, 3);
  for (const char* c : {"x", "y", "\n"}) edit.EditSelection(c);
  EXPECT_EQ(edit.Text(), "keyxy\r\n\r\n");  // a typed break is CR LF
  EXPECT_EQ(edit.FormatAt(4).Color, clBlue);
  EXPECT_EQ(edit.Caret(), 7);
  ASSERT_TRUE(edit.Undo());
  EXPECT_EQ(edit.Text(), "keyxy\r\n");
  ASSERT_TRUE(edit.Undo());
  EXPECT_EQ(edit.Text(), "key\r\n");
  EXPECT_FALSE(edit.Undo());
}

// The program's output is not the user's to undo: a search clears the view,
// and a replaced line moves the text the steps refer to.
TEST(QtRichEdit, UndoForgetsStepsThatTheProgramsEditsInvalidate) {
  TQtRichEdit edit;
  edit.AppendLine("status");
  edit.AppendLine("entry");
  edit.SetAnchorAndCaret(9, 9);
  edit.EditSelection("!");
  edit.AppendLine("more output");  // at the end: the step still holds
  EXPECT_TRUE(edit.CanUndo());
  edit.ReplaceLine(0, "stopped!");
  EXPECT_FALSE(edit.CanUndo());
  EXPECT_EQ(edit.Text(), "stopped!\r\ne!ntry\r\nmore output\r\n");
  edit.EditSelection("?");
  edit.Clear();
  EXPECT_FALSE(edit.Undo());
}

TEST(QtRichEdit, LaysOutOnlyWhatIsAskedForAndEstimatesTheRest) {
  TQtRichEdit edit;
  edit.SetLayoutWidth(300);
  for (int i = 0; i < 5000; ++i)
    edit.AppendLine("entry " + std::to_string(i) + " " + kZhong);
  EXPECT_EQ(edit.LaidOutLines(), 0);
  EXPECT_GT(edit.DocumentHeight(), 5000 * 10);
  // A point deep inside: only its line is laid out, and its top stays put.
  long long top = edit.LineTop(4000);
  int pos = edit.HitTest(QPointF(1, double(top) + 2), false);
  EXPECT_EQ(edit.LineFromChar(pos), 4000);
  EXPECT_EQ(edit.LineTop(4000), top);
  EXPECT_LE(edit.LaidOutLines(), 2);
  EXPECT_TRUE(edit.IsLaidOut(4000));
  // A long line wraps: it is taller than one line, with the wrapped lines
  // further in than the first.
  edit.SetParagraphIndents(6, 22);
  edit.AppendLine(std::string(400, 'w') + " end");
  int last = edit.LineCount() - 2;
  edit.EnsureLaidOut(last, last);
  EXPECT_GT(edit.LineHeight(last), 3 * edit.LineHeight(0));
  QRectF first = edit.CaretRect(edit.LineIndex(last));
  QRectF end = edit.CaretRect(edit.LineEnd(last));
  EXPECT_NEAR(first.left(), 8, 1);    // 6 points
  EXPECT_GE(end.left(), 8 + 29 - 1);  // wrapped: 6 + 22 points
}

TEST(QtRichEdit, CopiesASelectionOfThousandsOfLinesByteForByte) {
  TQtRichEdit edit;
  std::vector<std::pair<QString, QString>> copies;
  edit.SetClipboardSink([&](const QString& plain, const QString& html) {
    copies.push_back({plain, html});
  });
  std::string expected;
  for (int i = 0; i < 6000; ++i) {
    std::string line = "k" + std::to_string(i) + kZhong + (i % 2 ? "\n" : "");
    edit.AppendLine(line);
    edit.SetSelection(edit.TextLength() - int(line.size()) - 2, 1);
    edit.SetSelColor(i % 3 ? clBlue : clRed);
    expected += line + "\n";  // copied with LF line ends
  }
  edit.SetSelection(0, edit.TextLength());
  edit.CopySelection();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(GbkFromQString(copies[0].first), expected);
  EXPECT_EQ(edit.LaidOutLines(), 0);  // copying lays nothing out
  EXPECT_EQ(copies[0].second.count("#ff0000"), 2000);
  EXPECT_TRUE(copies[0].second.contains(QString::fromUtf8("5999中")));
}

}  // namespace velmora::richedit_test

int main(int argc, char** argv) {
  // Fonts and the clipboard need an application object.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
