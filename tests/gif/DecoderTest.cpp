// The LZW decoder on hand-built code sequences.
#include <gtest/gtest.h>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/gif/MemoryLimit.h"

namespace velmora::test {
namespace {

using Codes = std::vector<std::pair<int, int>>;

// A clear code, then codes at the widths the reader takes them.
Codes Sent(int minCodeSize, std::vector<int> codes) {
  codes.insert(codes.begin(), 1 << minCodeSize);
  return Widths(minCodeSize, codes);
}

Bytes OneFrame(int w, int h, int packed, int minCodeSize, const Codes& codes,
               int blockSize = 255) {
  return GifBuilder()
      .Header(w, h, 4)
      .Descriptor(0, 0, w, h, packed)
      .Codes(minCodeSize, codes, blockSize)
      .Trailer()
      .data;
}

// What before holds, then a second frame of two pixels 3 and 1 with a
// delay of 50: where it is found tells whether the first frame's data ended
// where it should. It must load cleanly, to the end.
void ExpectTwoFrames(GifBuilder before, const Bytes& first) {
  const Bytes gif = before.Gce(0, 50)
                        .Descriptor(0, 0, 2, 1)
                        .Codes(2, Sent(2, {3, 1, 5}))
                        .Trailer()
                        .data;
  Loaded r = Load(gif);
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.warnings.empty());
  ASSERT_EQ(r.image->Images->GetCount(), 2);
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), first);
  const TGIFSubImage& second = *r.image->Images->GetImage(1);
  EXPECT_EQ(Pixels(second), (Bytes{3, 1}));
  ASSERT_NE(second.GraphicControlExtension, nullptr);
  EXPECT_EQ(second.GraphicControlExtension->GetDelay(), 50);
  EXPECT_EQ(r.position, std::int64_t(gif.size()));
}

TEST(GifDecoder, HandBuiltCodesDecodeCleanly) {
  Codes clears = Sent(2, {2, 3, 1, 5});
  clears.insert(clears.begin(), 2, {4, 3});
  const struct {
    const char* what;
    Bytes gif, pixels;
  } cases[] = {
      // Two colours with minimum code size 2: clear 4, end 5.
      {"small table", OneFrame(4, 1, 0, 2, Sent(2, {0, 1, 1, 0, 5})), {0, 1, 1, 0}},
      // The tables are set up before the first code all the same.
      {"no clear code",
       OneFrame(3, 1, 0, 8, Fixed(9, {200, 7, 255, 257})),
       {200, 7, 255}},
      {"a run of clear codes counts as one", OneFrame(3, 1, 0, 2, clears), {2, 3, 1}},
      // 0, then code 6 while 6 is the next free entry: "0" + its first
      // pixel. Then 7 (= "00" + "0") arrives the same way.
      {"code not yet in the table",
       OneFrame(6, 1, 0, 2, Sent(2, {0, 6, 7, 5})),
       {0, 0, 0, 0, 0, 0}},
      // 1 | 2 | "12" | "121"
      {"the same on two pixels",
       OneFrame(8, 1, 0, 2, Sent(2, {1, 2, 6, 8, 5})),
       {1, 2, 1, 2, 1, 2, 1, 0}},
      // 7 after a clear is taken as a pixel although entry 7 is not defined,
      // so entry 6 (7 + "1") gets a prefix defined after it and no trusted
      // length. Expanding 6 walks 7, which reads as pixel 0 after a reset:
      // "0" "0" "1". Entry 7 is then "1" + "0", defined properly.
      {"expansion stack",
       OneFrame(7, 1, 0, 2, Sent(2, {7, 1, 6, 7, 5})),
       {7, 1, 0, 0, 1, 1, 0}},
      // Width 3, height 2: the second "12" spans rows 0 and 1.
      {"across interlaced rows",
       OneFrame(3, 2, 0x40, 2, Sent(2, {1, 2, 6, 6, 5})),
       {1, 2, 1, 2, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded r = Load(c.gif);
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), c.pixels);
  }
}

