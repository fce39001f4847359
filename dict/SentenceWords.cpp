#include "dict/SentenceWords.h"

#include <algorithm>

#include "dict/DictText.h"
#include "dict/Segmenter.h"
#include "dict/WordTables.h"

namespace velmora {

// The words of the most probable split that are keys, each once, in the
// order of the text.
std::vector<std::string_view> WordsOf(std::string_view text, const TPieceEntries& keys,
                                      const TWordFrequency* frequency) {
  TWordModel model;
  model.IsWord = [&keys](std::string_view w) { return keys.Has(w); };
  if (frequency) {
    model.Count = [frequency](std::string_view w) { return frequency->Count(w); };
    model.Total = frequency->Total();
  }
  model.LongestWord = TPieceEntries::kLongest;
  std::vector<std::string_view> words;
  for (const TWordPiece& piece : SplitIntoWords(text, model)) {
    const std::string_view word = text.substr(piece.From, piece.Size);
    if (keys.Has(word) && std::find(words.begin(), words.end(), word) == words.end())
      words.push_back(word);
  }
  return words;
}

}  // namespace velmora
