#include "gif/GIFQuantize.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace velmora {

namespace {

struct HistogramEntry {
  TGIFRGB color;
  std::uint32_t count;
};

int Channel(TGIFRGB c, int axis) {
  return int((c >> (16 - 8 * axis)) & 0xFF);
}

// Colour counts; stops early (returning false) when more than limit colours
// turn up.
bool CountColors(const TGIFRGB* pixels, std::size_t count, std::size_t limit,
                 const std::uint8_t* skip, std::vector<HistogramEntry>& entries) {
  std::unordered_map<TGIFRGB, std::uint32_t> counts;
  counts.reserve(std::min<std::size_t>(count, 1 << 16));
  TGIFRGB last = 0;
  std::uint32_t* lastCount = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (skip && skip[i]) continue;
    const TGIFRGB c = pixels[i] & 0xFFFFFF;
    if (lastCount && c == last) {
      ++*lastCount;
      continue;
    }
    auto [it, added] = counts.try_emplace(c, 0);
    if (added && counts.size() > limit) return false;
    last = c;
    lastCount = &it->second;
    ++*lastCount;
  }
  entries.clear();
  entries.reserve(counts.size());
  for (const auto& [color, n] : counts) entries.push_back({color, n});
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.count != b.count ? a.count > b.count : a.color < b.color;
  });
  return true;
}

// Sums over the colours of a box, enough for its mean and squared error.
struct BoxStats {
  double n = 0;
  std::array<double, 3> sum{};
  std::array<double, 3> sumSq{};
  void Add(const HistogramEntry& e) {
    n += e.count;
    for (int a = 0; a < 3; ++a) {
      const double v = Channel(e.color, a);
      sum[a] += v * e.count;
      sumSq[a] += v * v * e.count;
    }
  }
  double Variance(int a) const { return n > 0 ? sumSq[a] - sum[a] * sum[a] / n : 0; }
  double Error() const { return Variance(0) + Variance(1) + Variance(2); }
  BoxStats Minus(const BoxStats& o) const {
    BoxStats r;
    r.n = n - o.n;
    for (int a = 0; a < 3; ++a) {
      r.sum[a] = sum[a] - o.sum[a];
      r.sumSq[a] = sumSq[a] - o.sumSq[a];
    }
    return r;
  }
};

struct Box {
  std::size_t begin, end;
  BoxStats stats;
};

BoxStats StatsOf(const std::vector<HistogramEntry>& entries, std::size_t begin,
                 std::size_t end) {
  BoxStats s;
  for (std::size_t i = begin; i < end; ++i) s.Add(entries[i]);
  return s;
}

}  // namespace

std::vector<TGIFRGB> GIFDistinctColors(const TGIFRGB* pixels, std::size_t count,
                                       std::size_t limit, const std::uint8_t* skip) {
  std::vector<HistogramEntry> entries;
  std::vector<TGIFRGB> colors;
  if (!CountColors(pixels, count, limit, skip, entries)) return colors;
  for (const auto& e : entries) colors.push_back(e.color);
  return colors;
}

