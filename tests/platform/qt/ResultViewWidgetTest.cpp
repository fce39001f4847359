#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

#include "platform/classes/Gbk.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {
namespace {

struct Notification {
  unsigned code;
  unsigned msg;
  int first;
  int after;
};

class ViewWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    edit_.SetAutoUrlDetect(true);
    edit_.SetClipboardSink(
        [this](const QString& plain, const QString&) { copies_.push_back(plain); });
    edit_.SetPrimarySink([this](const QString& plain) { offered_.push_back(plain); });
    view_.SetEdit(&edit_);
    view_.resize(400, 200);
    view_.SetEventMask(ENM_LINK);
    view_.OnNotify = [this](TMessage& m) {
      ASSERT_EQ(m.Msg, WM_NOTIFY);
      const auto* link = reinterpret_cast<const ENLINK*>(m.LParam);
      got_.push_back({link->nmhdr.code, link->msg, link->chrg.cpMin, link->chrg.cpMax});
    };
    view_.OnMouseDown = [this](TMouseButton b, TShiftState, int x, int y) {
      downs_.push_back({b, QPoint(x, y)});
    };
    view_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view_));
  }
  void TearDown() override { view_.SetEdit(nullptr); }

  // Shows what is pending and paints it.
  void Show() {
    view_.Flush();
    view_.viewport()->repaint();
  }
  // A point on the character at a byte position.
  QPoint At(int pos) { return view_.CursorRect(pos).center() + QPoint(2, 0); }
  QWidget* Viewport() { return view_.viewport(); }
  // Lines that say what they are, with a link on every 1000th.
  void WriteLines(int count) {
    for (int i = 0; i < count; ++i) {
      std::string line = "line " + std::to_string(i) + " \xD6\xD0";
      if (i % 1000 == 500) line += " see http://x.org/" + std::to_string(i) + " now";
      edit_.AppendLine(line);
    }
  }
  void ScrollTo(long long y) {
    view_.verticalScrollBar()->setValue(int(y));
    Show();
  }

  TQtRichEdit edit_;
  TResultViewWidget view_;
  std::vector<Notification> got_;
  std::vector<std::pair<TMouseButton, QPoint>> downs_;
  std::vector<QString> copies_;
  std::vector<QString> offered_;  // primary selections
};

// What the user selects, by mouse or keys, becomes the primary selection
// (middle-click paste); what the program selects while it writes does not.
TEST_F(ViewWidgetTest, UserSelectionsBecomeThePrimarySelection) {
  edit_.AppendLine("alpha beta");
  edit_.AppendLine("gamma");
  Show();
  view_.setFocus();
  edit_.SetSelection(0, 5);  // the program's own: not offered
  EXPECT_TRUE(offered_.empty());
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(6));
  QTest::mouseMove(Viewport(), At(14));
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, At(14));
  ASSERT_EQ(offered_.size(), 1u);
  EXPECT_EQ(offered_[0], QStringLiteral("beta\nga"));
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, At(7));  // selects a word
  EXPECT_EQ(edit_.SelectedText(), "beta");
  EXPECT_EQ(offered_.back(), QStringLiteral("beta"));
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, At(1));
  EXPECT_EQ(offered_.back(), QStringLiteral("alpha"));
  QTest::keyClick(&view_, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(offered_.back(), QStringLiteral("alpha "));
  QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(offered_.back(), QStringLiteral("alpha beta\ngamma\n"));
  // A click without a drag selects nothing and offers nothing.
  const std::size_t before = offered_.size();
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, At(3));
  EXPECT_EQ(offered_.size(), before);
  // While the program writes, the selection is not the user's.
  view_.SetWriting(true);
  QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(offered_.size(), before);
  view_.SetWriting(false);
}

TEST_F(ViewWidgetTest, MouseMessagesOverALinkAreReportedWithItsRangeAndNoneElsewhere) {
  edit_.AppendLine("see http://x.org/abc now");
  Show();
  QPoint p = At(8);
  QTest::mouseMove(Viewport(), p);
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, p);
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, p);
  QTest::mousePress(Viewport(), Qt::RightButton, {}, p);
  std::vector<unsigned> msgs;
  for (const Notification& n : got_) {
    EXPECT_EQ(n.code, EN_LINK);
    EXPECT_EQ(n.first, 4);
    EXPECT_EQ(n.after, 20);
    if (n.msg != WM_MOUSEMOVE) msgs.push_back(n.msg);
  }
  EXPECT_EQ(msgs, (std::vector<unsigned>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                         WM_RBUTTONDOWN}));
  ASSERT_FALSE(got_.empty());
  EXPECT_EQ(got_[0].msg, WM_MOUSEMOVE);
  ASSERT_FALSE(downs_.empty());
  EXPECT_EQ(downs_.back().first, TMouseButton::mbRight);
  EXPECT_EQ(downs_.back().second, p);

  // Off the link, past the end of its line, or without the event mask:
  // nothing, though the mouse-down event still comes.
  got_.clear();
  downs_.clear();
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(1));
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, QPoint(390, At(8).y()));
  EXPECT_TRUE(got_.empty());
  view_.SetEventMask(0);
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(8));
  EXPECT_TRUE(got_.empty());
  EXPECT_EQ(downs_.size(), 3u);
}

