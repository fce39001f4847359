// Builds GIF images in memory for the rendering tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/render/GIFRender.h"

namespace velmora::test {

inline std::unique_ptr<TGIFImage> MakeImage(int width, int height,
                                            std::initializer_list<TColor> global = {}) {
  auto image = std::make_unique<TGIFImage>();
  image->Header->LogicalScreenDescriptor.ScreenWidth = std::uint16_t(width);
  image->Header->LogicalScreenDescriptor.ScreenHeight = std::uint16_t(height);
  for (TColor c : global) image->Header->ColorMap->Add(c);
  return image;
}

// A frame whose pixels are given row by row (or all `fill`), with an
// optional local colour table and transparent index (-1: none).
inline TGIFSubImage* AddFrame(TGIFImage& image, int left, int top, int width, int height,
                              std::vector<std::uint8_t> pixels = {},
                              std::initializer_list<TColor> local = {},
                              int transparentIndex = -1) {
  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  frame->SetBounds(left, top, width, height);
  for (TColor c : local) frame->ColorMap->Add(c);
  if (!pixels.empty()) std::copy(pixels.begin(), pixels.end(), frame->Data.get());
  if (transparentIndex >= 0) {
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->Extensions->Add(gce);
    gce->SetTransparentColorIndex(transparentIndex);
    gce->SetTransparent(true);
    frame->GraphicControlExtension = gce;
  }
  return frame;
}

inline std::uint8_t Index(TBitmap& bitmap, int x, int y) {
  return static_cast<const std::uint8_t*>(bitmap.ScanLine(y))[x];
}

inline bool MaskBit(HBITMAP mask, int x, int y) {
  return MonoPixel(GetBitmapRow(mask, y), x);
}

// A white 32-bit canvas.
inline std::unique_ptr<TBitmap> Canvas(int width, int height) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf32bit);
  b->SetSize(width, height);
  return b;
}

}  // namespace velmora::test
