// PNG files through libpng: 8-bit RGB or grey pictures out, any PNG in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::gifTool {

enum class PngColor { Grey = 0, Rgb = 2 };

// rows: height rows of width * (1 or 3) bytes, top row first. False, with the
// reason in why when given, when the file can't be written whole; no file of
// that name is then left half written.
bool WritePng(const std::string& path, int width, int height, PngColor color,
              const std::vector<std::uint8_t>& rows, std::string* why = nullptr);

// A PNG read back: its pixels as 0x00RRGGBB, row by row from the top, 16-bit
// samples scaled to 8 bits, and their opacity when the file has any
// transparency (Alpha empty otherwise).
struct PngPicture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;
  std::vector<std::uint8_t> Alpha;
};

// False, with the reason in error ("not a PNG file", "damaged PNG: ...",
// or why the file can't be opened), when the file can't be read as PNG.
bool ReadPng(const std::string& path, PngPicture& picture, std::string& error);

// Writes the bytes as the whole of path; false, with the reason in why when
// given, when the file can't be written whole.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string* why = nullptr);

}  // namespace velmora::gifTool
