#include "platform/richedit/TextLayout.h"

#include <algorithm>
#include <array>

#include "platform/classes/Gbk.h"

namespace velmora::richedit {
namespace {

constexpr std::array<std::string_view, 5> kPrefixes = {"file://", "http://", "https://",
                                                       "ftp://", "mailto:"};

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

bool EndsLink(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string PlainTextForCopy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::vector<TLinkRange> FindLinks(std::string_view text) {
  std::vector<TLinkRange> links;
  size_t i = 0;
  while (i < text.size()) {
    size_t prefix = 0;
    for (std::string_view p : kPrefixes)
      if (StartsWithNoCase(text, i, p)) prefix = p.size();
    if (prefix != 0) {
      size_t end = i + prefix;
      while (end < text.size() && !EndsLink(text[end])) ++end;
      if (end > i + prefix) {
        links.push_back({int(i), int(end - i)});
        i = end;
        continue;
      }
    }
    i += gbk::DecodedLengthAt(text, i);
  }
  return links;
}

}  // namespace velmora::richedit

namespace velmora::richedit {

long long THeightIndex::Top(int line) const {
  long long sum = 0;
  for (int i = line; i > 0; i -= i & -i) sum += tree_[i];
  return sum;
}

int THeightIndex::LineAt(long long y) const {
  if (y < 0) return 0;
  // The largest prefix whose sum is <= y is the count of lines above y.
  int pos = 0;
  int step = 1;
  while (step * 2 <= Size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (pos + step <= Size() && tree_[pos + step] <= y) {
      pos += step;
      y -= tree_[pos];
    }
  }
  return std::min(pos, Size() - 1);
}

void THeightIndex::Append(int height) {
  heights_.push_back(height);
  int i = Size();
  // Node i covers (i - lowbit(i), i]: its own height and the sums below it.
  tree_.push_back(height + Top(i - 1) - Top(i - (i & -i)));
  total_ += height;
}

void THeightIndex::Set(int line, int height) {
  int delta = height - heights_[line];
  if (delta == 0) return;
  heights_[line] = height;
  total_ += delta;
  for (int i = line + 1; i <= Size(); i += i & -i) tree_[i] += delta;
}

void THeightIndex::Splice(int first, int count, const std::vector<int>& heights) {
  std::vector<int> all = std::move(heights_);
  all.erase(all.begin() + first, all.begin() + first + count);
  all.insert(all.begin() + first, heights.begin(), heights.end());
  Assign(std::move(all));
}

void THeightIndex::Assign(std::vector<int> heights) {
  heights_ = std::move(heights);
  tree_.assign(heights_.size() + 1, 0);
  total_ = 0;
  for (int i = 1; i <= Size(); ++i) {
    tree_[i] += heights_[i - 1];
    total_ += heights_[i - 1];
    int parent = i + (i & -i);
    if (parent <= Size()) tree_[parent] += tree_[i];
  }
}

}  // namespace velmora::richedit
