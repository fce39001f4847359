// The stroke-order panel in the window: when it comes up, where, what it
// plays, and that closing it is remembered.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Dict.h"
#include "app/StrokePanel.h"
#include "gif/GIFImage.h"
#include "platform/classes/Application.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/Image.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/QtRichEdit.h"
#include "tests/app/WorkFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// How many pixels of what a picture shows are so.
template <typename F>
int Pixels(const QImage& shown, F is) {
  int n = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) n += is(shown.pixel(x, y));
  return n;
}

class StrokePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("1.sr", gbk::FromUtf8("中：middle\n"));
    dir_.Write("2.sr", gbk::FromUtf8("中国：China\n"));
    for (const char* name : {"3.sr", "4.sr", "5.sr"}) dir_.Write(name, "");
    Application().OnShowException = [this](const std::exception& e) {
      reported_.push_back(e.what());
    };
  }
  void TearDown() override {
    delete form_;
    Application().OnShowException = nullptr;
  }
  TForm4& Create() {
    delete form_;
    form_ = new TForm4;
    form_->DoCreate();
    form_->StrokePanel->SetDataFile(std::string(VELMORA_DATA_DIR) + "/strokes.bin");
    form_->show();
    return *form_;
  }
  void Search(const char* utf8) {
    form_->edSearch->setText(QString::fromUtf8(utf8));
    form_->btnSearchClick(form_->btnSearch);
    QApplication::processEvents();  // the panel follows the results
  }
  bool Shown() const { return form_->StrokePanel->isVisibleTo(form_); }
  // Right click in the view with the given selection, choosing 笔顺.
  void ChooseStrokes(int start, int length) {
    form_->OnPopup = [this](TPoint) { return form_->N3; };
    form_->ResultEdit().SetSelection(start, length);
    form_->reResultMouseDown(form_->reResult, TMouseButton::mbRight, 0, 10, 10);
  }
  TGIFImage* Played() const {
    return dynamic_cast<TGIFImage*>(form_->StrokePanel->Image()->Picture().GetGraphic());
  }

  test::TWorkFolder dir_{"velmora-strokes"};
  TForm4* form_ = nullptr;
  std::vector<std::string> reported_;
};

TEST_F(StrokePanelTest, OneCharacterQueriesPlayBesideTheControls) {
  TForm4& f = Create();
  EXPECT_FALSE(Shown());
  Search("中");
  ASSERT_TRUE(Shown());
  TStrokePanel& panel = *f.StrokePanel;
  EXPECT_EQ(panel.Character(), U'中');
  ASSERT_TRUE(Played());
  EXPECT_GT(Played()->Images->GetCount(), 8);
  EXPECT_EQ(Played()->GetWidth(), panel.Image()->width());
  EXPECT_GE(panel.width(), 100);
  // It covers no control and no result, and stays inside the window.
  for (QWidget* w : std::initializer_list<QWidget*>{f.edSearch, f.btnSearch, f.btnStop,
                                                    f.cbRareWord, f.reResult})
    EXPECT_FALSE(panel.geometry().intersects(w->geometry()))
        << w->metaObject()->className();
  EXPECT_TRUE(f.rect().contains(panel.geometry()));

  // What the painter puts on screen: the faint character over white at first.
  const QImage shown = panel.Image()->Render();
  EXPECT_GT(Pixels(shown, [](QRgb c) { return c == qRgb(255, 255, 255); }),
            shown.width() * shown.height() / 2);
  EXPECT_GT(Pixels(shown, [](QRgb c) { return qGray(c) < 250; }), 100);

  // A click replays: a fresh copy read back from what was written.
  const TGIFImage* before = Played();
  const int frames = before->Images->GetCount();
  QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(30, 60));
  ASSERT_TRUE(Played());
  EXPECT_NE(Played(), before);
  EXPECT_EQ(Played()->Images->GetCount(), frames);

  Search("中国");
  EXPECT_FALSE(Shown());
  Search("a");  // one character, but no strokes for it
  EXPECT_FALSE(Shown());
  Search("中");
  EXPECT_TRUE(Shown());
}

