#include "platform/classes/Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/classes/FileWrite.h"

namespace velmora {

std::int64_t TStream::GetSize() {
  std::int64_t pos = GetPosition();
  std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  SetPosition(pos);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(WriteErrorText());
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  std::int64_t done = 0;
  std::vector<std::uint8_t> buf(std::size_t(std::min<std::int64_t>(count, 1 << 16)));
  while (done < count) {
    std::int64_t n = std::min<std::int64_t>(count - done, std::int64_t(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

namespace {
std::int64_t SeekTarget(std::int64_t pos, std::int64_t size, std::int64_t offset,
                        TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning:
      return offset;
    case TSeekOrigin::soCurrent:
      return pos + offset;
    case TSeekOrigin::soEnd:
      return size + offset;
  }
  return pos;
}
}  // namespace

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t size = std::int64_t(data_.size());
  if (count <= 0 || pos_ >= size) return 0;
  std::int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, std::size_t(n));
  pos_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > std::int64_t(data_.size())) data_.resize(std::size_t(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, std::size_t(count));
  pos_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  pos_ = std::max<std::int64_t>(0, SeekTarget(pos_, GetSize(), offset, origin));
  return pos_;
}

void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(std::size_t(std::max<std::int64_t>(0, size)));
  pos_ = std::min(pos_, GetSize());
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  Clear();
  CopyFrom(file, 0);
  pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::fmCreate);
  file.WriteBuffer(data_.data(), std::int64_t(data_.size()));
  file.Close();
}

std::int64_t TReadOnlyMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  std::int64_t n = std::min(count, size_ - pos_);
  std::memcpy(buffer, data_ + pos_, std::size_t(n));
  pos_ += n;
  return n;
}

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  pos_ = std::max<std::int64_t>(0, SeekTarget(pos_, size_, offset, origin));
  return pos_;
}

TFileBytes ReadFileBytes(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(FileErrorText("Cannot open", fileName, errno));
  struct stat st {};
  // A regular file's size says how much to read; anything else (a pipe, a
  // file that grows) is read until its end, the buffer growing as needed.
  std::size_t capacity = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
                             ? std::size_t(st.st_size) + 1
                             : 64 * 1024;
  TFileBytes bytes;
  bytes.Data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  for (;;) {
    if (bytes.Size == capacity) {
      capacity *= 2;
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
      std::memcpy(larger.get(), bytes.Data.get(), bytes.Size);
      bytes.Data = std::move(larger);
    }
    const ssize_t n = ::read(fd, bytes.Data.get() + bytes.Size, capacity - bytes.Size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw EReadError("Cannot read file \"" + fileName + "\": " + std::strerror(error));
    }
    bytes.Size += std::size_t(n);
  }
  ::close(fd);
  return bytes;
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode)
    : name_(fileName), mode_(mode), uncaught_(std::uncaught_exceptions()) {
  if (mode == TFileMode::fmCreate) {
    replacement_ = std::make_unique<TFileReplacement>(fileName);
    const int fd = ::dup(replacement_->Handle());
    if (fd >= 0 && !(file_ = ::fdopen(fd, "wb"))) ::close(fd);
  } else {
    file_ = std::fopen(fileName.c_str(), mode == TFileMode::fmOpenRead ? "rb" : "r+b");
  }
  if (!file_) throw EFOpenError(FileErrorText("Cannot open", fileName, errno));
  // Readers take a file in many small reads; a larger buffer than stdio's
  // default makes far fewer calls to the system for them.
  if (mode == TFileMode::fmOpenRead) {
    constexpr std::size_t kBuffer = 64 * 1024;
    // Not zeroed: stdio fills it before reading from it, and the pages of a
    // small file's buffer are then never touched.
    buffer_ = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBuffer);
  }
}

TFileStream::~TFileStream() {
  if (!file_) return;
  if (replacement_ && std::uncaught_exceptions() > uncaught_) {
    // Whatever was being written is not whole.
    std::fclose(std::exchange(file_, nullptr));
    replacement_->Discard();
    return;
  }
  try {
    Close();
  } catch (const EWriteError&) {
    // Not whole: the old file stays, and the caller did not ask to hear.
  }
}

void TFileStream::Close() {
  if (!file_) return;
  std::FILE* file = std::exchange(file_, nullptr);
  if (mode_ == TFileMode::fmOpenRead) {
    std::fclose(file);
    return;
  }
  errno = 0;
  int error = std::fflush(file) != 0 || std::ferror(file) ? (errno ? errno : EIO) : 0;
  if (std::fclose(file) != 0 && !error) error = errno;
  if (error) {
    if (replacement_) replacement_->Discard();
    throw EWriteError(FileErrorText("Cannot write", name_, error));
  }
  if (replacement_) replacement_->Commit();
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return std::int64_t(std::fread(buffer, 1, std::size_t(count), file_));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  errno = 0;
  return std::int64_t(std::fwrite(buffer, 1, std::size_t(count), file_));
}

std::string TFileStream::WriteErrorText() {
  // Right after the short write: errno is still its reason.
  if (mode_ == TFileMode::fmOpenRead || errno == 0) return TStream::WriteErrorText();
  return FileErrorText("Cannot write", name_, errno);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
               : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                  : SEEK_END;
  // Only a target before the start fails (or one past what a file offset can
  // hold): stop at the start, as the memory streams do, or at the end.
  if (fseeko(file_, offset, whence) != 0) {
    fseeko(file_, 0, errno == EINVAL ? SEEK_SET : SEEK_END);
  }
  return ftello(file_);
}

}  // namespace velmora
