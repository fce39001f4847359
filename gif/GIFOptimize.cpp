#include "gif/GIFOptimize.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "gif/GIFExtensions.h"

namespace velmora {

namespace {

const char* const kFrameSizesDiffer = "Frames differ in size";

// A transparent pixel among 0x00RRGGBB colours.
constexpr std::uint32_t kClear = 0x01000000;
// What the screen shows where no frame has drawn yet, or a frame was cleared.
constexpr std::uint16_t kNothing = 256;

struct Box {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  std::int64_t Area() const {
    return Empty() ? 0 : std::int64_t(Right - Left) * (Bottom - Top);
  }
  bool operator==(const Box&) const = default;
  void Add(const Box& b) {
    if (b.Empty()) return;
    if (Empty()) {
      *this = b;
      return;
    }
    Left = std::min(Left, b.Left);
    Top = std::min(Top, b.Top);
    Right = std::max(Right, b.Right);
    Bottom = std::max(Bottom, b.Bottom);
  }
};

Box Joined(Box a, const Box& b) {
  a.Add(b);
  return a;
}

// The box around the pixels of region for which differ(i, x, y) holds, i
// being the pixel's place on a screen width pixels wide, looking only in
// rows for which row(y) holds.
template <class Row, class Differ>
Box BoxOfRows(int width, const Box& region, Row row, Differ differ) {
  int left = region.Right, top = region.Bottom, right = region.Left, bottom = region.Top;
  for (int y = region.Top; y < region.Bottom; ++y) {
    if (!row(y)) continue;
    const std::size_t at = std::size_t(y) * std::size_t(width);
    int x0 = region.Left;
    while (x0 < region.Right && !differ(at + std::size_t(x0), x0, y)) ++x0;
    if (x0 == region.Right) continue;
    int x1 = region.Right;
    while (!differ(at + std::size_t(x1 - 1), x1 - 1, y)) --x1;
    left = std::min(left, x0);
    right = std::max(right, x1);
    top = std::min(top, y);
    bottom = y + 1;
  }
  if (right <= left) return {};
  return {left, top, right, bottom};
}

// The same over every row of region. Callers pass the smallest region known
// to hold every such pixel: the box of what changed since the frame before,
// not the screen.
template <class Differ>
Box BoxWhere(int width, const Box& region, Differ differ) {
  return BoxOfRows(
      width, region, [](int) { return true; }, differ);
}

// The box where two frames of pixels differ. Whole rows are compared first:
// most rows of an animation stay as they were. same(i) says whether the
// pixels at i show the same, for rows whose bytes differ.
template <class Pixel, class Same>
Box ChangedBox(const Pixel* a, const Pixel* b, int width, int height, Same same) {
  const std::size_t w = std::size_t(width);
  return BoxOfRows(
      width, Box{0, 0, width, height},
      [&](int y) {
        return std::memcmp(a + std::size_t(y) * w, b + std::size_t(y) * w,
                           w * sizeof(Pixel)) != 0;
      },
      [&](std::size_t i, int, int) { return !same(i); });
}

// A frame as the writer sees it: its colours and kClear, given or made from
// indices when the writer asks for them (StepPixels); the first of the
// frames it shows; its delay in hundredths of a second; and the box where
// the next step differs from it (the first step, after the last).
struct Step {
  std::vector<std::uint32_t> Owned;
  const std::uint32_t* Pixels = nullptr;
  const std::uint8_t* Indices = nullptr;
  std::size_t First = 0;
  int Delay = 0;
  Box Changed{};
};

// The colours of each step: those given, or made from the step's indices
// when first asked for, in one of three buffers used over and over. The
// writer asks for the step it writes, the next one, and the first one once
// more after the last, so that no step is made twice.
class StepPixels {
 public:
  StepPixels(const std::vector<Step>& steps, const std::vector<TGIFRGB>* palette,
             std::size_t n)
      : steps_(steps), palette_(palette), n_(n) {}

