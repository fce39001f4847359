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
#include <QTest>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/Dict.h"
#include "platform/classes/Application.h"
#include "platform/classes/Canvas.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/GbkQt.h"
#include "platform/qt/Image.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/qt/ShellOpen.h"

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

std::vector<std::string> Lines(const IRichEdit& view) {
  std::vector<std::string> lines;
  const std::string text = view.Text();
  for (int i = 0; i < view.LineCount(); ++i) {
    int start = view.LineIndex(i);
    int end = i + 1 < view.LineCount() ? view.LineIndex(i + 1) : int(text.size());
    std::string line = text.substr(std::size_t(start), std::size_t(end - start));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("velmora-form-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    TPicture::RegisterFileFormat("gif", "test picture", "velmora-test-graphic",
                                 [] { return std::make_unique<TTestGraphic>(); });
    for (TPicture* p : {picLogo, picLogo2, picLogo3}) p->SetGraphic(nullptr);
    StopRequested = false;
    Application().OnShowException = [this](const std::exception& e) {
      reported_.push_back(e.what());
    };
    SetShellOpener([this](const std::string& target) { opened_.push_back(target); });
  }

  void TearDown() override {
    delete form_;
    SetShellOpener(nullptr);
    Application().OnProcessMessages = [] { QCoreApplication::processEvents(); };
    Application().OnShowException = nullptr;
    TPicture::UnregisterGraphicClass("velmora-test-graphic");
    fs::current_path(home_);
    fs::remove_all(dir_);
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  void WritePictures(int w1, int h1, int w2, int h2, int w3, int h3) {
    Write("t1.gif", std::to_string(w1) + " " + std::to_string(h1));
    Write("t2.gif", std::to_string(w2) + " " + std::to_string(h2));
    Write("w.gif", std::to_string(w3) + " " + std::to_string(h3));
  }
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

  TForm4& Create() {
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
  std::string Folder() const { return dir_.string(); }
  // A point of the view's client area on the second letter of text.
  static QPoint PointInText(TForm4& f, const char* text) {
    QTextCursor found = f.reResult->document()->find(QString::fromUtf8(text));
    EXPECT_FALSE(found.isNull()) << text;
    QTextCursor at(f.reResult->document());
    at.setPosition(found.selectionStart() + 1);
    return f.reResult->cursorRect(at).center() + QPoint(2, 0);
  }

  fs::path home_;
  fs::path dir_;
  TForm4* form_ = nullptr;
  std::vector<std::string> reported_;
  std::vector<std::string> opened_;
};

TEST_F(FormTest, WorkedExampleLaysTheWindowOutAroundThePictures) {
  WritePictures(499, 120, 499, 41, 499, 224);
  TForm4& f = Create();
  EXPECT_TRUE(reported_.empty());
  EXPECT_EQ(f.imgLogo->geometry(), QRect(17, 0, 499, 120));
  EXPECT_EQ(f.imgLogo2->geometry(), QRect(17, 120, 499, 41));
  for (QWidget* w :
       {static_cast<QWidget*>(f.edSearch), static_cast<QWidget*>(f.btnSearch),
        static_cast<QWidget*>(f.btnStop), static_cast<QWidget*>(f.cbRareWord)}) {
    EXPECT_EQ(w->y(), 168);
  }
  EXPECT_EQ(f.edSearch->x(), 17);
  EXPECT_EQ(f.cbRareWord->x(), 528);
  EXPECT_EQ(f.imgLogo3->geometry(), QRect(17, 207, 499, 224));
  EXPECT_EQ(f.OuterWidth(), 700);
  EXPECT_EQ(f.height(), 686);
  EXPECT_EQ(ReservedHeight, 202);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 431, 700, 255));
  EXPECT_TRUE(View().AutoUrlDetect());
  EXPECT_EQ(f.reResult->EventMask(), ENM_LINK);

  f.cbRareWord->setChecked(false);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 202, 700, 484));
  f.cbRareWord->setChecked(true);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 431, 700, 255));
}

