// What the learner's card shows of an entry besides the dictionary's own
// text: the HSK level of the word (hsk.txt), its frequency band (from the
// word counts of frequency.txt, dict/WordTables.h), and for a character its
// radical and stroke count (radicals.txt). The two tables are side tables
// (dict/SideTable.h) made by scripts/make-learner-tables. Either may be
// missing: then the card shows what the other gives.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dict/SideTable.h"
#include "dict/WordTables.h"

namespace velmora {

struct TKeyValueLine {
  std::string_view Key;
  std::string_view Value;
};

// Lines "KEY<TAB>VALUE..." of a table image (see ForEachRecord). The lines
// need not be sorted: they are indexed when the table is made, so a table
// edited by hand still answers right.
class TKeyTable : public TSideTable<TKeyValueLine> {
 public:
  explicit TKeyTable(std::shared_ptr<const TDictImage> image);
  // What follows the key's tab, up to the line's end (a CR dropped);
  // nothing when the key has no line. The first line of a key counts.
  std::optional<std::string_view> Find(std::string_view key) const;
  std::size_t Size() const { return lines_.size(); }
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
