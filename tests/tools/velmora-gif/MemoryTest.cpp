// velmora-gif on pictures that ask for more memory than one picture may
// take, and on files cut short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/PeakMemory.h"
#include "tests/gif/GIFBuilder.h"
#include "tests/gif/MemoryLimit.h"
#include "tests/tools/velmora-gif/CommandTest.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

using test::Bytes;
using test::GifBuilder;

class MemoryCommand : public CommandTest {
 protected:
  std::string File(const char* name, const Bytes& gif) {
    return folder.Write(name, std::string(gif.begin(), gif.end()));
  }
  // Runs the command and says whether it was refused for its memory, with
  // exit status 2 and the reason on standard error.
  bool Refused(const Args& args) {
    const int status = Run(args);
    return status == 2 && Said(test::kMemoryRefused);
  }
};

TEST_F(MemoryCommand, TinyFilesWithHugeScreensOrFramesAreRefusedCheaply) {
  const std::string screen = File("screen.gif", test::TinyGif(65535, 65535, {{1, 1}}));
  const std::string animation =
      File("animation.gif", test::TinyGif(30000, 30000, {{1, 1}, {1, 1}}, true));
  const std::string wide = File("wide.gif", test::TinyGif(65535, 8000, {{65535, 8000}}));
  const std::string square =
      File("square.gif", test::TinyGif(20000, 20000, {{20000, 20000}}));
  const std::string outDir = (dir / "out").string();
  const std::vector<Args> runs = {
      {"info", screen},         {"frames", screen, outDir},
      {"play", screen, outDir}, {"play", animation, outDir},
      {"frames", wide, outDir}, {"frames", square, outDir},
      {"play", square, outDir},
  };
  for (const Args& args : runs) {
    test::StartPeak();
    EXPECT_TRUE(Refused(args)) << args[0] << " " << args[1] << ": " << err.str();
    EXPECT_LT(test::PeakSinceStart(), test::kMiB) << args[0] << " " << args[1];
  }
}

TEST_F(MemoryCommand, WhatTheToolsMakeFromAPictureCountsWithIt) {
  test::PixelMemoryLimit limit(4 * test::kMiB);
  const std::string outDir = (dir / "out").string();
  // A frame far larger than its screen: its 2.16 MB of pixels fit, its
  // bitmap as well does not.
  const std::string frame = File("frame.gif", test::TinyGif(8, 8, {{1800, 1200}}));
  for (const char* command : {"frames", "play"}) {
    test::StartPeak();
    EXPECT_TRUE(Refused({command, frame, outDir})) << command << ": " << err.str();
    EXPECT_LE(test::PeakSinceStart(), 2 * 4 * test::kMiB) << command;
  }
  // The play canvas (3.24 MB) and the frame fit, the frame's bitmap on top
  // of them does not.
  const std::string canvas = File("canvas.gif", test::TinyGif(900, 900, {{900, 900}}));
  test::StartPeak();
  EXPECT_TRUE(Refused({"play", canvas, outDir})) << err.str();
  EXPECT_LE(test::PeakSinceStart(), 2 * 4 * test::kMiB);
  // Writing the frame takes a 32-bit copy and RGB rows besides.
  const std::string rows = File("rows.gif", test::TinyGif(8, 8, {{1000, 600}}));
  EXPECT_TRUE(Refused({"frames", rows, outDir})) << err.str();
  EXPECT_EQ(Run({"info", rows}), 0);

  // Twenty frames whose pixels fit with the bitmaps of a few at a time, not
  // of all twenty: written and played all the same.
  const std::string many =
      File("many.gif",
           test::TinyGif(300, 300, std::vector<test::TinyFrame>(20, {300, 300}), true));
  EXPECT_EQ(Run({"frames", many, outDir}), 0) << err.str();
  EXPECT_NE(out.str().find("frame_019.png"), std::string::npos);
  EXPECT_EQ(Run({"play", many, outDir}), 0) << err.str();
  EXPECT_NE(out.str().find("frame_019.png"), std::string::npos);
}

