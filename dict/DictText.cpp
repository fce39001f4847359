#include "dict/DictText.h"

#include <cstring>

namespace velmora {

namespace {

template <typename F>
void ForEachSingleByte(std::string& text, F f) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = LeadByteLengthAt(text, i);
    if (n == 1) text[i] = f(text[i]);
    i += n;
  }
}

}  // namespace

std::size_t FindAtBoundary(std::string_view text, std::string_view pattern,
                           std::size_t from) {
  if (from > text.size()) return std::string_view::npos;
  if (pattern.empty()) return from;
  if (pattern.size() > text.size() - from) return std::string_view::npos;
  // memchr for the first byte and a compare beat a general substring search
  // on the short texts of one dictionary line.
  const char* const data = text.data();
  const char* const last = data + (text.size() - pattern.size());
  const char first = pattern[0];
  std::size_t boundary = from;
  for (const char* p = data + from; p <= last; ++p) {
    p = static_cast<const char*>(std::memchr(p, first, std::size_t(last - p) + 1));
    if (!p) break;
    if (std::memcmp(p + 1, pattern.data() + 1, pattern.size() - 1) != 0) continue;
    const std::size_t at = std::size_t(p - data);
    while (boundary < at)
      boundary += IsGbkLeadByte(static_cast<unsigned char>(data[boundary])) ? 2 : 1;
    if (boundary == at) return at;
  }
  return std::string_view::npos;
}

void UpperAscii(std::string& text) {
  ForEachSingleByte(text, [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
}

void LowerAscii(std::string& text) {
  ForEachSingleByte(text, [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
}

std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t done = 0;
  for (std::size_t at = FindAtBoundary(text, from); at != std::string_view::npos;
       at = FindAtBoundary(text, from, done)) {
    out.append(text.substr(done, at - done));
    out.append(to);
    done = at + from.size();
  }
  out.append(text.substr(done));
  return out;
}

TMatcher::TMatcher(std::string_view query) : upper_(query) {
  UpperAscii(upper_);
  for (std::size_t i = 0; i < upper_.size(); i += LeadByteLengthAt(upper_, i))
    if (upper_[i] >= 'A' && upper_[i] <= 'Z') hasLetters_ = true;
}

bool TMatcher::In(std::string_view text) const {
  if (upper_.empty()) return true;
  if (text.size() < upper_.size()) return false;
  if (!hasLetters_) return FindAtBoundary(text, upper_) != std::string_view::npos;
  // Compared in place, character by character, so that a long line is
  // never copied: single-byte letters of the text are upper-cased on the
  // fly, bytes of double-byte characters compared as they are.
  const std::size_t m = upper_.size();
  for (std::size_t i = 0; i + m <= text.size(); i += LeadByteLengthAt(text, i)) {
    std::size_t k = 0;
    while (k < m) {
      const char c = text[i + k];
      if (LeadByteLengthAt(text, i + k) == 2) {
        if (c != upper_[k] || (k + 1 < m && text[i + k + 1] != upper_[k + 1])) break;
        k += 2;
      } else {
        if ((c >= 'a' && c <= 'z' ? char(c - 32) : c) != upper_[k]) break;
        ++k;
      }
    }
    if (k >= m) return true;
  }
  return false;
}

}  // namespace velmora
