#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/gif/render/Frames.h"
#include "tests/tools/velmora-gif/CommandTest.h"
#include "tools/velmora-gif/GIFCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

namespace fs = std::filesystem;

// The colour of pixel (x, y) in a PNG that play wrote.
TColor PixelOf(const fs::path& path, int width, int x, int y) {
  PngPicture picture;
  std::string error;
  EXPECT_TRUE(ReadPng(path.string(), picture, error)) << error;
  EXPECT_EQ(picture.Width, width);
  const std::uint32_t c =
      picture.Pixels.at(std::size_t(y) * std::size_t(width) + std::size_t(x));
  return RGB(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c));
}

class PlayCommand : public CommandTest {
 protected:
  void SetUp() override {
    // 2 x 1 screen: frame 0 red at (0, 0), delay 1; frame 1 green at (1, 0),
    // no delay, its area restored after it is shown; endless loop.
    auto image = test::MakeImage(2, 1, {clRed, RGB(0, 255, 0), clBlue, clBlack});
    auto* f0 = test::AddFrame(*image, 0, 0, 1, 1, {0}, {}, 3);
    f0->GraphicControlExtension->SetDelay(1);
    auto* loop = new TGIFAppExtNSLoop(f0);
    f0->Extensions->Insert(0, loop);
    auto* f1 = test::AddFrame(*image, 1, 0, 1, 1, {1}, {}, 3);
    f1->GraphicControlExtension->SetDisposal(dmBackground);
    gif = (dir / "anim.gif").string();
    image->SaveToFile(gif);
  }
  std::string gif;
};

TEST_F(PlayCommand, WritesEachPaintedStateAndTheNominalWaits) {
  const fs::path outDir = dir / "out";
  ASSERT_EQ(Run({"play", gif, outDir.string(), "--background", "0000FF", "--loops", "2"}),
            0)
      << err.str();
  EXPECT_EQ(Contents(outDir / "timeline.json"),
            "[{\"frame\": 0, \"wait_ms\": 0}, {\"frame\": 1, \"wait_ms\": 36}, "
            "{\"frame\": 0, \"wait_ms\": 120}, {\"frame\": 1, \"wait_ms\": 36}]\n");
  EXPECT_EQ(PixelOf(outDir / "frame_000.png", 2, 0, 0), clRed);
  EXPECT_EQ(PixelOf(outDir / "frame_000.png", 2, 1, 0), clBlue);  // the background
  EXPECT_EQ(PixelOf(outDir / "frame_001.png", 2, 1, 0), RGB(0, 255, 0));
  // Frame 1's area went back to the background before the second pass.
  EXPECT_EQ(PixelOf(outDir / "frame_002.png", 2, 1, 0), clBlue);
  EXPECT_FALSE(fs::exists(outDir / "frame_004.png"));

  // One pass by default.
  ASSERT_EQ(Run({"play", gif, (dir / "once").string()}), 0) << err.str();
  EXPECT_TRUE(fs::exists(dir / "once" / "frame_001.png"));
  EXPECT_FALSE(fs::exists(dir / "once" / "frame_002.png"));
  EXPECT_EQ(PixelOf(dir / "once" / "frame_000.png", 2, 1, 0), clWhite);
}

TEST_F(PlayCommand, ReportsTroubleWithStatusTwo) {
  EXPECT_EQ(Run({"play", gif}), 2);
  EXPECT_EQ(Run({"play", gif, dir.string(), "--loops", "0"}), 2);
  EXPECT_EQ(Run({"play", gif, dir.string(), "--background", "blue"}), 2);
  EXPECT_EQ(Run({"play", (dir / "missing.gif").string(), dir.string()}), 2);
  EXPECT_TRUE(Said("cannot open"));
  std::ofstream(dir / "bad.gif") << "GIF89a nonsense";
  EXPECT_EQ(Run({"play", (dir / "bad.gif").string(), dir.string()}), 2);
  EXPECT_EQ(Run({"play", "--help"}), 0);
  EXPECT_NE(out.str().find("timeline.json"), std::string::npos);
}

TEST_F(PlayCommand, AnErrorThatEndsThePainterIsReported) {
  // No colour table anywhere: the frames decode, but nothing can be painted.
  // One frame is painted synchronously, two by the asynchronous painter.
  for (int frames : {1, 2}) {
    test::GifBuilder b;
    b.Header(2, 1, 0);
    for (int i = 0; i < frames; ++i)
      b.Descriptor(0, 0, 2, 1).Codes(2, test::Fixed(3, {4, 1, 1, 5}));
    const fs::path file = dir / ("plain" + std::to_string(frames) + ".gif");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.Trailer().data.data()),
               std::streamsize(b.data.size()));
    const fs::path outDir = dir / ("out" + std::to_string(frames));
    EXPECT_EQ(Run({"play", file.string(), outDir.string()}), 2) << frames;
    EXPECT_TRUE(Said("No global or local color table defined"));
    EXPECT_FALSE(fs::exists(outDir / "timeline.json"));
    EXPECT_FALSE(fs::exists(outDir / "frame_000.png"));
  }
}

}  // namespace
}  // namespace velmora::gifTool
