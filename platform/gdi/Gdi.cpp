// The object table and the object and device-context calls. Pixel formats
// live in PixelFormat.cpp, raster operations and blits in RasterOps.cpp.
#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/gdi/GdiObjects.h"

namespace velmora {

namespace gdi {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace gdi

using namespace gdi;

namespace {

struct State {
  std::mutex lock;
  std::unordered_set<GdiObject*> live;
  std::unordered_set<GdiObject*> stock;
  int failAfter = 0;
  int screenBits = 32;
};

State& S() {
  static State s;
  return s;
}

template <class T>
T* Stock(T* object) {
  object->stock = true;
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  s.stock.insert(object);
  return object;
}

BitmapData* MakeStockBitmap() {
  static BitmapData* b = [] {
    auto* m = new BitmapData;
    m->stock = true;
    m->width = m->height = 1;
    m->bpp = 1;
    m->stride = 2;
    m->memory.reset(static_cast<BYTE*>(std::calloc(2, 1)));
    m->size = 2;
    m->scan0 = m->Pixels();
    m->pitch = 2;
    return Stock(m);
  }();
  return b;
}

PaletteData* StockPalette() {
  // The twenty static colours every palette device reserves.
  static PaletteData* p = [] {
    auto* q = new PaletteData;
    q->stock = true;
    const BYTE c[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},
        {0, 0, 128},     {128, 0, 128},   {0, 128, 128},   {192, 192, 192},
        {192, 220, 192}, {166, 202, 240}, {255, 251, 240}, {160, 160, 164},
        {128, 128, 128}, {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
        {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (auto& e : c) q->entries.push_back({e[0], e[1], e[2], 0});
    return Stock(q);
  }();
  return p;
}

BrushData* StockBrush(int index) {
  auto make = [](COLORREF color, bool hollow) {
    auto* b = new BrushData;
    b->stock = true;
    b->color = color;
    b->hollow = hollow;
    return Stock(b);
  };
  static BrushData* white = make(0xFFFFFF, false);
  static BrushData* black = make(0, false);
  static BrushData* hollow = make(0, true);
  switch (index) {
    case WHITE_BRUSH:
      return white;
    case BLACK_BRUSH:
      return black;
    case NULL_BRUSH:
      return hollow;
    default:
      return nullptr;
  }
}

DCData* ScreenDC() {
  static DCData* dc = [] {
    auto* d = new DCData(OBJ_DC);
    d->stock = true;
    d->brush = StockBrush(WHITE_BRUSH);
    d->palette = StockPalette();
    return Stock(d);
  }();
  return dc;
}

// Creation goes through here so tests can make it fail.
bool MayCreate() {
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.failAfter > 0 && --s.failAfter == 0) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  return true;
}

template <class T>
T* Register(T* object) {
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  s.live.insert(object);
  return object;
}

}  // namespace

namespace gdi {

bool IsLive(const GdiObject* object) {
  if (!object) return false;
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  auto* o = const_cast<GdiObject*>(object);
  return s.live.count(o) != 0 || s.stock.count(o) != 0;
}

DCData* ValidDC(GdiObject* dc) {
  if (dc == ScreenDC()) return ScreenDC();
  if (!IsLive(dc) || (dc->type != OBJ_MEMDC && dc->type != OBJ_DC)) {
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return static_cast<DCData*>(dc);
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

RECT VisibleArea(const DCData& dc) {
  RECT r{0, 0, dc.bitmap->width, dc.bitmap->height};
  if (dc.clipped) r = Intersect(r, dc.clip);
  return r;
}

}  // namespace gdi

namespace {

// Screen-format bitmaps are 32-bit, or 8-bit with the palette's colours.
BitmapData* NewBitmap(int width, int height, int bpp, int rowAlign) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (!MayCreate()) return nullptr;
  auto* b = new (std::nothrow) BitmapData;
  if (!b) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  b->width = width;
  b->height = height;
  b->bpp = bpp;
  std::size_t bitsPerRow = std::size_t(width) * std::size_t(bpp);
  std::size_t alignBits = std::size_t(rowAlign) * 8;
  b->stride = int((bitsPerRow + alignBits - 1) / alignBits * std::size_t(rowAlign));
  b->size = std::size_t(b->stride) * std::size_t(height);
  // Charged before the memory is taken, so that a refused bitmap never
  // costs its pixels.
  if (const TMemoryAccountRef& account = CurrentMemoryAccount()) {
    if (!account->Charge(std::int64_t(b->size))) {
      delete b;
      lastError = ERROR_NOT_ENOUGH_QUOTA;
      return nullptr;
    }
    b->account = account;
    b->charged = std::int64_t(b->size);
  }
  b->memory.reset(static_cast<BYTE*>(std::calloc(b->size, 1)));
  if (!b->memory) {
    delete b;
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  NotifyBitmapMemory(std::int64_t(b->size));
  b->scan0 = b->Pixels();
  b->pitch = b->stride;
  return Register(b);
}

void Unselect(BitmapData* b) {
  if (b && !b->stock) b->selectedInto = nullptr;
}

}  // namespace

DWORD GetLastError() {
  return lastError;
}
void SetLastError(DWORD code) {
  lastError = code;
}

std::string SysErrorMessage(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough memory resources are available to process this command.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case ERROR_BUSY:
      return "The requested resource is in use.";
    case ERROR_NOT_ENOUGH_QUOTA:
      return "Not enough quota is available to process this command.";
    default:
      return std::string();
  }
}

HPALETTE CreatePalette(WORD version, const PALETTEENTRY* entries, WORD count) {
  if (count == 0 || !entries) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (!MayCreate()) return nullptr;
  auto* p = new PaletteData;
  p->version = version;
  p->entries.assign(entries, entries + count);
  return Register(p);
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  PaletteData* p = Valid<PaletteData>(palette, OBJ_PAL);
  if (!p) return 0;
  UINT size = UINT(p->entries.size());
  if (!entries) return size;
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  std::copy_n(p->entries.begin() + start, n, entries);
  return n;
}

UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count,
                       const PALETTEENTRY* entries) {
  PaletteData* p = Valid<PaletteData>(palette, OBJ_PAL);
  if (!p || !entries) return 0;
  UINT size = UINT(p->entries.size());
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  std::copy_n(entries, n, p->entries.begin() + start);
  return n;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                     const void* bits) {
  UINT depth = planes * bitsPerPixel;
  if (depth != 1 && depth != 8 && depth != 24 && depth != 32) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  BitmapData* b = NewBitmap(width, height, int(depth), 2);
  if (!b) return nullptr;
  if (depth == 8) {
    // A device bitmap of 8 bits shows the default colours.
    for (const auto& e : StockPalette()->entries)
      b->colors.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  }
  if (bits) std::memcpy(b->Pixels(), bits, b->size);
  return b;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  DCData* d = dc ? ValidDC(dc) : ScreenDC();
  if (!d) return nullptr;
  if (d->bitmap) {
    const BitmapData& like = *d->bitmap;
    BitmapData* b = NewBitmap(width, height, like.bpp, like.dib ? 4 : 2);
    if (b) b->colors = like.colors;
    return b;
  }
  int bpp = S().screenBits;
  BitmapData* b = NewBitmap(width, height, bpp, 4);
  if (b && bpp == 8) {
    const PaletteData* p = d->palette ? d->palette : StockPalette();
    for (const auto& e : p->entries)
      b->colors.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    b->colors.resize(256);
  }
  return b;
}

HBITMAP CreateDIBSection(HDC /*dc*/, const BITMAPINFO* info, UINT usage, void** bits,
                         void* /*section*/, DWORD /*offset*/) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  int bpp = h.biBitCount;
  if ((bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) || h.biCompression != BI_RGB ||
      h.biHeight == INT32_MIN) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  BitmapData* b = NewBitmap(h.biWidth, height, bpp, 4);
  if (!b) return nullptr;
  b->dib = true;
  if (h.biHeight > 0) {  // bottom-up: row 0 is the last in memory
    b->scan0 = b->Pixels() + std::ptrdiff_t(height - 1) * b->stride;
    b->pitch = -b->stride;
  }
  if (bpp <= 8) {
    std::size_t n =
        h.biClrUsed ? std::min<std::size_t>(h.biClrUsed, 256) : (std::size_t(1) << bpp);
    b->colors.assign(info->bmiColors, info->bmiColors + n);
    b->colors.resize(std::size_t(1) << bpp);
  }
  if (bits) *bits = b->Pixels();
  return b;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  if (!MayCreate()) return nullptr;
  auto* b = new BrushData;
  b->color = color & 0xFFFFFF;
  return Register(b);
}

HGDIOBJ GetStockObject(int index) {
  if (index == DEFAULT_PALETTE) return StockPalette();
  return StockBrush(index);
}

bool DeleteObject(HGDIOBJ object) {
  if (!IsLive(object)) {
    lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  if (object->stock) return true;
  if (object->type == OBJ_MEMDC || object->type == OBJ_DC) {
    lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  if (object->type == OBJ_BITMAP && static_cast<BitmapData*>(object)->selectedInto) {
    lastError = ERROR_BUSY;
    return false;
  }
  {
    State& s = S();
    std::lock_guard<std::mutex> hold(s.lock);
    s.live.erase(object);
  }
  delete object;
  return true;
}

DWORD GetObjectType(HGDIOBJ object) {
  if (object == ScreenDC()) return OBJ_DC;
  if (!IsLive(object)) {
    lastError = ERROR_INVALID_HANDLE;
    return 0;
  }
  return object->type;
}

int GetObject(HGDIOBJ object, int size, void* out) {
  if (!IsLive(object) || !out) return 0;
  if (object->type == OBJ_PAL) {
    if (size < int(sizeof(WORD))) return 0;
    WORD n = WORD(static_cast<PaletteData*>(object)->entries.size());
    std::memcpy(out, &n, sizeof n);
    return int(sizeof n);
  }
  if (object->type == OBJ_BITMAP) {
    if (size < int(sizeof(BITMAP))) return 0;
    const auto* b = static_cast<BitmapData*>(object);
    BITMAP bm;
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmWidthBytes = b->stride;
    bm.bmBitsPixel = WORD(b->bpp);
    bm.bmBits = b->dib ? b->Pixels() : nullptr;
    std::memcpy(out, &bm, sizeof bm);
    return int(sizeof bm);
  }
  return 0;
}

UINT GetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, RGBQUAD* colors) {
  BitmapData* b = Valid<BitmapData>(bitmap, OBJ_BITMAP);
  if (!b || !colors || start >= b->colors.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(b->colors.size()) - start);
  std::copy_n(b->colors.begin() + start, n, colors);
  return n;
}

UINT SetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, const RGBQUAD* colors) {
  BitmapData* b = Valid<BitmapData>(bitmap, OBJ_BITMAP);
  if (!b || !colors || start >= b->colors.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(b->colors.size()) - start);
  std::copy_n(colors, n, b->colors.begin() + start);
  return n;
}

BYTE* GetBitmapRow(HBITMAP bitmap, int row) {
  BitmapData* b = Valid<BitmapData>(bitmap, OBJ_BITMAP);
  if (!b || row < 0 || row >= b->height) return nullptr;
  return b->Row(row);
}

HDC GetDC(void* /*window*/) {
  return ScreenDC();
}
int ReleaseDC(void* /*window*/, HDC dc) {
  return dc == ScreenDC() ? 1 : 0;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!ValidDC(dc)) return 0;
  int bits = S().screenBits;
  switch (index) {
    case BITSPIXEL:
      return bits;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return bits <= 8 ? 20 : -1;
    case SIZEPALETTE:
      return bits <= 8 ? 256 : 0;
    default:
      return 0;
  }
}

void SetScreenBitsPerPixel(int bits) {
  S().screenBits = bits;
}
int GetScreenBitsPerPixel() {
  return S().screenBits;
}

HDC CreateCompatibleDC(HDC dc) {
  if (dc && !ValidDC(dc)) return nullptr;
  if (!MayCreate()) return nullptr;
  auto* d = new DCData(OBJ_MEMDC);
  d->bitmap = MakeStockBitmap();
  d->brush = StockBrush(WHITE_BRUSH);
  d->palette = StockPalette();
  return Register(d);
}

bool DeleteDC(HDC dc) {
  if (!dc || dc == ScreenDC() || !IsLive(dc) || dc->type != OBJ_MEMDC) {
    lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  Unselect(static_cast<DCData*>(dc)->bitmap);
  {
    State& s = S();
    std::lock_guard<std::mutex> hold(s.lock);
    s.live.erase(dc);
  }
  delete dc;
  return true;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  DCData* d = ValidDC(dc);
  if (!d || !IsLive(object)) {
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (object->type == OBJ_BITMAP) {
    auto* b = static_cast<BitmapData*>(object);
    if (d == ScreenDC()) {
      lastError = ERROR_INVALID_PARAMETER;
      return nullptr;
    }
    if (b == d->bitmap) return b;
    if (!b->stock && b->selectedInto) {
      lastError = ERROR_BUSY;
      return nullptr;
    }
    BitmapData* old = d->bitmap;
    Unselect(old);
    d->bitmap = b;
    if (!b->stock) b->selectedInto = d;
    return old;
  }
  if (object->type == OBJ_BRUSH) {
    BrushData* old = d->brush;
    d->brush = static_cast<BrushData*>(object);
    return old;
  }
  lastError = ERROR_INVALID_PARAMETER;
  return nullptr;
}

HGDIOBJ GetCurrentObject(HDC dc, DWORD type) {
  DCData* d = ValidDC(dc);
  if (!d) return nullptr;
  switch (type) {
    case OBJ_BITMAP:
      return d->bitmap;
    case OBJ_BRUSH:
      return d->brush;
    case OBJ_PAL:
      return d->palette;
    default:
      return nullptr;
  }
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool /*forceBackground*/) {
  DCData* d = ValidDC(dc);
  PaletteData* p = Valid<PaletteData>(palette, OBJ_PAL);
  if (!d || !p) return nullptr;
  PaletteData* old = d->palette;
  d->palette = p;
  return old;
}

UINT RealizePalette(HDC dc) {
  DCData* d = ValidDC(dc);
  if (!d) return GDI_ERROR;
  ++d->realizeCount;
  d->realized = d->palette;
  return d->palette ? UINT(d->palette->entries.size()) : 0;
}

int GetRealizeCount(HDC dc) {
  DCData* d = ValidDC(dc);
  return d ? d->realizeCount : 0;
}

HPALETTE GetRealizedPalette(HDC dc) {
  DCData* d = ValidDC(dc);
  return d ? d->realized : nullptr;
}

namespace {

// A colour of the DC: sets it and returns the one before, or reads it with
// no colour given; CLR_INVALID for a handle that is not a DC.
COLORREF DCColor(HDC dc, COLORREF DCData::*field, std::optional<COLORREF> color = {}) {
  DCData* d = ValidDC(dc);
  if (!d) return CLR_INVALID;
  if (!color) return d->*field;
  return std::exchange(d->*field, *color & 0xFFFFFF);
}

}  // namespace

COLORREF SetTextColor(HDC dc, COLORREF color) {
  return DCColor(dc, &DCData::text, color);
}
COLORREF GetTextColor(HDC dc) {
  return DCColor(dc, &DCData::text);
}
COLORREF SetBkColor(HDC dc, COLORREF color) {
  return DCColor(dc, &DCData::bk, color);
}
COLORREF GetBkColor(HDC dc) {
  return DCColor(dc, &DCData::bk);
}

bool SetClipRect(HDC dc, const RECT* rect) {
  DCData* d = ValidDC(dc);
  if (!d || d == ScreenDC()) return false;
  d->clipped = rect != nullptr;
  if (rect) d->clip = *rect;
  return true;
}

int GetClipBox(HDC dc, RECT* rect) {
  DCData* d = ValidDC(dc);
  if (!d || !rect) return 0;
  if (!d->bitmap) {
    *rect = RECT{0, 0, 0, 0};
    return 1;
  }
  *rect = VisibleArea(*d);
  return (rect->right > rect->left && rect->bottom > rect->top) ? 2 : 1;
}

int GdiLiveObjectCount() {
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  return int(s.live.size());
}

void GdiFailCreationAfter(int n) {
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  s.failAfter = n;
}

}  // namespace velmora
