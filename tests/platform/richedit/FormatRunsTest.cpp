#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/richedit/FormatRuns.h"

namespace velmora::richedit {
namespace {

TCharFormat Colour(int n) {
  return TCharFormat{TColor(n), {}};
}

// Checks the runs against a format per byte: every byte's format, the slice
// of every range, and that neighbouring runs differ.
void ExpectMatches(const TFormatRuns& runs, const std::vector<TCharFormat>& bytes) {
  ASSERT_EQ(runs.Length(), int(bytes.size()));
  for (int i = 0; i < int(bytes.size()); ++i) ASSERT_EQ(runs.At(i), bytes[i]) << i;
  const int n = int(bytes.size());
  for (int from = 0; from < n; from += 3) {
    for (int to = from + 1; to <= n; to += 5) {
      std::vector<TFormatRuns::Run> slice = runs.Slice(from, to);
      ASSERT_FALSE(slice.empty());
      ASSERT_EQ(slice[0].start, 0);
      for (size_t k = 0; k < slice.size(); ++k) {
        const int end = k + 1 < slice.size() ? slice[k + 1].start : to - from;
        ASSERT_LT(slice[k].start, end);
        if (k > 0) {
          ASSERT_FALSE(slice[k].format == slice[k - 1].format);
        }
        for (int i = slice[k].start; i < end; ++i)
          ASSERT_EQ(bytes[from + i], slice[k].format) << from << " " << to << " " << i;
      }
    }
  }
}

TEST(FormatRuns, RandomEditsAgreeWithAFormatPerByte) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    TFormatRuns runs;
    std::vector<TCharFormat> bytes;
    for (int step = 0; step < 60; ++step) {
      const int n = int(bytes.size());
      const int from = int(random() % (n + 1));
      const int to = from + int(random() % (n - from + 1));
      const TCharFormat format = Colour(int(random() % 3));
      if (random() % 2) {
        const int length = int(random() % 6);
        runs.Replace(from, to, length, format);
        bytes.erase(bytes.begin() + from, bytes.begin() + to);
        bytes.insert(bytes.begin() + from, size_t(length), format);
      } else {
        runs.Change(from, to, [&](TCharFormat& f) { f = format; });
        std::fill(bytes.begin() + from, bytes.begin() + to, format);
      }
      ExpectMatches(runs, bytes);
    }
  }
}

}  // namespace
}  // namespace velmora::richedit
