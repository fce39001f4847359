#include "tools/velmora-gif/Png.h"

#include <array>
#include <fstream>

namespace velmora::gifTool {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

void Chunk(std::vector<std::uint8_t>& out, const char* type,
           const std::vector<std::uint8_t>& data) {
  Put32(out, std::uint32_t(data.size()));
  std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t a = 1, b = 0;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

std::vector<std::uint8_t> EncodePng(int width, int height, PngColor color,
                                    const std::vector<std::uint8_t>& rows) {
  const std::size_t rowBytes = std::size_t(width) * (color == PngColor::Rgb ? 3 : 1);
  // Each row gets filter type 0 (none) in front.
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * std::size_t(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    auto from = rows.begin() + std::ptrdiff_t(rowBytes * std::size_t(y));
    raw.insert(raw.end(), from, from + std::ptrdiff_t(rowBytes));
  }
  // zlib stream of stored blocks.
  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::size_t at = 0;
  do {
    std::size_t len = std::min<std::size_t>(raw.size() - at, 65535);
    bool last = at + len == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(std::uint8_t(len));
    z.push_back(std::uint8_t(len >> 8));
    z.push_back(std::uint8_t(~len));
    z.push_back(std::uint8_t(~len >> 8));
    z.insert(z.end(), raw.begin() + std::ptrdiff_t(at),
             raw.begin() + std::ptrdiff_t(at + len));
    at += len;
  } while (at < raw.size());
  Put32(z, Adler32(raw.data(), raw.size()));

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  Put32(ihdr, std::uint32_t(width));
  Put32(ihdr, std::uint32_t(height));
  ihdr.insert(ihdr.end(), {8, std::uint8_t(color), 0, 0, 0});
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out.flush());
}

}  // namespace velmora::gifTool
