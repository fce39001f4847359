// The word tables of a dictionary folder (see dict/SideTable.h), made by
// scripts/make-word-tables: how often each key occurs (frequency.txt) and
// the traditional form of each entry whose form differs (traditional.txt).
// A folder without them searches as before, with every key counted as rare
// and no traditional forms.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "dict/SideTable.h"

namespace velmora {

struct TCountLine {
  std::string_view Key;
  std::uint64_t Count = 0;
};

// "KEY<TAB>COUNT" lines sorted by the key's bytes, and "KEY[READING]<TAB>COUNT"
// lines for the readings of characters read in more than one way; '#' lines
// are remarks.
class TWordFrequency : public TSideTable<TCountLine> {
 public:
  explicit TWordFrequency(std::shared_ptr<const TDictImage> image);

  // How often the key (GBK, without the separator) occurs; 0 when the
  // table does not count it.
  std::uint64_t Count(std::string_view key) const;
  // The count of one entry of the key, whose reading (inside the brackets,
  // as the entry writes it) is given: a character read in more than one
  // way has a share of its count for each reading ("KEY[READING]" lines);
  // any other entry has its key's count.
  std::uint64_t EntryCount(std::string_view key, std::string_view reading) const;
  // 1 for the most frequent key, 2 for the next, ...; keys of equal count
  // share the better rank. 0 when the table does not count the key.
  std::size_t Rank(std::string_view key) const;
  // How many keys the table counts.
  std::size_t Size() const { return desc_.size(); }
  // The sum of the source's counts (its "#total" remark), for
  // probabilities; the sum of the table's own counts when it has none.
  std::uint64_t Total() const { return total_; }

 private:
  mutable std::vector<std::uint64_t> desc_;  // every count, largest first once sorted
  mutable std::once_flag descSorted_;
  std::uint64_t total_ = 0;
};

struct TPlacedForms {
  int File = 0;
  std::size_t Offset = 0;
  std::string_view Simplified;
  std::string_view Traditional;
};

// "FILE<TAB>OFFSET<TAB>SIMPLIFIED<TAB>TRADITIONAL" lines; a "#sizes" remark
// names the sizes of 1.sr..5.sr that the offsets belong to.
class TTraditionalForms : public TSideTable<TPlacedForms> {
 public:
  TTraditionalForms(std::shared_ptr<const TDictImage> image,
                    const std::array<std::size_t, 5>& fileSizes);

  // False when the table was made for other files (or has no sizes): then
  // no entry has a form by file and offset, but keys still do.
  bool MatchesFiles() const { return matches_; }
  // The sizes of the files it was checked against.
  const std::array<std::size_t, 5>& FileSizes() const { return fileSizes_; }

  // The traditional form of the entry whose line starts at offset in
  // file (1..5) and has key (without the separator); empty when it is the
  // key itself or unknown.
  std::string_view Of(int file, std::size_t offset, std::string_view key) const;
  // The traditional form of the key's first entry that has one; empty when
  // none has.
  std::string_view OfKey(std::string_view key) const;
  // The key whose entry has this traditional form; empty when none has.
  std::string_view SimplifiedOf(std::string_view traditional) const;

 private:
  std::array<std::size_t, 5> fileSizes_{};
  void Index() const;
  mutable std::once_flag indexed_;
  mutable std::vector<const TPlacedForms*> bySimplified_;  // by key, then file and offset
  mutable std::vector<const TPlacedForms*> byTraditional_;
  bool matches_ = false;
};

// The tables of the current folder, from images (the search's own set);
// null when the folder has none or it cannot be read. Indexed once per image.
std::shared_ptr<const TWordFrequency> WordFrequency(TDictImages& images);
std::shared_ptr<const TTraditionalForms> TraditionalForms(TDictImages& images);

}  // namespace velmora
