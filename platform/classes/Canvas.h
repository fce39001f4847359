// A drawing surface over a device context of the software GDI.
#pragma once

#include <mutex>

#include "platform/classes/Classes.h"
#include "platform/gdi/Gdi.h"

namespace velmora {

class TGraphic;

enum class TBrushStyle { bsSolid, bsClear };

// The colour the GDI stores for a TColor; symbolic colours become black.
inline COLORREF ColorToRGB(TColor color) {
  return (color & 0xFF000000u) || color == clNone ? 0u : COLORREF(color);
}

// Raises EOutOfResources with the system's text for the last GDI error, or
// "Out of system resources" when there is none.
[[noreturn]] void RaiseLastGdiError();
// Passes a GDI handle through, raising as above when it is null.
template <class T>
T GDICheck(T handle) {
  if (!handle) RaiseLastGdiError();
  return handle;
}

class TCanvas {
 public:
  TCanvas() = default;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  virtual ~TCanvas() = default;

  // The device context; a canvas that owns its surface makes it on demand.
  HDC GetHandle();
  // Lends the canvas a device context owned by someone else (null: none).
  void SetHandle(HDC dc) { handle_ = dc; }
  bool HandleAllocated() const { return handle_ != nullptr; }

  TColor GetBrushColor() const { return brushColor_; }
  void SetBrushColor(TColor color);
  TBrushStyle GetBrushStyle() const { return brushStyle_; }
  void SetBrushStyle(TBrushStyle style);
  // The raster operation of CopyRect and of drawing bitmaps (SRCCOPY).
  DWORD GetCopyMode() const { return copyMode_; }
  void SetCopyMode(DWORD rop) { copyMode_ = rop; }

  // The area drawing reaches: the surface within the clip rectangle.
  TRect GetClipRect();
  void SetClipRect(const TRect& rect);
  void ResetClipRect();

  // Fills with the brush (nothing with a clear brush).
  void FillRect(const TRect& rect);
  // Copies source's rectangle into dest, stretched to fit, with the copy mode.
  void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
  void Draw(int x, int y, TGraphic& graphic);
  void StretchDraw(const TRect& rect, TGraphic& graphic);
  TColor GetPixel(int x, int y);
  void SetPixel(int x, int y, TColor color);

  // Serialises drawing between the GUI thread and a painter thread.
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  bool TryLock() { return lock_.try_lock(); }

  // Told before and after the canvas draws.
  void Changing();
  void Changed();
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 protected:
  virtual void CreateHandle() {}
  HDC handle_ = nullptr;

 private:
  TColor brushColor_ = clWhite;
  TBrushStyle brushStyle_ = TBrushStyle::bsSolid;
  DWORD copyMode_ = SRCCOPY;
  std::recursive_mutex lock_;
};

}  // namespace velmora
