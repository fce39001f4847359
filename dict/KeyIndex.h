// Every key of 1.sr..5.sr with its entries, for the extended search's
// answers that start from words rather than from a scan: the words a
// sentence splits into. Built from the images once, when first asked for,
// and again only when a file changes.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"

namespace velmora {

class TKeyIndex {
 public:
  struct TEntryRef {
    int File = 0;           // 1..5
    std::string_view Line;  // into the file's image, without its line end
  };

  // images[i] is the image of file i + 1, or null when it is missing.
  explicit TKeyIndex(std::array<std::shared_ptr<const TDictImage>, 5> images);

  // The entries whose key (without the separator) is key, in file order.
  std::vector<TEntryRef> Entries(std::string_view key) const;
  bool Has(std::string_view key) const;
  // The longest key, in characters.
  std::size_t LongestKey() const { return longest_; }
  const std::array<std::shared_ptr<const TDictImage>, 5>& Images() const {
    return images_;
  }

 private:
  struct TItem {
    std::string_view Key;
    TEntryRef Ref;
  };
  std::array<std::shared_ptr<const TDictImage>, 5> images_;
  std::vector<TItem> items_;  // by key, then file order
  std::size_t longest_ = 0;
};

// The index of the current folder's files, from images; built again when
// any of the five images changed. Null when 1.sr is missing.
std::shared_ptr<const TKeyIndex> KeyIndex(TDictImages& images);

}  // namespace velmora
