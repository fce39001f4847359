// Draws a character's stroke order as frames: each stroke revealed along its
// median line inside its outline, the finished strokes in ink, the stroke
// being written in a second colour, the whole character faint beneath from
// the start. Outlines are rasterised by cairo; the edges keep a few levels of
// coverage only, so that the frames need a small palette.
#pragma once

#include <vector>

#include "gif/GIFFrameMemory.h"
#include "gif/GIFImage.h"
#include "gif/GIFOptimize.h"
#include "strokes/StrokeData.h"

namespace velmora {

struct TStrokeAnimationOptions {
  int Size = 256;           // pixels, square
  int DelayMs = 60;         // per frame while a stroke is written
  int HoldMs = 1200;        // the finished character, before it starts again
  int UnitsPerFrame = 128;  // how far along its median a stroke grows per frame
  // The stroke (from 0) whose writing the animation shows first; the loop
  // is the same, entered there.
  int FirstStroke = 0;
};

// Colours, 0x00RRGGBB.
constexpr TGIFRGB StrokePaper = 0xFFFFFF;
constexpr TGIFRGB StrokeFaint = 0xDDDDDD;
constexpr TGIFRGB StrokeInk = 0x202020;
constexpr TGIFRGB StrokeActive = 0xC0302A;

// How many frames writing each stroke takes (at least 2, longer strokes more).
int StrokeFrameCount(const TStroke& stroke, const TStrokeAnimationOptions& options);

// Every frame of the animation as indices into one palette, and for each
// the number of strokes finished in it (the next is being written, unless
// all are finished).
struct TStrokeFrames {
  TGIFIndexedFrames Frames;
  std::vector<int> Stroke;
  TFramePixels Storage;  // what Frames point into
};

// Every frame of the animation, in order: the frames of each stroke in turn,
// then the finished character held for HoldMs. Raises EStrokeData as
// StrokeGIF does.
TStrokeFrames DrawStrokeIndexedFrames(const TCharacterStrokes& character,
                                      const TStrokeAnimationOptions& options);
// The same frames in colour.
std::vector<TGIFRGBFrame> DrawStrokeFrames(const TCharacterStrokes& character,
                                           const TStrokeAnimationOptions& options);

// The finished character alone, every stroke in ink.
TGIFRGBFrame DrawCharacter(const TCharacterStrokes& character, int size);

// Replaces image with the animation: frames through the GIF writer, looping
// forever, the last frame held for HoldMs. Returns for each frame written
// the number of strokes finished in it, as TStrokeFrames counts them. Raises EStrokeData
// on a size out of reason (below 16 or above 2048 pixels) or when all frames together
// would pass 2^26 pixels (about 1000 x 1000 for a character of 64 frames).
std::vector<int> StrokeGIF(TGIFImage& image, const TCharacterStrokes& character,
                           const TStrokeAnimationOptions& options);

// Replaces image with a still: the faint character with its first done
// strokes in ink. Raises EStrokeData on a size out of reason.
void StrokeStill(TGIFImage& image, const TCharacterStrokes& character, int size,
                 std::size_t done);

}  // namespace velmora