TEST_F(StrokePanelTest, WithTheBannersItSitsBesideThemAboveTheCheckBox) {
  for (const char* name : {"t1.gif", "t2.gif", "w.gif"})
    fs::copy_file(fs::path(VELMORA_DATA_DIR) / name, dir_ / name);
  TForm4& f = Create();
  ASSERT_GT(f.imgLogo->height(), 100);  // the pictures were laid out
  Search("中");
  ASSERT_TRUE(Shown());
  const QRect panel = f.StrokePanel->geometry();
  EXPECT_GE(panel.width(), 140);
  for (QWidget* w :
       std::initializer_list<QWidget*>{f.imgLogo, f.imgLogo2, f.edSearch, f.btnSearch,
                                       f.btnStop, f.cbRareWord, f.reResult})
    EXPECT_FALSE(panel.intersects(w->geometry())) << w->metaObject()->className();
  EXPECT_TRUE(f.rect().contains(panel));
  // The rare-character table shows in full when the box is checked.
  f.cbRareWord->setChecked(true);
  EXPECT_FALSE(panel.intersects(f.imgLogo3->geometry()));
}

// Pixels of the finished strokes' ink in what the picture shows.
int InkPixels(const QImage& shown) {
  return Pixels(shown, [](QRgb c) { return c == qRgb(0x20, 0x20, 0x20); });
}

