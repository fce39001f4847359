#include "gif/GIFQuantize.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace velmora {

namespace {

int Channel(TGIFRGB c, int axis) {
  return int((c >> (16 - 8 * axis)) & 0xFF);
}

TGIFRGB Pack(int r, int g, int b) {
  return TGIFRGB(std::clamp(r, 0, 255) << 16 | std::clamp(g, 0, 255) << 8 |
                 std::clamp(b, 0, 255));
}

// The histogram's cells: 6 bits a channel.
constexpr int kCellBits = 6;
constexpr int kCellCount = 1 << (3 * kCellBits);

int CellOf(TGIFRGB c) {
  constexpr int shift = 8 - kCellBits;
  constexpr TGIFRGB mask = (1 << kCellBits) - 1;
  return int(((c >> (16 + shift)) & mask) << (2 * kCellBits) |
             ((c >> (8 + shift)) & mask) << kCellBits | ((c >> shift) & mask));
}

// The colours of one histogram cell: their mean and how many pixels.
struct Entry {
  std::array<double, 3> mean;
  double n;
  TGIFRGB Rounded() const {
    return Pack(int(mean[0] + 0.5), int(mean[1] + 0.5), int(mean[2] + 0.5));
  }
};

// Sums over the entries of a box, enough for its mean and squared error.
struct BoxStats {
  double n = 0;
  std::array<double, 3> sum{};
  std::array<double, 3> sumSq{};
  void Add(const Entry& e) {
    n += e.n;
    for (int a = 0; a < 3; ++a) {
      sum[a] += e.mean[a] * e.n;
      sumSq[a] += e.mean[a] * e.mean[a] * e.n;
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

// A box of entries, with the cut that would leave its two halves the least
// squared error (along its widest channel) and how much error that saves.
struct Box {
  std::size_t begin, end;
  BoxStats stats;
  std::size_t cut = 0;
  double gain = 0;
};

BoxStats StatsOf(const std::vector<Entry>& entries, std::size_t begin, std::size_t end) {
  BoxStats s;
  for (std::size_t i = begin; i < end; ++i) s.Add(entries[i]);
  return s;
}

Box MakeBox(std::vector<Entry>& entries, std::size_t begin, std::size_t end) {
  Box box{begin, end, StatsOf(entries, begin, end)};
  if (end - begin < 2) return box;
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (box.stats.Variance(a) > box.stats.Variance(axis)) axis = a;
  std::sort(
      entries.begin() + std::ptrdiff_t(begin), entries.begin() + std::ptrdiff_t(end),
      [axis](const Entry& x, const Entry& y) { return x.mean[axis] < y.mean[axis]; });
  BoxStats left;
  double best = -1;
  for (std::size_t i = begin; i + 1 < end; ++i) {
    left.Add(entries[i]);
    const double error = left.Error() + box.stats.Minus(left).Error();
    if (best < 0 || error < best) {
      best = error;
      box.cut = i + 1;
    }
  }
  box.gain = box.stats.Error() - best;
  return box;
}

// Median cut: the box whose best cut saves the most squared error is cut
// next, until there are maxColors boxes or none can be cut.
std::vector<std::array<double, 3>> MedianCut(std::vector<Entry>& entries, int maxColors) {
  std::vector<Box> boxes{MakeBox(entries, 0, entries.size())};
  while (int(boxes.size()) < maxColors) {
    std::size_t pick = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      if (pick == boxes.size() || boxes[i].gain > boxes[pick].gain) pick = i;
    }
    if (pick == boxes.size()) break;
    const Box box = boxes[pick];
    boxes[pick] = MakeBox(entries, box.begin, box.cut);
    boxes.push_back(MakeBox(entries, box.cut, box.end));
  }
  std::vector<std::array<double, 3>> centres;
  for (const Box& box : boxes)
    centres.push_back({box.stats.sum[0] / box.stats.n, box.stats.sum[1] / box.stats.n,
                       box.stats.sum[2] / box.stats.n});
  return centres;
}

// Lloyd's k-means over the entries, from the median cut's centres: each
// entry goes to its nearest palette colour, each colour moves to the mean of
// its entries. A colour left without entries moves to the entry that is
// worst served.
constexpr int kMeansPasses = 10;
constexpr int kMeansGridBits = 4;

std::vector<TGIFRGB> Refine(const std::vector<Entry>& entries,
                            std::vector<std::array<double, 3>> centres) {
  auto rounded = [&centres] {
    std::vector<TGIFRGB> palette;
    for (const auto& c : centres)
      palette.push_back(Pack(int(c[0] + 0.5), int(c[1] + 0.5), int(c[2] + 0.5)));
    return palette;
  };
  std::vector<TGIFRGB> palette = rounded();
  const std::size_t k = centres.size();
  std::vector<std::uint8_t> owner(entries.size());
  for (int pass = 0; pass < kMeansPasses; ++pass) {
    // Coarse cells: a pass looks up each entry once, and filling a cell
    // costs more than a few more candidates to compare.
    TGIFNearestColor nearest(palette, kMeansGridBits);
    std::vector<BoxStats> sums(k);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      owner[i] = nearest.Find(entries[i].Rounded());
      sums[owner[i]].Add(entries[i]);
    }
    std::vector<std::size_t> empty;
    for (std::size_t j = 0; j < k; ++j) {
      if (sums[j].n > 0) {
        for (int a = 0; a < 3; ++a) centres[j][a] = sums[j].sum[a] / sums[j].n;
      } else {
        empty.push_back(j);
      }
    }
    if (!empty.empty()) {
      // The entries that lose the most, weighted by their pixels.
      std::vector<std::pair<double, std::size_t>> loss;
      loss.reserve(entries.size());
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const TGIFRGB p = palette[owner[i]];
        double d = 0;
        for (int a = 0; a < 3; ++a) {
          const double delta = entries[i].mean[a] - Channel(p, a);
          d += delta * delta;
        }
        loss.push_back({d * entries[i].n, i});
      }
      const std::size_t take = std::min(empty.size(), loss.size());
      std::partial_sort(loss.begin(), loss.begin() + std::ptrdiff_t(take), loss.end(),
                        [](const auto& x, const auto& y) { return x.first > y.first; });
      for (std::size_t e = 0; e < take; ++e)
        centres[empty[e]] = entries[loss[e].second].mean;
    }
    std::vector<TGIFRGB> next = rounded();
    if (next == palette) break;
    palette = std::move(next);
  }
  return palette;
}

}  // namespace

