// The character formats of a view's text as runs, shared by every view
// implementation. A run holds from its start to the next run's start, or to
// the end of the text; there is always at least one, the first starts at 0,
// and neighbours differ in format.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/richedit/RichEdit.h"

namespace velmora::richedit {

class TFormatRuns {
 public:
  struct Run {
    int start;
    TCharFormat format;
  };

  // An empty text in the default format.
  void Clear();
  int Length() const { return length_; }

  // The format at pos, for 0 <= pos < Length().
  const TCharFormat& At(int pos) const { return runs_[RunAt(pos)].format; }
  // Replaces [from, to) by length bytes in one format.
  void Replace(int from, int to, int length, const TCharFormat& format);
  // Calls change on the format of every run in [from, to), splitting the
  // runs at both ends first.
  template <typename F>
  void Change(int from, int to, F change);
  // The runs over [from, to), their starts relative to from (the first at 0).
  std::vector<Run> Slice(int from, int to) const;

 private:
  // Index of the run holding pos (the last run for pos at the end).
  size_t RunAt(int pos) const;
  // Makes pos the start of a run; returns that run's index (runs_.size() at
  // the end).
  size_t SplitAt(int pos);
  // Merges equal neighbours among runs [first, last].
  void Coalesce(size_t first, size_t last);

  std::vector<Run> runs_{Run{0, TCharFormat{}}};
  int length_ = 0;
};

template <typename F>
void TFormatRuns::Change(int from, int to, F change) {
  if (from >= to) return;
  size_t first = SplitAt(from);
  size_t last = SplitAt(to);
  for (size_t i = first; i < last; ++i) change(runs_[i].format);
  Coalesce(first == 0 ? 0 : first - 1, last);
}

}  // namespace velmora::richedit
