#include "dict/Prefilter.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "dict/CpuFeatures.h"
#define VELMORA_X86 1
#endif

namespace velmora {

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

#ifdef VELMORA_X86
const bool kHaveAvx2 = HaveAvx2();
#endif

}  // namespace

TNeedleFinder::TNeedleFinder(std::vector<TNeedle> needles) {
  for (TNeedle& n : needles) {
    if (n.Bytes.empty()) continue;
    TPrepared p;
    // Without letters either case is the same bytes, and the exact compare
    // is the quicker one.
    p.AnyCase = n.AnyCase && std::any_of(n.Bytes.begin(), n.Bytes.end(), [](char c) {
                  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                });
    p.Bytes = std::move(n.Bytes);
    p.Accept = std::move(n.Accept);
    if (p.AnyCase) {
      for (char& c : p.Bytes) c = Lower(c);
    }
    maxSize_ = std::max(maxSize_, p.Bytes.size());
    needles_.push_back(std::move(p));
  }
}

bool TNeedleFinder::At(std::string_view text, std::size_t at, const TPrepared& n) const {
  const std::size_t m = n.Bytes.size();
  if (m > text.size() - at) return false;
  const char* const p = text.data() + at;
  if (!n.AnyCase) {
    if (std::memcmp(p, n.Bytes.data(), m) != 0) return false;
  } else {
    for (std::size_t k = 0; k < m; ++k)
      if (Lower(p[k]) != n.Bytes[k]) return false;
  }
  return !n.Accept || n.Accept(text, at);
}

std::size_t TNeedleFinder::FindScalar(std::string_view text, std::size_t from) const {
  for (std::size_t i = from; i < text.size(); ++i)
    for (const TPrepared& n : needles_)
      if (At(text, i, n)) return i;
  return std::string_view::npos;
}

#ifdef VELMORA_X86
namespace {

constexpr int kMaxVectorNeedles = 4;

// What the vector loop compares: two or three bytes of every needle, at the
// same offsets in all of them (the first byte, then the last one or two of
// the shortest needle), so that each block is loaded once per offset
// however many needles there are. Two bytes of a double-byte character are
// rare enough together; letters are common, so a needle compared in either
// case has a third byte compared. Folding sets bit 5 of the bytes on both
// sides: a letter then meets both its cases, any other byte at most one
// byte too many, which the full compare sorts out.
struct TProbes {
  std::size_t Offset[3] = {};
  unsigned char Byte[kMaxVectorNeedles][3] = {};
};

// Blocks of 16 or 32 positions; a full compare only where all the bytes of
// a needle agree. N (needles) and P (bytes compared) are fixed at compile
// time so that the values compared stay in registers. Only whole blocks
// are read.
template <int N, int P, bool Fold, class TTest>
std::size_t FindSse2(const char* text, std::size_t size, std::size_t from,
                     std::size_t maxSize, const TProbes& probes, TTest test) {
  const __m128i fold = _mm_set1_epi8(Fold ? 0x20 : 0);
  __m128i value[N][P];
  for (int k = 0; k < N; ++k)
    for (int j = 0; j < P; ++j) value[k][j] = _mm_set1_epi8(char(probes.Byte[k][j]));
  // Copied, so that the compiler needn't load them again after each call of
  // test.
  std::size_t offset[P];
  for (int j = 0; j < P; ++j) offset[j] = probes.Offset[j];
  std::size_t i = from;
  for (; i + maxSize + 15 <= size; i += 16) {
    __m128i block[P];
    for (int j = 0; j < P; ++j) {
      block[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + offset[j]));
      if (Fold) block[j] = _mm_or_si128(block[j], fold);
    }
    unsigned mask = 0;
    for (int k = 0; k < N; ++k) {
      __m128i all = _mm_cmpeq_epi8(block[0], value[k][0]);
      for (int j = 1; j < P; ++j)
        all = _mm_and_si128(all, _mm_cmpeq_epi8(block[j], value[k][j]));
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
                                                     const TProbes& probes, TTest test) {
  const __m256i fold = _mm256_set1_epi8(Fold ? 0x20 : 0);
  __m256i value[N][P];
  for (int k = 0; k < N; ++k)
    for (int j = 0; j < P; ++j) value[k][j] = _mm256_set1_epi8(char(probes.Byte[k][j]));
  std::size_t offset[P];
  for (int j = 0; j < P; ++j) offset[j] = probes.Offset[j];
  std::size_t i = from;
  for (; i + maxSize + 31 <= size; i += 32) {
    __m256i block[P];
    for (int j = 0; j < P; ++j) {
      block[j] =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + offset[j]));
      if (Fold) block[j] = _mm256_or_si256(block[j], fold);
    }
    unsigned mask = 0;
    for (int k = 0; k < N; ++k) {
      __m256i all = _mm256_cmpeq_epi8(block[0], value[k][0]);
      for (int j = 1; j < P; ++j)
        all = _mm256_and_si256(all, _mm256_cmpeq_epi8(block[j], value[k][j]));
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
                       std::size_t maxSize, bool fold, const TProbes& probes,
                       TTest test) {
  if (!fold)
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
  if (needles_.size() <= std::size_t(kMaxVectorNeedles)) {
    bool fold = false;
    std::size_t shortest = maxSize_;
    for (const TPrepared& n : needles_) {
      fold |= n.AnyCase;
      shortest = std::min(shortest, n.Bytes.size());
    }
    // Two bytes: the first and the last of the shortest needle; three: the
    // one before that too (the first again for a needle of one or two).
    TProbes probes;
    probes.Offset[0] = 0;
    probes.Offset[1] = shortest - 1;
    probes.Offset[2] = shortest >= 3 ? shortest - 2 : 0;
    for (std::size_t k = 0; k < needles_.size(); ++k)
      for (int j = 0; j < 3; ++j)
        probes.Byte[k][j] = static_cast<unsigned char>(
            static_cast<unsigned char>(needles_[k].Bytes[probes.Offset[j]]) |
            (fold ? 0x20 : 0));
    const char* const data = text.data();
    const std::size_t size = text.size();
    auto test = [&](std::size_t at) {
      for (const TPrepared& n : needles_)
        if (At(text, at, n)) return true;
      return false;
    };
    std::size_t stop = from;
    switch (needles_.size()) {
      case 1:
        stop = FindBlocks<1>(data, size, from, maxSize_, fold, probes, test);
        break;
      case 2:
        stop = FindBlocks<2>(data, size, from, maxSize_, fold, probes, test);
        break;
      case 3:
        stop = FindBlocks<3>(data, size, from, maxSize_, fold, probes, test);
        break;
      default:
        stop = FindBlocks<4>(data, size, from, maxSize_, fold, probes, test);
        break;
    }
    if (stop + maxSize_ + (kHaveAvx2 ? 31 : 15) <= size) return stop;  // found
    i = stop;
  }
#endif
  return FindScalar(text, i);
}

}  // namespace velmora