  const std::uint32_t* operator()(std::size_t t) {
    const Step& step = steps_[t];
    if (step.Pixels) return step.Pixels;
    // The first step keeps a buffer of its own; the others take the one
    // holding the earlier step.
    Slot* slot = &slots_[0];
    if (t > 0) {
      Slot& a = slots_[1];
      Slot& b = slots_[2];
      if (a.T == t || b.T == t)
        slot = a.T == t ? &a : &b;
      else if (a.T == kNone || (b.T != kNone && a.T < b.T))
        slot = &a;
      else
        slot = &b;
    }
    if (slot->T != t) {
      slot->Pixels.resize(n_);
      const std::vector<TGIFRGB>& palette = *palette_;
      for (std::size_t i = 0; i < n_; ++i) slot->Pixels[i] = palette[step.Indices[i]];
      slot->T = t;
    }
    return slot->Pixels.data();
  }

 private:
  static constexpr std::size_t kNone = std::size_t(-1);
  struct Slot {
    std::size_t T = kNone;
    std::vector<std::uint32_t> Pixels;
  };
  const std::vector<Step>& steps_;
  const std::vector<TGIFRGB>* palette_;
  const std::size_t n_;
  Slot slots_[3];
};

std::uint32_t Blend(std::uint32_t c, std::uint32_t over, unsigned a) {
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const unsigned f = (c >> shift) & 0xFF, b = (over >> shift) & 0xFF;
    out |= ((f * a + b * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

// The frames' pixels with transparency resolved, consecutive equal frames
// merged (their delays added). A frame that needs no change is used in place.
std::vector<Step> Steps(const std::vector<TGIFRGBFrame>& frames,
                        const TGIFFramesOptions& options) {
  const std::size_t n = frames[0].Pixels.size();
  std::vector<Step> steps;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const TGIFRGBFrame& f = frames[k];
    const int ms = f.DelayMs >= 0 ? f.DelayMs : options.DelayMs;
    const int delay = std::clamp((ms + 5) / 10, 0, 65535);
    Step step;
    const bool colorOnly = std::none_of(f.Pixels.begin(), f.Pixels.end(),
                                        [](TGIFRGB c) { return c > 0xFFFFFF; });
    const bool opaque = std::all_of(f.Alpha.begin(), f.Alpha.end(),
                                    [](std::uint8_t a) { return a == 255; });
    if (opaque && colorOnly) {
      step.Pixels = f.Pixels.data();
    } else {
      step.Owned.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = f.Pixels[i] & 0xFFFFFF;
        const unsigned a = f.Alpha.empty() ? 255 : f.Alpha[i];
        if (a == 255)
          step.Owned[i] = c;
        else if (a == 0)
          step.Owned[i] = kClear;
        else if (options.Background >= 0)
          step.Owned[i] = Blend(c, std::uint32_t(options.Background) & 0xFFFFFF, a);
        else
          step.Owned[i] = int(a) >= options.AlphaThreshold ? c : kClear;
      }
      step.Pixels = step.Owned.data();
    }
    if (!steps.empty() &&
        std::memcmp(steps.back().Pixels, step.Pixels, n * sizeof(std::uint32_t)) == 0) {
      steps.back().Delay = std::min(steps.back().Delay + delay, 65535);
      continue;
    }
    step.Delay = delay;
    step.First = k;
    steps.push_back(std::move(step));
  }
  const int width = frames[0].Width, height = frames[0].Height;
  for (std::size_t t = 0; t < steps.size(); ++t) {
    const std::uint32_t* a = steps[t].Pixels;
    const std::uint32_t* b = steps[t + 1 < steps.size() ? t + 1 : 0].Pixels;
    steps[t].Changed =
        ChangedBox(a, b, width, height, [&](std::size_t i) { return a[i] == b[i]; });
  }
  return steps;
}

// The opaque colours of all frames when there are at most limit, in an
// order that lets frames after the first get by with low indices (the
// smallest LZW code size): the colours most frames change to first.
// Empty when there are more.
std::vector<TGIFRGB> SharedColors(const std::vector<Step>& steps, std::size_t n,
                                  std::size_t limit) {
  struct Use {
    int Frames = 0;
    std::int64_t Count = 0;
    int LastFrame = -1;
  };
  std::unordered_map<TGIFRGB, Use> seen;
  for (std::size_t t = 0; t < steps.size(); ++t) {
    const std::uint32_t* p = steps[t].Pixels;
    const std::uint32_t* before = t > 0 ? steps[t - 1].Pixels : nullptr;
    std::uint32_t last = kClear;
    Use* lastUse = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t c = p[i];
      if (c == kClear) continue;
      if (c != last || !lastUse) {
        auto [it, added] = seen.try_emplace(c);
        if (added && seen.size() > limit) return {};
        last = c;
        lastUse = &it->second;
      }
      ++lastUse->Count;
      if (before && before[i] != c && lastUse->LastFrame != int(t)) {
        lastUse->LastFrame = int(t);
        ++lastUse->Frames;
      }
    }
  }
  std::vector<std::pair<TGIFRGB, Use>> uses(seen.begin(), seen.end());
  std::sort(uses.begin(), uses.end(), [](const auto& a, const auto& b) {
    if (a.second.Frames != b.second.Frames) return a.second.Frames > b.second.Frames;
    if (a.second.Count != b.second.Count) return a.second.Count > b.second.Count;
    return a.first < b.first;
  });
  std::vector<TGIFRGB> colors;
  for (const auto& u : uses) colors.push_back(u.first);
  return colors;
}

// Orders a reduced palette as SharedColors orders an exact one: the entries
// that the changes of the most frames map to first.
void OrderForChanges(std::vector<TGIFRGB>& palette, const std::vector<Step>& steps,
                     std::size_t n) {
  struct Use {
    int Frames = 0;
    std::int64_t Count = 0;
    int LastFrame = -1;
  };
  std::vector<Use> uses(palette.size());
  TGIFNearestColor nearest(palette);
  for (std::size_t t = 1; t < steps.size(); ++t) {
    const std::uint32_t* p = steps[t].Pixels;
    const std::uint32_t* before = steps[t - 1].Pixels;
    std::uint32_t last = kClear;
    std::size_t entry = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t c = p[i];
      if (c == kClear || c == before[i]) continue;
      if (c != last) {
        entry = nearest.Find(c);
        last = c;
      }
      Use& use = uses[entry];
      ++use.Count;
      if (use.LastFrame != int(t)) {
        use.LastFrame = int(t);
        ++use.Frames;
      }
    }
  }
  std::vector<std::size_t> order(palette.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (uses[a].Frames != uses[b].Frames) return uses[a].Frames > uses[b].Frames;
    return uses[a].Count > uses[b].Count;
  });
  std::vector<TGIFRGB> ordered;
  for (std::size_t i : order) ordered.push_back(palette[i]);
  palette.swap(ordered);
}

