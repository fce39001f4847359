// Byte-level helpers for GBK text. Every test and edit here respects
// character boundaries: walking from the start of the text, a byte from 0x81
// to 0xFE starts a two-byte character and takes the byte after it along,
// whatever that byte is. Many second bytes fall into the ASCII letter range,
// so treating bytes one by one would split characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

constexpr bool IsGbkLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

// Length of the character that starts at i, by the lead byte alone: a byte
// 0x81-0xFE takes the next byte with it, whatever that is (1 or 2; 1 for a
// lead byte that ends the text). The dictionary's rule for stepping
// through GBK; gbk::DecodedLengthAt is the converter's.
inline std::size_t LeadByteLengthAt(std::string_view text, std::size_t i) {
  return IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2
                                                                                   : 1;
}

// First occurrence of pattern that begins on a character boundary at or after
// from, which must itself be a boundary; npos if there is none. Exact bytes.
std::size_t FindAtBoundary(std::string_view text, std::string_view pattern,
                           std::size_t from = 0);

// Changes only single-byte ASCII letters, never a byte of a double-byte
// character.
void UpperAscii(std::string& text);
void LowerAscii(std::string& text);

// Replaces every occurrence of from that begins on a character boundary.
// Replacements are not searched again.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Case-insensitive containment of one query (ASCII letters only), counting
// only occurrences that begin on a character boundary. Built once per search;
// testing a line never copies it.
class TMatcher {
 public:
  explicit TMatcher(std::string_view query);
  bool In(std::string_view text) const;
  const std::string& Query() const { return upper_; }
  // True when only equal bytes can match (the query has no single-byte
  // letters, as every cleaned query).
  bool Exact() const { return !hasLetters_; }

 private:
  std::string upper_;
  // A query without single-byte letters can only match where the bytes are
  // equal, so the text needs no upper-cased copy.
  bool hasLetters_ = false;
};

}  // namespace velmora
