// Where a character's record lies in the bytes of a packed stroke file, so
// that tests can damage exactly that record.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace velmora::test {

// Offset of the record of c and of the next one (its end); {0, 0} when the
// file's index has no entry for c.
inline std::pair<std::uint32_t, std::uint32_t> StrokeRecordSpan(const std::string& bytes,
                                                                char32_t c) {
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | std::uint8_t(bytes[at + std::size_t(i)]);
    return v;
  };
  // Header of 16 bytes, then entries of code point and offset; the entry
  // after the last holds the end.
  for (std::size_t at = 16; at + 16 <= bytes.size(); at += 8)
    if (u32(at) == std::uint32_t(c)) return {u32(at + 4), u32(at + 12)};
  return {0, 0};
}

}  // namespace velmora::test
