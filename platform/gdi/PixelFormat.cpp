#include "platform/gdi/PixelFormat.h"

namespace velmora::gdi {

// Colour table of a 1- or 8-bit bitmap as 0xRRGGBB values (256 entries).
void ColorTable(const BitmapData& b, std::uint32_t* table) {
  for (int i = 0; i < 256; ++i) table[i] = 0;
  if (b.bpp == 1 && b.colors.empty()) {
    table[1] = 0xFFFFFF;
    return;
  }
  for (std::size_t i = 0; i < b.colors.size() && i < 256; ++i) {
    const RGBQUAD& q = b.colors[i];
    table[i] =
        (std::uint32_t(q.rgbRed) << 16) | (std::uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
  }
}

// Native value of a colour in a bitmap's format (brush, SetPixel, DC colours).
std::uint32_t NativeOf(const BitmapData& b, COLORREF color) {
  std::uint32_t rgb = Swap(color & 0xFFFFFF);
  if (b.bpp == 1) {
    if (b.colors.empty()) return rgb == 0xFFFFFF ? 1u : 0u;
  }
  if (b.bpp == 1 || b.bpp == 8) {
    NearestIndex nearest(b);
    return nearest(rgb);
  }
  return rgb;
}

std::uint32_t ColorOfNative(const BitmapData& b, std::uint32_t v) {
  if (b.bpp == 1 || b.bpp == 8) {
    std::uint32_t table[256];
    ColorTable(b, table);
    return table[v & 0xFF];
  }
  return v;
}

}  // namespace velmora::gdi
