// The extended search's first sieve over a file's raw bytes: a line can
// match only where it holds one of a few byte strings (a syllable after
// "：[", the longest English word, the literal part of a wildcard, either
// script of a Chinese query). One pass over the image finds those places
// with vector compares; only the lines around them are split and tested.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dict/FoundLines.h"

namespace velmora {

struct TNeedle {
  std::string Bytes;
  bool AnyCase = false;  // ASCII letters match in either case
  // A second look at a place where the bytes stand (text, the needle's
  // position in it), to pass over places that can't match before their line
  // is cut out and tested. It must not refuse a place whose line could
  // match, nor look past the end of text: where it would need to, it
  // accepts.
  std::function<bool(std::string_view text, std::size_t at)> Accept;
};

// Finds where any of a few needles begins. Without needles every position
// is a place, so every line is a candidate.
class TNeedleFinder {
 public:
  explicit TNeedleFinder(std::vector<TNeedle> needles);
  // The first position in [from, text.size()) at which a needle begins, or
  // npos.
  std::size_t Find(std::string_view text, std::size_t from) const;
  // The longest needle's length (0 without needles).
  std::size_t MaxSize() const { return maxSize_; }

 private:
  struct TPrepared {
    std::string Bytes;  // letters lowered when AnyCase
    bool AnyCase = false;
    std::function<bool(std::string_view, std::size_t)> Accept;
  };
  bool At(std::string_view text, std::size_t at, const TPrepared& n) const;
  std::size_t FindScalar(std::string_view text, std::size_t from) const;
  std::vector<TPrepared> needles_;
  std::size_t maxSize_ = 0;
};

// The lines of an image that hold a needle, in order, each once; the same
// rules for lines as the standard search's candidates (TFoundLines).
using TNeedleLines = TFoundLines<TNeedleFinder>;

}  // namespace velmora
