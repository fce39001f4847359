// The frame writer's choice of what its kept pixels store, transparent or
// repeating what is shown, whichever LZW stores in fewer bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/GIFOptimizeSteps.h"

namespace velmora::optimize {

// The frame's indices over its Crop, kept pixels transparent or repeating
// what is shown: rows above split do one (what shownAbove says), rows below
// the other; with runs, a kept pixel repeats what is shown where that
// continues the run of the one before. Inline: ChooseKeptPixels, its only
// caller, takes it in with each call's constant arguments.
inline void FrameWriter::FillKept(const Frame& f, int split, bool shownAbove, bool runs,
                                  std::vector<std::uint8_t>& out) const {
  const Box& crop = f.Crop;
  out.resize(std::size_t(crop.Right - crop.Left) * std::size_t(crop.Bottom - crop.Top));
  std::size_t o = 0;
  for (int y = crop.Top; y < crop.Bottom; ++y) {
    const bool repeat = f.Transparent < 0 || (y - crop.Top < split) == shownAbove;
    for (int x = crop.Left; x < crop.Right; ++x, ++o) {
      const std::size_t i = RectAt(f, x, y);
      const std::uint16_t on = f.Whole ? kNothing : shown_[ScreenAt(f, x, y)];
      if (!keep_[i])
        out[o] = index_[i];
      else if (on != kNothing && (runs ? o > 0 && out[o - 1] == on : repeat))
        out[o] = std::uint8_t(on);
      else
        out[o] = std::uint8_t(f.Transparent);
    }
  }
}

// Each kept pixel may be transparent or repeat what is shown: whichever LZW
// stores smallest (all of them one way is a split at an edge); the split is
// searched coarsely, then finer around the best.
void FrameWriter::ChooseKeptPixels(const Frame& f) {
  FillKept(f, 0, true, false, best_);  // all transparent
  if (!f.AnyKept || f.Whole || f.Transparent < 0) return;
  const int cw = f.Crop.Right - f.Crop.Left, ch = f.Crop.Bottom - f.Crop.Top;
  std::int64_t size = GIFCompressedSize(best_.data(), cw, ch);
  auto consider = [&](int split, bool shownAbove, bool runs) {
    FillKept(f, split, shownAbove, runs, candidate_);
    const std::int64_t s = GIFCompressedSize(candidate_.data(), cw, ch);
    if (s >= size) return false;
    size = s;
    best_.swap(candidate_);
    return true;
  };
  consider(0, false, false);  // all repeated
  consider(0, true, true);
  // Large frames get the coarse search only.
  const bool fine = std::size_t(cw) * std::size_t(ch) <= (std::size_t(1) << 20);
  int step = std::max(1, ch / 16), bestSplit = -1;
  for (int round = 0; round < 3 && step > 0 && options_.SplitSearch; ++round) {
    const int from = bestSplit < 0 ? step : std::max(1, bestSplit - 3 * step);
    const int to = bestSplit < 0 ? ch - 1 : std::min(ch - 1, bestSplit + 3 * step);
    for (int split = from; split <= to; split += step)
      for (bool above : {true, false})
        if (split != bestSplit && consider(split, above, false)) bestSplit = split;
    if (!fine || bestSplit < 0 || step == 1) break;
    step = std::max(1, step / 4);
  }
  // Then each kept pixel of the best as the LZW encoder likes it: the other
  // way where that lets the string it is matching grow.
  const std::size_t m = best_.size();
  candidate_ = best_;
  other_.resize(m);
  flexible_.assign(m, 0);
  std::size_t o = 0;
  for (int y = f.Crop.Top; y < f.Crop.Bottom; ++y)
    for (int x = f.Crop.Left; x < f.Crop.Right; ++x, ++o) {
      const std::uint16_t on = shown_[ScreenAt(f, x, y)];
      if (!keep_[RectAt(f, x, y)] || on == kNothing) continue;
      flexible_[o] = 1;
      other_[o] =
          best_[o] == f.Transparent ? std::uint8_t(on) : std::uint8_t(f.Transparent);
    }
  GIFChooseForLZW(candidate_.data(), other_.data(), flexible_.data(), cw, ch);
  if (GIFCompressedSize(candidate_.data(), cw, ch) < size) best_.swap(candidate_);
}

}  // namespace velmora::optimize
