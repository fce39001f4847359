// Writes an image and reads it back through our reader, and composes its
// frames as a viewer shows them, for checking the writer pixel for pixel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

namespace velmora::test {

// A colour from its channels, each clamped to 0..255; a channel of it (0
// red, 1 green, 2 blue).
inline TGIFRGB Rgb(int r, int g, int b) {
  return TGIFRGB(std::clamp(r, 0, 255) << 16 | std::clamp(g, 0, 255) << 8 |
                 std::clamp(b, 0, 255));
}
inline int Channel(TGIFRGB c, int axis) {
  return int((c >> (16 - 8 * axis)) & 0xFF);
}

inline std::unique_ptr<TGIFImage> SavedAndLoaded(TGIFImage& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  stream.SetPosition(0);
  auto back = std::make_unique<TGIFImage>();
  back->LoadFromStream(stream);
  return back;
}

// Composes the frames as a viewer does: each frame over what is shown, its
// transparent pixels left out, and afterwards taken back to what was shown
// before it, or its rectangle cleared, when its disposal says so. Pixels no
// frame covers are 0xFFFFFFFF. With passes > 1 the animation starts over
// on what the last frame left.
inline std::vector<std::vector<TGIFRGB>> Compose(TGIFImage& image, int passes = 1) {
  const int w = image.GetWidth(), h = image.GetHeight();
  std::vector<TGIFRGB> screen(std::size_t(w) * std::size_t(h), 0xFFFFFFFF);
  std::vector<std::vector<TGIFRGB>> states;
  for (int pass = 0; pass < passes; ++pass)
    for (int i = 0; i < image.Images->GetCount(); ++i) {
      TGIFSubImage* f = image.Images->GetImage(i);
      const TGIFGraphicControlExtension* gce = f->GraphicControlExtension;
      const auto disposal = gce ? gce->GetDisposal() : dmNoDisposal;
      EXPECT_TRUE(disposal == dmNoDisposal || disposal == dmPrevious ||
                  disposal == dmBackground);
      const std::vector<TGIFRGB> before = screen;
      const int transparent =
          gce && gce->GetTransparent() ? gce->GetTransparentColorIndex() : -1;
      TGIFColorMap* map = f->GetActiveColorMap();
      for (int y = 0; y < f->GetHeight(); ++y)
        for (int x = 0; x < f->GetWidth(); ++x) {
          const int index = f->GetPixel(x, y);
          if (index == transparent) continue;
          EXPECT_LT(index, map->GetCount());
          const TGIFColor c = (*map)[index];
          screen[std::size_t(f->GetTop() + y) * std::size_t(w) +
                 std::size_t(f->GetLeft() + x)] =
              TGIFRGB((c.Red << 16) | (c.Green << 8) | c.Blue);
        }
      states.push_back(screen);
      if (disposal == dmPrevious) screen = before;
      if (disposal == dmBackground)
        for (int y = 0; y < f->GetHeight(); ++y)
          for (int x = 0; x < f->GetWidth(); ++x)
            screen[std::size_t(f->GetTop() + y) * std::size_t(w) +
                   std::size_t(f->GetLeft() + x)] = 0xFFFFFFFF;
    }
  return states;
}

}  // namespace velmora::test
