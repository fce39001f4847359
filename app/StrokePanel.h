// The stroke-order panel: a small square beside the query row, above the
// result view, that plays how a character is written. The animation is made
// by our GIF writer, read back by our reader and painted by our painter in a
// TImage, as the banner pictures are. It comes up when the query is one
// character, and for the character chosen with 笔顺 in the view's menu; the
// user can close it, which is remembered. A click replays it.
//
// Under the picture: a stroke back, pause and play, a stroke forward, and
// the stroke shown ("7 / 16"). They take no part in the window's tab order;
// the keys are Ctrl+P (pause, play), Ctrl+, and Ctrl+. (a stroke back,
// forward) while the panel shows. A step shows the character still with that
// many strokes done; play goes on from there. A character without stroke
// data shows its glyph, drawn from the font.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/WindowParts.h"
#include "strokes/StrokeData.h"

class QLabel;
class QToolButton;

namespace velmora {

class TGIFImage;
class TImage;

class TStrokePanel : public QWidget, public IWindowPart {
  Q_OBJECT

 public:
  explicit TStrokePanel(QWidget* parent);
  ~TStrokePanel() override;

  // Fits the panel into the room left of limitRight and above rowTop, its
  // left edge at left.
  void Place(int left, int rowTop, int limitRight);
  // Above the search row, at the left of the window's room for its parts.
  void Place(const TPartRoom& room) override;
  // Plays the query searched (ShowQuery).
  void SearchShown(const QString& box, IRichEdit& view) override;

  // After a search: plays the query when it is one character with strokes
  // and the panel is wanted; hides the panel otherwise.
  void ShowQuery(const QString& query);
  // From the menu: plays the text's character whether or not the panel was
  // closed before, and wants it from now on. Text that is not one character
  // with strokes gets a short note instead.
  void Choose(const QString& text);
  // Starts the animation again from its first frame.
  void Replay();
  // Pauses a playing animation where it is; plays a paused one on from the
  // stroke shown.
  void TogglePlay();
  // Shows the character still, one stroke more (forward) or less done than
  // what is shown; pauses first.
  void Step(bool forward);
  bool Paused() const { return FPaused; }
  // The stroke shown: the one being written, or while paused between
  // strokes, the number done. And the character's number of strokes.
  int StrokeShown() const { return FShown; }
  int StrokeCount() const;
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
  QToolButton* PlayButton() const { return FPlay; }
  QToolButton* BackButton() const { return FBack; }
  QToolButton* ForwardButton() const { return FForward; }
  QLabel* Count() const { return FCount; }
  // The character's glyph, when it has no strokes to play.
  QLabel* Glyph() const { return FGlyph; }

  // The stroke data file; by default strokes.bin in the current folder, else
  // the installed one. Tests name their own.
  void SetDataFile(std::string file);
  // The stroke data file in use (the handwriting pad reads the same).
  std::string DataFile() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool Play(char32_t c);
  // Writes the animation entered at stroke first (from 0) and plays it.
  void Animate(int first);
  // Plays FGIF from its first frame.
  void Load();
  void ShowGlyph(char32_t c);
  void Forget();
  void ShowPicture(std::unique_ptr<TGIFImage> gif);
  void FrameShown(int frame);
  void UpdateControls();
  void SaveWanted();
  TStrokeData* Data();

  TImage* FImage;
  QLabel* FNote;
  QLabel* FGlyph;
  QToolButton* FClose;
  QToolButton* FBack;
  QToolButton* FPlay;
  QToolButton* FForward;
  QLabel* FCount;
  std::string FDataFile;
  std::unique_ptr<TStrokeData> FData;
  bool FDataTried = false;
  bool FWanted = true;
  char32_t FCharacter = 0;
  std::vector<std::uint8_t> FGIF;             // the animation as written, for replays
  std::optional<TCharacterStrokes> FStrokes;  // of the character played
  std::vector<int> FFrameStrokes;  // per frame of the animation, strokes finished
  int FFirst = 0;                  // the stroke FGIF begins with
  bool FPaused = false;
  bool FStill = false;    // a still of FShown strokes done, not the animation
  bool FWriting = false;  // FShown is being written, not done
  int FShown = 0;
};

}  // namespace velmora
