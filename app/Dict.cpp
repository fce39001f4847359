#include "app/Dict.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>

#include "app/AsYouType.h"
#include "app/HandwritingPad.h"
#include "app/History.h"
#include "app/LearnerCard.h"
#include "app/QueryBox.h"
#include "app/QueryHistories.h"
#include "app/Settings.h"
#include "app/StrokePanel.h"
#include "app/WindowLayout.h"
#include "app/WordList.h"
#include "app/WordListDialog.h"
#include "dict/DictFile.h"
#include "dict/LinkTarget.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/Image.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/qt/ShellOpen.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtColor.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {

TForm4* Form4 = nullptr;
// Never freed: they outlive the window and everything that draws them.
TPicture* const picLogo = new TPicture;
TPicture* const picLogo2 = new TPicture;
TPicture* const picLogo3 = new TPicture;
std::int32_t ReservedHeight = 0;
TSearchPacing TForm4::SearchPacing;

namespace {

// 开启图片失败，请检查 ... 档案
constexpr std::string_view kPictureFailedBefore =
    "\xBF\xAA\xC6\xF4\xCD\xBC\xC6\xAC\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xBC\xEC\xB2\xE9";
constexpr std::string_view kPictureFailedAfter = "\xB5\xB5\xB0\xB8";

constexpr const char* kPictureFiles[3] = {"t1.gif", "t2.gif", "w.gif"};

// The least the result view keeps below the search row when the window is
// made as small as it goes: a few lines.
constexpr int kMinimumViewHeight = 80;

QFont Tahoma(int pixelHeight, bool bold = false) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

}  // namespace

void Guarded(const std::function<void()>& handler) {
  // Memory that runs out outside the search (which names its file) is the
  // class library's own exception too, so that the box says what happened.
  try {
    handler();
  } catch (const std::bad_alloc&) {
    Application().ShowException(EOutOfMemory("Out of memory"));
  } catch (const std::exception& e) {
    Application().ShowException(e);
  } catch (...) {
    Application().ShowException(Exception(""));
  }
}

bool CanOpenFile(const std::string& name) {
  // An ifstream opens a folder too; only a file can be a picture.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return false;
  std::ifstream file(name);
  return file.is_open();
}

// The window's look and its controls, created in declaration order.
void TForm4::CreateControls() {
  setWindowTitle(QStringLiteral("Velmora辞典查询系统"));
  setFont(Tahoma(13));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ToQColor(FormColor));
  setPalette(pal);
  setAutoFillBackground(true);

  // Declaration order; the view is raised last so that it covers the table
  // picture when the check box is cleared.
  reResult = new TResultViewWidget(this);
  edSearch = new QLineEdit(this);
  btnSearch = new QPushButton(QStringLiteral("查询"), this);
  imgLogo = new TImage(this);
  imgLogo2 = new TImage(this);
  imgLogo3 = new TImage(this);
  cbRareWord = new QCheckBox(QStringLiteral("显示罕见字对应表"), this);
  PopupMenu1 = new QMenu(this);
  btnStop = new QPushButton(QStringLiteral("停止"), this);
  N1 = PopupMenu1->addAction(QStringLiteral("複製"));
  N2 = PopupMenu1->addAction(QStringLiteral("查詢"));
  N3 = PopupMenu1->addAction(QStringLiteral("笔顺"));
  PopupMenu1->addSeparator();
  ExtendedSearchItem =
      PopupMenu1->addAction(QStringLiteral("扩展搜寻：拼音、英文、通配符"));
  ExtendedSearchItem->setCheckable(true);
  // On the window too, so that its key works without the menu open.
  ExtendedSearchItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  ExtendedSearchItem->setShortcutContext(Qt::WindowShortcut);
  addAction(ExtendedSearchItem);
  ExtendedDisplayMenu = PopupMenu1->addMenu(QStringLiteral("扩展搜寻的显示"));
  ToneMarksItem = ExtendedDisplayMenu->addAction(QStringLiteral("拼音标声调符号"));
  OwnCaseItem = ExtendedDisplayMenu->addAction(QStringLiteral("英文保留大小写"));
  TraditionalItem = ExtendedDisplayMenu->addAction(QStringLiteral("词条旁列出繁体字"));
  for (QAction* item : {ToneMarksItem, OwnCaseItem, TraditionalItem}) {
    item->setCheckable(true);
    item->setChecked(true);
  }
  HandwritingItem = PopupMenu1->addAction(QStringLiteral("手写输入"));
  HandwritingItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  HandwritingItem->setShortcutContext(Qt::WindowShortcut);
  addAction(HandwritingItem);
  FSearchKindBadge = MakeSearchKindBadge(*edSearch);
  StrokePanel = new TStrokePanel(this);
  PopupMenu1->addSeparator();
  SpeakItem = PopupMenu1->addAction(QStringLiteral("朗读"));
  WordListItem = PopupMenu1->addAction(QStringLiteral("单词本…"));
  const std::string data = DataFolder();
  FWords = std::make_unique<TWordList>(data.empty() ? "" : data + "/words");
  LearnerCard = new TLearnerCard(this, *FWords);
}

