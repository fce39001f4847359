#include "platform/richedit/FormatRuns.h"

#include <algorithm>

namespace velmora::richedit {

void TFormatRuns::Clear() {
  runs_.assign(1, Run{0, TCharFormat{}});
  length_ = 0;
}

size_t TFormatRuns::RunAt(int pos) const {
  if (pos >= runs_.back().start) return runs_.size() - 1;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), pos,
                             [](int p, const Run& r) { return p < r.start; });
  return size_t(it - runs_.begin()) - 1;
}

size_t TFormatRuns::SplitAt(int pos) {
  if (pos >= length_) return runs_.size();
  size_t i = RunAt(pos);
  if (runs_[i].start == pos) return i;
  runs_.insert(runs_.begin() + i + 1, Run{pos, runs_[i].format});
  return i + 1;
}

void TFormatRuns::Coalesce(size_t first, size_t last) {
  last = std::min(last, runs_.size() - 1);
  for (size_t i = last; i > first && i < runs_.size(); --i)
    if (runs_[i].format == runs_[i - 1].format) runs_.erase(runs_.begin() + i);
}

void TFormatRuns::Replace(int from, int to, int length, const TCharFormat& format) {
  const int delta = length - (to - from);
  size_t first = SplitAt(from);
  size_t last = SplitAt(to);
  runs_.erase(runs_.begin() + first, runs_.begin() + last);
  for (size_t i = first; i < runs_.size(); ++i) runs_[i].start += delta;
  if (length > 0) runs_.insert(runs_.begin() + first, Run{from, format});
  if (runs_.empty()) runs_.push_back(Run{0, TCharFormat{}});
  runs_[0].start = 0;
  length_ += delta;
  Coalesce(first == 0 ? 0 : first - 1, std::min(first + 1, runs_.size() - 1));
}

std::vector<TFormatRuns::Run> TFormatRuns::Slice(int from, int to) const {
  std::vector<Run> runs;
  if (from >= to) return runs;
  for (size_t i = RunAt(from); i < runs_.size() && runs_[i].start < to; ++i)
    runs.push_back(Run{std::max(runs_[i].start, from) - from, runs_[i].format});
  return runs;
}

}  // namespace velmora::richedit
