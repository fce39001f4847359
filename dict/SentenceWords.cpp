#include "dict/SentenceWords.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "dict/DictText.h"
#include "dict/ExtendedDisplay.h"
#include "dict/Ranking.h"
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

TSearchOutcome ShowSentence(const std::string& query, TSearchRun& run,
                            const TExtendedDisplay& display) {
  TPieceEntries keys(query);
  if (!keys.Sweep(run)) return TSearchOutcome::Stopped;
  const std::shared_ptr<const TWordFrequency> frequency = WordFrequency(run.Images());
  const std::vector<std::string_view> words = WordsOf(query, keys, frequency.get());
  if (words.empty()) return TSearchOutcome::NotFound;

  TResultView& view = run.View();
  view.ClearView();
  view.View().SetParagraphIndents(6, 22);
  run.ShowHeading(query);
  TEntryWriter writer(run, display);
  for (std::string_view word : words) {
    const std::vector<TPieceEntries::TFound>& entries = keys.Entries(word);
    // The word's common readings first. Its entries that only point
    // elsewhere ("variant of 是") say nothing of the sentence beside a real
    // one, and are left out then.
    const auto points = [&](std::size_t i) {
      return ranking::OnlyPointsElsewhere(SplitLine(entries[i].Line).Explanation);
    };
    bool real = false;
    for (std::size_t i = 0; i < entries.size() && !real; ++i) real = !points(i);
    std::vector<std::pair<std::uint64_t, std::size_t>> order;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (!real || !points(i))
        order.emplace_back(
            ranking::EntryWeight(SplitLine(entries[i].Line), frequency.get()), i);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [weight, i] : order) {
      const TPieceEntries::TFound& found = entries[i];
      if (run.Superseded()) return TSearchOutcome::Stopped;
      writer.Show(SplitLine(found.Line), found.File, found.Offset, {{0, word.size()}},
                  [](std::string_view) { return TSpans(); });
      if (run.Stopped(true)) return TSearchOutcome::Stopped;
    }
  }
  return run.Finish(true);
}

}  // namespace velmora