// Where the controls sit until FormCreate fits them to the pictures.
void TForm4::LayOutControls() {
  for (TImage* img : {imgLogo, imgLogo2, imgLogo3}) img->SetBackground(FormColor);
  imgLogo->setGeometry(17, 0, 499, 120);
  imgLogo2->setGeometry(17, 104, 499, 41);
  imgLogo3->setGeometry(17, 185, 499, 224);

  edSearch->setGeometry(17, 155, 304, 24);
  edSearch->setMaxLength(std::numeric_limits<int>::max());  // no limit of its own
  btnSearch->setGeometry(343, 155, 75, 24);
  cbRareWord->setGeometry(528, 153, 145, 24);
  btnStop->setGeometry(424, 155, 75, 24);

  cbRareWord->setFont(Tahoma(13, true));
  QPalette red = cbRareWord->palette();
  red.setColor(QPalette::WindowText, ToQColor(clRed));
  cbRareWord->setPalette(red);
  cbRareWord->setChecked(true);
}

void TForm4::SetUpResultView() {
  FRichEdit->SetFont(Tahoma(17));
  reResult->setFont(Tahoma(17));
  QPalette viewPal = reResult->palette();
  viewPal.setColor(QPalette::Base, ToQColor(FormColor));
  reResult->setPalette(viewPal);
  reResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  reResult->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  reResult->setContextMenuPolicy(Qt::NoContextMenu);
  reResult->SetEdit(FRichEdit.get());
  reResult->OnNotify = [this](TMessage& m) { Guarded([&] { WMNotify(m); }); };
  reResult->OnMouseDown = [this](TMouseButton b, TShiftState s, int x, int y) {
    Guarded([&] { reResultMouseDown(reResult, b, s, x, y); });
  };
  reResult->raise();
}

// Focus order, the typed-query handling and the as-you-type search.
void TForm4::SetUpQueryBox() {
  setTabOrder(edSearch, btnSearch);
  setTabOrder(btnSearch, reResult);
  setTabOrder(reResult, cbRareWord);
  setTabOrder(cbRareWord, btnStop);
  edSearch->setFocus();

  KeepOneLine(edSearch);
  edSearch->installEventFilter(this);
  reResult->viewport()->installEventFilter(this);
  FAsYouType = std::make_unique<TAsYouType>(
      *this, [this](const std::string& text) { FHistories->KeepStanding(text); });
  connect(edSearch, &QLineEdit::textEdited, this, [this] {
    Guarded([&] { ForParts([](IWindowPart& part) { part.QueryEdited(); }); });
  });
}

// The window's own keys: stop, back and forward, zoom.
void TForm4::AddShortcuts() {
  auto shortcut = [this](QKeySequence keys, auto action) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, [action] { Guarded(action); });
  };
  shortcut(QKeySequence(Qt::Key_Escape), [this] {
    if (FSearching) btnStopClick(btnStop);
  });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { GoBack(); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { GoForward(); });
  for (auto keys : {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal,
                    Qt::CTRL | Qt::SHIFT | Qt::Key_Plus})
    shortcut(QKeySequence(keys), [this] { SetZoom(Zoom() + kZoomStep); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus),
           [this] { SetZoom(Zoom() - kZoomStep); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { SetZoom(100); });
}

