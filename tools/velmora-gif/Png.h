// PNG files through libpng: 8-bit RGB or grey pictures out, any PNG in.
#pragma once

#include <cstdint>
#include <functional>
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

// Why a picture of this size is not wanted, or nothing. Asked once the
// header is read, before any memory is taken for the pixels: a few bytes of
// PNG can declare a picture of gigabytes.
using PngSizeCheck =
    std::function<std::string(std::uint32_t width, std::uint32_t height)>;

// False, with the reason in error ("not a PNG file", "damaged PNG: ...",
// what check said, or why the file can't be opened), when the file can't be
// read as PNG or its size is refused.
bool ReadPng(const std::string& path, PngPicture& picture, std::string& error,
             const PngSizeCheck& check = {});

// Writes the bytes as the whole of path; false, with the reason in why when
// given, when the file can't be written whole.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string* why = nullptr);

}  // namespace velmora::gifTool
