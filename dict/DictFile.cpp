#include "dict/DictFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "dict/CpuFeatures.h"
#define VELMORA_X86 1
#endif

#include "dict/DictText.h"

namespace velmora {

namespace {

TFileIdentity IdentityOf(const struct stat& st) {
  TFileIdentity id;
  id.Device = st.st_dev;
  id.Inode = st.st_ino;
  id.Size = st.st_size;
  id.MtimeSec = st.st_mtim.tv_sec;
  id.MtimeNsec = st.st_mtim.tv_nsec;
  id.CtimeSec = st.st_ctim.tv_sec;
  id.CtimeNsec = st.st_ctim.tv_nsec;
  return id;
}

constexpr std::size_t kHugePage = std::size_t(2) << 20;

// Memory for an image. A large one is asked for in huge pages: reading a file
// into fresh memory otherwise costs a page fault per 4 KiB, which on a
// dictionary of tens of megabytes takes longer than the copy itself.
char* Allocate(std::size_t size) {
  if (size < kHugePage / 2)
    return static_cast<char*>(std::malloc(std::max<std::size_t>(size, 1)));
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  char* p = static_cast<char*>(std::aligned_alloc(kHugePage, rounded));
  if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
  return p;
}

// Reads the whole file. The size from fstat is only a hint: the file may grow
// or shrink while it is read.
template <typename TData>
void ReadAll(int fd, std::size_t expected, TData& data, std::size_t& size) {
  std::size_t capacity = std::max<std::size_t>(expected, 1);
  data.reset(Allocate(capacity));
  if (!data) throw std::bad_alloc();
  size = 0;
  for (;;) {
    if (size == capacity) {
      // Grown since fstat: look for more with a small probe before copying.
      char probe[4096];
      ssize_t n;
      do n = ::read(fd, probe, sizeof probe);
      while (n < 0 && errno == EINTR);
      if (n <= 0) break;
      capacity = std::max(capacity * 2, size + std::size_t(n));
      TData bigger(Allocate(capacity));
      if (!bigger) throw std::bad_alloc();
      std::memcpy(bigger.get(), data.get(), size);
      std::memcpy(bigger.get() + size, probe, std::size_t(n));
      data = std::move(bigger);
      size += std::size_t(n);
      continue;
    }
    const ssize_t n = ::read(fd, data.get() + size, capacity - size);
    if (n > 0) {
      size += std::size_t(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the end, or a read error, which ends the file as the end would
    }
  }
}

#ifdef VELMORA_X86
// The first candidate in a block (bit k of mask: the needle's first and last
// bytes match at block + k) whose bytes between match as well; -1 if none.
inline int FirstMatch(unsigned mask, const char* block, const char* needle,
                      std::size_t m) {
  for (; mask; mask &= mask - 1) {
    const unsigned bit = unsigned(__builtin_ctz(mask));
    if (std::memcmp(block + bit + 1, needle + 1, m - 2) == 0) return int(bit);
  }
  return -1;
}

// Candidates are the positions whose first and last needle bytes match; 16 or
// 32 of them are tested with two compares. Only whole blocks are read, so
// nothing past the text is touched; the rest goes to the plain loop.
std::size_t FindSse2(const char* text, std::size_t size, std::size_t from,
                     const char* needle, std::size_t m) {
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[m - 1]);
  std::size_t i = from;
  for (; i + m + 15 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + m - 1));
    const unsigned mask = unsigned(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    if (const int at = FirstMatch(mask, text + i, needle, m); at >= 0)
      return i + std::size_t(at);
  }
  return i;  // not found up to here; the caller goes on from i
}

__attribute__((target("avx2"))) std::size_t FindAvx2(const char* text, std::size_t size,
                                                     std::size_t from, const char* needle,
                                                     std::size_t m) {
  const __m256i first = _mm256_set1_epi8(needle[0]);
  const __m256i last = _mm256_set1_epi8(needle[m - 1]);
  std::size_t i = from;
  for (; i + m + 31 <= size; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    const __m256i b =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + m - 1));
    const unsigned mask = unsigned(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
    if (const int at = FirstMatch(mask, text + i, needle, m); at >= 0)
      return i + std::size_t(at);
  }
  return i;
}

const bool kHaveAvx2 = HaveAvx2();
#endif

}  // namespace

std::string DictFileName(int number) {
  return std::to_string(number) + ".sr";
}

