#include "dict/ExtendedDisplay.h"

#include <algorithm>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Pinyin.h"

namespace velmora {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// The GBK bytes of a vowel with a tone mark: A8A1.. holds the four tones of
// a e i o u ü in turn; ü alone is A8B9.
std::string MarkedVowel(char vowel, int tone) {
  static constexpr std::string_view kVowels = "aeiouv";
  const std::size_t k = kVowels.find(vowel);
  if (tone < 1 || tone > 4) return vowel == 'v' ? "\xA8\xB9" : std::string(1, vowel);
  return {'\xA8', char(0xA1 + int(k) * 4 + tone - 1)};
}

// Which letter of a syllable carries the mark: a or e where there is one,
// o of ou, else the last vowel.
std::size_t MarkAt(std::string_view letters) {
  const std::size_t a = letters.find_first_of("ae");
  if (a != std::string_view::npos) return a;
  const std::size_t ou = letters.find("ou");
  if (ou != std::string_view::npos) return ou;
  return letters.find_last_of("iouv");
}

// One token of a reading ("Zhong1", "nu:3", "r5") with its mark, appended
// to out; map[k] receives where byte k of token went. A token that is no
// syllable (with a tone or a ü) is copied as it is.
void AppendToken(std::string_view token, std::string& out, std::size_t* map) {
  const std::size_t base = out.size();
  auto asIs = [&] {
    for (std::size_t k = 0; k < token.size(); ++k) map[k] = base + k;
    out += token;
  };
  const char last = token.empty() ? 0 : token.back();
  const int tone = last >= '1' && last <= '5' ? last - '0' : 0;
  const std::string_view body = tone ? token.substr(0, token.size() - 1) : token;
  // Letters in the normalised spelling (ü as v), and where each starts.
  std::string letters;
  std::vector<std::size_t> from;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (!IsLetter(body[i])) return asIs();
    from.push_back(i);
    if (Lower(body[i]) == 'u' && i + 1 < body.size() && body[i + 1] == ':') {
      letters += 'v';
      ++i;
    } else {
      letters += Lower(body[i]);
    }
  }
  if ((!tone && letters.find('v') == std::string::npos) || !pinyin::IsSyllable(letters))
    return asIs();
  const std::size_t at = tone && tone < 5 ? MarkAt(letters) : std::string::npos;
  for (std::size_t n = 0; n < letters.size(); ++n) {
    const std::size_t k = from[n];
    map[k] = out.size();
    if (n == at || letters[n] == 'v') {
      if (letters[n] == 'v') map[k + 1] = out.size();  // the colon of u:
      out += MarkedVowel(letters[n], n == at ? tone : 0);
    } else {
      out += body[k];
    }
  }
  if (tone) map[token.size() - 1] = out.size();  // the digit: gone
}

}  // namespace

namespace {

// The reading with marks appended to out; map[k] for each byte k of it.
void AppendReading(std::string_view reading, std::string& out, std::size_t* map) {
  std::size_t i = 0;
  while (i < reading.size()) {
    if (reading[i] == ' ') {
      map[i++] = out.size();
      out += ' ';
      continue;
    }
    std::size_t end = reading.find(' ', i);
    if (end == std::string_view::npos) end = reading.size();
    AppendToken(reading.substr(i, end - i), out, map + i);
    i = end;
  }
}

}  // namespace

std::string ToneMarked(std::string_view reading) {
  std::string out;
  std::vector<std::size_t> map(reading.size() + 1);
  AppendReading(reading, out, map.data());
  return out;
}

std::string WithToneMarks(std::string_view text, std::vector<std::size_t>* map) {
  std::string out;
  out.reserve(text.size() + 16);
  std::vector<std::size_t> own;
  std::vector<std::size_t>& where = map ? *map : own;
  where.assign(text.size() + 1, 0);
  std::size_t i = 0;
  auto copy = [&](std::size_t to) {
    for (; i < to; ++i) {
      where[i] = out.size();
      out += text[i];
    }
  };
  for (std::size_t open = FindAtBoundary(text, "["); open != std::string_view::npos;
       open = FindAtBoundary(text, "[", i)) {
    const std::size_t close = text.find(']', open);
    if (close == std::string_view::npos) break;
    copy(open + 1);
    AppendReading(text.substr(open + 1, close - open - 1), out, where.data() + i);
    i = close;
  }
  copy(text.size());
  where[text.size()] = out.size();
  return out;
}

std::string ShownExplanation(std::string_view explanation, bool ownCase) {
  if (!ownCase) return DisplayExplanation(explanation);
  std::string text = ReplaceAll(explanation, "<a href=\"", "file://");
  text = ReplaceAll(text, "\">", " ");
  return ReplaceAll(text, "</a>", "");
}

void MarkMatches(TResultView& view, int base, const TSpans& spans) {
  for (const auto& [from, to] : spans)
    view.MarkSpan(base + int(from), int(to - from), MatchColor, fsBold | fsUnderline);
}

// The key line, blue, with the given spans of the key marked.
void ShowKey(TResultView& view, std::string_view key, const TSpans& marks) {
  ShowKey(view, key);
  MarkMatches(view, view.LastLineStart() - 2 - int(key.size()), marks);
}

}  // namespace velmora