// The histories, the word list and the settings kept from the last run;
// the parts are told of the window from here on.
void TForm4::LoadKeptState() {
  FHistories = std::make_unique<TQueryHistories>(*this);
  FWords->Load();
  FParts = {StrokePanel, LearnerCard, FHistories.get(), FAsYouType.get()};
  if (!TSettings::File().isEmpty()) {
    reResult->SetZoom(TSettings::Value(QStringLiteral("view/zoom"), 100).toInt());
    ToneMarksItem->setChecked(
        TSettings::Value(QStringLiteral("search/toneMarks"), true).toBool());
    OwnCaseItem->setChecked(
        TSettings::Value(QStringLiteral("search/ownCase"), true).toBool());
    TraditionalItem->setChecked(
        TSettings::Value(QStringLiteral("search/traditional"), true).toBool());
    if (TSettings::Value(QStringLiteral("search/extended"), false).toBool()) {
      ExtendedSearchItem->setChecked(true);
      ShowSearchKind(*edSearch, *FSearchKindBadge, true);
    }
  }
}

void TForm4::ConnectControls() {
  // Connected once the kept choice is in place: reading it changes nothing.
  connect(ExtendedSearchItem, &QAction::toggled, this, [this](bool on) {
    Guarded([&] {
      ShowSearchKind(*edSearch, *FSearchKindBadge, on);
      TSettings::SetValue(QStringLiteral("search/extended"), on);
      ForParts([on](IWindowPart& part) { part.SearchKindChanged(on); });
      // What the box holds is asked again the new way.
      if (on && !edSearch->text().isEmpty()) SearchAsTyped();
    });
  });
  connect(HandwritingItem, &QAction::triggered, this,
          [this] { Guarded([&] { ShowHandwritingPad(); }); });
  const std::pair<QAction*, const char*> display[] = {
      {ToneMarksItem, "search/toneMarks"},
      {OwnCaseItem, "search/ownCase"},
      {TraditionalItem, "search/traditional"}};
  for (const auto& [item, key] : display) {
    connect(item, &QAction::toggled, this,
            [this, key = QString::fromLatin1(key)](bool on) {
              Guarded([&] {
                TSettings::SetValue(key, on);
                // The entries shown are shown again the new way.
                if (ExtendedSearch() && !edSearch->text().isEmpty()) SearchAsTyped();
              });
            });
  }
  connect(FSearchKindBadge, &QAction::triggered, this,
          [this] { SetExtendedSearch(false); });
  connect(btnSearch, &QPushButton::clicked, this,
          [this] { Guarded([&] { btnSearchClick(btnSearch); }); });
  connect(btnStop, &QPushButton::clicked, this,
          [this] { Guarded([&] { btnStopClick(btnStop); }); });
  connect(cbRareWord, &QCheckBox::toggled, this,
          [this] { Guarded([&] { cbRareWordClick(cbRareWord); }); });
}

TForm4::TForm4() : FRichEdit(std::make_unique<TQtRichEdit>()) {
  FOutput = std::make_unique<TResultView>(*FRichEdit);
  CreateControls();
  LayOutControls();
  SetUpResultView();
  SetUpQueryBox();
  AddShortcuts();
  LoadKeptState();
  ConnectControls();
  move(206, 0);
  resize(689, 686);
  FResultHeight = 262;
  Dock();
  UpdateMinimumSize();
}

TForm4::~TForm4() {
  if (Form4 == this) Form4 = nullptr;
  // The view shows the rich-text control, which goes with the members,
  // before the child widgets would.
  delete reResult;
  reResult = nullptr;
}

IRichEdit& TForm4::ResultEdit() {
  return *FRichEdit;
}

void TForm4::DoCreate() {
  Form4 = this;
  Guarded([this] { FormCreate(this); });
}

