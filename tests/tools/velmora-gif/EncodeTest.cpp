#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/gif/ComposedFrames.h"
#include "tests/tools/velmora-gif/CommandTest.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

namespace fs = std::filesystem;

using Pixels = std::vector<std::uint32_t>;

class EncodeCommand : public CommandTest {
 protected:
  std::string Write(const std::string& name, int w, int h, const Pixels& pixels) {
    std::vector<std::uint8_t> rows;
    for (std::uint32_t p : pixels)
      rows.insert(rows.end(),
                  {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p)});
    const std::string path = (dir / name).string();
    EXPECT_TRUE(WritePng(path, w, h, PngColor::Rgb, rows));
    return path;
  }
  Pixels Read(const fs::path& path) {
    PngPicture picture;
    std::string error;
    EXPECT_TRUE(ReadPng(path.string(), picture, error)) << path << ": " << error;
    return picture.Pixels;
  }
};

// A little screen: a window with a title bar and text that is typed in, a
// cursor that blinks, one state shown twice. 40 colours in all.
std::vector<Pixels> Typing(int w, int h) {
  Pixels screen(std::size_t(w * h), 0x3C6E9F);
  for (int y = 4; y < h - 4; ++y)
    for (int x = 4; x < w - 4; ++x)
      screen[std::size_t(y * w + x)] = y < 10 ? 0x203040 : 0xFFFFFF;
  std::vector<Pixels> states;
  for (int step = 0; step < 6; ++step) {
    Pixels s = screen;
    for (int c = 0; c < step; ++c)  // one "letter" per step, shaded
      for (int y = 14; y < 20; ++y)
        for (int x = 0; x < 4; ++x)
          s[std::size_t(y * w + 8 + c * 6 + x)] =
              std::uint32_t(0x101010 * ((c * 4 + x + y) % 16));
    if (step % 2 == 0)
      for (int y = 14; y < 20; ++y) s[std::size_t(y * w + 8 + step * 6)] = 0xFF0000;
    states.push_back(s);
    if (step == 3) states.push_back(s);  // nothing changed
    if (step == 4) {                     // a tooltip shows for one frame
      Pixels tip = s;
      for (int y = 20; y < 26; ++y)
        for (int x = 20; x < 50; ++x) tip[std::size_t(y * w + x)] = 0xFFFFE0;
      states.push_back(tip);
    }
  }
  return states;
}

TEST_F(EncodeCommand, PlayPaintsTheInputFramesExactly) {
  const int w = 60, h = 30;
  const std::vector<Pixels> typed = Typing(w, h);
  Args args = {"encode", (dir / "out.gif").string()};
  for (std::size_t i = 0; i < typed.size(); ++i)
    args.push_back(Write("in" + std::to_string(i) + ".png", w, h, typed[i]));
  args.insert(args.end(), {"--delay", "70", "--loops", "3"});
  ASSERT_EQ(Run(args), 0) << err.str();
  // The state shown twice in a row is one frame of twice the delay.
  std::vector<Pixels> frames;
  for (const Pixels& p : typed)
    if (frames.empty() || frames.back() != p) frames.push_back(p);
  ASSERT_EQ(frames.size() + 1, typed.size());

  // How frames are cropped and taken back:
  // FramesToGif.AnAnimationIsCroppedTransparentAndExact.
  TGIFImage image;
  image.LoadFromFile((dir / "out.gif").string());
  ASSERT_EQ(image.Images->GetCount(), int(frames.size()));
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(
      image.Images->GetImage(0)->Extensions->GetExtension(0));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Loops, 3);
  EXPECT_EQ(image.Images->GetImage(1)->GraphicControlExtension->GetDelay(), 7);

  // The background is a colour no frame uses: it would show through any
  // hole the optimisation left.
  ASSERT_EQ(Run({"play", (dir / "out.gif").string(), (dir / "play").string(),
                 "--background", "00FF00"}),
            0)
      << err.str();
  auto frame = [&](std::size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%03zu.png", i);
    return dir / "play" / name;
  };
  for (std::size_t i = 0; i < frames.size(); ++i)
    EXPECT_EQ(Read(frame(i)), frames[i]) << frame(i);
  EXPECT_FALSE(fs::exists(frame(frames.size())));
}

