#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <sstream>

#include "app/Dict.h"
#include "app/History.h"
#include "dict/LinkTarget.h"
#include "platform/classes/Application.h"
#include "platform/classes/Canvas.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/Image.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/qt/ShellOpen.h"
#include "platform/richedit/QtRichEdit.h"
#include "tests/app/WorkFolder.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return gbk::FromUtf8(utf8);
}

const std::string kStopped = G("搜寻停止!");
const std::string kFinished = G("搜寻完毕!");
const std::string kTooShort = G("请输入正确搜寻字符串");

// Pictures for the tests: the file holds "width height" as text.
class TTestGraphic : public TGraphic {
 public:
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  bool GetEmpty() const override { return width_ == 0 || height_ == 0; }
  void Draw(TCanvas& canvas, const TRect& rect) override {
    canvas.SetBrushColor(RGB(10, 20, 30));
    canvas.FillRect(rect);
  }
  void LoadFromStream(TStream& stream) override {
    std::string text(std::size_t(stream.GetSize()), '\0');
    stream.ReadBuffer(text.data(), std::int64_t(text.size()));
    std::istringstream in(text);
    if (!(in >> width_ >> height_)) throw EInvalidGraphic("Not a test picture");
  }
  void SaveToStream(TStream& stream) override {
    std::string text = std::to_string(width_) + " " + std::to_string(height_);
    stream.WriteBuffer(text.data(), std::int64_t(text.size()));
  }
  std::unique_ptr<TGraphic> NewOfSameClass() const override {
    return std::make_unique<TTestGraphic>();
  }

 private:
  int width_ = 0;
  int height_ = 0;
};

using test::Lines;

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TPicture::RegisterFileFormat("gif", "test picture", "velmora-test-graphic",
                                 [] { return std::make_unique<TTestGraphic>(); });
    for (TPicture* p : {picLogo, picLogo2, picLogo3}) p->SetGraphic(nullptr);
    StopRequested = false;
    // Messages run every few bytes of scanning, so that the tests can step in
    // between the lines of a small dictionary.
    TForm4::SearchPacing = {16, std::chrono::nanoseconds(0)};
    Application().OnShowException = [this](const std::exception& e) {
      reported_.push_back(e.what());
    };
    SetShellOpener([this](const std::string& target) { opened_.push_back(target); });
  }

  void TearDown() override {
    delete form_;
    TForm4::SearchPacing = TSearchPacing{};
    SetShellOpener(nullptr);
    Application().OnProcessMessages = [] { QCoreApplication::processEvents(); };
    Application().OnShowException = nullptr;
    TPicture::UnregisterGraphicClass("velmora-test-graphic");
  }

  void Write(const std::string& name, const std::string& bytes) {
    dir_.Write(name, bytes);
  }
  void WritePictures(int w1, int h1, int w2, int h2, int w3, int h3) {
    auto size = [](int w, int h) { return std::to_string(w) + " " + std::to_string(h); };
    Write("t1.gif", size(w1, h1));
    Write("t2.gif", size(w2, h2));
    Write("w.gif", size(w3, h3));
  }
  void WriteWorkedExamplePictures() { WritePictures(499, 120, 499, 41, 499, 224); }
  // Five dictionary files; 2.sr holds 中国 with a link and many other
  // entries, so that a search of 中国 takes many lines.
  void WriteDictionary() {
    Write("1.sr", G("中：middle\n"));
    std::string two = G("中国：China <a href=\"Help.htm\">help</a>\n");
    for (int i = 0; i < 40; ++i) two += G("甲乙：filler\n");
    Write("2.sr", two);
    Write("3.sr", G("一二三：one two three\n"));
    Write("4.sr", G("一二三四：four\n"));
    Write("5.sr", G("一二三四五：five\n"));
  }

  // A new window, in place of the one before.
  TForm4& Create() {
    delete form_;
    form_ = new TForm4;
    form_->DoCreate();
    return *form_;
  }

  IRichEdit& View() { return form_->ResultEdit(); }
  std::string Text() { return View().Text(); }
  void Search(const char* utf8) {
    form_->edSearch->setText(QString::fromUtf8(utf8));
    form_->btnSearchClick(form_->btnSearch);
  }
  // Searches with act run the n-th time messages run; how often they ran.
  int SearchActingAt(const char* utf8, int n, const std::function<void()>& act) {
    int calls = 0;
    Application().OnProcessMessages = [&] {
      if (++calls == n) act();
    };
    Search(utf8);
    Application().OnProcessMessages = nullptr;
    return calls;
  }
  // Sends a link notification as the view does for a mouse message over the
  // link that covers [start, start + length).
  void NotifyLink(unsigned mouseMessage, int start, int length) {
    ENLINK record;
    record.nmhdr.code = EN_LINK;
    record.msg = mouseMessage;
    record.chrg.cpMin = start;
    record.chrg.cpMax = start + length;
    TMessage message;
    message.Msg = WM_NOTIFY;
    message.LParam = reinterpret_cast<std::intptr_t>(&record);
    form_->WMNotify(message);
  }
  std::string Folder() const { return dir_.Path().string(); }
  // What a click on a link to the file name of the folder must hand over.
  std::string Url(const std::string& name) const {
    return FileUrl((dir_ / name).string());
  }
  // "#", "%" and spaces in the folder's path must reach a link handler as
  // part of the path.
  test::TWorkFolder dir_{"velmora form #1 %41"};
  TForm4* form_ = nullptr;
  std::vector<std::string> reported_;
  std::vector<std::string> opened_;
};

