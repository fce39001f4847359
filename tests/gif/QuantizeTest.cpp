// Quality of the writer's colour reduction on fixed pictures made here, the
// nearest-colour lookup against a plain search, and where dithering stays
// off.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "gif/GIFOptimize.h"
#include "tests/gif/ComposedFrames.h"

namespace velmora {
namespace {

using test::Channel;
using test::Rgb;

// Something like a photograph: a sky-like gradient above, a textured slope
// in other hues below, a bright object with soft edges, and sensor noise.
TGIFRGBFrame PhotoLike(int w, int h, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 3);
  TGIFRGBFrame f{w, h, std::vector<TGIFRGB>(std::size_t(w) * std::size_t(h))};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = double(x) / w, v = double(y) / h;
      const double horizon = 0.45 + 0.1 * std::sin(u * 9.0);
      double r, g, b;
      if (v < horizon) {
        r = 90 + 120 * v;
        g = 140 + 80 * v;
        b = 230 - 30 * v;
      } else {
        const double t = 0.5 + 0.5 * std::sin(x * 0.21) * std::cos(y * 0.17);
        r = 70 + 90 * t + 40 * u;
        g = 90 + 60 * t - 30 * u;
        b = 30 + 20 * t;
      }
      const double d = std::hypot(u - 0.7, v - 0.35) / 0.12;
      if (d < 1.2) {
        const double k = std::clamp(1.2 - d, 0.0, 0.3) / 0.3;
        r = r * (1 - k) + 240 * k;
        g = g * (1 - k) + (60 + 120 * v) * k;
        b = b * (1 - k) + 40 * k;
      }
      f.Pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
          Rgb(int(std::lround(r + noise(random))), int(std::lround(g + noise(random))),
              int(std::lround(b + noise(random))));
    }
  return f;
}

// Something like a close-up of coloured brushes: bands of saturated hues,
// each shaded from dark to light along its length and lit across its width,
// with fine texture and sensor noise.
TGIFRGBFrame Brushes(int w, int h, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::normal_distribution<double> noise(0, 4);
  const int bands = 11;
  std::vector<std::array<double, 3>> hues;
  for (int i = 0; i < bands; ++i)
    hues.push_back({unit(random), unit(random), unit(random)});
  TGIFRGBFrame f{w, h, std::vector<TGIFRGB>(std::size_t(w) * std::size_t(h))};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = double(x) * bands / w;
      const int band = std::min(int(u), bands - 1);
      const double across = std::sin((u - band) * 3.14159);
      const double along = 0.25 + 0.75 * double(y) / h;
      const double light =
          along * (0.5 + 0.5 * across) + 0.05 * std::sin(x * 1.3 + y * 0.7);
      int c[3];
      for (int a = 0; a < 3; ++a)
        c[a] = int(std::lround(255 * light *
                                   (0.2 + 0.8 * hues[std::size_t(band)][std::size_t(a)]) +
                               noise(random)));
      f.Pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)] = Rgb(c[0], c[1], c[2]);
    }
  return f;
}

double Psnr(const std::vector<TGIFRGB>& a, const std::vector<TGIFRGB>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      const double d = Channel(a[i], k) - Channel(b[i], k);
      sum += d * d;
    }
  const double mse = sum / double(a.size() * 3);
  return 10 * std::log10(255.0 * 255.0 / mse);
}

// The frame as it comes back from a file the writer made.
std::vector<TGIFRGB> EncodedAndDecoded(const TGIFRGBFrame& frame, bool dither) {
  TGIFImage image;
  TGIFFramesOptions options;
  options.Dither = dither;
  GIFFromFrames(image, {frame}, options);
  const auto back = test::SavedAndLoaded(image);
  EXPECT_EQ(back->Images->GetCount(), 1);
  return test::Compose(*back)[0];
}

// Floors in dB. A median cut alone, with plain Floyd-Steinberg dithering,
// reaches 41.5 and 40.7 on the first picture, 36.2 and 35.4 on the second,
// 36.4 and 35.7 on the third.
TEST(ColourQuality, PhotoLikePicturesKeepTheirFloors) {
  const struct {
    TGIFRGBFrame frame;
    double plain, dithered;
  } cases[] = {{PhotoLike(320, 240, 1), 41.4, 41.2},
               {Brushes(320, 240, 11), 36.45, 36.3},
               {Brushes(240, 320, 12), 36.7, 36.55}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const double plain = Psnr(c.frame.Pixels, EncodedAndDecoded(c.frame, false));
    const double dithered = Psnr(c.frame.Pixels, EncodedAndDecoded(c.frame, true));
    EXPECT_GE(plain, c.plain);
    EXPECT_GE(dithered, c.dithered);
    // Dithering trades a little PSNR for smoother gradients, never much.
    EXPECT_LE(dithered, plain);
    EXPECT_GE(dithered, plain - 3.0);
  }
}

