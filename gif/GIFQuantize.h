// Colour reduction for the writer: a palette of at most 256 colours for
// true-colour pixels (median cut over a histogram, refined by k-means), and
// the mapping of pixels to it, plain or with error diffusion where that
// helps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace velmora {

// Colours are 0x00RRGGBB throughout; the top byte of a pixel is ignored.
using TGIFRGB = std::uint32_t;

// The distinct colours of pixels, the most frequent first; empty when there
// are more than limit of them. Pixels whose skip byte is non-zero don't count.
std::vector<TGIFRGB> GIFDistinctColors(const TGIFRGB* pixels, std::size_t count,
                                       std::size_t limit,
                                       const std::uint8_t* skip = nullptr);

// The colours of any number of pixel runs (the frames of an animation, say),
// gathered in a fixed amount of memory: counts and sums per cell of 6 bits a
// channel, and the exact colours while there are no more than 256.
class TGIFHistogram {
 public:
  TGIFHistogram();
  ~TGIFHistogram();
  TGIFHistogram(const TGIFHistogram&) = delete;
  TGIFHistogram& operator=(const TGIFHistogram&) = delete;

  // Pixels whose skip byte is non-zero don't count (a transparent pixel,
  // say, which keeps an index of its own).
  void Add(const TGIFRGB* pixels, std::size_t count, const std::uint8_t* skip = nullptr);

  // At most maxColors (1..256) colours that stand for the pixels added:
  // exactly their colours (the most frequent first) when there are no more
  // than that; otherwise a median cut, each cut where it leaves the least
  // squared error, whose box means a few k-means passes then move to the
  // centres of the colours nearest to them.
  std::vector<TGIFRGB> Palette(int maxColors) const;

 private:
  struct Cell;
  std::unique_ptr<Cell[]> cells_;
  std::unordered_map<TGIFRGB, std::uint64_t> exact_;
  bool tooMany_ = false;
  TGIFRGB last_ = 0;
  std::uint64_t* lastCount_ = nullptr;
};

// Pixels to take a palette for: Count of them, those whose Skip byte is
// non-zero left out.
struct TGIFPixelRun {
  const TGIFRGB* Pixels;
  std::size_t Count;
  const std::uint8_t* Skip = nullptr;
};

// One more k-means pass, over the pixels themselves: the histogram's cells
// give each pixel the entry nearest to its cell's mean, which is not always
// the entry nearest to the pixel. Each entry moves to the mean of the
// pixels nearest to it; entries no pixel is nearest to stay.
void GIFRefinePalette(std::vector<TGIFRGB>& palette,
                      const std::vector<TGIFPixelRun>& runs);

// The palette of one run of pixels: TGIFHistogram::Palette, refined once
// by GIFRefinePalette when the pixels have more colours than maxColors.
std::vector<TGIFRGB> GIFQuantize(const TGIFRGB* pixels, std::size_t count, int maxColors,
                                 const std::uint8_t* skip = nullptr);

// The palette entry nearest to a colour (Euclidean in RGB; the first of
// equally near ones). The colour cube is cut into cells, gridBits a channel
// (0..6); the first colour asked for in a cell lists the entries that can be
// nearest to any colour of that cell, nearest to the cell first, and later
// ones compare those until the rest are too far from the cell to be nearer.
// Finer cells have shorter lists but cost more to fill.
class TGIFNearestColor {
 public:
  explicit TGIFNearestColor(const std::vector<TGIFRGB>& palette, int gridBits = 5);
  std::uint8_t Find(TGIFRGB color);

 private:
  struct List {
    std::int32_t start = -1;  // into candidates_; -1: not listed yet
    std::int32_t count = 0;
  };
  struct Candidate {
    std::int32_t least;  // squared distance to the nearest colour of the cell
    std::uint8_t r, g, b, index;
  };
  void Fill(int cell);

  int size_;
  int bits_;
  std::int32_t r_[256], g_[256], b_[256];
  std::vector<List> cells_;
  std::vector<Candidate> candidates_;
};

// Maps count pixels to their nearest entries, without dithering; pixels
// whose skip byte is non-zero get skipIndex. For mapping many runs of
// pixels to one palette with one nearest's lists.
void GIFMapNearest(TGIFNearestColor& nearest, const TGIFRGB* pixels, std::size_t count,
                   std::uint8_t* out, const std::uint8_t* skip = nullptr,
                   std::uint8_t skipIndex = 0);

// Maps width x height pixels (row by row) to palette indices in out. With
// dither, the error of each pixel spreads to its neighbours by the
// Floyd-Steinberg weights, row by row in alternating directions, but less
// across strong edges and not at all inside flat areas (a run of one colour
// shows as one entry, without specks), unless that colour is far from every
// entry, where the mix keeps its average. Pixels whose skip byte is non-zero
// get skipIndex and neither take nor pass on error.
void GIFMapToPalette(const TGIFRGB* pixels, int width, int height,
                     const std::vector<TGIFRGB>& palette, bool dither, std::uint8_t* out,
                     const std::uint8_t* skip = nullptr, std::uint8_t skipIndex = 0);

}  // namespace velmora