struct TGIFHistogram::Cell {
  std::uint64_t n = 0;
  std::uint64_t sum[3] = {};
};

TGIFHistogram::TGIFHistogram() : cells_(new Cell[kCellCount]) {}

TGIFHistogram::~TGIFHistogram() = default;

void TGIFHistogram::Add(const TGIFRGB* pixels, std::size_t count,
                        const std::uint8_t* skip) {
  for (std::size_t i = 0; i < count; ++i) {
    if (skip && skip[i]) continue;
    const TGIFRGB c = pixels[i] & 0xFFFFFF;
    Cell& cell = cells_[std::size_t(CellOf(c))];
    ++cell.n;
    for (int a = 0; a < 3; ++a) cell.sum[a] += std::uint64_t(Channel(c, a));
    if (tooMany_) continue;
    if (lastCount_ && c == last_) {
      ++*lastCount_;
      continue;
    }
    auto [it, added] = exact_.try_emplace(c, 0);
    if (added && exact_.size() > 256) {
      tooMany_ = true;
      exact_.clear();
      lastCount_ = nullptr;
      continue;
    }
    last_ = c;
    lastCount_ = &it->second;
    ++*lastCount_;
  }
}

std::vector<TGIFRGB> TGIFHistogram::Palette(int maxColors) const {
  maxColors = std::clamp(maxColors, 1, 256);
  std::vector<TGIFRGB> palette;
  if (!tooMany_ && exact_.size() <= std::size_t(maxColors)) {
    std::vector<std::pair<TGIFRGB, std::uint64_t>> colors(exact_.begin(), exact_.end());
    std::sort(colors.begin(), colors.end(), [](const auto& a, const auto& b) {
      return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    for (const auto& c : colors) palette.push_back(c.first);
    return palette;
  }
  std::vector<Entry> entries;
  for (int i = 0; i < kCellCount; ++i) {
    const Cell& cell = cells_[std::size_t(i)];
    if (cell.n == 0) continue;
    const double n = double(cell.n);
    entries.push_back(
        {{double(cell.sum[0]) / n, double(cell.sum[1]) / n, double(cell.sum[2]) / n}, n});
  }
  if (entries.size() <= std::size_t(maxColors)) {
    // Means of distinct cells round to distinct colours.
    for (const Entry& e : entries) palette.push_back(e.Rounded());
    return palette;
  }
  return Refine(entries, MedianCut(entries, maxColors));
}

std::vector<TGIFRGB> GIFDistinctColors(const TGIFRGB* pixels, std::size_t count,
                                       std::size_t limit, const std::uint8_t* skip) {
  std::unordered_map<TGIFRGB, std::uint32_t> counts;
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
    if (added && counts.size() > limit) return {};
    last = c;
    lastCount = &it->second;
    ++*lastCount;
  }
  std::vector<std::pair<TGIFRGB, std::uint32_t>> entries(counts.begin(), counts.end());
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  std::vector<TGIFRGB> colors;
  for (const auto& e : entries) colors.push_back(e.first);
  return colors;
}

std::vector<TGIFRGB> GIFQuantize(const TGIFRGB* pixels, std::size_t count, int maxColors,
                                 const std::uint8_t* skip) {
  TGIFHistogram histogram;
  histogram.Add(pixels, count, skip);
  std::vector<TGIFRGB> palette = histogram.Palette(maxColors);
  if (palette.size() == std::size_t(std::clamp(maxColors, 1, 256)))
    GIFRefinePalette(palette, {{pixels, count, skip}});
  return palette;
}

void GIFRefinePalette(std::vector<TGIFRGB>& palette,
                      const std::vector<TGIFPixelRun>& runs) {
  if (palette.empty()) return;
  TGIFNearestColor nearest(palette);
  std::vector<BoxStats> sums(palette.size());
  for (const TGIFPixelRun& run : runs) {
    TGIFRGB last = 0;
    std::uint8_t index = 0;
    bool haveLast = false;
    for (std::size_t i = 0; i < run.Count; ++i) {
      if (run.Skip && run.Skip[i]) continue;
      const TGIFRGB c = run.Pixels[i] & 0xFFFFFF;
      if (!haveLast || c != last) {
        last = c;
        index = nearest.Find(c);
        haveLast = true;
      }
      BoxStats& s = sums[index];
      s.n += 1;
      for (int a = 0; a < 3; ++a) s.sum[a] += Channel(c, a);
    }
  }
  for (std::size_t j = 0; j < palette.size(); ++j) {
    const BoxStats& s = sums[j];
    if (s.n > 0)
      palette[j] = Pack(int(s.sum[0] / s.n + 0.5), int(s.sum[1] / s.n + 0.5),
                        int(s.sum[2] / s.n + 0.5));
  }
}

// --- nearest colour ----------------------------------------------------------

namespace {}  // namespace

TGIFNearestColor::TGIFNearestColor(const std::vector<TGIFRGB>& palette, int gridBits)
    : size_(int(std::min<std::size_t>(palette.size(), 256))),
      bits_(std::clamp(gridBits, 0, 6)),
      r_(),
      g_(),
      b_(),
      cells_(std::size_t(1) << (3 * bits_)) {
  for (int i = 0; i < size_; ++i) {
    r_[i] = Channel(palette[std::size_t(i)], 0);
    g_[i] = Channel(palette[std::size_t(i)], 1);
    b_[i] = Channel(palette[std::size_t(i)], 2);
  }
}

namespace {

// The least and the greatest distance along one channel from v to the
// levels low..high.
int Near(int v, int low, int high) {
  return std::max(0, std::max(low - v, v - high));
}

int Far(int v, int low, int high) {
  return std::max(v - low, high - v);
}

}  // namespace

// An entry can be nearest to some colour of the cell only when its least
// distance to the cell is no more than the greatest distance of the entry
// whose greatest distance is least (that one is at least as near to every
// colour of the cell).
void TGIFNearestColor::Fill(int cell) {
  const int side = 1 << bits_, step = 256 >> bits_;
  const int r0 = (cell >> (2 * bits_)) * step;
  const int g0 = ((cell >> bits_) & (side - 1)) * step;
  const int b0 = (cell & (side - 1)) * step;
  const int span = step - 1;
  std::int32_t least[256], most[256];
  for (int i = 0; i < size_; ++i) {
    const int nr = Near(r_[i], r0, r0 + span), ng = Near(g_[i], g0, g0 + span),
              nb = Near(b_[i], b0, b0 + span);
    const int fr = Far(r_[i], r0, r0 + span), fg = Far(g_[i], g0, g0 + span),
              fb = Far(b_[i], b0, b0 + span);
    least[i] = nr * nr + ng * ng + nb * nb;
    most[i] = fr * fr + fg * fg + fb * fb;
  }
  std::int32_t bound = most[0];
  for (int i = 1; i < size_; ++i) bound = std::min(bound, most[i]);
  List& list = cells_[std::size_t(cell)];
  list.start = std::int32_t(candidates_.size());
  for (int i = 0; i < size_; ++i)
    if (least[i] <= bound)
      candidates_.push_back({least[i], std::uint8_t(r_[i]), std::uint8_t(g_[i]),
                             std::uint8_t(b_[i]), std::uint8_t(i)});
  list.count = std::int32_t(candidates_.size()) - list.start;
  std::stable_sort(
      candidates_.begin() + list.start, candidates_.end(),
      [](const Candidate& x, const Candidate& y) { return x.least < y.least; });
}

std::uint8_t TGIFNearestColor::Find(TGIFRGB color) {
  if (size_ == 0) return 0;
  const int shift = 8 - bits_;
  const TGIFRGB mask = (TGIFRGB(1) << bits_) - 1;
  const int cell =
      int(((color >> (16 + shift)) & mask) << (2 * bits_) |
          ((color >> (8 + shift)) & mask) << bits_ | ((color >> shift) & mask));
  if (cells_[std::size_t(cell)].start < 0) Fill(cell);
  const List& list = cells_[std::size_t(cell)];
  const int r = Channel(color, 0), g = Channel(color, 1), b = Channel(color, 2);
  const Candidate* c = &candidates_[std::size_t(list.start)];
  const Candidate* const end = c + list.count;
  int best = c->index;
  int bestDistance = 1 << 30;
  // Past a candidate whose cell distance exceeds the best distance, none
  // can be nearer, nor as near.
  for (; c != end && c->least <= bestDistance; ++c) {
    const int dr = r - c->r, dg = g - c->g, db = b - c->b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance || (d == bestDistance && c->index < best)) {
      bestDistance = d;
      best = c->index;
    }
  }
  return std::uint8_t(best);
}