TEST_F(FormTest, WindowIsTheWidestPicturePlusTenButNeverBelow700) {
  const std::pair<int, int> widths[] = {{690, 700}, {691, 701}, {1000, 1010}, {12, 700}};
  for (auto [widest, expected] : widths) {
    for (int slot = 0; slot < 3; ++slot) {
      WritePictures(slot == 0 ? widest : 10, 5, slot == 1 ? widest : 10, 5,
                    slot == 2 ? widest : 10, 5);
      TForm4& f = Create();
      EXPECT_EQ(f.OuterWidth(), expected) << "widest " << widest << " in slot " << slot;
      EXPECT_EQ(f.reResult->width(), expected);
      delete form_;
      form_ = nullptr;
    }
  }
}

TEST_F(FormTest, MissingPictureIsNamedAloneAndLeavesTheDesignedLayout) {
  TForm4& f = Create();
  ASSERT_EQ(Lines(View()).size(), 2u);
  const std::string message = G("开启图片失败，请检查t1.gif档案");
  EXPECT_EQ(Lines(View())[0], message);
  for (int p = 0; p < int(message.size()); ++p) {
    EXPECT_EQ(View().FormatAt(p), (TCharFormat{clRed, fsBold})) << p;
  }
  EXPECT_EQ(f.edSearch->geometry(), QRect(17, 155, 304, 24));
  EXPECT_EQ(f.imgLogo3->geometry(), QRect(17, 185, 499, 224));
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 424, 689, 262));
  EXPECT_EQ(ReservedHeight, 0);
  EXPECT_FALSE(View().AutoUrlDetect());
  EXPECT_EQ(f.reResult->EventMask(), 0u);

  // Two pictures would load, but none is shown when the third is missing.
  delete form_;
  form_ = nullptr;
  Write("t1.gif", "499 120");
  Write("t2.gif", "499 41");
  TForm4& g = Create();
  EXPECT_EQ(Lines(View())[0], G("开启图片失败，请检查w.gif档案"));
  EXPECT_EQ(picLogo->GetWidth(), 0);
  EXPECT_EQ(g.imgLogo->Picture().GetGraphic(), nullptr);

  // With ReservedHeight 0 the cleared check box gives the view the whole
  // window.
  g.cbRareWord->setChecked(false);
  EXPECT_EQ(g.reResult->geometry(), QRect(0, 0, 689, 686));
}

TEST_F(FormTest, UndecodablePictureIsReportedAndTheWindowKeepsWhatWasDone) {
  WritePictures(499, 120, 499, 41, 499, 224);
  Write("t2.gif", "not a picture");
  TForm4& f = Create();
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0], "Not a test picture");
  EXPECT_EQ(picLogo->GetWidth(), 499);  // loaded before the failure
  EXPECT_EQ(f.imgLogo->Picture().GetGraphic(), nullptr);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 424, 689, 262));
  EXPECT_FALSE(View().AutoUrlDetect());
}

TEST_F(FormTest, ResultViewKeepsItsHeightAndFollowsTheBottomEdge) {
  WritePictures(499, 120, 499, 41, 499, 224);
  TForm4& f = Create();
  f.show();
  f.resize(800, 786);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 531, 800, 255));
  // The check box computes from the window's height at that moment.
  f.cbRareWord->setChecked(false);
  EXPECT_EQ(f.reResult->geometry(), QRect(0, 202, 800, 584));
}

TEST_F(FormTest, LateFrameHeightIsCountedInReservedHeight) {
  // A window manager frames the window only after it is shown, when the
  // layout has been computed with no frame at all.
  class TFramedForm : public TForm4 {
   public:
    int NonClientHeight() const override { return frame; }
    int frame = 0;
  };
  WritePictures(499, 120, 499, 41, 499, 224);
  auto* f = new TFramedForm;
  form_ = f;
  f->DoCreate();
  EXPECT_EQ(ReservedHeight, 202);
  f->frame = 30;
  f->SyncNonClientHeight();
  EXPECT_EQ(ReservedHeight, 232);
  f->cbRareWord->setChecked(false);
  EXPECT_EQ(f->reResult->y(), 168 + 24 + 10);  // 10 pixels below the search row
  f->cbRareWord->setChecked(true);
  EXPECT_EQ(f->reResult->y(), 431);
}

