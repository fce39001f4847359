#include "dict/EnglishWords.h"

#include "dict/DictText.h"
#include "dict/Pinyin.h"

namespace velmora::english {

namespace {

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

struct TWord {
  std::size_t Start = 0, End = 0;
  int Depth = 0;  // how many parentheses it stands in
};

// The words of one sense, walking character by character so that the
// second byte of a double-byte character is never taken for a letter.
void WordsOf(std::string_view text, std::size_t from, std::size_t to,
             std::vector<TWord>& words) {
  words.clear();
  int depth = 0;
  for (std::size_t i = from; i < to;) {
    const std::size_t n = LeadByteLengthAt(text, i);
    if (n == 1 && IsWordByte(text[i])) {
      TWord w{i, i, depth};
      while (w.End < to && IsWordByte(text[w.End])) ++w.End;
      words.push_back(w);
      i = w.End;
      continue;
    }
    if (n == 1 && text[i] == '(') ++depth;
    if (n == 1 && text[i] == ')' && depth > 0) --depth;
    i += n;
  }
}

bool SameWord(std::string_view text, const TWord& w, const std::string& word) {
  if (w.End - w.Start != word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k)
    if (Lower(text[w.Start + k]) != word[k]) return false;
  return true;
}

}  // namespace

std::optional<TWordsQuery> TWordsQuery::Parse(std::string_view gbk) {
  TWordsQuery q;
  for (std::size_t i = 0; i < gbk.size();) {
    if (IsGbkLeadByte(static_cast<unsigned char>(gbk[i]))) return std::nullopt;
    if (!IsWordByte(gbk[i])) {
      ++i;
      continue;
    }
    std::string word;
    while (i < gbk.size() && IsWordByte(gbk[i])) word.push_back(Lower(gbk[i++]));
    if (word.size() > q.needle_.size()) q.needle_ = word;
    q.words_.push_back(std::move(word));
  }
  if (q.words_.empty()) return std::nullopt;
  return q;
}

TWordsMatch TWordsQuery::Match(std::string_view explanation,
                               std::vector<TSpan>* spans) const {
  std::size_t from = 0;
  if (const std::optional<std::string_view> reading = pinyin::ReadingOf(explanation))
    from = std::size_t(reading->data() + reading->size() - explanation.data()) + 1;
  // The query's words without a leading "to", unless that is all of them.
  const std::size_t skip = words_.size() > 1 && words_[0] == "to" ? 1 : 0;
  TWordsMatch best = TWordsMatch::None;
  std::vector<TWord> words, plain;
  while (from <= explanation.size()) {
    std::size_t to = from;
    while (to < explanation.size()) {
      const std::size_t n = LeadByteLengthAt(explanation, to);
      if (n == 1 && (explanation[to] == ';' || explanation[to] == '/')) break;
      to += n;
    }
    WordsOf(explanation, from, to, words);
    // The query's words one after the other anywhere in the sense.
    bool here = false;
    for (std::size_t i = 0; i + words_.size() <= words.size(); ++i) {
      std::size_t k = 0;
      while (k < words_.size() && SameWord(explanation, words[i + k], words_[k])) ++k;
      if (k < words_.size()) continue;
      here = true;
      if (!spans) break;
      spans->emplace_back(words[i].Start, words[i + k - 1].End);
    }
    if (here && best == TWordsMatch::None) best = TWordsMatch::Words;
    // The sense's words outside parentheses, without a leading "to", equal
    // to the query's, whether or not they stand together.
    plain.clear();
    for (const TWord& w : words)
      if (w.Depth == 0) plain.push_back(w);
    const std::size_t senseSkip =
        plain.size() > 1 && SameWord(explanation, plain[0], "to") ? 1 : 0;
    if (plain.size() - senseSkip == words_.size() - skip) {
      std::size_t k = 0;
      while (k + skip < words_.size() &&
             SameWord(explanation, plain[k + senseSkip], words_[k + skip]))
        ++k;
      if (k + skip == words_.size()) {
        best = TWordsMatch::Equal;
        if (!spans) break;
        if (!here) spans->emplace_back(plain[senseSkip].Start, plain.back().End);
      }
    }
    from = to + 1;
  }
  return best;
}

}  // namespace velmora::english
