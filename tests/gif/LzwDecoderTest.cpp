// The LZW decoder through its own interface: sub-block bytes in memory,
// no frame or stream around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <utility>

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

TEST(LzwDecoder, FrameEndsAtEveryOffsetWithinTheStrings) {
  // The last strings are copied differently from the others (no whole words
  // past the frame's end, the rest through the expansion stack): a frame that
  // ends at any pixel gets exactly the data's first pixels, writes nothing
  // past its end, and skips the surplus up to the terminator, not past it. A
  // frame larger than the data keeps the fill after it.
  TLzwDecoder decoder;
  for (int minCodeSize : {2, 8}) {
    const Bytes pixels = MixedPixels(3000, 1 << minCodeSize, 5);
    Bytes input = SubBlocks(minCodeSize, Lzw(minCodeSize, pixels), 37);
    const std::int64_t dataSize = std::int64_t(input.size());
    input.push_back(0x3B);  // the block that follows
    for (std::size_t size = 0; size <= pixels.size() + 40;
         size += size < 60 || size + 80 > pixels.size() ? 1 : 97) {
      SCOPED_TRACE(testing::Message()
                   << "min code size " << minCodeSize << ", " << size << " pixels");
      TLzwBytes bytes(input.data(), std::int64_t(input.size()));
      Bytes target(size + 64, 7);  // 64 guard bytes after the frame
      const TLzwResult result =
          decoder.Decode(bytes, minCodeSize, target.data(), std::int64_t(size), 7);
      EXPECT_EQ(result, TLzwResult::Ok);
      EXPECT_TRUE(decoder.Warnings().empty());
      const std::size_t n = std::min(size, pixels.size());
      ASSERT_EQ(decoder.Written(), std::int64_t(n));
      EXPECT_TRUE(std::equal(pixels.begin(), pixels.begin() + long(n), target.begin()));
      EXPECT_EQ(Bytes(target.begin() + long(n), target.end()),
                Bytes(target.size() - n, 7));
      EXPECT_EQ(bytes.Consumed(), dataSize);
    }
  }
}

TEST(LzwDecoder, SubBlockBoundariesAtEveryBitOfTheCodes) {
  // Codes are read four at a time from one load, and one at a time where a
  // sub-block ends or the code size changes: sub-blocks of every length
  // from 1 to 20 bytes put the ends at every bit offset of 9- to 12-bit
  // codes, with the table filling and kept full. Strings mostly short,
  // then mostly long (copied two words at a time), then mixed.
  const Bytes longRuns = [] {
    Bytes runs;
    std::mt19937 rng(3);
    while (runs.size() < 60000)
      runs.insert(runs.end(), rng() % 2000, std::uint8_t(rng() % 4));
    runs.resize(60000);
    return runs;
  }();
  const Bytes noise = MixedPixels(60000, 256, 9);
  for (const Bytes* pixels : {&noise, &longRuns}) {
    const auto codes = Lzw(8, *pixels, 2000);
    TLzwDecoder decoder;
    for (int blockSize = 1; blockSize <= 21; ++blockSize) {
      const int size = blockSize == 21 ? 255 : blockSize;
      Decoded d = Decode(decoder, SubBlocks(8, codes, size), 8, pixels->size());
      EXPECT_EQ(d.result, TLzwResult::Ok) << size;
      EXPECT_TRUE(d.warnings.empty()) << size;
      EXPECT_EQ(d.pixels, *pixels) << "sub-blocks of " << size;
    }
  }
}

TEST(LzwDecoder, ClearCodesAnywhereDecodeAlike) {
  // Encoders that clear the table before it fills, or as it fills: clear
  // codes right after the first code of a table, just before, at and after
  // each change of the code size, when the table is full or kept full, and
  // two in a row; with sub-blocks of 1 to 20 bytes, so that they and the
  // first codes after them (at the minimum size again) meet the ends of
  // sub-blocks at every bit.
  struct Case {
    int minCodeSize, clearAt, fullFor, clears;
  };
  std::vector<Case> cases;
  for (int clearAt : {258, 259, 260, 511, 512, 513, 1023, 1024, 2047, 2048, 4095, 4096})
    cases.push_back({8, clearAt, 0, 1});
  cases.push_back({8, 4096, 3, 1});
  cases.push_back({8, 600, 0, 2});
  cases.push_back({8, 258, 0, 3});
  cases.push_back({5, 4096, 0, 1});
  for (int clearAt : {6, 7, 8, 9, 16, 17, 4096}) cases.push_back({2, clearAt, 0, 1});
  cases.push_back({2, 4096, 1, 2});
  cases.push_back({1, 4, 0, 1});
  cases.push_back({1, 5, 0, 2});
  TLzwDecoder decoder;
  for (const Case& c : cases) {
    const Bytes pixels = MixedPixels(12000, 1 << c.minCodeSize, std::uint32_t(c.clearAt));
    const auto codes = Lzw(c.minCodeSize, pixels, c.fullFor, c.clearAt, c.clears);
    for (int blockSize = 1; blockSize <= 21; ++blockSize) {
      const int size = blockSize == 21 ? 255 : blockSize;
      SCOPED_TRACE(testing::Message()
                   << "min code size " << c.minCodeSize << ", clear at " << c.clearAt
                   << ", full for " << c.fullFor << ", " << c.clears
                   << " clears, sub-blocks of " << size);
      Bytes input = SubBlocks(c.minCodeSize, codes, size);
      const std::int64_t dataSize = std::int64_t(input.size());
      input.push_back(0x3B);
      Decoded d = Decode(decoder, input, c.minCodeSize, pixels.size(), 9);
      EXPECT_EQ(d.result, TLzwResult::Ok);
      EXPECT_TRUE(d.warnings.empty());
      EXPECT_EQ(d.written, std::int64_t(pixels.size()));
      EXPECT_EQ(d.pixels, pixels);
      EXPECT_EQ(d.consumed, dataSize);
    }
  }
}

