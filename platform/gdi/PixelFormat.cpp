#include "platform/gdi/PixelFormat.h"

namespace velmora::gdi {

// Reads pixels xs[0..n) of row y as native values of the source's format.
void ReadRow(const BitmapData& b, int y, const int* xs, int n, std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) out[i] = (row[xs[i] >> 3] >> (7 - (xs[i] & 7))) & 1u;
      break;
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[xs[i]];
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        const BYTE* p = row + std::ptrdiff_t(xs[i]) * 3;
        out[i] = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                 (std::uint32_t(p[2]) << 16);
      }
      break;
    default:
      for (int i = 0; i < n; ++i) {
        std::uint32_t v;
        std::memcpy(&v, row + std::ptrdiff_t(xs[i]) * 4, 4);
        out[i] = v & 0xFFFFFF;
      }
      break;
  }
}

// Reads the contiguous run x..x+n of row y.
void ReadRun(const BitmapData& b, int y, int x, int n, std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int c = x + i;
        out[i] = (row[c >> 3] >> (7 - (c & 7))) & 1u;
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[x + i];
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        const BYTE* p = row + std::ptrdiff_t(x + i) * 3;
        out[i] = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                 (std::uint32_t(p[2]) << 16);
      }
      break;
    default: {
      const BYTE* p = row + std::ptrdiff_t(x) * 4;
      std::memcpy(out, p, std::size_t(n) * 4);
      for (int i = 0; i < n; ++i) out[i] &= 0xFFFFFF;
      break;
    }
  }
}

void WriteRun(BitmapData& b, int y, int x, int n, const std::uint32_t* in) {
  BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int c = x + i;
        BYTE bit = BYTE(0x80 >> (c & 7));
        if (in[i] & 1)
          row[c >> 3] |= bit;
        else
          row[c >> 3] &= BYTE(~bit);
      }
      break;
    case 8:
      for (int i = 0; i < n; ++i) row[x + i] = BYTE(in[i]);
      break;
    case 24:
      for (int i = 0; i < n; ++i) {
        BYTE* p = row + std::ptrdiff_t(x + i) * 3;
        p[0] = BYTE(in[i]);
        p[1] = BYTE(in[i] >> 8);
        p[2] = BYTE(in[i] >> 16);
      }
      break;
    default:
      std::memcpy(row + std::ptrdiff_t(x) * 4, in, std::size_t(n) * 4);
      break;
  }
}

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
