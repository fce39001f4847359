#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

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

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

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

// Looks the handle up before touching it, so a stale or made-up handle is
// refused rather than followed.
bool IsLive(const GdiObject* object) {
  if (!object) return false;
  State& s = S();
  std::lock_guard<std::mutex> hold(s.lock);
  auto* o = const_cast<GdiObject*>(object);
  return s.live.count(o) != 0 || s.stock.count(o) != 0;
}

template <class T>
T* Valid(GdiObject* object, DWORD type) {
  if (!IsLive(object) || object->type != type) {
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return static_cast<T*>(object);
}

DCData* ValidDC(GdiObject* dc) {
  if (dc == ScreenDC()) return ScreenDC();
  if (!IsLive(dc) || (dc->type != OBJ_MEMDC && dc->type != OBJ_DC)) {
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return static_cast<DCData*>(dc);
}

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
  b->memory.reset(static_cast<BYTE*>(std::calloc(b->size, 1)));
  if (!b->memory) {
    delete b;
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  b->scan0 = b->Pixels();
  b->pitch = b->stride;
  return Register(b);
}

// --- pixel values ----------------------------------------------------------
//
// Blits work on "native" values of the destination's format, one uint32 per
// pixel: 0/1 for monochrome, an index for 8 bits, 0xRRGGBB otherwise, so
// raster operations act on the bits the destination stores.

std::uint32_t NativeMask(int bpp) {
  return bpp == 1 ? 1u : bpp == 8 ? 0xFFu : 0xFFFFFFu;
}

inline std::uint32_t Swap(std::uint32_t rgb) {  // 0xRRGGBB <-> COLORREF
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// Reads pixels xs[0..n) of row y as native values of the source's format.
void ReadRow(const BitmapData& b, int y, const int* xs, int n, std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) out[i] = (row[xs[i] >> 3] >> (7 - (xs[i] & 7))) & 1u;
      break;
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[xs[i]];
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        const BYTE* p = row + std::ptrdiff_t(xs[i]) * 3;
        out[i] = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                 (std::uint32_t(p[2]) << 16);
      }
      break;
    default:
      for (int i = 0; i < n; ++i) {
        std::uint32_t v;
        std::memcpy(&v, row + std::ptrdiff_t(xs[i]) * 4, 4);
        out[i] = v & 0xFFFFFF;
      }
      break;
  }
}

// Reads the contiguous run x..x+n of row y.
void ReadRun(const BitmapData& b, int y, int x, int n, std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int c = x + i;
        out[i] = (row[c >> 3] >> (7 - (c & 7))) & 1u;
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[x + i];
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        const BYTE* p = row + std::ptrdiff_t(x + i) * 3;
        out[i] = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                 (std::uint32_t(p[2]) << 16);
      }
      break;
    default: {
      const BYTE* p = row + std::ptrdiff_t(x) * 4;
      std::memcpy(out, p, std::size_t(n) * 4);
      for (int i = 0; i < n; ++i) out[i] &= 0xFFFFFF;
      break;
    }
  }
}

void WriteRun(BitmapData& b, int y, int x, int n, const std::uint32_t* in) {
  BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int c = x + i;
        BYTE bit = BYTE(0x80 >> (c & 7));
        if (in[i] & 1)
          row[c >> 3] |= bit;
        else
          row[c >> 3] &= BYTE(~bit);
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) row[x + i] = BYTE(in[i]);
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        BYTE* p = row + std::ptrdiff_t(x + i) * 3;
        p[0] = BYTE(in[i]);
        p[1] = BYTE(in[i] >> 8);
        p[2] = BYTE(in[i] >> 16);
      }
      break;
    default:
      std::memcpy(row + std::ptrdiff_t(x) * 4, in, std::size_t(n) * 4);
      break;
  }
}

