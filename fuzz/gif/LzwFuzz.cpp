// Feeds arbitrary bytes to the LZW decoder alone. The first byte is the
// minimum code size (0 to 15, so that sizes above 11 come up), the next two
// the number of pixels, the rest the sub-blocks. Whatever the data, Decode
// returns a result; the checks below are its contract.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gif/GIFDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  if (size < 3) return 0;
  const int minCodeSize = data[0] & 0x0F;
  const std::size_t pixels = std::size_t(data[1]) | std::size_t(data[2]) << 8;
  const std::uint8_t fill = data[0] >> 4;
  std::vector<std::uint8_t> target(pixels, fill);
  TLzwBytes input(data + 3, std::int64_t(size - 3));
  TLzwDecoder decoder;
  const TLzwResult result =
      decoder.Decode(input, minCodeSize, target.data(), std::int64_t(pixels), fill);
  const std::int64_t written = decoder.Written();
  if (written < 0 || written > std::int64_t(pixels)) std::abort();
  if (input.Consumed() > std::int64_t(size - 3)) std::abort();
  for (TLzwResult warning : decoder.Warnings())
    if (LzwIsError(warning)) std::abort();
  // Without an error, what the data did not reach keeps the fill.
  if (!LzwIsError(result))
    for (std::size_t i = std::size_t(written); i < pixels; ++i)
      if (target[i] != fill) std::abort();
  return 0;
}
