// True-colour frames to an optimised GIF animation: one colour table,
// reduced to 255 colours where the frames have more than 256, and frames cut
// down to what changed, with the unchanged pixels transparent.
#pragma once

#include <string>
#include <vector>

#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

namespace velmora {

// One full frame, row by row from the top.
struct TGIFRGBFrame {
  int Width = 0;
  int Height = 0;
  std::vector<TGIFRGB> Pixels;
};

struct TGIFFramesOptions {
  int DelayMs = 100;  // per frame of an animation
  // Loop count of an animation (0: forever, the default, as people expect
  // of an animation); -1 writes no loop block, so it plays once. A still
  // never gets one.
  int Loops = 0;
  bool Dither = true;  // Floyd-Steinberg where colours are reduced
};

// Replaces image with the frames, which must all have the size of the first
// (GIFException otherwise). The first frame is whole; each later one is
// drawn over what is shown and covers only the rectangle where what it
// shows changes, the pixels there that don't change transparent (or
// repeating what is shown where that continues a run). When all frames
// together have at most 256 colours they share them as the global table and
// play back exactly; otherwise the global table holds 255 colours (256 for a still) that
// a median cut finds for all frames together, and a pixel whose new colour maps to the
// entry it already shows is left alone. A single frame without options is written as a
// plain still.
void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options);

}  // namespace velmora
