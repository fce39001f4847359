// The extended search in the window: how it is turned on and kept, results
// as you type, and the history of typed queries. With it off the window
// must behave as it always did.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "app/AsYouType.h"
#include "app/Dict.h"
#include "app/History.h"
#include "platform/classes/Application.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/RichEdit.h"
#include "tests/app/WorkFolder.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::Lines;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

std::string HeadingOf(const char* utf8) {
  return G("您所查询的 「") + G(utf8) + G("」相关内容：");
}

// The standing time passes when the test says so.
class TManualOneShot : public IOneShot {
 public:
  void Start(std::chrono::milliseconds after, std::function<void()> step) override {
    EXPECT_EQ(after, TAsYouType::kStandTime);
    step_ = std::move(step);
    ++starts;
  }
  void Stop() override { step_ = nullptr; }
  bool Pending() const { return bool(step_); }
  void Fire() {
    if (auto step = std::exchange(step_, nullptr)) step();
  }
  int starts = 0;

 private:
  std::function<void()> step_;
};

class AsYouTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StopRequested = false;
    // Messages run every few bytes of scanning, so that a test can type
    // between the lines of a small dictionary.
    TForm4::SearchPacing = {16, std::chrono::nanoseconds(0)};
    dir_.Write("1.sr", G("中：middle\n甲：first\n"));
    std::string two = G("中国：China\n");
    for (int i = 0; i < 40; ++i) two += G("甲乙：filler\n");
    dir_.Write("2.sr", two);
    dir_.Write("3.sr", G("中国人：Chinese person\n"));
    dir_.Write("4.sr", G("一二三四：four\n"));
    dir_.Write("5.sr", G("一二三四五：five\n"));
  }
  void TearDown() override {
    delete form_;
    TForm4::SearchPacing = TSearchPacing{};
    Application().OnProcessMessages = [] { QCoreApplication::processEvents(); };
  }

  TForm4& Create() {
    delete form_;
    form_ = new TForm4;
    form_->DoCreate();
    stand_ = new TManualOneShot;
    form_->AsYouType().SetStandTimer(std::unique_ptr<IOneShot>(stand_));
    return *form_;
  }
  static void Activate(TForm4& f) {
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  }
  std::string Text() { return form_->ResultEdit().Text(); }
  std::string Heading() { return Lines(form_->ResultEdit())[0]; }
  std::string Status() { return Lines(form_->ResultEdit())[1]; }
  // What an input method hands the box for a finished character.
  void Commit(const char* utf8) {
    QInputMethodEvent event;
    event.setCommitString(QString::fromUtf8(utf8));
    QApplication::sendEvent(form_->edSearch, &event);
  }
  // Lets the edits made so far reach the search.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // A finished character, and its search.
  void Type(const char* utf8) {
    Commit(utf8);
    Settle();
  }
  // The view a search started with Enter shows for the box's text.
  std::string EnteredView() {
    QTest::keyClick(form_->edSearch, Qt::Key_Return);
    return Text();
  }
  // Whether the query box is drawn exactly as a plain one of the same place
  // and text.
  static bool DrawnAsAPlainBox(TForm4& f) {
    QLineEdit plain(&f);
    plain.setGeometry(f.edSearch->geometry());
    const QString text = f.edSearch->text();
    for (QLineEdit* box : {&plain, f.edSearch}) {
      box->setText(QStringLiteral("中国 zhong guo 中国 zhong guo 中国 zhong guo 中国"));
      box->setCursorPosition(0);
    }
    const bool same = plain.grab().toImage() == f.edSearch->grab().toImage();
    f.edSearch->setText(text);
    return same;
  }
  QVariant Kept(const char* key) {
    return QSettings(TForm4::SettingsFile(), QSettings::IniFormat).value(key);
  }

  test::TWorkFolder dir_{"velmora-as-you-type"};
  TForm4* form_ = nullptr;
  TManualOneShot* stand_ = nullptr;  // owned by the form
};