TEST(GifDecoder, FullTableKeepsTwelveBitCodes) {
  // Alternating roots fill the table; entry clear + 2 + j is then the pair
  // of the (j+1)th and (j+2)th codes. After the table is full, codes stay 12
  // bits wide and no entry changes until a clear code.
  const int minCodeSize = 2, clear = 4;
  std::vector<int> roots;
  for (int k = 0; clear + 2 + std::max(0, k - 1) < 4096; ++k) roots.push_back(k % 2);
  const int n = int(roots.size());
  std::vector<int> codes = roots;
  codes.push_back(4095);
  Codes sent = Sent(minCodeSize, codes);
  for (int i = 0; i < 3; ++i) sent.emplace_back(4095, 12);
  sent.emplace_back(5, 12);

  // Entry 4095 = codes 4090 and 4091 (1-based) = roots[4089], roots[4090].
  Bytes expected(roots.begin(), roots.end());
  for (int i = 0; i < 4; ++i) {
    expected.push_back(std::uint8_t(roots[4089]));
    expected.push_back(std::uint8_t(roots[4090]));
  }
  Loaded r = Load(OneFrame(int(expected.size()), 1, 0, minCodeSize, sent));
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(n, 4091);
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), expected);
  EXPECT_EQ(r.position,
            std::int64_t(OneFrame(int(expected.size()), 1, 0, 2, sent).size()));
}

TEST(GifDecoder, InterlacedRowsOfEveryHeightReachTheirPlaces) {
  // Rows in the data numbered in order, three pixels wide; their places
  // listed pass by pass, independently of the decoder's arithmetic.
  for (int height = 1; height <= 70; ++height) {
    Bytes data;
    for (int k = 0; k < height; ++k) data.insert(data.end(), 3, std::uint8_t(k));
    std::vector<int> order;
    for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int row = start; row < height; row += step) order.push_back(row);
    Bytes expected(data.size());
    for (int k = 0; k < height; ++k)
      std::fill_n(expected.begin() + 3 * order[std::size_t(k)], 3, std::uint8_t(k));
    Bytes gif = GifBuilder()
                    .Header(3, std::uint16_t(height), 8)
                    .Descriptor(0, 0, 3, std::uint16_t(height), 0x40)
                    .Codes(7, Lzw(7, data))
                    .Trailer()
                    .data;
    Loaded r = Load(gif);
    ASSERT_EQ(r.error, "") << height;
    EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), expected) << "height " << height;
  }
}

TEST(GifDecoder, InterlacedDataEndingEarlyFillsRowsInPassOrder) {
  // 3 x 5, transparent index 3: 7 pixels reach row 0, row 4 and the first
  // pixel of row 2; the rest keeps the fill value.
  Bytes gif = GifBuilder()
                  .Header(3, 5, 4)
                  .Gce(0x01, 0, 3)
                  .Descriptor(0, 0, 3, 5, 0x40)
                  .Codes(2, Lzw(2, {0, 1, 2, 1, 2, 0, 1}))
                  .Trailer()
                  .data;
  Loaded r = Load(gif);
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)),
            (Bytes{0, 1, 2, 3, 3, 3, 1, 3, 3, 3, 3, 3, 1, 2, 0}));
}

TEST(GifDecoder, ShortDataKeepsTheFillValue) {
  // 8 pixels, data for 4, then the terminator.
  const Codes codes = {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {0, 4}};
  for (bool transparent : {false, true}) {
    GifBuilder b;
    b.Header(4, 2, 4);
    if (transparent) b.Gce(0x01, 0, 3);
    b.Descriptor(0, 0, 4, 2).Codes(2, codes).Trailer();
    Loaded r = Load(b.data);
    ASSERT_EQ(r.error, "");
    const std::uint8_t f = transparent ? 3 : 0;
    EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{0, 1, 2, 0, f, f, f, f}));
    EXPECT_EQ(r.warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
  }
}