TEST_F(FormTest, WorkedExampleLaysTheWindowOutAroundThePictures) {
  WriteWorkedExamplePictures();
  TForm4& f = Create();
  EXPECT_TRUE(reported_.empty());
  EXPECT_EQ(f.imgLogo->geometry(), QRect(17, 0, 499, 120));
  EXPECT_EQ(f.imgLogo2->geometry(), QRect(17, 120, 499, 41));
  EXPECT_EQ(f.edSearch->geometry(), QRect(17, 168, 304, 24));
  EXPECT_EQ(f.btnSearch->y(), 168);
  EXPECT_EQ(f.btnStop->y(), 168);
  EXPECT_EQ(f.cbRareWord->geometry(), QRect(528, 168, 145, 24));
  EXPECT_EQ(f.imgLogo3->geometry(), QRect(17, 207, 499, 224));
  EXPECT_EQ(f.OuterWidth(), 700);
  EXPECT_EQ(ReservedHeight, 202);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 431, 700, 255));
  EXPECT_TRUE(View().AutoUrlDetect());
  EXPECT_EQ(f.reResult->EventMask(), ENM_LINK);

  f.cbRareWord->setChecked(false);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 202, 700, 484));
  f.cbRareWord->setChecked(true);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 431, 700, 255));

  // Docked: a taller window moves the view down and keeps its height, until
  // the check box computes it again from the new height.
  f.show();
  f.resize(800, 786);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 531, 800, 255));
  f.cbRareWord->setChecked(false);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 202, 800, 584));
}

TEST_F(FormTest, WindowIsTheWidestPicturePlusTenButNeverBelow700) {
  const std::pair<int, int> widths[] = {{690, 700}, {691, 701}, {1000, 1010}, {12, 700}};
  for (auto [widest, expected] : widths) {
    for (int slot = 0; slot < 3; ++slot) {
      WritePictures(slot == 0 ? widest : 10, 5, slot == 1 ? widest : 10, 5,
                    slot == 2 ? widest : 10, 5);
      EXPECT_EQ(Create().OuterWidth(), expected) << widest << " in slot " << slot;
    }
  }
}

// A window manager frames the window only once it is shown, after the layout
// was computed without a frame.
TEST_F(FormTest, LateFrameCountsInReservedHeightAndKeepsTheOuterWidthRule) {
  class TFramedForm : public TForm4 {
   public:
    int NonClientHeight() const override { return frameHeight; }
    int NonClientWidth() const override { return frameWidth; }
    int frameHeight = 0, frameWidth = 0;
  };
  WritePictures(900, 120, 499, 41, 499, 224);
  auto* f = new TFramedForm;
  form_ = f;
  f->DoCreate();
  EXPECT_EQ(f->OuterWidth(), 910);
  f->frameHeight = 30;
  f->frameWidth = 12;
  f->SyncFrame();
  EXPECT_EQ(ReservedHeight, 232);
  EXPECT_EQ(f->OuterWidth(), 910);
  EXPECT_EQ(f->width(), 898);
  f->cbRareWord->setChecked(false);
  EXPECT_EQ(f->reResult->y(), 168 + 24 + 10);  // 10 pixels below the search row
  // Only a change of the frame applies the width rule again, not a resize.
  f->resize(1000, f->height());
  f->SyncFrame();
  EXPECT_EQ(f->width(), 1000);
}