void TForm4::FormCreate(void* /*Sender*/) {
  ReservedHeight = 0;
  // Without its folder the window has no pictures to load either.
  if (!FDictFolderError.empty()) return ShowStartFailure(DictFolderMessage());
  for (const char* name : kPictureFiles) {
    if (!CanOpenFile(name)) {
      return ShowStartFailure(std::string(kPictureFailedBefore) + name +
                              std::string(kPictureFailedAfter));
    }
  }
  picLogo->LoadFromFile(kPictureFiles[0]);
  picLogo2->LoadFromFile(kPictureFiles[1]);
  picLogo3->LoadFromFile(kPictureFiles[2]);
  imgLogo->Picture().Assign(*picLogo);
  imgLogo2->Picture().Assign(*picLogo2);
  imgLogo3->Picture().Assign(*picLogo3);

  const int nonClient = OuterHeight() - height();
  const TWindowLayout layout({QSize(picLogo->GetWidth(), picLogo->GetHeight()),
                              QSize(picLogo2->GetWidth(), picLogo2->GetHeight()),
                              QSize(picLogo3->GetWidth(), picLogo3->GetHeight())},
                             {imgLogo->x(), imgLogo2->x(), imgLogo3->x()},
                             btnSearch->height(), nonClient);
  imgLogo->setGeometry(layout.Picture(0));
  imgLogo2->setGeometry(layout.Picture(1));
  for (QWidget* w : {static_cast<QWidget*>(edSearch), static_cast<QWidget*>(btnSearch),
                     static_cast<QWidget*>(btnStop), static_cast<QWidget*>(cbRareWord)}) {
    w->move(w->x(), layout.RowTop());
  }
  ReservedHeight = layout.ReservedHeight();
  FReservedNonClient = nonClient;
  imgLogo3->setGeometry(layout.Picture(2));

  FOuterWidthRule = layout.OuterWidth();
  FCountedNonClientWidth = NonClientWidth();
  SetOuterWidth(FOuterWidthRule);
  UpdateMinimumSize();
  FitResultHeight();

  FRichEdit->SetAutoUrlDetect(true);
  reResult->SetEventMask(ENM_LINK);
  FRichEdit->ScrollToTop();
  PlaceParts();
}

void TForm4::ShowStartFailure(const std::string& message) {
  FOutput->AppendLine(message);
  FOutput->HighlightAdded(message, 2, clRed);
  // The layout stays as designed, but the check box still needs to know
  // where the search row ends, or clearing it lets the view cover the
  // row and the check box itself.
  int nonClient = OuterHeight() - height();
  ReservedHeight = TWindowLayout::ReservedWithoutPictures(edSearch->y(),
                                                          btnSearch->height(), nonClient);
  FReservedNonClient = nonClient;
}

std::string TForm4::DictFolderMessage() const {
  return std::string(texts::kFileMissing) + "\xA3\xBA" + gbk::FromUtf8(FDictFolderError);
}

// Right of the banners and the check box's left edge: the parts cover no
// control and no result.
void TForm4::PlaceParts() {
  TPartRoom room;
  room.Left = std::max(cbRareWord->x(), imgLogo->geometry().right() + 9);
  room.Right = width() - 8;
  room.RowTop = std::min(edSearch->y(), cbRareWord->y());
  room.RowBottom = cbRareWord->geometry().bottom() + 1;
  room.ViewTop = reResult->y();
  ForParts([&room](IWindowPart& part) { part.Place(room); });
}

void TForm4::OpenWordList() {
  if (OnWordList) return OnWordList();
  TWordListDialog dialog(this, *FWords);
  dialog.exec();
  LearnerCard->ShowEntry(LearnerCard->Entry());  // the star as the list has it now
}

void TForm4::cbRareWordClick(void* /*Sender*/) {
  FitResultHeight();
}

void TForm4::FitResultHeight() {
  SetResultHeight(TWindowLayout::ResultHeight(
      OuterHeight(), ReservedHeight, cbRareWord->isChecked(), imgLogo3->height()));
}

TPoint TForm4::PopupPosition(TPoint windowTopLeft, int nonClientHeight, int viewTop,
                             int x, int y) {
  return TPoint{windowTopLeft.X + x - 10,
                windowTopLeft.Y + nonClientHeight + viewTop + y - 10};
}

