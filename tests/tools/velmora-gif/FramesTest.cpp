#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/tools/velmora-gif/CommandTest.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Png {
  int width = 0, height = 0, color = -1;
  Bytes pixels;
};

// Reads back what the frames command writes through an independent path,
// libpng's reader, keeping the file's own colour type (0 grey, 2 RGB).
Png Decode(const fs::path& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  Png png;
  EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
  const bool rgb = image.format & PNG_FORMAT_FLAG_COLOR;
  EXPECT_FALSE(image.format & PNG_FORMAT_FLAG_ALPHA) << path;
  png.color = rgb ? 2 : 0;
  image.format = rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  png.width = int(image.width);
  png.height = int(image.height);
  png.pixels.resize(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, png.pixels.data(), 0, nullptr));
  return png;
}

using FramesCommand = CommandTest;

TEST_F(FramesCommand, WritesEachFrameAndTheMasksThatExist) {
  TGIFImage image;
  image.Header->LogicalScreenDescriptor.ScreenWidth = 4;
  image.Header->LogicalScreenDescriptor.ScreenHeight = 2;
  image.Header->ColorMap->Add(RGB(255, 0, 0));
  image.Header->ColorMap->Add(RGB(0, 0, 255));
  auto* opaque = new TGIFSubImage(&image);
  image.Images->Add(opaque);
  opaque->SetBounds(0, 0, 4, 2);
  opaque->Data[1] = 1;
  auto* holes = new TGIFSubImage(&image);
  image.Images->Add(holes);
  holes->SetBounds(1, 0, 3, 1);
  holes->Data[2] = 1;
  auto* gce = new TGIFGraphicControlExtension(holes);
  holes->Extensions->Add(gce);
  gce->SetTransparentColorIndex(1);
  gce->SetTransparent(true);
  {
    TFileStream file((dir / "in.gif").string(), TFileMode::fmCreate);
    image.SaveToStream(file);
  }

  fs::path outDir = dir / "made" / "here";
  ASSERT_EQ(Run({"frames", (dir / "in.gif").string(), outDir.string()}), 0) << err.str();
  EXPECT_TRUE(fs::exists(outDir / "frame_000.png"));
  EXPECT_FALSE(fs::exists(outDir / "mask_000.png"));
  Png f0 = Decode(outDir / "frame_000.png");
  EXPECT_EQ(f0.width, 4);
  EXPECT_EQ(f0.height, 2);
  EXPECT_EQ(f0.color, 2);
  EXPECT_EQ(Bytes(f0.pixels.begin(), f0.pixels.begin() + 6),
            (Bytes{255, 0, 0, 0, 0, 255}));
  Png f1 = Decode(outDir / "frame_001.png");
  EXPECT_EQ(f1.width, 3);  // the frame's own size
  Png m1 = Decode(outDir / "mask_001.png");
  EXPECT_EQ(m1.color, 0);
  EXPECT_EQ(m1.pixels, (Bytes{0, 0, 255}));
}

TEST_F(FramesCommand, ReportsTroubleWithStatusTwo) {
  EXPECT_EQ(Run({"frames", (dir / "missing.gif").string(), dir.string()}), 2);
  EXPECT_TRUE(Said("cannot open"));
  std::ofstream((dir / "bad.gif").string()) << "GIF89a";
  EXPECT_EQ(Run({"frames", (dir / "bad.gif").string(), dir.string()}), 2);
  EXPECT_TRUE(Said("bad.gif"));
  EXPECT_EQ(Run({"frames", "only-one"}), 2);
  EXPECT_EQ(Run({"frames", "--help"}), 0);
  EXPECT_NE(out.str().find("mask_NNN.png"), std::string::npos);
}

TEST(Png, WrittenPicturesReadBackAsTheSameColours) {
  const test::TTempFolder dir("velmora-png");
  const fs::path path = dir / "roundtrip.png";
  Bytes rows(300 * 200 * 3);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = std::uint8_t(i * 7 + i / 900);
  ASSERT_TRUE(WritePng(path.string(), 300, 200, PngColor::Rgb, rows));
  PngPicture picture;
  std::string error;
  ASSERT_TRUE(ReadPng(path.string(), picture, error)) << error;
  ASSERT_EQ(picture.Width, 300);
  ASSERT_EQ(picture.Height, 200);
  for (std::size_t i = 0; i < picture.Pixels.size(); ++i)
    ASSERT_EQ(picture.Pixels[i], (std::uint32_t(rows[i * 3]) << 16) |
                                     (std::uint32_t(rows[i * 3 + 1]) << 8) |
                                     rows[i * 3 + 2])
        << i;
  EXPECT_FALSE(WritePng((fs::path("/nonexistent-dir") / "x.png").string(), 300, 200,
                        PngColor::Rgb, rows));
}

}  // namespace
}  // namespace velmora::gifTool