// Colour table of a 1- or 8-bit bitmap as 0xRRGGBB values (256 entries).
void ColorTable(const BitmapData& b, std::uint32_t* table) {
  for (int i = 0; i < 256; ++i) table[i] = 0;
  if (b.bpp == 1 && b.colors.empty()) {
    table[1] = 0xFFFFFF;
    return;
  }
  for (std::size_t i = 0; i < b.colors.size() && i < 256; ++i) {
    const RGBQUAD& q = b.colors[i];
    table[i] =
        (std::uint32_t(q.rgbRed) << 16) | (std::uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
  }
}

// Nearest entry of an 8-bit bitmap's colour table, with a small cache.
class NearestIndex {
 public:
  explicit NearestIndex(const BitmapData& b) {
    ColorTable(b, table_);
    count_ = int(std::min<std::size_t>(b.colors.size(), 256));
    if (count_ == 0) count_ = 1;
    std::fill(std::begin(keys_), std::end(keys_), 0xFFFFFFFFu);
  }
  std::uint32_t operator()(std::uint32_t rgb) {
    std::uint32_t slot = (rgb ^ (rgb >> 11) ^ (rgb >> 19)) & 4095u;
    if (keys_[slot] == rgb) return values_[slot];
    int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), bl = int(rgb & 0xFF);
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < count_; ++i) {
      int dr = r - int(table_[i] >> 16), dg = g - int((table_[i] >> 8) & 0xFF),
          db = bl - int(table_[i] & 0xFF);
      long d = long(dr) * dr + long(dg) * dg + long(db) * db;
      if (bestD < 0 || d < bestD) {
        bestD = d;
        best = i;
        if (d == 0) break;
      }
    }
    keys_[slot] = rgb;
    values_[slot] = std::uint32_t(best);
    return std::uint32_t(best);
  }

 private:
  std::uint32_t table_[256];
  int count_ = 1;
  std::uint32_t keys_[4096];
  std::uint32_t values_[4096] = {};
};

// Native value of a colour in a bitmap's format (brush, SetPixel, DC colours).
std::uint32_t NativeOf(const BitmapData& b, COLORREF color) {
  std::uint32_t rgb = Swap(color & 0xFFFFFF);
  if (b.bpp == 1) {
    if (b.colors.empty()) return rgb == 0xFFFFFF ? 1u : 0u;
  }
  if (b.bpp == 1 || b.bpp == 8) {
    NearestIndex nearest(b);
    return nearest(rgb);
  }
  return rgb;
}

std::uint32_t ColorOfNative(const BitmapData& b, std::uint32_t v) {
  if (b.bpp == 1 || b.bpp == 8) {
    std::uint32_t table[256];
    ColorTable(b, table);
    return table[v & 0xFF];
  }
  return v;
}

// How source values become destination values.
class Converter {
 public:
  Converter(const BitmapData& src, const DCData& srcDC, const BitmapData& dst,
            const DCData& dstDC)
      : dst_(dst) {
    bool srcMono = src.bpp == 1, dstMono = dst.bpp == 1;
    if (srcMono && dstMono) {
      kind_ = kIdentity;
    } else if (srcMono) {
      // Monochrome onto colour: 0 bits take the destination's text colour,
      // 1 bits its background colour.
      kind_ = kTable;
      std::fill(std::begin(table_), std::end(table_), 0u);
      table_[0] = NativeOf(dst, dstDC.text);
      table_[1] = NativeOf(dst, dstDC.bk);
    } else if (dstMono) {
      // Colour onto monochrome: the source's background colour becomes 1
      // (white), everything else 0.
      std::uint32_t bkRgb = Swap(srcDC.bk & 0xFFFFFF);
      if (src.bpp == 8) {
        kind_ = kTable;
        std::uint32_t colors[256];
        ColorTable(src, colors);
        for (int i = 0; i < 256; ++i) table_[i] = colors[i] == bkRgb ? 1u : 0u;
      } else {
        kind_ = kToMono;
        key_ = bkRgb;
      }
    } else if (src.bpp == 8) {
      kind_ = kTable;
      std::uint32_t colors[256];
      ColorTable(src, colors);
      if (dst.bpp == 8) {
        if (src.colors.size() == dst.colors.size() &&
            std::memcmp(src.colors.data(), dst.colors.data(),
                        src.colors.size() * sizeof(RGBQUAD)) == 0) {
          for (std::uint32_t i = 0; i < 256; ++i) table_[i] = i;
        } else {
          NearestIndex nearest(dst);
          for (int i = 0; i < 256; ++i) table_[i] = nearest(colors[i]);
        }
      } else {
        std::copy(std::begin(colors), std::end(colors), table_);
      }
    } else if (dst.bpp == 8) {
      kind_ = kToIndex;
    } else {
      kind_ = kIdentity;
    }
  }