std::vector<TGIFRGB> GIFQuantize(const TGIFRGB* pixels, std::size_t count, int maxColors,
                                 const std::uint8_t* skip) {
  maxColors = std::clamp(maxColors, 1, 256);
  std::vector<HistogramEntry> entries;
  CountColors(pixels, count, std::size_t(-1), skip, entries);
  std::vector<TGIFRGB> palette;
  if (entries.size() <= std::size_t(maxColors)) {
    for (const auto& e : entries) palette.push_back(e.color);
    return palette;
  }
  std::vector<Box> boxes{{0, entries.size(), StatsOf(entries, 0, entries.size())}};
  while (int(boxes.size()) < maxColors) {
    // The box with the most squared error is cut next.
    std::size_t pick = boxes.size();
    double worst = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      const double error = boxes[i].stats.Error();
      if (pick == boxes.size() || error > worst) {
        pick = i;
        worst = error;
      }
    }
    if (pick == boxes.size()) break;
    Box box = boxes[pick];
    int axis = 0;
    for (int a = 1; a < 3; ++a)
      if (box.stats.Variance(a) > box.stats.Variance(axis)) axis = a;
    std::sort(entries.begin() + std::ptrdiff_t(box.begin),
              entries.begin() + std::ptrdiff_t(box.end),
              [axis](const auto& x, const auto& y) {
                return Channel(x.color, axis) < Channel(y.color, axis);
              });
    // The cut that leaves the two halves the least squared error.
    BoxStats left;
    std::size_t cut = box.begin + 1;
    double best = -1;
    for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
      left.Add(entries[i]);
      const double error = left.Error() + box.stats.Minus(left).Error();
      if (best < 0 || error < best) {
        best = error;
        cut = i + 1;
      }
    }
    const BoxStats first = StatsOf(entries, box.begin, cut);
    boxes[pick] = {box.begin, cut, first};
    boxes.push_back({cut, box.end, box.stats.Minus(first)});
  }
  for (const Box& box : boxes) {
    TGIFRGB c = 0;
    for (int a = 0; a < 3; ++a) {
      const int v = int(box.stats.sum[a] / box.stats.n + 0.5);
      c |= TGIFRGB(std::clamp(v, 0, 255)) << (16 - 8 * a);
    }
    palette.push_back(c);
  }
  return palette;
}

TGIFNearestColor::TGIFNearestColor(const std::vector<TGIFRGB>& palette)
    : palette_(palette) {}

std::uint8_t TGIFNearestColor::Find(TGIFRGB color) {
  auto it = cache_.find(color);
  if (it != cache_.end()) return it->second;
  int best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    long d = 0;
    for (int a = 0; a < 3; ++a) {
      const long delta = Channel(color, a) - Channel(palette_[i], a);
      d += delta * delta;
    }
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = int(i);
      if (d == 0) break;
    }
  }
  cache_.emplace(color, std::uint8_t(best));
  return std::uint8_t(best);
}

void GIFMapToPalette(const TGIFRGB* pixels, int width, int height,
                     const std::vector<TGIFRGB>& palette, bool dither, std::uint8_t* out,
                     const std::uint8_t* skip, std::uint8_t skipIndex) {
  TGIFNearestColor nearest(palette);
  const std::size_t w = std::size_t(width);
  if (!dither) {
    for (std::size_t i = 0; i < w * std::size_t(height); ++i)
      out[i] = skip && skip[i] ? skipIndex : nearest.Find(pixels[i] & 0xFFFFFF);
    return;
  }
  // Errors in sixteenths, one pixel of margin on either side.
  std::vector<int> current((w + 2) * 3, 0), next((w + 2) * 3, 0);
  for (int y = 0; y < height; ++y) {
    std::fill(next.begin(), next.end(), 0);
    for (std::size_t x = 0; x < w; ++x) {
      const std::size_t i = std::size_t(y) * w + x;
      if (skip && skip[i]) {
        out[i] = skipIndex;
        continue;
      }
      int* e = &current[(x + 1) * 3];
      TGIFRGB want = 0;
      int value[3];
      for (int a = 0; a < 3; ++a) {
        value[a] = std::clamp(Channel(pixels[i], a) + e[a] / 16, 0, 255);
        want |= TGIFRGB(value[a]) << (16 - 8 * a);
      }
      const std::uint8_t index = nearest.Find(want);
      out[i] = index;
      for (int a = 0; a < 3; ++a) {
        const int error = value[a] - Channel(palette[index], a);
        current[(x + 2) * 3 + a] += error * 7;
        next[x * 3 + a] += error * 3;
        next[(x + 1) * 3 + a] += error * 5;
        next[(x + 2) * 3 + a] += error;
      }
    }
    std::swap(current, next);
  }
}

}  // namespace velmora
