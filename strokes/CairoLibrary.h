// cairo's functions that the stroke drawing uses, found in libcairo.so.2 when
// the first frame is drawn rather than linked: cairo brings some twenty
// libraries (fonts, X11, compression) that velmora-gif would otherwise load
// for every command, while only `strokes` and the window's stroke panel draw.
#pragma once

#include <cairo.h>

#include <string>

namespace velmora {

// One entry per function, named as in cairo without its prefix.
// clang-format off
#define VELMORA_CAIRO_FUNCTIONS(X) \
  X(clip) \
  X(close_path) \
  X(create) \
  X(curve_to) \
  X(destroy) \
  X(fill) \
  X(image_surface_create) \
  X(image_surface_get_data) \
  X(image_surface_get_stride) \
  X(image_surface_get_width) \
  X(line_to) \
  X(move_to) \
  X(new_path) \
  X(paint) \
  X(restore) \
  X(save) \
  X(scale) \
  X(set_line_cap) \
  X(set_line_join) \
  X(set_line_width) \
  X(set_operator) \
  X(set_source_rgba) \
  X(status) \
  X(stroke) \
  X(surface_destroy) \
  X(surface_flush) \
  X(translate)
// clang-format on

struct TCairo {
#define VELMORA_CAIRO_MEMBER(name) decltype(&cairo_##name) name = nullptr;
  VELMORA_CAIRO_FUNCTIONS(VELMORA_CAIRO_MEMBER)
#undef VELMORA_CAIRO_MEMBER
};

// The library the drawing loads.
constexpr const char CairoSoname[] = "libcairo.so.2";

// Fills table from the shared library soname. False, with the loader's reason
// in error, when the library cannot be opened or lacks one of the functions;
// the library is then not kept loaded.
bool LoadCairo(const char* soname, TCairo& table, std::string& error);

// The table of libcairo.so.2, loaded at the first call and kept for the rest
// of the process. Raises EStrokeData "cannot load libcairo.so.2: <reason>"
// when it cannot be loaded; a later call tries again.
const TCairo& Cairo();

}  // namespace velmora
