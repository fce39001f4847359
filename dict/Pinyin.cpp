#include "dict/Pinyin.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "dict/DictFile.h"
#include "dict/DictText.h"

namespace velmora::pinyin {

namespace {

// Every syllable of Mandarin as the dictionary writes it, ü as v, sorted.
constexpr std::string_view kSyllables[] = {
    "a",     "ai",     "an",     "ang",   "ao",    "ba",    "bai",    "ban",   "bang",
    "bao",   "bei",    "ben",    "beng",  "bi",    "bian",  "biang",  "biao",  "bie",
    "bin",   "bing",   "biu",    "bo",    "bu",    "ca",    "cai",    "can",   "cang",
    "cao",   "ce",     "cei",    "cen",   "ceng",  "cha",   "chai",   "chan",  "chang",
    "chao",  "che",    "chen",   "cheng", "chi",   "chong", "chou",   "chu",   "chua",
    "chuai", "chuan",  "chuang", "chui",  "chun",  "chuo",  "ci",     "cong",  "cou",
    "cu",    "cuan",   "cui",    "cun",   "cuo",   "da",    "dai",    "dan",   "dang",
    "dao",   "de",     "dei",    "den",   "deng",  "di",    "dia",    "dian",  "diao",
    "die",   "ding",   "diu",    "dong",  "dou",   "du",    "duan",   "dui",   "dun",
    "duo",   "e",      "ei",     "en",    "eng",   "er",    "fa",     "fan",   "fang",
    "fei",   "fen",    "feng",   "fiao",  "fo",    "fou",   "fu",     "ga",    "gai",
    "gan",   "gang",   "gao",    "ge",    "gei",   "gen",   "geng",   "gong",  "gou",
    "gu",    "gua",    "guai",   "guan",  "guang", "gui",   "gun",    "guo",   "ha",
    "hai",   "han",    "hang",   "hao",   "he",    "hei",   "hen",    "heng",  "hm",
    "hng",   "hong",   "hou",    "hu",    "hua",   "huai",  "huan",   "huang", "hui",
    "hun",   "huo",    "ji",     "jia",   "jian",  "jiang", "jiao",   "jie",   "jin",
    "jing",  "jiong",  "jiu",    "ju",    "juan",  "jue",   "jun",    "ka",    "kai",
    "kan",   "kang",   "kao",    "ke",    "kei",   "ken",   "keng",   "kong",  "kou",
    "ku",    "kua",    "kuai",   "kuan",  "kuang", "kui",   "kun",    "kuo",   "la",
    "lai",   "lan",    "lang",   "lao",   "le",    "lei",   "leng",   "li",    "lia",
    "lian",  "liang",  "liao",   "lie",   "lin",   "ling",  "liu",    "lo",    "long",
    "lou",   "lu",     "luan",   "lun",   "luo",   "lv",    "lve",    "m",     "ma",
    "mai",   "man",    "mang",   "mao",   "me",    "mei",   "men",    "meng",  "mi",
    "mian",  "miao",   "mie",    "min",   "ming",  "miu",   "mo",     "mou",   "mu",
    "n",     "na",     "nai",    "nan",   "nang",  "nao",   "ne",     "nei",   "nen",
    "neng",  "ng",     "ni",     "nian",  "niang", "niao",  "nie",    "nin",   "ning",
    "niu",   "nong",   "nou",    "nu",    "nuan",  "nun",   "nuo",    "nv",    "nve",
    "o",     "ou",     "pa",     "pai",   "pan",   "pang",  "pao",    "pei",   "pen",
    "peng",  "pi",     "pian",   "piao",  "pie",   "pin",   "ping",   "po",    "pou",
    "pu",    "qi",     "qia",    "qian",  "qiang", "qiao",  "qie",    "qin",   "qing",
    "qiong", "qiu",    "qu",     "quan",  "que",   "qun",   "r",      "ran",   "rang",
    "rao",   "re",     "ren",    "reng",  "ri",    "rong",  "rou",    "ru",    "rua",
    "ruan",  "rui",    "run",    "ruo",   "sa",    "sai",   "san",    "sang",  "sao",
    "se",    "sei",    "sen",    "seng",  "sha",   "shai",  "shan",   "shang", "shao",
    "she",   "shei",   "shen",   "sheng", "shi",   "shou",  "shu",    "shua",  "shuai",
    "shuan", "shuang", "shui",   "shun",  "shuo",  "si",    "song",   "sou",   "su",
    "suan",  "sui",    "sun",    "suo",   "ta",    "tai",   "tan",    "tang",  "tao",
    "te",    "tei",    "teng",   "ti",    "tian",  "tiao",  "tie",    "ting",  "tong",
    "tou",   "tu",     "tuan",   "tui",   "tun",   "tuo",   "wa",     "wai",   "wan",
    "wang",  "wei",    "wen",    "weng",  "wo",    "wu",    "xi",     "xia",   "xian",
    "xiang", "xiao",   "xie",    "xin",   "xing",  "xiong", "xiu",    "xu",    "xuan",
    "xue",   "xun",    "ya",     "yan",   "yang",  "yao",   "ye",     "yi",    "yin",
    "ying",  "yo",     "yong",   "you",   "yu",    "yuan",  "yue",    "yun",   "za",
    "zai",   "zan",    "zang",   "zao",   "ze",    "zei",   "zen",    "zeng",  "zha",
    "zhai",  "zhan",   "zhang",  "zhao",  "zhe",   "zhei",  "zhen",   "zheng", "zhi",
    "zhong", "zhou",   "zhu",    "zhua",  "zhuai", "zhuan", "zhuang", "zhui",  "zhun",
    "zhuo",  "zi",     "zong",   "zou",   "zu",    "zuan",  "zui",    "zun",   "zuo",
};
constexpr std::size_t kLongestSyllable = 6;

// GBK holds the tone-marked vowels of pinyin at A8A1..A8B8, four tones of
// a e i o u ü each, then ü (A8B9) and ê (A8BA).
struct TVowel {
  char Letter = 0;
  int Tone = 0;
};
std::optional<TVowel> PinyinVowel(unsigned char lead, unsigned char trail) {
  if (lead != 0xA8 || trail < 0xA1 || trail > 0xBA) return std::nullopt;
  const int k = trail - 0xA1;
  if (k < 24) return TVowel{"aeiouv"[k / 4], k % 4 + 1};
  return TVowel{k == 24 ? 'v' : 'e', 0};
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One syllable of a reading as the file writes it (zhong1, Lu:4, r5, xx5):
// its letters in the normalised spelling and its tone (0 when it has none).
struct TSyllable {
  std::string Letters;
  int Tone = 0;
};

bool ReadSyllable(std::string_view token, TSyllable& out) {
  out.Letters.clear();
  out.Tone = 0;
  for (std::size_t i = 0; i < token.size();) {
    const char c = token[i];
    if (IsLetter(c)) {
      if (Lower(c) == 'u' && i + 1 < token.size() && token[i + 1] == ':') {
        out.Letters.push_back('v');
        i += 2;
      } else {
        out.Letters.push_back(Lower(c));
        ++i;
      }
    } else if (i + 1 < token.size()) {
      const std::optional<TVowel> v = PinyinVowel(
          static_cast<unsigned char>(c), static_cast<unsigned char>(token[i + 1]));
      // Files write tones as digits (the needle that finds a reading
      // assumes its letters are plain), ü as u: or ü.
      if (!v || v->Tone) return false;
      out.Letters.push_back(v->Letter);
      i += 2;
    } else if (c >= '1' && c <= '5' && !out.Letters.empty()) {
      out.Tone = c - '0';
      ++i;
    } else {
      return false;
    }
    // A tone digit ends the syllable.
    if (out.Tone && i < token.size() && c >= '1' && c <= '5') return false;
  }
  return !out.Letters.empty();
}

// Punctuation standing as a syllable of its own, as in "yi1 bu4 zuo4 , er4
// bu4 xiu1" or "Wei1 lian2 · Sha1 shi4 bi3 ya4": no letter, digit or pinyin
// vowel in it. It parts syllables and is otherwise passed over.
bool IsPunctuation(std::string_view token) {
  for (std::size_t i = 0; i < token.size();) {
    const unsigned char c = static_cast<unsigned char>(token[i]);
    if (c < 0x80) {
      if (IsLetter(char(c)) || (c >= '0' && c <= '9')) return false;
      ++i;
    } else {
      if (i + 1 < token.size() &&
          PinyinVowel(c, static_cast<unsigned char>(token[i + 1])))
        return false;
      i += 2;
    }
  }
  return !token.empty();
}

}  // namespace

namespace {

// Up to eight letters as one number, so that looking a syllable up compares
// numbers; 0 for anything longer.
std::uint64_t Packed(std::string_view letters) {
  if (letters.size() > 8) return 0;
  std::uint64_t packed = 0;
  for (char c : letters) packed = packed << 8 | static_cast<unsigned char>(c);
  return packed;
}

}  // namespace

bool IsSyllable(std::string_view letters) {
  static const std::vector<std::uint64_t> packed = [] {
    std::vector<std::uint64_t> all;
    for (std::string_view s : kSyllables) all.push_back(Packed(s));
    std::sort(all.begin(), all.end());
    return all;
  }();
  const std::uint64_t key = Packed(letters);
  return key != 0 && std::binary_search(packed.begin(), packed.end(), key);
}

bool IsSyllablePrefix(std::string_view letters) {
  const auto* end = std::end(kSyllables);
  const auto* it = std::lower_bound(std::begin(kSyllables), end, letters);
  return it != end && it->starts_with(letters);
}

namespace {

// rest[i]: the letters from i on split into syllables; with partial, the
// last of them may be a syllable's beginning.
template <typename TLetters>
std::vector<bool> Splits(const TLetters& letters, bool partial) {
  const std::size_t n = letters.size();
  std::vector<bool> rest(n + 1, false);
  rest[n] = true;
  for (std::size_t at = n; at-- > 0;) {
    std::string s;
    for (std::size_t len = 1; len <= kLongestSyllable && at + len <= n; ++len) {
      s.push_back(letters[at + len - 1].Letter);
      const bool last = at + len == n;
      if (rest[at + len] && (partial && last ? IsSyllablePrefix(s) : IsSyllable(s))) {
        rest[at] = true;
        break;
      }
      if (letters[at + len - 1].Break) break;
    }
  }
  return rest;
}

}  // namespace

std::optional<TReadingQuery> TReadingQuery::Parse(std::string_view gbk) {
  TReadingQuery q;
  std::vector<TLetter>& letters = q.letters_;
  for (std::size_t i = 0; i < gbk.size();) {
    const char c = gbk[i];
    const unsigned char b = static_cast<unsigned char>(c);
    if (IsLetter(c)) {
      TLetter l;
      l.Letter = Lower(c);
      ++i;
      if (l.Letter == 'u' && i < gbk.size() && gbk[i] == ':') {
        l.Letter = 'v';
        ++i;
      }
      letters.push_back(l);
    } else if (b >= 0x81 && b <= 0xFE && i + 1 < gbk.size()) {
      const std::optional<TVowel> v =
          PinyinVowel(b, static_cast<unsigned char>(gbk[i + 1]));
      if (!v) return std::nullopt;
      TLetter l;
      l.Letter = v->Letter;
      l.Mark = v->Tone;
      letters.push_back(l);
      i += 2;
    } else if (c >= '1' && c <= '5') {
      // A tone follows a letter, never a break or another tone.
      if (letters.empty() || letters.back().Break) return std::nullopt;
      letters.back().DigitTone = c - '0';
      letters.back().Break = true;
      ++i;
    } else if (c == ' ' || c == '\'') {
      if (!letters.empty()) letters.back().Break = true;
      ++i;
    } else {
      return std::nullopt;
    }
  }
  if (letters.empty()) return std::nullopt;
  // ü keeps its dots only after l and n.
  for (std::size_t i = 1; i < letters.size(); ++i) {
    const char before = letters[i - 1].Letter;
    if (letters[i].Letter == 'v' && !letters[i - 1].Break &&
        (before == 'j' || before == 'q' || before == 'x' || before == 'y'))
      letters[i].Letter = 'u';
  }

  const std::size_t n = letters.size();
  std::vector<bool> rest = Splits(letters, false);
  // Letters that only split with a syllable still being typed at the end
  // ("zho", "zhongg") read as the beginning of a reading; not after a
  // break, which says the last syllable is whole.
  // One or two letters begin thousands of readings: too little to list
  // them by ("z", "zh" read as English words only, as before).
  constexpr std::size_t kFewestPartial = 3;
  if (!letters.back().Break && n >= kFewestPartial) {
    if (!rest[0]) {
      rest = Splits(letters, true);
      q.partial_ = true;
    }
  }
  if (!rest[0]) return std::nullopt;
  // The first syllable's beginning that every split shares.
  std::string first, common;
  bool any = false;
  for (std::size_t len = 1; len <= kLongestSyllable && len <= n; ++len) {
    first.push_back(letters[len - 1].Letter);
    const bool last = len == n;
    if ((q.partial_ && last ? IsSyllablePrefix(first) : IsSyllable(first)) && rest[len]) {
      if (!any) common = first;
      std::size_t same = 0;
      while (same < common.size() && same < first.size() && common[same] == first[same])
        ++same;
      common.resize(same);
      any = true;
    }
    if (letters[len - 1].Break) break;
  }
  q.needle_ = std::string(kKeySeparator) + "[" + common.substr(0, common.find('v'));
  q.growable_ = q.partial_ && rest[0];
  return q;
}

std::string TReadingQuery::Needle() const {
  return needle_;
}

bool TReadingQuery::MayBeginWith(std::string_view text) const {
  std::size_t k = 0;
  for (std::size_t i = 0; i < text.size() && k < letters_.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || (c >= '1' && c <= '5')) continue;
    if (c == ']') return false;  // the reading ends before the query does
    // u: (ü), anything but plain letters, and a letter whose next byte the
    // text doesn't hold (a colon may follow): Match decides.
    if (!IsLetter(c) || i + 1 == text.size() || text[i + 1] == ':') return true;
    if (Lower(c) != letters_[k].Letter) return false;
    ++k;
  }
  return true;
}

TReadingMatch TReadingQuery::Match(std::string_view reading,
                                   std::size_t* matchedEnd) const {
  const std::size_t n = letters_.size();
  std::size_t at = 0;  // letters of the query matched so far
  bool allToned = true;
  TSyllable syllable;
  std::size_t pos = 0;
  while (pos < reading.size()) {
    if (reading[pos] == ' ') {
      ++pos;
      continue;
    }
    if (at == n) break;  // more syllables after the query's
    std::size_t end = reading.find(' ', pos);
    if (end == std::string_view::npos) end = reading.size();
    if (IsPunctuation(reading.substr(pos, end - pos))) {
      pos = end;
      continue;
    }
    if (!ReadSyllable(reading.substr(pos, end - pos), syllable))
      return TReadingMatch::None;
    std::size_t len = syllable.Letters.size();
    // A syllable still being typed: the query's last letters begin it.
    const bool cut = len > n - at;
    if (cut && !partial_) return TReadingMatch::None;
    if (cut) len = n - at;
    int tone = 0;
    for (std::size_t k = 0; k < len; ++k) {
      const TLetter& l = letters_[at + k];
      if (l.Letter != syllable.Letters[k]) return TReadingMatch::None;
      // No break of the query inside the syllable.
      if (l.Break && k + 1 < len) return TReadingMatch::None;
      for (int given : {l.Mark, k + 1 == len ? l.DigitTone : 0}) {
        if (!given) continue;
        if (tone && tone != given) return TReadingMatch::None;
        tone = given;
      }
    }
    if (tone == 0)
      allToned = false;
    else if (tone != syllable.Tone)
      return TReadingMatch::None;
    // Last, as the dearest test: most readings part from the query sooner.
    if (!IsSyllable(syllable.Letters)) return TReadingMatch::None;
    at += len;
    if (matchedEnd) *matchedEnd = cut ? pos + len : end;
    pos = end;
    if (cut) return TReadingMatch::Prefix;
  }
  if (at < n) return TReadingMatch::None;
  // A query read as a beginning asks for readings that go on; one that ends
  // where the query does is as much a beginning.
  if (partial_) return TReadingMatch::Prefix;
  while (pos < reading.size() && reading[pos] == ' ') ++pos;
  if (pos < reading.size()) return TReadingMatch::Prefix;
  return allToned ? TReadingMatch::Exact : TReadingMatch::Whole;
}

std::optional<std::string_view> ReadingOf(std::string_view explanation) {
  if (explanation.empty() || explanation[0] != '[') return std::nullopt;
  const std::size_t close = FindAtBoundary(explanation, "]");
  if (close == std::string_view::npos) return std::nullopt;
  return explanation.substr(1, close - 1);
}

}  // namespace velmora::pinyin
