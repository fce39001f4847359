#include "dict/WordTables.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "dict/DictText.h"

namespace velmora {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// What follows name ("#sizes ") in the first of the table's leading
// remarks that starts with it, the line's CR dropped.
std::optional<std::string_view> Remark(std::string_view bytes, std::string_view name) {
  for (std::size_t at = 0; at < bytes.size() && bytes[at] == '#';) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with(name)) return line.substr(name.size());
  }
  return std::nullopt;
}

// The "#sizes" remark of the traditional table: five sizes, one space apart.
std::optional<std::array<std::size_t, 5>> RecordedSizes(std::string_view bytes) {
  std::optional<std::string_view> text = Remark(bytes, "#sizes ");
  if (!text) return std::nullopt;
  std::array<std::size_t, 5> sizes{};
  for (std::size_t& size : sizes) {
    const std::size_t space = std::min(text->find(' '), text->size());
    if (!ParseNumber(text->substr(0, space), size)) return std::nullopt;
    text->remove_prefix(std::min(space + 1, text->size()));
  }
  return sizes;
}

// The "#total" remark of the frequency table; 0 when it has none.
std::uint64_t RecordedTotal(std::string_view bytes) {
  const std::optional<std::string_view> text = Remark(bytes, "#total ");
  std::uint64_t total = 0;
  return text && ParseNumber(*text, total) ? total : 0;
}

// One index a table image, built again only when the image changes.
template <typename TTable>
class TTableCache {
 public:
  // stale(table) says whether a table of the same image must be built again.
  template <typename TMake, typename TStale>
  std::shared_ptr<const TTable> Get(const std::shared_ptr<const TDictImage>& image,
                                    TMake make, TStale stale) {
    std::lock_guard lock(mutex_);
    if (!image) return nullptr;
    if (image_.lock() != image || !table_ || stale(*table_)) {
      table_ = make();
      image_ = image;
    }
    return table_;
  }

 private:
  std::mutex mutex_;
  std::weak_ptr<const TDictImage> image_;
  std::shared_ptr<const TTable> table_;
};

}  // namespace

TWordFrequency::TWordFrequency(std::shared_ptr<const TDictImage> image)
    : TSideTable(std::move(image)) {
  Read<2>(
      [](const std::array<std::string_view, 2>& f) -> std::optional<TCountLine> {
        std::uint64_t count = 0;
        if (!ParseNumber(f[1], count) || count == 0) return std::nullopt;
        return TCountLine{f[0], count};
      },
      ByKey);
  desc_.reserve(lines_.size());
  std::uint64_t sum = 0;
  for (const TCountLine& line : lines_) {
    // A reading's share is no key of its own.
    if (FindAtBoundary(line.Key, "[") != std::string_view::npos) continue;
    desc_.push_back(line.Count);
    sum += line.Count;
  }
  total_ = RecordedTotal(image_->Bytes());
  if (total_ < sum) total_ = sum;
}

std::uint64_t TWordFrequency::Count(std::string_view key) const {
  const TCountLine* line = FindKey(key);
  return line ? line->Count : 0;
}

std::uint64_t TWordFrequency::EntryCount(std::string_view key,
                                         std::string_view reading) const {
  std::string shared;
  shared.reserve(key.size() + reading.size() + 2);
  shared.append(key).append("[").append(reading).append("]");
  if (const TCountLine* line = FindKey(shared)) return line->Count;
  return Count(key);
}

std::size_t TWordFrequency::Rank(std::string_view key) const {
  const TCountLine* line = FindKey(key);
  if (!line) return 0;
  // Sorted when first asked: only the learner's card ranks.
  std::call_once(descSorted_,
                 [this] { std::sort(desc_.begin(), desc_.end(), std::greater<>()); });
  // The first count not larger than this one, in the descending list.
  const auto it =
      std::lower_bound(desc_.begin(), desc_.end(), line->Count, std::greater<>());
  return std::size_t(it - desc_.begin()) + 1;
}

