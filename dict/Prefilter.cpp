#include "dict/Prefilter.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELMORA_X86 1
#endif

namespace velmora {

namespace {

bool IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

#ifdef VELMORA_X86
const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

TNeedleFinder::TNeedleFinder(std::vector<TNeedle> needles) {
  for (TNeedle& n : needles) {
    if (n.Bytes.empty()) continue;
    TPrepared p;
    p.AnyCase = n.AnyCase;
    p.Bytes = std::move(n.Bytes);
    if (p.AnyCase) {
      for (char& c : p.Bytes) c = Lower(c);
      p.FirstOr = IsLetter(static_cast<unsigned char>(p.Bytes.front())) ? 0x20 : 0;
      p.LastOr = IsLetter(static_cast<unsigned char>(p.Bytes.back())) ? 0x20 : 0;
    }
    maxSize_ = std::max(maxSize_, p.Bytes.size());
    needles_.push_back(std::move(p));
  }
}

bool TNeedleFinder::At(const char* p, std::size_t left, const TPrepared& n) const {
  const std::size_t m = n.Bytes.size();
  if (m > left) return false;
  if (!n.AnyCase) return std::memcmp(p, n.Bytes.data(), m) == 0;
  for (std::size_t k = 0; k < m; ++k)
    if (Lower(p[k]) != n.Bytes[k]) return false;
  return true;
}

std::size_t TNeedleFinder::FindScalar(std::string_view text, std::size_t from) const {
  for (std::size_t i = from; i < text.size(); ++i)
    for (const TPrepared& n : needles_)
      if (At(text.data() + i, text.size() - i, n)) return i;
  return std::string_view::npos;
}

#ifdef VELMORA_X86
namespace {

// Blocks of 16 or 32 positions: for each needle, its first byte against the
// block and its last byte against the block shifted by its length; a full
// compare only where both agree. Only whole blocks are read.
template <class TTest>
std::size_t FindSse2(const char* text, std::size_t size, std::size_t from,
                     std::size_t maxSize, const unsigned char* firsts,
                     const unsigned char* firstOrs, const unsigned char* lasts,
                     const unsigned char* lastOrs, const std::size_t* sizes,
                     std::size_t count, TTest test) {
  std::size_t i = from;
  for (; i + maxSize + 15 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    unsigned mask = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const __m128i b =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + sizes[k] - 1));
      const __m128i f = _mm_cmpeq_epi8(_mm_or_si128(a, _mm_set1_epi8(char(firstOrs[k]))),
                                       _mm_set1_epi8(char(firsts[k])));
      const __m128i l = _mm_cmpeq_epi8(_mm_or_si128(b, _mm_set1_epi8(char(lastOrs[k]))),
                                       _mm_set1_epi8(char(lasts[k])));
      mask |= unsigned(_mm_movemask_epi8(_mm_and_si128(f, l)));
    }
    while (mask) {
      const unsigned bit = unsigned(__builtin_ctz(mask));
      if (test(i + bit)) return i + bit;
      mask &= mask - 1;
    }
  }
  return i;
}

template <class TTest>
__attribute__((target("avx2"))) std::size_t FindAvx2(
    const char* text, std::size_t size, std::size_t from, std::size_t maxSize,
    const unsigned char* firsts, const unsigned char* firstOrs,
    const unsigned char* lasts, const unsigned char* lastOrs, const std::size_t* sizes,
    std::size_t count, TTest test) {
  std::size_t i = from;
  for (; i + maxSize + 31 <= size; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    unsigned mask = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const __m256i b =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + sizes[k] - 1));
      const __m256i f =
          _mm256_cmpeq_epi8(_mm256_or_si256(a, _mm256_set1_epi8(char(firstOrs[k]))),
                            _mm256_set1_epi8(char(firsts[k])));
      const __m256i l =
          _mm256_cmpeq_epi8(_mm256_or_si256(b, _mm256_set1_epi8(char(lastOrs[k]))),
                            _mm256_set1_epi8(char(lasts[k])));
      mask |= unsigned(_mm256_movemask_epi8(_mm256_and_si256(f, l)));
    }
    while (mask) {
      const unsigned bit = unsigned(__builtin_ctz(mask));
      if (test(i + bit)) return i + bit;
      mask &= mask - 1;
    }
  }
  return i;
}

}  // namespace
#endif

std::size_t TNeedleFinder::Find(std::string_view text, std::size_t from) const {
  if (from > text.size()) return std::string_view::npos;
  if (needles_.empty()) return from < text.size() ? from : std::string_view::npos;
  std::size_t i = from;
#ifdef VELMORA_X86
  constexpr std::size_t kMax = 8;
  if (needles_.size() <= kMax) {
    unsigned char firsts[kMax], firstOrs[kMax], lasts[kMax], lastOrs[kMax];
    std::size_t sizes[kMax];
    const std::size_t count = needles_.size();
    for (std::size_t k = 0; k < count; ++k) {
      const TPrepared& n = needles_[k];
      firsts[k] = static_cast<unsigned char>(n.Bytes.front());
      lasts[k] = static_cast<unsigned char>(n.Bytes.back());
      firstOrs[k] = n.FirstOr;
      lastOrs[k] = n.LastOr;
      sizes[k] = n.Bytes.size();
    }
    const char* const data = text.data();
    const std::size_t size = text.size();
    auto test = [&](std::size_t at) {
      for (const TPrepared& n : needles_)
        if (At(data + at, size - at, n)) return true;
      return false;
    };
    const std::size_t stop = kHaveAvx2
                                 ? FindAvx2(data, size, from, maxSize_, firsts, firstOrs,
                                            lasts, lastOrs, sizes, count, test)
                                 : FindSse2(data, size, from, maxSize_, firsts, firstOrs,
                                            lasts, lastOrs, sizes, count, test);
    if (stop + maxSize_ + (kHaveAvx2 ? 31 : 15) <= size) return stop;  // found
    i = stop;
  }
#endif
  return FindScalar(text, i);
}

TNeedleLines::TNeedleLines(std::string_view image, const TNeedleFinder& finder,
                           std::size_t sliceBytes)
    : image_(image), finder_(finder), slice_(std::max<std::size_t>(sliceBytes, 1)) {}

TNeedleLines::TStep TNeedleLines::Next(std::string_view& line) {
  const std::size_t size = image_.size();
  if (cursor_ >= size) return TStep::End;
  const char* const data = image_.data();
  // Needles that begin within the slice; they may reach past it.
  const std::size_t sliceEnd = std::min(size, cursor_ + slice_);
  const std::size_t window =
      std::min(size, sliceEnd + std::max<std::size_t>(finder_.MaxSize(), 1) - 1);
  const std::size_t at = finder_.Find(image_.substr(0, window), cursor_);
  if (at == std::string_view::npos || at >= sliceEnd) {
    cursor_ = sliceEnd;
    return cursor_ >= size ? TStep::End : TStep::Slice;
  }
  std::size_t start = lineFloor_;
  if (const void* lf = ::memrchr(data + lineFloor_, '\n', at - lineFloor_))
    start = std::size_t(static_cast<const char*>(lf) - data) + 1;
  const void* lf = std::memchr(data + at, '\n', size - at);
  const std::size_t end = lf ? std::size_t(static_cast<const char*>(lf) - data) : size;
  line = image_.substr(start, end - start);
  if (const void* nul = std::memchr(line.data(), '\0', line.size()))
    line = line.substr(0, std::size_t(static_cast<const char*>(nul) - line.data()));
  cursor_ = lineFloor_ = std::min(size, end + 1);
  return TStep::Line;
}

}  // namespace velmora