TEST_F(FormTest, MissingPictureIsNamedAloneAndLeavesTheDesignedLayout) {
  TForm4& f = Create();
  const std::string message = G("开启图片失败，请检查t1.gif档案");
  ASSERT_EQ(Lines(View()).size(), 2u);
  EXPECT_EQ(Lines(View())[0], message);
  EXPECT_EQ(View().FormatAt(0), (TCharFormat{clRed, fsBold}));
  EXPECT_EQ(View().FormatAt(int(message.size()) - 1), (TCharFormat{clRed, fsBold}));
  EXPECT_EQ(f.edSearch->geometry(), QRect(17, 155, 304, 24));
  EXPECT_EQ(f.imgLogo3->geometry(), QRect(17, 185, 499, 224));
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 424, 689, 262));
  EXPECT_FALSE(View().AutoUrlDetect());
  EXPECT_EQ(f.reResult->EventMask(), 0u);

  // Two pictures would load, but none is shown when the third is missing.
  Write("t1.gif", "499 120");
  Write("t2.gif", "499 41");
  TForm4& g = Create();
  EXPECT_EQ(Lines(View())[0], G("开启图片失败，请检查w.gif档案"));
  EXPECT_EQ(picLogo->GetWidth(), 0);
  // The cleared check box gives the view what lies 10 pixels below the
  // search row, and the row and the check box stay in sight.
  EXPECT_EQ(ReservedHeight, 155 + 24 + 10);
  g.cbRareWord->setChecked(false);
  EXPECT_EQ(g.reResult->geometry(), QRect(0, 189, 689, 497));
  g.cbRareWord->setChecked(true);
  EXPECT_EQ(g.reResult->geometry(), QRect(0, 418, 689, 268));
  g.cbRareWord->setChecked(false);
  // A frame that comes later is counted as with the pictures.
  g.show();
  EXPECT_EQ(g.reResult->y(), 189);
  EXPECT_FALSE(g.reResult->geometry().intersects(g.cbRareWord->geometry()));
  EXPECT_FALSE(g.reResult->geometry().intersects(g.edSearch->geometry()));
}

TEST_F(FormTest, FolderNamedLikeAPictureIsNotAPicture) {
  WriteWorkedExamplePictures();
  fs::remove(dir_ / "t1.gif");
  fs::create_directory(dir_ / "t1.gif");
  TForm4& f = Create();
  EXPECT_TRUE(reported_.empty());  // not handed to the decoder
  EXPECT_EQ(Lines(View())[0], G("开启图片失败，请检查t1.gif档案"));
  EXPECT_EQ(f.imgLogo->Picture().GetGraphic(), nullptr);
  EXPECT_FALSE(CanOpenFile("t1.gif"));
  EXPECT_TRUE(CanOpenFile("t2.gif"));
  EXPECT_FALSE(CanOpenFile("none.gif"));
}

TEST_F(FormTest, UndecodablePictureIsReportedAndTheWindowKeepsWhatWasDone) {
  WriteWorkedExamplePictures();
  Write("t2.gif", "not a picture");
  TForm4& f = Create();
  EXPECT_EQ(reported_, std::vector<std::string>{"Not a test picture"});
  EXPECT_EQ(picLogo->GetWidth(), 499);  // loaded before the failure
  EXPECT_EQ(f.imgLogo->Picture().GetGraphic(), nullptr);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 424, 689, 262));
  EXPECT_FALSE(View().AutoUrlDetect());
}

TEST_F(FormTest, TabMovesInTheDesignedOrderExceptInsideTheView) {
  TForm4& f = Create();
  std::vector<QWidget*> order;
  QWidget* w = f.edSearch;
  do {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != f.edSearch);
  EXPECT_EQ(order, (std::vector<QWidget*>{f.edSearch, f.btnSearch, f.reResult,
                                          f.cbRareWord, f.btnStop}));
  f.show();
  QTest::keyClick(f.reResult, Qt::Key_Tab);
  EXPECT_NE(Text().find('\t'), std::string::npos);
}

TEST_F(FormTest, EnterSearchesAndOtherKeysDoNot) {
  WriteDictionary();
  TForm4& f = Create();
  f.edSearch->setText(QStringLiteral("中国x"));
  QTest::keyClick(f.edSearch, Qt::Key_A);
  EXPECT_EQ(Lines(View())[0], G("开启图片失败，请检查t1.gif档案"));
  QTest::keyClick(f.edSearch, Qt::Key_Return);
  ASSERT_GE(Lines(View()).size(), 5u);
  EXPECT_EQ(Lines(View())[1], kFinished);
  EXPECT_EQ(Lines(View())[3], G("中国："));
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中国"));  // the cleaned query
  EXPECT_TRUE(f.btnSearch->isEnabled());

  f.edSearch->clear();
  QTest::keyClick(f.edSearch, Qt::Key_Enter);
  EXPECT_EQ(Lines(View())[0], kTooShort);
}

// A query from outside the window (the command line, D-Bus) reaches the
// search through LookUp, from a timer rather than a control: memory that
// runs out there is shown in the exception box, naming the file, and the
// window goes on.
TEST_F(FormTest, MemoryRunningOutInALookUpIsShownNamingTheFile) {
  WriteDictionary();
  TForm4& f = Create();
  reported_.clear();
  Application().OnProcessMessages = [] { throw std::bad_alloc(); };
  EXPECT_NO_THROW(f.LookUp(QStringLiteral("中国")));
  EXPECT_EQ(reported_, std::vector<std::string>{"Out of memory while searching 2.sr"});
  EXPECT_TRUE(f.btnSearch->isEnabled());
  Application().OnProcessMessages = nullptr;
  f.LookUp(QStringLiteral("中国"));
  EXPECT_EQ(Lines(View())[1], kFinished);
}

