// The LZW decoder of a frame's image data (its contract is in the header).
//
// Strings are normally written straight into the frame, using the length
// kept for each table entry. The pixels come out in order (the caller moves
// an interlaced frame's rows into place afterwards), so an entry's string
// (the previous string plus one pixel) already stands in the frame where
// the previous string was written: it is
// copied from there, in whole words. Root codes point into a table of their
// pixels instead, so that every string of trusted length is one copy from
// one place. Near the end of the frame, where a whole word would overrun
// it, the string is copied byte by byte. Entries whose length can't be
// trusted (damaged data can make a prefix point ahead of the entry itself)
// and strings that cross the frame's end go through the expansion stack,
// which is bounded so that a prefix chain that loops is caught rather than
// overrunning it.
//
// Most codes take the fast loop (FastRun, GIFDecoderFast.cpp), which keeps its state in
// registers and has one test for everything it does not handle: a code
// without a trusted string (the clear and end codes, entries not yet
// defined, damaged ones), a string that comes near the frame's end, a code
// that needs the next sub-block. Those leave the loop, and the general steps
// (Decode) take the code as they always have; the loop is entered again
// after them.
#include "gif/GIFDecoder.h"

#include <algorithm>
#include <cstring>

#include "gif/GIFDecoderSteps.h"
#include "gif/GIFMessages.h"

