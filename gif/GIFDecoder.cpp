// The LZW decoder of a frame's image data.
//
// Strings are normally written straight into the frame, back to front, using
// the length kept for each table entry. Entries whose length can't be
// trusted (damaged data can make a prefix point ahead of the entry itself)
// and strings that cross a row of an interlaced frame or the frame's end go
// through the expansion stack instead, which is bounded so that a prefix
// chain that loops is caught rather than overrunning it.
#include <cstring>
#include <memory>

#include "gif/GIFImage.h"

namespace velmora {

namespace {

constexpr int kTableSize = 4096;
constexpr int kStackSize = 8192;

class Decoder {
 public:
  Decoder(TGIFSubImage& frame, TStream& stream) : frame_(frame), stream_(stream) {}

  void Run(int minCodeSize);

 private:
  static constexpr int kRanOut = -1;

  int ReadCode(int bits);
  int ReadCodeSlow(int bits);
  bool ReadSubBlock();
  void SkipSubBlocks();
  void ResetTable();
  // Writes the stack's pixels into the frame; false when the frame is full.
  bool DrainStack();
  bool NextRow();
  void Push(std::uint8_t pixel) {
    if (sp_ >= kStackSize) Error(_sDecodeCircular);
    stack_[sp_++] = pixel;
  }

  TGIFSubImage& frame_;
  TStream& stream_;

  // Table: for each code the code of its string without the last pixel, the
  // last pixel, and the string's length (0: walk the chain to find out).
  std::uint16_t prefix_[kTableSize];
  std::uint8_t suffix_[kTableSize];
  std::uint16_t length_[kTableSize];
  std::uint8_t stack_[kStackSize];
  int sp_ = 0;

  int minCodeSize_ = 0;
  int clearCode_ = 0;
  int endCode_ = 0;
  int freeCode_ = 0;
  int codeSize_ = 0;
  int widthLimit_ = 0;
  int highWater_ = 0;  // table entries in use since the last reset

  // Bit reader: the unread bytes of earlier sub-blocks (at most two, since
  // a code has at most 12 bits) are moved to the front and the next
  // sub-block goes after them. The tail is slack for reading a whole word
  // near the end; it reads as 0.
  std::uint8_t buffer_[2 + 255 + 16] = {};
  int currentBit_ = 0;
  int lastBit_ = 0;
  int lastByte_ = 0;
  bool terminatorSeen_ = false;
  bool streamEnded_ = false;  // no further length byte could be read