TEST_F(FormTest, ContextMenuOpensAtTheComputedScreenPosition) {
  EXPECT_EQ(TForm4::PopupPosition({0, 0}, 30, 431, 100, 50), (TPoint{90, 501}));
  EXPECT_EQ(TForm4::PopupPosition({200, 100}, 30, 431, 100, 50), (TPoint{290, 601}));

  TForm4& f = Create();
  std::vector<TPoint> opened;
  f.OnPopup = [&](TPoint at) -> QAction* {
    opened.push_back(at);
    return nullptr;
  };
  QWidget* view = f.reResult->viewport();
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(100, 50));
  QTest::mousePress(view, Qt::MiddleButton, {}, QPoint(100, 50));
  EXPECT_TRUE(opened.empty());
  QTest::mousePress(view, Qt::RightButton, {}, QPoint(100, 50));
  // The window at its designed place (206, 0), off screen so without a
  // frame, and the view's top at 424.
  EXPECT_EQ(opened, (std::vector<TPoint>{{206 + 100 - 10, 424 + 50 - 10}}));
}

TEST_F(FormTest, MenuItemsCopyOrLookUpTheSelection) {
  WriteDictionary();
  TForm4& f = Create();
  Search("中国");
  QAction* choice = nullptr;
  f.OnPopup = [&](TPoint) { return choice; };
  auto choose = [&](QAction* item, int start, int length) {
    choice = item;
    View().SetSelection(start, length);
    f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  };
  const int key = View().LineIndex(3);  // 中国：

  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("before"));
  choose(f.PopupMenu1->actions()[0], 0, 0);
  EXPECT_EQ(clipboard->text(), QStringLiteral("before"));
  choose(f.PopupMenu1->actions()[0], key, 4);
  EXPECT_EQ(clipboard->text(), QStringLiteral("中国"));
  EXPECT_TRUE(clipboard->mimeData()->hasHtml());

  choose(f.N2, key, 2);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中"));
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中」相关内容："));
  EXPECT_EQ(Lines(View())[1], kFinished);
  choose(f.N2, 0, 0);
  EXPECT_TRUE(f.edSearch->text().isEmpty());
  EXPECT_EQ(Lines(View())[0], kTooShort);
}

TEST_F(FormTest, LeftPressOnALinkOpensTheFileOfTheFolder) {
  WriteWorkedExamplePictures();
  Write("Help.htm", "<p>help</p>");
  Write("a#2%41.htm", "<p>odd</p>");
  TForm4& f = Create();
  for (const char* line : {"see file://help.htm", "FILE://Doc.htm", "file://Help.htm#Use",
                           "file://a.htmfile://b.htm", "http://example.org/x"}) {
    f.ResultOutput().AppendLine(line);
  }
  std::vector<TLinkRange> links = View().Links();
  ASSERT_EQ(links.size(), 5u);
  for (unsigned msg : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
    NotifyLink(msg, links[0].Start, links[0].Length);
  }
  EXPECT_TRUE(opened_.empty());

  for (const TLinkRange& link : links)
    NotifyLink(WM_LBUTTONDOWN, link.Start, link.Length);
  // help.htm is lower-cased from Help.htm; Doc.htm does not exist at all,
  // nor does "a.htmfile:/...", so they open nothing.
  ASSERT_EQ(opened_, (std::vector<std::string>{Url("Help.htm"), Url("Help.htm") + "#Use",
                                               "http://example.org/x"}));
  EXPECT_EQ(View().SelStart(), links[4].Start);  // the link was selected
  EXPECT_EQ(View().SelLength(), links[4].Length);
  // What a URL handler reads from it is the file, whatever the folder's
  // name holds.
  QUrl url(QString::fromStdString(opened_[0]), QUrl::StrictMode);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.toLocalFile().toStdString(), (dir_ / "Help.htm").string());
  EXPECT_FALSE(url.hasFragment());
  EXPECT_EQ(QUrl(QString::fromStdString(opened_[1])).fragment(), QStringLiteral("Use"));

  // A name with "#" and "%" of its own is a name, not a fragment.
  opened_.clear();
  f.ResultOutput().AppendLine("file://a#2%41.htm");
  const TLinkRange odd = View().Links().back();
  NotifyLink(WM_LBUTTONDOWN, odd.Start, odd.Length);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(QUrl(QString::fromStdString(opened_[0])).toLocalFile().toStdString(),
            (dir_ / "a#2%41.htm").string());
}