TEST(GifDecoder, TheNextBlockIsFoundWhereverTheDataStops) {
  std::vector<int> surplus;  // 40 pixels for a frame of 2, without an end code
  for (int i = 0; i < 40; ++i) surplus.push_back(i % 3);
  surplus.push_back(5);
  Codes endThenMore = {{4, 3}, {1, 3}, {2, 3}, {5, 3}};
  for (int i = 0; i < 20; ++i) endThenMore.emplace_back(0x21, 8);
  const struct {
    const char* what;
    int width, height;
    Codes codes;
    int blockSize;
    Bytes pixels;
  } cases[] = {
      // The last string "12" runs past the end of a frame of 5: its first
      // pixel is the frame's last, and the pixel left over counts as the
      // value read after the frame is full. The data ends on a byte boundary
      // without an end code, so reading a code there would report an
      // under-run.
      {"string past the end", 5, 1, Sent(2, {1, 2, 6, 6}), 255, {1, 2, 1, 2, 1}},
      // Pixel 1, a clear code, the end code, then more codes that must not
      // be read.
      {"end after a clear", 4, 1, Fixed(3, {4, 1, 4, 5, 2, 2}), 255, {1, 0, 0, 0}},
      {"end at once", 4, 1, Fixed(3, {4, 5, 3}), 255, {0, 0, 0, 0}},
      // The end code after two of eight pixels; the data goes on for a
      // while in small sub-blocks.
      {"early end code", 4, 2, endThenMore, 3, {1, 2, 0, 0, 0, 0, 0, 0}},
      // Surplus pixels in one-byte sub-blocks: the rest of the data must be
      // skipped, not read as blocks.
      {"surplus pixels", 2, 1, Sent(2, surplus), 1, {0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectTwoFrames(GifBuilder()
                        .Header(c.width, c.height, 4)
                        .Descriptor(0, 0, c.width, c.height)
                        .Codes(2, c.codes, c.blockSize),
                    c.pixels);
  }
}

TEST(GifDecoder, SubBlockPastTheEndOfTheFile) {
  // The sub-block claims 50 bytes; one is there, holding a clear code and
  // the pixel 1.
  Bytes gif = GifBuilder().Header(4, 1, 4).Descriptor(0, 0, 4, 1).Raw({2, 50, 0x0C}).data;
  Loaded r = Load(gif);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.warnings, std::vector<std::string>{"Premature end of data"});
  ASSERT_EQ(r.image->Images->GetCount(), 1);
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{1, 0, 0, 0}));

  // Cut right after a whole sub-block, the pixels are as short, and it says
  // so as well; with all pixels there, the missing end says nothing.
  gif = GifBuilder().Header(4, 1, 4).Descriptor(0, 0, 4, 1).Raw({2, 1, 0x0C}).data;
  r = Load(gif);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.warnings, std::vector<std::string>{"Premature end of data"});
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{1, 0, 0, 0}));
  gif = GifBuilder().Header(2, 1, 4).Descriptor(0, 0, 2, 1).Raw({2, 1, 0x4C}).data;
  r = Load(gif);
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{1, 1}));
}

TEST(GifDecoder, StreamStandsAfterTheFrame) {
  Bytes frame = GifBuilder().Descriptor(0, 0, 2, 1).Codes(2, Sent(2, {1, 1, 5})).data;
  Bytes bytes = frame;
  bytes.insert(bytes.end(), {0x77, 0x77});
  TGIFImage image;
  TGIFSubImage sub(&image);
  TMemoryStream stream(bytes);
  sub.LoadFromStream(stream);
  EXPECT_EQ(stream.GetPosition(), std::int64_t(frame.size()));
  EXPECT_EQ(Pixels(sub), (Bytes{1, 1}));
}

TEST(GifDecoder, HostileDataRaisesGifException) {
  struct Case {
    const char* what;
    Bytes gif;
    const char* error;
  };
  const std::vector<Case> cases = {
      // An entry whose prefix is itself: 6 after a clear, then 0 defines
      // entry 6 as "6" + 0.
      {"self loop", OneFrame(50, 50, 0, 2, Fixed(3, {4, 6, 0, 6, 5})),
       "Circular decoder table entry"},
      {"minimum code size 12", OneFrame(2, 2, 0, 12, Fixed(8, {0, 0})),
       "ClearCode too large"},
  };
  for (const Case& c : cases) {
    Loaded r = Load(c.gif);
    EXPECT_EQ(r.error, c.error) << c.what;
    EXPECT_EQ(r.position, 0) << c.what;
    EXPECT_EQ(r.image->Images->GetCount(), 0) << c.what;
  }
}

TEST(GifDecoder, PixelMemoryIsLimited) {
  // The limit counts every frame of the image, and a new load starts afresh.
  PixelMemoryLimit limit(250);
  const Bytes three = TinyGif(5, 5, {{10, 10}, {10, 10}, {10, 10}});  // canvas: 100 bytes
  Loaded r = Load(three);
  EXPECT_EQ(r.error, kMemoryRefused);
  EXPECT_EQ(r.image->Images->GetCount(), 2);
  GIFImageMaxPixelMemory = 300;
  TMemoryStream again(three);
  r.image->LoadFromStream(again);
  EXPECT_EQ(r.image->Images->GetCount(), 3);

  // An interlaced frame has its rows put in place within its own pixels:
  // it needs no more memory than any other frame of its size.
  const Bytes interlaced = GifBuilder()
                               .Header(5, 5, 2)
                               .Descriptor(0, 0, 10, 15, idInterlaced)
                               .Codes(2, Fixed(3, {4, 5}))
                               .Trailer()
                               .data;
  GIFImageMaxPixelMemory = 149;
  EXPECT_EQ(Load(interlaced).error, kMemoryRefused);
  GIFImageMaxPixelMemory = 150;
  EXPECT_EQ(Load(interlaced).error, "");
}

}  // namespace
}  // namespace velmora::test
