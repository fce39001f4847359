// A bitmap of any pixel format as a one-frame GIF image.
#pragma once

#include <vector>

#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

namespace velmora {

// The colours of a bitmap's pixels, row by row from the top.
std::vector<TGIFRGB> GIFBitmapPixels(const TBitmap& bitmap);

// Replaces image with the bitmap as a still: exact when it has at most 256
// colours, otherwise reduced to 256 (with Floyd-Steinberg error diffusion
// when dither is set). An empty bitmap empties the image.
void GIFFromBitmap(TGIFImage& image, const TBitmap& bitmap, bool dither);

}  // namespace velmora
