// The handwriting pad in the window: opened from the menu and with Ctrl+D,
// strokes drawn with the mouse become candidates, a click on one searches,
// Undo and Clear; and where the pad goes so that it covers nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>

#include "app/Dict.h"
#include "app/HandwritingPad.h"
#include "app/StrokePanel.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/QtRichEdit.h"
#include "tests/app/WorkFolder.h"

namespace velmora {
namespace {

class HandwritingPadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("1.sr", gbk::FromUtf8("十：ten\n一：one\n"));
    for (const char* name : {"2.sr", "3.sr", "4.sr", "5.sr"}) dir_.Write(name, "");
    form_ = new TForm4;
    form_->DoCreate();
    form_->StrokePanel->SetDataFile(std::string(VELMORA_DATA_DIR) + "/strokes.bin");
    form_->show();
  }
  void TearDown() override { delete form_; }

  // A stroke through the points, with the left button held, as a mouse,
  // pen or finger gives it.
  void Stroke(std::initializer_list<QPoint> corners) {
    QWidget* canvas = form_->HandwritingPad->Canvas();
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
      QMouseEvent e(type, at, canvas->mapToGlobal(at), Qt::LeftButton, buttons,
                    Qt::NoModifier);
      QApplication::sendEvent(canvas, &e);
    };
    const std::vector<QPoint> c(corners);
    send(QEvent::MouseButtonPress, c[0], Qt::LeftButton);
    for (std::size_t i = 1; i < c.size(); ++i)
      for (int k = 1; k <= 20; ++k)
        send(QEvent::MouseMove, c[i - 1] + (c[i] - c[i - 1]) * k / 20.0, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, c.back(), Qt::NoButton);
  }
  // Lets the worker answer; the candidates shown then.
  QString Candidates() {
    bool shown = false;
    auto c = QObject::connect(form_->HandwritingPad, &THandwritingPad::CandidatesShown,
                              [&] { shown = true; });
    QElapsedTimer t;
    t.start();
    while (!shown && t.elapsed() < 20000)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    QObject::disconnect(c);
    EXPECT_TRUE(shown);
    return form_->HandwritingPad->Candidates();
  }

  test::TWorkFolder dir_{"velmora-hand"};
  TForm4* form_ = nullptr;
};

TEST_F(HandwritingPadTest, OpensFromTheMenuAfterItsItemsAndWithControlD) {
  const QList<QAction*> items = form_->PopupMenu1->actions();
  ASSERT_FALSE(items.isEmpty());
  EXPECT_GT(items.indexOf(form_->HandwritingItem), items.indexOf(form_->N2));
  EXPECT_LT(items.indexOf(form_->ExtendedSearchItem),
            items.indexOf(form_->HandwritingItem));
  EXPECT_EQ(form_->HandwritingPad, nullptr);  // nothing changes until opened

  // From the query box, which would otherwise delete a character.
  form_->edSearch->setText(QStringLiteral("ab"));
  form_->edSearch->setCursorPosition(0);
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
  form_->edSearch->setFocus();
  QTest::keyClick(form_->edSearch, Qt::Key_D, Qt::ControlModifier);
  ASSERT_NE(form_->HandwritingPad, nullptr);
  EXPECT_TRUE(form_->HandwritingPad->isVisible());
  EXPECT_EQ(form_->edSearch->text(), QStringLiteral("ab"));
  form_->HandwritingPad->hide();
  form_->HandwritingItem->trigger();
  EXPECT_TRUE(form_->HandwritingPad->isVisible());
}

TEST_F(HandwritingPadTest, StrokesBecomeCandidatesAndAClickSearches) {
  form_->HandwritingItem->trigger();
  THandwritingPad& pad = *form_->HandwritingPad;
  Stroke({{40, 150}, {260, 150}});
  EXPECT_TRUE(Candidates().startsWith(QStringLiteral("一")));
  Stroke({{150, 30}, {150, 270}});
  const QString both = Candidates();
  EXPECT_TRUE(both.startsWith(QStringLiteral("十"))) << both.toStdString();
  EXPECT_EQ(both.size(), 10);
  EXPECT_EQ(pad.Drawing().size(), 2u);

  pad.Undo();
  EXPECT_TRUE(Candidates().startsWith(QStringLiteral("一")));
  Stroke({{150, 30}, {150, 270}});
  ASSERT_TRUE(Candidates().startsWith(QStringLiteral("十")));

  // A click puts the character where the cursor is, and looks the query up.
  form_->edSearch->clear();
  QTest::mouseClick(pad.CandidateButtons()[0], Qt::LeftButton);
  EXPECT_EQ(form_->edSearch->text(), QStringLiteral("十"));
  EXPECT_NE(form_->ResultEdit().Text().find("ten"), std::string::npos)
      << form_->ResultEdit().Text();

  pad.Clear();
  EXPECT_EQ(Candidates(), QString());
  EXPECT_TRUE(pad.Drawing().empty());
  // The answer came quickly: the recognizer is not the pen's bottleneck.
  Stroke({{40, 150}, {260, 150}});
  Candidates();
  EXPECT_GT(pad.LastLatencyMs(), 0);
}

TEST(HandwritingPadPlace, BesideTheWindowWhereTheScreenHasRoom) {
  const QSize pad(420, 420);
  const QRect window(100, 50, 700, 600);
  // Right of it, left of it, and on a screen with room for neither, at the
  // screen's edge and inside it.
  EXPECT_EQ(THandwritingPad::PlaceBeside(window, pad, QRect(0, 0, 1920, 1080)),
            QPoint(808, 50));
  EXPECT_EQ(THandwritingPad::PlaceBeside(window.translated(700, 0), pad,
                                         QRect(0, 0, 1920, 1080)),
            QPoint(372, 50));
  EXPECT_EQ(THandwritingPad::PlaceBeside(window, pad, QRect(0, 0, 1024, 768)),
            QPoint(604, 50));
  EXPECT_EQ(THandwritingPad::PlaceBeside(window.translated(0, 800), pad,
                                         QRect(0, 0, 1920, 1080)),
            QPoint(808, 660));
}

}  // namespace
}  // namespace velmora