// --- mapping -----------------------------------------------------------------

namespace {

// How much of the diffused error a pixel takes and passes on, in sixteenths,
// from the largest step (in any channel) to a neighbour. Smooth gradients,
// where bands would show, take most of it (not all: full diffusion speckles
// more than it smooths); texture, which hides the bands itself, and edges,
// where error spilt over the edge shows as a fringe, take little.
constexpr int kSmooth = 8;
constexpr int kRough = 48;
constexpr int kSmoothShare = 12;
constexpr int kRoughShare = 2;

int DitherShare(int step) {
  if (step <= kSmooth) return kSmoothShare;
  if (step >= kRough) return kRoughShare;
  return kSmoothShare -
         (kSmoothShare - kRoughShare) * (step - kSmooth) / (kRough - kSmooth);
}

// A flat area whose colour has an entry nearer than this (squared distance)
// is shown in that entry alone: mixing would only add specks.
constexpr int kFlatNear = 3 * 16 * 16;

int Distance(TGIFRGB a, TGIFRGB b) {
  int d = 0;
  for (int k = 0; k < 3; ++k) {
    const int delta = Channel(a, k) - Channel(b, k);
    d += delta * delta;
  }
  return d;
}

int Step(TGIFRGB a, TGIFRGB b) {
  int most = 0;
  for (int k = 0; k < 3; ++k)
    most = std::max(most, std::abs(Channel(a, k) - Channel(b, k)));
  return most;
}

}  // namespace