TEST_F(FormTest, ControlsCarryTheirDesignedTextsFontsColoursAndTabOrder) {
  TForm4& f = Create();
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Velmora辞典查询系统"));
  EXPECT_EQ(f.btnSearch->text(), QStringLiteral("查询"));
  EXPECT_EQ(f.btnStop->text(), QStringLiteral("停止"));
  EXPECT_TRUE(f.btnStop->isEnabled());
  EXPECT_EQ(f.cbRareWord->text(), QStringLiteral("显示罕见字对应表"));
  EXPECT_TRUE(f.cbRareWord->isChecked());
  EXPECT_TRUE(f.cbRareWord->font().bold());
  EXPECT_EQ(f.cbRareWord->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(f.edSearch->font().pixelSize(), 13);
  EXPECT_EQ(f.reResult->font().pixelSize(), 17);
  EXPECT_EQ(f.reResult->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(f.palette().color(QPalette::Window), QColor(233, 254, 221));
  EXPECT_EQ(f.reResult->palette().color(QPalette::Base), QColor(233, 254, 221));
  EXPECT_FALSE(f.reResult->isReadOnly());
  EXPECT_FALSE(f.reResult->tabChangesFocus());
  ASSERT_EQ(f.PopupMenu1->actions().size(), 2);
  EXPECT_EQ(f.PopupMenu1->actions()[0]->text(), QStringLiteral("複製"));
  EXPECT_EQ(f.PopupMenu1->actions()[1], f.N2);
  EXPECT_EQ(f.N2->text(), QStringLiteral("查詢"));

  std::vector<QWidget*> order;
  QWidget* w = f.edSearch;
  do {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != f.edSearch);
  std::vector<QWidget*> designed = {f.edSearch, f.btnSearch, f.reResult, f.cbRareWord,
                                    f.btnStop};
  EXPECT_EQ(order, designed);

  // Inside the view, Tab is a character, not a move to the next control.
  f.show();
  f.reResult->setFocus();
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
  std::vector<std::string> lines = Lines(View());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[1], kFinished);
  EXPECT_EQ(lines[3], G("中国："));
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中国"));  // cleaned query written back
  EXPECT_TRUE(f.btnSearch->isEnabled());

  f.edSearch->clear();
  QTest::keyClick(f.edSearch, Qt::Key_Enter);
  EXPECT_EQ(Lines(View())[0], kTooShort);
}

TEST_F(FormTest, StopDuringASearchEndsItWithTheStopStatusOnly) {
  WriteDictionary();
  TForm4& f = Create();
  int lines = 0;
  bool disabledDuringSearch = false;
  Application().OnProcessMessages = [&] {
    if (++lines == 5) {
      disabledDuringSearch = !f.btnSearch->isEnabled();
      f.btnStopClick(f.btnStop);
    }
  };
  Search("中国");
  EXPECT_TRUE(disabledDuringSearch);
  EXPECT_EQ(lines, 5);  // ended before the next line
  EXPECT_EQ(Lines(View())[1], kStopped);
  int start = View().LineIndex(1);
  for (int p = start; p < start + 9; ++p) {
    EXPECT_EQ(View().FormatAt(p), (TCharFormat{clRed, fsBold})) << p;
  }
  EXPECT_EQ(Text().find(kFinished), std::string::npos);
  EXPECT_TRUE(f.btnSearch->isEnabled());
}

TEST_F(FormTest, StopAfterASearchReplacesTheCompletionStatus) {
  WriteDictionary();
  TForm4& f = Create();
  Search("中国");
  ASSERT_EQ(Lines(View())[1], kFinished);
  f.btnStopClick(f.btnStop);
  EXPECT_EQ(Lines(View())[1], kStopped);
  EXPECT_TRUE(StopRequested);
  EXPECT_TRUE(f.btnSearch->isEnabled());
  // The next search clears the flag and runs to its end.
  Search("中国");
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
  QTest::mousePress(f.reResult->viewport(), Qt::LeftButton, {}, QPoint(100, 50));
  QTest::mouseRelease(f.reResult->viewport(), Qt::LeftButton, {}, QPoint(100, 50));
  QTest::mousePress(f.reResult->viewport(), Qt::MiddleButton, {}, QPoint(100, 50));
  EXPECT_TRUE(opened.empty());
  QTest::mousePress(f.reResult->viewport(), Qt::RightButton, {}, QPoint(100, 50));
  ASSERT_EQ(opened.size(), 1u);
  // The window at its designed place (206, 0), off screen so without a frame;
  // the view's top at 424.
  EXPECT_EQ(opened[0], (TPoint{206 + 100 - 10, 424 + 50 - 10}));
}

TEST_F(FormTest, QueryItemLooksUpTheSelection) {
  WriteDictionary();
  TForm4& f = Create();
  Search("中国");
  QAction* choice = f.N2;
  f.OnPopup = [&](TPoint) { return choice; };
  // Select 中 of the key line 中国：
  int key = View().LineIndex(3);
  View().SetSelection(key, 2);
  f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  EXPECT_EQ(f.edSearch->text(), QStringLiteral("中"));
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中」相关内容："));
  EXPECT_EQ(Lines(View())[1], kFinished);

  View().SetSelection(0, 0);
  f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  EXPECT_TRUE(f.edSearch->text().isEmpty());
  EXPECT_EQ(Lines(View())[0], kTooShort);
}

TEST_F(FormTest, CopyItemPutsTheSelectionOnTheClipboard) {
  WriteDictionary();
  TForm4& f = Create();
  Search("中国");
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("before"));
  f.OnPopup = [&](TPoint) { return f.PopupMenu1->actions()[0]; };

  View().SetSelection(0, 0);
  f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  EXPECT_EQ(clipboard->text(), QStringLiteral("before"));

  View().SetSelection(View().LineIndex(3), 4);
  f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 10, 10);
  EXPECT_EQ(clipboard->text(), QStringLiteral("中国"));
  const QMimeData* data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasHtml());
}

