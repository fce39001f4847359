// True-colour frames to an optimised GIF: their steps and colour table, and
// the frame writer's disposal, mapping and output. Indexed frames are in
// GIFOptimizeIndexed.cpp, the choice of what kept pixels store in
// GIFOptimizeKept.cpp, the parts they share in GIFOptimizeSteps.h.
#include "gif/GIFOptimize.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "gif/GIFExtensions.h"
#include "gif/GIFOptimizeSteps.h"

namespace velmora {

namespace optimize {

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace optimize

void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options) {
  using namespace optimize;
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

}  // namespace velmora
