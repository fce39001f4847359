// The GIF unit's enumerations and unit-wide settings.
#pragma once

#include <cstdint>

#include "platform/classes/Threads.h"

namespace velmora {

// ---------------------------------------------------------------------------
// Enumerations (the order of the values is part of the file format of the
// settings and must not change).

enum TGIFVersion { gvUnknown, gv87a, gv89a };
enum TGIFSeverity { gsInfo, gsWarning, gsError };
enum TDisposalMethod { dmNone, dmNoDisposal, dmBackground, dmPrevious };
enum TGIFCompression { gcLZW, gcRLE };
enum TColorReduction {
  rmNone,
  rmWindows20,
  rmWindows256,
  rmWindowsGray,
  rmMonochrome,
  rmGrayScale,
  rmNetscape,
  rmQuantize,
  rmQuantizeWindows,
  rmPalette
};
enum TDitherMode {
  dmNearest,
  dmFloydSteinberg,
  dmStucki,
  dmSierra,
  dmJaJuNI,
  dmSteveArche,
  dmBurkes
};
enum TGIFOptimizeOption { ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors };
enum TGIFDrawOption {
  goAsync,
  goTransparent,
  goAnimate,
  goLoop,
  goLoopContinously,
  goValidateCanvas,
  goDirectDraw,
  goClearOnLoop,
  goTile,
  goDither,
  goAutoDither
};
// A set of TGIFDrawOption, bit n standing for value n.
using TGIFDrawOptions = std::uint16_t;
constexpr TGIFDrawOptions GIFDrawOptionBit(TGIFDrawOption o) {
  return TGIFDrawOptions(1u << unsigned(o));
}

// Seven priority levels (TThreadPriority of the thread classes);
// ThreadPriorityValue gives the system's value for each.
int ThreadPriorityValue(TThreadPriority p);

// ---------------------------------------------------------------------------
// Unit-wide settings. Images and painters take the values current when they
// are created.

extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern int GIFImageDefaultAnimationSpeed;
extern TThreadPriority GIFImageDefaultThreadPriority;
extern int GIFDefaultDelay;
extern int GIFMinimumDelay;
extern int GIFMaximumDelay;
extern int GIFDelayExp;
extern bool DoAutoDither;
extern bool PaletteDevice;
extern bool GIFImageRenderOnLoad;
extern bool GIFImageOptimizeOnStream;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;
extern const char* const GIFVersions[3];  // indexed by TGIFVersion; [0] unused
extern std::uint16_t CF_GIF;
// Upper bound of the memory one image takes: its frames' pixel data and
// every bitmap and buffer made to show it (TGIFImage::Memory). A few bytes of
// GIF can describe frames and screens of 65535 x 65535 pixels; what would
// pass this limit raises GIFException instead of exhausting the machine, and
// so does a logical screen whose canvas alone (4 bytes a pixel) passes it.
// 512 MiB holds any real animation. Images take the value when they are
// created and again at each load.
extern std::int64_t GIFImageMaxPixelMemory;

}  // namespace velmora
