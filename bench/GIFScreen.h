// The picture both GIF rendering benches draw: a 256-colour logical screen
// of the given size, with no frames yet.
#pragma once

#include <cstdint>

#include "gif/GIFImage.h"

namespace velmora::bench {

inline void MakeScreen(TGIFImage& image, int width, int height) {
  image.Header->LogicalScreenDescriptor.ScreenWidth = width;
  image.Header->LogicalScreenDescriptor.ScreenHeight = height;
  for (int i = 0; i < 256; ++i)
    image.Header->ColorMap->Add(
        RGB(std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)));
}

}  // namespace velmora::bench
