// The main window and the module state shared with the search.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/WindowParts.h"
#include "dict/DictFolder.h"
#include "dict/ResultView.h"
#include "dict/Search.h"  // StopRequested
#include "platform/classes/Classes.h"
#include "platform/classes/Graphics.h"
#include "platform/qt/Messages.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace velmora {

class TAsYouType;
class TForm4;
class TImage;
class TQueryHistories;
class TQueryHistory;
class TQtRichEdit;
class TResultViewWidget;
class TStrokePanel;
class THandwritingPad;
class TLearnerCard;
class TWordList;

// The one main window; set before its FormCreate runs.
extern TForm4* Form4;
// The three pictures, loaded by FormCreate. Made empty at start-up and kept
// until the process ends; each image control holds its own copy.
extern TPicture* const picLogo;
extern TPicture* const picLogo2;
extern TPicture* const picLogo3;
// The part of the window's outer height the result view does not get.
extern std::int32_t ReservedHeight;

constexpr TColor FormColor = RGB(233, 254, 221);  // 14548713

// True when the file opens for reading.
bool CanOpenFile(const std::string& name);

// Runs an event handler. An exception that escapes it is reported, as the
// class library does, instead of unwinding through Qt's event loop.
void Guarded(const std::function<void()>& handler);

// The window reaches the parts we added (the histories, the search as you
// type, the stroke panel, the learner's card) through IWindowPart only, and
// they reach it through IQueryWindow.
class TForm4 : public QWidget, public IQueryWindow {
  Q_OBJECT

 public:
  TForm4();
  ~TForm4() override;

  // Controls, laid out as designed until FormCreate fits them to the pictures.
  TResultViewWidget* reResult;
  QLineEdit* edSearch;
  QPushButton* btnSearch;
  TImage* imgLogo;
  TImage* imgLogo2;
  TImage* imgLogo3;
  QCheckBox* cbRareWord;
  QMenu* PopupMenu1;
  QPushButton* btnStop;
  QAction* N1;
  QAction* N2;
  // Added after N1 and N2: turns the extended search on and off (Ctrl+E).
  QAction* ExtendedSearchItem;
  // How the extended search shows its entries, three kept choices: tone
  // marks, the explanation's own letter case, the traditional form.
  QMenu* ExtendedDisplayMenu;
  QAction* ToneMarksItem;
  QAction* OwnCaseItem;
  QAction* TraditionalItem;
  // Stroke order: the menu item 笔顺 and the panel that plays it.
  QAction* N3;
  TStrokePanel* StrokePanel;
  // The handwriting pad (menu item and Ctrl+D); made when first opened.
  QAction* HandwritingItem;
  THandwritingPad* HandwritingPad = nullptr;
  void ShowHandwritingPad();
  // A character chosen on the pad: into the query box, and looked up.
  void ChooseHandwritten(const QString& character);
  // The learner's card beside the stroke panel, and the menu items after
  // all others: 朗读 says the card's entry, 单词本 opens the word list.
  TLearnerCard* LearnerCard;
  QAction* SpeakItem;
  QAction* WordListItem;
  TWordList& Words() { return *FWords; }
  // Opens the word list; tests replace it.
  std::function<void()> OnWordList;

  // Sets Form4 and runs FormCreate; an exception that escapes it goes to the
  // application's exception report, and the window keeps what was done.
  void DoCreate();

  void FormCreate(void* Sender);
  void btnSearchClick(void* Sender);
  void edSearchKeyPress(void* Sender, char& Key);
  void btnStopClick(void* Sender);
  void cbRareWordClick(void* Sender);
  void reResultMouseDown(void* Sender, TMouseButton Button, TShiftState Shift, int X,
                         int Y);
  void PopCopy(void* Sender);
  void N2Click(void* Sender);
  void WMNotify(TMessage& Message);

  // The dictionary folder the window reads (it is the current folder), named
  // on standard error when its files cannot be opened.
  void SetDictFolder(TDictFolder folder) { FDictFolder = std::move(folder); }
  // Why the folder could not be entered (UTF-8; empty: it was). The window
  // then says so in red in place of its pictures, and every search answers
  // with the same message instead of reading another folder's files.
  void SetDictFolderError(std::string message) { FDictFolderError = std::move(message); }

  // How the window's searches let messages run; tests shorten it.
  static TSearchPacing SearchPacing;

  // The rich-text control behind reResult and the output operations on it.
  IRichEdit& ResultEdit();
  TResultView& ResultOutput() { return *FOutput; }

  // Window geometry as the layout arithmetic reads it.
  int OuterHeight() const { return height() + NonClientHeight(); }
  int OuterWidth() const;
  void SetOuterWidth(int width);
  // Outer height minus client height; 0 while the window is off screen.
  virtual int NonClientHeight() const;
  // The result view keeps the height given and stays docked to the bottom
  // edge.
  void SetResultHeight(int height);

