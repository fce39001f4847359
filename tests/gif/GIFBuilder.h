// Helpers that build GIF streams byte by byte, for data our writer would
// never produce, and collect the warnings an image issues.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gif/GIFImage.h"

namespace velmora::test {

using Bytes = std::vector<std::uint8_t>;

class GifBuilder {
 public:
  GifBuilder& Raw(std::initializer_list<int> bytes) {
    for (int b : bytes) data.push_back(std::uint8_t(b));
    return *this;
  }
  GifBuilder& Raw(const Bytes& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  GifBuilder& Word(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }
  // Signature and logical screen; a global table of `colors` grey levels
  // (a power of two from 2 to 256) or none.
  GifBuilder& Header(int width, int height, int colors = 4, const char* sig = "GIF89a") {
    for (int i = 0; i < 6; ++i) data.push_back(std::uint8_t(sig[i]));
    Word(width).Word(height);
    int bits = 0;
    while ((2 << bits) < colors) ++bits;
    Raw({colors ? 0x80 | bits : 0, 0, 0});
    for (int i = 0; i < colors; ++i) Raw({i, i, i});
    return *this;
  }
  GifBuilder& Gce(int packed, int delay = 0, int transparentIndex = 0) {
    Raw({0x21, 0xF9, 4, packed});
    Word(delay);
    return Raw({transparentIndex, 0});
  }
  GifBuilder& Descriptor(int left, int top, int width, int height, int packed = 0) {
    Raw({0x2C});
    Word(left).Word(top).Word(width).Word(height);
    return Raw({packed});
  }
  // Minimum code size byte and the codes, each with its bit width, packed
  // into sub-blocks of at most blockSize bytes, then the terminator.
  GifBuilder& Codes(int minCodeSize, const std::vector<std::pair<int, int>>& codes,
                    int blockSize = 255, bool terminator = true) {
    Raw({minCodeSize});
    Bytes packed;
    std::uint32_t acc = 0;
    int n = 0;
    for (auto [code, bits] : codes) {
      acc |= std::uint32_t(code) << n;
      n += bits;
      while (n >= 8) {
        packed.push_back(std::uint8_t(acc));
        acc >>= 8;
        n -= 8;
      }
    }
    if (n > 0) packed.push_back(std::uint8_t(acc));
    for (std::size_t at = 0; at < packed.size(); at += std::size_t(blockSize)) {
      std::size_t len = std::min(packed.size() - at, std::size_t(blockSize));
      data.push_back(std::uint8_t(len));
      data.insert(data.end(), packed.begin() + long(at), packed.begin() + long(at + len));
    }
    if (terminator) data.push_back(0);
    return *this;
  }
  GifBuilder& Comment(const std::vector<std::string>& blocks) {
    Raw({0x21, 0xFE});
    for (const std::string& s : blocks) {
      data.push_back(std::uint8_t(s.size()));
      data.insert(data.end(), s.begin(), s.end());
    }
    return Raw({0});
  }
  GifBuilder& Trailer() { return Raw({0x3B}); }

  Bytes data;
};

// Codes of width `bits` each.
inline std::vector<std::pair<int, int>> Fixed(int bits,
                                              std::initializer_list<int> codes) {
  std::vector<std::pair<int, int>> out;
  for (int c : codes) out.emplace_back(c, bits);
  return out;
}

// Codes at the widths a reader takes them: minimum code size + 1 bits after
// each clear code (`codes` holds them), one more bit once the next entry
// reaches the next power of two; the first code after a clear adds none.
inline std::vector<std::pair<int, int>> Widths(int minCodeSize,
                                               const std::vector<int>& codes) {
  const int clear = 1 << minCodeSize;
  std::vector<std::pair<int, int>> sized;
  int next = clear + 2, width = minCodeSize + 1;
  bool first = true;
  for (int code : codes) {
    sized.emplace_back(code, width);
    if (code == clear) {
      next = clear + 2, width = minCodeSize + 1, first = true;
    } else if (first) {
      first = false;
    } else if (++next >= (1 << width) && width < 12) {
      ++width;
    }
  }
  return sized;
}

// A plain LZW encoder: the codes, with their widths, that encode `pixels`
// (each below 2^minCodeSize) after a clear code, a new clear code each time
// the table is full, and the end code. With `fullFor`, the table is kept
// full for that many codes before the clear code (as encoders that defer
// it do): 12-bit codes that add no entries. With `clearAt` below 4096 (and
// no fullFor), the clear code comes once the table has that many entries
// (clearAt > the end code); `clears` clear codes in a row each time.
inline std::vector<std::pair<int, int>> Lzw(int minCodeSize, const Bytes& pixels,
                                            int fullFor = 0, int clearAt = 4096,
                                            int clears = 1) {
  std::vector<std::pair<int, int>> out;
  const int clear = 1 << minCodeSize;
  std::vector<int> table(std::size_t(4096) << 8, -1);  // (prefix, pixel) -> code
  std::vector<int> used;
  int next = clear + 2, width = minCodeSize + 1;
  auto reset = [&] {
    for (int key : used) table[std::size_t(key)] = -1;
    used.clear();
    next = clear + 2;
    width = minCodeSize + 1;
  };
  auto emit = [&](int code) {
    out.emplace_back(code, width);
    // Widths grow as the reader's do: it defines each entry one code later.
    if (next >= (1 << width) && width < 12) ++width;
  };
  out.emplace_back(clear, width);
  if (pixels.empty()) {
    out.emplace_back(clear + 1, width);
    return out;
  }
  int prefix = pixels[0];
  int full = 0;  // codes sent with the table full
  for (std::size_t i = 1; i < pixels.size(); ++i) {
    const int key = (prefix << 8) | pixels[i];
    if (table[std::size_t(key)] >= 0) {
      prefix = table[std::size_t(key)];
      continue;
    }
    emit(prefix);
    if (next < clearAt) {
      table[std::size_t(key)] = next++;
      used.push_back(key);
    } else if (full < fullFor) {
      ++full;
    } else {
      emit(clear);
      reset();
      // Further clear codes come at the width the reader resets to.
      for (int k = 1; k < clears; ++k) out.emplace_back(clear, width);
      full = 0;
    }
    prefix = pixels[i];
  }
  emit(prefix);
  emit(clear + 1);
  return out;
}

// Pixels below `colors` with strings of every length: noise, runs of up
// to a few hundred pixels (codes not yet in the table, strings longer than
// the decoder's copied words), and stretches that repeat earlier ones.
inline Bytes MixedPixels(std::size_t n, int colors, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes pixels;
  while (pixels.size() < n) {
    switch (rng() % 3) {
      case 0:
        for (int i = int(rng() % 50); i > 0; --i)
          pixels.push_back(std::uint8_t(rng() % unsigned(colors)));
        break;
      case 1:
        pixels.insert(pixels.end(), 1 + rng() % 300,
                      std::uint8_t(rng() % unsigned(colors)));
        break;
      default:
        if (pixels.size() > 100) {
          const std::size_t from = rng() % (pixels.size() - 50), len = 1 + rng() % 50;
          for (std::size_t i = 0; i < len; ++i) pixels.push_back(pixels[from + i]);
        }
    }
  }
  pixels.resize(n);
  return pixels;
}

struct Loaded {
  std::unique_ptr<TGIFImage> image = std::make_unique<TGIFImage>();
  std::vector<std::string> warnings;
  std::string error;  // empty when the load succeeded
  std::int64_t position = 0;
};

// With VELMORA_GIF_SEED_DIR set, every stream a test loads is kept there
// as a seed for the fuzzer.
inline void KeepAsSeed(const Bytes& bytes) {
  const char* dir = std::getenv("VELMORA_GIF_SEED_DIR");
  if (!dir) return;
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
  char name[32];
  std::snprintf(name, sizeof name, "/%016llx.gif", static_cast<unsigned long long>(hash));
  std::ofstream out(dir + std::string(name), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Loaded Load(const Bytes& bytes) {
  KeepAsSeed(bytes);
  Loaded r;
  r.image->OnWarning = [&r](void*, TGIFSeverity, const std::string& m) {
    r.warnings.push_back(m);
  };
  TMemoryStream stream(bytes);
  try {
    r.image->LoadFromStream(stream);
  } catch (const GIFException& e) {
    r.error = e.Message;
  }
  r.position = stream.GetPosition();
  r.image->OnWarning = nullptr;
  return r;
}

// The message of the E that action raises; empty when it raises none.
template <class E = GIFException, class F>
std::string ErrorOf(F action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return {};
}

inline Bytes Save(TGIFImage& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Bytes();
}

inline Bytes Pixels(const TGIFSubImage& frame) {
  return Bytes(frame.Data.get(), frame.Data.get() + frame.DataSize);
}

}  // namespace velmora::test
