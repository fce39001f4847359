// Placeholders for the rendering side, which gif/render provides: until it
// lands an image draws nothing and a frame has no bitmap. Remove this file
// (and its line in CMakeLists.txt) when gif/render defines these.
#include "gif/GIFImage.h"

namespace velmora {

void TGIFImage::Draw(TCanvas&, const TRect&) {}

TBitmap* TGIFSubImage::GetBitmap() {
  return Bitmap.get();
}

}  // namespace velmora
