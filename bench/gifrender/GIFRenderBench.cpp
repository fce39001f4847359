// Renders a 1920 x 1080 transparent frame (bitmap and mask) and draws it
// transparently onto a 32-bit canvas, and compares both with copying the
// same number of 32-bit pixels with memcpy. Prints the times and the ratios.
//
// Usage: velmora-gifrender-bench [ROUNDS]   (default 15; the best round counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/BestTime.h"
#include "bench/GIFScreen.h"
#include "gif/GIFExtensions.h"
#include "gif/render/GIFRender.h"

namespace {

using velmora::bench::BestMs;

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const int w = 1920, h = 1080;

  TGIFImage image;
  bench::MakeScreen(image, w, h);
  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  frame->SetBounds(0, 0, w, h);
  // A picture with a transparent hole in every 8 x 8 cell and a run of
  // transparent rows, like a banner with cut-outs.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      frame->Data[std::size_t(y) * w + x] =
          ((x % 8 < 3 && y % 8 < 3) || (y > 500 && y < 540))
              ? 0
              : std::uint8_t(1 + (x + y) % 255);
  auto* gce = new TGIFGraphicControlExtension(frame);
  frame->Extensions->Add(gce);
  gce->SetTransparentColorIndex(0);
  gce->SetTransparent(true);
  frame->GraphicControlExtension = gce;

  TBitmap target;
  target.SetPixelFormat(TPixelFormat::pf32bit);
  target.SetSize(w, h);
  TCanvas& canvas = target.GetCanvas();

  std::vector<std::uint32_t> from(std::size_t(w) * h, 0x00123456), to(from.size());
  double copyMs = BestMs(rounds, [&] {
    std::memcpy(to.data(), from.data(), from.size() * 4);
    from[to[from.size() / 2] % from.size()] ^= 1;  // keep the copy observable
  });
  double renderMs = BestMs(rounds, [&] {
    frame->FreeBitmap();
    frame->FreeMask();
    if (!frame->GetBitmap() || !frame->Mask) std::abort();
  });
  double drawMs =
      BestMs(rounds, [&] { frame->Draw(canvas, Rect(0, 0, w, h), true, false); });
  MaskBltAvailable = false;
  double generalMs =
      BestMs(rounds, [&] { frame->Draw(canvas, Rect(0, 0, w, h), true, false); });
  MaskBltAvailable = true;

  std::printf("1920 x 1080 transparent frame, best of %d rounds\n", rounds);
  std::printf("  memcpy of %d 32-bit pixels   %8.3f ms  (baseline)\n", w * h, copyMs);
  std::printf("  render bitmap and mask       %8.3f ms  ratio %6.2f\n", renderMs,
              renderMs / copyMs);
  std::printf("  draw through the mask        %8.3f ms  ratio %6.2f\n", drawMs,
              drawMs / copyMs);
  std::printf("  render + draw                %8.3f ms  ratio %6.2f\n", renderMs + drawMs,
              (renderMs + drawMs) / copyMs);
  std::printf("  draw, general (4-blit) route %8.3f ms  ratio %6.2f\n", generalMs,
              generalMs / copyMs);
  return 0;
}