TEST(LzwDecoder, InputFailingAtAnyByteKeepsWhatWasStored) {
  // The fast loop reads sub-blocks itself: an input that fails at any byte
  // passes its exception on, and Written() counts the pixels stored before
  // it (the caller keeps them and fills the rest). Bytes that word copies
  // wrote ahead of them get the fill back: long strings in short sub-blocks,
  // and strings of every length.
  TLzwDecoder decoder;
  for (const auto& [pixels, blockSize] :
       {std::pair{Bytes(3000, 1), 6}, std::pair{MixedPixels(3000, 4, 11), 23}}) {
    const Bytes input = SubBlocks(2, Lzw(2, pixels), blockSize);
    std::int64_t before = 0;
    for (std::int64_t limit = 0; limit < std::int64_t(input.size()); ++limit) {
      FailingInput failing(input, limit);
      Bytes target(pixels.size() + 64, 7);
      EXPECT_THROW(
          decoder.Decode(failing, 2, target.data(), std::int64_t(pixels.size()), 7),
          std::runtime_error);
      const std::int64_t written = decoder.Written();
      ASSERT_GE(written, before) << limit;
      ASSERT_LE(written, std::int64_t(pixels.size())) << limit;
      EXPECT_TRUE(std::equal(target.begin(), target.begin() + written, pixels.begin()))
          << limit;
      EXPECT_EQ(Bytes(target.begin() + written, target.end()),
                Bytes(target.size() - std::size_t(written), 7))
          << limit;
      before = written;
    }
    EXPECT_GT(before, 8);
  }
}

TEST(LzwDecoder, DamagedCodesDecodeAsTheyAlwaysHave) {
  // Damaged data: a code after a clear that isn't a pixel, or one beyond the
  // next entry, makes entries whose prefix chain has no trusted length. The
  // chain is walked up to the first entry that has one, whose string is
  // taken from where it was written; a code beyond the next entry is the
  // previous string and its first pixel. After a clear nothing of the
  // entries made before it may show through, whatever the codes. Minimum
  // code size 2 (clear 4, end 5), a frame of 200, fill 9; expected pixels as
  // the decoder has always given them.
  struct Case {
    std::vector<int> codes;
    Bytes pixels;  // the first Written() pixels
    TLzwResult result = TLzwResult::Ok;
    std::vector<TLzwResult> warnings = {};
  };
  const std::vector<TLzwResult> early = {TLzwResult::CodesEarly};
  // Entries 6 to 13 made of long strings (36 pixels 1), then a clear.
  auto afterClear = [](std::vector<int> codes, Bytes pixels,
                       TLzwResult result = TLzwResult::Ok) {
    codes.insert(codes.begin(), {4, 1, 6, 7, 8, 9, 10, 11, 12, 4});
    pixels.insert(pixels.begin(), 36, 1);
    return Case{codes, pixels, result};
  };
  const Case cases[] = {
      {{4, 7, 2, 2, 1, 1, 0, 7, 6}, {7, 2, 2, 1, 1, 0, 2, 2, 2, 2, 2}, {}, early},
      {{4, 7, 9, 9, 3, 6, 0, 6}, {7, 1, 1, 3, 1, 1, 1, 0, 1, 1, 1, 0}, {}, early},
      {{4, 1, 6, 3, 0, 11, 0, 2, 8, 10, 6},
       {1, 1, 1, 3, 0, 0, 0, 0, 2, 3, 0, 0, 2, 0, 1, 1},
       {},
       early},
      {{4, 1, 3, 2, 13, 13, 1, 0, 1, 9, 2},
       {1, 3, 2, 2, 2, 0, 0, 2, 1, 0, 1, 0, 0, 0, 2},
       {},
       early},
      // An old entry as the first code after the clear reads as its pixel,
      // and an entry not yet made again as two pixels 0; an entry on its own
      // prefix loops.
      afterClear({6, 6, 7, 3, 9, 0, 5}, {6, 0, 0, 6}, TLzwResult::CircularEntry),
      afterClear({7, 3, 7, 13, 6, 2, 5}, {7, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2}),
      // Codes beyond the next entry, then two clears.
      afterClear({1, 7, 6, 12, 4, 4, 7, 3, 5}, {1, 1, 1, 1, 1, 1, 1, 1, 7, 3}),
      afterClear({6, 2, 6, 7, 5}, {6, 2}, TLzwResult::CircularEntry),
      // The end code right after a clear: what follows is not read.
      afterClear({2, 3, 4, 5, 1}, {2, 3}),
      afterClear({5, 1, 2}, {}),
  };
  TLzwDecoder decoder;
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    const Bytes input = SubBlocks(2, Widths(2, c.codes), 3);
    Decoded d = Decode(decoder, input, 2, 200, 9);
    EXPECT_EQ(d.result, c.result);
    EXPECT_EQ(d.warnings, c.warnings);
    if (c.result == TLzwResult::Ok) {
      EXPECT_EQ(d.consumed, std::int64_t(input.size()));
    }
    ASSERT_EQ(d.written, std::int64_t(c.pixels.size()));
    EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + d.written), c.pixels);
    EXPECT_EQ(Bytes(d.pixels.begin() + d.written, d.pixels.end()),
              Bytes(200 - c.pixels.size(), 9));
  }
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