  // Output position.
  std::uint8_t* out_ = nullptr;     // next pixel
  std::uint8_t* rowEnd_ = nullptr;  // end of the current run of pixels
  int width_ = 0;
  int height_ = 0;
  bool interlaced_ = false;
  int row_ = 0;
  int pass_ = 0;
  bool full_ = false;
};

bool Decoder::NextRow() {
  if (!interlaced_) return false;  // one run covers the whole frame
  static const int kStep[4] = {8, 8, 4, 2};
  static const int kStart[4] = {0, 4, 2, 1};
  row_ += kStep[pass_];
  while (row_ >= height_) {
    if (++pass_ >= 4) return false;
    row_ = kStart[pass_];
  }
  out_ = frame_.Data.get() + std::int64_t(row_) * width_;
  rowEnd_ = out_ + width_;
  return true;
}

bool Decoder::DrainStack() {
  while (sp_ > 0) {
    if (out_ == rowEnd_ && !NextRow()) {
      full_ = true;
      return false;
    }
    *out_++ = stack_[--sp_];
  }
  if (out_ == rowEnd_ && !NextRow()) full_ = true;
  return !full_;
}

void Decoder::ResetTable() {
  // Entries at and above the clear code read as pixel 0 until defined again.
  const int top = std::max(highWater_, clearCode_ + 2);
  for (int code = clearCode_; code < top && code < kTableSize; ++code) {
    prefix_[code] = 0;
    suffix_[code] = 0;
    length_[code] = 2;
  }
  highWater_ = clearCode_ + 2;
  codeSize_ = minCodeSize_ + 1;
  widthLimit_ = 2 * clearCode_;
  freeCode_ = clearCode_ + 2;
  sp_ = 0;
}

void Decoder::SkipSubBlocks() {
  std::uint8_t length;
  while (ReadByte(stream_, length) && length != 0)
    stream_.Seek(length, TSeekOrigin::soCurrent);
  terminatorSeen_ = true;
}

// Appends the next sub-block to the unread bytes; false when the data has
// ended (terminator or end of stream).
bool Decoder::ReadSubBlock() {
  if (terminatorSeen_ || streamEnded_) return false;
  // Drop the bytes already read: what stays is less than one code.
  const int keep = currentBit_ >> 3;
  if (keep > 0) {
    std::memmove(buffer_, buffer_ + keep, std::size_t(lastByte_ - keep));
    lastByte_ -= keep;
    lastBit_ = lastByte_ * 8;
    currentBit_ -= keep * 8;
    std::memset(buffer_ + lastByte_, 0, 4);
  }
  std::uint8_t length;
  if (!ReadByte(stream_, length)) {
    streamEnded_ = true;
    return false;
  }
  if (length == 0) {
    terminatorSeen_ = true;
    return false;
  }
  const std::int64_t got = stream_.Read(buffer_ + lastByte_, length);
  if (got < length) {
    frame_.Warning(gsWarning, _sOutOfData);
    streamEnded_ = true;
  }
  lastByte_ += int(got);
  lastBit_ = lastByte_ * 8;
  std::memset(buffer_ + lastByte_, 0, 4);
  return got > 0;
}

// A code that needs bits of the next sub-blocks, or the end of the data.
int Decoder::ReadCodeSlow(int bits) {
  while (currentBit_ + bits > lastBit_)
    if (!ReadSubBlock()) break;
  if (currentBit_ >= lastBit_) {
    // Nothing left: the data ended between two codes.
    if (terminatorSeen_) frame_.Warning(gsWarning, _sDecodeTooFewBits);
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

inline int Decoder::ReadCode(int bits) {
  if (currentBit_ + bits > lastBit_) return ReadCodeSlow(bits);
  const int byte = currentBit_ >> 3;
  const std::uint32_t word = std::uint32_t(buffer_[byte]) |
                             (std::uint32_t(buffer_[byte + 1]) << 8) |
                             (std::uint32_t(buffer_[byte + 2]) << 16);
  const int code = int((word >> (currentBit_ & 7)) & ((1u << bits) - 1));
  currentBit_ += bits;
  return code;
}

void Decoder::Run(int minCodeSize) {
  width_ = frame_.GetWidth();
  height_ = frame_.GetHeight();
  interlaced_ = frame_.GetInterlaced();
  const std::int64_t total = frame_.DataSize;
  out_ = frame_.Data.get();
  rowEnd_ = total == 0 ? out_ : out_ + (interlaced_ ? width_ : total);
  full_ = total == 0;

  // Checked before the shift so that no size byte can overflow it.
  if (minCodeSize > 11) Error(_sClearCodeTooLarge);
  minCodeSize_ = minCodeSize;
  clearCode_ = 1 << minCodeSize;
  endCode_ = clearCode_ + 1;
  for (int code = 0; code < clearCode_; ++code) {
    prefix_[code] = 0;
    suffix_[code] = std::uint8_t(code);
    length_[code] = 1;
  }
  highWater_ = kTableSize;
  ResetTable();

  int firstPixel = 0;
  int oldCode = 0;
  // The tables start as after a clear code, whether or not the data sends one.
  int code = clearCode_;
  bool ended = false;  // end code met or data ran out

  while (!full_) {
    if (code == clearCode_) {
      ResetTable();
      do {
        code = ReadCode(codeSize_);
      } while (code == clearCode_);
      if (code < 0) {
        ended = true;
        break;
      }
      if (code == endCode_) {
        if (!terminatorSeen_) SkipSubBlocks();
        ended = true;
        break;
      }
      // Whatever else follows a clear is taken as a pixel, even a code that
      // isn't.
      firstPixel = oldCode = code;
      // With a minimum code size of 1 the four root and control codes fill
      // 2 bits already: the next code may be the entry this one begins, so
      // it comes at 3 bits (as encoders write it).
      if (freeCode_ >= widthLimit_) {
        widthLimit_ *= 2;
        ++codeSize_;
      }
      *out_++ = std::uint8_t(code);
      if (out_ == rowEnd_ && !NextRow()) full_ = true;
      if (!full_) code = ReadCode(codeSize_);
      continue;
    }
    if (code < 0) {
      ended = true;
      break;
    }
    if (code == endCode_) {
      if (!terminatorSeen_) SkipSubBlocks();
      ended = true;
      break;
    }
    if (code >= kTableSize) Error(_sCodeTooLarge);

    const int inCode = code;
    int trailing = -1;  // pixel after the string, for a code not yet in the table
    if (code >= freeCode_) {
      trailing = firstPixel & 0xFF;
      code = oldCode;
    }
    const int len = length_[code];
    const int need = len + (trailing >= 0);
    if (len != 0 && need <= rowEnd_ - out_) {
      std::uint8_t* p = out_ + len - 1;
      int c = code;
      while (c >= clearCode_) {
        *p-- = suffix_[c];
        c = prefix_[c];
      }
      *p = suffix_[c];
      firstPixel = suffix_[c];
      if (trailing >= 0) out_[len] = std::uint8_t(trailing);
      out_ += need;
    } else {
      if (trailing >= 0) Push(std::uint8_t(trailing));
      int c = code;
      while (c >= clearCode_) {
        Push(suffix_[c]);
        if (prefix_[c] == c) Error(_sDecodeCircular);
        c = prefix_[c];
      }
      firstPixel = suffix_[c];
      Push(std::uint8_t(firstPixel));
    }

    if (freeCode_ < kTableSize) {
      prefix_[freeCode_] = std::uint16_t(oldCode);
      suffix_[freeCode_] = std::uint8_t(firstPixel);
      // Only a prefix defined before this entry gives a length we can trust.
      const int prefixLength = oldCode < freeCode_ ? length_[oldCode] : 0;
      length_[freeCode_] = std::uint16_t(prefixLength != 0 ? prefixLength + 1 : 0);
      ++freeCode_;
      if (freeCode_ > highWater_) highWater_ = freeCode_;
      if (freeCode_ >= widthLimit_ && widthLimit_ < kTableSize) {
        widthLimit_ *= 2;
        ++codeSize_;
      }
    }
    oldCode = inCode;

    if (sp_ > 0) {
      if (!DrainStack()) break;
    } else if (out_ == rowEnd_ && !NextRow()) {
      full_ = true;
      break;
    }
    code = ReadCode(codeSize_);
  }

  if (ended) return;
  // Every pixel is stored. Well-formed data has the end code next; anything
  // else means the data holds more pixels than the frame. Either way the rest
  // of the sub-blocks belongs to this frame and is skipped, so that the next
  // block is read from its start.
  if (sp_ == 0) {
    code = ReadCode(codeSize_);
    if (code == kRanOut) return;
  }
  if (!terminatorSeen_) SkipSubBlocks();
}

}  // namespace

void TGIFSubImage::Decompress(TStream& stream) {
  std::uint8_t fill = 0;
  if (Transparent && GraphicControlExtension)
    fill = std::uint8_t(GraphicControlExtension->GetTransparentColorIndex());
  NewImage(fill);
  std::uint8_t minCodeSize;
  if (!ReadByte(stream, minCodeSize)) return;
  // About 30 KB of tables: on the heap rather than the caller's stack.
  auto decoder = std::make_unique<Decoder>(*this, stream);
  decoder->Run(minCodeSize);
}

}  // namespace velmora
