// Our writer and reader against an independent decoder: giflib must see the
// same pixels in what we write, and we must see in it what giflib sees.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "fuzz/gif/GIFBlocks.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/gif/GiflibMemory.h"

namespace velmora::test {
namespace {

std::vector<Bytes> Giflib(const Bytes& data) {
  std::optional<std::vector<Bytes>> frames = giflibmem::Frames(data);
  EXPECT_TRUE(frames.has_value()) << "giflib could not decode";
  return frames.value_or(std::vector<Bytes>{});
}

TEST(GifAgainstGiflib, GeneratedImagesDecodeAlike) {
  std::mt19937 rng(4711);
  for (int round = 0; round < 60; ++round) {
    TGIFImage image;
    const int colors = 2 << (rng() % 8);
    const int sw = 1 + int(rng() % 300), sh = 1 + int(rng() % 200);
    image.Header->LogicalScreenDescriptor.ScreenWidth = std::uint16_t(sw);
    image.Header->LogicalScreenDescriptor.ScreenHeight = std::uint16_t(sh);
    for (int i = 0; i < colors; ++i) image.GetColorMap()->Add(RGB(std::uint8_t(i), 0, 0));
    const int frames = 1 + int(rng() % 3);
    for (int f = 0; f < frames; ++f) {
      auto* frame = new TGIFSubImage(&image);
      image.Images->Add(frame);
      const int w = 1 + int(rng() % unsigned(sw)), h = 1 + int(rng() % unsigned(sh));
      frame->SetBounds(int(rng() % unsigned(sw - w + 1)),
                       int(rng() % unsigned(sh - h + 1)), w, h);
      frame->SetInterlaced(rng() % 2);
      // Runs, gradients and noise in varying mixes.
      const int noise = 1 + int(rng() % 8), run = 1 + int(rng() % 40);
      for (std::int64_t i = 0; i < frame->DataSize; ++i)
        frame->Data[std::size_t(i)] =
            std::uint8_t((i / run + int(rng() % unsigned(noise))) % colors);
    }
    const Bytes bytes = Save(image);
    std::vector<Bytes> ours;
    for (int f = 0; f < frames; ++f) ours.push_back(Pixels(*image.Images->GetImage(f)));
    EXPECT_EQ(Giflib(bytes), ours) << "round " << round;
  }
}

TEST(GifAgainstGiflib, AnyLayoutOfTheDataDecodesAlike) {
  // Every code width from 2 to 12 bits, with the table filling up and
  // cleared again, or kept full for a long stretch before its clear code
  // (12-bit codes that add no entries); runs long enough for codes not yet
  // in the table and strings of hundreds of pixels; frames plain and
  // interlaced; in sub-blocks of 1, 2, 3, 200 and 255 bytes and in a mix.
  std::mt19937 rng(99);
  std::vector<bool> widths(13);
  const int w = 300, h = 200;
  constexpr int kFirst[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  for (int minCodeSize = 1; minCodeSize <= 8; ++minCodeSize) {
    const int colors = 1 << minCodeSize;
    const Bytes pixels =
        MixedPixels(std::size_t(w * h), colors, std::uint32_t(minCodeSize));
    for (int fullFor : {0, 100000})
      for (int interlaced : {0, 1}) {
        // The data in the order an interlaced frame sends its rows.
        Bytes sent;
        for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
          for (int y = interlaced ? kFirst[pass] : 0; y < h;
               y += interlaced ? kStep[pass] : 1)
            sent.insert(sent.end(), pixels.begin() + y * w, pixels.begin() + (y + 1) * w);
        const auto codes = Lzw(minCodeSize, sent, fullFor);
        for (auto [code, bits] : codes) widths[std::size_t(bits)] = true;
        std::optional<gifblocks::Gif> gif =
            gifblocks::Split(GifBuilder()
                                 .Header(w, h, std::max(colors, 2))
                                 .Descriptor(0, 0, w, h, interlaced ? 0x40 : 0)
                                 .Codes(minCodeSize, codes)
                                 .Trailer()
                                 .data);
        ASSERT_TRUE(gif && gif->blocks.size() == 1);
        for (int layout : {1, 2, 3, 200, 255, 0}) {
          SCOPED_TRACE(testing::Message()
                       << "min code size " << minCodeSize << ", full for " << fullFor
                       << ", interlaced " << interlaced << ", sub-blocks of " << layout);
          gifblocks::Gif cut = *gif;
          if (layout)
            gifblocks::RecutEven(cut.blocks[0], layout);
          else
            gifblocks::Recut(cut.blocks[0],
                             [&rng] { return rng() % 3 ? 1 + int(rng() % 3) : 255; });
          const Bytes bytes = gifblocks::Join(cut);
          Loaded ours = Load(bytes);
          ASSERT_EQ(ours.error, "");
          EXPECT_TRUE(ours.warnings.empty());
          ASSERT_EQ(ours.image->Images->GetCount(), 1);
          EXPECT_EQ(Pixels(*ours.image->Images->GetImage(0)), pixels);
          EXPECT_EQ(ours.position, std::int64_t(bytes.size()));
          EXPECT_EQ(Giflib(bytes), std::vector<Bytes>{pixels});
        }
      }
  }
  for (int bits = 2; bits <= 12; ++bits) EXPECT_TRUE(widths[std::size_t(bits)]) << bits;
}

TEST(GifAgainstGiflib, BundledPictures) {
  // The program's own pictures, written by other encoders.
  for (const char* name : {"t1.gif", "t2.gif", "w.gif"}) {
    TMemoryStream file;
    try {
      file.LoadFromFile(std::string(VELMORA_DATA_DIR) + "/" + name);
    } catch (const Exception&) {
      continue;  // not bundled in this checkout
    }
    Loaded ours = Load(file.Bytes());
    ASSERT_EQ(ours.error, "") << name;
    EXPECT_TRUE(ours.warnings.empty()) << name;
    std::vector<Bytes> read;
    for (int f = 0; f < ours.image->Images->GetCount(); ++f)
      if (!ours.image->Images->GetImage(f)->GetEmpty())
        read.push_back(Pixels(*ours.image->Images->GetImage(f)));
    EXPECT_EQ(read, Giflib(file.Bytes())) << name;
  }
}

}  // namespace
}  // namespace velmora::test
