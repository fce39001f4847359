// The writer's colour reduction, frame optimisation and bitmap conversion,
// checked through files our reader loads back.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "gif/GIFExtensions.h"
#include "gif/GIFFromBitmap.h"
#include "gif/GIFOptimize.h"
#include "platform/classes/Bitmap.h"
#include "tests/gif/ComposedFrames.h"

namespace velmora {
namespace {

using test::Channel;
using test::Compose;
using test::Rgb;
using test::SavedAndLoaded;

TGIFRGBFrame Frame(int w, int h, TGIFRGB fill) {
  return TGIFRGBFrame{w, h, std::vector<TGIFRGB>(std::size_t(w) * std::size_t(h), fill)};
}

void FillRect(TGIFRGBFrame& f, int left, int top, int right, int bottom, TGIFRGB c) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) f.Pixels[std::size_t(y * f.Width + x)] = c;
}

// A smooth picture with as many colours as it has pixels.
TGIFRGBFrame Gradient(int w, int h) {
  TGIFRGBFrame f = Frame(w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f.Pixels[std::size_t(y * w + x)] =
          Rgb(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) % 256);
  return f;
}

double MeanError(const std::vector<TGIFRGB>& a, const std::vector<TGIFRGB>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    for (int k = 0; k < 3; ++k) sum += std::abs(Channel(a[i], k) - Channel(b[i], k));
  return sum / double(a.size() * 3);
}

TEST(Quantize, FewColoursStayExactManyAreCutToTheLimit) {
  std::vector<TGIFRGB> pixels = {Rgb(1, 2, 3), Rgb(9, 9, 9), Rgb(1, 2, 3),
                                 Rgb(200, 0, 0)};
  EXPECT_EQ(GIFQuantize(pixels.data(), pixels.size(), 3),
            (std::vector<TGIFRGB>{Rgb(1, 2, 3), Rgb(9, 9, 9), Rgb(200, 0, 0)}));
  EXPECT_TRUE(GIFDistinctColors(pixels.data(), pixels.size(), 2).empty());
  const std::uint8_t skip[4] = {0, 1, 0, 1};
  EXPECT_EQ(GIFDistinctColors(pixels.data(), pixels.size(), 1, skip),
            std::vector<TGIFRGB>{Rgb(1, 2, 3)});

  const TGIFRGBFrame g = Gradient(128, 96);
  const std::vector<TGIFRGB> palette = GIFQuantize(g.Pixels.data(), g.Pixels.size(), 256);
  EXPECT_EQ(palette.size(), 256u);
  EXPECT_EQ(std::set<TGIFRGB>(palette.begin(), palette.end()).size(), 256u);
  std::vector<std::uint8_t> index(g.Pixels.size());
  GIFMapToPalette(g.Pixels.data(), g.Width, g.Height, palette, false, index.data());
  std::vector<TGIFRGB> mapped;
  for (std::uint8_t i : index) mapped.push_back(palette[i]);
  // 12,288 colours in 256 boxes: each channel off by a few levels at most.
  EXPECT_LT(MeanError(g.Pixels, mapped), 4.0);

  const std::vector<TGIFRGB> two = GIFQuantize(g.Pixels.data(), g.Pixels.size(), 2);
  EXPECT_EQ(two.size(), 2u);
}

