// The packed stroke-order data (data/strokes.bin): for each character the
// outline and the median line of every stroke, in the order they are written.
// scripts/pack-strokes.js writes the file and describes its layout. Opening
// reads only the header and the index; a lookup reads one character's record.
// A damaged file raises EStrokeData, never reads outside what it holds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/classes/SysUtils.h"

namespace velmora {

class EStrokeData : public Exception {
  using Exception::Exception;
};

// Coordinates are units of a box of StrokeBoxSize, y pointing down.
constexpr int StrokeBoxSize = 1024;

struct TStrokePoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TStrokePoint&) const = default;
};

enum class TStrokeSegmentKind : std::uint8_t { Line = 1, Quadratic = 2, Cubic = 3 };

// One piece of an outline, from where the previous one ended.
struct TStrokeSegment {
  TStrokeSegmentKind Kind = TStrokeSegmentKind::Line;
  TStrokePoint Points[3];  // 1, 2 or 3 of them, as the kind says; the last is the end
  int PointCount() const { return int(Kind); }
};

struct TStroke {
  // One closed figure: from Start through the segments and back to Start.
  TStrokePoint Start;
  std::vector<TStrokeSegment> Segments;
  // The line along which the stroke is written, from its first point on.
  std::vector<TStrokePoint> Median;
};

struct TCharacterStrokes {
  char32_t CodePoint = 0;
  std::vector<TStroke> Strokes;
};

// Decodes one character's record (the bytes between two index offsets).
// Raises EStrokeData when it is damaged: cut short, counts beyond reason,
// bytes left over.
TCharacterStrokes DecodeStrokeRecord(char32_t codePoint, const std::uint8_t* data,
                                     std::size_t size);

class TStrokeData {
 public:
  // Opens a packed file; raises EStrokeData when it cannot be read or its
  // header or index is damaged.
  static TStrokeData Open(const std::string& path);
  // The same from bytes already in memory (tests, fuzzing).
  static TStrokeData FromBytes(std::string bytes);

  TStrokeData(TStrokeData&&) noexcept;
  TStrokeData& operator=(TStrokeData&&) noexcept;
  ~TStrokeData();

  std::size_t Count() const { return index_.size(); }
  // The code points that have strokes, ascending.
  std::vector<char32_t> CodePoints() const;
  bool Contains(char32_t codePoint) const;
  // The strokes of one character, nothing when the file has none for it.
  // Raises EStrokeData when its record is damaged or cannot be read.
  // Not safe to call from two threads at once.
  std::optional<TCharacterStrokes> Find(char32_t codePoint) const;

 private:
  struct TEntry {
    std::uint32_t CodePoint;
    std::uint32_t Offset;
  };
  struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  TStrokeData() = default;
  void ReadIndex(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize);
  std::vector<std::uint8_t> ReadAt(std::uint32_t offset, std::uint32_t size) const;

  std::string name_;  // for messages
  std::unique_ptr<std::FILE, TFileCloser> file_;
  std::string bytes_;  // when made from memory
  std::vector<TEntry> index_;
  std::uint32_t end_ = 0;
};

// The first code point of UTF-8 text, when the text is exactly one
// character; nothing otherwise (empty, several characters, bad UTF-8).
std::optional<char32_t> SingleCodePoint(const std::string& utf8);

}  // namespace velmora