void GIFMapNearest(TGIFNearestColor& nearest, const TGIFRGB* pixels, std::size_t count,
                   std::uint8_t* out, const std::uint8_t* skip, std::uint8_t skipIndex) {
  TGIFRGB last = 0;
  std::uint8_t lastIndex = 0;
  bool haveLast = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (skip && skip[i]) {
      out[i] = skipIndex;
      continue;
    }
    const TGIFRGB c = pixels[i] & 0xFFFFFF;
    if (!haveLast || c != last) {
      last = c;
      lastIndex = nearest.Find(c);
      haveLast = true;
    }
    out[i] = lastIndex;
  }
}

void GIFMapToPalette(const TGIFRGB* pixels, int width, int height,
                     const std::vector<TGIFRGB>& palette, bool dither, std::uint8_t* out,
                     const std::uint8_t* skip, std::uint8_t skipIndex) {
  TGIFNearestColor nearest(palette);
  const std::size_t w = std::size_t(std::max(width, 0));
  const std::size_t h = std::size_t(std::max(height, 0));
  if (!dither || palette.empty()) {
    GIFMapNearest(nearest, pixels, w * h, out, skip, skipIndex);
    return;
  }
  auto skipped = [skip](std::size_t i) { return skip && skip[i]; };
  constexpr int kRecentBits = 14;
  std::vector<TGIFRGB> recent(std::size_t(1) << kRecentBits, 0xFFFFFFFF);
  std::vector<std::uint8_t> recentIndex(recent.size(), 0);
  // Errors in sixteenths, one pixel of margin on either side.
  std::vector<int> current((w + 2) * 3, 0), next((w + 2) * 3, 0);
  for (std::size_t y = 0; y < h; ++y) {
    std::fill(next.begin(), next.end(), 0);
    // Rows alternate in direction, so that error doesn't drift one way.
    const bool back = y % 2 == 1;
    for (std::size_t step = 0; step < w; ++step) {
      const std::size_t x = back ? w - 1 - step : step;
      const std::size_t i = y * w + x;
      if (skipped(i)) {
        out[i] = skipIndex;
        continue;
      }
      const TGIFRGB source = pixels[i] & 0xFFFFFF;
      int most = 0;
      bool any = false;
      auto neighbour = [&](std::size_t j) {
        if (skipped(j)) return;
        most = std::max(most, Step(source, pixels[j] & 0xFFFFFF));
        any = true;
      };
      if (x > 0) neighbour(i - 1);
      if (x + 1 < w) neighbour(i + 1);
      if (y > 0) neighbour(i - w);
      if (y + 1 < h) neighbour(i + w);
      int share = DitherShare(most);
      if (any && most == 0) {
        const std::uint8_t plain = nearest.Find(source);
        if (Distance(source, palette[plain]) < kFlatNear) {
          out[i] = plain;
          continue;
        }
        share = 16;
      }
      int* e = &current[(x + 1) * 3];
      int value[3];
      for (int a = 0; a < 3; ++a)
        value[a] = std::clamp(Channel(source, a) + e[a] * share / 256, 0, 255);
      const TGIFRGB want = Pack(value[0], value[1], value[2]);
      // Dithered colours repeat, on gradients above all: a small table of
      // the ones last looked up saves some searches.
      const std::size_t slot = (want * 2654435761u) >> (32 - kRecentBits);
      if (recent[slot] != want) {
        recent[slot] = want;
        recentIndex[slot] = nearest.Find(want);
      }
      const std::uint8_t index = recentIndex[slot];
      out[i] = index;
      // Forward along the row: 7; on the next row behind, below, ahead: 3, 5, 1.
      const std::size_t ahead = back ? x : x + 2, behind = back ? x + 2 : x;
      for (int a = 0; a < 3; ++a) {
        const int error = (value[a] - Channel(palette[index], a)) * share / 16;
        current[ahead * 3 + std::size_t(a)] += error * 7;
        next[behind * 3 + std::size_t(a)] += error * 3;
        next[(x + 1) * 3 + std::size_t(a)] += error * 5;
        next[ahead * 3 + std::size_t(a)] += error;
      }
    }
    std::swap(current, next);
  }
}

}  // namespace velmora
