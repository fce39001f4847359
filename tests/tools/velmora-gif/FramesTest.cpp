#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gif/GIFImage.h"
#include "tools/velmora-gif/GifCommands.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
         (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

struct Png {
  int width = 0, height = 0, color = -1;
  Bytes pixels;  // filter bytes removed
};

// Reads back what EncodePng writes, checking every CRC and the Adler sum.
Png Decode(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Png png;
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 8),
            (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  Bytes z;
  for (std::size_t at = 8; at + 12 <= b.size();) {
    std::uint32_t len = Be32(b, at);
    std::string type(b.begin() + long(at + 4), b.begin() + long(at + 8));
    EXPECT_EQ(Crc32(&b[at + 4], len + 4), Be32(b, at + 8 + len)) << type;
    if (type == "IHDR") {
      png.width = int(Be32(b, at + 8));
      png.height = int(Be32(b, at + 12));
      png.color = b[at + 17];
    } else if (type == "IDAT") {
      z.insert(z.end(), b.begin() + long(at + 8), b.begin() + long(at + 8 + len));
    }
    at += 12 + len;
  }
  Bytes raw;
  for (std::size_t at = 2; at + 5 <= z.size() - 4;) {
    std::size_t len = z[at + 1] | (z[at + 2] << 8);
    raw.insert(raw.end(), z.begin() + long(at + 5), z.begin() + long(at + 5 + len));
    bool last = z[at] & 1;
    at += 5 + len;
    if (last) break;
  }
  EXPECT_EQ(Adler32(raw.data(), raw.size()), Be32(z, z.size() - 4));
  std::size_t row = std::size_t(png.width) * (png.color == 2 ? 3 : 1);
  for (int y = 0; y < png.height; ++y) {
    EXPECT_EQ(raw[std::size_t(y) * (row + 1)], 0);
    auto from = raw.begin() + long(std::size_t(y) * (row + 1) + 1);
    png.pixels.insert(png.pixels.end(), from, from + long(row));
  }
  return png;
}

class FramesCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("velmora-frames-" +
           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  int Run(const Args& args) {
    out.str("");
    err.str("");
    return Main(args, out, err);
  }
  fs::path dir;
  std::ostringstream out, err;
};

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
  EXPECT_NE(err.str().find("cannot open"), std::string::npos);
  std::ofstream((dir / "bad.gif").string()) << "GIF89a";
  EXPECT_EQ(Run({"frames", (dir / "bad.gif").string(), dir.string()}), 2);
  EXPECT_NE(err.str().find("bad.gif"), std::string::npos);
  EXPECT_EQ(Run({"frames", "only-one"}), 2);
  EXPECT_EQ(Run({"frames", "--help"}), 0);
  EXPECT_NE(out.str().find("mask_NNN.png"), std::string::npos);
}

TEST(Png, LongImagesSpanSeveralStoredBlocks) {
  Bytes rows(300 * 300 * 3, 7);
  Bytes png = EncodePng(300, 300, PngColor::Rgb, rows);
  EXPECT_GT(png.size(), rows.size());
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(Adler32(reinterpret_cast<const std::uint8_t*>("Wikipedia"), 9), 0x11E60398u);
}

}  // namespace
}  // namespace velmora::gifTool
