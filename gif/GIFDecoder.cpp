// The LZW decoder of a frame's image data.
//
// Strings are normally written straight into the frame, using the length
// kept for each table entry. In a frame that is not interlaced the pixels
// come out in order, so an entry's string (the previous string plus one
// pixel) already stands in the frame where the previous string was written:
// it is copied from there, eight bytes at a time, instead of walking the
// prefix chain pixel by pixel. Interlaced frames walk the chain, back to
// front. Entries whose length can't be trusted (damaged data can make a
// prefix point ahead of the entry itself) and strings that cross a row of an
// interlaced frame or the frame's end go through the expansion stack
// instead, which is bounded so that a prefix chain that loops is caught
// rather than overrunning it.
#include <cstring>
#include <memory>

#include "gif/GIFImage.h"

namespace velmora {

namespace {

constexpr int kTableSize = 4096;
constexpr int kStackSize = 8192;

class Decoder {
 public:
  Decoder(TGIFSubImage& frame, TStream& stream, std::uint8_t fill)
      : frame_(frame), stream_(stream), fill_(fill) {}

  // Decodes into `size` bytes at `target`, in the order of the data.
  void Run(int minCodeSize, std::uint8_t* target, std::int64_t size);
  // Pixels stored from the data.
  std::int64_t Written() const { return out_ - base_; }

 private:
  static constexpr int kRanOut = -1;

  // The bit reader's slow path (its fast path is in Run): a code that needs
  // further sub-blocks, or the end of the data.
  int ReadCodeSlow(int bits);
  bool ReadSubBlock();
  void SkipSubBlocks();
  void ResetTable();
  // Writes the stack's pixels into the frame; false when the frame is full.
  bool DrainStack();
  void Push(std::uint8_t pixel) {
    if (sp_ >= kStackSize) Error(_sDecodeCircular);
    stack_[sp_++] = pixel;
  }

  TGIFSubImage& frame_;
  TStream& stream_;
  const std::uint8_t fill_;  // value of the pixels the data does not reach

