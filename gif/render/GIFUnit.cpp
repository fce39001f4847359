// Compiled into every program that links the GIF library, so the
// unit registers itself before main even when nothing names TGIFImage.
#include "gif/render/GIFRender.h"

namespace {

struct UnitLifetime {
  UnitLifetime() { velmora::GIFUnitInitialize(); }
  ~UnitLifetime() { velmora::GIFUnitFinalize(); }
  UnitLifetime(const UnitLifetime&) = delete;
  UnitLifetime& operator=(const UnitLifetime&) = delete;
};

const UnitLifetime unitLifetime;

}  // namespace
