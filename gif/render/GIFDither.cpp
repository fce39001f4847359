#include "gif/render/GIFDither.h"

#include <algorithm>

namespace velmora {

HPALETTE WebPalette() {
  PALETTEENTRY entries[216];
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries[r * 36 + g * 6 + b] =
            PALETTEENTRY{BYTE(r * 51), BYTE(g * 51), BYTE(b * 51), 0};
  return CreatePalette(0x300, entries, 216);
}

int TDitherEngine::Dither(int& red, int& green, int& blue) {
  int index = lookup_.Lookup(red, green, blue);
  column_ += direction_;
  return index;
}

void TDitherEngine::NextLine() {
  direction_ = -direction_;
  column_ = direction_ == 1 ? 0 : width_ - 1;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup) {
  for (Channel& c : channels_) c.errors.assign(std::size_t(width) + 2, 0);
}

int TFloydSteinbergDitherer::Dither(int& red, int& green, int& blue) {
  int* values[3] = {&red, &green, &blue};
  int wanted[3];
  for (int i = 0; i < 3; ++i) {
    Channel& c = channels_[i];
    // Integer division truncates toward zero, as the error arithmetic wants.
    int v = *values[i] + (c.errors[std::size_t(c.pos)] + c.carried + 8) / 16;
    wanted[i] = std::clamp(v, 0, 255);
    *values[i] = wanted[i];
  }
  int index = lookup_.Lookup(red, green, blue);
  column_ += direction_;
  for (int i = 0; i < 3; ++i) {
    Channel& c = channels_[i];
    int err = wanted[i] - *values[i];
    if (err != 0) {
      c.errors[std::size_t(c.pos)] = c.belowPrevious + 3 * err;
      c.belowPrevious = c.below + 5 * err;
      c.below = err;
      c.carried = 7 * err;
    }
    c.pos += direction_;
  }
  return index;
}

void TFloydSteinbergDitherer::NextLine() {
  for (Channel& c : channels_) {
    c.errors[std::size_t(c.pos)] = c.belowPrevious;
    c.carried = c.belowPrevious = c.below = 0;
  }
  TDitherEngine::NextLine();
  for (Channel& c : channels_) c.pos = direction_ == 1 ? 0 : width_ + 1;
}

}  // namespace velmora
