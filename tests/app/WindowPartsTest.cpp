// What the window tells a part added to it, and when: the contract the
// histories, the search as you type, the stroke panel and the card rely on.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "app/Dict.h"
#include "dict/SearchRun.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/Image.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/RichEdit.h"
#include "tests/app/WorkFolder.h"

namespace velmora {
namespace {

// Writes down what it is told, one line a call.
class TRecordingPart : public IWindowPart {
 public:
  std::vector<std::string> Told;
  bool TakeKeys = false;
  TPartRoom Room;

  void Place(const TPartRoom& room) override { Room = room; }
  void SearchStarting(const TSearchQuery& query, bool recorded) override {
    Told.push_back("start " + gbk::ToUtf8(query.Typed) + (recorded ? " kept" : ""));
  }
  void SearchShown(const QString& box, IRichEdit& view) override {
    Told.push_back("shown " + box.toStdString() + (view.LineCount() > 0 ? " lines" : ""));
  }
  void QueryEdited() override { Told.push_back("edited"); }
  bool QueryKey(const QKeyEvent& key) override {
    Told.push_back("key " + std::to_string(key.key() == Qt::Key_Up));
    return TakeKeys;
  }
  void SearchKindChanged(bool extended) override {
    Told.push_back(extended ? "extended" : "standard");
  }
  void SearchStopped() override { Told.push_back("stopped"); }
  void Closing() override { Told.push_back("closing"); }
};

class WindowPartsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("1.sr", gbk::FromUtf8("中：middle\n"));
    folder_.Write("2.sr", gbk::FromUtf8("中国：China\n"));
    for (const char* name : {"3.sr", "4.sr", "5.sr"}) folder_.Write(name, "");
    form_ = std::make_unique<TForm4>();
    form_->DoCreate();
    form_->AddPart(part_);
  }
  // What the part was told since the last call.
  std::vector<std::string> Told() { return std::exchange(part_.Told, {}); }
  // The turn of the message loop after a search, where parts hear of it.
  void Settle() { QTest::qWait(1); }

  test::TWorkFolder folder_{"velmora-parts"};
  TRecordingPart part_;
  std::unique_ptr<TForm4> form_;
};

TEST_F(WindowPartsTest, SearchesAreAnnouncedBeforeAndShownAfter) {
  form_->LookUp(QStringLiteral("中国"));
  EXPECT_EQ(Told(), std::vector<std::string>{"start 中国 kept"});
  Settle();
  EXPECT_EQ(Told(), std::vector<std::string>{"shown 中国 lines"});

  // A walk back through the history searches again without keeping.
  form_->LookUp(QStringLiteral("中"));
  Settle();
  Told();
  form_->GoBack();
  Settle();
  EXPECT_EQ(Told(), (std::vector<std::string>{"start 中国", "shown 中国 lines"}));
}

TEST_F(WindowPartsTest, EditsKeysKindAndClosingReachThePart) {
  form_->edSearch->setFocus();
  QTest::keyClick(form_->edSearch, Qt::Key_A);
  EXPECT_EQ(Told(), (std::vector<std::string>{"key 0", "edited"}));

  // The window's own parts come first: the history takes Up before this
  // part hears of it, and Down too.
  QTest::keyClick(form_->edSearch, Qt::Key_Up);
  QTest::keyClick(form_->edSearch, Qt::Key_Down);
  EXPECT_EQ(Told(), std::vector<std::string>{});
  QTest::keyClick(form_->edSearch, Qt::Key_Left);
  EXPECT_EQ(Told(), std::vector<std::string>{"key 0"});

  form_->SetExtendedSearch(true);
  form_->SetExtendedSearch(false);
  EXPECT_EQ(Told(), (std::vector<std::string>{"extended", "start a", "standard"}));
  Settle();
  Told();

  form_->btnStopClick(form_->btnStop);
  form_->close();
  EXPECT_EQ(Told(), (std::vector<std::string>{"stopped", "closing"}));
}

TEST_F(WindowPartsTest, PartsArePlacedInTheRoomRightOfTheBannersOnEveryResize) {
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  form_->resize(900, 700);
  const TPartRoom room = part_.Room;
  EXPECT_EQ(room.Right, 900 - 8);
  EXPECT_GE(room.Left, form_->imgLogo->geometry().right() + 9);
  EXPECT_LT(room.RowTop, room.RowBottom);
  EXPECT_EQ(room.ViewTop, form_->reResult->y());
  form_->resize(1000, 700);
  EXPECT_EQ(part_.Room.Right, 1000 - 8);
}

}  // namespace
}  // namespace velmora
