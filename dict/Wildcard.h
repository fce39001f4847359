// Wildcards over a whole key: "?" stands for one character (a double-byte
// character counts as one), "*" for any run of characters, none included.
// Other characters stand for themselves, ASCII letters in either case.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

class TWildcard {
 public:
  // A query (GBK) holding "*" or "?" as characters of their own; spaces at
  // either end don't count. nullopt for any other query.
  static std::optional<TWildcard> Parse(std::string_view gbk);

  // The longest run of literal characters (upper-cased letters; compare
  // without regard to case), which every matching key holds; empty when the
  // pattern has none.
  const std::string& Needle() const { return needle_; }
  // The pattern as read: without the spaces around it, and each run of "*"
  // as one.
  const std::string& Pattern() const { return pattern_; }

  // Whether the key (without its separator) matches; literals receives the
  // byte ranges [first, second) of the key that literal characters matched.
  bool Match(std::string_view key,
             std::vector<std::pair<std::size_t, std::size_t>>* literals = nullptr) const;

 private:
  // One string per character of the pattern, empty for "?".
  using TSegment = std::vector<std::string>;
  // The pattern cut at each "*": the first segment is anchored at the start
  // of the key, the last at its end (one segment without "*": both).
  std::vector<TSegment> segments_;
  std::string pattern_;
  std::string needle_;
};

}  // namespace velmora
