// The LZW decoder's working parts, shared by its general steps
// (GIFDecoder.cpp) and its fast loop (GIFDecoderFast.cpp); the decoder's
// contract is in GIFDecoder.h. For those two files only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gif/GIFDecoder.h"

namespace velmora::lzw {

constexpr int kTableSize = 4096;
constexpr int kStackSize = 8192;
// The fast loop's strings are copied in words of this size, one or two at
// a time (kLongest: as far as it ever writes past a string's end).
constexpr int kWord = 16;
constexpr int kLongest = 2 * kWord;
// Strings this long on average over a sub-block are copied two words at a
// time.
constexpr std::size_t kLongString = 8;

// The pixel of each root code (its low 8 bits), with slack after the last
// for the words copied, so that a root code's string is copied as any other.
struct TRootPixels {
  std::uint8_t pixel[2048 + kLongest];
  constexpr TRootPixels() : pixel() {
    for (int i = 0; i < 2048 + kLongest; ++i) pixel[i] = std::uint8_t(i);
  }
};
inline constexpr TRootPixels kRootPixels;

// Copies one word: the compiler makes it one load and one store.
[[gnu::always_inline]] inline void CopyWord(std::uint8_t* to, const std::uint8_t* from) {
  std::uint8_t word[kWord];
  std::memcpy(word, from, kWord);
  std::memcpy(to, word, kWord);
}

// An error: unwinds to TLzwDecoder::Decode, which returns it.
struct TFailure {
  TLzwResult result;
};
[[noreturn, gnu::noinline, gnu::cold]] void Fail(TLzwResult result);

class TDecoder {
 public:
  TDecoder(TLzwInput& input, std::uint8_t fill) : input_(input), fill_(fill) {}

  // Decodes into `size` bytes at `target`, in the order of the data.
  void Run(int minCodeSize, std::uint8_t* target, std::int64_t size);
  // Pixels stored from the data.
  std::int64_t Written() const { return out_ - base_; }
  const std::vector<TLzwResult>& Warnings() const { return warnings_; }

 private:
  static constexpr int kRanOut = -1;
  // Returned by FastRun when it has not read the next code.
  static constexpr int kNoCode = -2;

  // The decoding loop's state. Run holds it by value and the steps of the
  // loop take it by reference and are always inlined, so it lives in
  // registers: kept in members, every pixel stored through a byte pointer
  // could alias them and force them to be read again. The members it
  // mirrors are brought up to date around the calls that use them.
  struct Loop {
    const int clearCode, endCode;
    std::uint8_t* const base;  // the frame's first pixel
    std::uint8_t* const end;   // end of the target
    std::uint8_t* out;         // next pixel
    std::uint8_t* dirty;       // end of bytes written ahead by word copies
    std::uint8_t* previous;    // where the previous string starts
    int freeCode, codeSize, widthLimit;
    int bit, lastBit;  // bit reader: next unread bit, end of the valid bits
    int firstPixel = 0;
    int oldCode = 0;
    // The code FastRun last returned is one it left for the general steps.
    bool leftByFastRun = false;
    // Strings have been long: FastRun copies two words at a time.
    bool longStrings = false;
  };
  // The steps of Run, in the order they come up.
  [[gnu::always_inline]] inline Loop Start(int minCodeSize, std::uint8_t* target,
                                           std::int64_t size);
  [[gnu::always_inline]] inline int ReadCode(Loop& s);
  // True when `code` ends the data: no code left, or the end code (whose
  // remaining sub-blocks are skipped).
  [[gnu::always_inline]] inline bool AtEnd(const Loop& s, int code);
  // Resets the tables and returns the first code that isn't a clear code.
  [[gnu::always_inline]] inline int AfterClear(Loop& s);
  // The string of the first code after a clear, and of each code after it.
  // False when the frame is full.
  [[gnu::always_inline]] inline bool FirstString(Loop& s, int code);
  [[gnu::always_inline]] inline bool NextString(Loop& s, int code);
  // Writes the string of `code` and `trailing` (if not negative) into the
  // frame, or pushes them onto the expansion stack: false then.
  [[gnu::always_inline]] inline bool StoreString(Loop& s, int code, int trailing);
  // Its routes for a string of trusted length `len`: copied from where the
  // entry's string was written, in whole words or byte by byte; and for any
  // string, the expansion stack.
  [[gnu::always_inline]] inline void CopyWritten(Loop& s, int code, int len);
  [[gnu::always_inline]] inline void CopyBytes(Loop& s, int code, int len);
  [[gnu::always_inline]] inline void PushString(Loop& s, int code, int trailing);
  [[gnu::always_inline]] inline void AddEntry(Loop& s);
  [[gnu::always_inline]] inline bool Drain(Loop& s);
  [[gnu::always_inline]] inline void Finish(Loop& s, bool ended);
  // The loop of Run.
  [[gnu::always_inline]] inline void Decode(Loop& s);
  // Whether FastRun can take the next code: room for its words before the
  // frame's end and, while entries are added, a previous string of trusted
  // length to make the next one of.
  [[gnu::always_inline]] inline bool FastReady(const Loop& s) const;
  // Decodes `code` and those after it while they have trusted strings that
  // end the words it copies before the frame's end, reading sub-blocks as
  // they are needed. Returns the code it stopped at, not decoded, or kNoCode
  // when the next code is not read yet (the data ends or a sub-block is
  // cut, the table just filled, or the strings' lengths call for the other
  // kind of copy). kFull: the table is full, so no entries are added.
  // kLong: strings are copied two words at a time (one word for short
  // strings writes less, two for long ones take fewer branches, which
  // their varying lengths make hard to predict).
  template <bool kFull, bool kLong>
  [[gnu::noinline]] int FastRun(Loop& s, int firstCode);