// The bytes of a PNG chunk: length, type, data, checksum.
std::string PngChunk(const std::string& type, const std::string& data) {
  auto be32 = [](std::uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  std::uint32_t crc = 0xFFFFFFFF;
  for (const unsigned char b : type + data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return be32(std::uint32_t(data.size())) + type + data + be32(~crc);
}

// A PNG of a few dozen bytes that declares a 1-bit grey picture of any size:
// its header, the start of its image data, no more.
std::string PngBomb(std::uint32_t width, std::uint32_t height) {
  std::string ihdr;
  for (const std::uint32_t v : {width, height})
    ihdr += std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  ihdr += std::string{1, 0, 0, 0, 0};  // 1 bit, grey, deflate, filter 0, not interlaced
  return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) +
         PngChunk("IDAT", "\x78\x9c\x63\x00") + PngChunk("IEND", "");
}

TEST_F(MemoryCommand, PngFramesAreJudgedByTheirHeaderBeforeTheirPixelsTakeMemory) {
  const std::string out_gif = (dir / "out.gif").string();
  const struct {
    std::uint32_t width, height;
    std::string reason;
  } bombs[] = {{1000000, 1000000, "larger than a GIF can hold"},
               {30000, 30000, test::kMemoryRefused},
               {20000, 20000, test::kMemoryRefused}};
  for (const auto& bomb : bombs) {
    const std::string png = folder.Write("bomb.png", PngBomb(bomb.width, bomb.height));
    test::StartPeak();
    EXPECT_EQ(Run({"encode", out_gif, png}), 2) << bomb.width;
    EXPECT_LT(test::PeakSinceStart(), test::kMiB) << bomb.width;
    EXPECT_TRUE(Said("is " + std::to_string(bomb.width) + "x" +
                     std::to_string(bomb.height) + ", " + bomb.reason));
  }
}

// What encode writes, info reads: the limit falls at the same size for both.
TEST_F(MemoryCommand, EncodeRefusesWhatTheReaderWouldRefuse) {
  test::PixelMemoryLimit limit(4 * test::kMiB);
  const std::string out_gif = (dir / "out.gif").string();
  for (const int width : {1024, 1025}) {
    const bool fits = width == 1024;  // 1024 x 1024 x 4 bytes is the limit
    EXPECT_EQ(Run({"info", File("screen.gif", test::TinyGif(width, 1024, {{1, 1}}))}),
              fits ? 0 : 2)
        << width;
    const std::string png = (dir / "frame.png").string();
    ASSERT_TRUE(WritePng(png, width, 1024, PngColor::Grey,
                         std::vector<std::uint8_t>(std::size_t(width) * 1024, 0x80)));
    std::filesystem::remove(out_gif);
    test::StartPeak();
    EXPECT_EQ(Run({"encode", out_gif, png}), fits ? 0 : 2) << width << err.str();
    if (!fits) {
      EXPECT_LT(test::PeakSinceStart(), test::kMiB);
      EXPECT_TRUE(Said(test::kMemoryRefused));
      EXPECT_FALSE(std::filesystem::exists(out_gif));
      continue;
    }
    EXPECT_EQ(Run({"info", out_gif}), 0) << err.str();
  }
}

TEST_F(MemoryCommand, AFileCutShortIsDrawnWithTheDecodersWarningsOnStandardError) {
  GifBuilder b;
  b.Header(4, 4, 2).Descriptor(0, 0, 4, 4);
  const std::string outDir = (dir / "out").string();
  // Cut inside a sub-block, and right after a whole one.
  for (Bytes cut : {Bytes{2, 5, 0x8C, 0x0D}, Bytes{2, 2, 0x8C, 0x0D}}) {
    cut.insert(cut.begin(), b.data.begin(), b.data.end());
    const std::string file = File("cut.gif", cut);
    for (const char* command : {"frames", "play"}) {
      EXPECT_EQ(Run({command, file, outDir}), 0) << command << ": " << err.str();
      EXPECT_EQ(err.str(), "velmora-gif " + std::string(command) + ": " + file +
                               ": warning: Premature end of data\n");
      EXPECT_NE(out.str().find("frame_000.png"), std::string::npos) << command;
    }
  }
  // Said in the help.
  for (const char* command : {"frames", "play"}) {
    Run({command, "--help"});
    EXPECT_NE(out.str().find("warnings"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace velmora::gifTool
