// Composes the 100 frames of a 1920 x 1080 animation (partial, transparent,
// dmBackground and dmPrevious frames) onto a canvas through the painter, and
// compares the time per frame with copying one full 1920 x 1080 canvas.
// Frame bitmaps are rendered before timing, so composition alone is measured.
//
// Usage: velmora-gifanim-bench [ROUNDS]   (default 5; the best round counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/BestTime.h"
#include "bench/GIFScreen.h"
#include "gif/GIFExtensions.h"
#include "gif/render/GIFPainter.h"
#include "gif/render/GIFRender.h"

namespace {

using namespace velmora;

using velmora::bench::BestMs;

TGIFSubImage* AddFrame(TGIFImage& image, int left, int top, int width, int height,
                       int disposal, bool transparent, int seed) {
  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  frame->SetBounds(left, top, width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame->Data[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
          transparent && (x / 16 + y / 16) % 3 == 0
              ? 0
              : std::uint8_t(1 + (x + y + seed) % 255);
  auto* gce = new TGIFGraphicControlExtension(frame);
  frame->Extensions->Add(gce);
  gce->SetDisposal(disposal);
  gce->SetDelay(4);
  if (transparent) {
    gce->SetTransparentColorIndex(0);
    gce->SetTransparent(true);
  }
  frame->GraphicControlExtension = gce;
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int frameCount = argc > 2 ? std::max(2, std::atoi(argv[2])) : 100;
  const int w = 1920, h = 1080, frames = frameCount;

  TGIFImage image;
  bench::MakeScreen(image, w, h);
  AddFrame(image, 0, 0, w, h, dmNone, false, 0);  // the scene
  for (int i = 1; i < frames; ++i) {
    const int left = (i * 137) % (w - 480), top = (i * 71) % (h - 270);
    switch (i % 4) {
      case 0:  // a partial opaque update
        AddFrame(image, left, top, 480, 270, dmNone, false, i);
        break;
      case 1:  // a transparent sprite that is cleared again
        AddFrame(image, left, top, 480, 270, dmBackground, true, i);
        break;
      case 2:  // a transparent overlay that vanishes with the next frame
        AddFrame(image, left, top, 480, 270, dmPrevious, true, i);
        break;
      case 3:  // a full-screen transparent layer
        AddFrame(image, 0, 0, w, h, dmNone, true, i);
        break;
    }
  }
  for (int i = 0; i < frames; ++i) image.Images->GetImage(i)->GetBitmap();

  TBitmap target;
  target.SetPixelFormat(TPixelFormat::pf32bit);
  target.SetSize(w, h);
  TBitmap source;
  source.SetPixelFormat(TPixelFormat::pf32bit);
  source.SetSize(w, h);

  // Virtual time: waits pass at once.
  static std::uint32_t now = 0;
  GIFPainterClock().Now = [] { return now; };
  GIFPainterClock().Sleep = [](std::uint32_t ms) { now += ms; };
  const TGIFDrawOptions options = GIFDrawOptionBit(goTransparent) |
                                  GIFDrawOptionBit(goAnimate);  // synchronous, one pass
  int shown = 0;
  image.OnAfterFrame = [&](void*) { ++shown; };

  const double copyMs = BestMs(rounds, [&] {
    for (int i = 0; i < frames; ++i)
      target.GetCanvas().CopyRect(Rect(0, 0, w, h), source.GetCanvas(), Rect(0, 0, w, h));
  });
  const double composeMs = BestMs(rounds, [&] {
    shown = 0;
    image.Paint(target.GetCanvas(), Rect(0, 0, w, h), options);
    if (shown != frames) std::abort();
  });

  std::printf("%d frames of a %d x %d animation, best of %d rounds\n", frames, w, h,
              rounds);
  std::printf("  copy one full canvas per frame %8.3f ms/frame  (baseline)\n",
              copyMs / frames);
  std::printf("  compose through the painter    %8.3f ms/frame  ratio %6.2f\n",
              composeMs / frames, composeMs / copyMs);
  return 0;
}