TEST_F(AsYouTypeTest, WithoutAChoiceTheWindowIsAsBefore) {
  TForm4& f = Create();
  EXPECT_FALSE(f.ExtendedSearch());
  const QList<QAction*> items = f.PopupMenu1->actions();
  ASSERT_GE(items.size(), 3);
  EXPECT_EQ(items[0], f.N1);
  EXPECT_EQ(items[1], f.N2);
  EXPECT_TRUE(items.contains(f.ExtendedSearchItem));
  EXPECT_TRUE(f.ExtendedSearchItem->isCheckable());
  // The box looks as it always did.
  EXPECT_TRUE(f.edSearch->placeholderText().isEmpty());
  EXPECT_FALSE(f.edSearch->testAttribute(Qt::WA_SetPalette));
  for (QAction* a : f.edSearch->actions()) EXPECT_FALSE(a->isVisible());
  EXPECT_TRUE(DrawnAsAPlainBox(f));

  // Typing searches nothing; Enter cleans and searches as ever.
  const std::string before = Text();
  QTest::keyClicks(f.edSearch, "ab");
  Type("中国");
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(stand_->starts, 0);
  QTest::keyClick(f.edSearch, Qt::Key_Return);
  EXPECT_EQ(Heading(), HeadingOf("中国"));
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中国"));
  EXPECT_EQ(f.History().Entries(), std::deque<std::string>{G("中国")});
  EXPECT_FALSE(Kept("search/extended").isValid());
}

TEST_F(AsYouTypeTest, MenuItemCtrlEAndTheBadgeTurnItOnAndOffAndTheChoiceIsKept) {
  TForm4& f = Create();
  f.ExtendedSearchItem->trigger();  // as chosen from the menu
  EXPECT_TRUE(f.ExtendedSearch());
  EXPECT_EQ(Kept("search/extended").toBool(), true);
  EXPECT_FALSE(DrawnAsAPlainBox(f));
  EXPECT_FALSE(f.edSearch->placeholderText().isEmpty());
  EXPECT_NE(f.edSearch->palette().color(QPalette::Base),
            f.palette().color(QPalette::Base));
  QAction* badge = nullptr;
  for (QAction* a : f.edSearch->actions())
    if (a->isVisible()) badge = a;
  ASSERT_NE(badge, nullptr);

  // A new window starts with the choice kept.
  TForm4& g = Create();
  EXPECT_TRUE(g.ExtendedSearch());
  EXPECT_TRUE(g.ExtendedSearchItem->isChecked());
  EXPECT_FALSE(g.edSearch->placeholderText().isEmpty());

  // Ctrl+E from the query box, which would take it for itself, and from
  // the view.
  Activate(g);
  g.edSearch->setFocus();
  QTest::keyClick(g.edSearch, Qt::Key_E, Qt::ControlModifier);
  EXPECT_FALSE(g.ExtendedSearch());
  EXPECT_EQ(Kept("search/extended").toBool(), false);
  EXPECT_TRUE(g.edSearch->placeholderText().isEmpty());
  EXPECT_FALSE(g.edSearch->testAttribute(Qt::WA_SetPalette));
  g.edSearch->clearFocus();
  EXPECT_TRUE(DrawnAsAPlainBox(g));
  g.reResult->setFocus();
  QTest::keyClick(g.reResult, Qt::Key_E, Qt::ControlModifier);
  EXPECT_TRUE(g.ExtendedSearch());

  // The badge in the box turns it off.
  for (QAction* a : g.edSearch->actions())
    if (a->isVisible()) a->trigger();
  EXPECT_FALSE(g.ExtendedSearch());
  EXPECT_EQ(Create().ExtendedSearch(), false);
}

TEST_F(AsYouTypeTest, TheDisplayChoicesShowAgainAndAreKept) {
  TForm4& f = Create();
  f.SetExtendedSearch(true);
  Type("中国");
  // The explanation in its own case by default.
  EXPECT_NE(Text().find("China"), std::string::npos);
  f.OwnCaseItem->setChecked(false);
  Settle();
  EXPECT_EQ(Text().find("China"), std::string::npos);
  EXPECT_NE(Text().find("china"), std::string::npos);
  f.ToneMarksItem->setChecked(false);
  // The choices come back with the next window; the menu holds them after
  // the specified items.
  TForm4& g = Create();
  EXPECT_FALSE(g.OwnCaseItem->isChecked());
  EXPECT_FALSE(g.ToneMarksItem->isChecked());
  EXPECT_TRUE(g.TraditionalItem->isChecked());
  EXPECT_EQ(g.ExtendedDisplay(), (TExtendedDisplay{false, false, true}));
  EXPECT_GT(g.PopupMenu1->actions().indexOf(g.ExtendedDisplayMenu->menuAction()), 1);
  g.OwnCaseItem->setChecked(true);
  g.ToneMarksItem->setChecked(true);
}