TEST(FramesToGif, AnAnimationIsCroppedTransparentAndExact) {
  // 256 colours in all, so the shared table has no spare entry: the
  // transparent index must be one the changed pixels don't use.
  TGIFRGBFrame a = Frame(40, 30, Rgb(255, 255, 255));
  for (int i = 0; i < 255; ++i) a.Pixels[std::size_t(i)] = Rgb(i, 0, 100);
  TGIFRGBFrame b = a;
  FillRect(b, 10, 12, 20, 20, Rgb(3, 0, 100));
  b.Pixels[std::size_t(15 * 40 + 15)] = Rgb(255, 255, 255);  // unchanged inside
  TGIFRGBFrame c = b;                                        // the same again
  TGIFRGBFrame d = b;
  FillRect(d, 39, 29, 40, 30, Rgb(0, 0, 100));
  // A pop-up that goes again as a pixel elsewhere changes: the pop-up frame
  // is taken back after it was shown, so the next covers just that pixel.
  TGIFRGBFrame e = d;
  FillRect(e, 5, 5, 35, 25, Rgb(7, 0, 100));
  TGIFRGBFrame f = d;
  FillRect(f, 0, 29, 1, 30, Rgb(9, 0, 100));
  const std::vector<TGIFRGBFrame> frames = {a, b, c, d, e, f};

  TGIFImage image;
  TGIFFramesOptions options;
  options.DelayMs = 250;
  options.Loops = 0;
  GIFFromFrames(image, frames, options);
  auto back = SavedAndLoaded(image);
  // c only lengthens b.
  ASSERT_EQ(back->Images->GetCount(), 5);
  EXPECT_EQ(back->GetColorMap()->GetCount(), 256);
  TGIFSubImage* f1 = back->Images->GetImage(1);
  EXPECT_EQ(f1->GetBoundsRect(), Rect(10, 12, 20, 20));
  ASSERT_TRUE(f1->GraphicControlExtension);
  EXPECT_TRUE(f1->GraphicControlExtension->GetTransparent());
  EXPECT_EQ(f1->GraphicControlExtension->GetDelay(), 50);
  EXPECT_EQ(f1->ColorMap->GetCount(), 0);
  EXPECT_EQ(back->Images->GetImage(2)->GetBoundsRect(), Rect(39, 29, 40, 30));
  EXPECT_EQ(back->Images->GetImage(2)->GraphicControlExtension->GetDisposal(),
            dmNoDisposal);
  EXPECT_EQ(back->Images->GetImage(3)->GraphicControlExtension->GetDisposal(),
            dmPrevious);
  EXPECT_EQ(back->Images->GetImage(4)->GetBoundsRect(), Rect(0, 29, 1, 30));
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(
      back->Images->GetImage(0)->Extensions->GetExtension(0));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Loops, 0);

  const auto states = Compose(*back);
  const std::vector<TGIFRGBFrame> shown = {a, b, d, e, f};
  for (std::size_t i = 0; i < shown.size(); ++i)
    EXPECT_EQ(states[i], shown[i].Pixels) << i;

  // Frames of different sizes are refused.
  std::vector<TGIFRGBFrame> mixed = {a, Frame(41, 30, 0)};
  EXPECT_THROW(GIFFromFrames(image, mixed, options), GIFException);
}

// Random edits, some taken back a frame later, over tables that are full or
// have room: what is composed is always the input, whether frames may be
// taken back or not.
TEST(FramesToGif, RandomEditsComposeExactly) {
  std::mt19937 rng(11);
  int restored = 0, restoredWhenNotAllowed = 0;
  for (int round = 0; round < 40; ++round) {
    const int w = 1 + int(rng() % 24), h = 1 + int(rng() % 16);
    const int colors = round % 4 == 0 ? 256 : 2 + int(rng() % 6);
    auto color = [&] { return Rgb(int(rng() % colors), 0, 9); };
    std::vector<TGIFRGBFrame> frames{Frame(w, h, color())};
    if (colors == 256)  // every colour present from the start
      for (std::size_t i = 0; i < frames[0].Pixels.size() && i < 256; ++i)
        frames[0].Pixels[i] = Rgb(int(i), 0, 9);
    for (int t = 1; t < 12; ++t) {
      TGIFRGBFrame next =
          rng() % 3 == 0 && t > 1 ? frames[std::size_t(t - 2)] : frames.back();
      for (int edits = int(rng() % 3); edits > 0; --edits) {
        const int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        FillRect(next, x, y, x + 1 + int(rng() % unsigned(w - x)),
                 y + 1 + int(rng() % unsigned(h - y)), color());
      }
      frames.push_back(next);
    }
    TGIFImage image;
    TGIFFramesOptions options;
    options.RestoreFrames = round % 3 != 2;
    GIFFromFrames(image, frames, options);
    auto back = SavedAndLoaded(image);
    // A frame the same as the one before is not repeated.
    std::vector<std::vector<TGIFRGB>> distinct;
    for (const TGIFRGBFrame& f : frames)
      if (distinct.empty() || distinct.back() != f.Pixels) distinct.push_back(f.Pixels);
    ASSERT_EQ(back->Images->GetCount(), int(distinct.size()));
    for (int i = 0; i < back->Images->GetCount(); ++i)
      (options.RestoreFrames ? restored : restoredWhenNotAllowed) +=
          back->Images->GetImage(i)->GraphicControlExtension->GetDisposal() == dmPrevious;
    const auto states = Compose(*back, 2);
    for (std::size_t i = 0; i < states.size(); ++i)
      ASSERT_EQ(states[i], distinct[i % distinct.size()])
          << "round " << round << " frame " << i;
  }
  EXPECT_GT(restored, 10);
  EXPECT_EQ(restoredWhenNotAllowed, 0);
}

