#include "tools/velmora-gif/Png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/classes/FileWrite.h"
#include "platform/classes/SysUtils.h"

namespace velmora::gifTool {

bool WritePng(const std::string& path, int width, int height, PngColor color,
              const std::vector<std::uint8_t>& rows, std::string* why) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = color == PngColor::Rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  if (rows.size() < PNG_IMAGE_SIZE(image)) {
    if (why) *why = "too few rows";
    return false;
  }
  // Made in memory, then written whole or not at all.
  png_alloc_size_t size = 0;
  std::vector<std::uint8_t> bytes;
  bool ok = png_image_write_get_memory_size(image, size, 0, rows.data(), 0, nullptr) != 0;
  if (ok) {
    bytes.resize(size);
    ok = png_image_write_to_memory(&image, bytes.data(), &size, 0, rows.data(), 0,
                                   nullptr) != 0;
  }
  if (!ok && why) *why = image.message;
  png_image_free(&image);
  bytes.resize(size);
  return ok && WriteFile(path, bytes, why);
}

namespace {

// libpng reports trouble through these; the message ends up in the reader.
struct ReadTrouble {
  char message[200] = "";
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* trouble = static_cast<ReadTrouble*>(png_get_error_ptr(png));
  std::snprintf(trouble->message, sizeof trouble->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Decodes the whole picture into 8-bit RGBA rows, 4 bytes a pixel, in the
// memory of pixels (which the caller then converts in place). Only plain C
// objects live in this frame, so libpng's long jump out of it skips no
// destructor; pixels, rows and refusal belong to the caller. A size check
// that refuses leaves its reason in refusal and takes no pixel memory.
bool DecodeRgba(std::FILE* file, ReadTrouble& trouble, png_uint_32& width,
                png_uint_32& height, bool& hasAlpha, const PngSizeCheck& check,
                std::string* refusal, std::vector<std::uint32_t>* pixels,
                std::vector<png_bytep>* rows) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &trouble, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  if (check) *refusal = check(width, height);
  if (!refusal->empty()) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  const int colorType = png_get_color_type(png, info);
  hasAlpha =
      (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  // Everything to 8-bit RGBA: palettes and low bit depths expanded, tRNS to
  // alpha, grey to RGB, 16-bit samples scaled (rounded) to 8 bits.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t(width) * 4) {
    std::snprintf(trouble.message, sizeof trouble.message, "unexpected row layout");
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  pixels->resize(std::size_t(width) * height);
  rows->resize(height);
  auto* bytes = reinterpret_cast<png_bytep>(pixels->data());
  for (png_uint_32 y = 0; y < height; ++y)
    (*rows)[y] = bytes + std::size_t(y) * width * 4;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

// The ordinary interface rather than the simplified one: the latter gets
// interlaced 16-bit files wrong in some libpng releases.
bool ReadPng(const std::string& path, PngPicture& picture, std::string& error,
             const PngSizeCheck& check) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  png_byte signature[8] = {};
  if (std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    std::fclose(file);
    error = "not a PNG file";
    return false;
  }
  ReadTrouble trouble;
  png_uint_32 width = 0, height = 0;
  bool hasAlpha = false;
  std::string refusal;
  std::vector<std::uint32_t> pixels;
  std::vector<png_bytep> rows;
  const bool ok =
      DecodeRgba(file, trouble, width, height, hasAlpha, check, &refusal, &pixels, &rows);
  std::fclose(file);
  if (!refusal.empty()) {
    error = refusal;
    return false;
  }
  if (!ok) {
    error = std::string("damaged PNG: ") +
            (*trouble.message ? trouble.message : "libpng could not start");
    return false;
  }
  rows = {};
  picture.Width = int(width);
  picture.Height = int(height);
  const std::size_t n = std::size_t(width) * height;
  picture.Alpha.clear();
  if (hasAlpha) picture.Alpha.resize(n);
  // RGBA bytes to 0x00RRGGBB in the same memory: each pixel's four bytes
  // are read before its word is written.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels.data());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t r = bytes[i * 4], g = bytes[i * 4 + 1], b = bytes[i * 4 + 2],
                       a = bytes[i * 4 + 3];
    pixels[i] = std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
    if (hasAlpha) picture.Alpha[i] = a;
  }
  picture.Pixels = std::move(pixels);
  return true;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string* why) {
  try {
    WriteWholeFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return true;
  } catch (const EStreamError& e) {
    if (why) *why = e.Message;
    return false;
  }
}

}  // namespace velmora::gifTool