  // The bit reader's slow path (its fast path is ReadCode): a code that needs
  // further sub-blocks, or the end of the data.
  int ReadCodeSlow(int bits);
  bool ReadSubBlock();
  void SkipSubBlocks();
  void ResetTable();
  // Writes the stack's pixels into the frame; false when the frame is full.
  bool DrainStack();
  void Push(std::uint8_t pixel) {
    if (sp_ >= kStackSize) Fail(TLzwResult::CircularEntry);
    stack_[sp_++] = pixel;
  }

  TLzwInput& input_;
  const std::uint8_t fill_;  // value of the pixels the data does not reach
  std::vector<TLzwResult> warnings_;

  // Table: for each code the code of its string without the last pixel, the
  // last pixel, and the string's length (0: walk the chain to find out).
  // Prefix and last pixel are kept only for entries of untrusted length:
  // the chain of those is walked up to the first entry of trusted length.
  std::uint16_t prefix_[kTableSize];
  std::uint8_t suffix_[kTableSize];
  std::uint16_t length_[kTableSize + 1];
  // Where the string of each entry of trusted length stands: in the frame
  // where it was written, or for a root code in kRootPixels.
  const std::uint8_t* where_[kTableSize + 1];
  // (FastRun makes the entry after the next one ahead: the last slot takes
  // the one after the table's end.)
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
  bool endedUnsaid_ = false;  // ... and no warning has said so yet

  // Output position.
  std::uint8_t* base_ = nullptr;  // the frame's first pixel
  std::uint8_t* out_ = nullptr;   // next pixel
  std::uint8_t* end_ = nullptr;   // end of the target
  bool full_ = false;
};

// One byte of the input; false at its end.
inline bool ReadByte(TLzwInput& input, std::uint8_t& b) {
  return input.Read(&b, 1) == 1;
}

// Appends the next sub-block to the unread bytes; false when the data has
// ended (terminator or end of stream).
inline bool TDecoder::ReadSubBlock() {
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
  if (!ReadByte(input_, length)) {
    streamEnded_ = true;
    endedUnsaid_ = true;
    return false;
  }
  if (length == 0) {
    terminatorSeen_ = true;
    return false;
  }
  const std::int64_t got = input_.Read(buffer_ + lastByte_, length);
  if (got < length) {
    warnings_.push_back(TLzwResult::DataCut);
    streamEnded_ = true;
  }
  lastByte_ += int(got);
  lastBit_ = lastByte_ * 8;
  std::memset(buffer_ + lastByte_, 0, 4);
  return got > 0;
}

}  // namespace velmora::lzw
