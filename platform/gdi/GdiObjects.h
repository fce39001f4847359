// The GDI's own view of its objects, shared by the object table (Gdi.cpp),
// the pixel formats (PixelFormat.cpp) and the raster operations
// (RasterOps.cpp). Nothing outside platform/gdi includes this.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/MemoryAccount.h"

namespace velmora {

struct DCData;

struct PaletteData : GdiPalette {
  PaletteData() { type = OBJ_PAL; }
  WORD version = 0x300;
  std::vector<PALETTEENTRY> entries;
};

struct BrushData : GdiBrush {
  BrushData() { type = OBJ_BRUSH; }
  COLORREF color = 0;
  bool hollow = false;
};

struct BitmapData : GdiBitmap {
  BitmapData() { type = OBJ_BITMAP; }
  ~BitmapData() override {
    if (account) account->Release(charged);
    if (memory && !stock) NotifyBitmapMemory(-std::int64_t(size));
  }
  int width = 0;
  int height = 0;
  int bpp = 1;
  int stride = 0;            // bytes per row
  std::ptrdiff_t pitch = 0;  // from one row to the next below it
  BYTE* scan0 = nullptr;     // top row
  // calloc'd: large bitmaps come as fresh zero pages, not a memset.
  struct Free {
    void operator()(BYTE* p) const { std::free(p); }
  };
  std::unique_ptr<BYTE, Free> memory;
  std::size_t size = 0;
  // The account the pixels are charged to, if any, and what it holds.
  TMemoryAccountRef account;
  std::int64_t charged = 0;
  BYTE* Pixels() const { return memory.get(); }
  // Colours of a 1- or 8-bit bitmap. A monochrome bitmap has none: 0 is
  // black, 1 white, and conversions go through the DC colours.
  std::vector<RGBQUAD> colors;
  bool dib = false;
  DCData* selectedInto = nullptr;
  BYTE* Row(int y) const { return scan0 + std::ptrdiff_t(y) * pitch; }
};

struct DCData : GdiDC {
  explicit DCData(DWORD t) { type = t; }
  BitmapData* bitmap = nullptr;
  BrushData* brush = nullptr;
  PaletteData* palette = nullptr;
  COLORREF text = 0;
  COLORREF bk = 0xFFFFFF;
  bool clipped = false;
  RECT clip;
  int realizeCount = 0;
  PaletteData* realized = nullptr;
};

namespace gdi {

// The reason the last failing call on this thread gave.
extern thread_local DWORD lastError;

// Looks the handle up before touching it, so a stale or made-up handle is
// refused rather than followed.
bool IsLive(const GdiObject* object);

template <class T>
T* Valid(GdiObject* object, DWORD type) {
  if (!IsLive(object) || object->type != type) {
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return static_cast<T*>(object);
}

DCData* ValidDC(GdiObject* dc);

RECT Intersect(const RECT& a, const RECT& b);
// The selected bitmap's bounds within the clip rectangle.
RECT VisibleArea(const DCData& dc);

}  // namespace gdi
}  // namespace velmora