// One table for all frames: no table per frame to store, and a pixel whose
// colour changed a little may keep the entry it is shown with. An animation
// keeps one entry free for the transparent pixels, which have an entry of
// their own and no say in the others.
std::vector<TGIFRGB> ReducedPalette(const std::vector<Step>& steps, std::size_t n,
                                    bool hasClear) {
  const std::size_t count = steps.size();
  const bool animated = count > 1;
  const int colors = animated || hasClear ? 255 : 256;
  TGIFHistogram histogram;
  std::vector<TGIFPixelRun> runs;
  std::vector<std::vector<std::uint8_t>> skips(hasClear ? count : 0);
  for (std::size_t t = 0; t < count; ++t) {
    const std::uint8_t* skip = nullptr;
    if (hasClear) {
      skips[t].resize(n);
      for (std::size_t i = 0; i < n; ++i) skips[t][i] = steps[t].Pixels[i] == kClear;
      skip = skips[t].data();
    }
    histogram.Add(steps[t].Pixels, n, skip);
    runs.push_back({steps[t].Pixels, n, skip});
  }
  std::vector<TGIFRGB> palette = histogram.Palette(colors);
  GIFRefinePalette(palette, runs);
  if (animated) OrderForChanges(palette, steps, n);
  return palette;
}

// The global table: its colours, the entry of transparent pixels and the
// opaque entries, which opaque pixels are mapped to.
struct Table {
  std::vector<TGIFRGB> Palette;
  std::vector<TGIFRGB> Opaque;
  int ClearIndex = -1;  // -1: no transparent pixels
  bool Exact = false;   // every colour of the frames has an entry
};