  // Table: for each code the code of its string without the last pixel, the
  // last pixel, and the string's length (0: walk the chain to find out).
  std::uint16_t prefix_[kTableSize];
  std::uint8_t suffix_[kTableSize];
  std::uint16_t length_[kTableSize];
  // Where in the frame the string of each entry was written (frames that are
  // not interlaced; valid for entries with a trusted length).
  std::int32_t where_[kTableSize];
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
  std::uint8_t* base_ = nullptr;  // the frame's first pixel
  std::uint8_t* out_ = nullptr;   // next pixel
  std::uint8_t* end_ = nullptr;   // end of the target
  bool full_ = false;
};

bool Decoder::DrainStack() {
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

void Decoder::ResetTable() {
  // Entries at and above the clear code read as pixel 0 until defined again.
  // Their length 0 sends them through the expansion stack, which finds
  // the two pixels 0 of prefix 0 and suffix 0.
  const int top = std::min(std::max(highWater_, clearCode_ + 2), kTableSize);
  const std::size_t n = std::size_t(top - clearCode_);
  std::memset(prefix_ + clearCode_, 0, sizeof(prefix_[0]) * n);
  std::memset(suffix_ + clearCode_, 0, n);
  std::memset(length_ + clearCode_, 0, sizeof(length_[0]) * n);
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

void Decoder::Run(int minCodeSize, std::uint8_t* target, std::int64_t size) {
  out_ = base_ = target;
  end_ = target + size;
  full_ = size == 0;

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

  // The loop keeps its state in locals: every pixel stored through a byte
  // pointer could otherwise alias the members and force them to be read
  // again. They go back to the members around the calls that use them.
  const int clearCode = clearCode_, endCode = endCode_;
  std::uint8_t* const base = base_;
  std::uint8_t* const end = end_;
  std::uint8_t* out = out_;
  std::uint8_t* dirty = out;  // end of bytes written ahead by word copies
  int freeCode = freeCode_, codeSize = codeSize_, widthLimit = widthLimit_;
  int bit = currentBit_, lastBit = lastBit_;
  auto readCode = [&]() -> int {
    if (bit + codeSize > lastBit) {
      currentBit_ = bit;
      const int code = ReadCodeSlow(codeSize);
      bit = currentBit_;
      lastBit = lastBit_;
      return code;
    }
    std::uint32_t word;
    std::memcpy(&word, buffer_ + (bit >> 3), 4);
    const int code = int((word >> (bit & 7)) & ((1u << codeSize) - 1));
    bit += codeSize;
    return code;
  };

  int firstPixel = 0;
  int oldCode = 0;
  std::uint8_t* previous = out;  // where the previous string starts
  // The tables start as after a clear code, whether or not the data sends one.
  int code = clearCode;
  bool ended = false;  // end code met or data ran out
  bool full = full_;

  while (!full) {
    if (code == clearCode) {
      highWater_ = std::max(highWater_, freeCode);
      ResetTable();
      freeCode = freeCode_;
      codeSize = codeSize_;
      widthLimit = widthLimit_;
      do {
        code = readCode();
      } while (code == clearCode);
      if (code < 0) {
        ended = true;
        break;
      }
      if (code == endCode) {
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
      if (freeCode >= widthLimit) {
        widthLimit *= 2;
        ++codeSize;
      }
      previous = out;
      *out++ = std::uint8_t(code);
      if (out == end) full = true;
      if (!full) code = readCode();
      continue;
    }
    if (code < 0) {
      ended = true;
      break;
    }
    if (code == endCode) {
      if (!terminatorSeen_) SkipSubBlocks();
      ended = true;
      break;
    }
    if (code >= kTableSize) Error(_sCodeTooLarge);

    const int inCode = code;
    int trailing = -1;  // pixel after the string, for a code not yet in the table
    if (code >= freeCode) {
      trailing = firstPixel & 0xFF;
      code = oldCode;
    }
    const int len = length_[code];
    const int need = len + (trailing >= 0);
    std::uint8_t* const start = out;
    bool stacked = false;
    if (len == 1 && need <= end - out) {
      firstPixel = suffix_[code];
      out[0] = std::uint8_t(firstPixel);
      if (trailing >= 0) out[1] = std::uint8_t(trailing);
      out += need;
    } else if (len != 0 && need + 8 <= end - out) {
      // Whole words: the source ends at or before out, so what the string
      // needs is never overwritten; the bytes past it are written again
      // by the strings that follow (or put back at the end).
      const std::uint8_t* from = base + where_[code];
      std::uint8_t* to = out;
      for (int left = len; left > 0; left -= 8, from += 8, to += 8) {
        std::uint64_t word;
        std::memcpy(&word, from, 8);
        std::memcpy(to, &word, 8);
      }
      if (to > dirty) dirty = to;
      firstPixel = out[0];
      if (trailing >= 0) out[len] = std::uint8_t(trailing);
      out += need;
    } else if (len != 0 && need <= end - out) {
      std::uint8_t* p = out + len - 1;
      int c = code;
      while (c >= clearCode) {
        *p-- = suffix_[c];
        c = prefix_[c];
      }
      *p = suffix_[c];
      firstPixel = suffix_[c];
      if (trailing >= 0) out[len] = std::uint8_t(trailing);
      out += need;
    } else {
      if (trailing >= 0) Push(std::uint8_t(trailing));
      int c = code;
      while (c >= clearCode) {
        Push(suffix_[c]);
        if (prefix_[c] == c) Error(_sDecodeCircular);
        c = prefix_[c];
      }
      firstPixel = suffix_[c];
      Push(std::uint8_t(firstPixel));
      stacked = true;
    }

    if (freeCode < kTableSize) {
      prefix_[freeCode] = std::uint16_t(oldCode);
      suffix_[freeCode] = std::uint8_t(firstPixel);
      // Only a prefix defined before this entry gives a length we can trust.
      const int prefixLength = oldCode < freeCode ? length_[oldCode] : 0;
      length_[freeCode] = std::uint16_t(prefixLength != 0 ? prefixLength + 1 : 0);
      where_[freeCode] = std::int32_t(previous - base);
      ++freeCode;
      if (freeCode >= widthLimit && widthLimit < kTableSize) {
        widthLimit *= 2;
        ++codeSize;
      }
    }
    oldCode = inCode;
    previous = start;

    if (stacked) {
      out_ = out;
      const bool more = DrainStack();
      out = out_;
      if (!more) {
        full = true;
        break;
      }
    } else if (out == end) {
      full = true;
      break;
    }
    code = readCode();
  }

  // Bytes that word copies wrote ahead of the last string get the fill back.
  if (dirty > out) std::memset(out, fill_, std::size_t(dirty - out));
  out_ = out;
  if (ended) return;
  // Every pixel is stored. Well-formed data has the end code next; anything
  // else means the data holds more pixels than the frame. Either way the rest
  // of the sub-blocks belongs to this frame and is skipped, so that the next
  // block is read from its start.
  if (sp_ == 0) {
    code = readCode();
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
  // About 50 KB of tables: on the heap rather than the caller's stack.
  auto decoder = std::make_unique<Decoder>(*this, stream, fill);
  if (!GetInterlaced() || DataSize == 0) {
    decoder->Run(minCodeSize, Data.get(), DataSize);
    return;
  }
  // Interlaced: the rows arrive in pass order (rows 0, 8, 16, ...; 4, 12,
  // ...; 2, 6, ...; 1, 3, ...). They are decoded in that order into a
  // scratch frame and then put in place; rows the data does not reach keep
  // the fill value.
  std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow)
                                              std::uint8_t[std::size_t(DataSize)]);
  if (!scratch) Error(_sOutOfMemImage);
  const std::size_t width = std::size_t(GetWidth());
  const int height = GetHeight();
  auto scatter = [&] {
    std::size_t left = std::size_t(decoder->Written());
    const std::uint8_t* from = scratch.get();
    static const int kStep[4] = {8, 8, 4, 2};
    static const int kStart[4] = {0, 4, 2, 1};
    for (int pass = 0; pass < 4 && left > 0; ++pass) {
      for (int row = kStart[pass]; row < height && left > 0; row += kStep[pass]) {
        const std::size_t n = std::min(width, left);
        std::memcpy(Data.get() + std::size_t(row) * width, from, n);
        from += n;
        left -= n;
      }
    }
  };
  try {
    decoder->Run(minCodeSize, scratch.get(), DataSize);
  } catch (...) {
    scatter();  // what was decoded before the failure
    throw;
  }
  scatter();
}

}  // namespace velmora
