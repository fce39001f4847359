// Drawing GIF pictures onto canvases: still pictures, scaled, tiled and
// transparent frames, and the draw settings.
#include <algorithm>
#include <utility>

#include "gif/render/GIFPainter.h"
#include "gif/render/GIFRender.h"
#include "platform/classes/ScopeGuard.h"

namespace velmora {

bool MaskBltAvailable = true;

namespace {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t p = std::int64_t(a) * b;
  std::int64_t half = (c < 0 ? -c : c) / 2;
  return int(((p < 0) != (c < 0)) ? (p - half) / c : (p + half) / c);
}

// A step of at least one pixel, so a picture without size can't hang tiling.
int TileStep(int size) {
  return size > 0 ? size : 1;
}

}  // namespace

bool MaskedStretchBlit(HDC destDC, int destX, int destY, int destW, int destH, HDC srcDC,
                       int srcX, int srcY, int srcW, int srcH, HDC maskDC, int maskX,
                       int maskY) {
  if (MaskBltAvailable && srcW == destW && srcH == destH) {
    // The mask must leave its DC to be passed by handle: a 1 x 1 stand-in
    // takes its place meanwhile.
    HBITMAP standIn = GDICheck(CreateCompatibleBitmap(srcDC, 1, 1));
    HGDIOBJ mask = SelectObject(maskDC, standIn);
    if (!mask) {
      DeleteObject(standIn);
      RaiseLastGdiError();
    }
    MaskBlt(destDC, destX, destY, destW, destH, srcDC, srcX, srcY,
            static_cast<HBITMAP>(mask), maskX, maskY, MAKEROP4(DSTCOPY, SRCCOPY));
    SelectObject(maskDC, mask);
    DeleteObject(standIn);
    return true;
  }

  // General route: the source with its transparent pixels black in a
  // scratch bitmap, the destination blacked out where the source is opaque,
  // then the two ORed together.
  HDC memDC = GDICheck(CreateCompatibleDC(destDC));
  HBITMAP memBitmap = nullptr;
  HGDIOBJ memOld = nullptr;
  HPALETTE memOldPalette = nullptr;
  TScopeGuard releaseMem([&] {
    if (memOld) SelectObject(memDC, memOld);
    if (memBitmap) DeleteObject(memBitmap);
    if (memOldPalette) SelectPalette(memDC, memOldPalette, true);
    DeleteDC(memDC);
  });
  memBitmap = GDICheck(CreateCompatibleBitmap(destDC, srcW, srcH));
  memOld = SelectObject(memDC, memBitmap);
  {
    HDC invDC = GDICheck(CreateCompatibleDC(destDC));
    HBITMAP invBitmap = nullptr;
    HGDIOBJ invOld = nullptr;
    TScopeGuard releaseInv([&] {
      if (invOld) SelectObject(invDC, invOld);
      if (invBitmap) DeleteObject(invBitmap);
      DeleteDC(invDC);
    });
    invBitmap = GDICheck(CreateBitmap(srcW, srcH, 1, 1, nullptr));
    invOld = SelectObject(invDC, invBitmap);
    BitBlt(invDC, 0, 0, srcW, srcH, maskDC, maskX, maskY, NOTSRCCOPY);

    // The source's palette (the 16-colour one when it has none of its own).
    HPALETTE srcPalette = SelectPalette(srcDC, SystemPalette16(), false);
    if (srcPalette) SelectPalette(srcDC, srcPalette, false);
    if (!srcPalette || srcPalette == GetStockObject(DEFAULT_PALETTE))
      srcPalette = SystemPalette16();
    memOldPalette = SelectPalette(memDC, srcPalette, true);
    RealizePalette(memDC);

    BitBlt(memDC, 0, 0, srcW, srcH, invDC, 0, 0, SRCCOPY);       // opaque: white
    BitBlt(memDC, 0, 0, srcW, srcH, srcDC, srcX, srcY, SRCAND);  // source, holes black
  }
  COLORREF oldText = SetTextColor(destDC, 0);
  COLORREF oldBack = SetBkColor(destDC, 0xFFFFFF);
  StretchBlt(destDC, destX, destY, destW, destH, maskDC, maskX, maskY, srcW, srcH,
             SRCAND);
  StretchBlt(destDC, destX, destY, destW, destH, memDC, 0, 0, srcW, srcH, SRCPAINT);
  SetTextColor(destDC, oldText);
  SetBkColor(destDC, oldBack);
  return true;
}

// --- Frames --------------------------------------------------------------------

TRect TGIFSubImage::ScaleRect(const TRect& r) const {
  const int dx = r.Right - r.Left, dy = r.Bottom - r.Top;
  const int w = Image ? Image->GetWidth() : GetWidth();
  const int h = Image ? Image->GetHeight() : GetHeight();
  return TRect{r.Left + MulDiv(GetLeft(), dx, w), r.Top + MulDiv(GetTop(), dy, h),
               r.Left + MulDiv(GetLeft() + GetWidth(), dx, w),
               r.Top + MulDiv(GetTop() + GetHeight(), dy, h)};
}