TEST(ColourQuality, PixelsSkippedLeaveThePaletteAlone) {
  // Half the pixels are skipped (transparent, say) and of colours the
  // others don't have: none of them may pull an entry to themselves.
  const TGIFRGBFrame frame = PhotoLike(160, 120, 3);
  std::vector<TGIFRGB> pixels = frame.Pixels;
  std::vector<std::uint8_t> skip(pixels.size(), 0);
  for (std::size_t i = 0; i < pixels.size(); i += 2) {
    pixels[i] = Rgb(255, 0, 255);
    skip[i] = 1;
  }
  const std::vector<TGIFRGB> palette =
      GIFQuantize(pixels.data(), pixels.size(), 255, skip.data());
  EXPECT_EQ(palette.size(), 255u);
  for (TGIFRGB c : palette) {
    const double d = std::hypot(Channel(c, 0) - 255, Channel(c, 1), Channel(c, 2) - 255);
    EXPECT_GT(d, 100.0) << std::hex << c;
  }
  std::vector<std::uint8_t> index(pixels.size());
  GIFMapToPalette(pixels.data(), frame.Width, frame.Height, palette, true, index.data(),
                  skip.data(), 255);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    ASSERT_EQ(index[i] == 255, skip[i] == 1) << i;
}

// The first of the equally nearest entries, by a scan of all of them.
std::uint8_t Nearest(const std::vector<TGIFRGB>& palette, TGIFRGB c) {
  int best = 0;
  int bestDistance = -1;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    int d = 0;
    for (int a = 0; a < 3; ++a) {
      const int delta = Channel(c, a) - Channel(palette[i], a);
      d += delta * delta;
    }
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = int(i);
    }
  }
  return std::uint8_t(best);
}

TEST(NearestColour, AgreesWithAScanOfEveryEntry) {
  std::mt19937 random(7);
  auto any = [&random](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(random);
  };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    // Palettes spread over the cube and huddled in one corner of it (far
    // colours then have long lists), small and full, with repeated entries
    // and coarse levels, so that ties are common.
    const int size = round % 4 == 0 ? any(1, 4) : any(2, 256);
    const int spread = round % 3 == 0 ? 24 : 255;
    const int level = round % 5 == 0 ? 32 : 1;
    std::vector<TGIFRGB> palette;
    for (int i = 0; i < size; ++i) {
      if (i > 0 && any(0, 9) == 0) {
        palette.push_back(palette[std::size_t(any(0, i - 1))]);
        continue;
      }
      palette.push_back(Rgb(any(0, spread) / level * level,
                            any(0, spread) / level * level,
                            any(0, spread) / level * level));
    }
    // Cells of every size, down to a single one for the whole cube.
    for (int bits : {0, 1, 4, 5, 6}) {
      TGIFNearestColor nearest(palette, bits);
      for (int k = 0; k < 1000; ++k) {
        const TGIFRGB c =
            k % 2 ? Rgb(any(0, 255), any(0, 255), any(0, 255))
                  : Rgb(any(0, 15) * 16 + 8, any(0, 15) * 16 + 8, any(0, 255));
        ASSERT_EQ(nearest.Find(c), Nearest(palette, c)) << bits << " " << std::hex << c;
      }
    }
  }
}

TEST(Dithering, FlatAreasShowOneEntryAndGradientsAMix) {
  // Greys 16 apart; the left half is a horizontal ramp, the right half flat
  // at 100 (between the entries 96 and 112).
  std::vector<TGIFRGB> palette;
  for (int v = 0; v < 256; v += 16) palette.push_back(Rgb(v, v, v));
  const int w = 128, h = 64;
  std::vector<TGIFRGB> pixels(std::size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = x < w / 2 ? 60 + x : 100;
      pixels[std::size_t(y * w + x)] = Rgb(v, v, v);
    }
  std::vector<std::uint8_t> index(pixels.size());
  GIFMapToPalette(pixels.data(), w, h, palette, true, index.data());
  // Away from the border with the ramp, the flat half is all 96.
  for (int y = 0; y < h; ++y)
    for (int x = w / 2 + 2; x < w; ++x) ASSERT_EQ(index[std::size_t(y * w + x)], 6) << x;
  // Where the ramp runs from 96 to 104 (100 on average) it is a mix of 96
  // and 112 of that average; nearest colours alone would be all 96.
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 36; x <= 44; ++x) sum += index[std::size_t(y * w + x)] * 16;
  EXPECT_NEAR(sum / (h * 9), 100.0, 2.0);

  // Through the writer: a textured picture with a flat patch far from its
  // other colours comes back with the patch in one colour.
  TGIFRGBFrame frame = PhotoLike(160, 120, 4);
  for (int y = 40; y < 80; ++y)
    for (int x = 20; x < 60; ++x)
      frame.Pixels[std::size_t(y * 160 + x)] = Rgb(200, 30, 170);
  const std::vector<TGIFRGB> back = EncodedAndDecoded(frame, true);
  const TGIFRGB patch = back[std::size_t(41 * 160 + 21)];
  for (int y = 41; y < 79; ++y)
    for (int x = 21; x < 59; ++x) ASSERT_EQ(back[std::size_t(y * 160 + x)], patch);
  for (int a = 0; a < 3; ++a)
    EXPECT_NEAR(Channel(patch, a), Channel(Rgb(200, 30, 170), a), 8);
}

}  // namespace
}  // namespace velmora