namespace velmora {

namespace lzw {

void Fail(TLzwResult result) {
  throw TFailure{result};
}

bool TDecoder::DrainStack() {
  while (sp_ > 0) {
    if (out_ == end_) {
      full_ = true;
      return false;
    }
    *out_++ = stack_[--sp_];
  }
  if (out_ == end_) full_ = true;
  return !full_;
}

void TDecoder::ResetTable() {
  // Entries at and above the clear code read as pixel 0 until defined again.
  // Their length 0 sends them through the expansion stack, which takes an
  // entry not defined yet as prefix 0 and suffix 0: the two pixels 0. So
  // only the lengths are reset; the prefix and pixel of the clear and end
  // codes stay 0 from the start.
  const int top = std::min(std::max(highWater_, clearCode_ + 2), kTableSize);
  const std::size_t n = std::size_t(top - clearCode_);
  std::memset(length_ + clearCode_, 0, sizeof(length_[0]) * n);
  highWater_ = clearCode_ + 2;
  codeSize_ = minCodeSize_ + 1;
  widthLimit_ = 2 * clearCode_;
  freeCode_ = clearCode_ + 2;
  sp_ = 0;
}

void TDecoder::SkipSubBlocks() {
  std::uint8_t length;
  while (ReadByte(input_, length) && length != 0) input_.Skip(length);
  terminatorSeen_ = true;
}

// A code that needs bits of the next sub-blocks, or the end of the data.
int TDecoder::ReadCodeSlow(int bits) {
  while (currentBit_ + bits > lastBit_)
    if (!ReadSubBlock()) break;
  if (currentBit_ >= lastBit_) {
    // Nothing left: the data ended between two codes.
    if (terminatorSeen_) warnings_.push_back(TLzwResult::CodesEarly);
    return kRanOut;
  }
  // A code cut off by the end of the data is still decoded, its missing
  // high bits read as 0; the next request finds nothing left.
  const int byte = currentBit_ >> 3;
  const std::uint32_t word = std::uint32_t(buffer_[byte]) |
                             (std::uint32_t(buffer_[byte + 1]) << 8) |
                             (std::uint32_t(buffer_[byte + 2]) << 16);
  const int code = int((word >> (currentBit_ & 7)) & ((1u << bits) - 1));
  currentBit_ = std::min(currentBit_ + bits, lastBit_);
  return code;
}

// Sets up the tables and the output; the returned state is what the loop
// works on.
TDecoder::Loop TDecoder::Start(int minCodeSize, std::uint8_t* target, std::int64_t size) {
  out_ = base_ = target;
  end_ = target + size;
  full_ = size == 0;

  // Checked before the shift so that no size byte can overflow it.
  if (minCodeSize > 11) Fail(TLzwResult::ClearCodeTooLarge);
  minCodeSize_ = minCodeSize;
  clearCode_ = 1 << minCodeSize;
  endCode_ = clearCode_ + 1;
  for (int code = 0; code < clearCode_; ++code) {
    prefix_[code] = 0;
    suffix_[code] = std::uint8_t(code);
    length_[code] = 1;
    where_[code] = kRootPixels.pixel + code;
  }
  // The clear and end codes are never defined: prefix 0 and pixel 0.
  for (int code = clearCode_; code <= endCode_; ++code) {
    prefix_[code] = 0;
    suffix_[code] = 0;
  }
  highWater_ = kTableSize;
  ResetTable();
  return Loop{.clearCode = clearCode_,
              .endCode = endCode_,
              .base = base_,
              .end = end_,
              .out = out_,
              .dirty = out_,
              .previous = out_,
              .freeCode = freeCode_,
              .codeSize = codeSize_,
              .widthLimit = widthLimit_,
              .bit = currentBit_,
              .lastBit = lastBit_};
}

int TDecoder::ReadCode(Loop& s) {
  if (s.bit + s.codeSize > s.lastBit) {
    currentBit_ = s.bit;
    const int code = ReadCodeSlow(s.codeSize);
    s.bit = currentBit_;
    s.lastBit = lastBit_;
    return code;
  }
  std::uint32_t word;
  std::memcpy(&word, buffer_ + (s.bit >> 3), 4);
  const int code = int((word >> (s.bit & 7)) & ((1u << s.codeSize) - 1));
  s.bit += s.codeSize;
  return code;
}

bool TDecoder::AtEnd(const Loop& s, int code) {
  if (code < 0) return true;
  if (code != s.endCode) return false;
  if (!terminatorSeen_) SkipSubBlocks();
  return true;
}

int TDecoder::AfterClear(Loop& s) {
  highWater_ = std::max(highWater_, s.freeCode);
  ResetTable();
  s.freeCode = freeCode_;
  s.codeSize = codeSize_;
  s.widthLimit = widthLimit_;
  int code;
  do {
    code = ReadCode(s);
  } while (code == s.clearCode);
  return code;
}

bool TDecoder::FirstString(Loop& s, int code) {
  // Whatever follows a clear is taken as a pixel, even a code that isn't.
  s.firstPixel = s.oldCode = code;
  // With a minimum code size of 1 the four root and control codes fill
  // 2 bits already: the next code may be the entry this one begins, so
  // it comes at 3 bits (as encoders write it).
  if (s.freeCode >= s.widthLimit) {
    s.widthLimit *= 2;
    ++s.codeSize;
  }
  s.previous = s.out;
  *s.out++ = std::uint8_t(code);
  return s.out != s.end;
}

bool TDecoder::NextString(Loop& s, int code) {
  const int inCode = code;
  int trailing = -1;  // pixel after the string, for a code not yet in the table
  if (code >= s.freeCode) {
    trailing = s.firstPixel & 0xFF;
    code = s.oldCode;
  }
  std::uint8_t* const start = s.out;
  const bool stored = StoreString(s, code, trailing);
  AddEntry(s);
  s.oldCode = inCode;
  s.previous = start;
  if (!stored) return Drain(s);
  return s.out != s.end;
}

bool TDecoder::StoreString(Loop& s, int code, int trailing) {
  const int len = length_[code];
  const int need = len + (trailing >= 0);
  // Each route ends its string itself: with one ending shared by all three
  // the compiler keeps less of the loop's state in registers.
  if (len == 1 && need <= s.end - s.out) {
    s.firstPixel = suffix_[code];
    s.out[0] = std::uint8_t(s.firstPixel);
    if (trailing >= 0) s.out[1] = std::uint8_t(trailing);
    s.out += need;
  } else if (len != 0 && need + 8 <= s.end - s.out) {
    CopyWritten(s, code, len);
    if (trailing >= 0) s.out[len] = std::uint8_t(trailing);
    s.out += need;
  } else if (len != 0 && need <= s.end - s.out) {
    CopyBytes(s, code, len);
    if (trailing >= 0) s.out[len] = std::uint8_t(trailing);
    s.out += need;
  } else {
    PushString(s, code, trailing);
    return false;
  }
  return true;
}

void TDecoder::CopyWritten(Loop& s, int code, int len) {
  // Whole words: the source ends at or before out, so what the string
  // needs is never overwritten; the bytes past it are written again by the
  // strings that follow (or put back at the end).
  // Most strings fit in the first word, which is copied before any loop.
  const std::uint8_t* from = where_[code];
  std::uint8_t* to = s.out;
  std::uint64_t word;
  std::memcpy(&word, from, 8);
  std::memcpy(to, &word, 8);
  for (int left = len - 8; left > 0; left -= 8) {
    from += 8;
    to += 8;
    std::memcpy(&word, from, 8);
    std::memcpy(to, &word, 8);
  }
  to += 8;
  if (to > s.dirty) s.dirty = to;
  s.firstPixel = s.out[0];
}

void TDecoder::CopyBytes(Loop& s, int code, int len) {
  // The source ends at or before out: the two don't overlap.
  const std::uint8_t* from = where_[code];
  std::memcpy(s.out, from, std::size_t(len));
  s.firstPixel = from[0];
}

void TDecoder::PushString(Loop& s, int code, int trailing) {
  if (trailing >= 0) Push(std::uint8_t(trailing));
  int c = code;
  while (length_[c] == 0) {
    // An entry not defined since the last clear still holds what it was
    // before: it reads as prefix 0 and suffix 0.
    if (c >= s.freeCode) {
      Push(0);
      c = 0;
      break;
    }
    Push(suffix_[c]);
    if (prefix_[c] == c) Fail(TLzwResult::CircularEntry);
    c = prefix_[c];
  }
  // An entry of trusted length: its string stands where it was written,
  // pushed last pixel first, as its chain would be.
  const int len = length_[c];
  if (sp_ + len > kStackSize) Fail(TLzwResult::CircularEntry);
  const std::uint8_t* from = where_[c];
  for (int i = len - 1; i >= 0; --i) stack_[sp_++] = from[i];
  s.firstPixel = from[0];
}

void TDecoder::AddEntry(Loop& s) {
  // A full table adds nothing until the next clear code.
  if (s.freeCode >= kTableSize) return;
  prefix_[s.freeCode] = std::uint16_t(s.oldCode);
  suffix_[s.freeCode] = std::uint8_t(s.firstPixel);
  // Only a prefix defined before this entry gives a length we can trust.
  const int prefixLength = s.oldCode < s.freeCode ? length_[s.oldCode] : 0;
  length_[s.freeCode] = std::uint16_t(prefixLength != 0 ? prefixLength + 1 : 0);
  where_[s.freeCode] = s.previous;
  ++s.freeCode;
  if (s.freeCode >= s.widthLimit && s.widthLimit < kTableSize) {
    s.widthLimit *= 2;
    ++s.codeSize;
  }
}

bool TDecoder::Drain(Loop& s) {
  out_ = s.out;
  const bool more = DrainStack();
  s.out = out_;
  return more;
}

void TDecoder::Finish(Loop& s, bool ended) {
  // Bytes that word copies wrote ahead of the last string get the fill back.
  if (s.dirty > s.out) std::memset(s.out, fill_, std::size_t(s.dirty - s.out));
  out_ = s.out;
  if (ended) return;
  // Every pixel is stored. Well-formed data has the end code next; anything
  // else means the data holds more pixels than the frame. Either way the rest
  // of the sub-blocks belongs to this frame and is skipped, so that the next
  // block is read from its start.
  if (sp_ == 0 && ReadCode(s) == kRanOut) return;
  if (!terminatorSeen_) SkipSubBlocks();
}

void TDecoder::Run(int minCodeSize, std::uint8_t* target, std::int64_t size) {
  Loop s = Start(minCodeSize, target, size);
  // A catch, not a failure guard: a guard would hold the loop's address,
  // and the loop's state is to stay in registers.
  try {
    Decode(s);
  } catch (...) {
    // An error or the input's exception: what was stored counts, and bytes
    // written ahead of it get the fill back, as at a normal end.
    if (s.dirty > s.out) std::memset(s.out, fill_, std::size_t(s.dirty - s.out));
    out_ = s.out;
    throw;
  }
}

bool TDecoder::FastReady(const Loop& s) const {
  if (s.end - s.out <= kLongest) return false;
  if (s.freeCode >= kTableSize) return true;
  return s.oldCode < s.freeCode && length_[s.oldCode] != 0;
}

void TDecoder::Decode(Loop& s) {
  // The tables start as after a clear code, whether or not the data sends one.
  int code = s.clearCode;
  bool ended = false;  // end code met or data ran out
  bool full = full_;
  // Each branch reads its next code itself: with one read after both, the
  // compiler keeps less of the state in registers and the loop is slower.
  while (!full) {
    if (code == kNoCode) {
      code = ReadCode(s);
      continue;
    }
    if (code == s.clearCode) {
      code = AfterClear(s);
      if ((ended = AtEnd(s, code))) break;
      full = !FirstString(s, code);
      if (!full) code = ReadCode(s);
      s.leftByFastRun = false;
      continue;
    }
    if ((ended = AtEnd(s, code))) break;
    if (code >= kTableSize) Fail(TLzwResult::CodeTooLarge);
    if (!s.leftByFastRun && FastReady(s)) {
      if (s.freeCode < kTableSize)
        code = s.longStrings ? FastRun<false, true>(s, code)
                             : FastRun<false, false>(s, code);
      else
        code =
            s.longStrings ? FastRun<true, true>(s, code) : FastRun<true, false>(s, code);
      s.leftByFastRun = code != kNoCode;
      continue;
    }
    s.leftByFastRun = false;
    full = !NextString(s, code);
    if (!full) code = ReadCode(s);
  }
  // A file cut right after a sub-block leaves pixels out as surely as one
  // cut inside a sub-block, and must not pass for a whole picture.
  if (ended && code == kRanOut && endedUnsaid_) warnings_.push_back(TLzwResult::DataCut);
  Finish(s, ended);
}

}  // namespace lzw

// --- The interface ----------------------------------------------------------

const char* LzwResultText(TLzwResult result) {
  switch (result) {
    case TLzwResult::Ok:
      return "OK";
    case TLzwResult::DataCut:
      return _sOutOfData;
    case TLzwResult::CodesEarly:
      return _sDecodeTooFewBits;
    case TLzwResult::ClearCodeTooLarge:
      return _sClearCodeTooLarge;
    case TLzwResult::CodeTooLarge:
      return _sCodeTooLarge;
    case TLzwResult::CircularEntry:
      return _sDecodeCircular;
  }
  return "?";
}

std::int64_t TLzwBytes::Read(std::uint8_t* to, std::int64_t count) {
  const std::int64_t n = std::clamp<std::int64_t>(size_ - position_, 0, count);
  if (n > 0) std::memcpy(to, data_ + position_, std::size_t(n));
  position_ += n;
  return n;
}

void TLzwBytes::Skip(std::int64_t count) {
  position_ += std::clamp<std::int64_t>(size_ - position_, 0, count);
}

class TLzwDecoder::Impl {
 public:
  Impl(TLzwInput& input, std::uint8_t fill) : decoder(input, fill) {}
  lzw::TDecoder decoder;
};

TLzwDecoder::TLzwDecoder() = default;
TLzwDecoder::~TLzwDecoder() = default;

TLzwResult TLzwDecoder::Decode(TLzwInput& input, int minCodeSize, std::uint8_t* target,
                               std::int64_t size, std::uint8_t fill) {
  // A fresh decoder each time: every table and the bit reader start empty.
  impl_ = std::make_unique<Impl>(input, fill);
  try {
    impl_->decoder.Run(minCodeSize, target, size);
  } catch (const lzw::TFailure& failure) {
    return failure.result;
  }
  return TLzwResult::Ok;
}

std::int64_t TLzwDecoder::Written() const {
  return impl_ ? impl_->decoder.Written() : 0;
}

const std::vector<TLzwResult>& TLzwDecoder::Warnings() const {
  static const std::vector<TLzwResult> kNone;
  return impl_ ? impl_->decoder.Warnings() : kNone;
}

}  // namespace velmora
