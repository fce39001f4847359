// The LZW decoder of GIF image data, on its own: it knows sub-blocks and
// codes, and nothing of frames, images or streams. TGIFSubImage::Decompress
// adapts it to the model (the fill value of transparent frames, interlaced
// rows, the image's warnings and errors); the LZW fuzz target drives it
// alone.
//
// The contract:
// - Input: the sub-blocks that follow the minimum code size byte (a length
//   byte, then that many bytes, up to a length of 0), read through
//   TLzwInput. On return the input stands after the terminator, or at its
//   end when the data was cut; data that holds more pixels than the target
//   is skipped to its terminator all the same, so that whatever follows is
//   read from its start.
// - Output: indices into target, in the order of the data (rows of an
//   interlaced frame in pass order), at most size of them; the first
//   Written() come from the data. The decoder may write ahead of them and
//   puts fill back there, also after an error, so the rest of a target the
//   caller filled with fill keeps it.
// - Result: TLzwResult::Ok, or the error that stopped the decoding. Written()
//   and Warnings() hold what came before an error. Exceptions of the input
//   pass through; Written() then counts the strings stored before it.
// - Warnings: oddities the decoder got past, in the order met.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

// What a decoding came to: Ok, a warning (the decoding went on) or an
// error (it stopped). LzwResultText gives each its message.
enum class TLzwResult {
  Ok,
  // Warnings.
  DataCut,     // the input ended inside the data (no terminator)
  CodesEarly,  // the terminator came before the end code, pixels missing
  // Errors.
  ClearCodeTooLarge,  // a minimum code size above 11
  CodeTooLarge,       // a code above the 12-bit table
  CircularEntry,      // a prefix chain that loops or exceeds the stack
};

const char* LzwResultText(TLzwResult result);
constexpr bool LzwIsError(TLzwResult result) {
  return result >= TLzwResult::ClearCodeTooLarge;
}

// Where the decoder reads the sub-blocks from.
class TLzwInput {
 public:
  virtual ~TLzwInput() = default;
  // Reads up to count bytes into to; fewer only at the end of the input.
  virtual std::int64_t Read(std::uint8_t* to, std::int64_t count) = 0;
  // Passes over count bytes (or to the end of the input).
  virtual void Skip(std::int64_t count) = 0;
};

// Input from bytes in memory.
class TLzwBytes : public TLzwInput {
 public:
  TLzwBytes(const std::uint8_t* data, std::int64_t size) : data_(data), size_(size) {}
  std::int64_t Read(std::uint8_t* to, std::int64_t count) override;
  void Skip(std::int64_t count) override;
  // Bytes read or passed over so far.
  std::int64_t Consumed() const { return position_; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  std::int64_t position_ = 0;
};

class TLzwDecoder {
 public:
  TLzwDecoder();
  ~TLzwDecoder();
  TLzwDecoder(const TLzwDecoder&) = delete;
  TLzwDecoder& operator=(const TLzwDecoder&) = delete;

  // Decodes the data of a frame into size bytes at target (filled with
  // fill by the caller).
  TLzwResult Decode(TLzwInput& input, int minCodeSize, std::uint8_t* target,
                    std::int64_t size, std::uint8_t fill);
  // Indices stored from the data by the last Decode.
  std::int64_t Written() const;
  // The warnings of the last Decode.
  const std::vector<TLzwResult>& Warnings() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;  // about 60 KB of tables: on the heap
};

}  // namespace velmora
