#include "dict/ExtendedQuery.h"

#include <iterator>
#include <optional>
#include <string_view>

#include "dict/DictText.h"

namespace velmora {

namespace {

// The full-width forms and punctuation read as a plain character, or
// nullopt: letters, digits, ？, ＊, ＇, the ideographic space, ‘ and ’.
std::optional<char32_t> PlainChar(char32_t c) {
  if ((c >= U'\uFF21' && c <= U'\uFF3A') || (c >= U'\uFF41' && c <= U'\uFF5A') ||
      (c >= U'\uFF10' && c <= U'\uFF19') || c == U'\uFF1F' || c == U'\uFF0A' ||
      c == U'\uFF07')
    return c - 0xFF00 + 0x20;
  if (c == U'\u3000') return U' ';
  if (c == U'\u2018' || c == U'\u2019') return U'\'';
  return std::nullopt;
}

// The vowels of pinyin and the composed characters they take: with the
// tone marks 1 to 4 (macron, acute, caron, grave), then with the vowel's
// own further mark if it has one (ê, ü), in lower case and in capitals.
constexpr char32_t kToneMarks[] = {0x304, 0x301, 0x30C, 0x300};
struct TVowel {
  char32_t Base, Capital;
  std::u32string_view Composed, Capitals;
  char32_t FurtherMark = 0;
};
constexpr TVowel kVowels[] = {
    {U'a', U'A', U"\u0101\u00E1\u01CE\u00E0", U"\u0100\u00C1\u01CD\u00C0"},
    {U'e', U'E', U"\u0113\u00E9\u011B\u00E8\u00EA", U"\u0112\u00C9\u011A\u00C8\u00CA",
     0x302},
    {U'i', U'I', U"\u012B\u00ED\u01D0\u00EC", U"\u012A\u00CD\u01CF\u00CC"},
    {U'o', U'O', U"\u014D\u00F3\u01D2\u00F2", U"\u014C\u00D3\u01D1\u00D2"},
    {U'u', U'U', U"\u016B\u00FA\u01D4\u00F9\u00FC", U"\u016A\u00DA\u01D3\u00D9\u00DC",
     0x308},
    {U'\u00FC', U'\u00DC', U"\u01D6\u01D8\u01DA\u01DC", U"\u01D5\u01D7\u01D9\u01DB"},
};

// The lower-case form of a capital letter or tone-marked capital.
char32_t Lowered(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  for (const TVowel& v : kVowels)
    if (const std::size_t at = v.Capitals.find(c); at != v.Capitals.npos)
      return v.Composed[at];
  return c;
}

std::optional<char32_t> Composed(char32_t base, char32_t mark) {
  // Composed in the base's case; every tone-marked capital is lowered once
  // all marks are on.
  for (const TVowel& v : kVowels) {
    if (base != v.Base && base != v.Capital) continue;
    const std::u32string_view forms = base == v.Base ? v.Composed : v.Capitals;
    for (std::size_t i = 0; i < std::size(kToneMarks); ++i)
      if (kToneMarks[i] == mark) return forms[i];
    if (v.FurtherMark != 0 && v.FurtherMark == mark) return forms[std::size(kToneMarks)];
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string PlainQuery(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size());
  for (std::size_t i = 0; i < gbk.size();) {
    const std::size_t n = LeadByteLengthAt(gbk, i);
    if (n == 2) {
      const unsigned char lead = static_cast<unsigned char>(gbk[i]);
      const unsigned char trail = static_cast<unsigned char>(gbk[i + 1]);
      // Row A3 holds U+FF01..FF5E in order; row A1 the ideographic space
      // (A1A1) and the curly apostrophes (A1AE, A1AF).
      char32_t unicode = 0;
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE)
        unicode = 0xFF01 + (trail - 0xA1);
      if (lead == 0xA1 && trail == 0xA1) unicode = 0x3000;
      if (lead == 0xA1 && (trail == 0xAE || trail == 0xAF))
        unicode = 0x2018 + (trail - 0xAE);
      if (const std::optional<char32_t> plain = PlainChar(unicode)) {
        out.push_back(char(*plain));
        i += 2;
        continue;
      }
    }
    out.append(gbk.substr(i, n));
    i += n;
  }
  return out;
}

std::u32string PlainQuery(std::u32string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (const std::optional<char32_t> plain = PlainChar(c)) {
      out.push_back(*plain);
      continue;
    }
    if (!out.empty()) {
      if (const std::optional<char32_t> composed = Composed(out.back(), c)) {
        out.back() = *composed;
        continue;
      }
    }
    out.push_back(c);
  }
  for (char32_t& c : out)
    if (c > 0x7F) c = Lowered(c);
  return out;
}

}  // namespace velmora
