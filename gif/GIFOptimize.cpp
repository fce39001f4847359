#include "gif/GIFOptimize.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

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

// The box around the pixels for which differ(i) holds.
template <class Differ>
Box BoxWhere(int width, int height, Differ differ) {
  int left = width, top = height, right = 0, bottom = 0;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = std::size_t(y) * std::size_t(width);
    int x0 = 0;
    while (x0 < width && !differ(row + std::size_t(x0))) ++x0;
    if (x0 == width) continue;
    int x1 = width;
    while (!differ(row + std::size_t(x1 - 1))) --x1;
    left = std::min(left, x0);
    right = std::max(right, x1);
    top = std::min(top, y);
    bottom = y + 1;
  }
  if (right <= left) return {};
  return {left, top, right, bottom};
}

// A frame as the writer sees it: colours and kClear, and its delay in
// hundredths of a second.
struct Step {
  std::vector<std::uint32_t> Owned;
  const std::uint32_t* Pixels = nullptr;
  int Delay = 0;
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
  for (const TGIFRGBFrame& f : frames) {
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
    steps.push_back(std::move(step));
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

enum class Dispose { Keep, Restore, Clear };

}  // namespace

void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options) {
  if (frames.empty()) Error(_sEmptyImage);
  const int width = frames[0].Width, height = frames[0].Height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) Error(_sBadDimension);
  for (const TGIFRGBFrame& f : frames) {
    if (f.Width != width || f.Height != height) Error(kFrameSizesDiffer);
    if (f.Pixels.size() != std::size_t(width) * std::size_t(height) ||
        (!f.Alpha.empty() && f.Alpha.size() != f.Pixels.size()))
      Error(_sBadDimension);
  }
  const std::size_t n = std::size_t(width) * std::size_t(height);
  const std::vector<Step> steps = Steps(frames, options);
  const std::size_t count = steps.size();
  const bool animated = count > 1;
  bool hasClear = false;
  for (const Step& s : steps)
    hasClear = hasClear || std::find(s.Pixels, s.Pixels + n, kClear) != s.Pixels + n;

  image.Clear();
  TLogicalScreenDescriptor& screen = image.Header->LogicalScreenDescriptor;
  screen.ScreenWidth = std::uint16_t(width);
  screen.ScreenHeight = std::uint16_t(height);
  screen.PackedFields = lsdColorResolution;  // 8 bits per primary

  // Transparent pixels take index 0 of the exact table, the last of a
  // reduced one.
  std::vector<TGIFRGB> palette = SharedColors(steps, n, hasClear ? 255 : 256);
  const bool exact = !palette.empty();
  int clearIndex = -1;
  if (exact) {
    if (hasClear) {
      palette.insert(palette.begin(), 0);
      clearIndex = 0;
    }
  } else {
    // One table for all frames: no table per frame to store, and a pixel
    // whose colour changed a little may keep the entry it is shown with.
    // An animation keeps one entry free for the transparent pixels.
    const int colors = animated || hasClear ? 255 : 256;
    // Transparent pixels have an entry of their own and no say in the others.
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
    palette = histogram.Palette(colors);
    GIFRefinePalette(palette, runs);
    if (animated) OrderForChanges(palette, steps, n);
    if (hasClear) {
      clearIndex = int(palette.size());
      palette.push_back(0);
    }
  }
  // Opaque pixels are mapped to the opaque entries only.
  std::vector<TGIFRGB> opaque = palette;
  if (clearIndex >= 0) opaque.erase(opaque.begin() + clearIndex);
  const int offset = clearIndex == 0 ? 1 : 0;
  for (TGIFRGB c : palette)
    image.Header->ColorMap->Add(
        RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)));
  const bool dither = !exact && options.Dither;
  const bool loops = animated && options.Loops >= 0;

  // What the screen shows: the index per pixel and the colour it stands for.
  std::vector<std::uint16_t> shown(animated ? n : 0, kNothing);
  std::vector<std::uint32_t> shownColor(animated ? n : 0, kClear);
  std::vector<std::uint16_t> before;
  std::vector<std::uint32_t> beforeColor;
  std::vector<TGIFRGB> pixels;
  std::vector<std::uint8_t> index, keep, candidate, best;
  for (std::size_t t = 0; t < count; ++t) {
    const std::uint32_t* target = steps[t].Pixels;
    const bool whole = t == 0;
    Box rect =
        whole ? Box{0, 0, width, height} : BoxWhere(width, height, [&](std::size_t i) {
          return target[i] != shownColor[i];
        });

    // How this frame goes when the next comes: left in place, taken back
    // to the state before it, or its rectangle cleared. The cheapest for
    // the next frame that lets it show its transparent pixels; after the
    // last frame of a loop comes the first, which covers everything anyway.
    Dispose dispose = Dispose::Keep;
    Box cleared;
    if (animated && (t + 1 < count || loops)) {
      const bool wrap = t + 1 == count;
      const std::uint32_t* next = steps[wrap ? 0 : t + 1].Pixels;
      auto cost = [&](auto differ) {
        return wrap ? 0 : BoxWhere(width, height, differ).Area();
      };
      const Box mustClear = BoxWhere(width, height, [&](std::size_t i) {
        return next[i] == kClear && target[i] != kClear;
      });
      std::int64_t cheapest = -1;
      if (mustClear.Empty())
        cheapest = cost([&](std::size_t i) { return next[i] != target[i]; });
      if (!whole && options.RestoreFrames) {
        const bool possible = BoxWhere(width, height, [&](std::size_t i) {
                                return next[i] == kClear && shownColor[i] != kClear;
                              }).Empty();
        if (possible) {
          const std::int64_t c =
              cost([&](std::size_t i) { return next[i] != shownColor[i]; });
          if (cheapest < 0 || c < cheapest) {
            cheapest = c;
            dispose = Dispose::Restore;
          }
        }
      }
      Box area = rect;
      area.Add(mustClear);
      auto inArea = [&](std::size_t i) {
        const int x = int(i % std::size_t(width)), y = int(i / std::size_t(width));
        return x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
      };
      const std::int64_t c = area.Area() - rect.Area() + cost([&](std::size_t i) {
                               return next[i] != (inArea(i) ? kClear : target[i]);
                             });
      if (cheapest < 0 || c < cheapest) {
        dispose = Dispose::Clear;
        cleared = mustClear;
        rect = area;
      }
    }
    if (dispose == Dispose::Restore) {
      before = shown;
      beforeColor = shownColor;
    }

    // Pixels whose colour changed are mapped; those that map to what is
    // shown already are kept too, and the frame shrinks to the others.
    const int w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
    Box crop;
    if (!rect.Empty()) {
      const std::size_t m = std::size_t(w) * std::size_t(h);
      keep.assign(m, 0);
      index.resize(m);
      // The first frame is whole and mapped where it is, without a copy.
      if (whole) {
        for (std::size_t i = 0; i < m; ++i) keep[i] = target[i] == kClear;
      } else {
        pixels.resize(m);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const std::size_t from = std::size_t(rect.Top + y) * std::size_t(width) +
                                     std::size_t(rect.Left + x);
            const std::size_t to = std::size_t(y) * std::size_t(w) + std::size_t(x);
            pixels[to] = target[from] & 0xFFFFFF;
            keep[to] = target[from] == kClear || shownColor[from] == target[from];
          }
      }
      GIFMapToPalette(whole ? target : pixels.data(), w, h, opaque, dither, index.data(),
                      keep.data());
      if (offset)
        for (std::size_t i = 0; i < m; ++i) index[i] = std::uint8_t(index[i] + offset);
      int left = w, top = h, right = 0, bottom = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
          const std::size_t at =
              std::size_t(rect.Top + y) * std::size_t(width) + std::size_t(rect.Left + x);
          if (!keep[i] && !whole && index[i] == shown[at]) keep[i] = 1;
          if (keep[i]) continue;
          left = std::min(left, x);
          right = std::max(right, x + 1);
          top = std::min(top, y);
          bottom = y + 1;
        }
      if (right > left) crop = Box{left, top, right, bottom};
      // The first frame stays whole; a cleared one covers what must go.
      if (whole) crop = Box{0, 0, w, h};
      if (!cleared.Empty())
        crop.Add(Box{cleared.Left - rect.Left, cleared.Top - rect.Top,
                     cleared.Right - rect.Left, cleared.Bottom - rect.Top});
    }
    // A frame that changes nothing still gets its place in the timeline:
    // one pixel that changes nothing.
    if (crop.Empty()) {
      rect = Box{0, 0, 1, 1};
      crop = rect;
      index.assign(1, 0);
      keep.assign(1, 1);
    }
    const int rw = rect.Right - rect.Left;
    const int cw = crop.Right - crop.Left, ch = crop.Bottom - crop.Top;
    auto screenAt = [&](int x, int y) {
      return std::size_t(rect.Top + y) * std::size_t(width) + std::size_t(rect.Left + x);
    };

    bool used[257] = {};
    bool anyKept = false;
    for (int y = crop.Top; y < crop.Bottom; ++y)
      for (int x = crop.Left; x < crop.Right; ++x) {
        const std::size_t i = std::size_t(y) * std::size_t(rw) + std::size_t(x);
        if (!keep[i]) {
          used[index[i]] = true;
        } else {
          anyKept = true;
        }
      }
    // The kept pixels take an index that no changed pixel uses: the one of
    // transparent pixels, or else the lowest free one.
    int transparent = clearIndex;
    if (anyKept && transparent < 0) {
      for (int i = 0; i < 256 && transparent < 0; ++i)
        if (!used[i]) transparent = i;
    }
    // Each kept pixel may be transparent or repeat what is shown. Rows
    // above a split do one, rows below the other (all of them one way is
    // a split at an edge), or a pixel repeats what is shown where that
    // continues the run of the one before. Whichever LZW stores smallest;
    // the split is searched coarsely, then finer around the best.
    const std::size_t cm = std::size_t(cw) * std::size_t(ch);
    auto fill = [&](int split, bool shownAbove, bool runs,
                    std::vector<std::uint8_t>& out) {
      out.resize(cm);
      std::size_t o = 0;
      for (int y = crop.Top; y < crop.Bottom; ++y) {
        const bool repeat = transparent < 0 || (y - crop.Top < split) == shownAbove;
        for (int x = crop.Left; x < crop.Right; ++x, ++o) {
          const std::size_t i = std::size_t(y) * std::size_t(rw) + std::size_t(x);
          const std::uint16_t on = whole ? kNothing : shown[screenAt(x, y)];
          if (!keep[i])
            out[o] = index[i];
          else if (on != kNothing && (runs ? o > 0 && out[o - 1] == on : repeat))
            out[o] = std::uint8_t(on);
          else
            out[o] = std::uint8_t(transparent);
        }
      }
    };
    fill(0, true, false, best);  // all transparent
    if (anyKept && !whole && transparent >= 0) {
      std::int64_t size = GIFCompressedSize(best.data(), cw, ch);
      auto consider = [&](int split, bool shownAbove, bool runs) {
        fill(split, shownAbove, runs, candidate);
        const std::int64_t s = GIFCompressedSize(candidate.data(), cw, ch);
        if (s >= size) return false;
        size = s;
        best.swap(candidate);
        return true;
      };
      consider(0, false, false);  // all repeated
      consider(0, true, true);
      // Large frames get the coarse search only.
      const bool fine = cm <= (std::size_t(1) << 20);
      int step = std::max(1, ch / 16), bestSplit = -1;
      for (int round = 0; round < 3 && step > 0 && options.SplitSearch; ++round) {
        const int from = bestSplit < 0 ? step : std::max(1, bestSplit - 3 * step);
        const int to = bestSplit < 0 ? ch - 1 : std::min(ch - 1, bestSplit + 3 * step);
        for (int split = from; split <= to; split += step)
          for (bool above : {true, false})
            if (split != bestSplit && consider(split, above, false)) bestSplit = split;
        if (!fine || bestSplit < 0 || step == 1) break;
        step = std::max(1, step / 4);
      }
    }
    bool usesTransparent = false;
    if (transparent >= 0 && anyKept) {
      std::size_t o = 0;
      for (int y = crop.Top; y < crop.Bottom && !usesTransparent; ++y)
        for (int x = crop.Left; x < crop.Right; ++x, ++o)
          if (keep[std::size_t(y) * std::size_t(rw) + std::size_t(x)] &&
              best[o] == transparent) {
            usesTransparent = true;
            break;
          }
    }
    // Past the table the index needs an entry of its own, once.
    if (usesTransparent && transparent >= image.Header->ColorMap->GetCount())
      image.Header->ColorMap->Add(clBlack);

    auto* sub = new TGIFSubImage(&image);
    image.Images->Add(sub);
    if (t == 0 && loops) {
      auto* loop = new TGIFAppExtNSLoop(sub);
      loop->Loops = std::uint16_t(std::clamp(options.Loops, 0, 65535));
      sub->Extensions->Add(loop);
    }
    sub->SetBounds(rect.Left + crop.Left, rect.Top + crop.Top, cw, ch);
    std::copy(best.begin(), best.end(), sub->Data.get());

    if (animated || usesTransparent) {
      auto* gce = new TGIFGraphicControlExtension(sub);
      sub->Extensions->Add(gce);
      gce->SetDisposal(dispose == Dispose::Restore ? dmPrevious
                       : dispose == Dispose::Clear ? dmBackground
                                                   : dmNoDisposal);
      if (animated) gce->SetDelay(steps[t].Delay);
      if (usesTransparent) {
        gce->SetTransparentColorIndex(transparent);
        gce->SetTransparent(true);
      }
    }
    if (!animated) break;

    // The screen after this frame, and after it goes.
    for (int y = crop.Top; y < crop.Bottom; ++y)
      for (int x = crop.Left; x < crop.Right; ++x) {
        const std::size_t i = std::size_t(y) * std::size_t(rw) + std::size_t(x);
        if (!keep[i]) shown[screenAt(x, y)] = index[i];
      }
    for (int y = rect.Top; y < rect.Bottom; ++y)
      std::copy(target + std::size_t(y) * std::size_t(width) + std::size_t(rect.Left),
                target + std::size_t(y) * std::size_t(width) + std::size_t(rect.Right),
                shownColor.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(width) +
                                                    std::size_t(rect.Left)));
    if (dispose == Dispose::Restore) {
      shown.swap(before);
      shownColor.swap(beforeColor);
    } else if (dispose == Dispose::Clear) {
      for (int y = rect.Top + crop.Top; y < rect.Top + crop.Bottom; ++y)
        for (int x = rect.Left + crop.Left; x < rect.Left + crop.Right; ++x) {
          const std::size_t at = std::size_t(y) * std::size_t(width) + std::size_t(x);
          shown[at] = kNothing;
          shownColor[at] = kClear;
        }
    }
  }
}

}  // namespace velmora
