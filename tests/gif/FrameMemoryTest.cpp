// Frame memory: large frames share regions that go back to the system when
// their last frame is freed, and no frame's bytes are touched by what is
// freed or allocated around it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gif/GIFFrameMemory.h"
#include "tests/gif/MemoryLimit.h"

namespace velmora {
namespace {

constexpr std::size_t MiB = 1 << 20;

std::uint8_t Pattern(std::size_t frame, std::size_t at) {
  return std::uint8_t(frame * 37 + at * 11 + (at >> 12));
}

void Fill(TFramePixels& pixels, std::size_t frame) {
  for (std::size_t i = 0; i < pixels.get_deleter().Size; ++i)
    pixels[i] = Pattern(frame, i);
}

bool Intact(const TFramePixels& pixels, std::size_t frame) {
  for (std::size_t i = 0; i < pixels.get_deleter().Size; ++i)
    if (pixels[i] != Pattern(frame, i)) return false;
  return true;
}

TEST(FrameMemory, FramesKeepTheirBytesWhateverIsFreedOrAllocatedAroundThem) {
  const TFrameRegionStats before = FrameRegionStats();
  // Sizes across the large-page boundaries: frames holding whole 2 MiB
  // pages (given back when freed while the region lives), frames sharing
  // pages, and small ones from the heap between them.
  const std::vector<std::size_t> sizes = {3 * MiB,          700 * 1024,  5 * MiB + 123,
                                          300 * 1024,       1000,        2 * MiB,
                                          FrameRegionLeast, 4 * MiB + 7, 720 * 1024};
  std::vector<TFramePixels> frames;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    frames.push_back(AllocateFramePixels(sizes[i]));
    ASSERT_TRUE(frames.back()) << i;
    Fill(frames.back(), i);
  }
  if (FrameRegionsEnabled()) {
    EXPECT_EQ(FrameRegionStats().Frames - before.Frames, sizes.size() - 1);
    EXPECT_GT(FrameRegionStats().Regions, before.Regions);
  }

  // Every other one goes, then new ones take the space freed at the end.
  for (std::size_t i = 0; i < frames.size(); i += 2) frames[i].reset();
  for (std::size_t i = 1; i < frames.size(); i += 2)
    EXPECT_TRUE(Intact(frames[i], i)) << i;
  for (std::size_t i = 0; i < frames.size(); i += 2) {
    frames[i] = AllocateFramePixels(sizes[sizes.size() - 1 - i]);
    ASSERT_TRUE(frames[i]) << i;
    Fill(frames[i], 100 + i);
  }
  for (std::size_t i = 0; i < frames.size(); ++i)
    EXPECT_TRUE(Intact(frames[i], i % 2 ? i : 100 + i)) << i;

  // The last frame of a region returns the whole region.
  for (std::size_t i = frames.size(); i-- > 0;) frames[i].reset();
  const TFrameRegionStats after = FrameRegionStats();
  EXPECT_EQ(after.Regions, before.Regions);
  EXPECT_EQ(after.Frames, before.Frames);
  EXPECT_EQ(after.Mapped, before.Mapped);
}

TEST(FrameMemory, AFrameAllocatedAgainAndAgainDoesNotGrowTheRegions) {
  TFramePixels kept = AllocateFramePixels(FrameRegionLeast);
  ASSERT_TRUE(kept);
  Fill(kept, 1);
  const std::size_t mapped = FrameRegionStats().Mapped;
  for (int round = 0; round < 200; ++round) {
    TFramePixels edited = AllocateFramePixels(3 * MiB);
    ASSERT_TRUE(edited);
    edited[3 * MiB - 1] = 1;
    // Its space is taken again each time, within the region already there.
    ASSERT_EQ(FrameRegionStats().Mapped, mapped) << round;
  }
  EXPECT_TRUE(Intact(kept, 1));
}

// Through the image: its frames are counted against its account to the
// byte, and destroying the image frees every region its frames took.
TEST(FrameMemory, AnImagesLargeFramesGoWithTheImage) {
  const TFrameRegionStats before = FrameRegionStats();
  std::vector<test::TinyFrame> sizes;
  for (int i = 0; i < 12; ++i) sizes.emplace_back(0, 0, 1000 - 20 * i, 700);
  const test::Bytes gif = test::TinyGif(1000, 700, sizes);
  {
    TGIFImage image;
    TReadOnlyMemoryStream stream(gif.data(), gif.size());
    image.LoadFromStream(stream);
    ASSERT_EQ(image.Images->GetCount(), 12);
    std::int64_t pixels = 0;
    for (int i = 0; i < 12; ++i) {
      const TGIFSubImage& frame = *image.Images->GetImage(i);
      ASSERT_EQ(frame.DataSize, std::int64_t(1000 - 20 * i) * 700);
      pixels += frame.DataSize;
    }
    EXPECT_EQ(image.Memory->GetUsed(), pixels);
    if (FrameRegionsEnabled()) {
      EXPECT_EQ(FrameRegionStats().Frames - before.Frames, 12u);
    }
  }
  EXPECT_EQ(FrameRegionStats().Frames, before.Frames);
  EXPECT_EQ(FrameRegionStats().Regions, before.Regions);
}

}  // namespace
}  // namespace velmora
