// Pixel formats: reading and writing rows of a bitmap as native values, and
// converting colours and values between formats.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>

#include "platform/gdi/GdiObjects.h"

namespace velmora::gdi {

// Blits work on "native" values of the destination's format, one uint32 per
// pixel: 0/1 for monochrome, an index for 8 bits, 0xRRGGBB otherwise, so
// raster operations act on the bits the destination stores.

inline std::uint32_t NativeMask(int bpp) {
  return bpp == 1 ? 1u : bpp == 8 ? 0xFFu : 0xFFFFFFu;
}

inline std::uint32_t Swap(std::uint32_t rgb) {  // 0xRRGGBB <-> COLORREF
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// Inline: the blits call these for every row.
// Reads pixels xs[0..n) of row y as native values of the source's format.
inline void ReadRow(const BitmapData& b, int y, const int* xs, int n,
                    std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) out[i] = MonoPixel(row, xs[i]) ? 1u : 0u;
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
inline void ReadRun(const BitmapData& b, int y, int x, int n, std::uint32_t* out) {
  const BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) out[i] = MonoPixel(row, x + i) ? 1u : 0u;
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

inline void WriteRun(BitmapData& b, int y, int x, int n, const std::uint32_t* in) {
  BYTE* row = b.Row(y);
  switch (b.bpp) {
    case 1:
      for (int i = 0; i < n; ++i) {
        int c = x + i;
        BYTE bit = MonoPixelBit(c);
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
void ColorTable(const BitmapData& b, std::uint32_t* table);

// Nearest entry of an 8-bit bitmap's colour table, with a small cache.
class NearestIndex {
 public:
  explicit NearestIndex(const BitmapData& b) {
    ColorTable(b, table_);
    count_ = int(std::min<std::size_t>(b.colors.size(), 256));
    if (count_ == 0) count_ = 1;
    std::fill(std::begin(keys_), std::end(keys_), 0xFFFFFFFFu);
  }
  std::uint32_t operator()(std::uint32_t rgb) {
    std::uint32_t slot = (rgb ^ (rgb >> 11) ^ (rgb >> 19)) & 4095u;
    if (keys_[slot] == rgb) return values_[slot];
    int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), bl = int(rgb & 0xFF);
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < count_; ++i) {
      int dr = r - int(table_[i] >> 16), dg = g - int((table_[i] >> 8) & 0xFF),
          db = bl - int(table_[i] & 0xFF);
      long d = long(dr) * dr + long(dg) * dg + long(db) * db;
      if (bestD < 0 || d < bestD) {
        bestD = d;
        best = i;
        if (d == 0) break;
      }
    }
    keys_[slot] = rgb;
    values_[slot] = std::uint32_t(best);
    return std::uint32_t(best);
  }

 private:
  std::uint32_t table_[256];
  int count_ = 1;
  std::uint32_t keys_[4096];
  std::uint32_t values_[4096] = {};
};

// Native value of a colour in a bitmap's format (brush, SetPixel, DC colours).
std::uint32_t NativeOf(const BitmapData& b, COLORREF color);
std::uint32_t ColorOfNative(const BitmapData& b, std::uint32_t v);

// How source values become destination values.
class Converter {
 public:
  Converter(const BitmapData& src, const DCData& srcDC, const BitmapData& dst,
            const DCData& dstDC)
      : dst_(dst) {
    bool srcMono = src.bpp == 1, dstMono = dst.bpp == 1;
    if (srcMono && dstMono) {
      kind_ = kIdentity;
    } else if (srcMono) {
      // Monochrome onto colour: 0 bits take the destination's text colour,
      // 1 bits its background colour.
      kind_ = kTable;
      std::fill(std::begin(table_), std::end(table_), 0u);
      table_[0] = NativeOf(dst, dstDC.text);
      table_[1] = NativeOf(dst, dstDC.bk);
    } else if (dstMono) {
      // Colour onto monochrome: the source's background colour becomes 1
      // (white), everything else 0.
      std::uint32_t bkRgb = Swap(srcDC.bk & 0xFFFFFF);
      if (src.bpp == 8) {
        kind_ = kTable;
        std::uint32_t colors[256];
        ColorTable(src, colors);
        for (int i = 0; i < 256; ++i) table_[i] = colors[i] == bkRgb ? 1u : 0u;
      } else {
        kind_ = kToMono;
        key_ = bkRgb;
      }
    } else if (src.bpp == 8) {
      kind_ = kTable;
      std::uint32_t colors[256];
      ColorTable(src, colors);
      if (dst.bpp == 8) {
        if (src.colors.size() == dst.colors.size() &&
            std::memcmp(src.colors.data(), dst.colors.data(),
                        src.colors.size() * sizeof(RGBQUAD)) == 0) {
          for (std::uint32_t i = 0; i < 256; ++i) table_[i] = i;
        } else {
          NearestIndex nearest(dst);
          for (int i = 0; i < 256; ++i) table_[i] = nearest(colors[i]);
        }
      } else {
        std::copy(std::begin(colors), std::end(colors), table_);
      }
    } else if (dst.bpp == 8) {
      kind_ = kToIndex;
    } else {
      kind_ = kIdentity;
    }
  }

  void operator()(std::uint32_t* v, int n) {
    switch (kind_) {
      case kIdentity:
        break;
      case kTable:
        for (int i = 0; i < n; ++i) v[i] = table_[v[i] & 0xFF];
        break;
      case kToMono:
        for (int i = 0; i < n; ++i) v[i] = v[i] == key_ ? 1u : 0u;
        break;
      case kToIndex:
        if (!nearest_) nearest_ = std::make_unique<NearestIndex>(dst_);
        for (int i = 0; i < n; ++i) v[i] = (*nearest_)(v[i]);
        break;
    }
  }

 private:
  enum Kind { kIdentity, kTable, kToMono, kToIndex };
  const BitmapData& dst_;
  Kind kind_ = kIdentity;
  std::uint32_t table_[256] = {};
  std::uint32_t key_ = 0;
  std::unique_ptr<NearestIndex> nearest_;
};

}  // namespace velmora::gdi
