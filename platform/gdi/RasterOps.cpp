// Raster operations and the blits built on them.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/PixelFormat.h"

namespace velmora {

using namespace gdi;

namespace {

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
        if (!mrow || mxx < 0 || mxx >= mask->width || !MonoPixel(mrow, mxx))
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
        bool on = mrow && mxx >= 0 && mxx < mask->width && MonoPixel(mrow, mxx);
        if (!on) dv[std::size_t(i)] = alt[std::size_t(i)];
      }
    }
    WriteRun(db, dy, x0, n, dv.data());
  }
  return true;
}

}  // namespace

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

}  // namespace velmora
