#include "dict/SentenceWords.h"

#include <algorithm>

#include "dict/DictText.h"
#include "dict/Segmenter.h"
#include "dict/WordTables.h"

namespace velmora {

namespace {

std::vector<std::string_view> PiecesOf(std::string_view text) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < text.size(); i += LeadByteLengthAt(text, i))
    at.push_back(i);
  at.push_back(text.size());
  std::vector<std::string_view> pieces;
  for (std::size_t i = 0; i + 1 < at.size(); ++i)
    for (std::size_t j = i + 1; j < at.size() && j - i <= TPieceEntries::kLongest; ++j)
      pieces.push_back(text.substr(at[i], at[j] - at[i]));
  return pieces;
}

}  // namespace

TPieceEntries::TPieceEntries(std::string_view text)
    : TKeySweep(PiecesOf(text), TFiles::OfTheirLengths, TSplit::AtCharacters) {}

bool TPieceEntries::Sweep(TSearchRun& run) {
  return TKeySweep::Sweep({[&run](int number) { return run.Open(number); },
                           [&run] { return run.Stopped(false); },
                           run.Pacing().SliceBytes});
}

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
