// The writing side: header, colour tables, frames with LZW-encoded data,
// extensions and trailer. It writes what the model holds, without optimising.
#include <algorithm>
#include <cstring>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/GIFOptimize.h"

namespace velmora {

namespace {

void WriteByte(TStream& stream, std::uint8_t b) {
  stream.WriteBuffer(&b, 1);
}

// Collects bytes into data sub-blocks of up to 255 bytes.
class SubBlockWriter {
 public:
  explicit SubBlockWriter(TStream& stream) : stream_(stream) {}
  void Put(std::uint8_t b) {
    block_[1 + used_++] = b;
    if (used_ == 255) Flush();
  }
  void Flush() {
    if (used_ == 0) return;
    block_[0] = std::uint8_t(used_);
    stream_.WriteBuffer(block_, used_ + 1);
    used_ = 0;
  }

 private:
  TStream& stream_;
  std::uint8_t block_[256];
  int used_ = 0;
};

class BitWriter {
 public:
  explicit BitWriter(TStream& stream) : blocks_(stream) {}
  void Put(int code, int bits) {
    acc_ |= std::uint32_t(code) << count_;
    count_ += bits;
    while (count_ >= 8) {
      blocks_.Put(std::uint8_t(acc_));
      acc_ >>= 8;
      count_ -= 8;
    }
  }
  void Finish() {
    if (count_ > 0) blocks_.Put(std::uint8_t(acc_));
    acc_ = 0;
    count_ = 0;
    blocks_.Flush();
  }

 private:
  SubBlockWriter blocks_;
  std::uint32_t acc_ = 0;
  int count_ = 0;
};

// LZW encoder with an open-addressed table of (prefix code, pixel) pairs.
class Encoder {
 public:
  Encoder(TStream& stream, int minCodeSize, bool keepFull)
      : bits_(stream),
        minCodeSize_(minCodeSize),
        clear_(1 << minCodeSize),
        keepFull_(keepFull) {}

  // A full table is cleared at once, or with keepFull kept (the reader then
  // adds nothing until the next clear code) for as long as it codes the
  // pixels at least as well as it did while it filled; when a stretch of
  // pixels costs more, it is cleared to learn them afresh.
  template <class NextPixel>
  void Encode(std::int64_t count, NextPixel next) {
    constexpr std::int64_t kStretch = 4096;
    Reset();
    bits_.Put(clear_, codeSize_);
    if (count > 0) {
      int prefix = next();
      bool full = false;
      std::int64_t pixels = 1, bits = 0;  // since the clear, or in the stretch
      double fillCost = 0;                // bits per pixel while the table filled
      for (std::int64_t i = 1; i < count; ++i) {
        const int pixel = next();
        ++pixels;
        const std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(pixel);
        std::uint32_t slot = Hash(key);
        while (keys_[slot] != kEmpty && keys_[slot] != key) slot = (slot + 1) & kMask;
        if (keys_[slot] == key) {
          prefix = codes_[slot];
          continue;
        }
        bits_.Put(prefix, codeSize_);
        bits += codeSize_;
        ++sinceClear_;
        prefix = pixel;
        if (full) {
          if (pixels < kStretch) continue;
          if (double(bits) > fillCost * double(pixels)) {
            bits_.Put(clear_, codeSize_);
            Reset();
            full = false;
          }
          pixels = 1;
          bits = 0;
          continue;
        }
        keys_[slot] = key;
        codes_[slot] = std::uint16_t(free_++);
        // The reader widens its codes one entry later than we add them.
        if (free_ > (1 << codeSize_) && codeSize_ < 12) ++codeSize_;
        if (free_ == 4096) {
          if (keepFull_) {
            full = true;
            fillCost = double(bits) / double(pixels);
          } else {
            bits_.Put(clear_, codeSize_);
            Reset();
          }
          pixels = 1;
          bits = 0;
        }
      }
      bits_.Put(prefix, codeSize_);
      // The reader adds an entry for every code but the first after a clear,
      // and may widen before it reads the end code.
      if (++sinceClear_ >= 2 && free_ >= (1 << codeSize_) && codeSize_ < 12) ++codeSize_;
    }
    bits_.Put(clear_ + 1, codeSize_);
    bits_.Finish();
  }

