#include "strokes/StrokeData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

constexpr char Magic[8] = {'V', 'L', 'M', 'S', 'T', 'R', 'K', '1'};
constexpr std::size_t HeaderSize = 16;
// Bounds well above anything in the data, so that a damaged count fails
// cleanly instead of asking for gigabytes.
constexpr std::uint64_t MostStrokes = 255;
constexpr std::uint64_t MostSegments = 4096;
constexpr std::uint64_t MostMedianPoints = 4096;
constexpr std::uint32_t MostRecordSize = 1 << 20;
constexpr int MostCoordinate = 16 * StrokeBoxSize;
// One entry a code point at most: the code points ascend and end at U+10FFFF.
constexpr std::uint32_t MostEntries = 0x110000;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

std::string Hex(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", unsigned(c));
  return text;
}

class TRecordReader {
 public:
  TRecordReader(char32_t codePoint, const std::uint8_t* data, std::size_t size)
      : codePoint_(codePoint), p_(data), end_(data + size) {}

  [[noreturn]] void Fail(const char* what) const {
    throw EStrokeData("stroke data for " + Hex(codePoint_) + " is damaged: " + what);
  }
  std::uint8_t Byte() {
    if (p_ == end_) Fail("the record ends early");
    return *p_++;
  }
  std::uint64_t Varint() {
    std::uint64_t n = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const std::uint8_t b = Byte();
      n |= std::uint64_t(b & 0x7f) << shift;
      if (!(b & 0x80)) return n;
    }
    Fail("a number is too long");
  }
  std::uint64_t Count(std::uint64_t least, std::uint64_t most, const char* what) {
    const std::uint64_t n = Varint();
    if (n < least || n > most) Fail(what);
    return n;
  }
  int Signed() {
    const std::uint64_t z = Varint();
    const std::int64_t v = (z & 1) ? -std::int64_t(z >> 1) - 1 : std::int64_t(z >> 1);
    if (v < -MostCoordinate || v > MostCoordinate) Fail("a coordinate is out of range");
    return int(v);
  }
  TStrokePoint Point(TStrokePoint& last) {
    const int x = last.X + Signed();
    const int y = last.Y + Signed();
    if (std::abs(x) > MostCoordinate || std::abs(y) > MostCoordinate)
      Fail("a coordinate is out of range");
    last = {x, y};
    return last;
  }
  bool AtEnd() const { return p_ == end_; }

 private:
  char32_t codePoint_;
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

}  // namespace

TCharacterStrokes DecodeStrokeRecord(char32_t codePoint, const std::uint8_t* data,
                                     std::size_t size) {
  TRecordReader in(codePoint, data, size);
  TCharacterStrokes result;
  result.CodePoint = codePoint;
  const auto strokes = in.Count(1, MostStrokes, "the stroke count is out of range");
  result.Strokes.resize(std::size_t(strokes));
  for (TStroke& stroke : result.Strokes) {
    const auto segments = in.Count(1, MostSegments, "a segment count is out of range");
    stroke.Segments.resize(std::size_t(segments));
    for (std::size_t k = 0; k < segments; k += 4) {
      const std::uint8_t kinds = in.Byte();
      for (std::size_t j = 0; j < 4; ++j) {
        const int kind = (kinds >> (2 * j)) & 3;
        if (k + j >= segments) {
          if (kind != 0) in.Fail("unused segment kinds are set");
          continue;
        }
        if (kind == 0) in.Fail("a segment has no kind");
        stroke.Segments[k + j].Kind = TStrokeSegmentKind(kind);
      }
    }
    TStrokePoint last;
    stroke.Start = in.Point(last);
    for (TStrokeSegment& segment : stroke.Segments)
      for (int i = 0; i < segment.PointCount(); ++i) segment.Points[i] = in.Point(last);
    const auto medians = in.Count(1, MostMedianPoints, "a median count is out of range");
    stroke.Median.resize(std::size_t(medians));
    last = {};
    for (TStrokePoint& p : stroke.Median) p = in.Point(last);
  }
  if (!in.AtEnd()) in.Fail("bytes are left over after the last stroke");
  return result;
}

TStrokeData::TStrokeData(TStrokeData&&) noexcept = default;
TStrokeData& TStrokeData::operator=(TStrokeData&&) noexcept = default;
TStrokeData::~TStrokeData() = default;

void TStrokeData::ReadIndex(const std::uint8_t* head, std::size_t headSize,
                            std::uint64_t fileSize) {
  const auto fail = [&](const std::string& what) {
    throw EStrokeData(name_ + " is not usable stroke data: " + what);
  };
  if (headSize < HeaderSize || std::memcmp(head, Magic, sizeof Magic) != 0)
    fail("it does not start like one");
  const std::uint32_t count = ReadU32(head + 8);
  if (ReadU32(head + 12) != StrokeBoxSize) fail("its box size is not 1024");
  if (count > MostEntries)
    fail("its index claims " + std::to_string(count) +
         " characters, more than there are");
  const std::uint64_t indexEnd = HeaderSize + std::uint64_t(count) * 8 + 4;
  if (indexEnd > fileSize) fail("the file is cut short inside its index");
  if (indexEnd > headSize) fail("the index was not read");
  index_.resize(count);
  std::uint32_t previousOffset = std::uint32_t(indexEnd);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = head + HeaderSize + 8 * std::size_t(i);
    index_[i] = {ReadU32(e), ReadU32(e + 4)};
    if (index_[i].CodePoint > 0x10FFFF) fail("a code point is out of range");
    if (i > 0 && index_[i].CodePoint <= index_[i - 1].CodePoint)
      fail("the code points are out of order");
    if (index_[i].Offset < previousOffset) fail("the record offsets are out of order");
    previousOffset = index_[i].Offset;
  }
  end_ = ReadU32(head + indexEnd - 4);
  if (end_ < previousOffset) fail("the record offsets are out of order");
  if (end_ > fileSize)
    fail("the file is cut short (" + std::to_string(fileSize) + " bytes of " +
         std::to_string(end_) + ")");
}

