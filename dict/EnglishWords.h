// English words in the senses of an explanation. Words are runs of ASCII
// letters and digits, compared without regard to case; anything else
// (spaces, punctuation, apostrophes, double-byte characters) only parts
// them, so "green tea", "green-tea" and "Green Tea!" hold the same words.
// Senses are the parts of an explanation after its reading, between ";" and
// "/".
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
  Equal,  // a sense says just the query, "to " and remarks in parentheses aside
  Words,  // a sense holds the query's words one after the other
};

// A byte range [first, second) of the text given to Match.
using TSpan = std::pair<std::size_t, std::size_t>;

class TWordsQuery {
 public:
  // A query (GBK) of single-byte characters that holds at least one word;
  // nullopt for any other.
  static std::optional<TWordsQuery> Parse(std::string_view gbk);

  // The longest word: every line with a match holds its bytes, letters in
  // either case.
  const std::string& Needle() const { return needle_; }
  const std::vector<std::string>& Words() const { return words_; }

  // Looks for the query's words in the senses of an explanation (the text
  // after the reading when it has one); spans receives every place they
  // stand, as offsets into explanation.
  TWordsMatch Match(std::string_view explanation,
                    std::vector<TSpan>* spans = nullptr) const;

 private:
  std::vector<std::string> words_;  // lower case
  std::string needle_;
};

}  // namespace velmora::english
