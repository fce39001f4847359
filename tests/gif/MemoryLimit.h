// Pictures that ask for more memory than one picture may take, and the limit
// set for a test: for the image's own tests and for the tools'.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {

// What a picture over the limit is refused with.
inline const std::string kMemoryRefused =
    "Image exceeds the memory limit for one picture";
constexpr std::int64_t kMiB = 1 << 20;

struct TinyFrame {
  TinyFrame(int width, int height) : width(width), height(height) {}
  TinyFrame(int left, int top, int width, int height)
      : left(left), top(top), width(width), height(height) {}
  int left = 0, top = 0, width, height;
};

// A screen and frames whose image data ends at once (a clear code, then the
// end code): a few dozen bytes, whatever the sizes. Animated frames are
// cleared to the background after showing.
inline Bytes TinyGif(int width, int height, const std::vector<TinyFrame>& frames,
                     bool animated = false) {
  GifBuilder b;
  b.Header(width, height, 2);
  for (const TinyFrame& f : frames) {
    if (animated) b.Gce(dmBackground << 2, 10);
    b.Descriptor(f.left, f.top, f.width, f.height).Codes(2, {{4, 3}, {5, 3}});
  }
  return b.Trailer().data;
}

// Sets the limit for the images made while it lives.
class PixelMemoryLimit {
 public:
  explicit PixelMemoryLimit(std::int64_t bytes) : saved_(GIFImageMaxPixelMemory) {
    GIFImageMaxPixelMemory = bytes;
  }
  ~PixelMemoryLimit() { GIFImageMaxPixelMemory = saved_; }
  PixelMemoryLimit(const PixelMemoryLimit&) = delete;
  PixelMemoryLimit& operator=(const PixelMemoryLimit&) = delete;

 private:
  std::int64_t saved_;
};

}  // namespace velmora::test
