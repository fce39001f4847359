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
// Most codes take the fast loop (FastRun), which keeps its state in
// registers and has one test for everything it does not handle: a code
// without a trusted string (the clear and end codes, entries not yet
// defined, damaged ones), a string that comes near the frame's end, a code
// that needs the next sub-block. Those leave the loop, and the general steps
// (Decode) take the code as they always have; the loop is entered again
// after them.
#include "gif/GIFDecoder.h"

#include <algorithm>
#include <cstring>

#include "gif/GIFMessages.h"

namespace velmora {

namespace {

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
struct RootPixels {
  std::uint8_t pixel[2048 + kLongest];
  constexpr RootPixels() : pixel() {
    for (int i = 0; i < 2048 + kLongest; ++i) pixel[i] = std::uint8_t(i);
  }
};
constexpr RootPixels kRootPixels;

// Copies one word: the compiler makes it one load and one store.
[[gnu::always_inline]] inline void CopyWord(std::uint8_t* to, const std::uint8_t* from) {
  std::uint8_t word[kWord];
  std::memcpy(word, from, kWord);
  std::memcpy(to, word, kWord);
}

// An error: unwinds to TLzwDecoder::Decode, which returns it.
struct Failure {
  TLzwResult result;
};
[[noreturn, gnu::noinline, gnu::cold]] void Fail(TLzwResult result) {
  throw Failure{result};
}

// One byte of the input; false at its end.
bool ReadByte(TLzwInput& input, std::uint8_t& b) {
  return input.Read(&b, 1) == 1;
}

class Decoder {
 public:
  Decoder(TLzwInput& input, std::uint8_t fill) : input_(input), fill_(fill) {}

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

void Decoder::SkipSubBlocks() {
  std::uint8_t length;
  while (ReadByte(input_, length) && length != 0) input_.Skip(length);
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

// A code that needs bits of the next sub-blocks, or the end of the data.
int Decoder::ReadCodeSlow(int bits) {
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
Decoder::Loop Decoder::Start(int minCodeSize, std::uint8_t* target, std::int64_t size) {
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

int Decoder::ReadCode(Loop& s) {
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

bool Decoder::AtEnd(const Loop& s, int code) {
  if (code < 0) return true;
  if (code != s.endCode) return false;
  if (!terminatorSeen_) SkipSubBlocks();
  return true;
}

int Decoder::AfterClear(Loop& s) {
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

bool Decoder::FirstString(Loop& s, int code) {
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

bool Decoder::NextString(Loop& s, int code) {
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

bool Decoder::StoreString(Loop& s, int code, int trailing) {
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

void Decoder::CopyWritten(Loop& s, int code, int len) {
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

void Decoder::CopyBytes(Loop& s, int code, int len) {
  // The source ends at or before out: the two don't overlap.
  const std::uint8_t* from = where_[code];
  std::memcpy(s.out, from, std::size_t(len));
  s.firstPixel = from[0];
}

void Decoder::PushString(Loop& s, int code, int trailing) {
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

void Decoder::AddEntry(Loop& s) {
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

bool Decoder::Drain(Loop& s) {
  out_ = s.out;
  const bool more = DrainStack();
  s.out = out_;
  return more;
}

void Decoder::Finish(Loop& s, bool ended) {
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

void Decoder::Run(int minCodeSize, std::uint8_t* target, std::int64_t size) {
  Loop s = Start(minCodeSize, target, size);
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

bool Decoder::FastReady(const Loop& s) const {
  if (s.end - s.out <= kLongest) return false;
  if (s.freeCode >= kTableSize) return true;
  return s.oldCode < s.freeCode && length_[s.oldCode] != 0;
}

template <bool kFull, bool kLong>
int Decoder::FastRun(Loop& s, int firstCode) {
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

void Decoder::Decode(Loop& s) {
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

}  // namespace

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
  Decoder decoder;
};

TLzwDecoder::TLzwDecoder() = default;
TLzwDecoder::~TLzwDecoder() = default;

TLzwResult TLzwDecoder::Decode(TLzwInput& input, int minCodeSize, std::uint8_t* target,
                               std::int64_t size, std::uint8_t fill) {
  // A fresh decoder each time: every table and the bit reader start empty.
  impl_ = std::make_unique<Impl>(input, fill);
  try {
    impl_->decoder.Run(minCodeSize, target, size);
  } catch (const Failure& failure) {
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
