// The window's searches: the box read once, the history kept, one search
// at a time, and the walk back and forth through the queries searched.
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "app/Dict.h"
#include "app/History.h"
#include "app/QueryHistories.h"
#include "app/WordList.h"
#include "dict/DictFile.h"
#include "dict/ExtendedQuery.h"
#include "dict/Texts.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {

namespace {

// The box's text as a search reads it. The extended search reads full-width
// forms as plain and tone marks composed, capitals lowered (PlainQuery),
// while the text is still Unicode: GBK holds no capital tone-marked vowels.
// The standard search reads the box as it stands.
QString SearchedText(const QString& box, bool extended) {
  if (!extended) return box;
  const QList<uint> ucs4 = box.toUcs4();
  const std::u32string plain = PlainQuery(std::u32string(ucs4.begin(), ucs4.end()));
  return QString::fromUcs4(plain.data(), qsizetype(plain.size()));
}

}  // namespace

// What the search touches of the window besides the view.
class TForm4::TSearchControls : public ISearchControls {
 public:
  explicit TSearchControls(TForm4& form) : form_(form) {}
  std::string GetQueryText() override {
    return GbkFromQString(SearchedText(form_.edSearch->text(), form_.ExtendedSearch()));
  }
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

void TForm4::btnSearchClick(void* /*Sender*/) {
  FTyped = false;
  RunSearches();
}

void TForm4::SearchAsTyped() {
  // Asked for from a timer as well as from handlers: guarded here.
  Guarded([this] {
    if (!ExtendedSearch()) return;
    FTyped = true;
    RunSearches();
  });
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
  if (!FDictFolderError.empty()) {
    const std::string message = DictFolderMessage();
    FOutput->ClearView();
    FOutput->AppendLine(message);
    FOutput->HighlightAdded(message, 2, clRed);
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
    TSearchQuery query = ReadQuery(controls);
    query.Unencodable =
        NameFirstUnencodable(SearchedText(edSearch->text(), ExtendedSearch()));
    ForParts([&](IWindowPart& part) { part.SearchStarting(query, record); });
    controls.SetTyping(typed);
    // Results as you type are read from the top, the best first; the view
    // does not run after the output to its end.
    reResult->PinTop(typed);
    // Typing asked for the extended search, even if it was turned off in
    // the moment before this one could run.
    TSearchOptions options(typed || ExtendedSearch() ? TSearchKind::Extended
                                                     : TSearchKind::Standard);
    options.Pacing = SearchPacing;
    options.Query = query;
    options.Display = ExtendedDisplay();
    const TSearchOutcome outcome = RunSearch(controls, *FOutput, options);
    if (outcome == TSearchOutcome::OwnFileMissing ||
        outcome == TSearchOutcome::OtherFileMissing) {
      // The view's message names neither the folder nor the reason.
      for (const std::string& line : DictOpenFailures(FDictFolder))
        std::fprintf(stderr, "velmora: %s\n", line.c_str());
    }
  } while (FSearchPending);
  // The parts take their turn once the results are on screen: the stroke
  // animation is made, the card filled, the history written.
  QTimer::singleShot(0, this, [this, box = edSearch->text()] {
    Guarded(
        [&] { ForParts([&](IWindowPart& part) { part.SearchShown(box, *FRichEdit); }); });
  });
}

void TForm4::edSearchKeyPress(void* /*Sender*/, char& Key) {
  if (Key == 13) btnSearchClick(btnSearch);
}

void TForm4::btnStopClick(void* /*Sender*/) {
  StopRequested = true;
  FSearchPending = false;
  ForParts([](IWindowPart& part) { part.SearchStopped(); });
  FOutput->ReplaceLine(1, texts::kStopped);
  FOutput->MarkSpan(FOutput->LineStart(1), int(texts::kStopped.size()), clRed, fsBold);
  btnSearch->setEnabled(true);
}

void TForm4::Revisit(const QString& query) {
  edSearch->setText(query);
  FRecordNext = false;
  btnSearchClick(btnSearch);
}

TQueryHistory& TForm4::History() {
  return FHistories->Current();
}

void TForm4::GoBack() {
  FHistories->GoBack();
}

void TForm4::GoForward() {
  FHistories->GoForward();
}

}  // namespace velmora
