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
// Upper bound of the pixel memory (Width x Height bytes summed over all
// frames) of one image. A few bytes of GIF can describe frames of
// 65535 x 65535 pixels; beyond this limit loading raises GIFException
// instead of exhausting the machine. 512 MiB holds any real animation.
extern std::int64_t GIFImageMaxPixelMemory;

}  // namespace velmora
