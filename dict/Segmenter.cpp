#include "dict/Segmenter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dict/DictText.h"

namespace velmora {

namespace {

// Without a table, every word costs the same, and a larger total than any
// real one makes each word cost much: the fewest words win.
constexpr double kTotalWithoutCounts = 1e8;

double LogTotal(const TWordModel& model) {
  return std::log(model.Total ? double(model.Total) : kTotalWithoutCounts);
}

double WordScore(std::string_view word, const TWordModel& model, double logTotal) {
  const std::uint64_t count = model.Count ? model.Count(word) : 0;
  return std::log(double(count ? count : 1)) - logTotal;
}

}  // namespace

std::vector<TWordPiece> SplitIntoWords(std::string_view text, const TWordModel& model) {
  // Character boundaries.
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < text.size(); i += LeadByteLengthAt(text, i))
    at.push_back(i);
  const std::size_t n = at.size();
  at.push_back(text.size());

  const double logTotal = LogTotal(model);
  // best[i]: the best score of the text from character i on; next[i]: the
  // end of the first word of that split.
  std::vector<double> best(n + 1, 0.0);
  std::vector<std::size_t> next(n + 1, n);
  for (std::size_t i = n; i-- > 0;) {
    best[i] = -std::numeric_limits<double>::infinity();
    const std::size_t last = std::min(n, i + std::max<std::size_t>(1, model.LongestWord));
    for (std::size_t j = i + 1; j <= last; ++j) {
      const std::string_view word = text.substr(at[i], at[j] - at[i]);
      if (j > i + 1 && !model.IsWord(word)) continue;
      const double score = WordScore(word, model, logTotal) + best[j];
      // >=: on a tie the longer word.
      if (score >= best[i]) {
        best[i] = score;
        next[i] = j;
      }
    }
  }
  std::vector<TWordPiece> split;
  for (std::size_t i = 0; i < n; i = next[i])
    split.push_back(TWordPiece{at[i], at[next[i]] - at[i]});
  return split;
}

double SplitScore(std::string_view text, const std::vector<TWordPiece>& split,
                  const TWordModel& model) {
  const double logTotal = LogTotal(model);
  double score = 0;
  for (const TWordPiece& piece : split)
    score += WordScore(text.substr(piece.From, piece.Size), model, logTotal);
  return score;
}

}  // namespace velmora