TTraditionalForms::TTraditionalForms(std::shared_ptr<const TDictImage> image,
                                     const std::array<std::size_t, 5>& fileSizes)
    : TSideTable(std::move(image)), fileSizes_(fileSizes) {
  matches_ = RecordedSizes(image_->Bytes()) == fileSizes;
  Read<4>(
      [](const std::array<std::string_view, 4>& f) -> std::optional<TPlacedForms> {
        TPlacedForms line;
        if (!ParseNumber(f[0], line.File) || line.File < 1 || line.File > 5 ||
            !ParseNumber(f[1], line.Offset) || f[2].empty() || f[3].empty())
          return std::nullopt;
        line.Simplified = f[2];
        line.Traditional = f[3];
        return line;
      },
      [](const TPlacedForms& a, const TPlacedForms& b) {
        return a.File != b.File ? a.File < b.File : a.Offset < b.Offset;
      });
}

// The two indexes by form are made when first asked for: a search that
// only shows forms by place needs neither.
void TTraditionalForms::Index() const {
  std::call_once(indexed_, [this] {
    for (const TPlacedForms& line : lines_) {
      bySimplified_.push_back(&line);
      byTraditional_.push_back(&line);
    }
    // Stable, so a key's entries keep the order of the files.
    std::stable_sort(bySimplified_.begin(), bySimplified_.end(),
                     [](const TPlacedForms* a, const TPlacedForms* b) {
                       return a->Simplified < b->Simplified;
                     });
    std::stable_sort(byTraditional_.begin(), byTraditional_.end(),
                     [](const TPlacedForms* a, const TPlacedForms* b) {
                       return a->Traditional < b->Traditional;
                     });
  });
}

std::string_view TTraditionalForms::Of(int file, std::size_t offset,
                                       std::string_view key) const {
  if (!matches_) return {};
  const auto it = std::lower_bound(
      lines_.begin(), lines_.end(), std::pair(file, offset),
      [](const TPlacedForms& l, const std::pair<int, std::size_t>& p) {
        return l.File != p.first ? l.File < p.first : l.Offset < p.second;
      });
  // The key guards against a file changed since the table was made at the
  // same size.
  if (it == lines_.end() || it->File != file || it->Offset != offset ||
      it->Simplified != key)
    return {};
  return it->Traditional;
}

std::string_view TTraditionalForms::OfKey(std::string_view key) const {
  Index();
  const auto it = std::lower_bound(
      bySimplified_.begin(), bySimplified_.end(), key,
      [](const TPlacedForms* l, std::string_view k) { return l->Simplified < k; });
  return it != bySimplified_.end() && (*it)->Simplified == key ? (*it)->Traditional
                                                               : std::string_view();
}

std::string_view TTraditionalForms::SimplifiedOf(std::string_view traditional) const {
  Index();
  const auto it = std::lower_bound(
      byTraditional_.begin(), byTraditional_.end(), traditional,
      [](const TPlacedForms* l, std::string_view t) { return l->Traditional < t; });
  return it != byTraditional_.end() && (*it)->Traditional == traditional
             ? (*it)->Simplified
             : std::string_view();
}

std::shared_ptr<const TWordFrequency> WordFrequency(TDictImages& images) {
  static TTableCache<TWordFrequency> cache;
  const std::shared_ptr<const TDictImage> image =
      images.Open(std::string(kFrequencyFileName));
  return cache.Get(
      image, [&] { return std::make_shared<const TWordFrequency>(image); },
      [](const TWordFrequency&) { return false; });
}

std::shared_ptr<const TTraditionalForms> TraditionalForms(TDictImages& images) {
  static TTableCache<TTraditionalForms> cache;
  std::array<std::size_t, 5> sizes{};
  for (int number = 1; number <= 5; ++number)
    if (const auto file = images.Open(DictFileName(number)))
      sizes[number - 1] = file->Bytes().size();
  const std::shared_ptr<const TDictImage> image =
      images.Open(std::string(kTraditionalFileName));
  // The dictionary files may change under an unchanged table.
  return cache.Get(
      image, [&] { return std::make_shared<const TTraditionalForms>(image, sizes); },
      [&](const TTraditionalForms& t) { return t.FileSizes() != sizes; });
}

}  // namespace velmora