TEST_F(AsYouTypeTest, EveryEditSearchesTheBoxAsTypedAndLeavesTheBoxAlone) {
  TForm4& f = Create();
  f.SetExtendedSearch(true);
  Type("中");
  EXPECT_EQ(Heading(), HeadingOf("中"));
  EXPECT_EQ(Status(), G("搜寻完毕!"));
  Type("国");
  EXPECT_EQ(Heading(), HeadingOf("中国"));
  // Typed in the middle: the cursor stays where the user left it.
  f.edSearch->setCursorPosition(1);
  Type("人");
  EXPECT_EQ(Heading(), HeadingOf("中人国"));
  EXPECT_EQ(f.edSearch->cursorPosition(), 2);
  // Deleting is an edit too.
  QTest::keyClick(f.edSearch, Qt::Key_Backspace);
  Settle();
  EXPECT_EQ(Heading(), HeadingOf("中国"));
  EXPECT_EQ(f.edSearch->cursorPosition(), 1);
  const std::string typed = Text();
  EXPECT_EQ(EnteredView(), typed);

  // Turning it on asks the box's text again the new way.
  f.SetExtendedSearch(false);
  f.edSearch->setText(QStringLiteral("一二三四"));
  Settle();
  EXPECT_EQ(Heading(), HeadingOf("中国"));
  f.SetExtendedSearch(true);
  Settle();
  EXPECT_EQ(Heading(), HeadingOf("一二三四"));
}

TEST_F(AsYouTypeTest, TypedResultsAreShownFromTheTopWhereEnterFollowsTheOutput) {
  TForm4& f = Create();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QScrollBar* bar = f.reResult->verticalScrollBar();
  f.SetExtendedSearch(true);
  f.edSearch->setText(QStringLiteral("甲"));
  QTest::keyClick(f.edSearch, Qt::Key_Return);
  ASSERT_GT(bar->value(), 0);  // at the end of the output
  Type("乙");
  EXPECT_EQ(Heading(), HeadingOf("甲乙"));
  EXPECT_EQ(bar->value(), 0);
  EXPECT_GT(bar->maximum(), 0);
  QTest::keyClick(f.edSearch, Qt::Key_Return);
  EXPECT_GT(bar->value(), 0);
}

TEST_F(AsYouTypeTest, KeystrokesDuringASearchEndItAndTheLastQueryIsShown) {
  TForm4& f = Create();
  f.SetExtendedSearch(true);
  int depth = 0, deepest = 0, calls = 0;
  std::vector<std::string> headings;
  Application().OnProcessMessages = [&] {
    deepest = std::max(deepest, ++depth);
    std::string heading = Heading();
    if (headings.empty() || headings.back() != heading) headings.push_back(heading);
    // Three edits while 甲 is being listed, the last two in one batch.
    if (++calls == 3) {
      Commit("x");
      QCoreApplication::processEvents();
      QTest::keyClick(f.edSearch, Qt::Key_Backspace);
      Commit("乙");
    }
    QCoreApplication::processEvents();
    --depth;
  };
  Type("甲");
  EXPECT_EQ(deepest, 1);  // never a search inside another
  EXPECT_EQ(Heading(), HeadingOf("甲乙"));
  EXPECT_EQ(Status(), G("搜寻完毕!"));
  // 甲 was stopped, 甲x asked for and overtaken before it ran or at once.
  ASSERT_GE(headings.size(), 2u);
  EXPECT_EQ(headings.front(), HeadingOf("甲"));
  EXPECT_EQ(headings.back(), HeadingOf("甲乙"));
  EXPECT_LE(headings.size(), 3u);
  EXPECT_EQ(Text().find(G("您所查询的")), Text().rfind(G("您所查询的")));
  EXPECT_EQ(Text().find(G("搜寻停止!")), std::string::npos);
  EXPECT_TRUE(f.btnSearch->isEnabled());
  const std::string typed = Text();
  Application().OnProcessMessages = nullptr;
  EXPECT_EQ(EnteredView(), typed);

  // Stop ends the search under way and the one a keystroke asked for.
  calls = 0;
  Application().OnProcessMessages = [&] {
    if (++calls == 2) {
      Commit("x");
      f.btnStopClick(f.btnStop);
    }
    QCoreApplication::processEvents();
  };
  f.edSearch->setText(QStringLiteral("甲"));
  Type("乙");
  EXPECT_EQ(Status(), G("搜寻停止!"));
  EXPECT_EQ(Heading(), HeadingOf("甲乙"));
}

