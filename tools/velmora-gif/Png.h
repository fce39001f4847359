// A small PNG writer: 8-bit RGB or grey pixels, stored (uncompressed)
// deflate blocks, so it needs no compression library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::gifTool {

enum class PngColor { Grey = 0, Rgb = 2 };

// rows: height rows of width * (1 or 3) bytes, top row first.
std::vector<std::uint8_t> EncodePng(int width, int height, PngColor color,
                                    const std::vector<std::uint8_t>& rows);
// Writes the bytes to path; false when the file can't be written.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);

}  // namespace velmora::gifTool
