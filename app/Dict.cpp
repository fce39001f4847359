#include "app/Dict.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/AsYouType.h"
#include "app/History.h"
#include "app/StrokePanel.h"
#include "dict/DictFile.h"
#include "dict/LinkTarget.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/qt/Image.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/qt/ShellOpen.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {

TForm4* Form4 = nullptr;
// Never freed: they outlive the window and everything that draws them.
TPicture* const picLogo = new TPicture;
TPicture* const picLogo2 = new TPicture;
TPicture* const picLogo3 = new TPicture;
std::int32_t ReservedHeight = 0;

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

QColor ToQColor(TColor c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// An exception that escapes an event handler is reported, as the class
// library does, instead of unwinding through Qt's event loop.
template <typename F>
void Guarded(F handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    Application().ShowException(e);
  } catch (...) {
    Application().ShowException(Exception(""));
  }
}

}  // namespace

bool CanOpenFile(const std::string& name) {
  // An ifstream opens a folder too; only a file can be a picture.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return false;
  std::ifstream file(name);
  return file.is_open();
}

// What the search touches of the window besides the view.
class TForm4::TSearchControls : public ISearchControls {
 public:
  explicit TSearchControls(TForm4& form) : form_(form) {}
  std::string GetQueryText() override { return GbkFromQString(form_.edSearch->text()); }
  void SetQueryText(const std::string& text) override {
    // While the user types, the box is theirs: writing it back would move
    // the cursor under their fingers. The extended search leaves a text it
    // does not change where it is, cursor and all.
    if (typing_) return;
    if (form_.ExtendedSearch() && text == GetQueryText()) return;
    form_.edSearch->setText(QStringFromGbk(text));
  }
  void SetTyping(bool typing) { typing_ = typing; }
  void SetSearchEnabled(bool enabled) override { form_.btnSearch->setEnabled(enabled); }
  void SetStopEnabled(bool enabled) override { form_.btnStop->setEnabled(enabled); }

 private:
  TForm4& form_;
  bool typing_ = false;
};