  // Encodes count pixels as Encode does with the table cleared when full,
  // where pixel i may be pixels[i] or, where flexible[i], other[i] alike:
  // takes the one that continues the string being matched; where neither
  // does, the one that begins a known string with the pixel after it, else
  // the one the pixel before took. Writes the choice back into pixels.
  void Choose(std::int64_t count, std::uint8_t* pixels, const std::uint8_t* other,
              const std::uint8_t* flexible) {
    Reset();
    if (count <= 0) return;
    auto known = [&](int prefix, int pixel) {
      const std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(pixel);
      return keys_[Find(key)] == key;
    };
    // Whether a string starting with value at i is known to go on.
    auto begins = [&](std::int64_t i, int value) {
      return i + 1 < count && (known(value, pixels[i + 1]) ||
                               (flexible[i + 1] && known(value, other[i + 1])));
    };
    int prefix = pixels[0];
    for (std::int64_t i = 1; i < count; ++i) {
      int pixel = pixels[i];
      std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(pixel);
      std::uint32_t slot = Find(key);
      if (keys_[slot] != key && flexible[i]) {
        const std::uint32_t otherKey = (std::uint32_t(prefix) << 8) | other[i];
        const std::uint32_t otherSlot = Find(otherKey);
        const bool otherBegins = begins(i, other[i]);
        if (keys_[otherSlot] == otherKey || (otherBegins && !begins(i, pixel)) ||
            (pixels[i - 1] == other[i] && (otherBegins || !begins(i, pixel)))) {
          pixel = other[i];
          pixels[i] = other[i];
          key = otherKey;
          slot = otherSlot;
        }
      }
      if (keys_[slot] == key) {
        prefix = codes_[slot];
        continue;
      }
      prefix = pixel;
      keys_[slot] = key;
      codes_[slot] = std::uint16_t(free_++);
      if (free_ == 4096) Reset();
    }
  }

 private:
  std::uint32_t Find(std::uint32_t key) const {
    std::uint32_t slot = Hash(key);
    while (keys_[slot] != kEmpty && keys_[slot] != key) slot = (slot + 1) & kMask;
    return slot;
  }

  static constexpr std::uint32_t kSlots = 8192;
  static constexpr std::uint32_t kMask = kSlots - 1;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  static std::uint32_t Hash(std::uint32_t key) { return (key * 2654435761u) >> 19; }

  void Reset() {
    std::fill(std::begin(keys_), std::end(keys_), kEmpty);
    codeSize_ = minCodeSize_ + 1;
    free_ = clear_ + 2;
    sinceClear_ = 0;
  }

  BitWriter bits_;
  int minCodeSize_;
  int clear_;
  bool keepFull_;
  int codeSize_ = 0;
  int free_ = 0;
  int sinceClear_ = 0;
  std::uint32_t keys_[kSlots];
  std::uint16_t codes_[kSlots];
};

// Counts what is written, for sizing alternatives without storing them.
class TCountingStream : public TStream {
 public:
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t count) override {
    size_ += count;
    return count;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return size_; }
  std::int64_t Size() const { return size_; }

 private:
  std::int64_t size_ = 0;
};

// Fewer pixels than this never fill the code table, so how a full one is
// handled doesn't matter.
constexpr std::int64_t kTableFills = 4096;

int MinCodeSize(const std::uint8_t* data, std::int64_t count) {
  std::uint8_t highest = 0;
  for (std::int64_t i = 0; i < count; ++i) highest = std::max(highest, data[i]);
  int minCodeSize = 2;
  while ((1 << minCodeSize) <= highest) ++minCodeSize;
  return minCodeSize;
}

std::uint8_t TableSizeBits(const TGIFColorMap& map) {
  return std::uint8_t(std::max(map.GetBitsPerPixel(), 1) - 1);
}

}  // namespace

void TGIFColorMap::SaveToStream(TStream& stream) const {
  if (count_ == 0) return;
  const int entries = 1 << std::max(GetBitsPerPixel(), 1);
  std::vector<TGIFColor> table(static_cast<std::size_t>(entries));
  std::memcpy(table.data(), colors_.get(), std::size_t(count_) * 3);
  stream.WriteBuffer(table.data(), std::int64_t(entries) * 3);
}

void TGIFHeader::Prepare() {
  std::uint8_t& packed = LogicalScreenDescriptor.PackedFields;
  packed &= lsdColorResolution;
  if (ColorMap->GetCount() > 0) {
    packed |= lsdGlobalColorTable | TableSizeBits(*ColorMap);
    if (ColorMap->GetOptimized()) packed |= lsdSort;
  }
}

void TGIFHeader::SaveToStream(TStream& stream) {
  TGIFVersion version = Image ? Image->GetVersion() : GetVersion();
  if (version == gvUnknown) Error(_sBadVersion);
  stream.WriteBuffer("GIF", 3);
  stream.WriteBuffer(GIFVersions[version], 3);
  Prepare();
  stream.WriteBuffer(&LogicalScreenDescriptor, 7);
  ColorMap->SaveToStream(stream);
}

