#include "dict/KeyIndex.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "dict/DictText.h"
#include "dict/Ranking.h"

namespace velmora {

TKeyIndex::TKeyIndex(std::array<std::shared_ptr<const TDictImage>, 5> images)
    : images_(std::move(images)) {
  for (int file = 1; file <= 5; ++file) {
    if (!images_[file - 1]) continue;
    std::string_view bytes = images_[file - 1]->Bytes();
    while (!bytes.empty()) {
      const std::size_t end = std::min(bytes.find('\n'), bytes.size());
      std::string_view line = bytes.substr(0, end);
      bytes.remove_prefix(std::min(end + 1, bytes.size()));
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) continue;
      std::string_view key = SplitLine(line).Key;
      if (key.ends_with(kKeySeparator)) key.remove_suffix(kKeySeparator.size());
      items_.push_back(TItem{key, TEntryRef{file, line}});
    }
  }
  std::stable_sort(items_.begin(), items_.end(),
                   [](const TItem& a, const TItem& b) { return a.Key < b.Key; });
  for (const TItem& item : items_)
    longest_ = std::max(longest_, ranking::CharCount(item.Key));
}

std::vector<TKeyIndex::TEntryRef> TKeyIndex::Entries(std::string_view key) const {
  auto [from, to] =
      std::equal_range(items_.begin(), items_.end(), TItem{key, {}},
                       [](const TItem& a, const TItem& b) { return a.Key < b.Key; });
  std::vector<TEntryRef> refs;
  for (; from != to; ++from) refs.push_back(from->Ref);
  return refs;
}

bool TKeyIndex::Has(std::string_view key) const {
  return std::binary_search(items_.begin(), items_.end(), TItem{key, {}},
                            [](const TItem& a, const TItem& b) { return a.Key < b.Key; });
}

std::shared_ptr<const TKeyIndex> KeyIndex(TDictImages& images) {
  static std::mutex mutex;
  static std::shared_ptr<const TKeyIndex> cached;
  std::array<std::shared_ptr<const TDictImage>, 5> now;
  for (int file = 1; file <= 5; ++file) now[file - 1] = images.Open(DictFileName(file));
  if (!now[0]) return nullptr;
  std::lock_guard lock(mutex);
  if (!cached || cached->Images() != now) cached = std::make_shared<const TKeyIndex>(now);
  return cached;
}

}  // namespace velmora