TEST_F(FormTest, LeftPressOnALinkOpensItsRewrittenText) {
  WritePictures(499, 120, 499, 41, 499, 224);
  TForm4& f = Create();
  TResultView& out = f.ResultOutput();
  out.AppendLine("see file://help.htm");
  out.AppendLine("FILE://Doc.htm");
  out.AppendLine("file://a.htmfile://b.htm");
  out.AppendLine("http://example.org/x");
  std::vector<TLinkRange> links = View().Links();
  ASSERT_EQ(links.size(), 4u);

  for (unsigned msg : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
    NotifyLink(msg, links[0].Start, links[0].Length);
  }
  EXPECT_TRUE(opened_.empty());

  for (const TLinkRange& link : links)
    NotifyLink(WM_LBUTTONDOWN, link.Start, link.Length);
  const std::string prefix = "file://" + Folder() + "/";
  std::vector<std::string> expected = {prefix + "help.htm", prefix + "Doc.htm",
                                       prefix + "a.htm" + prefix + "b.htm",
                                       "http://example.org/x"};
  EXPECT_EQ(opened_, expected);
  EXPECT_EQ(View().SelStart(), links[3].Start);
  EXPECT_EQ(View().SelLength(), links[3].Length);
}

TEST_F(FormTest, LowerCasedLinkOpensTheFileWhoseNameDiffersOnlyInCase) {
  WritePictures(499, 120, 499, 41, 499, 224);
  WriteDictionary();
  Write("Help.htm", "<p>help</p>");
  Create();
  Search("中国");
  std::vector<TLinkRange> links = View().Links();
  ASSERT_EQ(links.size(), 1u);
  NotifyLink(WM_LBUTTONDOWN, links[0].Start, links[0].Length);
  EXPECT_EQ(opened_, std::vector<std::string>{"file://" + Folder() + "/Help.htm"});
}