// Transparent pixels take index 0 of the exact table, the last of a
// reduced one.
Table ChooseTable(const std::vector<Step>& steps, std::size_t n, bool hasClear) {
  Table table;
  table.Palette = SharedColors(steps, n, hasClear ? 255 : 256);
  table.Exact = !table.Palette.empty();
  if (!table.Exact) {
    table.Palette = ReducedPalette(steps, n, hasClear);
    if (hasClear) {
      table.ClearIndex = int(table.Palette.size());
      table.Palette.push_back(0);
    }
  } else if (hasClear) {
    table.Palette.insert(table.Palette.begin(), 0);
    table.ClearIndex = 0;
  }
  table.Opaque = table.Palette;
  if (table.ClearIndex >= 0) table.Opaque.erase(table.Opaque.begin() + table.ClearIndex);
  return table;
}

enum class Dispose { Keep, Restore, Clear };

// One step on its way to a frame.
struct Frame {
  std::size_t T;                // its place among the steps
  const std::uint32_t* Target;  // the screen it must show
  bool Whole;                   // the first frame: whole and mapped in place
  Box Rect{};                   // the part of the screen it covers
  Dispose How = Dispose::Keep;  // how it goes when the next comes
  Box Cleared{};                // what clearing it must take away
  Box Crop{};                   // within Rect, what it stores
  int Transparent = -1;         // index of the kept pixels shown through
  bool AnyKept = false;         // pixels in Crop it leaves as shown
};

// Writes the steps as frames, one after the other, and keeps track of what
// the screen shows between them.
class FrameWriter {
 public:
  FrameWriter(TGIFImage& image, const std::vector<Step>& steps, StepPixels& pixels,
              const Table& table, int width, int height, const TGIFFramesOptions& options)
      : image_(image),
        steps_(steps),
        pixels_(pixels),
        table_(table),
        options_(options),
        width_(width),
        height_(height),
        animated_(steps.size() > 1),
        loops_(animated_ && options.Loops >= 0),
        shown_(animated_ ? std::size_t(width) * std::size_t(height) : 0, kNothing),
        shownColor_(shown_.size(), kClear),
        nearest_(table.Opaque) {}

  void Write(std::size_t t);

 private:
  void ChooseDisposal(Frame& f);
  void MapChanges(Frame& f);
  void ChooseTransparent(Frame& f) const;
  void ChooseKeptPixels(const Frame& f);
  void FillKept(const Frame& f, int split, bool shownAbove, bool runs,
                std::vector<std::uint8_t>& out) const;
  bool UsesTransparent(const Frame& f) const;
  void AddFrame(const Frame& f, bool usesTransparent);
  void UpdateScreen(const Frame& f);

  std::size_t ScreenAt(const Frame& f, int x, int y) const {
    return std::size_t(f.Rect.Top + y) * std::size_t(width_) +
           std::size_t(f.Rect.Left + x);
  }
  std::size_t RectAt(const Frame& f, int x, int y) const {
    return std::size_t(y) * std::size_t(f.Rect.Right - f.Rect.Left) + std::size_t(x);
  }
  template <class Differ>
  Box Where(const Box& region, Differ differ) const {
    return BoxWhere(width_, region, differ);
  }

  TGIFImage& image_;
  const std::vector<Step>& steps_;
  StepPixels& pixels_;
  const Table& table_;
  const TGIFFramesOptions& options_;
  const int width_, height_;
  const bool animated_, loops_;
  // What the screen shows: the index per pixel and the colour it stands
  // for; and before the frame that is to be taken back.
  std::vector<std::uint16_t> shown_;
  std::vector<std::uint32_t> shownColor_;
  std::vector<std::uint16_t> before_;
  std::vector<std::uint32_t> beforeColor_;
  // Where the screen's colours may differ from the last step written (what
  // its going took back or cleared): everywhere else it shows that step.
  Box dirty_{};
  // Every colour has an entry of an exact table, and always the same.
  TGIFNearestColor nearest_;
  // Per frame, over its Rect: the colours to map, their indices, which
  // pixels are kept; and over its Crop, the stored indices.
  std::vector<TGIFRGB> rectPixels_;
  std::vector<std::uint8_t> index_, keep_, candidate_, best_;
  // Over the Crop: the other index a kept pixel may take, and whether it may.
  std::vector<std::uint8_t> other_, flexible_;
};