TEST_F(FormTest, SearchAskedForDuringASearchRunsOnceTheFirstHasStopped) {
  WriteDictionary();
  TForm4& f = Create();
  int depth = 0, deepest = 0, calls = 0;
  Application().OnProcessMessages = [&] {
    deepest = std::max(deepest, ++depth);
    if (++calls == 3) {
      f.edSearch->setText(QStringLiteral("中"));
      QTest::keyClick(f.edSearch, Qt::Key_Return);
    }
    --depth;
  };
  Search("中国");
  EXPECT_EQ(deepest, 1);  // never a search inside another
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中」相关内容："));
  EXPECT_EQ(Lines(View())[1], kFinished);
  EXPECT_EQ(Text().find(kStopped), std::string::npos);
  EXPECT_EQ(Text().find(G("您所查询的")), Text().rfind(G("您所查询的")));
  EXPECT_TRUE(f.btnSearch->isEnabled());
}

TEST_F(FormTest, StopCancelsASearchAskedForMeanwhile) {
  WriteDictionary();
  TForm4& f = Create();
  const int calls = SearchActingAt("中国", 3, [&] {
    f.edSearch->setText(QStringLiteral("中"));
    char enter = 13;
    f.edSearchKeyPress(f.edSearch, enter);
    f.btnStopClick(f.btnStop);
  });
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中国」相关内容："));
  EXPECT_EQ(Lines(View())[1], kStopped);
}

TEST_F(FormTest, ClosingTheWindowEndsARunningSearch) {
  WriteDictionary();
  TForm4& f = Create();
  EXPECT_EQ(SearchActingAt("中国", 3, [&] { f.close(); }), 3);
  EXPECT_EQ(Text().find(kFinished), std::string::npos);
}

// The editor catches up with a running search now and then instead of after
// every span; it must still follow the output meanwhile and end where the
// last span left it.
class FormViewSyncTest : public FormTest {
 protected:
  void WriteLongDictionary() {
    std::string entries;
    for (int i = 0; i < 80; ++i) entries += G("甲乙：filler\n");
    Write("1.sr", entries);
    for (const char* name : {"2.sr", "3.sr", "4.sr", "5.sr"}) Write(name, G("丙：x\n"));
  }
  // Whether a position lies inside the view's viewport.
  static bool Visible(TForm4& f, int pos) {
    QRect r = f.reResult->CursorRect(pos);
    return r.top() >= 0 && r.bottom() < f.reResult->viewport()->height();
  }
  static int LastPosition(TForm4& f) { return f.ResultEdit().TextLength(); }
  // Where the program's selection ends.
  int SelectionEnd() { return View().SelStart() + View().SelLength(); }
};

TEST_F(FormViewSyncTest, ViewFollowsTheSearchAndEndsOnItsLastSpan) {
  WriteLongDictionary();
  TForm4& f = Create();
  f.show();
  QScrollBar* bar = f.reResult->verticalScrollBar();
  bool followedMeanwhile = false;
  SearchActingAt("甲乙", 60, [&] {
    QTest::qWait(150);  // long enough for the editor to catch up
    followedMeanwhile = bar->value() > 0 && Visible(f, LastPosition(f) - 3);
  });
  ASSERT_EQ(Lines(View())[1], kFinished);
  EXPECT_TRUE(followedMeanwhile);
  // The last span marked the last explanation; the view shows its end.
  EXPECT_GT(SelectionEnd(), LastPosition(f) - 5);
  EXPECT_TRUE(Visible(f, SelectionEnd()));
}

TEST_F(FormViewSyncTest, StopLeavesTheViewOnTheStopStatus) {
  WriteLongDictionary();
  TForm4& f = Create();
  f.show();
  SearchActingAt("甲乙", 70, [&] { f.btnStopClick(f.btnStop); });
  ASSERT_EQ(Lines(View())[1], kStopped);
  // The stop status was marked last: it is what the view shows, even though
  // it lies far above the output written just before.
  int statusEnd = View().LineIndex(1) + int(kStopped.size());
  EXPECT_EQ(SelectionEnd(), statusEnd);
  EXPECT_TRUE(Visible(f, statusEnd));
  EXPECT_FALSE(Visible(f, LastPosition(f)));
}

// What the window adds for everyday use: history, zoom, keys, size.
class FormUseTest : public FormTest {
 protected:
  void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(w, key, mods);
  }
  std::string Heading() { return Lines(View())[0]; }
  // Shown and active, as window-wide keys need.
  static void Activate(TForm4& f) {
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  }
  static std::string HeadingOf(const char* utf8) {
    return G("您所查询的 「") + G(utf8) + G("」相关内容：");
  }
};

