#include "strokes/CairoLibrary.h"

#include <dlfcn.h>

#include "strokes/StrokeData.h"

namespace velmora {

bool LoadCairo(const char* soname, TCairo& table, std::string& error) {
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    error = why ? why : "unknown error";
    return false;
  }
  TCairo loaded;
  bool complete = true;
  auto resolve = [&](const char* name) -> void* {
    if (!complete) return nullptr;
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol) {
      const char* why = dlerror();
      error = why ? why : std::string("no symbol ") + name;
      complete = false;
    }
    return symbol;
  };
  // dlsym gives an object pointer; the function's type is the one cairo.h
  // declares for it.
#define VELMORA_CAIRO_RESOLVE(name) \
  loaded.name = reinterpret_cast<decltype(loaded.name)>(resolve("cairo_" #name));
  VELMORA_CAIRO_FUNCTIONS(VELMORA_CAIRO_RESOLVE)
#undef VELMORA_CAIRO_RESOLVE
  if (!complete) {
    dlclose(library);
    return false;
  }
  // Kept open for the rest of the process: the table points into it.
  table = loaded;
  return true;
}

namespace {

TCairo LoadCairoOrRaise() {
  TCairo table;
  std::string error;
  if (!LoadCairo(CairoSoname, table, error))
    throw EStrokeData(std::string("cannot load ") + CairoSoname + ": " + error);
  return table;
}

}  // namespace

const TCairo& Cairo() {
  // An initialiser that throws leaves the static uninitialised, so the next
  // call tries again; threads that draw at once load it once.
  static const TCairo table = LoadCairoOrRaise();
  return table;
}

}  // namespace velmora
