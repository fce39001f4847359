#include "platform/richedit/TextLayout.h"

#include <array>

#include "platform/classes/Gbk.h"

namespace velmora::richedit {
namespace {

constexpr std::array<std::string_view, 5> kPrefixes = {"file://", "http://", "https://",
                                                       "ftp://", "mailto:"};

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

bool EndsLink(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::vector<TLinkRange> FindLinks(std::string_view text) {
  std::vector<TLinkRange> links;
  size_t i = 0;
  while (i < text.size()) {
    size_t prefix = 0;
    for (std::string_view p : kPrefixes)
      if (StartsWithNoCase(text, i, p)) prefix = p.size();
    if (prefix != 0) {
      size_t end = i + prefix;
      while (end < text.size() && !EndsLink(text[end])) ++end;
      if (end > i + prefix) {
        links.push_back({int(i), int(end - i)});
        i = end;
        continue;
      }
    }
    i += gbk::CharLengthAt(text, i);
  }
  return links;
}

}  // namespace velmora::richedit
