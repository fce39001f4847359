// The stroke-order panel: a small square beside the query row, above the
// result view, that plays how a character is written. The animation is made
// by our GIF writer, read back by our reader and painted by our painter in a
// TImage, as the banner pictures are. It comes up when the query is one
// character, and for the character chosen with 笔顺 in the view's menu; the
// user can close it, which is remembered. A click replays it.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QToolButton;

namespace velmora {

class TImage;
class TStrokeData;

class TStrokePanel : public QWidget {
  Q_OBJECT

 public:
  explicit TStrokePanel(QWidget* parent);
  ~TStrokePanel() override;

  // Fits the panel into the room left of limitRight and above rowTop, its
  // left edge at left.
  void Place(int left, int rowTop, int limitRight);

  // After a search: plays the query when it is one character with strokes
  // and the panel is wanted; hides the panel otherwise.
  void ShowQuery(const QString& query);
  // From the menu: plays the text's character whether or not the panel was
  // closed before, and wants it from now on. Text that is not one character
  // with strokes gets a short note instead.
  void Choose(const QString& text);
  // Starts the animation again from its first frame.
  void Replay();
  // Hides the panel and remembers that it is not wanted.
  void Close();

  // Whether the panel comes up for one-character queries (kept in the
  // settings file).
  bool Wanted() const { return FWanted; }
  // The character played, 0 for none.
  char32_t Character() const { return FCharacter; }
  TImage* Image() const { return FImage; }
  QLabel* Note() const { return FNote; }
  QToolButton* CloseButton() const { return FClose; }

  // The stroke data file; by default strokes.bin in the current folder, else
  // the installed one. Tests name their own.
  void SetDataFile(std::string file);
  // The stroke data file in use (the handwriting pad reads the same).
  std::string DataFile() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool Play(char32_t c);
  void SaveWanted();
  TStrokeData* Data();

  TImage* FImage;
  QLabel* FNote;
  QToolButton* FClose;
  std::string FDataFile;
  std::unique_ptr<TStrokeData> FData;
  bool FDataTried = false;
  bool FWanted = true;
  char32_t FCharacter = 0;
  std::vector<std::uint8_t> FGIF;  // the animation as written, for replays
};

}  // namespace velmora
