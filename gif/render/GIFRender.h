// Rendering side of the GIF unit: frame bitmaps and masks, the palettes that
// go with them, transparent drawing, and the unit's registration with the
// picture system. The member functions of TGIFSubImage and TGIFImage that
// render and draw are declared in gif/GIFImage.h and defined here.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

#include "gif/GIFImage.h"
#include "platform/classes/Bitmap.h"
#include "platform/gdi/Gdi.h"

namespace velmora {

// Frames with more pixels than this get their new, still empty bitmap
// switched to 1 bit per pixel before the rendering is loaded into it.
constexpr int LargeFramePixels = 500000;

// Whether e is the refusal of something that would pass an image's memory
// limit.
bool IsMemoryRefusal(const std::exception& e);

// The new bitmap a frame renders into.
std::unique_ptr<TBitmap> NewFrameBitmap(int width, int height);

// GDI handles held by the model's caches.
std::shared_ptr<GdiPalette> OwnPalette(HPALETTE palette);
std::shared_ptr<GdiBitmap> OwnBitmap(HBITMAP bitmap);

// Builds a DIB one row at a time and hands it to a bitmap when committed.
// The rows are written straight into the bitmap-to-be, so a frame costs one
// pass over its pixels.
class TDIBWriter {
 public:
  // format is pf8bit or pf24bit; palette supplies the 8-bit colour table.
  TDIBWriter(TBitmap& target, TPixelFormat format, int width, int height,
             HPALETTE palette);
  TDIBWriter(const TDIBWriter&) = delete;
  TDIBWriter& operator=(const TDIBWriter&) = delete;
  ~TDIBWriter();

  // Row 0 is the top row.
  std::uint8_t* RowPointer(int row);
  // Loads what was written into the target bitmap and frees the memory.
  void Commit();

 private:
  void CreateDIB();
  TBitmap& target_;
  int bits_;
  int width_;
  int height_;
  HPALETTE palette_;
  HBITMAP dib_ = nullptr;
};

// Copies a rectangle from src to dest where the 1-bit mask selected into
// maskDC is 0 and leaves dest alone where it is 1, stretching as needed.
// Raises EOutOfResources when the GDI refuses an object it needs.
bool MaskedStretchBlit(HDC destDC, int destX, int destY, int destW, int destH, HDC srcDC,
                       int srcX, int srcY, int srcW, int srcH, HDC maskDC, int maskX,
                       int maskY);
// Our platform takes the single-MaskBlt route; tests switch it off to run
// the general route on unstretched blits too.
extern bool MaskBltAvailable;

// Start-up and shutdown of the unit. Start-up runs once, before main; the
// functions are public so that tests can run the steps again.
void GIFUnitInitialize();
void GIFUnitFinalize();
// Measures the screen: sets PaletteDevice and DoAutoDither.
void MeasureDisplay();
// Clears goLoop in the default draw options.
void Register();

}  // namespace velmora
