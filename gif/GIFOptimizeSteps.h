// The frame optimiser's working parts, shared by the writing of true-colour
// frames (GIFOptimize.cpp), of indexed ones (GIFOptimizeIndexed.cpp) and the
// choice of what kept pixels store (GIFOptimizeKept.cpp); the optimiser's
// contract is in GIFOptimize.h. For those three files only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gif/GIFOptimize.h"

namespace velmora::optimize {

// The error for frames not all of the first one's size.
inline constexpr const char* kFrameSizesDiffer = "Frames differ in size";

// A transparent pixel among 0x00RRGGBB colours.
inline constexpr std::uint32_t kClear = 0x01000000;
// What the screen shows where no frame has drawn yet, or a frame was cleared.
inline constexpr std::uint16_t kNothing = 256;

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

inline Box Joined(Box a, const Box& b) {
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

// The global table: its colours, the entry of transparent pixels and the
// opaque entries, which opaque pixels are mapped to.
struct Table {
  std::vector<TGIFRGB> Palette;
  std::vector<TGIFRGB> Opaque;
  int ClearIndex = -1;  // -1: no transparent pixels
  bool Exact = false;   // every colour of the frames has an entry
};

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
// the screen shows between them. The choice of what the kept pixels store
// (ChooseKeptPixels, FillKept) is in GIFOptimizeKept.cpp.
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

// Starts image over as a screen of width x height with the table's colours.
void StartImage(TGIFImage& image, int width, int height, const Table& table);

}  // namespace velmora::optimize