// Frames given as indices make the file their colours make, byte for byte,
// with entries of equal colour read as one colour; and the writer says
// which given frame each written one begins with.
TEST(FramesToGif, IndexedFramesWriteTheFileTheirColoursWrite) {
  std::mt19937 rng(5);
  for (int round = 0; round < 30; ++round) {
    const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 30);
    TGIFIndexedFrames indexed;
    indexed.Width = w;
    indexed.Height = h;
    const int entries = 1 + int(rng() % (round % 5 == 0 ? 256 : 12));
    for (int i = 0; i < entries; ++i)
      indexed.Palette.push_back(Rgb(int(rng() % 4) * 80, int(rng() % 3), 50));
    std::vector<std::vector<std::uint8_t>> kept;
    std::vector<std::uint8_t> frame(std::size_t(w) * std::size_t(h));
    for (auto& p : frame) p = std::uint8_t(rng() % unsigned(entries));
    for (int t = 0; t < 10; ++t) {
      if (t > 0)
        for (int edits = int(rng() % 3); edits > 0; --edits) {
          const int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
          const int x1 = x + 1 + int(rng() % unsigned(w - x));
          const int y1 = y + 1 + int(rng() % unsigned(h - y));
          const auto index = std::uint8_t(rng() % unsigned(entries));
          for (int yy = y; yy < y1; ++yy)
            for (int xx = x; xx < x1; ++xx) frame[std::size_t(yy * w + xx)] = index;
        }
      kept.push_back(frame);
      indexed.DelayMs.push_back(t == 9 ? 900 : -1);
    }
    for (const auto& f : kept) indexed.Frames.emplace_back(f);
    std::vector<TGIFRGBFrame> colours;
    for (std::size_t t = 0; t < indexed.Frames.size(); ++t) {
      TGIFRGBFrame f = Frame(w, h, 0);
      for (std::size_t i = 0; i < f.Pixels.size(); ++i)
        f.Pixels[i] = indexed.Palette[indexed.Frames[t][i]];
      f.DelayMs = indexed.DelayMs[t];
      colours.push_back(f);
    }
    TGIFFramesOptions options;
    options.RestoreFrames = round % 2 == 0;
    TGIFImage fromIndices, fromColours;
    const std::vector<std::size_t> firsts =
        GIFFromIndexedFrames(fromIndices, indexed, options);
    GIFFromFrames(fromColours, colours, options);
    TMemoryStream a, b;
    fromIndices.SaveToStream(a);
    fromColours.SaveToStream(b);
    ASSERT_EQ(a.Bytes(), b.Bytes()) << "round " << round;
    ASSERT_EQ(int(firsts.size()), fromIndices.Images->GetCount());
    EXPECT_EQ(firsts[0], 0u);
    for (std::size_t k = 1; k < firsts.size(); ++k) {
      EXPECT_GT(firsts[k], firsts[k - 1]);
      EXPECT_NE(colours[firsts[k]].Pixels, colours[firsts[k] - 1].Pixels);
    }
  }
  TGIFIndexedFrames bad;
  bad.Width = bad.Height = 2;
  bad.Palette = {Rgb(1, 2, 3)};
  const std::vector<std::uint8_t> pastThePalette = {0, 0, 0, 1}, short3 = {0, 0, 0};
  bad.Frames = {pastThePalette};
  TGIFImage image;
  EXPECT_THROW(GIFFromIndexedFrames(image, bad, {}), GIFException);
  bad.Frames = {short3};
  EXPECT_THROW(GIFFromIndexedFrames(image, bad, {}), GIFException);
}

// Pixels that may show either of two indices take the one that lets the
// LZW strings grow: under rows of a pattern, rows whose every other pixel
// may be transparent or the pattern's become that pattern again. Fixed
// pixels stay, and a free one takes one of its two.
TEST(FramesToGif, FreePixelsTakeTheIndexThatLengthensTheStrings) {
  const int w = 64, h = 32;
  std::mt19937 rng(3);
  std::vector<std::uint8_t> indices(w * h), other(w * h), flexible(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = std::size_t(y * w + x);
      const bool free = y >= 8 && (x + y) % 2 == 1;
      const auto pattern = std::uint8_t(1 + x % 5);
      flexible[i] = free;
      indices[i] = free ? 0 : pattern;  // 0 stands for transparent
      other[i] = free ? pattern : std::uint8_t(rng() % 7);
    }
  std::vector<std::uint8_t> chosen = indices;
  GIFChooseForLZW(chosen.data(), other.data(), flexible.data(), w, h);
  for (std::size_t i = 0; i < chosen.size(); ++i)
    if (flexible[i])
      EXPECT_TRUE(chosen[i] == indices[i] || chosen[i] == other[i]) << i;
    else
      EXPECT_EQ(chosen[i], indices[i]) << i;
  EXPECT_LT(GIFCompressedSize(chosen.data(), w, h),
            GIFCompressedSize(indices.data(), w, h) * 2 / 3);
}