void FrameWriter::Write(std::size_t t) {
  Frame f{.T = t, .Target = pixels_(t), .Whole = t == 0};
  // The target differs from the step before only where that step's
  // Changed box says, and the screen from that step only in dirty_.
  const Box differs = t == 0 ? Box{} : Joined(steps_[t - 1].Changed, dirty_);
  f.Rect =
      f.Whole ? Box{0, 0, width_, height_} : Where(differs, [&](std::size_t i, int, int) {
        return f.Target[i] != shownColor_[i];
      });
  const Box changed = f.Rect;
  ChooseDisposal(f);
  if (f.How == Dispose::Restore) {
    before_ = shown_;
    beforeColor_ = shownColor_;
  }
  MapChanges(f);
  ChooseTransparent(f);
  ChooseKeptPixels(f);
  AddFrame(f, UsesTransparent(f));
  if (animated_) {
    UpdateScreen(f);
    // A frame that changes no entry covers one pixel only, and the screen
    // keeps the colours it had over the rest of what changed.
    dirty_ = f.How == Dispose::Keep ? Box{} : f.Rect;
    if (Joined(f.Rect, changed) != f.Rect) dirty_.Add(changed);
  }
}

// How this frame goes when the next comes: left in place, taken back to the
// state before it, or its rectangle cleared. The cheapest for the next frame
// that lets it show its transparent pixels; after the last frame of a loop
// comes the first, which covers everything anyway.
void FrameWriter::ChooseDisposal(Frame& f) {
  const std::size_t count = steps_.size();
  if (!animated_ || (f.T + 1 >= count && !loops_)) return;
  const std::uint32_t* target = f.Target;
  const bool wrap = f.T + 1 == count;
  const std::uint32_t* next = pixels_(wrap ? 0 : f.T + 1);
  // The next step differs from this one only in its Changed box, and the
  // screen from this one only in Rect.
  const Box& changed = steps_[f.T].Changed;
  auto cost = [&](const Box& region, auto differ) {
    return wrap ? 0 : Where(region, differ).Area();
  };
  const Box mustClear = Where(changed, [&](std::size_t i, int, int) {
    return next[i] == kClear && target[i] != kClear;
  });
  std::int64_t cheapest = -1;
  if (mustClear.Empty())
    cheapest =
        cost(changed, [&](std::size_t i, int, int) { return next[i] != target[i]; });
  if (!f.Whole && options_.RestoreFrames) {
    const Box around = Joined(changed, f.Rect);
    const bool possible = Where(around, [&](std::size_t i, int, int) {
                            return next[i] == kClear && shownColor_[i] != kClear;
                          }).Empty();
    if (possible) {
      const std::int64_t c = cost(
          around, [&](std::size_t i, int, int) { return next[i] != shownColor_[i]; });
      if (cheapest < 0 || c < cheapest) {
        cheapest = c;
        f.How = Dispose::Restore;
      }
    }
  }
  Box area = f.Rect;
  area.Add(mustClear);
  auto inArea = [&](int x, int y) {
    return x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
  };
  const std::int64_t c = area.Area() - f.Rect.Area() +
                         cost(Joined(changed, area), [&](std::size_t i, int x, int y) {
                           return next[i] != (inArea(x, y) ? kClear : target[i]);
                         });
  if (cheapest < 0 || c < cheapest) {
    f.How = Dispose::Clear;
    f.Cleared = mustClear;
    f.Rect = area;
  }
}