// The reduced table and its error: FramesToGif.ManyColoursShareOneReducedTable.
// Here, that --no-dither reaches the encoder.
TEST_F(EncodeCommand, NoDitherIsPassedOn) {
  const int w = 80, h = 64;
  Pixels a(std::size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      a[std::size_t(y * w + x)] =
          std::uint32_t((x * 3) << 16 | (y * 4) << 8 | (((x + y) * 2) & 0xFF));
  std::string written[2];
  for (int i = 0; i < 2; ++i) {
    Args args = {"encode", (dir / "out.gif").string(), Write("a.png", w, h, a)};
    if (i) args.push_back("--no-dither");
    ASSERT_EQ(Run(args), 0) << err.str();
    written[i] = Contents(dir / "out.gif");
  }
  EXPECT_NE(written[0], written[1]);
}

// An animation loops forever unless told otherwise; a still has no loop.
TEST_F(EncodeCommand, AnimationsLoopForeverByDefault) {
  const std::string a = Write("a.png", 4, 4, Pixels(16, 0xFF));
  const std::string b = Write("b.png", 4, 4, Pixels(16, 0xFF00));
  const std::string out_gif = (dir / "out.gif").string();
  auto loops = [&](Args extra) {
    Args args = {"encode", out_gif, a, b};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args), 0) << err.str();
    TGIFImage image;
    image.LoadFromFile(out_gif);
    for (int i = 0; i < image.Images->GetCount(); ++i)
      for (int k = 0; k < image.Images->GetImage(i)->Extensions->GetCount(); ++k)
        if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(
                image.Images->GetImage(i)->Extensions->GetExtension(k)))
          return int(loop->Loops);
    return -1;
  };
  EXPECT_EQ(loops({}), 0);
  EXPECT_EQ(loops({"--loops", "4"}), 4);
  EXPECT_EQ(loops({"--no-loop"}), -1);
  ASSERT_EQ(Run({"encode", out_gif, a}), 0);
  TGIFImage still;
  still.LoadFromFile(out_gif);
  EXPECT_EQ(still.Images->GetImage(0)->Extensions->GetCount(), 0);
  ASSERT_EQ(Run({"encode", "--help"}), 0);
  EXPECT_NE(out.str().find("loops\nforever"), std::string::npos) << out.str();
}

// Writes samples (8 or 16 bits, big-endian, as PNG stores them) through
// libpng's ordinary interface, interlaced when asked.
void WriteRawPng(const fs::path& path, int w, int h, int depth, int colorType,
                 bool interlace, std::vector<std::uint8_t> samples) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  ASSERT_TRUE(file);
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  const std::size_t stride = samples.size() / std::size_t(h);
  for (int y = 0; y < h; ++y) rows.push_back(samples.data() + std::size_t(y) * stride);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// RGBA frames: fully transparent pixels stay transparent, partly
