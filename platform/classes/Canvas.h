// A drawing surface over a device context of the software GDI.
#pragma once

#include <mutex>

#include "platform/classes/Classes.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/MemoryAccount.h"

namespace velmora {

class TGraphic;

enum class TBrushStyle { bsSolid, bsClear };

// The colour the GDI stores for a TColor; symbolic colours become black.
inline COLORREF ColorToRGB(TColor color) {
  return (color & 0xFF000000u) || color == clNone ? 0u : COLORREF(color);
}

// Raises EOutOfResources with the system's text for the last GDI error (for a
// bitmap a memory account refused, the account's text), or "Out of system
// resources" when there is none.
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
  void SetHandle(HDC dc) { FHandle = dc; }
  bool HandleAllocated() const { return FHandle != nullptr; }

  TColor GetBrushColor() const { return FBrushColor; }
  void SetBrushColor(TColor color);
  TBrushStyle GetBrushStyle() const { return FBrushStyle; }
  void SetBrushStyle(TBrushStyle style);
  // The raster operation of CopyRect and of drawing bitmaps (SRCCOPY).
  DWORD GetCopyMode() const { return FCopyMode; }
  void SetCopyMode(DWORD rop) { FCopyMode = rop; }

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
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  bool TryLock() { return FLock.try_lock(); }

  // Told before and after the canvas draws.
  void Changing();
  void Changed();
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 protected:
  virtual void CreateHandle() {}
  HDC FHandle = nullptr;

 private:
  TColor FBrushColor = clWhite;
  TBrushStyle FBrushStyle = TBrushStyle::bsSolid;
  DWORD FCopyMode = SRCCOPY;
  std::recursive_mutex FLock;
};

}  // namespace velmora
