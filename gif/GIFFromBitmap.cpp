#include "gif/GIFFromBitmap.h"

#include "gif/GIFOptimize.h"
#include "platform/classes/Bitmap.h"

namespace velmora {

std::vector<TGIFRGB> GIFBitmapPixels(const TBitmap& bitmap) {
  // The bitmap code converts any format to 32 bits, colour tables included.
  TBitmap copy;
  copy.Assign(bitmap);
  copy.SetPixelFormat(TPixelFormat::pf32bit);
  const int w = copy.GetWidth(), h = copy.GetHeight();
  std::vector<TGIFRGB> pixels;
  pixels.reserve(std::size_t(w) * std::size_t(h));
  for (int y = 0; y < h; ++y) {
    const auto* row = static_cast<const std::uint32_t*>(copy.ScanLine(y));
    for (int x = 0; x < w; ++x) pixels.push_back(row[x] & 0xFFFFFF);
  }
  return pixels;
}

void GIFFromBitmap(TGIFImage& image, const TBitmap& bitmap, bool dither) {
  if (bitmap.GetEmpty()) {
    image.Clear();
    return;
  }
  std::vector<TGIFRGBFrame> frames(1);
  frames[0].Width = bitmap.GetWidth();
  frames[0].Height = bitmap.GetHeight();
  frames[0].Pixels = GIFBitmapPixels(bitmap);
  TGIFFramesOptions options;
  options.Dither = dither;
  GIFFromFrames(image, frames, options);
}

}  // namespace velmora
