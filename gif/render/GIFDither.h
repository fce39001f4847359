// Colour lookup onto the 6 x 6 x 6 colour cube and the serpentine
// Floyd-Steinberg ditherer that frames use on palette displays.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace velmora {

// The cube palette: entry r*36 + g*6 + b is (r*51, g*51, b*51), 216 entries.
// The caller owns the handle.
HPALETTE WebPalette();

class TColorLookup {
 public:
  explicit TColorLookup(HPALETTE /*palette*/) {}
  virtual ~TColorLookup() = default;
  // Returns the palette index for the colour and replaces the three values
  // with that entry's colour.
  virtual int Lookup(int& red, int& green, int& blue) = 0;
  int GetColors() const { return colors_; }

 protected:
  int colors_ = 0;
};

// Maps onto the cube; the palette it is given plays no part.
class TNetscapeColorLookup : public TColorLookup {
 public:
  explicit TNetscapeColorLookup(HPALETTE palette) : TColorLookup(palette) {
    colors_ = 216;
  }
  int Lookup(int& red, int& green, int& blue) override {
    int r = (red + 3) / 51, g = (green + 3) / 51, b = (blue + 3) / 51;
    red = r * 51;
    green = g * 51;
    blue = b * 51;
    return r * 36 + g * 6 + b;
  }
};

class TDitherEngine {
 public:
  TDitherEngine(int width, TColorLookup& lookup) : width_(width), lookup_(lookup) {}
  virtual ~TDitherEngine() = default;
  // Plain lookup of one pixel; advances the column.
  virtual int Dither(int& red, int& green, int& blue);
  // Skips a pixel.
  void NextColumn() { column_ += direction_; }
  virtual void NextLine();
  int GetColumn() const { return column_; }
  int GetDirection() const { return direction_; }
  int GetWidth() const { return width_; }

 protected:
  int direction_ = 1;
  int column_ = 0;
  int width_;
  TColorLookup& lookup_;
};

// Error diffusion in sixteenths (7 right, 3 below-behind, 5 below,
// 1 below-ahead), alternating the scan direction row by row.
class TFloydSteinbergDitherer : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(int width, TColorLookup& lookup);
  int Dither(int& red, int& green, int& blue) override;
  void NextLine() override;

 private:
  struct Channel {
    std::vector<std::int32_t> errors;  // width + 2 cells
    int pos = 0;
    int carried = 0;
    int belowPrevious = 0;
    int below = 0;
  };
  Channel channels_[3];
};

}  // namespace velmora