TStrokeData TStrokeData::Open(const std::string& path) {
  TStrokeData data;
  data.name_ = path;
  // Non-blocking, so that a FIFO without a writer can't hang the open; only
  // a regular file goes on to be read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EStrokeData("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EStrokeData("cannot open " + path + ": not a regular file");
  }
  data.file_.reset(::fdopen(fd, "rb"));
  if (!data.file_) {
    const int error = errno;
    ::close(fd);
    throw EStrokeData("cannot open " + path + ": " + std::strerror(error));
  }
  std::FILE* f = data.file_.get();
  if (std::fseek(f, 0, SEEK_END) != 0) throw EStrokeData("cannot read " + path);
  const long size = std::ftell(f);
  if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0)
    throw EStrokeData("cannot read " + path);
  std::uint8_t header[HeaderSize] = {};
  const std::size_t got = std::fread(header, 1, HeaderSize, f);
  std::uint64_t indexSize = 0;
  // A count beyond the code points is damage, refused before its index is
  // read (a sparse file could otherwise hold gigabytes of one).
  if (got == HeaderSize && std::memcmp(header, Magic, sizeof Magic) == 0 &&
      ReadU32(header + 8) <= MostEntries)
    indexSize = std::uint64_t(ReadU32(header + 8)) * 8 + 4;
  // The index must be in the file before it is worth reading.
  std::vector<std::uint8_t> head(header, header + got);
  if (indexSize > 0 && HeaderSize + indexSize <= std::uint64_t(size)) {
    head.resize(HeaderSize + std::size_t(indexSize));
    if (std::fread(head.data() + HeaderSize, 1, std::size_t(indexSize), f) != indexSize)
      throw EStrokeData("cannot read " + path);
  }
  data.ReadIndex(head.data(), head.size(), std::uint64_t(size));
  return data;
}

TStrokeData TStrokeData::FromBytes(std::string bytes) {
  TStrokeData data;
  data.name_ = "the stroke data";
  data.bytes_ = std::move(bytes);
  data.ReadIndex(reinterpret_cast<const std::uint8_t*>(data.bytes_.data()),
                 data.bytes_.size(), data.bytes_.size());
  return data;
}

std::vector<char32_t> TStrokeData::CodePoints() const {
  std::vector<char32_t> result;
  result.reserve(index_.size());
  for (const TEntry& e : index_) result.push_back(e.CodePoint);
  return result;
}

bool TStrokeData::Contains(char32_t codePoint) const {
  return std::binary_search(
      index_.begin(), index_.end(), TEntry{std::uint32_t(codePoint), 0},
      [](const TEntry& a, const TEntry& b) { return a.CodePoint < b.CodePoint; });
}

std::vector<std::uint8_t> TStrokeData::ReadAt(std::uint32_t offset,
                                              std::uint32_t size) const {
  std::vector<std::uint8_t> record(size);
  if (size == 0) return record;  // two entries at one offset: decoding says so
  if (!file_) {
    std::memcpy(record.data(), bytes_.data() + offset, size);
    return record;
  }
  if (std::fseek(file_.get(), long(offset), SEEK_SET) != 0 ||
      std::fread(record.data(), 1, size, file_.get()) != size)
    throw EStrokeData("cannot read " + name_ + " (has it changed since it was opened?)");
  return record;
}

std::optional<TCharacterStrokes> TStrokeData::Find(char32_t codePoint) const {
  const auto it = std::lower_bound(
      index_.begin(), index_.end(), std::uint32_t(codePoint),
      [](const TEntry& e, std::uint32_t cp) { return e.CodePoint < cp; });
  if (it == index_.end() || it->CodePoint != codePoint) return std::nullopt;
  const std::uint32_t next = it + 1 == index_.end() ? end_ : (it + 1)->Offset;
  const std::uint32_t size = next - it->Offset;
  if (size > MostRecordSize)
    throw EStrokeData("stroke data for " + Hex(codePoint) + " is damaged: too long");
  const std::vector<std::uint8_t> record = ReadAt(it->Offset, size);
  return DecodeStrokeRecord(codePoint, record.data(), record.size());
}

std::optional<char32_t> SingleCodePoint(const std::string& utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  if (n == 0) return std::nullopt;
  std::size_t length = s[0] < 0x80         ? 1
                       : (s[0] >> 5) == 6  ? 2
                       : (s[0] >> 4) == 14 ? 3
                       : (s[0] >> 3) == 30 ? 4
                                           : 0;
  if (length == 0 || length != n) return std::nullopt;
  char32_t c = length == 1 ? s[0] : s[0] & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) return std::nullopt;
    c = c << 6 | (s[i] & 0x3f);
  }
  // Overlong forms, surrogates and values past Unicode are not characters.
  static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
    return std::nullopt;
  return c;
}

}  // namespace velmora
