// Byte streams, geometry and colours of the class library stand-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/classes/SysUtils.h"

namespace velmora {

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int left, int top, int right, int bottom) {
  return TRect{left, top, right, bottom};
}

// A colour as the class library packs it: red in the low byte, then green,
// then blue. Values with the high byte set are symbolic (system colours).
using TColor = std::uint32_t;
constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) {
  return std::uint8_t(c);
}
constexpr std::uint8_t GetGValue(TColor c) {
  return std::uint8_t(c >> 8);
}
constexpr std::uint8_t GetBValue(TColor c) {
  return std::uint8_t(c >> 16);
}
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
// "Whatever the control's own default is" (the window-text colour for text).
constexpr TColor clDefault = 0x20000000;
constexpr TColor clNone = 0x1FFFFFFF;

using TNotifyEvent = std::function<void(void* sender)>;

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A seekable byte stream. Read returns the number of bytes read, which is
// short only at the end of the data.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  virtual std::int64_t GetSize();

  // Raise EReadError / EWriteError on a short transfer.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);

 protected:
  // The message of WriteBuffer's EWriteError, for streams that know more.
  virtual std::string WriteErrorText() { return "Stream write error"; }

 public:
  // Copies count bytes from source (all of it from its start when count is 0).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override { return std::int64_t(data_.size()); }

  void Clear();
  void SetSize(std::int64_t size);
  const std::uint8_t* Memory() const { return data_.data(); }
  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t pos_ = 0;
};

// A read-only stream over bytes owned by someone else.
class TReadOnlyMemoryStream : public TStream {
 public:
  TReadOnlyMemoryStream(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(std::int64_t(size)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override { return size_; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  std::int64_t pos_ = 0;
};

// The whole of a file, read into memory with one call to the system for a
// regular file (a stream over a file takes it in many small reads, each
// copied twice). Raises EFOpenError when the file can't be opened and
// EReadError, naming the file and the system's reason, when reading it fails
// (a folder, say).
struct TFileBytes {
  std::unique_ptr<std::uint8_t[]> Data;
  std::size_t Size = 0;
};
TFileBytes ReadFileBytes(const std::string& fileName);

enum class TFileMode { fmOpenRead, fmCreate, fmOpenReadWrite };

class TFileReplacement;

// A file opened in binary mode. Raises EFOpenError, with the system's reason,
// when it can't be opened. A file created is written beside its name and
// takes the name when closed whole (TFileReplacement), so that a failed
// write never leaves a short file in place of the old one.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, TFileMode mode);
  // Closes as Close does, but can't say when that fails; a file being created
  // keeps its old contents when an exception is leaving the scope.
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Writes out what is buffered and closes the file; a file being created
  // takes its name now. Raises EWriteError naming the file and the system's
  // reason when any byte could not be written; a file being created is then
  // removed and the one of its name stays as it was.
  void Close();

 protected:
  std::string WriteErrorText() override;

 private:
  std::string name_;
  TFileMode mode_;
  int uncaught_;                    // exceptions in flight when opened
  std::unique_ptr<char[]> buffer_;  // stdio's buffer for reading (outlives file_)
  std::unique_ptr<TFileReplacement> replacement_;  // when creating
  std::FILE* file_ = nullptr;
};

}  // namespace velmora
