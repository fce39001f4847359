// What the learner's card shows of an entry besides the dictionary's own
// text: the HSK level of the word (hsk.txt), its frequency band (from the
// word counts of frequency.txt, dict/WordTables.h), and for a character its
// radical and stroke count (radicals.txt). Both tables lie in the dictionary folder
// beside 1.sr..5.sr, are made by scripts/make-learner-tables and are GBK
// text, so keys are the bytes of the dictionary's own keys. Either may be
// missing: then the card shows what the other gives.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/WordTables.h"

namespace velmora {

inline constexpr std::string_view kHskFileName = "hsk.txt";
inline constexpr std::string_view kRadicalsFileName = "radicals.txt";

// Lines "KEY<TAB>VALUE..." of a table image; '#' lines are remarks, lines
// without a tab are skipped. The lines need not be sorted: they are indexed
// when the table is made, so a table edited by hand still answers right.
class TKeyTable {
 public:
  explicit TKeyTable(std::shared_ptr<const TDictImage> image);
  // What follows the key's tab, up to the line's end (a CR dropped);
  // nothing when the key has no line. The first line of a key counts.
  std::optional<std::string_view> Find(std::string_view key) const;
  std::size_t Size() const { return lines_.size(); }
  const TDictImage* Image() const { return image_.get(); }

 private:
  struct TLine {
    std::string_view Key;
    std::string_view Value;
  };
  std::shared_ptr<const TDictImage> image_;
  std::vector<TLine> lines_;  // by key, then by place in the file
};

// The facts of one entry's key; empty fields when a table is missing or
// does not hold the key.
struct TCardFacts {
  int Level = 0;        // HSK 2.0 level 1..6, 0 for none
  int Band = 0;         // frequency band 1..kBands (see FrequencyBand), 0 for none
  std::string Radical;  // GBK, for a key of one character
  int Strokes = 0;      // the character's stroke count, 0 for none
};

// Frequency bands of a key's rank among the dictionary's keys, the most
// frequent first: 1 up to rank 1,000, 2 up to 3,000, 3 up to 10,000, 4 up
// to 30,000, and 5 for every key counted beyond that. Rank 0 (not counted)
// has band 0.
inline constexpr int kBands = 5;
int FrequencyBand(std::size_t rank);

// The tables of one folder.
class TLearnerTables {
 public:
  // Null ones are missing tables.
  TLearnerTables(std::shared_ptr<const TDictImage> hsk,
                 std::shared_ptr<const TDictImage> radicals,
                 std::shared_ptr<const TWordFrequency> frequency);
  // Facts of key (GBK, without the separator).
  TCardFacts Facts(std::string_view key) const;
  bool HasLevels() const { return hsk_.Size() > 0; }
  bool HasRadicals() const { return radicals_.Size() > 0; }
  bool HasFrequencies() const { return frequency_ != nullptr; }
  // Whether these are the tables given.
  bool Of(const TDictImage* hsk, const TDictImage* radicals,
          const TWordFrequency* frequency) const;

 private:
  TKeyTable hsk_, radicals_;
  std::shared_ptr<const TWordFrequency> frequency_;
};

// The tables of the current folder, read through images (the search's own
// set, so that an unchanged file is read once); the same object while
// no table changed.
std::shared_ptr<const TLearnerTables> LearnerTables(TDictImages& images);

}  // namespace velmora