// transparent ones follow the threshold or --background.
TEST_F(EncodeCommand, TransparentPixelsStayTransparent) {
  const int w = 8, h = 6;
  auto frame = [&](const char* name, int sprite) {
    std::vector<std::uint8_t> rgba(std::size_t(w * h * 4), 0);
    for (int y = 1; y < 4; ++y)
      for (int x = sprite; x < sprite + 3; ++x) {
        std::uint8_t* p = &rgba[std::size_t((y * w + x) * 4)];
        p[0] = 200, p[1] = 10, p[2] = 30, p[3] = 255;
      }
    rgba[std::size_t((5 * w + 0) * 4) + 3] = 100;  // red, partly transparent
    rgba[std::size_t((5 * w + 0) * 4)] = 255;
    rgba[std::size_t((5 * w + 1) * 4) + 3] = 200;
    rgba[std::size_t((5 * w + 1) * 4)] = 255;
    WriteRawPng(dir / name, w, h, 8, PNG_COLOR_TYPE_RGBA, false, rgba);
    return (dir / name).string();
  };
  const std::string a = frame("a.png", 0), b = frame("b.png", 4);
  const std::string out_gif = (dir / "out.gif").string();
  for (const char* background : {"", "0000FF"}) {
    Args args = {"encode", out_gif, a, b};
    if (*background) args.insert(args.end(), {"--background", background});
    ASSERT_EQ(Run(args), 0) << err.str();
    TGIFImage image;
    image.LoadFromFile(out_gif);
    const auto states = test::Compose(image, 2);
    ASSERT_EQ(states.size(), 4u);
    for (std::size_t s = 0; s < 4; ++s) {
      const int sprite = s % 2 ? 4 : 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          std::uint32_t want = 0xFFFFFFFF;
          if (y >= 1 && y < 4 && x >= sprite && x < sprite + 3) want = 0xC80A1E;
          if (y == 5 && x == 0 && *background) want = 0x64009B;
          if (y == 5 && x == 1) want = *background ? 0xC80037 : 0xFF0000;
          EXPECT_EQ(states[s][std::size_t(y * w + x)], want)
              << background << " state " << s << " at " << x << "," << y;
        }
    }
  }
  EXPECT_EQ(Run({"encode", out_gif, a, "--background", "blue"}), 2);
  ASSERT_EQ(Run({"encode", "--help"}), 0);
  EXPECT_NE(out.str().find("from half opacity on"), std::string::npos);
}

// An interlaced 16-bit picture reads exactly like the same picture without
// interlacing, each sample scaled to 8 bits.
TEST_F(EncodeCommand, SixteenBitInterlacedPngsReadRight) {
  const int w = 37, h = 23;
  for (int colorType :
       {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY}) {
    const int channels = colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                         : colorType == PNG_COLOR_TYPE_RGB     ? 3
                                                               : 1;
    std::vector<std::uint8_t> samples;
    std::vector<unsigned> values;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < channels; ++c) {
          const unsigned v =
              c == 3 ? 65535u : unsigned((x * 1777 + y * 2897 + c * 9001) % 65536);
          values.push_back(v);
          samples.insert(samples.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        }
    WriteRawPng(dir / "plain.png", w, h, 16, colorType, false, samples);
    WriteRawPng(dir / "laced.png", w, h, 16, colorType, true, samples);
    PngPicture plain, laced;
    std::string error;
    ASSERT_TRUE(ReadPng((dir / "plain.png").string(), plain, error)) << error;
    ASSERT_TRUE(ReadPng((dir / "laced.png").string(), laced, error)) << error;
    EXPECT_EQ(laced.Pixels, plain.Pixels) << colorType;
    EXPECT_EQ(laced.Alpha, plain.Alpha);
    EXPECT_EQ(plain.Alpha.size(),
              colorType == PNG_COLOR_TYPE_RGB_ALPHA ? plain.Pixels.size() : 0u);
    for (std::size_t i = 0; i < plain.Pixels.size(); ++i) {
      const double want = values[i * std::size_t(channels)] / 257.0;
      ASSERT_NEAR(double(laced.Pixels[i] >> 16), want, 0.51) << colorType << " " << i;
    }
  }
}

