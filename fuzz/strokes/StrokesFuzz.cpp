// Fuzzes the stroke data reader: the bytes are a whole packed file; every
// character it indexes is looked up and, when it decodes, drawn small.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "strokes/StrokeData.h"
#include "strokes/StrokeDrawing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  try {
    const TStrokeData strokes =
        TStrokeData::FromBytes(std::string(reinterpret_cast<const char*>(data), size));
    int looked = 0;
    for (const char32_t c : strokes.CodePoints()) {
      if (++looked > 16) break;
      try {
        const auto character = strokes.Find(c);
        if (!character) std::abort();  // every indexed character is found
        TStrokeAnimationOptions options;
        options.Size = 16;
        options.UnitsPerFrame = 4096;
        DrawStrokeFrames(*character, options);
      } catch (const EStrokeData&) {
      }
    }
  } catch (const EStrokeData&) {
  }
  return 0;
}
