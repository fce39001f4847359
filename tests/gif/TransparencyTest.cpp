// Frames with transparent pixels, written and read back through our reader
// and composed as a viewer shows them: what is transparent must show
// nothing, also where an earlier frame had colour, and on every pass.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "gif/GIFExtensions.h"
#include "gif/GIFOptimize.h"
#include "tests/gif/ComposedFrames.h"

namespace velmora {
namespace {

using test::Compose;
using test::SavedAndLoaded;

constexpr TGIFRGB kNone = 0xFFFFFFFF;  // what Compose shows where nothing is

// A frame with an alpha channel, all transparent.
TGIFRGBFrame Clear(int w, int h) {
  const std::size_t n = std::size_t(w) * std::size_t(h);
  return TGIFRGBFrame{w, h, std::vector<TGIFRGB>(n, 0x123456),
                      std::vector<std::uint8_t>(n, 0)};
}

void Paint(TGIFRGBFrame& f, int left, int top, int right, int bottom, TGIFRGB c,
           std::uint8_t alpha = 255) {
  for (int y = std::max(top, 0); y < std::min(bottom, f.Height); ++y)
    for (int x = std::max(left, 0); x < std::min(right, f.Width); ++x) {
      f.Pixels[std::size_t(y * f.Width + x)] = c;
      f.Alpha[std::size_t(y * f.Width + x)] = alpha;
    }
}

// What a viewer must show for a frame whose alpha is only 0 or 255.
std::vector<TGIFRGB> Expected(const TGIFRGBFrame& f) {
  std::vector<TGIFRGB> out(f.Pixels.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = f.Alpha[i] ? f.Pixels[i] : kNone;
  return out;
}

std::unique_ptr<TGIFImage> Written(const std::vector<TGIFRGBFrame>& frames,
                                   const TGIFFramesOptions& options = {}) {
  TGIFImage image;
  GIFFromFrames(image, frames, options);
  return SavedAndLoaded(image);
}

TEST(TransparentFrames, AStillKeepsItsTransparentPixels) {
  TGIFRGBFrame f = Clear(9, 7);
  Paint(f, 2, 1, 6, 5, 0x000000);  // black must not take the transparent entry
  Paint(f, 3, 2, 4, 3, 0xFF0000);
  auto back = Written({f});
  ASSERT_EQ(back->Images->GetCount(), 1);
  EXPECT_EQ(Compose(*back)[0], Expected(f));
}

TEST(TransparentFrames, PartlyTransparentPixelsFollowTheThresholdOrTheBackground) {
  TGIFRGBFrame f = Clear(4, 1);
  f.Pixels = {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000};
  f.Alpha = {0, 100, 200, 255};
  EXPECT_EQ(Compose(*Written({f}))[0],
            (std::vector<TGIFRGB>{kNone, kNone, 0xFF0000, 0xFF0000}));
  TGIFFramesOptions options;
  options.AlphaThreshold = 90;
  EXPECT_EQ(Compose(*Written({f}, options))[0],
            (std::vector<TGIFRGB>{kNone, 0xFF0000, 0xFF0000, 0xFF0000}));
  options.Background = 0x0000FF;  // laid over blue; the fully transparent one stays
  EXPECT_EQ(Compose(*Written({f}, options))[0],
            (std::vector<TGIFRGB>{kNone, 0x64009B, 0xC80037, 0xFF0000}));
}

// Random rectangles of colour and of transparency, some frames repeated,
// some taken back; with few colours and with many: every state exact in
// its transparency, and exact in colour when the colours fit.
TEST(TransparentFrames, RandomEditsComposeOnEveryPass) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    const int w = 1 + int(rng() % 30), h = 1 + int(rng() % 20);
    const bool many = round % 3 == 0;
    auto color = [&] {
      return many ? TGIFRGB(rng() & 0xFFFFFF) : TGIFRGB(0x010203 * (rng() % 5));
    };
    std::vector<TGIFRGBFrame> frames{Clear(w, h)};
    if (round % 2) Paint(frames[0], 0, 0, w, h, color());
    if (many)  // more colours than fit a table
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 2) Paint(frames[0], x, y, x + 1, y + 1, color());
    for (int t = 1; t < 10; ++t) {
      TGIFRGBFrame next =
          rng() % 4 == 0 && t > 1 ? frames[std::size_t(t - 2)] : frames.back();
      for (int edits = int(rng() % 3); edits > 0; --edits) {
        const int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        const int r = x + 1 + int(rng() % unsigned(w - x)),
                  b = y + 1 + int(rng() % unsigned(h - y));
        Paint(next, x, y, r, b, color(), rng() % 3 == 0 ? 0 : 255);
      }
      frames.push_back(next);
    }
    std::vector<std::vector<TGIFRGB>> distinct;
    for (const TGIFRGBFrame& f : frames)
      if (distinct.empty() || distinct.back() != Expected(f))
        distinct.push_back(Expected(f));
    for (bool dither : {false, true}) {
      TGIFFramesOptions options;
      options.Dither = dither;
      auto back = Written(frames, options);
      ASSERT_EQ(back->Images->GetCount(), int(distinct.size()));
      const auto states = Compose(*back, 2);
      for (std::size_t i = 0; i < states.size(); ++i) {
        const std::vector<TGIFRGB>& want = distinct[i % distinct.size()];
        for (std::size_t p = 0; p < want.size(); ++p) {
          ASSERT_EQ(states[i][p] == kNone, want[p] == kNone)
              << "round " << round << " state " << i << " pixel " << p;
          if (!many) {
            ASSERT_EQ(states[i][p], want[p]);
          }
        }
      }
    }
  }
}

// Equal frames in a row become one that shows as long as they all did.
TEST(TransparentFrames, MergedFramesKeepTheTotalTime) {
  TGIFRGBFrame a = Clear(8, 8), b = a;
  Paint(b, 1, 1, 3, 3, 0xABCDEF);
  std::vector<TGIFRGBFrame> frames = {a, a, b, b, b, a};
  const int delays[] = {30, 44, 100, 16, 5, 70};
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i].DelayMs = delays[i];
  auto back = Written(frames);
  ASSERT_EQ(back->Images->GetCount(), 3);
  int total = 0;
  for (int i = 0; i < 3; ++i)
    total += back->Images->GetImage(i)->GraphicControlExtension->GetDelay();
  // Each delay rounds to hundredths as it would in a frame of its own.
  EXPECT_EQ(total, 3 + 4 + 10 + 2 + 1 + 7);
  EXPECT_EQ(back->Images->GetImage(1)->GraphicControlExtension->GetDelay(), 13);
}

// Large frames fill the LZW table; it is cleared or kept full, whichever
// is smaller. Either way our reader must get every pixel back: a pattern a
// full table keeps coding well, noise, and the one turning into the other.
TEST(LargeFrames, EveryWayOfHandlingAFullTableReadsBack) {
  std::mt19937 rng(3);
  const int w = 320, h = 200;
  for (int kind = 0; kind < 3; ++kind) {
    TGIFRGBFrame f{w, h, std::vector<TGIFRGB>(std::size_t(w * h))};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool noise = kind == 1 || (kind == 2 && (y / 50) % 2 == 1);
        f.Pixels[std::size_t(y * w + x)] =
            noise ? TGIFRGB(rng() % 200) : TGIFRGB((x * 7 + (y % 13) * 3) % 200);
      }
    auto back = Written({f});
    EXPECT_EQ(Compose(*back)[0], f.Pixels) << kind;
  }
}

}  // namespace
}  // namespace velmora
