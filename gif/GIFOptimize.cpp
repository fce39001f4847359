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
  std::vector<TGIFRGB> palette = SharedColors(frames);
  const bool exact = !palette.empty();
  if (!exact) {
    // One table for all frames: no table per frame to store, and a pixel
    // whose colour changed a little may keep the entry it is shown with.
    // An animation keeps one entry free for the transparent pixels.
    TGIFHistogram histogram;
    std::vector<TGIFPixelRun> runs;
    for (const TGIFRGBFrame& f : frames) {
      histogram.Add(f.Pixels.data(), f.Pixels.size());
      runs.push_back({f.Pixels.data(), f.Pixels.size()});
    }
    palette = histogram.Palette(frames.size() > 1 ? 255 : 256);
    GIFRefinePalette(palette, runs);
  }
  for (TGIFRGB c : palette)
    image.Header->ColorMap->Add(
        RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)));
  const bool dither = !exact && options.Dither;

  const bool animated = frames.size() > 1;
  const int delay = std::clamp((options.DelayMs + 5) / 10, 0, 65535);
  // The index each pixel of the screen shows after the frames so far.
  std::vector<std::uint8_t> shown(std::size_t(width) * std::size_t(height), 0);
  // What is shown stands for frame base: the last frame left in place.
  std::size_t base = 0;
  std::vector<std::uint8_t> before;
  std::vector<TGIFRGB> pixels;
  std::vector<std::uint8_t> index, keep;
  for (std::size_t t = 0; t < frames.size(); ++t) {
    const TGIFRGBFrame& frame = frames[t];
    TRect rect = t == 0 ? Rect(0, 0, width, height) : ChangedRect(frames[base], frame);
    int w = rect.Width(), h = rect.Height();
    // Pixels whose colour changed are mapped; those that map to what is
    // shown already are kept too, and the frame shrinks to the others.
    TRect crop = Rect(0, 0, 0, 0);
    if (w > 0 && h > 0) {
      const std::size_t n = std::size_t(w) * std::size_t(h);
      keep.assign(n, 0);
      index.resize(n);
      // The first frame is whole and mapped where it is, without a copy.
      if (t > 0) {
        pixels.resize(n);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const std::size_t from = std::size_t(rect.Top + y) * std::size_t(width) +
                                     std::size_t(rect.Left + x);
            const std::size_t to = std::size_t(y) * std::size_t(w) + std::size_t(x);
            pixels[to] = frame.Pixels[from] & 0xFFFFFF;
            keep[to] = (frames[base].Pixels[from] & 0xFFFFFF) == pixels[to];
          }
      }
      GIFMapToPalette(t > 0 ? pixels.data() : frame.Pixels.data(), w, h, palette, dither,
                      index.data(), keep.data());
      int left = w, top = h, right = 0, bottom = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
          const std::size_t at =
              std::size_t(rect.Top + y) * std::size_t(width) + std::size_t(rect.Left + x);
          if (!keep[i] && t > 0 && index[i] == shown[at]) keep[i] = 1;
          if (keep[i]) continue;
          left = std::min(left, x);
          right = std::max(right, x + 1);
          top = std::min(top, y);
          bottom = y + 1;
        }
      if (right > left) crop = Rect(left, top, right, bottom);
    }
    // A frame that changes nothing still gets its place in the timeline:
    // one transparent pixel.
    const bool same = crop.Right <= crop.Left;
    if (same) {
      rect = Rect(0, 0, 1, 1);
      crop = Rect(0, 0, 1, 1);
      w = h = 1;
      index.assign(1, 0);
      keep.assign(1, 1);
    }

    // A frame whose change the next one takes back (a blink, a pop-up) is
    // undone after it is shown, when the next frame then has less to cover.
    bool restore = false;
    if (t > 0 && t + 1 < frames.size()) {
      const TRect fromThis = ChangedRect(frame, frames[t + 1]);
      const TRect fromBase = ChangedRect(frames[base], frames[t + 1]);
      restore =
          fromBase.Width() * fromBase.Height() < fromThis.Width() * fromThis.Height();
    }
    if (restore) before = shown;

    auto* sub = new TGIFSubImage(&image);
    image.Images->Add(sub);
    if (t == 0 && options.Loops >= 0) {
      auto* loop = new TGIFAppExtNSLoop(sub);
      loop->Loops = std::uint16_t(std::clamp(options.Loops, 0, 65535));
      sub->Extensions->Add(loop);
    }
    sub->SetBounds(rect.Left + crop.Left, rect.Top + crop.Top, crop.Width(),
                   crop.Height());
    std::uint8_t* data = sub->Data.get();
    bool used[256] = {};
    bool anyKept = false;
    for (int y = crop.Top; y < crop.Bottom; ++y)
      for (int x = crop.Left; x < crop.Right; ++x) {
        const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
        if (keep[i])
          anyKept = true;
        else
          used[index[i]] = true;
      }
    // The kept pixels take an index that no changed pixel uses; without
    // one, they repeat what is shown.
    int transparent = -1;
    if (anyKept) {
      for (int i = 0; i < 256 && transparent < 0; ++i)
        if (!used[i]) transparent = i;
      // Past the table the index needs an entry of its own, once.
      if (transparent >= int(palette.size()) &&
          image.Header->ColorMap->GetCount() == int(palette.size()))
        image.Header->ColorMap->Add(clBlack);
    }
    // A kept pixel may also repeat what is shown: it does when that
    // continues the run of the pixel before it, which LZW stores cheaper.
    std::uint8_t* out = data;
    for (int y = crop.Top; y < crop.Bottom; ++y)
      for (int x = crop.Left; x < crop.Right; ++x) {
        const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
        std::uint8_t& on = shown[std::size_t(rect.Top + y) * std::size_t(width) +
                                 std::size_t(rect.Left + x)];
        if (!keep[i])
          *out = on = index[i];
        else if (transparent < 0 || (out > data && out[-1] == on))
          *out = on;
        else
          *out = std::uint8_t(transparent);
        ++out;
      }

    if (animated || transparent >= 0) {
      auto* gce = new TGIFGraphicControlExtension(sub);
      sub->Extensions->Add(gce);
      gce->SetDisposal(restore ? dmPrevious : dmNoDisposal);
      if (animated) gce->SetDelay(delay);
      if (transparent >= 0) {
        gce->SetTransparentColorIndex(transparent);
        gce->SetTransparent(true);
      }
    }
    if (restore)
      shown.swap(before);
    else
      base = t;
  }
}

}  // namespace velmora