// Pixels whose colour changed are mapped; those that map to what is shown
// already are kept too, and the frame shrinks to the others.
void FrameWriter::MapChanges(Frame& f) {
  const Box rect = f.Rect;
  const int w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  const std::uint32_t* target = f.Target;
  Box crop;
  if (!rect.Empty()) {
    const std::size_t m = std::size_t(w) * std::size_t(h);
    keep_.assign(m, 0);
    index_.resize(m);
    // The first frame is whole and mapped where it is, without a copy.
    if (f.Whole) {
      for (std::size_t i = 0; i < m; ++i) keep_[i] = target[i] == kClear;
    } else {
      rectPixels_.resize(m);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t from = ScreenAt(f, x, y), to = RectAt(f, x, y);
          rectPixels_[to] = target[from] & 0xFFFFFF;
          keep_[to] = target[from] == kClear || shownColor_[from] == target[from];
        }
    }
    const TGIFRGB* colors = f.Whole ? target : rectPixels_.data();
    if (!table_.Exact && options_.Dither) {
      GIFMapToPalette(colors, w, h, table_.Opaque, true, index_.data(), keep_.data());
    } else {
      // As GIFMapToPalette maps without dithering, with one nearest for all
      // frames instead of one made per frame.
      GIFMapNearest(nearest_, colors, m, index_.data(), keep_.data());
    }
    if (table_.ClearIndex == 0)
      for (std::size_t i = 0; i < m; ++i) index_[i] = std::uint8_t(index_[i] + 1);
    int left = w, top = h, right = 0, bottom = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = RectAt(f, x, y);
        if (!keep_[i] && !f.Whole && index_[i] == shown_[ScreenAt(f, x, y)]) keep_[i] = 1;
        if (keep_[i]) continue;
        left = std::min(left, x);
        right = std::max(right, x + 1);
        top = std::min(top, y);
        bottom = y + 1;
      }
    if (right > left) crop = Box{left, top, right, bottom};
    // The first frame stays whole; a cleared one covers what must go.
    if (f.Whole) crop = Box{0, 0, w, h};
    if (!f.Cleared.Empty())
      crop.Add(Box{f.Cleared.Left - rect.Left, f.Cleared.Top - rect.Top,
                   f.Cleared.Right - rect.Left, f.Cleared.Bottom - rect.Top});
  }
  // A frame that changes nothing still gets its place in the timeline: one
  // pixel that changes nothing.
  if (crop.Empty()) {
    f.Rect = Box{0, 0, 1, 1};
    crop = f.Rect;
    index_.assign(1, 0);
    keep_.assign(1, 1);
  }
  f.Crop = crop;
}

// The kept pixels take an index that no changed pixel uses: the one of
// transparent pixels, or else the lowest free one.
void FrameWriter::ChooseTransparent(Frame& f) const {
  bool used[257] = {};
  for (int y = f.Crop.Top; y < f.Crop.Bottom; ++y)
    for (int x = f.Crop.Left; x < f.Crop.Right; ++x) {
      const std::size_t i = RectAt(f, x, y);
      if (!keep_[i]) {
        used[index_[i]] = true;
      } else {
        f.AnyKept = true;
      }
    }
  f.Transparent = table_.ClearIndex;
  if (f.AnyKept && f.Transparent < 0) {
    for (int i = 0; i < 256 && f.Transparent < 0; ++i)
      if (!used[i]) f.Transparent = i;
  }
}