  // The non-client height is known only once the window manager framed the
  // window, usually after FormCreate; ReservedHeight is corrected then so
  // that it holds the real one. Runs on every move, resize and show.
  void SyncNonClientHeight();

  // Where the context menu opens for a right press at (x, y) in the view.
  static TPoint PopupPosition(TPoint windowTopLeft, int nonClientHeight, int viewTop,
                              int x, int y);
  // Opens PopupMenu1 at a screen point; tests replace it. Returns the chosen
  // item (nullptr for none).
  std::function<QAction*(TPoint screen)> OnPopup;

  // A query from outside the window (the command line, another velmora
  // process): searched as if typed into the query box and Enter pressed.
  void LookUp(const QString& query) override;
  // Brings the window to the front of the desktop, restored if minimised.
  void Raise() override;
  QWidget& Window() override { return *this; }
  QString QueryText() const override;
  void SetQueryText(const QString& text) override;
  bool Searching() const override { return FSearching; }
  void Revisit(const QString& query) override;
  // Adds a part after those the window makes itself; it is told of the
  // window until the window goes, and must outlive it or never be told.
  void AddPart(IWindowPart& part) { FParts.push_back(&part); }

  // The queries searched, kept across runs, one history for each kind of
  // search (a query means something else to each). Up and Down in the
  // query box walk the one of the search that is on; GoBack and GoForward
  // (Alt+Left, Alt+Right) search the one before or after the search shown,
  // without adding to the history.
  TQueryHistory& History();
  void GoBack();
  void GoForward();

  // The result view's text size in percent (Ctrl+wheel, Ctrl+plus,
  // Ctrl+minus, Ctrl+0), kept across runs in the settings file.
  static constexpr int kZoomStep = 10;
  int Zoom() const;
  void SetZoom(int percent);
  static QString SettingsFile();

  // The extended search: off unless chosen (ExtendedSearchItem, Ctrl+E),
  // and the choice is kept in the settings file. While it is on, the query
  // box is tinted and every edit searches again (AsYouType).
  bool ExtendedSearch() const override;
  void SetExtendedSearch(bool on);
  TExtendedDisplay ExtendedDisplay() const;
  TAsYouType& AsYouType() { return *FAsYouType; }
  // A search of the box as typed: a running search is told to stop, and
  // this one runs once it has returned. Not kept in the history.
  void SearchAsTyped() override;

  // Outer width minus client width; 0 while the window is off screen.
  virtual int NonClientWidth() const;
  // Corrects what was computed without the window manager's frame once the
  // frame is known: ReservedHeight (SyncNonClientHeight) and the outer
  // width of the layout. Runs on every move, resize and show.
  void SyncFrame();
  // The highest the result view's top may go: 10 pixels below the search
  // row, so that the row and the check box always stay uncovered.
  int ViewTopLimit() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class TSearchControls;
  // The steps of construction, in order.
  void CreateControls();
  void LayOutControls();
  void SetUpResultView();
  void SetUpQueryBox();
  void AddShortcuts();
  void LoadKeptState();
  void ConnectControls();
  void Dock();
  // The result view takes the window's height below the reserved rows, and
  // below the third logo too while the rare-word box is checked.
  void FitResultHeight();
  void UpdateMinimumSize();
  void RunSearches();
  // Tells every part, in the order they were added.
  template <typename F>
  void ForParts(F tell) {
    for (IWindowPart* part : FParts) tell(*part);
  }
  void PlaceParts();
  void OpenWordList();
  // A red line in the view in place of the pictures; the layout stays as
  // designed.
  void ShowStartFailure(const std::string& message);
  // 开启辞典失败： and the reason the folder could not be entered, GBK.
  std::string DictFolderMessage() const;

  std::unique_ptr<TQtRichEdit> FRichEdit;
  std::unique_ptr<TResultView> FOutput;
  int FResultHeight = 262;
  // The non-client height counted in ReservedHeight; -1 before FormCreate
  // counted one.
  int FReservedNonClient = -1;
  // The outer width the layout asked for and the non-client width it was
  // computed with; -1 before FormCreate set the width.
  int FOuterWidthRule = -1;
  int FCountedNonClientWidth = -1;
  std::unique_ptr<TWordList> FWords;
  TDictFolder FDictFolder{".", TDictFolderSource::Current};
  std::string FDictFolderError;
  std::unique_ptr<TQueryHistories> FHistories;
  std::unique_ptr<TAsYouType> FAsYouType;
  std::vector<IWindowPart*> FParts;
  QAction* FSearchKindBadge = nullptr;
  bool FTyped = false;      // the next search is one as typed
  bool FRecordNext = true;  // the next search goes into the history
  int FWheelRest = 0;       // wheel turn not yet worth a zoom step
  bool FSearching = false;
  bool FSearchPending = false;
};

}  // namespace velmora