  void operator()(std::uint32_t* v, int n) {
    switch (kind_) {
      case kIdentity:
        break;
      case kTable:
        for (int i = 0; i < n; ++i) v[i] = table_[v[i] & 0xFF];
        break;
      case kToMono:
        for (int i = 0; i < n; ++i) v[i] = v[i] == key_ ? 1u : 0u;
        break;
      case kToIndex:
        if (!nearest_) nearest_ = std::make_unique<NearestIndex>(dst_);
        for (int i = 0; i < n; ++i) v[i] = (*nearest_)(v[i]);
        break;
    }
  }

 private:
  enum Kind { kIdentity, kTable, kToMono, kToIndex };
  const BitmapData& dst_;
  Kind kind_ = kIdentity;
  std::uint32_t table_[256] = {};
  std::uint32_t key_ = 0;
  std::unique_ptr<NearestIndex> nearest_;
};

// Applies the ternary raster operation `code` (its index byte) to a row:
// d[i] = f(p, s[i], d[i]), masked to the destination's bits.
void Combine(BYTE code, std::uint32_t p, const std::uint32_t* s, std::uint32_t* d, int n,
             std::uint32_t mask) {
  switch (code) {
    case 0xCC:
      std::memcpy(d, s, std::size_t(n) * 4);
      return;
    case 0xAA:
      return;
    case 0x88:
      for (int i = 0; i < n; ++i) d[i] &= s[i];
      return;
    case 0xEE:
      for (int i = 0; i < n; ++i) d[i] |= s[i];
      return;
    case 0x66:
      for (int i = 0; i < n; ++i) d[i] ^= s[i];
      return;
    case 0x33:
      for (int i = 0; i < n; ++i) d[i] = ~s[i] & mask;
      return;
    case 0x55:
      for (int i = 0; i < n; ++i) d[i] = ~d[i] & mask;
      return;
    case 0xF0:
      for (int i = 0; i < n; ++i) d[i] = p;
      return;
    case 0x00:
      for (int i = 0; i < n; ++i) d[i] = 0;
      return;
    case 0xFF:
      for (int i = 0; i < n; ++i) d[i] = mask;
      return;
    default:
      break;
  }
  // Any other code: evaluate its truth table bit-parallel. Bit k of the
  // code is the result for P = k>>2 & 1, S = k>>1 & 1, D = k & 1.
  for (int i = 0; i < n; ++i) {
    std::uint32_t sv = s ? s[i] : 0, dv = d[i], r = 0;
    for (int k = 0; k < 8; ++k) {
      if (!(code & (1 << k))) continue;
      r |= ((k & 4) ? p : ~p) & ((k & 2) ? sv : ~sv) & ((k & 1) ? dv : ~dv);
    }
    d[i] = r & mask;
  }
}