std::shared_ptr<const TDictImage> TDictImages::Open(const std::string& fileName) {
  // Non-blocking, so that a FIFO without a writer can't hang the open.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const TFileIdentity identity = IdentityOf(st);
  auto it = images_.find(fileName);
  if (it != images_.end()) {
    if (it->second->reusable_ && it->second->identity_ == identity) {
      ::close(fd);
      return it->second;
    }
    // Let the old bytes go before the new ones come (a search that still
    // holds them keeps them alive until it is done with them).
    images_.erase(it);
  }
  auto image = std::make_shared<TDictImage>();
  image->fd_ = fd;
  image->identity_ = identity;
  image->whole_ = std::uint64_t(st.st_size) <= Reading.MostWhole;
  image->pieceBytes_ = std::max<std::size_t>(Reading.PieceBytes, 1);
  if (image->whole_) {
    try {
      ReadAll(fd, std::size_t(st.st_size), image->data_, image->size_);
      ++reads_;
    } catch (const std::bad_alloc&) {
      image->data_.reset();
      image->size_ = 0;
      image->whole_ = false;  // read in pieces instead
    }
  }
  if (!image->whole_) {
    // Nothing is read now; each pass reads the file as it is then.
    image->reusable_ = true;
    images_[fileName] = image;
    return image;
  }
  struct stat after {};
  // A file written to while it was read may hold a mix of old and new bytes;
  // the next open reads it again rather than trust this copy.
  image->reusable_ = ::fstat(fd, &after) == 0 && IdentityOf(after) == identity &&
                     image->size_ == std::size_t(st.st_size);
  images_[fileName] = image;
  return image;
}

TDictImage::~TDictImage() {
  if (fd_ >= 0) ::close(fd_);
}

void TDictImage::TFree::operator()(char* p) const {
  std::free(p);
}

TDictImages& SharedDictImages() {
  static TDictImages images;
  return images;
}

void TDictPieces::Fill() {
  // A hole in a sparse file holds NULs, no line feed: what is passed over
  // goes on from the next data.
  if (skipping_ && filled_ == 0 && !ended_) {
    const off_t data = ::lseek(image_.fd_, offset_, SEEK_DATA);
    if (data >= offset_) offset_ = data;
    if (data < 0 && errno == ENXIO) ended_ = true;
  }
  while (!ended_ && filled_ < capacity_) {
    const ssize_t n =
        ::pread(image_.fd_, buffer_.get() + filled_, capacity_ - filled_, offset_);
    if (n > 0) {
      filled_ += std::size_t(n);
      offset_ += n;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ended_ = true;  // the end, or a read error, which ends the file as the end would
    }
  }
}

bool TDictPieces::Next(std::string_view& piece) {
  if (image_.whole_) {
    if (ended_) return false;
    ended_ = true;
    piece = image_.Bytes();
    return true;
  }
  if (!buffer_) {
    capacity_ = image_.pieceBytes_;
    buffer_.reset(new char[capacity_]);
  }
  char* const data = buffer_.get();
  for (;;) {
    // What the last piece left (the start of a line) goes to the front.
    std::memmove(data, data + consumed_, filled_ - consumed_);
    filled_ -= consumed_;
    consumed_ = 0;
    Fill();
    if (skipping_) {
      const void* lf = std::memchr(data, '\n', filled_);
      consumed_ = lf ? std::size_t(static_cast<const char*>(lf) - data) + 1 : filled_;
      skipping_ = !lf;
      if (skipping_ && ended_) return false;
      continue;
    }
    if (filled_ == 0) return false;
    if (const void* lf = ::memrchr(data, '\n', filled_)) {
      consumed_ = std::size_t(static_cast<const char*>(lf) - data) + 1;
      piece = {data, consumed_};
      return true;
    }
    if (ended_) {  // the last line, without a line feed
      consumed_ = filled_;
      piece = {data, filled_};
      return true;
    }
    // One line fills the buffer. Its text ends at its first NUL; the bytes
    // up to its line feed are passed over.
    consumed_ = filled_;
    skipping_ = true;
    if (const void* nul = std::memchr(data, '\0', filled_)) {
      piece = {data, std::size_t(static_cast<const char*>(nul) - data)};
      return true;
    }
  }
}

TSubstringFinder::TSubstringFinder(std::string_view needle) : needle_(needle) {}

std::size_t TSubstringFinder::Find(std::string_view text, std::size_t from) const {
  const std::size_t m = needle_.size();
  if (from > text.size()) return std::string_view::npos;
  if (m == 0) return from;
  if (m > text.size() - from) return std::string_view::npos;
  const char* const data = text.data();
  if (m == 1) {
    const void* p = std::memchr(data + from, needle_[0], text.size() - from);
    return p ? std::size_t(static_cast<const char*>(p) - data) : std::string_view::npos;
  }
  std::size_t i = from;
#ifdef VELMORA_X86
  const std::size_t hit = kHaveAvx2
                              ? FindAvx2(data, text.size(), from, needle_.data(), m)
                              : FindSse2(data, text.size(), from, needle_.data(), m);
  if (hit + m + (kHaveAvx2 ? 31 : 15) <= text.size()) return hit;
  i = hit;
#endif
  // The tail (or every byte where there are no vector compares).
  const void* p = ::memmem(data + i, text.size() - i, needle_.data(), m);
  return p ? std::size_t(static_cast<const char*>(p) - data) : std::string_view::npos;
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
