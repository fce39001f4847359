// The words a sentence is made of, for the extended search's answer to a
// Chinese query that no entry holds: the entries whose keys are pieces of
// the text, found in one sweep of the files, and the most probable split of
// the text into them (TWordModel).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "dict/KeyEntries.h"
#include "dict/SearchRun.h"

namespace velmora {

class TWordFrequency;

// The entries whose keys are pieces of a text (every run of up to kLongest
// of its characters), found in one sweep of the files that hold keys of
// their lengths.
class TPieceEntries : public TKeySweep {
 public:
  // The longest piece looked for, in characters.
  static constexpr std::size_t kLongest = 12;

  explicit TPieceEntries(std::string_view text);
  // False when the search was stopped.
  bool Sweep(TSearchRun& run);
};

// The words of the most probable split that are keys, each once, in the
// order of the text.
std::vector<std::string_view> WordsOf(std::string_view text, const TPieceEntries& keys,
                                      const TWordFrequency* frequency);

// The extended search's answer to a sentence: the words' entries listed
// in the order of the text, under one heading; NotFound, with the view
// untouched, when the query is no sentence of known words.
TSearchOutcome ShowSentence(const std::string& query, TSearchRun& run,
                            const TExtendedDisplay& display);

}  // namespace velmora
