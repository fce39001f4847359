#include "dict/ExtendedQuery.h"

#include <optional>

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

// Vowels of pinyin with a combining mark: the composed character.
struct TComposed {
  char32_t Base, Mark, Composed;
};
constexpr char32_t kMacron = 0x304, kAcute = 0x301, kCaron = 0x30C, kGrave = 0x300,
                   kDiaeresis = 0x308, kCircumflex = 0x302;
constexpr TComposed kCompositions[] = {
    {U'a', kMacron, U'\u0101'},      {U'a', kAcute, U'\u00E1'},
    {U'a', kCaron, U'\u01CE'},       {U'a', kGrave, U'\u00E0'},
    {U'e', kMacron, U'\u0113'},      {U'e', kAcute, U'\u00E9'},
    {U'e', kCaron, U'\u011B'},       {U'e', kGrave, U'\u00E8'},
    {U'e', kCircumflex, U'\u00EA'},  {U'i', kMacron, U'\u012B'},
    {U'i', kAcute, U'\u00ED'},       {U'i', kCaron, U'\u01D0'},
    {U'i', kGrave, U'\u00EC'},       {U'o', kMacron, U'\u014D'},
    {U'o', kAcute, U'\u00F3'},       {U'o', kCaron, U'\u01D2'},
    {U'o', kGrave, U'\u00F2'},       {U'u', kMacron, U'\u016B'},
    {U'u', kAcute, U'\u00FA'},       {U'u', kCaron, U'\u01D4'},
    {U'u', kGrave, U'\u00F9'},       {U'u', kDiaeresis, U'\u00FC'},
    {U'\u00FC', kMacron, U'\u01D6'}, {U'\u00FC', kAcute, U'\u01D8'},
    {U'\u00FC', kCaron, U'\u01DA'},  {U'\u00FC', kGrave, U'\u01DC'},
};
// The capitals of the composed vowels, each with its lower-case form.
struct TCase {
  char32_t Upper, Lower;
};
constexpr TCase kCapitals[] = {
    {U'\u0100', U'\u0101'}, {U'\u00C1', U'\u00E1'}, {U'\u01CD', U'\u01CE'},
    {U'\u00C0', U'\u00E0'}, {U'\u0112', U'\u0113'}, {U'\u00C9', U'\u00E9'},
    {U'\u011A', U'\u011B'}, {U'\u00C8', U'\u00E8'}, {U'\u00CA', U'\u00EA'},
    {U'\u012A', U'\u012B'}, {U'\u00CD', U'\u00ED'}, {U'\u01CF', U'\u01D0'},
    {U'\u00CC', U'\u00EC'}, {U'\u014C', U'\u014D'}, {U'\u00D3', U'\u00F3'},
    {U'\u01D1', U'\u01D2'}, {U'\u00D2', U'\u00F2'}, {U'\u016A', U'\u016B'},
    {U'\u00DA', U'\u00FA'}, {U'\u01D3', U'\u01D4'}, {U'\u00D9', U'\u00F9'},
    {U'\u00DC', U'\u00FC'}, {U'\u01D5', U'\u01D6'}, {U'\u01D7', U'\u01D8'},
    {U'\u01D9', U'\u01DA'}, {U'\u01DB', U'\u01DC'},
};

char32_t Lowered(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  for (const TCase& k : kCapitals)
    if (k.Upper == c) return k.Lower;
  return c;
}

bool IsCapital(char32_t c) {
  return Lowered(c) != c;
}

char32_t Raised(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 32;
  for (const TCase& k : kCapitals)
    if (k.Lower == c) return k.Upper;
  return c;
}

std::optional<char32_t> Composed(char32_t base, char32_t mark) {
  // Composed in lower case; a capital keeps its case until all marks are
  // on, then every tone-marked capital is lowered below.
  const char32_t lower = Lowered(base);
  for (const TComposed& k : kCompositions)
    if (k.Base == lower && k.Mark == mark)
      return IsCapital(base) ? Raised(k.Composed) : k.Composed;
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
