// Frame composition: how each animation frame reaches the painter's canvas
// under the disposal method of the frame before it. Runs on the GUI thread.
#include <mutex>

#include "gif/GIFExtensions.h"
#include "gif/render/GIFPainter.h"
#include "gif/render/GIFRender.h"

namespace velmora {

namespace {

// Selects a frame's palette into a drawing target for the length of a paint.
class PaletteSelection {
 public:
  PaletteSelection(TCanvas* canvas, TGIFSubImage& frame) {
    if (!canvas) return;
    HPALETTE palette = frame.GetPalette();
    dc_ = canvas->GetHandle();
    old_ = SelectPalette(dc_, palette ? palette : SystemPalette16(), false);
    RealizePalette(dc_);
  }
  ~PaletteSelection() {
    if (dc_ && old_) SelectPalette(dc_, old_, false);
  }
  PaletteSelection(const PaletteSelection&) = delete;
  PaletteSelection& operator=(const PaletteSelection&) = delete;

 private:
  HDC dc_ = nullptr;
  HPALETTE old_ = nullptr;
};

// Whether a canvas's device context is still there. A bitmap's canvas draws
// on a memory DC, which counts as much as a window's.
bool IsDeviceContext(HDC dc) {
  const DWORD type = GetObjectType(dc);
  return type == OBJ_DC || type == OBJ_MEMDC;
}

}  // namespace

void TGIFPainter::DoPaint() {
  PaintActiveFrame(false);
}

void TGIFPainter::DoPaintFrame() {
  PaintActiveFrame(true);
}

void TGIFPainter::PaintActiveFrame(bool compose) {
  // Checked before every frame, whichever way it is painted: drawing on a
  // DC that has gone would reach whatever now holds its handle.
  if (Option(goValidateCanvas) && !IsDeviceContext(CanvasDC)) {
    Terminate();
    return;
  }
  std::lock_guard render(GIFRenderMutex());
  TGIFMemoryScope memory(Image);
  TGIFSubImage* frame = Image->Images->GetImage(ActiveImage);
  if (compose)
    ComposeFrame(*frame);
  else
    frame->Draw(*Canvas, Rect, Option(goTransparent), Option(goTile));
  FirstFramePainted = true;
}

void TGIFPainter::ComposeFrame(TGIFSubImage& frame) {
  const bool clearFirst = Option(goClearOnLoop) && ActiveImage == 0;

  // Where the frame goes, from its disposal and the one before it.
  TBitmap* buffer = nullptr;  // the buffer drawn into, copied to the canvas
  bool onCanvas = false;
  bool copyWorkToScratch = false;
  bool clearAfter = false;
  switch (Disposal) {
    case dmNone:
    case dmNoDisposal:
      buffer = WorkBuffer.get();
      break;
    case dmBackground:
      buffer = WorkBuffer.get();
      clearAfter = true;
      break;
    case dmPrevious:
      if (LastDisposal == dmNone || LastDisposal == dmNoDisposal) {
        // WorkBuffer keeps the state without this frame.
        onCanvas = true;
      } else if (LastDisposal == dmBackground || LastDisposal == dmPrevious) {
        buffer = ScratchBuffer.get();
        copyWorkToScratch = true;
      }
      break;
    default:  // undefined disposal values are not drawn
      break;
  }

  TCanvas* target = onCanvas ? Canvas : buffer ? &buffer->GetCanvas() : nullptr;
  const TRect bufferRect = velmora::Rect(0, 0, Rect.Width(), Rect.Height());
  {
    PaletteSelection palette(target, frame);
    if (clearFirst) ClearFrameArea();
    if (copyWorkToScratch)
      ScratchBuffer->GetCanvas().CopyRect(bufferRect, WorkBuffer->GetCanvas(),
                                          bufferRect);
    if (target)
      frame.Draw(*target, onCanvas ? Rect : bufferRect, Option(goTransparent),
                 Option(goTile));
    if (buffer) {
      Canvas->SetCopyMode(SRCCOPY);
      Canvas->CopyRect(Rect, buffer->GetCanvas(), bufferRect);
    }
  }
  if (clearAfter) ClearFrameArea();
}

void TGIFPainter::ClearFrameArea() {
  if (!WorkBuffer) return;
  TGIFSubImage* frame = Image->Images->GetImage(ActiveImage);
  TCanvas& work = WorkBuffer->GetCanvas();
  const int bw = WorkBuffer->GetWidth(), bh = WorkBuffer->GetHeight();
  const TRect scaled = frame->ScaleRect(velmora::Rect(0, 0, bw, bh));
  const int fw = frame->GetWidth(), fh = frame->GetHeight();
  // A picture without size must not hang the tiling.
  const int stepX = std::max(Image->GetWidth(), 1),
            stepY = std::max(Image->GetHeight(), 1);
  auto eachCell = [&](auto&& action) {
    for (int x = frame->GetLeft(); x < bw; x += stepX)
      for (int y = frame->GetTop(); y < bh; y += stepY)
        action(velmora::Rect(x, y, x + fw, y + fh));
  };

  if (Option(goTransparent)) {
    if (!BackgroundSnapshot) return;
    TCanvas& snapshot = BackgroundSnapshot->GetCanvas();
    if (Option(goTile))
      eachCell([&](const TRect& cell) { work.CopyRect(cell, snapshot, cell); });
    else
      work.CopyRect(scaled, snapshot, scaled);
    return;
  }
  work.SetBrushColor(BackgroundColor);
  work.SetBrushStyle(TBrushStyle::bsSolid);
  // A tiled frame was drawn once per cell; only one that covers the whole
  // picture, and so the whole buffer, may be cleared in one fill.
  const bool coversPicture = frame->GetLeft() == 0 && frame->GetTop() == 0 &&
                             fw == Image->GetWidth() && fh == Image->GetHeight();
  if (Option(goTile) && !coversPicture)
    eachCell([&](const TRect& cell) { work.FillRect(cell); });
  else
    work.FillRect(scaled);
}

}  // namespace velmora