bool UsesSource(BYTE code) {
  return ((code >> 2) & 0x33) != (code & 0x33);
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

std::uint32_t PatternOf(const DCData& dc) {
  if (!dc.brush || dc.brush->hollow) return 0;
  return NativeOf(*dc.bitmap, dc.brush->color);
}

// The one blit engine behind BitBlt, StretchBlt and MaskBlt (mask may be
// null). Destination pixels whose source or mask pixel falls outside its
// bitmap are left alone.
bool Blit(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
          BitmapData* mask, int mx, int my, BYTE fore, BYTE back) {
  DCData* d = ValidDC(dest);
  if (!d) return false;
  if (w < 0 || h < 0 || sw < 0 || sh < 0) {
    lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  if (!d->bitmap) return true;  // the screen itself shows nothing here
  bool needSrc = UsesSource(fore) || UsesSource(back);
  DCData* s = nullptr;
  if (needSrc) {
    s = ValidDC(src);
    if (!s || !s->bitmap) {
      lastError = ERROR_INVALID_HANDLE;
      return false;
    }
  }
  if (w == 0 || h == 0 || (needSrc && (sw == 0 || sh == 0))) return true;
  BitmapData& db = *d->bitmap;
  RECT vis = Intersect(VisibleArea(*d), RECT{x, y, x + w, y + h});
  if (vis.left >= vis.right || vis.top >= vis.bottom) return true;

  // Column map from destination to source; drop columns outside the source.
  int x0 = vis.left, x1 = vis.right;
  std::vector<int> xs;
  if (needSrc) {
    const BitmapData& sb = *s->bitmap;
    auto mapX = [&](int dx) { return sx + int(std::int64_t(dx - x) * sw / w); };
    while (x0 < x1 && (mapX(x0) < 0 || mapX(x0) >= sb.width)) ++x0;
    while (x1 > x0 && (mapX(x1 - 1) < 0 || mapX(x1 - 1) >= sb.width)) --x1;
    if (x0 >= x1) return true;
    xs.resize(std::size_t(x1 - x0));
    for (int dx = x0; dx < x1; ++dx) xs[std::size_t(dx - x0)] = mapX(dx);
  }
  int n = x1 - x0;
  bool contiguous = needSrc && sw == w;
  std::size_t count = static_cast<std::size_t>(n);
  std::vector<std::uint32_t> sv(needSrc ? count : 0), dv(count), alt(mask ? count : 0);
  std::unique_ptr<Converter> convert;
  if (needSrc) convert = std::make_unique<Converter>(*s->bitmap, *s, db, *d);
  std::uint32_t pat = PatternOf(*d), bits = NativeMask(db.bpp);
  const bool transparentCopy =
      mask && needSrc && fore == 0xAA && back == 0xCC && db.bpp == 32;

  // A copy within one bitmap onto rows further down runs bottom-up, so no
  // source row is overwritten before it is read.
  const bool upward = needSrc && s->bitmap == d->bitmap && y > sy;
  for (int row = 0; row < vis.bottom - vis.top; ++row) {
    const int dy = upward ? vis.bottom - 1 - row : vis.top + row;
    if (needSrc) {
      int syy = sy + int(std::int64_t(dy - y) * sh / h);
      if (syy < 0 || syy >= s->bitmap->height) continue;
      if (contiguous)
        ReadRun(*s->bitmap, syy, xs[0], n, sv.data());
      else
        ReadRow(*s->bitmap, syy, xs.data(), n, sv.data());
      (*convert)(sv.data(), n);
    }
    if (transparentCopy) {
      // Mask 1 keeps the destination, 0 takes the source: only the source
      // pixels that show are written, straight into the row.
      // Outside the mask counts as 0, as in the general case below.
      const int myy = my + (dy - y);
      const BYTE* mrow = (myy >= 0 && myy < mask->height) ? mask->Row(myy) : nullptr;
      auto* out = reinterpret_cast<std::uint32_t*>(db.Row(dy)) + x0;
      for (int i = 0; i < n; ++i) {
        const int mxx = mx + (x0 + i - x);
        if (!mrow || mxx < 0 || mxx >= mask->width ||
            !((mrow[mxx >> 3] >> (7 - (mxx & 7))) & 1))
          out[i] = sv[std::size_t(i)];
      }
      continue;
    }
    ReadRun(db, dy, x0, n, dv.data());
    const std::uint32_t* sp = needSrc ? sv.data() : nullptr;
    if (!mask) {
      Combine(fore, pat, sp, dv.data(), n, bits);
    } else {
      int myy = my + (dy - y);
      std::copy(dv.begin(), dv.end(), alt.begin());
      Combine(fore, pat, sp, dv.data(), n, bits);   // where the mask is 1
      Combine(back, pat, sp, alt.data(), n, bits);  // where it is 0
      const BYTE* mrow = (myy >= 0 && myy < mask->height) ? mask->Row(myy) : nullptr;
      for (int i = 0; i < n; ++i) {
        int mxx = mx + (x0 + i - x);
        bool on = mrow && mxx >= 0 && mxx < mask->width &&
                  ((mrow[mxx >> 3] >> (7 - (mxx & 7))) & 1);
        if (!on) dv[std::size_t(i)] = alt[std::size_t(i)];
      }
    }
    WriteRun(db, dy, x0, n, dv.data());
  }
  return true;
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

COLORREF SetTextColor(HDC dc, COLORREF color) {
  DCData* d = ValidDC(dc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->text, color & 0xFFFFFF);
}
COLORREF GetTextColor(HDC dc) {
  DCData* d = ValidDC(dc);
  return d ? d->text : CLR_INVALID;
}
COLORREF SetBkColor(HDC dc, COLORREF color) {
  DCData* d = ValidDC(dc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->bk, color & 0xFFFFFF);
}
COLORREF GetBkColor(HDC dc) {
  DCData* d = ValidDC(dc);
  return d ? d->bk : CLR_INVALID;
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

bool GdiFlush() {
  return true;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  DCData* d = ValidDC(dc);
  if (!d || !d->bitmap) return CLR_INVALID;
  RECT v = VisibleArea(*d);
  if (x < v.left || y < v.top || x >= v.right || y >= v.bottom) return CLR_INVALID;
  std::uint32_t value;
  ReadRun(*d->bitmap, y, x, 1, &value);
  return Swap(ColorOfNative(*d->bitmap, value));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  DCData* d = ValidDC(dc);
  if (!d || !d->bitmap) return CLR_INVALID;
  RECT v = VisibleArea(*d);
  if (x < v.left || y < v.top || x >= v.right || y >= v.bottom) return CLR_INVALID;
  std::uint32_t value = NativeOf(*d->bitmap, color);
  WriteRun(*d->bitmap, y, x, 1, &value);
  return Swap(ColorOfNative(*d->bitmap, value));
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  DCData* d = ValidDC(dc);
  BrushData* b = Valid<BrushData>(brush, OBJ_BRUSH);
  if (!d || !rect || !b) return 0;
  if (b->hollow) return 1;
  BrushData* old = d->brush;
  d->brush = b;
  bool ok = PatBlt(dc, rect->left, rect->top, rect->right - rect->left,
                   rect->bottom - rect->top, PATCOPY);
  d->brush = old;
  return ok ? 1 : 0;
}

bool PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  BYTE code = BYTE(rop >> 16);
  if (UsesSource(code)) {
    lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  if (width <= 0 || height <= 0) return ValidDC(dc) != nullptr;
  return Blit(dc, x, y, width, height, nullptr, 0, 0, 0, 0, nullptr, 0, 0, code, code);
}

bool BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop) {
  BYTE code = BYTE(rop >> 16);
  return Blit(dest, x, y, width, height, src, srcX, srcY, width, height, nullptr, 0, 0,
              code, code);
}

bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX,
                int srcY, int srcWidth, int srcHeight, DWORD rop) {
  BYTE code = BYTE(rop >> 16);
  return Blit(dest, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, nullptr, 0,
              0, code, code);
}

bool MaskBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
             HBITMAP mask, int maskX, int maskY, DWORD rop) {
  BYTE fore = BYTE(rop >> 16), back = BYTE(rop >> 24);
  if (!mask) {
    return Blit(dest, x, y, width, height, src, srcX, srcY, width, height, nullptr, 0, 0,
                fore, fore);
  }
  BitmapData* m = Valid<BitmapData>(mask, OBJ_BITMAP);
  if (!m || m->bpp != 1) {
    lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  return Blit(dest, x, y, width, height, src, srcX, srcY, width, height, m, maskX, maskY,
              fore, back);
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