// The frame's indices over its Crop, kept pixels transparent or repeating
// what is shown: rows above split do one (what shownAbove says), rows below
// the other; with runs, a kept pixel repeats what is shown where that
// continues the run of the one before.
void FrameWriter::FillKept(const Frame& f, int split, bool shownAbove, bool runs,
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

bool FrameWriter::UsesTransparent(const Frame& f) const {
  if (f.Transparent < 0 || !f.AnyKept) return false;
  std::size_t o = 0;
  for (int y = f.Crop.Top; y < f.Crop.Bottom; ++y)
    for (int x = f.Crop.Left; x < f.Crop.Right; ++x, ++o)
      if (keep_[RectAt(f, x, y)] && best_[o] == f.Transparent) return true;
  return false;
}

void FrameWriter::AddFrame(const Frame& f, bool usesTransparent) {
  // Past the table the index needs an entry of its own, once.
  if (usesTransparent && f.Transparent >= image_.Header->ColorMap->GetCount())
    image_.Header->ColorMap->Add(clBlack);

  auto* sub = new TGIFSubImage(&image_);
  image_.Images->Add(sub);
  if (f.T == 0 && loops_) {
    auto* loop = new TGIFAppExtNSLoop(sub);
    loop->Loops = std::uint16_t(std::clamp(options_.Loops, 0, 65535));
    sub->Extensions->Add(loop);
  }
  sub->SetBounds(f.Rect.Left + f.Crop.Left, f.Rect.Top + f.Crop.Top,
                 f.Crop.Right - f.Crop.Left, f.Crop.Bottom - f.Crop.Top);
  std::copy(best_.begin(), best_.end(), sub->Data.get());

  if (animated_ || usesTransparent) {
    auto* gce = new TGIFGraphicControlExtension(sub);
    sub->Extensions->Add(gce);
    gce->SetDisposal(f.How == Dispose::Restore ? dmPrevious
                     : f.How == Dispose::Clear ? dmBackground
                                               : dmNoDisposal);
    if (animated_) gce->SetDelay(steps_[f.T].Delay);
    if (usesTransparent) {
      gce->SetTransparentColorIndex(f.Transparent);
      gce->SetTransparent(true);
    }
  }
}

// The screen after this frame, and after it goes.
void FrameWriter::UpdateScreen(const Frame& f) {
  const Box& rect = f.Rect;
  const Box& crop = f.Crop;
  for (int y = crop.Top; y < crop.Bottom; ++y)
    for (int x = crop.Left; x < crop.Right; ++x) {
      const std::size_t i = RectAt(f, x, y);
      if (!keep_[i]) shown_[ScreenAt(f, x, y)] = index_[i];
    }
  for (int y = rect.Top; y < rect.Bottom; ++y)
    std::copy(f.Target + std::size_t(y) * std::size_t(width_) + std::size_t(rect.Left),
              f.Target + std::size_t(y) * std::size_t(width_) + std::size_t(rect.Right),
              shownColor_.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(width_) +
                                                   std::size_t(rect.Left)));
  if (f.How == Dispose::Restore) {
    shown_.swap(before_);
    shownColor_.swap(beforeColor_);
  } else if (f.How == Dispose::Clear) {
    for (int y = rect.Top + crop.Top; y < rect.Top + crop.Bottom; ++y)
      for (int x = rect.Left + crop.Left; x < rect.Left + crop.Right; ++x) {
        const std::size_t at = std::size_t(y) * std::size_t(width_) + std::size_t(x);
        shown_[at] = kNothing;
        shownColor_[at] = kClear;
      }
  }
}

void CheckFrames(const std::vector<TGIFRGBFrame>& frames) {
  if (frames.empty()) Error(_sEmptyImage);
  const int width = frames[0].Width, height = frames[0].Height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) Error(_sBadDimension);
  for (const TGIFRGBFrame& f : frames) {
    if (f.Width != width || f.Height != height) Error(kFrameSizesDiffer);
    if (f.Pixels.size() != std::size_t(width) * std::size_t(height) ||
        (!f.Alpha.empty() && f.Alpha.size() != f.Pixels.size()))
      Error(_sBadDimension);
  }
}

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

void StartImage(TGIFImage& image, int width, int height, const Table& table) {
  image.Clear();
  TLogicalScreenDescriptor& screen = image.Header->LogicalScreenDescriptor;
  screen.ScreenWidth = std::uint16_t(width);
  screen.ScreenHeight = std::uint16_t(height);
  screen.PackedFields = lsdColorResolution;  // 8 bits per primary
  for (TGIFRGB c : table.Palette)
    image.Header->ColorMap->Add(
        RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)));
}

}  // namespace

void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options) {
  CheckFrames(frames);
  const int width = frames[0].Width, height = frames[0].Height;
  const std::size_t n = std::size_t(width) * std::size_t(height);
  const std::vector<Step> steps = Steps(frames, options);
  bool hasClear = false;
  for (const Step& s : steps)
    hasClear = hasClear || std::find(s.Pixels, s.Pixels + n, kClear) != s.Pixels + n;
  const Table table = ChooseTable(steps, n, hasClear);
  StartImage(image, width, height, table);
  StepPixels pixels(steps, nullptr, n);
  FrameWriter writer(image, steps, pixels, table, width, height, options);
  for (std::size_t t = 0; t < steps.size(); ++t) writer.Write(t);
}

std::vector<std::size_t> GIFFromIndexedFrames(TGIFImage& image,
                                              const TGIFIndexedFrames& frames,
                                              const TGIFFramesOptions& options) {
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
