// giflib reading from memory, for the tests and the benchmark that compare
// our decoder with it. giflib is a baseline only; no product code uses this.
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace velmora::giflibmem {

using Bytes = std::vector<std::uint8_t>;

struct MemReader {
  const Bytes* data;
  std::size_t pos;
};

inline int ReadMem(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<MemReader*>(gif->UserData);
  std::size_t k = std::min<std::size_t>(std::size_t(n), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, k);
  r->pos += k;
  return int(k);
}

// Each frame's pixel indices as giflib decodes them; none when it can't.
inline std::optional<std::vector<Bytes>> Frames(const Bytes& data) {
  MemReader reader{&data, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadMem, &error);
  if (!gif) return std::nullopt;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return std::nullopt;
  }
  std::vector<Bytes> frames;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& s = gif->SavedImages[i];
    frames.emplace_back(
        s.RasterBits, s.RasterBits + std::size_t(s.ImageDesc.Width) * s.ImageDesc.Height);
  }
  DGifCloseFile(gif, &error);
  return frames;
}

}  // namespace velmora::giflibmem