TEST_F(FormUseTest, UpDownAndAltArrowsWalkTheHistory) {
  WriteDictionary();
  TForm4& f = Create();
  Activate(f);
  for (const char* q : {"中x国", "一二三", "中"}) Search(q);  // 中x国 is cleaned to 中国
  EXPECT_EQ(f.History().Entries(),
            (std::deque<std::string>{G("中国"), G("一二三"), G("中")}));
  Search("a");  // too short after cleaning: not kept
  EXPECT_EQ(f.History().Entries().size(), 3u);

  // Where a walk goes is HistoryTest's matter; here, the keys reach it.
  f.edSearch->setFocus();
  f.edSearch->setText(QStringLiteral("草"));
  Key(f.edSearch, Qt::Key_Up);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中"));
  Key(f.edSearch, Qt::Key_Down);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("草"));
  EXPECT_EQ(Heading(), kTooShort);  // walking does not search

  // Back and forward search again without adding to the history.
  Key(f.edSearch, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(Heading(), HeadingOf("一二三"));
  EXPECT_EQ(Lines(View())[1], kFinished);
  Key(f.reResult, Qt::Key_Right, Qt::AltModifier);  // from the view as well
  EXPECT_EQ(Heading(), HeadingOf("中"));
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中"));
  EXPECT_EQ(f.History().Entries().size(), 3u);

  // Kept for the next run in the state folder.
  delete form_;
  form_ = nullptr;
  TForm4& g = Create();
  EXPECT_EQ(g.History().Entries().size(), 3u);
}

// The view's message names neither the folder nor the reason; standard
// error does, with why the folder was chosen.
TEST_F(FormUseTest, AFileThatCannotBeOpenedIsExplainedOnStandardError) {
  WriteDictionary();
  fs::remove(dir_ / "3.sr");
  TForm4& f = Create();
  const std::string folder = fs::current_path().string();
  f.SetDictFolder({folder, TDictFolderSource::Environment});
  testing::internal::CaptureStderr();
  Search("中国");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(View())[0], G("开启辞典失败3.sr"));
  EXPECT_EQ(said, "velmora: cannot open 3.sr in " + folder +
                      " (given by $VELMORA_DICTIONARY): No such file or directory\n");
}

TEST_F(FormUseTest, ZoomScalesTheViewTextWithinLimitsAndIsKept) {
  WriteWorkedExamplePictures();
  TForm4& f = Create();
  Activate(f);
  const QRect layout = f.reResult->geometry();
  // The height of the view's first line, laid out at the zoom in force.
  auto textHeight = [&] {
    TQtRichEdit* edit = f.reResult->Edit();
    edit->EnsureLaidOut(0, 0);
    return edit->LineHeight(0);
  };
  const int base = textHeight();
  EXPECT_EQ(f.Zoom(), 100);
  Key(f.edSearch, Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 110);
  Key(f.reResult, Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 120);
  EXPECT_GT(textHeight(), base);
  EXPECT_EQ(f.reResult->geometry(), layout);  // the text grows, not the window
  // The limits are the view's (ViewWidgetTest.ZoomScalesTheTextWithinLimits).
  Key(f.edSearch, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 110);
  Key(f.edSearch, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 100);
  EXPECT_EQ(textHeight(), base);

  // Ctrl+wheel: a notch a step, smaller turns added up; without Ctrl the
  // wheel scrolls.
  QWidget* view = f.reResult->viewport();
  auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
    QPointF at(20, 20);
    QWheelEvent e(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                  mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &e);
  };
  wheel(240, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 120);
  wheel(-60, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 120);
  wheel(-60, Qt::ControlModifier);
  EXPECT_EQ(f.Zoom(), 110);
  wheel(-120, Qt::NoModifier);
  EXPECT_EQ(f.Zoom(), 110);

  TForm4& g = Create();
  EXPECT_EQ(g.Zoom(), 110);
  EXPECT_TRUE(fs::exists(dir_ / "config/velmora/velmora.conf"));
  // A value out of range in the file is taken to the nearest limit.
  g.SetZoom(400);
  delete form_;
  form_ = nullptr;
  {
    QSettings settings(TForm4::SettingsFile(), QSettings::IniFormat);
    settings.setValue("view/zoom", 9000);
  }
  EXPECT_EQ(Create().Zoom(), 400);
}

// Stop and Escape end a running search before its next line. Without a
// search running, Stop replaces the completion status and Escape, from any
// control, leaves the view alone.
TEST_F(FormUseTest, StopOrEscapeDuringASearchEndsItWithTheStopStatusOnly) {
  WriteDictionary();
  TForm4& f = Create();
  Activate(f);
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Stop");
    bool disabledMeanwhile = false;
    const int lines = SearchActingAt("中国", 5, [&] {
      disabledMeanwhile = !f.btnSearch->isEnabled();
      if (escape) {
        Key(f.edSearch, Qt::Key_Escape);
      } else {
        f.btnStopClick(f.btnStop);
      }
    });
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_EQ(lines, 5);  // ended before the next line
    EXPECT_EQ(Lines(View())[1], kStopped);
    EXPECT_EQ(View().FormatAt(View().LineIndex(1)), (TCharFormat{clRed, fsBold}));
    EXPECT_EQ(View().FormatAt(View().LineIndex(1) + 8), (TCharFormat{clRed, fsBold}));
    EXPECT_EQ(Text().find(kFinished), std::string::npos);
    EXPECT_TRUE(f.btnSearch->isEnabled());

    Search("中国");
    ASSERT_EQ(Lines(View())[1], kFinished);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{f.edSearch, f.reResult, f.cbRareWord})
    Key(w, Qt::Key_Escape);
  EXPECT_EQ(Lines(View())[1], kFinished);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中国"));
  f.btnStopClick(f.btnStop);
  EXPECT_EQ(Lines(View())[1], kStopped);
  EXPECT_TRUE(f.btnSearch->isEnabled());
}