// The part scrolled to was never laid out: its place comes from estimates,
// and the link found there is the one drawn there, with its byte range.
TEST_F(ViewWidgetTest, LinkUnderTheMouseAfterScrollingIntoLinesNeverLaidOut) {
  WriteLines(20000);
  Show();
  const int line = 15500;
  ScrollTo(edit_.LineTop(line) - 50);
  EXPECT_LT(edit_.LaidOutLines(), 100);
  int start = int(edit_.Text().find("http", edit_.LineIndex(line)));
  QPoint p = At(start + 3);
  ASSERT_GE(p.y(), 0);
  ASSERT_LT(p.y(), Viewport()->height());
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, p);
  ASSERT_EQ(got_.size(), 1u);
  EXPECT_EQ(got_[0].msg, WM_LBUTTONDOWN);
  EXPECT_EQ(got_[0].first, start);
  EXPECT_EQ(edit_.Text().substr(start, got_[0].after - start), "http://x.org/15500");
  EXPECT_LT(edit_.LaidOutLines(), 100);
}

// Laying lines out gives them their true heights without moving what is on
// screen: the line at the top stays, and the thumb barely moves.
TEST_F(ViewWidgetTest, ScrollingIntoEstimatedLinesKeepsTheTopLineAndTheThumb) {
  WriteLines(20000);
  Show();
  QScrollBar* bar = view_.verticalScrollBar();
  ScrollTo(bar->maximum() / 2);
  QApplication::processEvents();  // the bars settle
  Show();
  const int range = bar->maximum();
  // Pages further down and back up beyond where it started: lines never
  // laid out come on screen each time.
  for (int step : {1, 1, 1, -1, -1, -1, -1, -1}) {
    int value = bar->value() + step * Viewport()->height();
    bar->setValue(value);
    int top = edit_.LineAtY(value);
    Show();
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(edit_.LineAtY(bar->value()), top);
  }
  EXPECT_NEAR(bar->maximum(), range, range / 100);
}

TEST_F(ViewWidgetTest, SelectsAcrossLinesNeverLaidOutAndCopiesThemWhole) {
  WriteLines(20000);
  Show();
  view_.setFocus();
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(2));
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, At(2));
  ScrollTo(view_.verticalScrollBar()->maximum());
  int end = edit_.LineIndex(19999) + 4;  // "line" of the last line
  QTest::mousePress(Viewport(), Qt::LeftButton, Qt::ShiftModifier, At(end));
  QTest::mouseRelease(Viewport(), Qt::LeftButton, Qt::ShiftModifier, At(end));
  EXPECT_EQ(edit_.SelStart(), 2);
  EXPECT_EQ(edit_.SelLength(), end - 2);
  EXPECT_LT(edit_.LaidOutLines(), 100);
  QTest::keyClick(&view_, Qt::Key_C, Qt::ControlModifier);
  ASSERT_EQ(copies_.size(), 1u);
  // With LF line ends: every break here is a CR LF.
  std::string expected = edit_.Text().substr(2, end - 2);
  std::erase(expected, '\r');
  EXPECT_EQ(GbkFromQString(copies_[0]), expected);

  // Shift with the arrows extends it from the caret; Ctrl+A takes all.
  QTest::keyClick(&view_, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(edit_.SelLength(), end - 1);
  QTest::keyClick(&view_, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(edit_.LineFromChar(edit_.Caret()), 19998);
  QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(edit_.SelLength(), edit_.TextLength());
}

// Output written at the end, each span selected as the search does: the
// view follows it, at most every repaint interval, and ends on the last.
TEST_F(ViewWidgetTest, FollowsTheNewestOutputAndGoesBackToTheTop) {
  QScrollBar* bar = view_.verticalScrollBar();
  int paints = 0;
  struct Counter : QObject {
    int& n;
    explicit Counter(int& c) : n(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++n;
      return false;
    }
  } counter(paints);
  Viewport()->installEventFilter(&counter);
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < 3000; ++i) {
    edit_.AppendLine("entry " + std::to_string(i));
    edit_.SetSelection(edit_.TextLength() - 2 - 5, 5);
    QApplication::processEvents();
  }
  qint64 elapsed = clock.elapsed();
  Show();
  QApplication::processEvents();
  EXPECT_GT(bar->value(), bar->maximum() - 2 * edit_.LineHeight(0));
  QRect caret = view_.CursorRect(edit_.Caret());
  EXPECT_GE(caret.top(), 0);
  EXPECT_LE(caret.bottom(), Viewport()->height());
  // Far fewer paints than lines: one per interval at most, and the last.
  EXPECT_LE(paints, elapsed / TResultViewWidget::kRepaintInterval + 3);
  EXPECT_LT(edit_.LaidOutLines(), 100);
  // Once all is shown, nothing more is painted while nothing changes.
  view_.clearFocus();  // no caret blinking
  QTest::qWait(3 * TResultViewWidget::kRepaintInterval);
  int settled = paints;
  QTest::qWait(5 * TResultViewWidget::kRepaintInterval);
  EXPECT_EQ(paints, settled);
  Viewport()->removeEventFilter(&counter);

  edit_.ScrollToTop();
  Show();
  EXPECT_EQ(bar->value(), 0);
}

