// The word list (the words starred on the learner's card), opened from the
// results' menu: words can be taken out, and the list exported as a file
// for Anki's text import.
#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace velmora {

class TWordList;

class TWordListDialog : public QDialog {
  Q_OBJECT

 public:
  TWordListDialog(QWidget* parent, TWordList& words);

  // Writes the Anki file of every word to file (UTF-8); false with the
  // reason in the status line when it could not be written.
  bool Export(const QString& file);
  void RemoveSelected();
  void Refill();

  QListWidget* List() const { return FList; }
  QLabel* Status() const { return FStatus; }

 private:
  TWordList& FWords;
  QListWidget* FList;
  QLabel* FStatus;
  QPushButton* FRemove;
  QPushButton* FExport;
};

}  // namespace velmora