void TForm4::reResultMouseDown(void* /*Sender*/, TMouseButton Button,
                               TShiftState /*Shift*/, int X, int Y) {
  if (Button != TMouseButton::mbRight) return;
  QRect frame = frameGeometry();
  TPoint at =
      PopupPosition(TPoint{frame.x(), frame.y()}, NonClientHeight(), reResult->y(), X, Y);
  // The menu is modal; the chosen item runs after it has closed.
  QAction* chosen = OnPopup ? OnPopup(at) : PopupMenu1->exec(QPoint(at.X, at.Y));
  if (chosen == N1) {
    PopCopy(N1);
  } else if (chosen == N2) {
    N2Click(N2);
  } else if (chosen == N3) {
    StrokePanel->Choose(QStringFromGbk(FRichEdit->SelectedText()));
  } else if (chosen == SpeakItem) {
    LearnerCard->Speak();
  } else if (chosen == WordListItem) {
    OpenWordList();
  }
}

void TForm4::PopCopy(void* /*Sender*/) {
  FRichEdit->CopySelection();
}

void TForm4::N2Click(void* /*Sender*/) {
  edSearch->setText(QStringFromGbk(FRichEdit->SelectedText()));
  if (!isActiveWindow()) activateWindow();
  edSearch->setFocus();
  btnSearchClick(btnSearch);
}

void TForm4::ShowHandwritingPad() {
  if (!HandwritingPad) {
    HandwritingPad = new THandwritingPad(this, StrokePanel->DataFile());
    HandwritingPad->OnChoose = [this](const QString& c) {
      Guarded([&] { ChooseHandwritten(c); });
    };
  }
  HandwritingPad->ShowBeside(frameGeometry());
}

void TForm4::ChooseHandwritten(const QString& character) {
  edSearch->insert(character);
  History().EndWalk();
  btnSearchClick(btnSearch);
}

void TForm4::WMNotify(TMessage& Message) {
  const auto* header = reinterpret_cast<const NMHDR*>(Message.LParam);
  if (!header || header->code != EN_LINK) return;
  const auto* link = reinterpret_cast<const ENLINK*>(Message.LParam);
  if (link->msg != WM_LBUTTONDOWN) return;

  std::error_code ec;
  std::string folder = std::filesystem::current_path(ec).string();
  FRichEdit->SetSelection(link->chrg.cpMin, link->chrg.cpMax - link->chrg.cpMin);
  // A file link goes to the handler as an encoded URL of a file inside the
  // dictionary folder, or not at all.
  if (std::optional<std::string> target =
          LinkOpenTarget(FRichEdit->SelectedText(), ec ? std::string() : folder)) {
    ShellOpen(*target);
  }
  // The view goes on with its own handling of the mouse event afterwards.
}

int TForm4::OuterWidth() const {
  return width() + NonClientWidth();
}

void TForm4::SetOuterWidth(int width) {
  resize(width - NonClientWidth(), height());
}

int TForm4::NonClientWidth() const {
  if (!isVisible()) return 0;
  return frameGeometry().width() - width();
}

int TForm4::NonClientHeight() const {
  if (!isVisible()) return 0;
  return frameGeometry().height() - height();
}

void TForm4::SetResultHeight(int height) {
  FResultHeight = height;
  Dock();
}

void TForm4::Dock() {
  // A height of zero or less leaves the view without room on screen; one
  // that would reach up over the search row is cut at the row.
  int h = std::max(FResultHeight, 0);
  int top = std::max(height() - h, ViewTopLimit());
  reResult->setGeometry(0, top, width(), std::max(height() - top, 0));
  PlaceParts();
}

int TForm4::ViewTopLimit() const {
  int bottom = 0;
  for (const QWidget* w :
       {static_cast<const QWidget*>(edSearch), static_cast<const QWidget*>(btnSearch),
        static_cast<const QWidget*>(btnStop), static_cast<const QWidget*>(cbRareWord)}) {
    bottom = std::max(bottom, w->geometry().bottom() + 1);
  }
  return bottom + 10;
}