TEST_F(FormUseTest, SmallestWindowKeepsTheSearchRowAndCheckBoxUsable) {
  for (bool pictures : {true, false}) {
    if (pictures) WriteWorkedExamplePictures();
    TForm4& f = Create();
    f.show();
    f.resize(50, 50);
    EXPECT_EQ(f.size(), f.minimumSize()) << pictures;
    for (QWidget* w : std::initializer_list<QWidget*>{f.edSearch, f.btnSearch, f.btnStop,
                                                      f.cbRareWord}) {
      EXPECT_TRUE(f.rect().contains(w->geometry())) << pictures;
      EXPECT_FALSE(f.reResult->geometry().intersects(w->geometry())) << pictures;
    }
    EXPECT_GE(f.reResult->height(), 80) << pictures;
    // Both states of the check box, after the window got smaller.
    f.cbRareWord->setChecked(false);
    f.cbRareWord->setChecked(true);
    EXPECT_FALSE(f.reResult->geometry().intersects(f.cbRareWord->geometry())) << pictures;
    EXPECT_GE(f.reResult->y(), f.edSearch->geometry().bottom() + 10) << pictures;
    // Still a working window.
    QTest::mouseClick(f.cbRareWord, Qt::LeftButton);
    EXPECT_FALSE(f.cbRareWord->isChecked());
    for (const char* name : {"t1.gif", "t2.gif", "w.gif"}) fs::remove(dir_ / name);
  }
}

// The search uses the view's selection as its working cursor. A user who
// clicks into the view and types while it runs must not write into the
// output.
TEST_F(FormViewSyncTest, KeysTypedInTheViewDuringASearchLeaveTheOutputAlone) {
  WriteLongDictionary();
  TForm4& f = Create();
  f.show();
  Search("甲乙");
  const std::string expected = Text();
  const int calls = SearchActingAt("甲乙", 30, [&] {
    QTest::mouseClick(f.reResult->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
    f.reResult->setFocus();
    QTest::keyClicks(f.reResult, "abc");
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return, Qt::Key_Tab})
      QTest::keyClick(f.reResult, key);
    QTest::keyClick(f.reResult, Qt::Key_Z, Qt::ControlModifier);
  });
  EXPECT_GE(calls, 30);
  EXPECT_EQ(Text(), expected);
  // Editing and undo afterwards: ViewWidgetTest.KeysEditOnlyWhileNoOneWrites...
}

// The full listing of a dictionary four times the bundled one, with messages
// as the program runs them: the view paints entries while it runs, and a click
// on Stop, sent once it has, ends the search at the next dictionary line. The
// larger dictionary keeps a fast or busy machine from finishing the listing
// before the first paint.
TEST_F(FormTest, StopEndsTheFullListingAtTheNextLine) {
  constexpr int kCopies = 4;
  std::size_t dictionaryLines = 0;
  for (const char* name : {"1.sr", "2.sr", "3.sr", "4.sr", "5.sr"}) {
    std::ifstream in(fs::path(VELMORA_DATA_DIR) / name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(bytes.empty());
    dictionaryLines += std::count(bytes.begin(), bytes.end(), '\n');
    std::ofstream out(dir_ / name, std::ios::binary);
    for (int i = 0; i < kCopies; ++i) out << bytes;
  }
  WriteWorkedExamplePictures();
  TForm4& f = Create();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  InstallQtApplicationHooks();
  Application().OnShowException = [this](const std::exception& e) {
    reported_.push_back(e.what());
  };

  struct PaintWatch : QObject {
    TForm4& form;
    int entryPaints = 0;
    int linesAtClick = -1;
    int scrolled = 0;  // the most the view was scrolled at a paint
    explicit PaintWatch(TForm4& f) : form(f) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() != QEvent::Paint) return false;
      scrolled = std::max(scrolled, form.reResult->verticalScrollBar()->value());
      // Entries beyond the view's height, shown where the output is: on a
      // busy machine a paint can come before the view has followed. One
      // that never follows is stopped a while later, and fails below.
      const int lines = form.ResultEdit().LineCount();
      if (lines < 100 || (scrolled == 0 && lines < 20000)) return false;
      // After the first such paint, a click on Stop comes as the next event.
      if (++entryPaints == 1) {
        QTimer::singleShot(0, &form, [this] {
          linesAtClick = form.ResultEdit().LineCount();
          QTest::mouseClick(form.btnStop, Qt::LeftButton);
        });
      }
      return false;
    }
  } watch(f);
  f.reResult->viewport()->installEventFilter(&watch);
  Search("：");
  f.reResult->viewport()->removeEventFilter(&watch);

  ASSERT_GT(watch.linesAtClick, 0) << "the view never painted entries";
  EXPECT_EQ(Lines(View())[1], kStopped);
  // An entry is three lines: at most the one under way was finished.
  EXPECT_LE(View().LineCount() - watch.linesAtClick, 3);
  // Every line of the bundled files holds "：" and is listed as three lines.
  EXPECT_LT(View().LineCount(), 3 * dictionaryLines * (kCopies - 1));
  EXPECT_GT(watch.scrolled, 0);  // the view followed the output
  EXPECT_TRUE(reported_.empty());
}

