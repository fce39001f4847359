// The entries of a few keys, found by one sweep of 1.sr..5.sr: each line's
// key is looked up among the keys asked for. No index of every key is kept
// between sweeps, so a sweep costs about one reading of the files, and less:
// only the lines that begin with a key's first character are looked at. For
// the pieces of a sentence (dict/SentenceWords.h), the words of a word list
// and the entry shown.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dict/Prefilter.h"

namespace velmora {

class TDictImage;
class TDictImages;

class TKeySweep {
 public:
  struct TFound {
    int File = 0;            // 1..5
    std::size_t Offset = 0;  // of the line in its file
    std::string_view Line;   // without its line feed; valid while the sweep lives
  };
  // Which files are swept: those that hold keys of the keys' lengths (a key
  // of n characters lies in file n, of five or more in 5.sr), or all five.
  enum class TFiles { OfTheirLengths, Every };
  // Where a line's key ends: at the first separator's bytes, as the files
  // split their lines (even where 0xA3 ends the character before), or at the
  // first separator that stands where a character begins.
  enum class TSplit { AsTheFiles, AtCharacters };

  // keys: GBK, without the separator; their bytes must outlive the sweep.
  // An empty key has no entries.
  TKeySweep(const std::vector<std::string_view>& keys, TFiles files, TSplit split);

  // Where the files come from and when to end a sweep: Open(number) gives a
  // file, or none when it is missing (it is then passed over); Stopped() is
  // asked at least every SliceBytes scanned and says whether to end.
  struct TSource {
    std::function<std::shared_ptr<const TDictImage>(int number)> Open;
    std::function<bool()> Stopped = [] { return false; };
    std::size_t SliceBytes = std::size_t(1) << 20;
  };
  // Sweeps the files; false when it was stopped.
  bool Sweep(const TSource& source);

  bool Has(std::string_view key) const { return found_.count(key) != 0; }
  // The key's entries in the order of the files; the key must have some.
  const std::vector<TFound>& Entries(std::string_view key) const {
    return found_.at(key);
  }

 private:
  // More first characters than these make the vector search slow: every
  // line's first character is then looked up in firstBits_ instead.
  static constexpr std::size_t kFewFirsts = 4;

  bool SweepFound(const TSource& source, int number, std::string_view bytes);
  bool SweepAll(const TSource& source, int number, std::string_view bytes);
  void Look(int number, std::string_view bytes, std::string_view line);

  std::unordered_set<std::string_view> keys_;
  bool atCharacters_ = false;
  std::size_t longestBytes_ = 0;
  bool files_[6] = {};  // by number
  std::vector<bool> firstBits_ = std::vector<bool>(1 << 16);
  std::optional<TNeedleFinder> finder_;  // when the first characters are few
  std::unordered_map<std::string_view, std::vector<TFound>> found_;
  std::vector<std::shared_ptr<const TDictImage>> held_;
};

struct TKeyEntry {
  int File = 0;             // 1..5
  std::string Explanation;  // as the file has it (a CR before the line feed dropped)
};

// keys: GBK, without the separator. The entries of each key found, in the
// order of the files (all five are swept, lines split as the files split
// them); a key without entries is not in the map.
std::map<std::string, std::vector<TKeyEntry>, std::less<>> EntriesOfKeys(
    const std::set<std::string, std::less<>>& keys, TDictImages& images);

}  // namespace velmora
