// Pictures that ask for more memory than one picture may take: refused with
// the image's message, and what they did take measured as it was allocated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/GIFExtensions.h"
#include "gif/render/GIFPainter.h"
#include "tests/PeakMemory.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/gif/MemoryLimit.h"
#include "tests/gif/render/Frames.h"
#include "tests/gif/render/PainterFixture.h"

namespace velmora {
namespace {

using test::Bytes;

template <class F>
std::string ErrorOf(F action) {
  return test::ErrorOf<std::exception>(action);
}

// The load's error, empty when the picture loaded.
std::string Load(TGIFImage& image, const Bytes& gif) {
  TMemoryStream stream(gif);
  return ErrorOf([&] { image.LoadFromStream(stream); });
}

TEST(PictureMemory, TinyFilesAskingForHugeScreensOrFramesAreRefusedAtLoad) {
  struct Case {
    const char* what;
    Bytes gif;
  } cases[] = {
      {"65535 x 65535 screen, 1 x 1 frame", test::TinyGif(65535, 65535, {{0, 0, 1, 1}})},
      {"30000 x 30000 animation",
       test::TinyGif(30000, 30000, {{0, 0, 1, 1}, {0, 0, 1, 1}}, true)},
      {"65535 x 8000 frame", test::TinyGif(65535, 8000, {{0, 0, 65535, 8000}})},
      {"20000 x 20000 frame", test::TinyGif(20000, 20000, {{0, 0, 20000, 20000}})},
  };
  for (const Case& c : cases) {
    ASSERT_LT(c.gif.size(), 100u) << c.what;
    test::StartPeak();
    TGIFImage image;
    EXPECT_EQ(Load(image, c.gif), test::kMemoryRefused) << c.what;
    EXPECT_EQ(image.Images->GetCount(), 0) << c.what;
    EXPECT_LT(test::PeakSinceStart(), test::kMiB) << c.what;
  }
}

TEST(PictureMemory, AFrameLargerThanItsScreenCountsItsBitmapWhenDrawn) {
  test::PixelMemoryLimit limit(4 * test::kMiB);
  TGIFImage image;
  // 2.16 MB of pixels fit; their bitmap as well does not.
  ASSERT_EQ(Load(image, test::TinyGif(8, 8, {{0, 0, 1800, 1200}})), "");
  auto canvas = test::Canvas(8, 8);
  test::StartPeak();
  EXPECT_EQ(ErrorOf([&] { image.Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8)); }),
            test::kMemoryRefused);
  EXPECT_EQ(ErrorOf([&] { image.Images->GetImage(0)->GetBitmap(); }),
            test::kMemoryRefused);
  EXPECT_LE(test::PeakSinceStart(), 2 * 4 * test::kMiB);
  EXPECT_EQ(image.Memory->GetUsed(), 1800 * 1200);  // the refused bitmap left nothing
}

TEST(PictureMemory, TheComposedBitmapAndThePaintersBuffersCount) {
  test::PixelMemoryLimit limit(4 * test::kMiB);
  test::StartPeak();
  TGIFImage image;
  // The 1.44 MB canvas fits, with the two frames; the painter's buffers
  // (a snapshot, a work and a scratch buffer as large) do not.
  ASSERT_EQ(
      Load(image, test::TinyGif(600, 600, {{0, 0, 600, 600}, {0, 0, 600, 600}}, true)),
      "");
  auto canvas = test::Canvas(600, 600);
  const TRect all = Rect(0, 0, 600, 600);
  EXPECT_EQ(ErrorOf([&] { image.Draw(canvas->GetCanvas(), all); }), test::kMemoryRefused);
  EXPECT_EQ(ErrorOf([&] { image.Paint(canvas->GetCanvas(), all, test::kSyncOnce); }),
            test::kMemoryRefused);
  EXPECT_FALSE(image.HasPainters());
  EXPECT_EQ(TGIFPainter::LiveCount.load(), 0);        // the refused painters are gone
  EXPECT_EQ(image.Memory->GetUsed(), 2 * 600 * 600);  // and all they made
  EXPECT_LE(test::PeakSinceStart(),
            2 * 4 * test::kMiB + 600 * 600 * 4);  // with the canvas

  // Within a larger limit the same picture plays, and what it made is given
  // back with the bitmaps.
  image.Memory->SetLimit(32 * test::kMiB);
  test::InstallVirtualClock();
  image.Paint(canvas->GetCanvas(), all, test::kSyncOnce);
  EXPECT_GE(image.Memory->GetPeak(), 3 * 600 * 600 * 4);
  image.Pack();
  EXPECT_EQ(image.Memory->GetUsed(), 2 * 600 * 600);
  ResetGIFPainterClock();
}

TEST(PictureMemory, ALongAnimationPlaysWithTheOtherFramesBitmapsMakingRoom) {
  test::PixelMemoryLimit limit(4 * test::kMiB);
  TGIFImage image;
  // Twelve 500 x 500 frames: their pixels and one bitmap fit, not all twelve
  // bitmaps besides.
  ASSERT_EQ(
      Load(image,
           test::TinyGif(500, 500, std::vector<test::TinyFrame>(12, {0, 0, 500, 500}))),
      "");
  std::string error;
  image.OnWarning = [&](void*, TGIFSeverity severity, const std::string& message) {
    if (severity == gsError) error = message;
  };
  int painted = 0;
  image.OnAfterFrame = [&](void*) { ++painted; };
  test::InstallVirtualClock();
  auto canvas = test::Canvas(500, 500);
  image.Paint(canvas->GetCanvas(), Rect(0, 0, 500, 500), test::kSyncOnce);
  ResetGIFPainterClock();
  EXPECT_EQ(error, "");
  EXPECT_EQ(painted, 12);
  EXPECT_LE(image.Memory->GetPeak(), 4 * test::kMiB);
}

}  // namespace
}  // namespace velmora
