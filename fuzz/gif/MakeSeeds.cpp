// Writes seed files for the GIF fuzzer into OUTDIR: images made by our own
// writer (few and many colours, interlaced, transparent, animated, with
// comments and text), each also with its frames' data re-cut into
// sub-blocks of 1, 2 and 3 bytes and in mixed layouts.
//
//   velmora_gif_seeds OUTDIR
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "fuzz/gif/GIFBlocks.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"

using namespace velmora;
using gifblocks::Bytes;

namespace {

void Fill(TGIFSubImage& frame, int colors, std::mt19937& rng, int style) {
  const int w = frame.GetWidth();
  for (std::int64_t i = 0; i < frame.DataSize; ++i) {
    const int x = int(i % w), y = int(i / w);
    int v = 0;
    switch (style) {
      case 0:  // noise: codes grow to 12 bits and the table fills
        v = int(rng() % unsigned(colors));
        break;
      case 1:  // runs: long strings
        v = (x / 7 + y / 5) % colors;
        break;
      default:  // gradient with a little noise
        v = (x + y) / 3 + int(rng() % 3);
        break;
    }
    frame.Data[std::size_t(i)] = std::uint8_t(v % colors);
  }
}

Bytes Make(int colors, int w, int h, int frames, bool interlaced, bool transparent,
           bool extras, std::uint32_t seed) {
  std::mt19937 rng(seed);
  TGIFImage image;
  image.Header->LogicalScreenDescriptor.ScreenWidth = std::uint16_t(w);
  image.Header->LogicalScreenDescriptor.ScreenHeight = std::uint16_t(h);
  for (int i = 0; i < colors; ++i)
    image.GetColorMap()->Add(RGB(std::uint8_t(i * 7), std::uint8_t(255 - i), 9));
  for (int f = 0; f < frames; ++f) {
    auto* frame = new TGIFSubImage(&image);
    image.Images->Add(frame);
    if (f == 0) {
      frame->SetBounds(0, 0, w, h);
      if (frames > 1) frame->Extensions->Add(new TGIFAppExtNSLoop(frame));
    } else {
      const int fw = 1 + int(rng() % unsigned(w)), fh = 1 + int(rng() % unsigned(h));
      frame->SetBounds(int(rng() % unsigned(w - fw + 1)),
                       int(rng() % unsigned(h - fh + 1)), fw, fh);
    }
    frame->SetInterlaced(interlaced && f % 2 == 0);
    if (f == 1 && colors <= 16) {
      // A local table of its own.
      for (int i = 0; i < colors; ++i) frame->ColorMap->Add(RGB(0, std::uint8_t(i), 0));
    }
    if (transparent || frames > 1) {
      auto* gce = new TGIFGraphicControlExtension(frame);
      frame->Extensions->Add(gce);
      gce->SetDelay(3 + f);
      gce->SetDisposal(f % 4);
      if (transparent) {
        gce->SetTransparent(true);
        gce->SetTransparentColorIndex(colors - 1);
      }
    }
    if (extras && f == 0) {
      auto* comment = new TGIFCommentExtension(frame);
      comment->Text = {"a comment", std::string(300, 'x')};
      frame->Extensions->Add(comment);
      auto* text = new TGIFTextExtension(frame);
      text->Text = {"plain text"};
      frame->Extensions->Add(text);
    }
    Fill(*frame, colors, rng, int((seed + unsigned(f)) % 3));
  }
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Bytes();
}

void Write(const std::string& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  struct Kind {
    int colors, w, h, frames;
    bool interlaced, transparent, extras;
  };
  const Kind kinds[] = {
      {2, 16, 16, 1, false, false, false},    {4, 33, 9, 1, true, false, false},
      {16, 40, 30, 1, false, true, false},    {256, 64, 64, 1, false, false, false},
      {256, 120, 90, 1, true, false, true},   {8, 50, 40, 4, false, true, true},
      {256, 100, 80, 3, true, true, false},   {2, 300, 200, 1, false, false, false},
      {128, 180, 150, 2, false, false, true}, {32, 9, 300, 2, true, true, false},
  };
  std::mt19937 rng(2027);
  int files = 0;
  std::uint32_t seed = 1;
  for (const Kind& k : kinds) {
    const Bytes plain =
        Make(k.colors, k.w, k.h, k.frames, k.interlaced, k.transparent, k.extras, seed++);
    const std::string base = "seed" + std::to_string(seed);
    if (plain.size() <= 65536) {
      Write(dir, base + "-255.gif", plain);
      ++files;
    }
    std::optional<gifblocks::Gif> gif = gifblocks::Split(plain);
    if (!gif) return 1;
    for (int layout : {1, 2, 3, 0}) {
      gifblocks::Gif cut = *gif;
      for (gifblocks::Block& block : cut.blocks) {
        if (!block.IsImage()) continue;
        if (layout > 0)
          gifblocks::RecutEven(block, layout);
        else
          gifblocks::RecutOdd(block, rng);
      }
      const Bytes bytes = gifblocks::Join(cut);
      if (bytes.size() > 65536) continue;
      Write(dir, base + "-" + (layout ? std::to_string(layout) : "mixed") + ".gif",
            bytes);
      ++files;
    }
  }
  std::printf("%d seeds in %s\n", files, dir.c_str());
  return 0;
}
