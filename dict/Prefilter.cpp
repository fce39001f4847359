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

// What the vector loop compares of one needle: its first and last bytes
// and, where letters are compared in either case, the one before the last,
// each after OR-ing in 0x20 where a letter may come in either case. Text
// bytes are common in the first and last places of a syllable after "：[" or
// of an English word; the third byte sorts out most of those places. Two
// bytes of a double-byte character are rare enough together.
struct TProbe {
  unsigned char Byte[3], Or[3];
  std::size_t Offset[3];
};

// Blocks of 16 or 32 positions; a full compare only where all three bytes
// of a needle agree. N, the number of needles, is fixed at compile time so
// that the compared values stay in registers. Only whole blocks are read.
template <int N, int P, bool Fold, class TTest>
std::size_t FindSse2(const char* text, std::size_t size, std::size_t from,
                     std::size_t maxSize, const TProbe* probes, TTest test) {
  __m128i value[N][P], orMask[N][P];
  for (int k = 0; k < N; ++k)
    for (int j = 0; j < P; ++j) {
      value[k][j] = _mm_set1_epi8(char(probes[k].Byte[j]));
      orMask[k][j] = _mm_set1_epi8(char(probes[k].Or[j]));
    }
  std::size_t i = from;
  for (; i + maxSize + 15 <= size; i += 16) {
    unsigned mask = 0;
    for (int k = 0; k < N; ++k) {
      __m128i all = _mm_set1_epi8(char(0xFF));
      for (int j = 0; j < P; ++j) {
        const __m128i b = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(text + i + probes[k].Offset[j]));
        all = _mm_and_si128(all,
                            _mm_cmpeq_epi8(_mm_or_si128(b, orMask[k][j]), value[k][j]));
      }
      mask |= unsigned(_mm_movemask_epi8(all));
    }
    while (mask) {
      const unsigned bit = unsigned(__builtin_ctz(mask));
      if (test(i + bit)) return i + bit;
      mask &= mask - 1;
    }
  }
  return i;
}

template <int N, int P, bool Fold, class TTest>
__attribute__((target("avx2"))) std::size_t FindAvx2(const char* text, std::size_t size,
                                                     std::size_t from,
                                                     std::size_t maxSize,
                                                     const TProbe* probes, TTest test) {
  __m256i value[N][P], orMask[N][P];
  for (int k = 0; k < N; ++k)
    for (int j = 0; j < P; ++j) {
      value[k][j] = _mm256_set1_epi8(char(probes[k].Byte[j]));
      orMask[k][j] = _mm256_set1_epi8(char(probes[k].Or[j]));
    }
  std::size_t i = from;
  for (; i + maxSize + 31 <= size; i += 32) {
    unsigned mask = 0;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    for (int k = 0; k < N; ++k) {
      __m256i all =
          _mm256_cmpeq_epi8(Fold ? _mm256_or_si256(a, orMask[k][0]) : a, value[k][0]);
      for (int j = 1; j < P; ++j) {
        const __m256i b = _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(text + i + probes[k].Offset[j]));
        all = _mm256_and_si256(
            all,
            _mm256_cmpeq_epi8(Fold ? _mm256_or_si256(b, orMask[k][j]) : b, value[k][j]));
      }
      mask |= unsigned(_mm256_movemask_epi8(all));
    }
    while (mask) {
      const unsigned bit = unsigned(__builtin_ctz(mask));
      if (test(i + bit)) return i + bit;
      mask &= mask - 1;
    }
  }
  return i;
}

template <int N, class TTest>
std::size_t FindBlocks(const char* text, std::size_t size, std::size_t from,
                       std::size_t maxSize, int compared, const TProbe* probes,
                       TTest test) {
  // Two bytes compared exactly (Chinese needles), or three with letters in
  // either case (readings, English words).
  if (compared == 2)
    return kHaveAvx2 ? FindAvx2<N, 2, false>(text, size, from, maxSize, probes, test)
                     : FindSse2<N, 2, false>(text, size, from, maxSize, probes, test);
  return kHaveAvx2 ? FindAvx2<N, 3, true>(text, size, from, maxSize, probes, test)
                   : FindSse2<N, 3, true>(text, size, from, maxSize, probes, test);
}

}  // namespace
#endif

std::size_t TNeedleFinder::Find(std::string_view text, std::size_t from) const {
  if (from > text.size()) return std::string_view::npos;
  if (needles_.empty()) return from < text.size() ? from : std::string_view::npos;
  std::size_t i = from;
#ifdef VELMORA_X86
  constexpr std::size_t kMax = 4;
  if (needles_.size() <= kMax) {
    TProbe probes[kMax];
    int compared = 2;
    for (const TPrepared& n : needles_)
      if (n.AnyCase) compared = 3;
    for (std::size_t k = 0; k < needles_.size(); ++k) {
      const TPrepared& n = needles_[k];
      const std::size_t m = n.Bytes.size();
      // With two compared, the first two probes are the first and last bytes.
      const std::size_t offsets[3] = {0, m - 1, m >= 3 ? m - 2 : 0};
      for (int j = 0; j < 3; ++j) {
        const unsigned char b = static_cast<unsigned char>(n.Bytes[offsets[j]]);
        probes[k].Byte[j] = b;
        probes[k].Or[j] = n.AnyCase && IsLetter(b) ? 0x20 : 0;
        probes[k].Offset[j] = offsets[j];
      }
    }
    const char* const data = text.data();
    const std::size_t size = text.size();
    auto test = [&](std::size_t at) {
      for (const TPrepared& n : needles_)
        if (At(data + at, size - at, n)) return true;
      return false;
    };
    std::size_t stop = from;
    switch (needles_.size()) {
      case 1:
        stop = FindBlocks<1>(data, size, from, maxSize_, compared, probes, test);
        break;
      case 2:
        stop = FindBlocks<2>(data, size, from, maxSize_, compared, probes, test);
        break;
      case 3:
        stop = FindBlocks<3>(data, size, from, maxSize_, compared, probes, test);
        break;
      default:
        stop = FindBlocks<4>(data, size, from, maxSize_, compared, probes, test);
        break;
    }
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
