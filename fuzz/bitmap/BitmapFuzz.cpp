// Feeds arbitrary bytes to TBitmap::LoadFromStream, the BMP reader behind
// every bitmap the program loads. Damaged input must raise EInvalidGraphic
// and leave the bitmap as it was; what loads must draw, save and load again
// to the same BMP.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/classes/Bitmap.h"

namespace {

using namespace velmora;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReadOnlyMemoryStream stream(data, size);
  TBitmap bitmap;
  try {
    bitmap.LoadFromStream(stream);
  } catch (const EInvalidGraphic&) {
    Check(bitmap.GetEmpty() && bitmap.GetHandle() == nullptr);
    return 0;
  }
  Check(!bitmap.GetEmpty());
  const int bits = bitmap.GetBitsPerPixel();
  Check(bits == 1 || bits == 8 || bits == 24 || bits == 32);

  // Every row can be read, and drawing reads every pixel through the
  // colour table (indices beyond a short table included).
  for (int row = 0; row < bitmap.GetHeight(); ++row) {
    volatile std::uint8_t first = *static_cast<const std::uint8_t*>(bitmap.ScanLine(row));
    (void)first;
  }
  TBitmap canvas;
  canvas.SetPixelFormat(TPixelFormat::pf32bit);
  canvas.SetSize(8, 8);
  bitmap.Draw(canvas.GetCanvas(), Rect(0, 0, 8, 8));
  volatile TColor corner = canvas.GetCanvas().GetPixel(7, 7);
  (void)corner;

  // What we read, we write as a BMP that reads back the same.
  TMemoryStream saved;
  bitmap.SaveToStream(saved);
  saved.SetPosition(0);
  TBitmap again;
  again.LoadFromStream(saved);
  Check(again.GetWidth() == bitmap.GetWidth() && again.GetHeight() == bitmap.GetHeight());
  Check(again.GetPixelFormat() == bitmap.GetPixelFormat());
  TMemoryStream resaved;
  again.SaveToStream(resaved);
  Check(resaved.Bytes() == saved.Bytes());
  return 0;
}
