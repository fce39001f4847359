// The handwriting pad: a small window beside the main one where a character
// that can't be typed is drawn with the mouse, a pen or a finger. After each
// stroke the closest characters come up as a row of large buttons; a click
// on one hands it to the window (which puts it into the query box and
// searches). Undo takes back the last stroke, Clear starts again.
//
// Recognition runs on a thread of its own, which also reads the stroke data
// when the pad first opens, so drawing never waits for it.
#pragma once

#include <QWidget>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hand/Recognizer.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace velmora {

class THandwritingCanvas;

class THandwritingPad : public QWidget {
  Q_OBJECT

 public:
  // The stroke data is read from dataFile when the pad is first shown.
  THandwritingPad(QWidget* owner, std::string dataFile);
  ~THandwritingPad() override;

  // Called with the character chosen (UTF-16 text of one character).
  std::function<void(const QString&)> OnChoose;

  // Shows the pad beside owner's frame, where it covers none of it when the
  // screen has room.
  void ShowBeside(const QRect& ownerFrame);
  // Where a pad of size goes beside frame on a screen whose free part is room.
  static QPoint PlaceBeside(const QRect& frame, QSize size, const QRect& room);

  // Takes back the last stroke; starts again.
  void Undo();
  void Clear();

  // The drawing so far, in the canvas's pixels.
  const THandDrawing& Drawing() const { return FDrawing; }
  // The candidates shown, best first.
  QList<QToolButton*> CandidateButtons() const { return FButtons; }
  QString Candidates() const;
  // Where the strokes are drawn (mouse events in its coordinates).
  QWidget* Canvas() const;
  QLabel* Note() const { return FNote; }
  // Milliseconds from the last pen lift to its candidates shown.
  double LastLatencyMs() const { return FLatencyMs; }

 signals:
  // After the candidates of the drawing have been shown.
  void CandidatesShown();

 private:
  friend class THandwritingCanvas;
  void StrokeDone(THandStroke stroke);
  void Ask();
  void Show(unsigned generation, std::vector<THandCandidate> found, QString note);
  void Work();

  THandwritingCanvas* FCanvas;
  QLabel* FNote;
  QPushButton* FUndo;
  QPushButton* FClear;
  QList<QToolButton*> FButtons;
  THandDrawing FDrawing;
  double FLatencyMs = 0;
  std::chrono::steady_clock::time_point FAsked;

  // Shared with the worker, under FMutex: the latest drawing asked about
  // (older requests are dropped), its generation, and the end.
  std::string FDataFile;
  std::mutex FMutex;
  std::condition_variable FWake;
  THandDrawing FRequest;
  unsigned FGeneration = 0;
  bool FPending = false;
  bool FStop = false;
  std::thread FWorker;
};

}  // namespace velmora
