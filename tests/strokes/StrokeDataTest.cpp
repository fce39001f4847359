// The packed stroke data: lookups in the bundled file, and files that are
// cut short or damaged, which must fail cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>

#include "strokes/StrokeData.h"
#include "tests/PeakMemory.h"
#include "tests/TempFolder.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/strokes/StrokeRecord.h"

namespace velmora {
namespace {

const std::string BundledPath = std::string(VELMORA_DATA_DIR) + "/strokes.bin";

std::string Bundled() {
  std::ifstream in(BundledPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the action was refused with; empty when it was not.
template <class F>
std::string Refusal(F action) {
  return test::ErrorOf<EStrokeData>(action);
}

testing::AssertionResult Says(const std::string& text, const char* part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << '"' << text << "\" does not say \"" << part << '"';
}

TEST(StrokeData, BundledFileFindsItsFirstLastAndCommonCharacters) {
  const TStrokeData data = TStrokeData::Open(BundledPath);
  const std::vector<char32_t> all = data.CodePoints();
  ASSERT_GT(all.size(), 9000u);
  for (const char32_t c : {all.front(), all.back(), char32_t(U'中'), char32_t(U'龍')}) {
    const auto strokes = data.Find(c);
    ASSERT_TRUE(strokes) << std::hex << unsigned(c);
    EXPECT_EQ(strokes->CodePoint, c);
    for (const TStroke& s : strokes->Strokes) {
      EXPECT_FALSE(s.Segments.empty());
      EXPECT_FALSE(s.Median.empty());
      // Everything lies in the box, give or take the data's overshoot.
      for (const TStrokePoint& p : s.Median) {
        EXPECT_GE(p.X, -64);
        EXPECT_LE(p.X, StrokeBoxSize + 64);
        EXPECT_GE(p.Y, -64);
        EXPECT_LE(p.Y, StrokeBoxSize + 64);
      }
    }
  }
  EXPECT_EQ(data.Find(U'中')->Strokes.size(), 4u);
  EXPECT_EQ(data.Find(U'龍')->Strokes.size(), 16u);
  // The first stroke of 中 is the left upright: written downwards.
  const TStroke first = data.Find(U'中')->Strokes[0];
  EXPECT_LT(first.Median.front().Y, first.Median.back().Y);
  EXPECT_LT(first.Median.front().X, StrokeBoxSize / 2);

  // Just outside the ends, a gap between two entries, and no character at all.
  EXPECT_FALSE(data.Find(all.front() - 1));
  EXPECT_FALSE(data.Find(all.back() + 1));
  EXPECT_FALSE(data.Find(U'a'));
  EXPECT_FALSE(data.Find(0x10FFFF));
  EXPECT_TRUE(data.Contains(U'中'));
  EXPECT_FALSE(data.Contains(U'a'));

  // The same bytes from memory answer the same.
  const TStrokeData memory = TStrokeData::FromBytes(Bundled());
  EXPECT_EQ(memory.Count(), data.Count());
  EXPECT_EQ(memory.Find(U'中')->Strokes[2].Median, data.Find(U'中')->Strokes[2].Median);
}

TEST(StrokeData, MissingShortAndForeignFilesAreRefused) {
  test::TTempFolder folder("strokes");
  EXPECT_THROW(TStrokeData::Open((folder / "none.bin").string()), EStrokeData);
  EXPECT_THROW(TStrokeData::Open(folder.Write("empty.bin", "")), EStrokeData);
  EXPECT_TRUE(Says(Refusal([&] { TStrokeData::Open(folder.Path().string()); }),
                   "not a regular file"));
  EXPECT_THROW(TStrokeData::Open(folder.Write("text.bin", "1.sr is not stroke data")),
               EStrokeData);

  // Cut anywhere, in the header, the index or the records: the file says
  // how long it is, so opening fails instead of a later lookup.
  const std::string whole = Bundled();
  for (const std::size_t size :
       {std::size_t(4), std::size_t(16), std::size_t(20), std::size_t(5000),
        std::size_t(80000), whole.size() / 2, whole.size() - 1}) {
    const std::string path = folder.Write("cut.bin", whole.substr(0, size));
    EXPECT_THROW(TStrokeData::Open(path), EStrokeData) << size;
    EXPECT_THROW(TStrokeData::FromBytes(whole.substr(0, size)), EStrokeData) << size;
  }
  const std::string half = folder.Write("cut.bin", whole.substr(0, whole.size() / 2));
  EXPECT_TRUE(Says(Refusal([&] { TStrokeData::Open(half); }), "cut short"));
}

// A FIFO named strokes.bin, with nobody writing to it, is refused at once
// rather than waited on.
TEST(StrokeData, AFifoIsRefusedWithoutWaitingForAWriter) {
  test::TTempFolder folder("strokes");
  const std::string fifo = (folder / "strokes.bin").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto open = std::async(std::launch::async,
                         [&] { return Refusal([&] { TStrokeData::Open(fifo); }); });
  if (open.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "opening a FIFO waits for a writer";
    ::close(::open(fifo.c_str(), O_WRONLY));  // a writer lets it go on
  }
  EXPECT_TRUE(Says(open.get(), "not a regular file"));
}

// A little endian u32 at an offset of a copy of bytes.
std::string WithU32(std::string bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(value >> (8 * i));
  return bytes;
}

TEST(StrokeData, DamagedIndexOrRecordsFailCleanly) {
  const std::string whole = Bundled();
  // Code points out of order, an offset pointing back into the index, an end
  // past the file, a count past the file, a box of another size.
  EXPECT_THROW(TStrokeData::FromBytes(WithU32(whole, 16 + 8, 0)), EStrokeData);
  EXPECT_THROW(TStrokeData::FromBytes(WithU32(whole, 16 + 12, 3)), EStrokeData);
  EXPECT_THROW(TStrokeData::FromBytes(WithU32(whole, 8, 0xFFFFFFF0)), EStrokeData);
  EXPECT_THROW(TStrokeData::FromBytes(WithU32(whole, 12, 2048)), EStrokeData);

  // Every byte of one record changed in turn: the lookup gives strokes or
  // EStrokeData, nothing else, and reads nothing outside the record (the
  // sanitizer build watches that).
  const TStrokeData clean = TStrokeData::FromBytes(whole);
  const std::vector<char32_t> all = clean.CodePoints();
  const std::size_t index =
      16 + 8 * std::size_t(std::find(all.begin(), all.end(), U'中') - all.begin());
  const auto [begin, end] = test::StrokeRecordSpan(whole, U'中');
  ASSERT_LT(begin, end);
  int refused = 0;
  std::mt19937 random(7);
  for (std::uint32_t at = begin; at < end; ++at) {
    std::string damaged = whole;
    damaged[at] = char(damaged[at] ^ (1 + random() % 255));
    const TStrokeData data = TStrokeData::FromBytes(std::move(damaged));
    try {
      const auto strokes = data.Find(U'中');
      ASSERT_TRUE(strokes);
      for (const TStroke& s : strokes->Strokes) ASSERT_FALSE(s.Median.empty());
    } catch (const EStrokeData& e) {
      EXPECT_TRUE(Says(e.what(), "U+4E2D"));
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
  // Two entries at one offset leave the first an empty record.
  const TStrokeData empty = TStrokeData::FromBytes(WithU32(whole, index + 12, begin));
  EXPECT_THROW(empty.Find(U'中'), EStrokeData);
  // The neighbours keep working: the damage stays in its record.
  std::string damaged = whole;
  for (std::uint32_t at = begin; at < end; ++at) damaged[at] = char(0xFF);
  const TStrokeData data = TStrokeData::FromBytes(std::move(damaged));
  EXPECT_THROW(data.Find(U'中'), EStrokeData);
  EXPECT_TRUE(data.Find(U'丰'));
  EXPECT_TRUE(data.Find(U'串'));
}

// An index count of 2^28 in a sparse file big enough to hold such an index:
// no file has more entries than there are code points, so it is refused
// before anything of the index is read.
TEST(StrokeData, AnIndexCountBeyondTheCodePointsIsRefusedAtOpen) {
  test::TTempFolder folder("strokes");
  const std::string path =
      folder.Write("huge.bin", WithU32(Bundled().substr(0, 16), 8, 0x10000000));
  std::filesystem::resize_file(path, (std::uintmax_t(0x10000000) + 1) * 8 + 16);
  test::StartPeak();
  EXPECT_TRUE(Says(Refusal([&] { TStrokeData::Open(path); }), "268435456 characters"));
  EXPECT_LT(test::PeakSinceStart(), 1 << 20);
  // One entry for every code point is the most: that count is judged by the
  // index that follows (here: none).
  for (const std::uint32_t count : {0x110000u, 0x110001u})
    EXPECT_TRUE(Says(Refusal([&] {
                       TStrokeData::FromBytes(WithU32(Bundled().substr(0, 16), 8, count));
                     }),
                     count == 0x110000 ? "cut short" : "more than"))
        << count;
}

TEST(StrokeData, SingleCodePointTakesExactlyOneCharacter) {
  EXPECT_EQ(SingleCodePoint("中"), U'中');
  EXPECT_EQ(SingleCodePoint("a"), U'a');
  EXPECT_EQ(SingleCodePoint("\xF0\x9F\x98\x80"), char32_t(0x1F600));
  for (const char* text : {"", "中国", "ab", "\xE4\xB8", "\xE4\xB8\x41", "\xC0\xAF",
                           "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
    EXPECT_FALSE(SingleCodePoint(text)) << text;
}

}  // namespace
}  // namespace velmora