TEST(FramesToGif, ManyColoursShareOneReducedTable) {
  TGIFRGBFrame a = Gradient(64, 48);
  TGIFRGBFrame b = a;
  for (int y = 5; y < 25; ++y)
    for (int x = 8; x < 40; ++x)
      b.Pixels[std::size_t(y * 64 + x)] = Rgb(x / 4 * 20, 255 - y / 2 * 9, 77);
  // The same again, one level bluer: too little to change the entries.
  TGIFRGBFrame c = b;
  for (int y = 5; y < 25; ++y)
    for (int x = 8; x < 40; ++x) ++c.Pixels[std::size_t(y * 64 + x)];
  for (bool dither : {false, true}) {
    TGIFImage image;
    TGIFFramesOptions options;
    options.Dither = dither;
    GIFFromFrames(image, {a, b, c}, options);
    auto back = SavedAndLoaded(image);
    ASSERT_EQ(back->Images->GetCount(), 3);
    EXPECT_GE(back->GetColorMap()->GetCount(), 255);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(back->Images->GetImage(i)->ColorMap->GetCount(), 0);
    const TRect changed = Rect(8, 5, 40, 25);
    const TRect r1 = back->Images->GetImage(1)->GetBoundsRect();
    EXPECT_TRUE(r1.Left >= changed.Left && r1.Top >= changed.Top &&
                r1.Right <= changed.Right && r1.Bottom <= changed.Bottom);
    EXPECT_GT(r1.Width() * r1.Height(), changed.Width() * changed.Height() / 2);
    if (!dither) {
      const TRect r2 = back->Images->GetImage(2)->GetBoundsRect();
      EXPECT_LT(r2.Width() * r2.Height(), changed.Width() * changed.Height() / 4);
    }
    const auto states = Compose(*back);
    EXPECT_LT(MeanError(states[0], a.Pixels), dither ? 6.0 : 4.0);
    EXPECT_LT(MeanError(states[1], b.Pixels), dither ? 6.0 : 4.0);
    EXPECT_LT(MeanError(states[2], c.Pixels), dither ? 6.0 : 4.0);
  }
}

// A bitmap in each pixel format, with the same few colours.
TEST(BitmapToGif, EveryPixelFormatConvertsExactly) {
  const TColor colors[] = {clBlack, clWhite, clRed, RGB(10, 200, 30)};
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf8bit,
                              TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const int n = format == TPixelFormat::pf1bit ? 2 : 4;
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(7, 5);
    if (format == TPixelFormat::pf8bit) {
      PALETTEENTRY e[4];
      for (int i = 0; i < 4; ++i)
        e[i] = PALETTEENTRY{GetRValue(colors[i]), GetGValue(colors[i]),
                            GetBValue(colors[i]), 0};
      HPALETTE palette = CreatePalette(0x300, e, 4);
      bitmap.SetPalette(palette);
      DeleteObject(palette);
    }
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) bitmap.GetCanvas().SetPixel(x, y, colors[(x + y) % n]);
    TGIFImage image;
    image.Assign(bitmap);
    auto back = SavedAndLoaded(image);
    ASSERT_EQ(back->Images->GetCount(), 1) << int(format);
    EXPECT_EQ(back->GetWidth(), 7);
    EXPECT_EQ(back->GetHeight(), 5);
    const auto states = Compose(*back);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        const TColor c = colors[(x + y) % n];
        EXPECT_EQ(states[0][std::size_t(y * 7 + x)],
                  Rgb(GetRValue(c), GetGValue(c), GetBValue(c)))
            << int(format) << " " << x << "," << y;
      }
  }
}

TEST(BitmapToGif, TrueColourIsReducedAndDitheredOnRequest) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  bitmap.SetSize(96, 64);
  const TGIFRGBFrame g = Gradient(96, 64);
  for (int y = 0; y < 64; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < 96; ++x) {
      const TGIFRGB c = g.Pixels[std::size_t(y * 96 + x)];
      row[x * 3] = std::uint8_t(c);
      row[x * 3 + 1] = std::uint8_t(c >> 8);
      row[x * 3 + 2] = std::uint8_t(c >> 16);
    }
  }
  EXPECT_EQ(GIFBitmapPixels(bitmap), g.Pixels);
  std::vector<TGIFRGB> plain, dithered;
  for (TDitherMode mode : {dmNearest, dmFloydSteinberg}) {
    TGIFImage image;
    image.DitherMode = mode;
    image.Assign(bitmap);
    auto back = SavedAndLoaded(image);
    EXPECT_EQ(
        back->GetColorMap()->GetCount() + back->Images->GetImage(0)->ColorMap->GetCount(),
        256);
    (mode == dmNearest ? plain : dithered) = Compose(*back)[0];
  }
  EXPECT_LT(MeanError(plain, g.Pixels), 4.0);
  EXPECT_LT(MeanError(dithered, g.Pixels), 6.0);
  EXPECT_NE(plain, dithered);

  TBitmap empty;
  TGIFImage image;
  image.Assign(empty);
  EXPECT_TRUE(image.GetEmpty());
}

}  // namespace
}  // namespace velmora
