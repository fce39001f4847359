// A bitmap graphic over a device-independent bitmap of the software GDI,
// with its own canvas, palette and BMP stream format.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/classes/Canvas.h"
#include "platform/classes/Graphics.h"
#include "platform/gdi/Clipboard.h"
#include "platform/gdi/Gdi.h"

namespace velmora {

enum class TPixelFormat {
  pfDevice,  // the screen's format
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

// The 16 colours of the standard VGA palette; owned by the picture system.
HPALETTE SystemPalette16();
// A new palette with the same entries (null for null or on failure).
HPALETTE CopyPalette(HPALETTE palette);

class TBitmapCanvas;

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  bool GetEmpty() const override { return width_ == 0 || height_ == 0; }
  // Resizing keeps the overlapping pixels; new area is white.
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  void SetSize(int width, int height);

  // pf1bit, pf8bit, pf24bit, pf32bit and pfDevice (the screen's depth).
  // Changing it on a non-empty bitmap converts the pixels.
  TPixelFormat GetPixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TPixelFormat format);
  bool GetMonochrome() const { return bitsPerPixel_ == 1; }
  // Bits per pixel of the storage (1, 8, 24 or 32; 0 while empty).
  int GetBitsPerPixel() const { return handle_ ? bitsPerPixel_ : 0; }

  // The bitmap's own palette (null if it has none). It stays the bitmap's.
  HPALETTE GetPalette() const { return palette_; }
  // Takes a copy of palette; an 8-bit bitmap's colour table follows it.
  void SetPalette(HPALETTE palette);

  // The GDI bitmap (null while empty). It stays the bitmap's.
  HBITMAP GetHandle() const { return handle_; }
  // Takes over a DIB section (1, 8, 24 or 32 bits): size, pixel format and,
  // for 8 bits, a palette of its colour table follow it, as when the same
  // DIB is loaded from a BMP stream.
  void SetHandle(HBITMAP bitmap);
  TCanvas& GetCanvas();

  // Address of a row of pixels, row 0 at the top. In pf32bit a pixel is a
  // little-endian 32-bit 0x00RRGGBB (bytes blue, green, red, 0); in pf24bit
  // three bytes blue, green, red; in pf8bit a colour index; in pf1bit bits
  // from the high bit down. Raises EInvalidGraphicOperation out of range.
  void* ScanLine(int row);
  const void* ScanLine(int row) const;

  // BMP file format: 1, 4, 8, 24 and 32 bits, uncompressed (4-bit images
  // become 8-bit). Raises EInvalidGraphic for data that isn't a valid BMP.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  void Assign(const TGraphic& source) override;
  void Draw(TCanvas& canvas, const TRect& rect) override;
  std::unique_ptr<TGraphic> NewOfSameClass() const override;

  // Clipboard form: CF_BITMAP with a copy of the bitmap and of its palette,
  // both for the caller (the clipboard) to own.
  void SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette);
  // Takes a copy of a CF_BITMAP bitmap; raises EInvalidGraphic otherwise.
  void LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette);

 private:
  // A DIB section with the same pixels and colours as bitmap.
  static HBITMAP CopyBitmap(HBITMAP bitmap);
  friend class TBitmapCanvas;
  int StorageBits(TPixelFormat format) const;
  // Puts a new GDI bitmap in place of the old one (both may be null).
  void Replace(HBITMAP bitmap, int width, int height, int bits);
  HBITMAP MakeDIB(int width, int height, int bits, bool fillWhite) const;
  void CanvasChanged();

  HBITMAP handle_ = nullptr;
  HPALETTE palette_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  TPixelFormat pixelFormat_ = TPixelFormat::pfDevice;
  std::unique_ptr<TBitmapCanvas> canvas_;
};

}  // namespace velmora