TEST_F(EncodeCommand, NamesWhatIsWrongWithAPng) {
  PngPicture picture;
  std::string error;
  std::ofstream(dir / "gif.png") << "GIF89a, not a PNG";
  EXPECT_FALSE(ReadPng((dir / "gif.png").string(), picture, error));
  EXPECT_EQ(error, "not a PNG file");

  const std::string good = Write("good.png", 40, 30, Pixels(1200, 0x102030));
  std::string bytes = Contents(good);
  std::ofstream(dir / "cut.png", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  EXPECT_FALSE(ReadPng((dir / "cut.png").string(), picture, error));
  EXPECT_EQ(error.rfind("damaged PNG: ", 0), 0u) << error;
  bytes[40] = char(bytes[40] ^ 0x55);  // inside IHDR: its checksum fails
  std::ofstream(dir / "bent.png", std::ios::binary) << bytes;
  EXPECT_FALSE(ReadPng((dir / "bent.png").string(), picture, error));
  EXPECT_EQ(error.rfind("damaged PNG: ", 0), 0u) << error;

  EXPECT_EQ(Run({"encode", (dir / "out.gif").string(), (dir / "cut.png").string()}), 2);
  EXPECT_TRUE(Said("damaged PNG: "));
}

// The output is never written over an input, however it is named.
TEST_F(EncodeCommand, RefusesToWriteOverAFrame) {
  const std::string a = Write("a.png", 4, 4, Pixels(16, 0xFF));
  const std::string b = Write("b.png", 4, 4, Pixels(16, 0xFF00));
  const std::string before = Contents(b);
  fs::create_hard_link(b, dir / "link.png");
  for (const std::string& target :
       {b, (dir / "." / "b.png").string(), (dir / "link.png").string()}) {
    EXPECT_EQ(Run({"encode", target, a, b}), 2) << target;
    EXPECT_TRUE(Said("refusing to write over an input"));
    EXPECT_EQ(Contents(b), before);
  }
}

TEST_F(EncodeCommand, ReportsTroubleWithStatusTwo) {
  const std::string small = Write("small.png", 4, 4, Pixels(16, 0xFF));
  const std::string large = Write("large.png", 5, 4, Pixels(20, 0xFF));
  const std::string out_gif = (dir / "out.gif").string();
  EXPECT_EQ(Run({"encode", out_gif, small, large}), 2);
  EXPECT_TRUE(Said("large.png' is 5x4"));
  EXPECT_TRUE(Said("one size"));
  EXPECT_FALSE(fs::exists(out_gif));

  std::ofstream(dir / "bad.png") << "GIF89a";
  EXPECT_EQ(Run({"encode", out_gif, (dir / "bad.png").string()}), 2);
  EXPECT_TRUE(Said("cannot read '"));
  EXPECT_EQ(Run({"encode", out_gif, (dir / "missing.png").string()}), 2);
  EXPECT_EQ(Run({"encode", out_gif}), 2);
  EXPECT_EQ(Run({"encode", out_gif, small, "--delay"}), 2);
  EXPECT_EQ(Run({"encode", out_gif, small, "--loops", "-1"}), 2);
  EXPECT_EQ(Run({"encode", out_gif, small, "--loops", "70000"}), 2);
  EXPECT_TRUE(Said("from 0 to 65535"));
  EXPECT_EQ(Run({"encode", out_gif, small, "--delay", "655351"}), 2);
  EXPECT_EQ(Run({"encode", out_gif, small, "--fast"}), 2);
  EXPECT_TRUE(Said("unknown option"));
  EXPECT_EQ(Run({"encode", (dir / "no-such-dir" / "x.gif").string(), small}), 2);

  // A single frame is a plain still.
  ASSERT_EQ(Run({"encode", out_gif, small}), 0) << err.str();
  TGIFImage image;
  image.LoadFromFile(out_gif);
  ASSERT_EQ(image.Images->GetCount(), 1);
  EXPECT_EQ(image.Images->GetImage(0)->GraphicControlExtension, nullptr);
  EXPECT_EQ(image.GetVersion(), gv87a);

  EXPECT_EQ(Run({"encode", "--help"}), 0);
  EXPECT_NE(out.str().find("--no-dither"), std::string::npos);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("encode OUT.gif"), std::string::npos);
}

}  // namespace
}  // namespace velmora::gifTool