void TGIFSubImage::Compress(TStream& stream) const {
  const int width = GetWidth();
  const int height = GetHeight();
  const std::uint8_t* data = Data.get();
  const std::int64_t count = data ? std::int64_t(width) * height : 0;
  const int minCodeSize = MinCodeSize(data, count);
  WriteByte(stream, std::uint8_t(minCodeSize));

  auto encode = [&](TStream& out, bool keepFull) {
    auto encoder = std::make_unique<Encoder>(out, minCodeSize, keepFull);
    if (!GetInterlaced()) {
      std::int64_t i = 0;
      encoder->Encode(count, [&] { return data[i++]; });
      return;
    }
    // Rows in the order of the four interlace passes.
    static const int kStep[4] = {8, 8, 4, 2};
    static const int kStart[4] = {0, 4, 2, 1};
    int pass = 0, row = 0, x = 0;
    encoder->Encode(count, [&] {
      const std::uint8_t pixel = data[std::int64_t(row) * width + x];
      if (++x == width) {
        x = 0;
        row += kStep[pass];
        while (row >= height && pass < 3) row = kStart[++pass];
      }
      return pixel;
    });
  };
  if (count < kTableFills) {
    encode(stream, false);
  } else {
    // Whether keeping a full table pays depends on the picture: both ways,
    // and the smaller one written.
    TMemoryStream cleared, kept;
    encode(cleared, false);
    encode(kept, true);
    const TMemoryStream& best = kept.GetSize() < cleared.GetSize() ? kept : cleared;
    stream.WriteBuffer(best.Memory(), std::int64_t(best.Bytes().size()));
  }
  WriteByte(stream, 0);  // block terminator
}

std::int64_t GIFCompressedSize(const std::uint8_t* indices, int width, int height) {
  const std::int64_t count = std::int64_t(width) * height;
  const int minCodeSize = MinCodeSize(indices, count);
  std::int64_t best = -1;
  for (bool keepFull : {false, true}) {
    TCountingStream stream;
    auto encoder = std::make_unique<Encoder>(stream, minCodeSize, keepFull);
    std::int64_t i = 0;
    encoder->Encode(count, [&] { return indices[i++]; });
    if (best < 0 || stream.Size() + 1 < best) best = stream.Size() + 1;
    if (count < kTableFills) break;
  }
  return best;
}

void GIFChooseForLZW(std::uint8_t* indices, const std::uint8_t* other,
                     const std::uint8_t* flexible, int width, int height) {
  const std::int64_t count = std::int64_t(width) * height;
  int minCodeSize = MinCodeSize(indices, count);
  for (std::int64_t i = 0; i < count; ++i)
    if (flexible[i]) minCodeSize = std::max(minCodeSize, MinCodeSize(other + i, 1));
  TCountingStream none;
  auto encoder = std::make_unique<Encoder>(none, minCodeSize, false);
  encoder->Choose(count, indices, other, flexible);
}

void TGIFSubImage::SaveToStream(TStream& stream) {
  Extensions->SaveToStream(stream);
  if (GetWidth() == 0 || GetHeight() == 0) return;  // extensions only
  TImageDescriptor descriptor = ImageDescriptor;
  descriptor.Separator = 0x2C;
  descriptor.PackedFields &= std::uint8_t(idInterlaced | 0x18);
  if (ColorMap->GetCount() > 0) {
    descriptor.PackedFields |= idLocalColorTable | TableSizeBits(*ColorMap);
    if (ColorMap->GetOptimized()) descriptor.PackedFields |= idSort;
  }
  stream.WriteBuffer(&descriptor, 10);
  ColorMap->SaveToStream(stream);
  Compress(stream);
}

void TGIFTrailer::SaveToStream(TStream& stream) {
  WriteByte(stream, 0x3B);
}

void TGIFImage::SaveToStream(TStream& stream) {
  Header->SaveToStream(stream);
  Images->SaveToStream(stream);
  TGIFTrailer trailer(this);
  trailer.SaveToStream(stream);
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
  SaveHeader(stream);
  stream.WriteBuffer(&GCData, 6);
}

void TGIFTextExtension::SaveToStream(TStream& stream) {
  SaveHeader(stream);
  stream.WriteBuffer(&PlainTextBlock, 13);
  WriteSubBlockStrings(stream, Text);
}

void TGIFCommentExtension::SaveToStream(TStream& stream) {
  SaveHeader(stream);
  WriteSubBlockStrings(stream, Text);
}

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
  SaveHeader(stream);
  WriteByte(stream, 11);
  stream.WriteBuffer(ApplicationData.Identifier.data(), 8);
  stream.WriteBuffer(ApplicationData.Authentication.data(), 3);
  SaveData(stream);
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
  const std::uint8_t loops[4] = {3, 1, std::uint8_t(Loops), std::uint8_t(Loops >> 8)};
  stream.WriteBuffer(loops, 4);
  if (BufferSize != 0) {
    const std::uint8_t buffer[6] = {5,
                                    2,
                                    std::uint8_t(BufferSize),
                                    std::uint8_t(BufferSize >> 8),
                                    std::uint8_t(BufferSize >> 16),
                                    std::uint8_t(BufferSize >> 24)};
    stream.WriteBuffer(buffer, 6);
  }
  WriteByte(stream, 0);
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
  for (const auto& block : Blocks) {
    WriteByte(stream, std::uint8_t(block->Data.size()));
    stream.WriteBuffer(block->Data.data(), std::int64_t(block->Data.size()));
  }
  WriteByte(stream, 0);
}

}  // namespace velmora
