#include "dict/DictFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dict/DictText.h"

namespace velmora {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
}

std::string DictFileName(int number) {
  return std::to_string(number) + ".sr";
}

TDictFile::TDictFile() = default;

TDictFile::~TDictFile() {
  Close();
}

bool TDictFile::Open(const std::string& fileName) {
  Close();
  // Non-blocking, so that a FIFO without a writer can't hang the open.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  if (!buf_) {
    capacity_ = kBlockSize;
    buf_ = std::make_unique<char[]>(capacity_);
  }
  begin_ = scanned_ = end_ = 0;
  eof_ = false;
  return true;
}

void TDictFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  begin_ = scanned_ = end_ = 0;
  eof_ = true;
}

bool TDictFile::Fill() {
  if (begin_ > 0) {
    std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // A line longer than the buffer: keep it whole.
    auto bigger = std::make_unique<char[]>(capacity_ * 2);
    std::memcpy(bigger.get(), buf_.get(), end_);
    buf_ = std::move(bigger);
    capacity_ *= 2;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buf_.get() + end_, capacity_ - end_);
    if (n > 0) {
      end_ += std::size_t(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    eof_ = true;
    return false;
  }
}

bool TDictFile::ReadLine(std::string_view& line) {
  if (fd_ < 0) return false;
  for (;;) {
    char* const base = buf_.get();
    const char* lf = static_cast<const char*>(
        std::memchr(base + begin_ + scanned_, '\n', end_ - begin_ - scanned_));
    std::size_t length;
    if (lf) {
      length = std::size_t(lf - (base + begin_));
    } else {
      const std::size_t known = end_ - begin_;  // bytes that hold no line feed
      if (!eof_ && Fill()) {
        scanned_ = known;  // Fill moved them to the front; scan only the new bytes
        continue;
      }
      if (begin_ == end_) return false;
      length = end_ - begin_;  // the last line needs no line feed
    }
    const char* start = buf_.get() + begin_;
    if (const void* nul = std::memchr(start, '\0', length))
      line = std::string_view(start, std::size_t(static_cast<const char*>(nul) - start));
    else
      line = std::string_view(start, length);
    begin_ += length + (lf ? 1 : 0);
    scanned_ = 0;
    return true;
  }
}

TEntry SplitLine(std::string_view line) {
  const std::size_t at = line.find(kKeySeparator);
  if (at == std::string_view::npos)
    return {line.substr(0, 1), line.substr(line.empty() ? 0 : 1)};
  return {line.substr(0, at + 2), line.substr(at + 2)};
}

std::string DisplayExplanation(std::string_view explanation) {
  std::string text(explanation);
  LowerAscii(text);
  text = ReplaceAll(text, "<a href=\"", "file://");
  text = ReplaceAll(text, "\">", " ");
  return ReplaceAll(text, "</a>", "");
}

}  // namespace velmora
