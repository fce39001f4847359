// Feeds arbitrary bytes to TGIFImage::LoadFromStream. Damaged input must
// either load or raise GIFException; anything else is a fault.
#include <cstddef>
#include <cstdint>

#include "gif/GIFImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  // Keeps each input quick; the limit itself is what is being exercised.
  GIFImageMaxPixelMemory = 16 << 20;
  TGIFImage image;
  int warnings = 0;
  image.OnWarning = [&warnings](void*, TGIFSeverity, const std::string&) { ++warnings; };
  TReadOnlyMemoryStream stream(data, size);
  try {
    image.LoadFromStream(stream);
  } catch (const GIFException&) {
  }
  // Touch what the rendering side reads.
  for (int i = 0; i < image.Images->GetCount(); ++i) {
    TGIFSubImage* frame = image.Images->GetImage(i);
    if (!frame->GetEmpty()) {
      volatile std::uint8_t last = frame->Data[std::size_t(frame->DataSize - 1)];
      (void)last;
    }
  }
  return 0;
}