void TForm4::UpdateMinimumSize() {
  int right = 0;
  for (const QWidget* w :
       {static_cast<const QWidget*>(edSearch), static_cast<const QWidget*>(btnSearch),
        static_cast<const QWidget*>(btnStop), static_cast<const QWidget*>(cbRareWord)}) {
    right = std::max(right, w->geometry().right() + 1);
  }
  setMinimumSize(right + 10, ViewTopLimit() + kMinimumViewHeight);
}

void TForm4::SyncFrame() {
  SyncNonClientHeight();
  if (FOuterWidthRule < 0) return;
  int nonClient = NonClientWidth();
  if (nonClient == FCountedNonClientWidth) return;
  FCountedNonClientWidth = nonClient;
  resize(FOuterWidthRule - nonClient, height());
}

void TForm4::SyncNonClientHeight() {
  if (FReservedNonClient < 0) return;
  int nonClient = NonClientHeight();
  if (nonClient != FReservedNonClient) {
    ReservedHeight += nonClient - FReservedNonClient;
    FReservedNonClient = nonClient;
  }
}

void TForm4::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Dock();
  SyncFrame();
}

void TForm4::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  SyncFrame();
}

void TForm4::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  SyncFrame();
}

void TForm4::closeEvent(QCloseEvent* event) {
  // A search still running inside a handler ends at its next line.
  StopRequested = true;
  FSearchPending = false;
  ForParts([](IWindowPart& part) { part.Closing(); });
  QWidget::closeEvent(event);
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
  // The query box would take Ctrl+E (the end of the line) and Ctrl+D (delete)
  // for itself; they belong to the window's menu items.
  if (event->type() == QEvent::ShortcutOverride &&
      (static_cast<QKeyEvent*>(event)->keyCombination() ==
           QKeyCombination(Qt::CTRL, Qt::Key_E) ||
       static_cast<QKeyEvent*>(event)->keyCombination() ==
           QKeyCombination(Qt::CTRL, Qt::Key_D))) {
    return true;
  }
  if (watched == edSearch && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      char ch = 13;
      Guarded([&] { edSearchKeyPress(edSearch, ch); });
    }
    bool taken = false;
    ForParts([&](IWindowPart& part) { taken = taken || part.QueryKey(*key); });
    if (taken) return true;
  }
  if (watched == reResult->viewport() && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    ForParts([this](IWindowPart& part) { part.ViewClicked(*FRichEdit); });
  }
  if (watched == reResult->viewport() && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      // A notch is 120; touchpads send less at a time.
      FWheelRest += wheel->angleDelta().y();
      int steps = FWheelRest / 120;
      FWheelRest -= steps * 120;
      if (steps != 0) SetZoom(Zoom() + steps * kZoomStep);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm4::LookUp(const QString& query) {
  // Comes from a timer (the command line) or from D-Bus, not from a
  // control: guarded here like every handler.
  Guarded([&] {
    edSearch->setText(query);
    edSearch->setFocus();
    char enter = 13;
    edSearchKeyPress(edSearch, enter);
  });
}

QString TForm4::QueryText() const {
  return edSearch->text();
}

void TForm4::SetQueryText(const QString& text) {
  edSearch->setText(text);
}

void TForm4::Raise() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

bool TForm4::ExtendedSearch() const {
  return ExtendedSearchItem->isChecked();
}

void TForm4::SetExtendedSearch(bool on) {
  ExtendedSearchItem->setChecked(on);
}

TExtendedDisplay TForm4::ExtendedDisplay() const {
  return TExtendedDisplay{ToneMarksItem->isChecked(), OwnCaseItem->isChecked(),
                          TraditionalItem->isChecked()};
}

int TForm4::Zoom() const {
  return reResult->Zoom();
}

void TForm4::SetZoom(int percent) {
  int before = reResult->Zoom();
  reResult->SetZoom(percent);
  if (reResult->Zoom() != before)
    TSettings::SetValue(QStringLiteral("view/zoom"), reResult->Zoom());
}

QString TForm4::SettingsFile() {
  return TSettings::File();
}

}  // namespace velmora
