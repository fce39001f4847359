// True-colour frames, with or without transparency, to an optimised GIF
// animation: one colour table, reduced to 255 colours where the frames have
// more than 256, and frames cut down to what changed, with the unchanged
// pixels transparent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

namespace velmora {

// One full frame, row by row from the top.
struct TGIFRGBFrame {
  TGIFRGBFrame() = default;
  TGIFRGBFrame(int width, int height, std::vector<TGIFRGB> pixels,
               std::vector<std::uint8_t> alpha = {}, int delayMs = -1)
      : Width(width),
        Height(height),
        Pixels(std::move(pixels)),
        Alpha(std::move(alpha)),
        DelayMs(delayMs) {}
  int Width = 0;
  int Height = 0;
  std::vector<TGIFRGB> Pixels;
  // Opacity per pixel, 0 (transparent) to 255 (opaque); empty: all opaque.
  std::vector<std::uint8_t> Alpha;
  // How long the frame shows in milliseconds; -1: the options' DelayMs.
  int DelayMs = -1;
};

struct TGIFFramesOptions {
  int DelayMs = 100;  // per frame of an animation
  // Loop count of an animation (0: forever, the default, as people expect
  // of an animation); -1 writes no loop block, so it plays once. A still
  // never gets one.
  int Loops = 0;
  bool Dither = true;  // Floyd-Steinberg where colours are reduced
  // A pixel of alpha 0 is transparent. One partly transparent is
  // transparent below AlphaThreshold and opaque in its own colour from it
  // on, unless Background (0x00RRGGBB) is set: then it is laid over that.
  int AlphaThreshold = 128;
  std::int64_t Background = -1;
  // Whether a frame's unchanged pixels are also tried split by rows into
  // transparent and repeated ones: some dozens of trial compressions a
  // frame, which pays for screen recordings but hardly for many small
  // frames made in a hurry (stroke order: 0.03 % of the bytes for half the
  // time).
  bool SplitSearch = true;
  // Whether a frame may be taken back after it shows (restored to the state
  // before it) when that leaves the next one a smaller rectangle. A smaller
  // rectangle is not always fewer bytes: where every frame only adds to
  // the picture, the next frame must then draw again what was taken back.
  bool RestoreFrames = true;
};

// Replaces image with the frames, which must all have the size of the first
// (GIFException otherwise). A frame the same as the one before it only
// lengthens that one's delay. The first frame is whole; each later one is
// drawn over what is shown and covers only the rectangle where what it
// shows changes, the pixels there that don't change transparent or
// repeating what is shown, whichever LZW stores in fewer bytes. A frame is
// taken back after it is shown (restored to the state before it, or its
// rectangle cleared) when that leaves the next one less to cover, or when
// the next one shows transparent pixels where it has colour; the last one
// of a looping animation clears what the first frame shows transparent.
// When all frames together have at most 256 colours (255 with transparent
// pixels) they share them as the global table and play back exactly;
// otherwise the global table holds 255 colours (256 for an opaque still)
// that a median cut finds for all frames together, and a pixel whose new
// colour maps to the entry it already shows is left alone. A single opaque
// frame is written as a plain still.
void GIFFromFrames(TGIFImage& image, const std::vector<TGIFRGBFrame>& frames,
                   const TGIFFramesOptions& options);

// Frames whose colours are known beforehand: indices into one palette of at
// most 256 colours (0x00RRGGBB; equal entries are one colour), Width x
// Height of them per frame, row by row, in memory the caller keeps (one
// block for all, say, which costs fewer page faults than one each).
struct TGIFIndexedFrames {
  int Width = 0;
  int Height = 0;
  std::vector<TGIFRGB> Palette;
  std::vector<std::span<const std::uint8_t>> Frames;
  // Per frame, how long it shows in milliseconds; -1 or missing: the
  // options' DelayMs.
  std::vector<int> DelayMs;
};

// GIFFromFrames of the frames' colours, the same file byte for byte, but
// without searching the frames for their colours and in a quarter of the
// memory. GIFException for a frame of another size or an index past the
// palette. Returns, for each frame written, the first of the given frames it
// shows (frames the same as the one before only lengthen it).
std::vector<std::size_t> GIFFromIndexedFrames(TGIFImage& image,
                                              const TGIFIndexedFrames& frames,
                                              const TGIFFramesOptions& options);

// Where flexible[i], pixel i of width x height indices shows the same as
// indices[i] or as other[i]: picks, string by string of the LZW encoder,
// the one that lets the string grow (else the one the pixel before took),
// into indices.
void GIFChooseForLZW(std::uint8_t* indices, const std::uint8_t* other,
                     const std::uint8_t* flexible, int width, int height);

// The bytes that width x height indices (row by row) take as GIF image data
// with the smallest code size that holds them.
std::int64_t GIFCompressedSize(const std::uint8_t* indices, int width, int height);

}  // namespace velmora
