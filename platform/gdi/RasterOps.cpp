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

// A blit once its arguments are checked: the destination's visible part,
// the source columns of its columns, and one row after the other.
class Blitter {
 public:
  Blitter(DCData& d, DCData* s, int x, int y, int w, int h, int sx, int sy, int sw,
          int sh, BitmapData* mask, int mx, int my, BYTE fore, BYTE back)
      : d_(d),
        db_(*d.bitmap),
        s_(s),
        x_(x),
        y_(y),
        w_(w),
        h_(h),
        sx_(sx),
        sy_(sy),
        sw_(sw),
        sh_(sh),
        mask_(mask),
        mx_(mx),
        my_(my),
        fore_(fore),
        back_(back) {}

  // False when nothing of the destination is drawn.
  bool MapColumns(const RECT& vis);
  void Run(const RECT& vis);

 private:
  // Reads and converts the source row that destination row dy shows; false
  // when it falls outside the source bitmap.
  bool ReadSource(int dy);
  // Mask 1 keeps the destination, 0 takes the source: only the source
  // pixels that show are written, straight into the row. Outside the mask
  // counts as 0, as in CombineRow.
  void CopyWhereMaskIsClear(int dy);
  // The raster operations on a row: fore where the mask is 1 (everywhere
  // without a mask), back where it is 0.
  void CombineRow(int dy);
  const BYTE* MaskRow(int dy) const {
    const int myy = my_ + (dy - y_);
    return (myy >= 0 && myy < mask_->height) ? mask_->Row(myy) : nullptr;
  }
  bool MaskOn(const BYTE* mrow, int i) const {
    const int mxx = mx_ + (x0_ + i - x_);
    return mrow && mxx >= 0 && mxx < mask_->width && MonoPixel(mrow, mxx);
  }

  DCData& d_;
  BitmapData& db_;
  DCData* s_;  // null when the operations use no source
  const int x_, y_, w_, h_, sx_, sy_, sw_, sh_;
  BitmapData* mask_;
  const int mx_, my_;
  const BYTE fore_, back_;
  // Columns x0_..x0_ + n_ of the destination, and the source column of each.
  int x0_ = 0, n_ = 0;
  std::vector<int> xs_;
  std::vector<std::uint32_t> sv_, dv_, alt_;  // row buffers: source, destination, back
  std::unique_ptr<Converter> convert_;
  std::uint32_t pat_ = 0, bits_ = 0;  // the brush's pixel, the destination's bits
};

// Column map from destination to source; columns outside the source go.
bool Blitter::MapColumns(const RECT& vis) {
  int x0 = vis.left, x1 = vis.right;
  if (s_) {
    const BitmapData& sb = *s_->bitmap;
    auto mapX = [&](int dx) { return sx_ + int(std::int64_t(dx - x_) * sw_ / w_); };
    while (x0 < x1 && (mapX(x0) < 0 || mapX(x0) >= sb.width)) ++x0;
    while (x1 > x0 && (mapX(x1 - 1) < 0 || mapX(x1 - 1) >= sb.width)) --x1;
    if (x0 >= x1) return false;
    xs_.resize(std::size_t(x1 - x0));
    for (int dx = x0; dx < x1; ++dx) xs_[std::size_t(dx - x0)] = mapX(dx);
  }
  x0_ = x0;
  n_ = x1 - x0;
  return true;
}

void Blitter::Run(const RECT& vis) {
  const std::size_t count = static_cast<std::size_t>(n_);
  sv_.resize(s_ ? count : 0);
  dv_.resize(count);
  alt_.resize(mask_ ? count : 0);
  if (s_) convert_ = std::make_unique<Converter>(*s_->bitmap, *s_, db_, d_);
  pat_ = PatternOf(d_);
  bits_ = NativeMask(db_.bpp);
  const bool transparentCopy =
      mask_ && s_ && fore_ == 0xAA && back_ == 0xCC && db_.bpp == 32;
  // A copy within one bitmap onto rows further down runs bottom-up, so no
  // source row is overwritten before it is read.
  const bool upward = s_ && s_->bitmap == d_.bitmap && y_ > sy_;
  for (int row = 0; row < vis.bottom - vis.top; ++row) {
    const int dy = upward ? vis.bottom - 1 - row : vis.top + row;
    if (s_ && !ReadSource(dy)) continue;
    if (transparentCopy)
      CopyWhereMaskIsClear(dy);
    else
      CombineRow(dy);
  }
}

bool Blitter::ReadSource(int dy) {
  const int syy = sy_ + int(std::int64_t(dy - y_) * sh_ / h_);
  if (syy < 0 || syy >= s_->bitmap->height) return false;
  if (sw_ == w_)
    ReadRun(*s_->bitmap, syy, xs_[0], n_, sv_.data());
  else
    ReadRow(*s_->bitmap, syy, xs_.data(), n_, sv_.data());
  (*convert_)(sv_.data(), n_);
  return true;
}

void Blitter::CopyWhereMaskIsClear(int dy) {
  const BYTE* mrow = MaskRow(dy);
  auto* out = reinterpret_cast<std::uint32_t*>(db_.Row(dy)) + x0_;
  for (int i = 0; i < n_; ++i)
    if (!MaskOn(mrow, i)) out[i] = sv_[std::size_t(i)];
}

void Blitter::CombineRow(int dy) {
  ReadRun(db_, dy, x0_, n_, dv_.data());
  const std::uint32_t* sp = s_ ? sv_.data() : nullptr;
  if (!mask_) {
    Combine(fore_, pat_, sp, dv_.data(), n_, bits_);
  } else {
    std::copy(dv_.begin(), dv_.end(), alt_.begin());
    Combine(fore_, pat_, sp, dv_.data(), n_, bits_);   // where the mask is 1
    Combine(back_, pat_, sp, alt_.data(), n_, bits_);  // where it is 0
    const BYTE* mrow = MaskRow(dy);
    for (int i = 0; i < n_; ++i)
      if (!MaskOn(mrow, i)) dv_[std::size_t(i)] = alt_[std::size_t(i)];
  }
  WriteRun(db_, dy, x0_, n_, dv_.data());
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
  const bool needSrc = UsesSource(fore) || UsesSource(back);
  DCData* s = nullptr;
  if (needSrc) {
    s = ValidDC(src);
    if (!s || !s->bitmap) {
      lastError = ERROR_INVALID_HANDLE;
      return false;
    }
  }
  if (w == 0 || h == 0 || (needSrc && (sw == 0 || sh == 0))) return true;
  const RECT vis = Intersect(VisibleArea(*d), RECT{x, y, x + w, y + h});
  if (vis.left >= vis.right || vis.top >= vis.bottom) return true;
  Blitter blitter(*d, s, x, y, w, h, sx, sy, sw, sh, mask, mx, my, fore, back);
  if (blitter.MapColumns(vis)) blitter.Run(vis);
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
