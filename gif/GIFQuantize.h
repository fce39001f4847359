// Colour reduction for the writer: a palette of at most 256 colours for
// true-colour pixels (median cut over the histogram), and the mapping of
// pixels to it, plain or with Floyd-Steinberg error diffusion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace velmora {

// Colours are 0x00RRGGBB throughout.
using TGIFRGB = std::uint32_t;

// The distinct colours of pixels, the most frequent first; empty when there
// are more than limit of them. Pixels whose skip byte is non-zero don't count.
std::vector<TGIFRGB> GIFDistinctColors(const TGIFRGB* pixels, std::size_t count,
                                       std::size_t limit,
                                       const std::uint8_t* skip = nullptr);

// At most maxColors (1..256) colours that stand for pixels: exactly their
// colours when there are no more than that, otherwise the means of the boxes
// a median cut makes, each cut where it leaves the least squared error.
std::vector<TGIFRGB> GIFQuantize(const TGIFRGB* pixels, std::size_t count, int maxColors,
                                 const std::uint8_t* skip = nullptr);

// The palette entry nearest to a colour (Euclidean in RGB), remembered per
// colour asked for.
class TGIFNearestColor {
 public:
  explicit TGIFNearestColor(const std::vector<TGIFRGB>& palette);
  std::uint8_t Find(TGIFRGB color);

 private:
  std::vector<TGIFRGB> palette_;
  std::unordered_map<TGIFRGB, std::uint8_t> cache_;
};

// Maps width x height pixels (row by row) to palette indices in out. With
// dither, the error of each pixel spreads to its neighbours by the
// Floyd-Steinberg weights. Pixels whose skip byte is non-zero get skipIndex
// and neither take nor pass on error.
void GIFMapToPalette(const TGIFRGB* pixels, int width, int height,
                     const std::vector<TGIFRGB>& palette, bool dither, std::uint8_t* out,
                     const std::uint8_t* skip = nullptr, std::uint8_t skipIndex = 0);

}  // namespace velmora
