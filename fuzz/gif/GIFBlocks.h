// A GIF stream split into its blocks, with each block's sub-block data
// joined, so that the data can be cut into sub-blocks again in another
// layout. Used by the fuzzer's mutator, its seed maker and the tests; the
// split is lenient and keeps whatever it can't read as the tail, so that
// joining the parts gives back the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace velmora::gifblocks {

using Bytes = std::vector<std::uint8_t>;

struct Block {
  // Extension: introducer and label. Image: descriptor, local colour table
  // and minimum code size byte.
  Bytes head;
  Bytes data;                // the sub-blocks' bytes, joined
  std::vector<int> lengths;  // the sub-blocks' lengths (1..255), in order
  bool terminated = true;    // a zero-length sub-block ends the data
  bool IsImage() const { return !head.empty() && head[0] == 0x2C; }
};

struct Gif {
  Bytes header;  // signature, logical screen descriptor, global colour table
  std::vector<Block> blocks;
  Bytes tail;  // trailer, or the first byte that isn't a block, and the rest
};

// Splits `data`; none when not even the header is complete.
inline std::optional<Gif> Split(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 13;
  if (size < at) return std::nullopt;
  if (data[10] & 0x80) at += 3 * (std::size_t(2) << (data[10] & 7));
  if (size < at) return std::nullopt;
  Gif gif;
  gif.header.assign(data, data + at);
  auto rest = [&] { return size - at; };
  while (at < size) {
    const std::uint8_t kind = data[at];
    std::size_t headSize = 0;
    if (kind == 0x21) {
      headSize = 2;
    } else if (kind == 0x2C && rest() >= 10) {
      headSize = 10;
      if (data[at + 9] & 0x80) headSize += 3 * (std::size_t(2) << (data[at + 9] & 7));
      headSize += 1;  // minimum code size
    } else {
      break;
    }
    if (rest() < headSize) break;
    Block block;
    block.head.assign(data + at, data + at + headSize);
    std::size_t p = at + headSize;
    block.terminated = false;
    bool whole = true;
    while (p < size) {
      const std::size_t len = data[p];
      if (len == 0) {
        block.terminated = true;
        ++p;
        break;
      }
      if (size - p - 1 < len) {
        whole = false;  // cut off: left to the tail
        break;
      }
      block.data.insert(block.data.end(), data + p + 1, data + p + 1 + len);
      block.lengths.push_back(int(len));
      p += 1 + len;
    }
    if (!whole) break;
    gif.blocks.push_back(std::move(block));
    at = p;
  }
  gif.tail.assign(data + at, data + size);
  return gif;
}

inline std::optional<Gif> Split(const Bytes& data) {
  return Split(data.data(), data.size());
}

inline Bytes Join(const Gif& gif) {
  Bytes out = gif.header;
  for (const Block& b : gif.blocks) {
    out.insert(out.end(), b.head.begin(), b.head.end());
    std::size_t at = 0;
    for (int len : b.lengths) {
      out.push_back(std::uint8_t(len));
      out.insert(out.end(), b.data.begin() + long(at), b.data.begin() + long(at) + len);
      at += std::size_t(len);
    }
    if (b.terminated) out.push_back(0);
  }
  out.insert(out.end(), gif.tail.begin(), gif.tail.end());
  return out;
}

// Cuts the block's data into sub-blocks whose lengths `next` gives (each
// clamped to 1..255 and to what is left).
template <class NextLength>
void Recut(Block& block, NextLength next) {
  block.lengths.clear();
  std::size_t left = block.data.size();
  while (left > 0) {
    int len = next();
    len = len < 1 ? 1 : len > 255 ? 255 : len;
    if (std::size_t(len) > left) len = int(left);
    block.lengths.push_back(len);
    left -= std::size_t(len);
  }
}

inline void RecutEven(Block& block, int length) {
  Recut(block, [length] { return length; });
}

// The layouts writers never use: single bytes, short runs, and mixes of
// short and full sub-blocks.
template <class Rng>
void RecutOdd(Block& block, Rng& rng) {
  switch (rng() % 5) {
    case 0:
      RecutEven(block, 1);
      break;
    case 1:
      RecutEven(block, 1 + int(rng() % 4));
      break;
    case 2:
      Recut(block, [&rng] { return 1 + int(rng() % 255); });
      break;
    case 3:
      Recut(block, [&rng] { return rng() % 2 ? 1 + int(rng() % 3) : 255; });
      break;
    default:
      RecutEven(block, 2 + int(rng() % 254));
      break;
  }
}

}  // namespace velmora::gifblocks
