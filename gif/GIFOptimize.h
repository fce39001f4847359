// True-colour frames to an optimised GIF animation: shared or per-frame
// colour tables, colour reduction where a frame needs it, and frames cut down
// to what changed, with the unchanged pixels transparent.
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
  int DelayMs = 100;   // per frame of an animation
  int Loops = -1;      // NETSCAPE2.0 loop count (0: forever); -1: no loop block
  bool Dither = true;  // Floyd-Steinberg where colours are reduced
};

// Replaces image with the frames, which must all have the size of the first
// (GIFException otherwise). The first frame is whole; each later one covers
// the rectangle where it differs from the one before, is drawn over what is
// shown, and makes the pixels there that didn't change transparent. When all
// frames together have at most 256 colours they share the global table and
// play back exactly; otherwise each frame gets its own table, reduced to 256
// colours where it has more. A single frame without options is written as a
// plain still.
void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options);

}  // namespace velmora
