#include "dict/Wildcard.h"

#include "dict/DictText.h"

namespace velmora {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

// The byte offsets at which the key's characters start, and its end.
std::vector<std::size_t> CharStarts(std::string_view key) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < key.size(); i += LeadByteLengthAt(key, i))
    starts.push_back(i);
  starts.push_back(key.size());
  return starts;
}

using TSpans = std::vector<std::pair<std::size_t, std::size_t>>;

// Whether the segment matches the characters from index c on.
bool SegmentAt(const std::vector<std::string>& unitBytes, std::string_view key,
               const std::vector<std::size_t>& starts, std::size_t c, TSpans* spans) {
  if (c + unitBytes.size() + 1 > starts.size()) return false;
  for (std::size_t u = 0; u < unitBytes.size(); ++u) {
    const std::string& want = unitBytes[u];
    if (want.empty()) continue;
    const std::string_view have =
        key.substr(starts[c + u], starts[c + u + 1] - starts[c + u]);
    if (have.size() != want.size()) return false;
    if (want.size() == 1 ? Upper(have[0]) != want[0] : have != want) return false;
  }
  if (spans) {
    for (std::size_t u = 0; u < unitBytes.size(); ++u)
      if (!unitBytes[u].empty()) spans->emplace_back(starts[c + u], starts[c + u + 1]);
  }
  return true;
}

}  // namespace

std::optional<TWildcard> TWildcard::Parse(std::string_view gbk) {
  while (!gbk.empty() && gbk.front() == ' ') gbk.remove_prefix(1);
  while (!gbk.empty() && gbk.back() == ' ') gbk.remove_suffix(1);
  TWildcard w;
  w.segments_.emplace_back();
  bool wild = false;
  std::string run;
  for (std::size_t i = 0; i < gbk.size();) {
    const std::size_t n = LeadByteLengthAt(gbk, i);
    const std::string_view c = gbk.substr(i, n);
    i += n;
    // "**" means what "*" means; each would cost a segment to match.
    if (c == "*" && w.pattern_.ends_with('*')) continue;
    w.pattern_ += c;
    if (c == "*" || c == "?") {
      wild = true;
      if (run.size() > w.needle_.size()) w.needle_ = run;
      run.clear();
      if (c == "*")
        w.segments_.emplace_back();
      else
        w.segments_.back().emplace_back();
      continue;
    }
    std::string bytes(c);
    if (n == 1) bytes[0] = Upper(bytes[0]);
    run += bytes;
    w.segments_.back().push_back(std::move(bytes));
  }
  if (!wild) return std::nullopt;
  if (run.size() > w.needle_.size()) w.needle_ = run;
  return w;
}

bool TWildcard::Match(std::string_view key, TSpans* literals) const {
  const std::vector<std::size_t> starts = CharStarts(key);
  const std::size_t chars = starts.size() - 1;
  TSpans spans;
  TSpans* out = literals ? &spans : nullptr;
  const TSegment& first = segments_.front();
  if (segments_.size() == 1) {
    if (first.size() != chars || !SegmentAt(first, key, starts, 0, out)) return false;
  } else {
    // The first segment at the start, the last at the end, and each one in
    // between at the earliest place after the one before: taking the
    // earliest place never loses a match, since "*" on either side takes up
    // the rest.
    const TSegment& last = segments_.back();
    if (first.size() + last.size() > chars) return false;
    if (!SegmentAt(first, key, starts, 0, out)) return false;
    std::size_t c = first.size();
    const std::size_t end = chars - last.size();
    for (std::size_t s = 1; s + 1 < segments_.size(); ++s) {
      const TSegment& middle = segments_[s];
      while (c + middle.size() <= end && !SegmentAt(middle, key, starts, c, out)) ++c;
      if (c + middle.size() > end) return false;
      c += middle.size();
    }
    if (!SegmentAt(last, key, starts, end, out)) return false;
  }
  if (literals) *literals = std::move(spans);
  return true;
}

}  // namespace velmora
