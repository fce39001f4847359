// The learner's card: beside the stroke panel, what Velmora knows of the
// entry shown (the query's first entry after a search, or the entry the
// user clicked in the results): its HSK level, how frequent the word is,
// and for a character its radical and stroke count. The speaker button says
// the entry's own reading with espeak-ng; the star keeps the word in the
// word list, for Anki.
#pragma once

#include <QFrame>
#include <optional>
#include <string>

#include "app/WindowParts.h"
#include "dict/ViewEntries.h"

class QLabel;
class QProcess;
class QToolButton;

namespace velmora {

class TWordList;

class TLearnerCard : public QFrame, public IWindowPart {
  Q_OBJECT

 public:
  TLearnerCard(QWidget* parent, TWordList& words);
  ~TLearnerCard() override;

  // Fits the card into the rectangle (client coordinates of the window);
  // hidden while the rectangle is too small to show it.
  void Place(const QRect& room);
  // Below the search row, right of the table picture, down to the results:
  // it covers no control and no result, and hides while the results take
  // that room.
  void Place(const TPartRoom& room) override;
  // The first entry of the results, or the one clicked on.
  void SearchShown(const QString& box, IRichEdit& view) override;
  void ViewClicked(IRichEdit& view) override;
  // Shows the entry's facts (from the tables of the current folder); an
  // empty card for none.
  void ShowEntry(const std::optional<TViewEntry>& entry);
  const std::optional<TViewEntry>& Entry() const { return FEntry; }

  // Says the entry's reading; false when there is none or no espeak-ng. A
  // saying still under way is ended first.
  bool Speak();
  bool CanSpeak() const;
  // Keeps the word in the list, or takes it out.
  void ToggleStar();

  QLabel* Title() const { return FTitle; }
  QLabel* Facts() const { return FFacts; }
  QToolButton* SpeakerButton() const { return FSpeaker; }
  QToolButton* StarButton() const { return FStar; }
  // The espeak-ng process of the last saying, or nullptr.
  QProcess* Speech() const { return FSpeech; }

  static constexpr int kMinimumHeight = 96;

 private:
  void UpdateButtons();

  TWordList& FWords;
  QLabel* FTitle;
  QLabel* FFacts;
  QToolButton* FSpeaker;
  QToolButton* FStar;
  QProcess* FSpeech = nullptr;
  std::optional<TViewEntry> FEntry;
  bool FFits = false;
};

}  // namespace velmora
