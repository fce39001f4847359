// The LZW decoder through its own interface: sub-block bytes in memory,
// no frame or stream around it.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "gif/GIFDecoder.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {
namespace {

// The sub-blocks of codes, without the minimum code size byte.
Bytes SubBlocks(int minCodeSize, const std::vector<std::pair<int, int>>& codes,
                int blockSize = 255, bool terminator = true) {
  Bytes data = GifBuilder().Codes(minCodeSize, codes, blockSize, terminator).data;
  data.erase(data.begin());
  return data;
}

struct Decoded {
  TLzwResult result;
  Bytes pixels;
  std::int64_t written;
  std::vector<TLzwResult> warnings;
  std::int64_t consumed;
};

Decoded Decode(TLzwDecoder& decoder, const Bytes& input, int minCodeSize,
               std::size_t size, std::uint8_t fill = 0) {
  TLzwBytes bytes(input.data(), std::int64_t(input.size()));
  Decoded d{TLzwResult::Ok, Bytes(size, fill), 0, {}, 0};
  d.result =
      decoder.Decode(bytes, minCodeSize, d.pixels.data(), std::int64_t(size), fill);
  d.written = decoder.Written();
  d.warnings = decoder.Warnings();
  d.consumed = bytes.Consumed();
  return d;
}

TEST(LzwDecoder, DecodesFromBytesAloneAndStopsAfterTheTerminator) {
  std::mt19937 rng(7);
  TLzwDecoder decoder;  // one decoder for every case: each Decode starts afresh
  for (int minCodeSize : {2, 5, 8}) {
    Bytes pixels(20000);
    for (std::uint8_t& p : pixels)
      p = std::uint8_t(rng() % 3 ? rng() % 4 : rng() % (1u << minCodeSize));
    Bytes input = SubBlocks(minCodeSize, Lzw(minCodeSize, pixels), 100);
    const std::int64_t dataSize = std::int64_t(input.size());
    input.insert(input.end(), {0x2C, 0x3B});  // the blocks that follow
    Decoded d = Decode(decoder, input, minCodeSize, pixels.size(), 9);
    EXPECT_EQ(d.result, TLzwResult::Ok) << minCodeSize;
    EXPECT_EQ(d.pixels, pixels) << minCodeSize;
    EXPECT_EQ(d.written, std::int64_t(pixels.size()));
    EXPECT_TRUE(d.warnings.empty());
    EXPECT_EQ(d.consumed, dataSize) << minCodeSize;
  }
}

TEST(LzwDecoder, MorePixelsThanTheTargetAreSkippedToTheTerminator) {
  const Bytes pixels(5000, 3);
  Bytes input = SubBlocks(2, Lzw(2, pixels), 7);
  const std::int64_t dataSize = std::int64_t(input.size());
  input.push_back(0x3B);
  TLzwDecoder decoder;
  Decoded d = Decode(decoder, input, 2, 10);
  EXPECT_EQ(d.result, TLzwResult::Ok);
  EXPECT_EQ(d.pixels, Bytes(10, 3));
  EXPECT_EQ(d.consumed, dataSize);
}

TEST(LzwDecoder, CutDataWarnsAndKeepsTheFillAfterWhatCame) {
  TLzwDecoder decoder;
  // Long strings cut off inside a sub-block: what was decoded stands, the
  // rest keeps the fill even where word copies wrote ahead.
  const Bytes pixels(3000, 1);
  Bytes input = SubBlocks(2, Lzw(2, pixels), 255);
  input.resize(40);
  Decoded d = Decode(decoder, input, 2, pixels.size() + 50, 7);
  EXPECT_EQ(d.result, TLzwResult::Ok);
  EXPECT_EQ(d.warnings, std::vector<TLzwResult>{TLzwResult::DataCut});
  EXPECT_EQ(d.consumed, 40);
  ASSERT_GT(d.written, 0);
  ASSERT_LT(d.written, std::int64_t(pixels.size()));
  // (The code the cut falls in is decoded with its missing bits as 0.)
  EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + d.written - 1),
            Bytes(std::size_t(d.written - 1), 1));
  EXPECT_EQ(Bytes(d.pixels.begin() + d.written, d.pixels.end()),
            Bytes(d.pixels.size() - std::size_t(d.written), 7));

  // The terminator before the end code and before the frame is full.
  d = Decode(decoder, SubBlocks(2, {{4, 3}, {0, 3}, {1, 3}, {2, 3}}), 2, 8);
  EXPECT_EQ(d.result, TLzwResult::Ok);
  EXPECT_EQ(d.warnings, std::vector<TLzwResult>{TLzwResult::CodesEarly});
  EXPECT_EQ(d.pixels, (Bytes{0, 1, 2, 0, 0, 0, 0, 0}));
  EXPECT_STREQ(LzwResultText(d.warnings[0]), "Decoder bit buffer under-run");
}

// Bytes in memory that fail after the first `limit`, as a failing file does.
class FailingInput : public TLzwBytes {
 public:
  FailingInput(const Bytes& data, std::int64_t limit)
      : TLzwBytes(data.data(), std::int64_t(data.size())), limit_(limit) {}
  std::int64_t Read(std::uint8_t* to, std::int64_t count) override {
    if (Consumed() + count > limit_) throw std::runtime_error("read failed");
    return TLzwBytes::Read(to, count);
  }

 private:
  std::int64_t limit_;
};

TEST(LzwDecoder, InputExceptionPassesThroughWithWhatWasStored) {
  // Long strings in short sub-blocks, the input failing a few blocks in:
  // Written() counts the pixels stored (the caller keeps them and fills
  // the rest), and bytes word copies wrote ahead of them get the fill back.
  const Bytes pixels(3000, 1);
  const Bytes input = SubBlocks(2, Lzw(2, pixels), 6);
  FailingInput failing(input, 30);
  TLzwDecoder decoder;
  Bytes target(pixels.size(), 7);
  EXPECT_THROW(decoder.Decode(failing, 2, target.data(), std::int64_t(target.size()), 7),
               std::runtime_error);
  const std::int64_t written = decoder.Written();
  ASSERT_GT(written, 8);
  ASSERT_LT(written, std::int64_t(pixels.size()));
  EXPECT_EQ(Bytes(target.begin(), target.begin() + written),
            Bytes(std::size_t(written), 1));
  EXPECT_EQ(Bytes(target.begin() + written, target.end()),
            Bytes(target.size() - std::size_t(written), 7));
}

TEST(LzwDecoder, HostileDataIsAnErrorResultNotAnException) {
  TLzwDecoder decoder;
  Decoded d = Decode(decoder, SubBlocks(12, Fixed(8, {0, 0})), 12, 4);
  EXPECT_EQ(d.result, TLzwResult::ClearCodeTooLarge);
  EXPECT_EQ(d.written, 0);
  // An entry whose prefix is itself.
  d = Decode(decoder, SubBlocks(2, Fixed(3, {4, 6, 0, 6, 5})), 2, 2500);
  EXPECT_EQ(d.result, TLzwResult::CircularEntry);
  EXPECT_TRUE(LzwIsError(d.result));
  EXPECT_FALSE(LzwIsError(TLzwResult::DataCut));
  EXPECT_STREQ(LzwResultText(d.result), "Circular decoder table entry");
}

}  // namespace
}  // namespace velmora::test
