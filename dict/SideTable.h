// The side tables of a dictionary folder: GBK text files beside 1.sr..5.sr,
// made by scripts/make-word-tables and scripts/make-learner-tables, each of
// them optional. Their keys are the bytes of the dictionary's own keys.
//
// They are read through TDictImages like the dictionary files (regular files
// only, kept while unchanged), and indexed once per image: a table holds its
// image, and its lines point into the image's bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "dict/DictFile.h"

namespace velmora {

inline constexpr std::string_view kFrequencyFileName = "frequency.txt";
inline constexpr std::string_view kTraditionalFileName = "traditional.txt";
inline constexpr std::string_view kHskFileName = "hsk.txt";
inline constexpr std::string_view kRadicalsFileName = "radicals.txt";

// Calls each(fields) for every record of a table: a line, its CR dropped,
// that is no remark ('#'), cut at its first N - 1 tabs into N fields (the
// last holds the rest of the line). Lines with fewer fields, or an empty
// first field, are passed over.
template <std::size_t N, typename TEach>
void ForEachRecord(std::string_view bytes, TEach each) {
  static_assert(N > 0);
  while (!bytes.empty()) {
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    std::array<std::string_view, N> fields;
    std::size_t n = 0;
    for (std::size_t tab; n + 1 < N && (tab = line.find('\t')) != line.npos; ++n) {
      fields[n] = line.substr(0, tab);
      line.remove_prefix(tab + 1);
    }
    fields[n] = line;
    if (n + 1 == N && !fields[0].empty()) each(fields);
  }
}

// A table's image and its lines of type TLine, in the table's order.
template <typename TLine>
class TSideTable {
 public:
  // The image read; null for a missing table.
  const TDictImage* Image() const { return image_.get(); }

 protected:
  explicit TSideTable(std::shared_ptr<const TDictImage> image)
      : image_(std::move(image)) {}

  // Reads the records of N fields: make(fields) gives a record's line, or
  // nullopt to pass it over. The lines are then put in order by before,
  // keeping the file's order among equal ones: the scripts write them in
  // order, a table edited by hand may not be.
  template <std::size_t N, typename TMake, typename TBefore>
  void Read(TMake make, TBefore before) {
    if (!image_) return;
    ForEachRecord<N>(image_->Bytes(), [&](const std::array<std::string_view, N>& fields) {
      if (std::optional<TLine> line = make(fields)) lines_.push_back(std::move(*line));
    });
    if (!std::is_sorted(lines_.begin(), lines_.end(), before))
      std::stable_sort(lines_.begin(), lines_.end(), before);
  }

  // The first line whose Key is key, for lines in the order of their Key;
  // null when there is none.
  const TLine* FindKey(std::string_view key) const {
    const auto it =
        std::lower_bound(lines_.begin(), lines_.end(), key,
                         [](const TLine& l, std::string_view k) { return l.Key < k; });
    return it != lines_.end() && it->Key == key ? &*it : nullptr;
  }

  // Read by Key in this order.
  static bool ByKey(const TLine& a, const TLine& b) { return a.Key < b.Key; }

  std::shared_ptr<const TDictImage> image_;
  std::vector<TLine> lines_;
};

}  // namespace velmora
