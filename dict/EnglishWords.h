// English words in the senses of an explanation. Words are runs of ASCII
// letters and digits, compared without regard to case; anything else
// (spaces, punctuation, apostrophes, double-byte characters) only parts
// them, so "green tea", "green-tea" and "Green Tea!" hold the same words.
// Senses are the parts of an explanation after its reading, between ";" and
// "/". A reading in brackets inside a sense (a cross-reference such as
// 西安市[xi1 an1 shi4]) holds no English words.
//
// A query word also matches its other forms (EnglishForms.h): its American
// spelling as if it were the word itself, its dictionary form ("students"
// finds "student") as a match of its own kind, ranked after the word's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::english {

enum class TWordsMatch {
  None,
  Equal,      // a sense says just the query, "to " and remarks in parentheses aside
  EqualForm,  // the same, some word in its dictionary form
  Words,      // a sense holds the query's words one after the other
  WordsForm,  // the same, some word in its dictionary form
};

// A byte range [first, second) of the text given to Match.
using TSpan = std::pair<std::size_t, std::size_t>;

class TWordsQuery {
 public:
  // A query (GBK) of single-byte characters that holds at least one word;
  // nullopt for any other.
  static std::optional<TWordsQuery> Parse(std::string_view gbk);

  // The beginning shared by every form of one word, the longest such:
  // every line with a match holds its bytes, letters in either case.
  const std::string& Needle() const { return needle_; }
  const std::vector<std::string>& Words() const { return words_; }

  // A second look at a place where the needle's bytes stand in text: false
  // when no form of its word stands there as a word of its own (a longer
  // word holds the bytes). Where text ends too soon to tell, true.
  bool NeedleWordAt(std::string_view text, std::size_t at) const;

  // Looks for the query's words in the senses of an explanation (the text
  // after the reading when it has one); spans receives every place they
  // stand, as offsets into explanation.
  TWordsMatch Match(std::string_view explanation,
                    std::vector<TSpan>* spans = nullptr) const;

 private:
  struct TForms {
    std::vector<std::string> Own, Derived;  // see english::TWordForms
  };
  // How a sense word stands for query word k: 0 not at all, 1 as the word
  // itself, 2 as its dictionary form.
  int FormMatch(std::string_view text, std::size_t from, std::size_t to,
                std::size_t k) const;

  std::vector<std::string> words_;  // lower case
  std::vector<TForms> forms_;       // one per word
  std::string needle_;
  std::size_t needleWord_ = 0;     // the word whose forms begin with needle_
  std::size_t needleLongest_ = 0;  // its longest form
};

}  // namespace velmora::english