TForm4::TForm4() : FRichEdit(std::make_unique<TQtRichEdit>()) {
  FOutput = std::make_unique<TResultView>(*FRichEdit);

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
  FSearchKindBadge = MakeSearchKindBadge(*edSearch);
  StrokePanel = new TStrokePanel(this);

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

  setTabOrder(edSearch, btnSearch);
  setTabOrder(btnSearch, reResult);
  setTabOrder(reResult, cbRareWord);
  setTabOrder(cbRareWord, btnStop);
  edSearch->setFocus();

  edSearch->installEventFilter(this);
  reResult->viewport()->installEventFilter(this);
  FAsYouType = std::make_unique<TAsYouType>(
      [this] { Guarded([this] { SearchAsTyped(); }); },
      [this](const std::string& text) { KeepStanding(text); },
      [this] { return GbkFromQString(edSearch->text()); });
  connect(edSearch, &QLineEdit::textEdited, this, [this] {
    History().EndWalk();
    if (ExtendedSearch()) FAsYouType->Edited();
  });
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

  std::string state = StateFolder();
  FHistory = std::make_unique<TQueryHistory>(state.empty() ? "" : state + "/history");
  FHistory->Load();
  FExtendedHistory = std::make_unique<TQueryHistory>(
      state.empty() ? "" : state + "/history-extended", IsTypedQuery);
  FExtendedHistory->Load();
  if (QString file = SettingsFile(); !file.isEmpty()) {
    QSettings settings(file, QSettings::IniFormat);
    reResult->SetZoom(settings.value(QStringLiteral("view/zoom"), 100).toInt());
    if (settings.value(QStringLiteral("search/extended"), false).toBool()) {
      ExtendedSearchItem->setChecked(true);
      ShowSearchKind(*edSearch, *FSearchKindBadge, true);
    }
  }
  // Connected once the kept choice is in place: reading it changes nothing.
  connect(ExtendedSearchItem, &QAction::toggled, this, [this](bool on) {
    Guarded([&] {
      ShowSearchKind(*edSearch, *FSearchKindBadge, on);
      if (QString file = SettingsFile(); !file.isEmpty()) {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("search/extended"), on);
      }
      if (!on) {
        FAsYouType->Cancel();
      } else if (!edSearch->text().isEmpty()) {
        // What the box holds is asked again the new way.
        SearchAsTyped();
      }
    });
  });
  connect(FSearchKindBadge, &QAction::triggered, this,
          [this] { SetExtendedSearch(false); });
  connect(btnSearch, &QPushButton::clicked, this,
          [this] { Guarded([&] { btnSearchClick(btnSearch); }); });
  connect(btnStop, &QPushButton::clicked, this,
          [this] { Guarded([&] { btnStopClick(btnStop); }); });
  connect(cbRareWord, &QCheckBox::toggled, this,
          [this] { Guarded([&] { cbRareWordClick(cbRareWord); }); });

  move(206, 0);
  resize(689, 686);
  FResultHeight = 262;
  Dock();
  UpdateMinimumSize();
  PlaceStrokePanel();
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
  for (const char* name : kPictureFiles) {
    if (!CanOpenFile(name)) {
      std::string message =
          std::string(kPictureFailedBefore) + name + std::string(kPictureFailedAfter);
      FOutput->AppendLine(message);
      FOutput->HighlightAdded(message, 2, clRed);
      // The layout stays as designed, but the check box still needs to know
      // where the search row ends, or clearing it lets the view cover the
      // row and the check box itself.
      int nonClient = OuterHeight() - height();
      ReservedHeight = edSearch->y() + btnSearch->height() + 10 + nonClient;
      FReservedNonClient = nonClient;
      return;
    }
  }
  picLogo->LoadFromFile(kPictureFiles[0]);
  picLogo2->LoadFromFile(kPictureFiles[1]);
  picLogo3->LoadFromFile(kPictureFiles[2]);
  imgLogo->Picture().Assign(*picLogo);
  imgLogo2->Picture().Assign(*picLogo2);
  imgLogo3->Picture().Assign(*picLogo3);

  imgLogo->setGeometry(imgLogo->x(), 0, picLogo->GetWidth(), picLogo->GetHeight());
  ReservedHeight += picLogo->GetHeight();
  imgLogo2->setGeometry(imgLogo2->x(), imgLogo->height(), picLogo2->GetWidth(),
                        picLogo2->GetHeight());
  ReservedHeight += picLogo2->GetHeight();

  int row = imgLogo2->y() + imgLogo2->height() + 7;
  for (QWidget* w : {static_cast<QWidget*>(edSearch), static_cast<QWidget*>(btnSearch),
                     static_cast<QWidget*>(btnStop), static_cast<QWidget*>(cbRareWord)}) {
    w->move(w->x(), row);
  }
  int nonClient = OuterHeight() - height();
  ReservedHeight += nonClient + btnSearch->height() + 17;
  FReservedNonClient = nonClient;

  imgLogo3->setGeometry(imgLogo3->x(), cbRareWord->y() + btnSearch->height() + 15,
                        picLogo3->GetWidth(), picLogo3->GetHeight());

  int widest =
      std::max({picLogo->GetWidth(), picLogo2->GetWidth(), picLogo3->GetWidth()});
  FOuterWidthRule = std::max(widest + 10, 700);
  FCountedNonClientWidth = NonClientWidth();
  SetOuterWidth(FOuterWidthRule);
  UpdateMinimumSize();
  FitResultHeight();

  FRichEdit->SetAutoUrlDetect(true);
  reResult->SetEventMask(ENM_LINK);
  FRichEdit->ScrollToTop();
  PlaceStrokePanel();
}

// Right of the banners, above the check box: it covers no control and no
// result.
void TForm4::PlaceStrokePanel() {
  StrokePanel->Place(std::max(cbRareWord->x(), imgLogo->geometry().right() + 9),
                     std::min(edSearch->y(), cbRareWord->y()), width() - 8);
}

void TForm4::btnSearchClick(void* /*Sender*/) {
  FTyped = false;
  RunSearches();
}

void TForm4::SearchAsTyped() {
  if (!ExtendedSearch()) return;
  FTyped = true;
  RunSearches();
}

void TForm4::RunSearches() {
  // Enter and the menu's query item reach here even while a search runs (the
  // button's state is not consulted). The running search is told to stop and
  // the new one starts once it has returned, so that no two searches ever
  // write into the view, and none runs nested inside another.
  if (FSearching) {
    StopRequested = true;
    FSearchPending = true;
    return;
  }
  FSearching = true;
  TScopeGuard running([this] { FSearching = false; });
  // The selection is the search's working cursor: the user's keys in the
  // view must not edit through it meanwhile. The view shows where the
  // search ended once it has returned, however it returns.
  reResult->SetWriting(true);
  TScopeGuard writing([this] {
    reResult->SetWriting(false);
    reResult->PinTop(false);
    reResult->Flush();
  });
  TSearchControls controls(*this);
  do {
    FSearchPending = false;
    // The last request wins: it reads the box as it is now. A search as
    // typed is kept in the history only once its query has stood.
    const bool typed = std::exchange(FTyped, false);
    const bool record = std::exchange(FRecordNext, true) && !typed;
    // Recorded as the search will read it, before it runs, so that Alt+Left
    // during a long search goes back from this one.
    const TSearchQuery query = ReadQuery(controls);
    if (std::string kept = KeptQuery(query); record && !kept.empty()) History().Add(kept);
    controls.SetTyping(typed);
    // Results as you type are read from the top, the best first; the view
    // does not run after the output to its end.
    reResult->PinTop(typed);
    // Typing asked for the extended search, even if it was turned off in
    // the moment before this one could run.
    const TSearchOptions options{typed || ExtendedSearch() ? TSearchKind::Extended
                                                           : TSearchKind::Specified};
    const TSearchOutcome outcome =
        RunSearch(controls, *FOutput, SharedDictImages(), options, query);
    if (outcome == TSearchOutcome::OwnFileMissing ||
        outcome == TSearchOutcome::OtherFileMissing) {
      // The view's message names neither the folder nor the reason.
      for (const std::string& line : DictOpenFailures(FDictFolder))
        std::fprintf(stderr, "velmora: %s\n", line.c_str());
    }
  } while (FSearchPending);
  // The animation is made once the results are on screen.
  QTimer::singleShot(0, StrokePanel,
                     [this, query = edSearch->text()] { StrokePanel->ShowQuery(query); });
  // The history goes to disk once the search is over and shown, so that
  // syncing it never delays one.
  QTimer::singleShot(0, this, [this] {
    if (FHistory) FHistory->SaveIfChanged();
    if (FExtendedHistory) FExtendedHistory->SaveIfChanged();
  });
}