TEST_F(FormTest, MouseOverALinkInTheViewReachesTheWindow) {
  WritePictures(499, 120, 499, 41, 499, 224);
  TForm4& f = Create();
  f.ResultOutput().AppendLine("file://x.htm and more");
  f.OnPopup = [](TPoint) -> QAction* { return nullptr; };
  f.show();
  QPoint onLink = PointInText(f, "x.htm");
  QTest::mouseMove(f.reResult->viewport(), onLink);
  QTest::mousePress(f.reResult->viewport(), Qt::RightButton, {}, onLink);
  EXPECT_TRUE(opened_.empty());
  QTest::mousePress(f.reResult->viewport(), Qt::LeftButton, {}, onLink);
  QTest::mouseRelease(f.reResult->viewport(), Qt::LeftButton, {}, onLink);
  EXPECT_EQ(opened_, std::vector<std::string>{"file://" + Folder() + "/x.htm"});

  QPoint offLink = PointInText(f, "more");
  QTest::mousePress(f.reResult->viewport(), Qt::LeftButton, {}, offLink);
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(FormTest, LinksAreInertAfterAPictureFailure) {
  TForm4& f = Create();
  f.ResultOutput().AppendLine("file://x.htm");
  f.show();
  QPoint onLink = PointInText(f, "x.htm");
  QTest::mousePress(f.reResult->viewport(), Qt::LeftButton, {}, onLink);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(FormTest, EnterDuringASearchStopsItThenRunsTheNewOne) {
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
  std::vector<std::string> lines = Lines(View());
  EXPECT_EQ(lines[0], G("您所查询的 「中」相关内容："));
  EXPECT_EQ(lines[1], kFinished);
  EXPECT_EQ(Text().find(kStopped), std::string::npos);
  EXPECT_EQ(Text().find(G("您所查询的")), Text().rfind(G("您所查询的")));
  EXPECT_TRUE(f.btnSearch->isEnabled());
  EXPECT_FALSE(f.Searching());
}

TEST_F(FormTest, QueryItemDuringASearchRunsItsLookUpNext) {
  WriteDictionary();
  TForm4& f = Create();
  f.OnPopup = [&](TPoint) { return f.N2; };
  int calls = 0;
  bool nested = false;
  Application().OnProcessMessages = [&] {
    if (++calls == 10) {
      View().SetSelection(View().LineIndex(3), 2);  // 中 of 中国：
      f.reResultMouseDown(f.reResult, TMouseButton::mbRight, 0, 5, 5);
    } else if (calls > 10 && Lines(View())[0] == G("您所查询的 「中」相关内容：")) {
      nested = nested || f.edSearch->text() != QStringLiteral("中");
    }
  };
  Search("中国");
  EXPECT_FALSE(nested);
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中」相关内容："));
  EXPECT_EQ(Lines(View())[1], kFinished);
}

TEST_F(FormTest, StopAfterAnotherSearchWasAskedForCancelsBoth) {
  WriteDictionary();
  TForm4& f = Create();
  int calls = 0;
  Application().OnProcessMessages = [&] {
    if (++calls == 3) {
      f.edSearch->setText(QStringLiteral("中"));
      char enter = 13;
      f.edSearchKeyPress(f.edSearch, enter);
      f.btnStopClick(f.btnStop);
    }
  };
  Search("中国");
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(Lines(View())[0], G("您所查询的 「中国」相关内容："));
  EXPECT_EQ(Lines(View())[1], kStopped);
  EXPECT_TRUE(f.btnSearch->isEnabled());
}

TEST_F(FormTest, ClosingTheWindowEndsARunningSearch) {
  WriteDictionary();
  TForm4& f = Create();
  int calls = 0;
  Application().OnProcessMessages = [&] {
    if (++calls == 3) f.close();
  };
  Search("中国");
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(Text().find(kFinished), std::string::npos);
}

}  // namespace
}  // namespace velmora