// As a search ends, the status line above the output gets 9 bytes shorter;
// the selection, left on the span formatted last, must move with the text,
// or copying right after a search copies half characters.
TEST_F(FormTest, CopyRightAfterASearchCopiesTheSpanFormattedLast) {
  WriteDictionary();
  TForm4& f = Create();
  Search("中国");
  ASSERT_EQ(Lines(View())[1], kFinished);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("before"));
  f.PopCopy(f.N1);
  // The last span formatted is the explanation of the one entry found.
  const std::string explanation = Lines(View())[4].substr(6);
  EXPECT_EQ(clipboard->text().toStdString(), gbk::ToUtf8(explanation));
  EXPECT_TRUE(test::HasFormat(View(), View().SelStart(), View().SelLength(),
                              ExplanationColor, fsBold));
}

// The query box is one line. A paste brings the line break a terminal or an
// editor copies with the text; searched as it stood, the heading broke in
// two under the status line, and the history took a line break.
TEST_F(FormUseTest, TheQueryBoxTakesTheFirstLineOfAPaste) {
  WriteDictionary();
  TForm4& f = Create();
  Activate(f);
  f.edSearch->setText(QStringLiteral("ab"));
  f.edSearch->setCursorPosition(1);
  QGuiApplication::clipboard()->setText(QStringLiteral("中国\r\nmore\n"));
  Key(f.edSearch, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("a中国b"));
  EXPECT_EQ(f.edSearch->cursorPosition(), 3);

  QGuiApplication::clipboard()->setText(QStringLiteral("中国\n"));
  f.edSearch->clear();
  Key(f.edSearch, Qt::Key_V, Qt::ControlModifier);
  Key(f.edSearch, Qt::Key_Return);
  EXPECT_EQ(Heading(), HeadingOf("中国"));
  EXPECT_EQ(Lines(View())[1], kFinished);
  // From the command line or another velmora process: the first line too.
  f.LookUp(QStringLiteral("一二三\n中国"));
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("一二三"));
  EXPECT_EQ(Heading(), HeadingOf("一二三"));
  EXPECT_EQ(f.History().Entries(), (std::deque<std::string>{G("中国"), G("一二三")}));
}

// A character GBK cannot hold becomes "?" in the box's GBK text; the
// extended search must not read that as a wildcard, nor keep it for later.
TEST_F(FormUseTest, TheExtendedSearchRefusesACharacterGBKCannotHold) {
  WriteDictionary();
  TForm4& f = Create();
  f.SetExtendedSearch(true);
  Search("中😀");
  EXPECT_EQ(Lines(View()),
            (std::vector<std::string>{G("查询含有 GBK 无法表示的字符：U+1F600"), ""}));
  EXPECT_TRUE(f.History().Entries().empty());
  f.SetExtendedSearch(false);
  Search("中😀");  // the standard search drops the "?", as it always has
  EXPECT_EQ(Heading(), HeadingOf("中"));
}

// Without its dictionary folder the window still opens, and says why in the
// view (started from a menu, standard error is seen by no one). It reads no
// other folder's files meanwhile.
TEST_F(FormTest, AFolderThatCannotBeEnteredIsSaidInTheView) {
  WriteDictionary();
  WriteWorkedExamplePictures();
  const std::string why =
      "cannot enter the dictionary folder /nonexistent (given with -C): No such file or "
      "directory";
  form_ = new TForm4;
  form_->SetDictFolderError(why);
  form_->DoCreate();
  const std::vector<std::string> shown{G("开启辞典失败：") + why, ""};
  EXPECT_EQ(Lines(View()), shown);
  EXPECT_TRUE(test::HasFormat(View(), 0, int(shown[0].size()), clRed, fsBold));
  EXPECT_TRUE(picLogo->GetGraphic() == nullptr);
  Search("中国");
  EXPECT_EQ(Lines(View()), shown);
  EXPECT_TRUE(form_->btnSearch->isEnabled());
}

}  // namespace
}  // namespace velmora