void TForm4::edSearchKeyPress(void* /*Sender*/, char& Key) {
  if (Key == 13) btnSearchClick(btnSearch);
}

void TForm4::btnStopClick(void* /*Sender*/) {
  StopRequested = true;
  FSearchPending = false;
  FAsYouType->CancelSearch();
  FOutput->ReplaceLine(1, texts::kStopped);
  FOutput->MarkSpan(FOutput->LineStart(1), int(texts::kStopped.size()), clRed, fsBold);
  btnSearch->setEnabled(true);
}

void TForm4::cbRareWordClick(void* /*Sender*/) {
  FitResultHeight();
}

void TForm4::FitResultHeight() {
  int h = OuterHeight();
  SetResultHeight(cbRareWord->isChecked() ? h - ReservedHeight - imgLogo3->height() - 5
                                          : h - ReservedHeight);
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
  FAsYouType->Cancel();
  QWidget::closeEvent(event);
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
  // The query box would take Ctrl+E for itself (the end of the line); it
  // belongs to the window's menu item.
  if (event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->keyCombination() ==
          QKeyCombination(Qt::CTRL, Qt::Key_E)) {
    return true;
  }
  if (watched == edSearch && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      char ch = 13;
      Guarded([&] { edSearchKeyPress(edSearch, ch); });
    }
    if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) &&
        key->modifiers() == Qt::NoModifier) {
      std::optional<std::string> text =
          key->key() == Qt::Key_Up ? History().Older(GbkFromQString(edSearch->text()))
                                   : History().Newer();
      if (text) edSearch->setText(QStringFromGbk(*text));
      return true;
    }
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
  edSearch->setText(query);
  edSearch->setFocus();
  char enter = 13;
  edSearchKeyPress(edSearch, enter);
}

void TForm4::Raise() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TForm4::Navigate(const std::optional<std::string>& query) {
  if (!query) return;
  edSearch->setText(QStringFromGbk(*query));
  FRecordNext = false;
  btnSearchClick(btnSearch);
}

void TForm4::GoBack() {
  Navigate(History().Back());
}

void TForm4::GoForward() {
  Navigate(History().Forward());
}

bool TForm4::ExtendedSearch() const {
  return ExtendedSearchItem->isChecked();
}

void TForm4::SetExtendedSearch(bool on) {
  ExtendedSearchItem->setChecked(on);
}

void TForm4::KeepStanding(const std::string& boxText) {
  std::string query = TypedQuery(boxText);
  if (!ExtendedSearch() || query.empty()) return;
  FExtendedHistory->Add(query);
  // Saved now unless a search runs; then once it is over.
  if (!FSearching) FExtendedHistory->SaveIfChanged();
}

std::string TForm4::KeptQuery(const TSearchQuery& query) const {
  if (ExtendedSearch()) return TypedQuery(query.Typed);
  return query.Cleaned.size() >= 2 ? query.Cleaned : std::string();
}

int TForm4::Zoom() const {
  return reResult->Zoom();
}

void TForm4::SetZoom(int percent) {
  int before = reResult->Zoom();
  reResult->SetZoom(percent);
  QString file = SettingsFile();
  if (reResult->Zoom() == before || file.isEmpty()) return;
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue(QStringLiteral("view/zoom"), reResult->Zoom());
}

QString TForm4::SettingsFile() {
  std::string folder = ConfigFolder();
  return folder.empty() ? QString() : QString::fromStdString(folder + "/velmora.conf");
}

}  // namespace velmora
