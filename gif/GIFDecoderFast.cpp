// The LZW decoder's fast loop: the codes of trusted strings, copied in whole
// words, with the loop's state in registers. GIFDecoder.cpp says how it
// fits with the general steps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gif/GIFDecoderSteps.h"

namespace velmora::lzw {

template <bool kFull, bool kLong>
int TDecoder::FastRun(Loop& s, int firstCode) {
  constexpr std::size_t kCopy = kLong ? 2 * kWord : kWord;  // copied at a time
  constexpr std::size_t kGroup = 4;  // codes read with one load (4 x 12 bits + 7 < 64)
  // The state in locals, written back on the way out (and before reading a
  // sub-block, which may throw: what the catch in Run needs). The tables
  // and the bit buffer are reached through `this`, which takes one register
  // for all of them.
  std::uint8_t* const first = s.out;
  std::uint8_t* out = first;
  // Room for strings before the frame's end, less the slack for the words.
  std::size_t room = std::size_t(s.end - out) - kCopy;
  std::size_t code = std::size_t(firstCode);
  std::size_t oldCode = std::size_t(s.oldCode);
  bool left = false;  // code is left to the general steps
  std::size_t freeCode = std::size_t(s.freeCode), widthLimit = std::size_t(s.widthLimit);
  // A full table has 12-bit codes.
  std::size_t codeSize = kFull ? 12 : std::size_t(s.codeSize);
  std::size_t mask = (std::size_t(1) << codeSize) - 1;
  std::size_t bit = std::size_t(s.bit);
  std::size_t lastBit = std::size_t(s.lastBit);
  // Pixels and bits since the last sub-block was read: their ratio chooses
  // the kind of copy.
  std::uint8_t* blockOut = out;
  std::size_t blockBit = bit;
  // The entry the next code adds (the previous string and the first pixel
  // of the next) is made ahead, since its string starts where the previous
  // one does: a code not yet in the table (the entry itself) is then copied
  // as any other, and only its last pixel is put right afterwards.
  if (!kFull) {
    length_[freeCode] = std::uint16_t(length_[oldCode] + 1);
    where_[freeCode] = s.previous;
  }
  // One code: false when it is left to the general steps (`left`), when the
  // table just filled, or when the code size changed (`regroup`: the next
  // code is read with the new size). `sizeMayChange`: false where the
  // caller knows that this code's entry cannot reach the next power of two.
  bool regroup = false;
  auto step = [&](bool sizeMayChange) __attribute__((always_inline)) {
    // One test for all that is left to the general steps: length 0 (clear
    // and end codes, entries not defined yet, untrusted entries) wraps
    // around.
    const std::size_t len = length_[code];
    if (__builtin_expect(len - 1 >= room, 0)) {
      left = true;
      return false;
    }
    // Whole words from where the string stands: its end is at or before
    // out, so each word reads what the string needs before anything
    // overwrites it; the bytes past the string are written again by what
    // follows (or get the fill back at the end).
    const std::uint8_t* from = where_[code];
    CopyWord(out, from);
    if (kLong) CopyWord(out + kWord, from + kWord);
    if (__builtin_expect(len > kCopy, 0)) {
      for (std::size_t i = kCopy; i < len; i += kCopy) {
        CopyWord(out + i, from + i);
        if (kLong) CopyWord(out + i + kWord, from + i + kWord);
      }
    }
    oldCode = code;
    if (!kFull) {
      // A code not yet in the table: the previous string and its first
      // pixel, which the copy read from where the string goes.
      if (__builtin_expect(code == freeCode, 0)) out[len - 1] = *from;
      // The next entry ahead (at most at kTableSize, a slot of slack).
      length_[freeCode + 1] = std::uint16_t(len + 1);
      where_[freeCode + 1] = out;
    }
    out += len;
    room -= len;
    if (kFull) return true;
    ++freeCode;
    if (sizeMayChange && __builtin_expect(freeCode >= widthLimit, 0)) {
      if (widthLimit == kTableSize) return false;  // the loop for a full table takes over
      widthLimit *= 2;
      ++codeSize;
      mask = (std::size_t(1) << codeSize) - 1;
      regroup = true;
      return false;
    }
    return true;
  };
  if (!step(true) && !regroup) goto done;
  for (;;) {
    regroup = false;
    const std::size_t size = kFull ? 12 : codeSize;  // a constant the compiler sees
    if (__builtin_expect(
            bit + kGroup * size <= lastBit && (kFull || freeCode + kGroup < widthLimit),
            1)) {
      // Four codes from one load, none of which changes the code size.
      std::uint64_t bits;
      std::memcpy(&bits, buffer_ + (bit >> 3), 8);
      bits >>= bit & 7;
      auto next = [&]() __attribute__((always_inline)) {
        code = bits & (kFull ? 0xFFFu : mask);
        bits >>= size;
        bit += size;
        return step(false);
      };
      static_assert(kGroup == 4);
      if (next() && next() && next() && next()) continue;
      break;
    }
    if (bit + size > lastBit) {
      // The next sub-block, read as ReadCodeSlow reads it; the end of the
      // data and cut sub-blocks are left to it.
      const bool wasLong =
          std::size_t(out - blockOut) * size >= kLongString * (bit - blockBit);
      s.out = out;
      s.dirty = std::max(s.dirty, out + kCopy);
      currentBit_ = int(bit);
      const bool more = ReadSubBlock();
      bit = std::size_t(currentBit_);
      lastBit = std::size_t(lastBit_);
      blockOut = out;
      blockBit = bit;
      if (!more || bit + size > lastBit || wasLong != kLong) {
        s.longStrings = wasLong;
        break;
      }
    }
    std::uint32_t word;
    std::memcpy(&word, buffer_ + (bit >> 3), 4);
    code = (word >> (bit & 7)) & (kFull ? 0xFFFu : mask);
    bit += size;
    if (!step(true) && !regroup) break;
  }
done:
  // The entry made ahead is not one yet.
  if (!kFull) length_[freeCode] = 0;
  if (out != first) {
    s.previous = out - length_[oldCode];
    s.firstPixel = *s.previous;
    s.oldCode = int(oldCode);
  }
  s.out = out;
  s.dirty = std::max(s.dirty, out + kCopy);
  s.freeCode = int(freeCode);
  s.codeSize = int(codeSize);
  s.widthLimit = int(widthLimit);
  s.bit = int(bit);
  s.lastBit = int(lastBit);
  return left ? int(code) : kNoCode;
}

template int TDecoder::FastRun<false, false>(Loop& s, int firstCode);
template int TDecoder::FastRun<false, true>(Loop& s, int firstCode);
template int TDecoder::FastRun<true, false>(Loop& s, int firstCode);
template int TDecoder::FastRun<true, true>(Loop& s, int firstCode);

}  // namespace velmora::lzw
