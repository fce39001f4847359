// Splits a text into the dictionary's words: the most probable split, as
// word-frequency segmenters do it. Each place in the text starts the words
// that are keys there (a graph of the text's characters); the best path
// through it maximises the sum of the words' log probabilities, a word's
// probability being its count over the total (a key or a lone character the
// table does not count weighs as a count of 1). Without counts every word
// weighs the same, and the split with the fewest words wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace velmora {

struct TWordModel {
  // Whether text is a word of the dictionary. Lone characters are always
  // allowed in a split, words or not.
  std::function<bool(std::string_view)> IsWord;
  // How often it occurs; 0 for unknown.
  std::function<std::uint64_t(std::string_view)> Count;
  std::uint64_t Total = 0;      // the sum of all counts; 0 when there are none
  std::size_t LongestWord = 8;  // in characters
};

// A word of the split: its bytes in text.
struct TWordPiece {
  std::size_t From = 0;
  std::size_t Size = 0;
};

// The split of a GBK text, in order; ties go to the longer first word, as
// the path is chosen from the end of the text backwards.
std::vector<TWordPiece> SplitIntoWords(std::string_view text, const TWordModel& model);

// The score the split maximises, for tests and comparisons.
double SplitScore(std::string_view text, const std::vector<TWordPiece>& split,
                  const TWordModel& model);

}  // namespace velmora