// While the owner writes, the selection is its working cursor: keys must
// not edit through it. Afterwards the user edits, and Ctrl+Z takes back the
// user's edits only.
TEST_F(ViewWidgetTest, KeysEditOnlyWhileNoOneWritesAndUndoTakesBackTheUsersEdits) {
  edit_.AppendLine("heading");
  edit_.AppendLine("entry");
  view_.setFocus();
  edit_.SetSelection(9, 5);  // the program's span: "entry"
  view_.SetWriting(true);
  const std::string before = edit_.Text();
  QTest::keyClicks(&view_, "xy");
  for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return, Qt::Key_Tab})
    QTest::keyClick(&view_, key);
  QTest::keyClick(&view_, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&view_, Qt::Key_X, Qt::ControlModifier);
  QTest::keyClick(&view_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit_.Text(), before);
  EXPECT_EQ(edit_.SelectedText(), "entry");
  view_.SetWriting(false);

  // The program's output is no undo step.
  QTest::keyClick(&view_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit_.Text(), before);
  QTest::keyClick(&view_, Qt::Key_End);
  QTest::keyClicks(&view_, "ab");
  QTest::keyClick(&view_, Qt::Key_Tab);  // a tab, not the next control
  EXPECT_EQ(edit_.Text(), "heading\r\nentryab\t\r\n");
  EXPECT_TRUE(view_.hasFocus());
  QTest::keyClick(&view_, Qt::Key_Backspace);
  EXPECT_EQ(edit_.Text(), "heading\r\nentryab\r\n");
  QTest::keyClick(&view_, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(&view_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit_.Text(), "heading\r\nentry\r\n");
  QTest::keyClick(&view_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit_.Text(), before);
}

// The caret keys move and select (Shift with the arrows, Ctrl+A: the
// test of selections across lines never laid out); keys the view has no use
// for go on to the window (its shortcuts).
TEST_F(ViewWidgetTest, CaretKeysMoveAndSelectAndOtherKeysPassOn) {
  edit_.AppendLine("alpha beta");
  edit_.AppendLine("gamma");
  Show();
  view_.setFocus();
  QTest::keyClick(&view_, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(edit_.Caret(), edit_.TextLength());
  QTest::keyClick(&view_, Qt::Key_Up);
  QTest::keyClick(&view_, Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(edit_.SelectedText(), "gamma");

  const std::string text = edit_.Text();
  for (auto [key, modifiers] : {std::pair{Qt::Key_F5, Qt::NoModifier},
                                std::pair{Qt::Key_B, Qt::ControlModifier}}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&view_, &press);
    EXPECT_FALSE(press.isAccepted()) << key;
  }
  QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
  QApplication::sendEvent(&view_, &insert);
  EXPECT_TRUE(insert.isAccepted());
  EXPECT_EQ(edit_.Text(), text);
}

// An edit control that hides its selection: without the focus the program's
// working selection is not drawn.
TEST_F(ViewWidgetTest, DrawsTheSelectionOnlyWithTheFocus) {
  QPalette pal = view_.palette();
  pal.setColor(QPalette::Highlight, QColor(255, 0, 255));
  view_.setPalette(pal);
  edit_.AppendLine("selected text here");
  edit_.SetSelection(0, 8);
  auto highlighted = [&] {
    Show();
    QImage image = Viewport()->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == QColor(255, 0, 255)) ++n;
    return n;
  };
  view_.clearFocus();
  EXPECT_EQ(highlighted(), 0);
  view_.activateWindow();
  view_.setFocus();
  ASSERT_TRUE(view_.hasFocus());
  EXPECT_GT(highlighted(), 50);
}

TEST_F(ViewWidgetTest, ZoomScalesTheTextWithinLimits) {
  edit_.AppendLine("text");
  Show();
  int height = edit_.LineHeight(0);
  EXPECT_EQ(view_.Zoom(), 100);
  view_.SetZoom(200);
  EXPECT_EQ(view_.Zoom(), 200);
  Show();
  EXPECT_GE(edit_.LineHeight(0), 2 * height - 2);
  view_.SetZoom(1000);
  EXPECT_EQ(view_.Zoom(), 400);
  view_.SetZoom(10);
  EXPECT_EQ(view_.Zoom(), 50);
}

}  // namespace
}  // namespace velmora
