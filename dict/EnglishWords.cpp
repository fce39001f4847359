#include "dict/EnglishWords.h"

#include <algorithm>

#include "dict/DictText.h"
#include "dict/EnglishForms.h"
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
// Readings in brackets are passed over.
void WordsOf(std::string_view text, std::size_t from, std::size_t to,
             std::vector<TWord>& words) {
  words.clear();
  int depth = 0;
  bool reading = false;
  for (std::size_t i = from; i < to;) {
    const std::size_t n = LeadByteLengthAt(text, i);
    if (n == 1 && IsWordByte(text[i])) {
      TWord w{i, i, depth};
      while (w.End < to && IsWordByte(text[w.End])) ++w.End;
      if (!reading) words.push_back(w);
      i = w.End;
      continue;
    }
    if (n == 1 && text[i] == '(') ++depth;
    if (n == 1 && text[i] == ')' && depth > 0) --depth;
    if (n == 1 && text[i] == '[') reading = true;
    if (n == 1 && text[i] == ']') reading = false;
    i += n;
  }
}

bool SameText(std::string_view text, std::size_t from, std::size_t to,
              const std::string& word) {
  if (to - from != word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k)
    if (Lower(text[from + k]) != word[k]) return false;
  return true;
}

// The better of two matches: the lower kind, None counting as worst.
TWordsMatch Better(TWordsMatch a, TWordsMatch b) {
  if (a == TWordsMatch::None) return b;
  if (b == TWordsMatch::None) return a;
  return std::min(a, b);
}

bool SameWord(std::string_view text, const TWord& w, const std::string& word) {
  return SameText(text, w.Start, w.End, word);
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
    TWordForms forms = FormsOf(word);
    // The beginning all forms share, and the longest form.
    std::string shared = word;
    std::size_t longest = 0;
    for (const auto* list : {&forms.Own, &forms.Derived}) {
      for (const std::string& f : *list) {
        const auto [end, unused] =
            std::mismatch(shared.begin(), shared.end(), f.begin(), f.end());
        shared.erase(end, shared.end());
        longest = std::max(longest, f.size());
      }
    }
    if (shared.size() > q.needle_.size()) {
      q.needle_ = shared;
      q.needleWord_ = q.words_.size();
      q.needleLongest_ = longest;
    }
    q.words_.push_back(std::move(word));
    q.forms_.push_back(TForms{std::move(forms.Own), std::move(forms.Derived)});
  }
  if (q.words_.empty()) return std::nullopt;
  return q;
}

int TWordsQuery::FormMatch(std::string_view text, std::size_t from, std::size_t to,
                           std::size_t k) const {
  for (const std::string& f : forms_[k].Own)
    if (SameText(text, from, to, f)) return 1;
  for (const std::string& f : forms_[k].Derived)
    if (SameText(text, from, to, f)) return 2;
  return 0;
}

bool TWordsQuery::NeedleWordAt(std::string_view text, std::size_t at) const {
  // A letter or digit right before it, where the byte before that can't be
  // a lead byte (so the one before is a character of its own), makes it
  // part of a longer word.
  if (at >= 1 && IsWordByte(text[at - 1]) &&
      (at == 1 || static_cast<unsigned char>(text[at - 2]) < 0x81))
    return false;
  std::size_t end = at;
  while (end < text.size() && IsWordByte(text[end]))
    if (++end - at > needleLongest_) return false;
  if (end == text.size()) return true;
  return FormMatch(text, at, end, needleWord_) != 0;
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
  // How words, from index i on, stand for the query's words from k on:
  // 0 not at all, 1 each as itself, 2 some in a dictionary form.
  auto run = [&](const std::vector<TWord>& w, std::size_t i, std::size_t k) {
    int how = 1;
    for (; k < words_.size(); ++k, ++i) {
      const int m = FormMatch(explanation, w[i].Start, w[i].End, k);
      if (m == 0) return 0;
      how = std::max(how, m);
    }
    return how;
  };
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
      const int how = run(words, i, 0);
      if (how == 0) continue;
      here = true;
      best = Better(best, how == 1 ? TWordsMatch::Words : TWordsMatch::WordsForm);
      if (spans) spans->emplace_back(words[i].Start, words[i + words_.size() - 1].End);
    }
    // The sense's words outside parentheses, without a leading "to", equal
    // to the query's, whether or not they stand together.
    plain.clear();
    for (const TWord& w : words)
      if (w.Depth == 0) plain.push_back(w);
    const std::size_t senseSkip =
        plain.size() > 1 && SameWord(explanation, plain[0], "to") ? 1 : 0;
    if (plain.size() - senseSkip == words_.size() - skip) {
      if (const int how = run(plain, senseSkip, skip)) {
        best = Better(best, how == 1 ? TWordsMatch::Equal : TWordsMatch::EqualForm);
        if (!spans && best == TWordsMatch::Equal) break;
        if (spans && !here) spans->emplace_back(plain[senseSkip].Start, plain.back().End);
      }
    }
    from = to + 1;
  }
  return best;
}

}  // namespace velmora::english