TEST_F(StrokePanelTest, PausedItStepsAStrokeAtATimeAndPlaysOnFromThere) {
  TForm4& f = Create();
  Search("中");
  ASSERT_TRUE(Shown());
  TStrokePanel& panel = *f.StrokePanel;
  ASSERT_EQ(panel.StrokeCount(), 4);
  EXPECT_FALSE(panel.Paused());
  EXPECT_EQ(panel.Count()->text(), QStringLiteral("1 / 4"));
  EXPECT_TRUE(panel.PlayButton()->isVisibleTo(&panel));

  // Pause and play again go on with the same animation.
  const TGIFImage* playing = Played();
  QTest::mouseClick(panel.PlayButton(), Qt::LeftButton);
  EXPECT_TRUE(panel.Paused());
  QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
  EXPECT_FALSE(panel.Paused());
  EXPECT_EQ(Played(), playing);

  // A step pauses; each shows the character still with one stroke more in
  // ink, and stops at the last.
  QTest::keyClick(&f, Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_TRUE(panel.Paused());
  while (panel.StrokeShown() > 0) QTest::mouseClick(panel.BackButton(), Qt::LeftButton);
  EXPECT_EQ(panel.Count()->text(), QStringLiteral("0 / 4"));
  std::vector<int> ink = {InkPixels(panel.Image()->Render())};
  EXPECT_EQ(ink[0], 0);
  for (int k = 1; k <= 5; ++k) {
    QTest::keyClick(&f, Qt::Key_Period, Qt::ControlModifier);
    ASSERT_TRUE(Played());
    EXPECT_EQ(Played()->Images->GetCount(), 1);
    ink.push_back(InkPixels(panel.Image()->Render()));
    EXPECT_EQ(panel.Count()->text(), QStringLiteral("%1 / 4").arg(std::min(k, 4)));
  }
  for (int k = 1; k <= 4; ++k)
    EXPECT_GT(ink[std::size_t(k)], ink[std::size_t(k - 1)]) << k;
  EXPECT_EQ(ink[5], ink[4]);

  // Play from two strokes done: the loop entered at the third stroke (what
  // that loop shows: StrokeAnimation.EnteredAtALaterStrokeItIsTheSameLoop).
  QTest::mouseClick(panel.BackButton(), Qt::LeftButton);
  QTest::mouseClick(panel.BackButton(), Qt::LeftButton);
  EXPECT_EQ(panel.Count()->text(), QStringLiteral("2 / 4"));
  QTest::mouseClick(panel.PlayButton(), Qt::LeftButton);
  EXPECT_FALSE(panel.Paused());
  ASSERT_TRUE(Played());
  EXPECT_GT(Played()->Images->GetCount(), 4);
  EXPECT_EQ(panel.Count()->text(), QStringLiteral("3 / 4"));
  EXPECT_GT(InkPixels(panel.Image()->Render()), ink[1]);
  // A new character plays from its start.
  Search("永");
  EXPECT_EQ(panel.Count()->text(), QStringLiteral("1 / 5"));
  EXPECT_FALSE(panel.Paused());
}

TEST_F(StrokePanelTest, WithoutStrokesACharacterShowsItsGlyph) {
  TForm4& f = Create();
  TStrokePanel& panel = *f.StrokePanel;
  // Every record byte-flipped past the index: each lookup fails to decode.
  std::ifstream in(std::string(VELMORA_DATA_DIR) + "/strokes.bin", std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  const std::size_t count = std::uint8_t(bytes[8]) | std::uint8_t(bytes[9]) << 8;
  for (std::size_t i = 16 + 8 * count + 4; i < bytes.size(); ++i)
    bytes[i] = char(~bytes[i]);
  for (const std::string& file :
       {dir_.Write("damaged.bin", bytes), (dir_ / "none.bin").string()}) {
    panel.SetDataFile(file);
    Search("永");
    ASSERT_TRUE(Shown()) << file;
    EXPECT_EQ(panel.Character(), 0u);
    EXPECT_TRUE(panel.Glyph()->isVisibleTo(&panel));
    EXPECT_FALSE(panel.Image()->isVisibleTo(&panel));
    EXPECT_FALSE(panel.PlayButton()->isVisibleTo(&panel));
    EXPECT_GT(
        Pixels(panel.Glyph()->grab().toImage(), [](QRgb c) { return qGray(c) < 128; }),
        100)
        << "the font draws it";
    // The keys do nothing without strokes.
    QTest::keyClick(&f, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_FALSE(Played());
  }
  Search("a");  // not a Chinese character: no panel
  EXPECT_FALSE(Shown());
  // With the data back, the same character plays.
  panel.SetDataFile(std::string(VELMORA_DATA_DIR) + "/strokes.bin");
  Search("永");
  EXPECT_FALSE(panel.Glyph()->isVisibleTo(&panel));
  EXPECT_TRUE(panel.Image()->isVisibleTo(&panel));
  EXPECT_TRUE(reported_.empty());
}

TEST_F(StrokePanelTest, ClosingIsRememberedAndTheMenuBringsItBack) {
  TForm4& f = Create();
  Search("中");
  ASSERT_TRUE(Shown());
  QTest::mouseClick(f.StrokePanel->CloseButton(), Qt::LeftButton);
  EXPECT_FALSE(Shown());
  EXPECT_FALSE(f.StrokePanel->Wanted());

  // A new window remembers: one-character queries leave the panel closed.
  Create();
  EXPECT_FALSE(form_->StrokePanel->Wanted());
  Search("中");
  EXPECT_FALSE(Shown());

  // 笔顺 on the character in the heading plays it, and the panel is wanted again.
  const std::string text = form_->ResultEdit().Text();
  const std::size_t at = text.find(gbk::FromUtf8("中"));
  ASSERT_NE(at, std::string::npos);
  ChooseStrokes(int(at), 2);
  EXPECT_TRUE(Shown());
  EXPECT_EQ(form_->StrokePanel->Character(), U'中');
  EXPECT_TRUE(form_->StrokePanel->Wanted());
  EXPECT_FALSE(form_->StrokePanel->Note()->isVisibleTo(form_->StrokePanel));
  Create();
  EXPECT_TRUE(form_->StrokePanel->Wanted());

  // A selection that is not one character gets a note instead of a picture.
  Search("中国");
  ChooseStrokes(0, 6);
  EXPECT_TRUE(Shown());
  EXPECT_TRUE(form_->StrokePanel->Note()->isVisibleTo(form_->StrokePanel));
  EXPECT_FALSE(Played());
}

}  // namespace
}  // namespace velmora