void TGIFSubImage::Draw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile) {
  if (tile)
    StretchDraw(canvas, rect, transparent, tile);
  else
    StretchDraw(canvas, ScaleRect(rect), transparent, false);
}

void TGIFSubImage::StretchDraw(TCanvas& canvas, const TRect& rect, bool transparent,
                               bool tile) {
  // The blits' scratch bitmaps count against the picture's limit; the other
  // frames' bitmaps make room for them when it is reached.
  TGIFMemoryScope memory(Image);
  try {
    DoStretchDraw(canvas, rect, transparent, tile);
  } catch (const std::exception& e) {
    if (!Image || !IsMemoryRefusal(e) || !Image->DropFrameBitmaps(this)) throw;
    DoStretchDraw(canvas, rect, transparent, tile);
  }
}

void TGIFSubImage::DoStretchDraw(TCanvas& canvas, const TRect& rect, bool transparent,
                                 bool tile) {
  const int fw = GetWidth(), fh = GetHeight();
  const int stepX = TileStep(Image ? Image->GetWidth() : fw);
  const int stepY = TileStep(Image ? Image->GetHeight() : fh);
  if (transparent && Transparent && HasMask()) {
    TBitmap* bitmap = GetBitmap();
    if (!bitmap) return;
    HDC dest = canvas.GetHandle();
    HDC source = bitmap->GetCanvas().GetHandle();
    HDC maskDC = GDICheck(CreateCompatibleDC(nullptr));
    HGDIOBJ old = SelectObject(maskDC, Mask.get());
    TScopeGuard release([&] {
      if (old) SelectObject(maskDC, old);
      DeleteDC(maskDC);
    });
    if (!old) RaiseLastGdiError();
    canvas.Changing();
    if (tile) {
      for (int x = rect.Left + GetLeft(); x < rect.Right; x += stepX)
        for (int y = rect.Top + GetTop(); y < rect.Bottom; y += stepY)
          MaskedStretchBlit(dest, x, y, fw, fh, source, 0, 0, fw, fh, maskDC, 0, 0);
    } else {
      MaskedStretchBlit(dest, rect.Left, rect.Top, rect.Width(), rect.Height(), source, 0,
                        0, fw, fh, maskDC, 0, 0);
    }
    canvas.Changed();
    return;
  }
  TBitmap* bitmap = GetBitmap();
  if (!bitmap) return;
  if (tile) {
    for (int x = rect.Left + GetLeft(); x < rect.Right; x += stepX)
      for (int y = rect.Top + GetTop(); y < rect.Bottom; y += stepY)
        canvas.StretchDraw(Rect(x, y, x + fw, y + fh), *bitmap);
  } else {
    canvas.StretchDraw(rect, *bitmap);
  }
}

// --- Image ---------------------------------------------------------------------

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) {
  if (Drawing || Images->GetCount() == 0) return;
  Drawing = true;
  TScopeGuard done([this] { Drawing = false; });
  // The composed bitmap and the painter's buffers are made from here.
  TGIFMemoryScope memory(this);
  const bool transparent = DrawOptions & GIFDrawOptionBit(goTransparent);
  const bool tile = DrawOptions & GIFDrawOptionBit(goTile);
  if (Images->GetCount() == 1 || !(DrawOptions & GIFDrawOptionBit(goAnimate))) {
    Images->GetImage(0)->Draw(canvas, rect, transparent, tile);
    return;
  }
  if (Bitmap && !(DrawOptions & GIFDrawOptionBit(goDirectDraw))) {
    DrawCachedBitmap(canvas, rect, *Bitmap);
    return;
  }
  DrawAnimated(*this, canvas, rect);
}

void TGIFImage::DrawCachedBitmap(TCanvas& canvas, const TRect& rect, TBitmap& bitmap) {
  if (DrawOptions & GIFDrawOptionBit(goTile)) {
    const int w = GetWidth(), h = GetHeight();
    for (int x = rect.Left; x < rect.Right; x += TileStep(w))
      for (int y = rect.Top; y < rect.Bottom; y += TileStep(h))
        canvas.StretchDraw(Rect(x, y, x + w, y + h), bitmap);
  } else {
    canvas.StretchDraw(rect, bitmap);
  }
}

void TGIFImage::Pack() {
  FreeBitmap();
  SetPalette(nullptr);
  for (int i = 0; i < Images->GetCount(); ++i) {
    TGIFSubImage* frame = Images->GetImage(i);
    frame->Bitmap.reset();
    frame->Palette.reset();
  }
  if (Header->ColorMap->GetCount() == 0 && Images->GetCount() == 1) {
    TGIFSubImage* frame = Images->GetImage(0);
    Header->ColorMap->Assign(*frame->ColorMap);
    frame->ColorMap->Clear();
  }
}

void TGIFImage::SetDrawOptions(TGIFDrawOptions options) {
  if (options == DrawOptions) return;
  StopImagePainter(*this);
  DrawOptions = options;
  Pack();
  Changed(this);
}

void TGIFImage::SetAnimationSpeed(int percent) {
  percent = std::clamp(percent, 0, 1000);
  if (percent == AnimationSpeed) return;
  AnimationSpeed = percent;
  SetPainterAnimationSpeed(*this, percent);
}

}  // namespace velmora
