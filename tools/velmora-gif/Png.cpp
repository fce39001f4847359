#include "tools/velmora-gif/Png.h"

#include <png.h>

#include <cstring>
#include <fstream>

namespace velmora::gifTool {

bool WritePng(const std::string& path, int width, int height, PngColor color,
              const std::vector<std::uint8_t>& rows) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = color == PngColor::Rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  if (rows.size() < PNG_IMAGE_SIZE(image)) return false;
  const bool ok =
      png_image_write_to_file(&image, path.c_str(), 0, rows.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

bool ReadPng(const std::string& path, PngPicture& picture, std::string& error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    error = image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    error = image.message;
    png_image_free(&image);
    return false;
  }
  picture.Width = int(image.width);
  picture.Height = int(image.height);
  picture.Pixels.resize(std::size_t(image.width) * image.height);
  for (std::size_t i = 0; i < picture.Pixels.size(); ++i) {
    const std::uint8_t* p = &rgba[i * 4];
    const unsigned a = p[3];
    std::uint32_t c = 0;
    for (int k = 0; k < 3; ++k) c = (c << 8) | ((p[k] * a + 255 * (255 - a) + 127) / 255);
    picture.Pixels[i] = c;
  }
  return true;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out.flush());
}

}  // namespace velmora::gifTool