TEST_F(AsYouTypeTest, HistoryKeepsWhatWasEnteredOrStoodNotEveryKeystroke) {
  TForm4& f = Create();
  f.SetExtendedSearch(true);
  Commit("中");
  Type("国");
  EXPECT_TRUE(f.History().Entries().empty());
  EXPECT_TRUE(stand_->Pending());
  stand_->Fire();
  EXPECT_EQ(f.History().Entries(), std::deque<std::string>{G("中国")});

  // Latin letters and spaces are kept as typed, without the spaces around.
  f.edSearch->clear();
  QTest::keyClicks(f.edSearch, " green tea ");
  Settle();
  stand_->Fire();
  // A text that changed meanwhile without an edit did not stand.
  QTest::keyClicks(f.edSearch, "x");
  f.edSearch->setText(QStringLiteral("甲"));
  stand_->Fire();
  // Enter keeps at once.
  f.edSearch->setText(QStringLiteral("zhong1 guo2"));
  QTest::keyClick(f.edSearch, Qt::Key_Return);
  // Enter during a typed search: it ends, and the entered one runs and is
  // kept at once.
  int calls = 0;
  Application().OnProcessMessages = [&] {
    if (++calls == 2) QTest::keyClick(f.edSearch, Qt::Key_Return);
    QCoreApplication::processEvents();
  };
  f.edSearch->setText(QStringLiteral("甲"));
  Type("乙");
  Application().OnProcessMessages = nullptr;
  EXPECT_GT(calls, 2);
  EXPECT_EQ(Heading(), HeadingOf("甲乙"));
  EXPECT_EQ(Status(), G("搜寻完毕!"));
  const std::deque<std::string> kept{G("中国"), "green tea", "zhong1 guo2", G("甲乙")};
  EXPECT_EQ(f.History().Entries(), kept);

  // Each search has its own history, and the typed one loads again.
  f.SetExtendedSearch(false);
  EXPECT_TRUE(f.History().Entries().empty());
  Commit("国");
  stand_->Fire();
  EXPECT_TRUE(f.History().Entries().empty());
  delete form_;
  form_ = nullptr;
  testing::internal::CaptureStderr();
  TForm4& g = Create();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(g.History().Entries().empty());
  g.SetExtendedSearch(true);
  EXPECT_EQ(g.History().Entries(), kept);
  Activate(g);
  g.edSearch->setFocus();
  QTest::keyClick(g.edSearch, Qt::Key_Up);
  EXPECT_EQ(g.edSearch->text(), QStringLiteral("甲乙"));
}

TEST(TypedQueryTest, KeepsOneLineOfTwoBytesOrMoreWithoutTheSpacesAround) {
  EXPECT_EQ(TypedQuery("  green  tea "), "green  tea");
  EXPECT_EQ(TypedQuery(G("学*")), G("学*"));
  EXPECT_EQ(TypedQuery(" a "), "");
  EXPECT_EQ(TypedQuery("   "), "");
  EXPECT_EQ(TypedQuery("a\tb"), "");
  for (const std::string& bad : {std::string("ab\n"), std::string("a\0b", 3),
                                 std::string(" ab"), std::string("x")})
    EXPECT_FALSE(IsTypedQuery(bad)) << bad;
  EXPECT_TRUE(IsTypedQuery("zhongguo"));
}

}  // namespace
}  // namespace velmora
