#include "gif/GIFOptimize.h"

#include <algorithm>
#include <unordered_map>

namespace velmora {

namespace {

const char* const kFrameSizesDiffer = "Frames differ in size";

// The colours of all frames, in the order met; empty when there are more
// than 256.
std::vector<TGIFRGB> SharedColors(const std::vector<TGIFRGBFrame>& frames) {
  std::unordered_map<TGIFRGB, int> seen;
  std::vector<TGIFRGB> colors;
  for (const TGIFRGBFrame& frame : frames) {
    TGIFRGB last = 0;
    bool haveLast = false;
    for (TGIFRGB p : frame.Pixels) {
      p &= 0xFFFFFF;
      if (haveLast && p == last) continue;
      last = p;
      haveLast = true;
      if (seen.emplace(p, int(colors.size())).second) {
        if (colors.size() == 256) return {};
        colors.push_back(p);
      }
    }
  }
  return colors;
}

// The rectangle where two frames differ; empty when they are the same.
TRect ChangedRect(const TGIFRGBFrame& before, const TGIFRGBFrame& after) {
  const int w = after.Width, h = after.Height;
  int left = w, top = h, right = 0, bottom = 0;
  for (int y = 0; y < h; ++y) {
    const TGIFRGB* a = &before.Pixels[std::size_t(y) * std::size_t(w)];
    const TGIFRGB* b = &after.Pixels[std::size_t(y) * std::size_t(w)];
    int x0 = 0;
    while (x0 < w && ((a[x0] ^ b[x0]) & 0xFFFFFF) == 0) ++x0;
    if (x0 == w) continue;
    int x1 = w;
    while (((a[x1 - 1] ^ b[x1 - 1]) & 0xFFFFFF) == 0) --x1;
    left = std::min(left, x0);
    right = std::max(right, x1);
    top = std::min(top, y);
    bottom = y + 1;
  }
  if (right <= left) return Rect(0, 0, 0, 0);
  return Rect(left, top, right, bottom);
}

}  // namespace

void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options) {
  if (frames.empty()) Error(_sEmptyImage);
  const int width = frames[0].Width, height = frames[0].Height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) Error(_sBadDimension);
  for (const TGIFRGBFrame& f : frames) {
    if (f.Width != width || f.Height != height) Error(kFrameSizesDiffer);
    if (f.Pixels.size() != std::size_t(width) * std::size_t(height))
      Error(_sBadDimension);
  }

  image.Clear();
  TLogicalScreenDescriptor& screen = image.Header->LogicalScreenDescriptor;
  screen.ScreenWidth = std::uint16_t(width);
  screen.ScreenHeight = std::uint16_t(height);
  screen.PackedFields = lsdColorResolution;  // 8 bits per primary
  const std::vector<TGIFRGB> shared = SharedColors(frames);
  const bool global = !shared.empty();
  for (TGIFRGB c : shared)
    image.Header->ColorMap->Add(
        RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)));

  const bool animated = frames.size() > 1;
  const int delay = std::clamp((options.DelayMs + 5) / 10, 0, 65535);
  std::vector<TGIFRGB> pixels;
  std::vector<std::uint8_t> unchanged;
  for (std::size_t t = 0; t < frames.size(); ++t) {
    const TGIFRGBFrame& frame = frames[t];
    TRect rect = t == 0 ? Rect(0, 0, width, height) : ChangedRect(frames[t - 1], frame);
    // A frame like the one before still gets a place in the timeline: one
    // transparent pixel.
    const bool same = rect.Right <= rect.Left;
    if (same) rect = Rect(0, 0, 1, 1);
    const int w = rect.Width(), h = rect.Height();
    const std::size_t n = std::size_t(w) * std::size_t(h);
    pixels.resize(n);
    unchanged.assign(n, 0);
    bool anyUnchanged = false;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t from =
            std::size_t(rect.Top + y) * std::size_t(width) + std::size_t(rect.Left + x);
        const std::size_t to = std::size_t(y) * std::size_t(w) + std::size_t(x);
        pixels[to] = frame.Pixels[from] & 0xFFFFFF;
        if (t > 0 && (frames[t - 1].Pixels[from] & 0xFFFFFF) == pixels[to]) {
          unchanged[to] = 1;
          anyUnchanged = true;
        }
      }

    auto* sub = new TGIFSubImage(&image);
    image.Images->Add(sub);
    if (t == 0 && options.Loops >= 0) {
      auto* loop = new TGIFAppExtNSLoop(sub);
      loop->Loops = std::uint16_t(std::clamp(options.Loops, 0, 65535));
      sub->Extensions->Add(loop);
    }
    sub->SetBounds(rect.Left, rect.Top, w, h);
    std::uint8_t* data = sub->Data.get();

    std::vector<TGIFRGB> palette;
    bool reduced = false;
    if (global) {
      palette = shared;
    } else {
      const int room = anyUnchanged ? 255 : 256;
      palette = GIFDistinctColors(pixels.data(), n, std::size_t(room), unchanged.data());
      if (palette.empty() && !same) {
        palette = GIFQuantize(pixels.data(), n, room, unchanged.data());
        reduced = true;
      }
    }
    GIFMapToPalette(pixels.data(), w, h, palette, reduced && options.Dither, data,
                    anyUnchanged ? unchanged.data() : nullptr);

    // The unchanged pixels take an index that no changed pixel uses.
    int transparent = -1;
    if (anyUnchanged) {
      bool used[256] = {};
      for (std::size_t i = 0; i < n; ++i)
        if (!unchanged[i]) used[data[i]] = true;
      for (int i = 0; i < 256 && transparent < 0; ++i)
        if (!used[i]) transparent = i;
      if (transparent >= int(palette.size())) {
        // Past the table: the index needs an entry of its own, once.
        if (!global)
          palette.push_back(0);
        else if (image.Header->ColorMap->GetCount() == int(shared.size()))
          image.Header->ColorMap->Add(clBlack);
      }
      TGIFNearestColor exact(palette);
      for (std::size_t i = 0; i < n; ++i)
        if (unchanged[i])
          data[i] = transparent >= 0 ? std::uint8_t(transparent) : exact.Find(pixels[i]);
    }
    if (!global)
      for (TGIFRGB c : palette)
        sub->ColorMap->Add(
            RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)));

    if (animated || transparent >= 0) {
      auto* gce = new TGIFGraphicControlExtension(sub);
      sub->Extensions->Add(gce);
      gce->SetDisposal(dmNoDisposal);
      if (animated) gce->SetDelay(delay);
      if (transparent >= 0) {
        gce->SetTransparentColorIndex(transparent);
        gce->SetTransparent(true);
      }
    }
  }
}

}  // namespace velmora
