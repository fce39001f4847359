// Indexed frames to an optimised GIF: their checks, steps and exact colour
// table, written by the same frame writer as true-colour frames.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gif/GIFOptimize.h"
#include "gif/GIFOptimizeSteps.h"

namespace velmora {

namespace optimize {

namespace {

// Indexed frames: their sizes, and every index with an entry.
void CheckFrames(const TGIFIndexedFrames& frames) {
  if (frames.Frames.empty()) Error(_sEmptyImage);
  const int width = frames.Width, height = frames.Height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) Error(_sBadDimension);
  if (frames.Palette.empty() || frames.Palette.size() > 256) Error(_sBadColorIndex);
  for (const std::span<const std::uint8_t> f : frames.Frames) {
    if (f.size() != std::size_t(width) * std::size_t(height)) Error(kFrameSizesDiffer);
    if (*std::max_element(f.begin(), f.end()) >= frames.Palette.size())
      Error(_sBadColorIndex);
  }
}

// The steps of indexed frames, as Steps makes them of colours: equal
// entries stand for one colour, canon[i] the first entry of i's colour.
std::vector<Step> IndexedSteps(const TGIFIndexedFrames& frames,
                               const std::vector<std::uint8_t>& canon,
                               const TGIFFramesOptions& options) {
  const int width = frames.Width, height = frames.Height;
  const std::size_t n = std::size_t(width) * std::size_t(height);
  auto same = [&](const std::uint8_t* a, const std::uint8_t* b) {
    return [&canon, a, b](std::size_t i) { return canon[a[i]] == canon[b[i]]; };
  };
  std::vector<Step> steps;
  for (std::size_t k = 0; k < frames.Frames.size(); ++k) {
    const int given = k < frames.DelayMs.size() ? frames.DelayMs[k] : -1;
    const int ms = given >= 0 ? given : options.DelayMs;
    const int delay = std::clamp((ms + 5) / 10, 0, 65535);
    const std::uint8_t* indices = frames.Frames[k].data();
    if (!steps.empty()) {
      const std::uint8_t* before = steps.back().Indices;
      if (std::memcmp(before, indices, n) == 0 ||
          ChangedBox(before, indices, width, height, same(before, indices)).Empty()) {
        steps.back().Delay = std::min(steps.back().Delay + delay, 65535);
        continue;
      }
    }
    Step step;
    step.Indices = indices;
    step.First = k;
    step.Delay = delay;
    steps.push_back(std::move(step));
  }
  for (std::size_t t = 0; t < steps.size(); ++t) {
    const std::uint8_t* a = steps[t].Indices;
    const std::uint8_t* b = steps[t + 1 < steps.size() ? t + 1 : 0].Indices;
    steps[t].Changed = ChangedBox(a, b, width, height, same(a, b));
  }
  return steps;
}

// The exact table of indexed frames, in the order SharedColors gives: how
// many pixels of each colour all steps show, counted from the first step
// and then only where each step changes, and how many steps change pixels
// to it.
Table IndexedTable(const TGIFIndexedFrames& frames, const std::vector<Step>& steps,
                   const std::vector<std::uint8_t>& canon,
                   const std::vector<TGIFRGB>& colors) {
  const std::size_t width = std::size_t(frames.Width);
  const std::size_t n = width * std::size_t(frames.Height);
  std::int64_t shown[256] = {}, count[256] = {};
  int changedTo[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++shown[canon[steps[0].Indices[i]]];
  for (std::size_t t = 0;; ++t) {
    for (int c = 0; c < 256; ++c) count[c] += shown[c];
    if (t + 1 == steps.size()) break;
    const Box& box = steps[t].Changed;
    const std::uint8_t* before = steps[t].Indices;
    const std::uint8_t* after = steps[t + 1].Indices;
    bool to[256] = {};
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = box.Left; x < box.Right; ++x) {
        const std::size_t i = std::size_t(y) * width + std::size_t(x);
        const std::uint8_t a = canon[before[i]], b = canon[after[i]];
        --shown[a];
        ++shown[b];
        to[b] = to[b] || a != b;
      }
    for (int c = 0; c < 256; ++c) changedTo[c] += to[c];
  }
  std::vector<int> order;
  for (int c = 0; c < 256; ++c)
    if (count[c] > 0) order.push_back(c);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    if (changedTo[a] != changedTo[b]) return changedTo[a] > changedTo[b];
    if (count[a] != count[b]) return count[a] > count[b];
    return colors[std::size_t(a)] < colors[std::size_t(b)];
  });
  Table table;
  for (int c : order) table.Palette.push_back(colors[std::size_t(c)]);
  table.Opaque = table.Palette;
  table.Exact = true;
  return table;
}

}  // namespace

}  // namespace optimize

std::vector<std::size_t> GIFFromIndexedFrames(TGIFImage& image,
                                              const TGIFIndexedFrames& frames,
                                              const TGIFFramesOptions& options) {
  using namespace optimize;
  CheckFrames(frames);
  const int width = frames.Width, height = frames.Height;
  const std::size_t n = std::size_t(width) * std::size_t(height);
  std::vector<TGIFRGB> colors(frames.Palette.size());
  std::vector<std::uint8_t> canon(256, 0);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    colors[i] = frames.Palette[i] & 0xFFFFFF;
    canon[i] =
        std::uint8_t(std::find(colors.begin(), colors.end(), colors[i]) - colors.begin());
  }
  const std::vector<Step> steps = IndexedSteps(frames, canon, options);
  const Table table = IndexedTable(frames, steps, canon, colors);
  StartImage(image, width, height, table);
  StepPixels pixels(steps, &colors, n);
  FrameWriter writer(image, steps, pixels, table, width, height, options);
  std::vector<std::size_t> firsts;
  for (std::size_t t = 0; t < steps.size(); ++t) {
    writer.Write(t);
    firsts.push_back(steps[t].First);
  }
  return firsts;
}

}  // namespace velmora
