// The image control: shows its picture at natural size in the top-left
// corner over a background colour, and repaints when the picture reports a
// change (a new graphic, the next frame of an animation).
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>

#include "platform/classes/Bitmap.h"
#include "platform/classes/Graphics.h"

namespace velmora {

class TImage : public QWidget {
  Q_OBJECT

 public:
  explicit TImage(QWidget* parent = nullptr);
  ~TImage() override;

  // The control's own picture; Assign a copy into it.
  TPicture& Picture() { return picture_; }
  void SetBackground(TColor color);
  TColor Background() const { return background_; }

  // What the control shows: the background, with the picture drawn through
  // a canvas on top. The canvas stays the same from paint to paint, so an
  // animation started by the graphic keeps its target.
  QImage Render();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PictureChanged();

  TPicture picture_;
  TBitmap buffer_;
  TColor background_ = clWhite;
  std::atomic<bool> painting_{false};
  bool failed_ = false;  // the graphic raised while drawing
};

}  // namespace velmora
