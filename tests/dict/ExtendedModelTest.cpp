// The extended search against small, plain readings of its rules, on random
// dictionaries: a query split into syllables in every way the syllables
// allow, tones compared where given; English words and phrases by senses;
// wildcards by trying every way a "*" can stretch. The scanner's view must
// list what the models list, in the models' order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/EnglishForms.h"
#include "dict/Search.h"
#include "dict/Texts.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

// ---------------------------------------------------------------------------
// Readings

// The syllables the random readings are made of (ü as v), chosen so that
// letters split more than one way: xian / xi an, genan / ge nan / gen an,
// lve / lv e, nan / na n.
const std::vector<std::string> kSyllables = {"xi", "an", "xian",  "ge",  "gen", "nan",
                                             "na", "n",  "zhong", "guo", "lv",  "lve",
                                             "nv", "e",  "er",    "ju",  "a",   "ng"};

struct TSyl {
  std::string Letters;  // v for ü
  int Tone = 0;         // 0: not given
};

// The GBK tone-marked vowel: a e i o u ü, tones 1 to 4.
std::string Marked(char vowel, int tone) {
  const int index = int(std::string("aeiouv").find(vowel));
  return {char(0xA8), char(0xA1 + index * 4 + tone - 1)};
}
const std::string kUmlaut = "\xA8\xB9";  // ü

struct TQueryLetter {
  char Letter;
  int Tone;    // from a mark or a digit after it
  bool Break;  // a syllable ends after it
};

// The query as letters, or nullopt when it holds anything else.
std::optional<std::vector<TQueryLetter>> ModelLetters(const std::string& q) {
  std::vector<TQueryLetter> out;
  for (std::size_t i = 0; i < q.size();) {
    char c = q[i];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      c = char(std::tolower(static_cast<unsigned char>(c)));
      if (c == 'u' && i + 1 < q.size() && q[i + 1] == ':') {
        c = 'v';
        ++i;
      }
      out.push_back({c, 0, false});
      ++i;
    } else if (q.compare(i, 2, kUmlaut) == 0) {
      out.push_back({'v', 0, false});
      i += 2;
    } else if (static_cast<unsigned char>(c) == 0xA8) {
      const int k = static_cast<unsigned char>(q[i + 1]) - 0xA1;
      if (k < 0 || k >= 24) return std::nullopt;
      out.push_back({"aeiouv"[k / 4], k % 4 + 1, false});
      i += 2;
    } else if (c >= '1' && c <= '5' && !out.empty() && !out.back().Break) {
      out.back().Break = true;
      // A digit after a marked vowel's syllable: both must agree, which
      // the split below checks through Tone.
      out.back().Tone = out.back().Tone && out.back().Tone != c - '0' ? -1 : c - '0';
      ++i;
    } else if (c == ' ' || c == '\'') {
      if (!out.empty()) out.back().Break = true;
      ++i;
    } else {
      return std::nullopt;
    }
  }
  // ü after j, q, x, y is written u.
  for (std::size_t i = 1; i < out.size(); ++i)
    if (out[i].Letter == 'v' &&
        std::string("jqxy").find(out[i - 1].Letter) != std::string::npos)
      out[i].Letter = 'u';
  if (out.empty()) return std::nullopt;
  return out;
}

// Every way of cutting the letters into syllables of the set, with the
// tone each syllable is given (-1: two different ones).
void Splits(const std::vector<TQueryLetter>& q, std::size_t at, std::vector<TSyl>& so_far,
            std::vector<std::vector<TSyl>>& out) {
  if (at == q.size()) {
    out.push_back(so_far);
    return;
  }
  for (const std::string& s : kSyllables) {
    if (at + s.size() > q.size()) continue;
    bool ok = true;
    int tone = 0;
    for (std::size_t k = 0; k < s.size() && ok; ++k) {
      const TQueryLetter& l = q[at + k];
      ok = l.Letter == s[k] && (!l.Break || k + 1 == s.size());
      if (l.Tone) tone = tone && tone != l.Tone ? -1 : l.Tone;
    }
    if (!ok) continue;
    so_far.push_back({s, tone});
    Splits(q, at + s.size(), so_far, out);
    so_far.pop_back();
  }
}

// The reading's syllables as the file spells them: u: or ü for v, a tone
// digit, perhaps a capital.
std::vector<TSyl> ReadSyllables(const std::string& reading) {
  std::vector<TSyl> out;
  std::size_t i = 0;
  while (i < reading.size()) {
    std::size_t end = reading.find(' ', i);
    if (end == std::string::npos) end = reading.size();
    std::string token = reading.substr(i, end - i);
    if (token == "," || token == "\xA1\xA4") {  // punctuation: passed over
      i = end + 1;
      continue;
    }
    TSyl s;
    if (!token.empty() && token.back() >= '1' && token.back() <= '5') {
      s.Tone = token.back() - '0';
      token.pop_back();
    }
    for (std::size_t k = 0; k < token.size(); ++k) {
      if (token.compare(k, 2, "u:") == 0 || token.compare(k, 2, kUmlaut) == 0) {
        s.Letters += 'v';
        ++k;
      } else {
        s.Letters += char(std::tolower(static_cast<unsigned char>(token[k])));
      }
    }
    out.push_back(s);
    i = end + 1;
  }
  return out;
}

enum TRank {
  kKey,
  kExact,
  kWhole,
  kEqual,
  kEqualForm,
  kPrefix,
  kWords,
  kWordsForm,
  kNone
};

TRank ReadingRank(const std::string& query, const std::string& reading) {
  const auto letters = ModelLetters(query);
  if (!letters) return kNone;
  std::vector<std::vector<TSyl>> splits;
  std::vector<TSyl> so_far;
  Splits(*letters, 0, so_far, splits);
  const std::vector<TSyl> have = ReadSyllables(reading);
  TRank best = kNone;
  for (const std::vector<TSyl>& split : splits) {
    if (split.size() > have.size()) continue;
    bool ok = true, allToned = true;
    for (std::size_t k = 0; k < split.size() && ok; ++k) {
      ok = split[k].Letters == have[k].Letters &&
           (split[k].Tone == 0 || split[k].Tone == have[k].Tone);
      allToned &= split[k].Tone != 0;
    }
    if (!ok) continue;
    const TRank r = split.size() < have.size() ? kPrefix : allToned ? kExact : kWhole;
    best = std::min(best, r);
  }
  return best;
}

// ---------------------------------------------------------------------------
// English

std::vector<std::string> WordsOf(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text + " ") {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      word += char(std::tolower(static_cast<unsigned char>(c)));
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

std::vector<std::string> WithoutTo(std::vector<std::string> words) {
  if (words.size() > 1 && words[0] == "to") words.erase(words.begin());
  return words;
}

// How the sense's words stand for the query's: 0 not at all, 1 each as
// itself (or its American spelling), 2 some in a dictionary form.
int SameWords(const std::vector<std::string>& q, const std::vector<std::string>& w) {
  if (q.size() != w.size()) return 0;
  int how = 1;
  for (std::size_t k = 0; k < q.size(); ++k) {
    const english::TWordForms forms = english::FormsOf(q[k]);
    if (std::find(forms.Own.begin(), forms.Own.end(), w[k]) != forms.Own.end()) continue;
    if (std::find(forms.Derived.begin(), forms.Derived.end(), w[k]) ==
        forms.Derived.end())
      return 0;
    how = 2;
  }
  return how;
}

TRank EnglishRank(const std::string& query, const std::string& senses) {
  for (unsigned char c : query)
    if (c >= 0x80) return kNone;
  const std::vector<std::string> q = WordsOf(query);
  if (q.empty()) return kNone;
  TRank best = kNone;
  std::string sense;
  for (char c : senses + ";") {
    if (c != ';' && c != '/') {
      sense += c;
      continue;
    }
    // Readings of cross-references hold no English.
    for (std::size_t open; (open = sense.find('[')) != std::string::npos;)
      sense.erase(open, sense.find(']', open) - open + 1);
    const std::vector<std::string> w = WordsOf(sense);
    for (std::size_t i = 0; i + q.size() <= w.size(); ++i) {
      const int how = SameWords(q, {w.begin() + long(i), w.begin() + long(i + q.size())});
      if (how) best = std::min(best, how == 1 ? kWords : kWordsForm);
    }
    {  // equal to the query, remarks and a leading "to" aside
      std::string outside;
      int depth = 0;
      for (char s : sense) {
        if (s == '(') ++depth;
        if (depth == 0) outside += s;
        if (s == ')' && depth > 0) --depth;
      }
      if (const int how = SameWords(WithoutTo(q), WithoutTo(WordsOf(outside))))
        best = std::min(best, how == 1 ? kEqual : kEqualForm);
    }
    sense.clear();
  }
  return best;
}

// A key of letters or digits that is the query itself.
TRank KeyRank(const std::string& query, const std::string& key) {
  std::string q = query;
  while (!q.empty() && q.front() == ' ') q.erase(0, 1);
  while (!q.empty() && q.back() == ' ') q.pop_back();
  if (q.size() != key.size()) return kNone;
  for (std::size_t i = 0; i < q.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(q[i])) !=
        std::tolower(static_cast<unsigned char>(key[i])))
      return kNone;
  return kKey;
}

// ---------------------------------------------------------------------------
// Random dictionaries and queries

struct TLine {
  std::string Key;  // without the separator
  std::string Reading;
  std::string Senses;
};

const char* const kChars[] = {"\xD6\xD0", "\xB9\xFA", "\xC8\xCB", "\xD1\xA7", "x", "Dog"};
// Inflected words and British spellings, whose dictionary forms and
// American spellings stand beside them; a cross-reference whose reading
// spells English words.
const char* const kSenseWords[] = {"green",
                                   "tea",
                                   "to",
                                   "eat",
                                   "dog",
                                   "hot",
                                   "(coll.)",
                                   "(of tea)",
                                   "a",
                                   "green-tea",
                                   "dogs",
                                   "studies",
                                   "study",
                                   "color",
                                   "colour",
                                   "studied",
                                   "\xCE\xF7[tea dog1]"};

std::string RandomSense(std::mt19937& rng) {
  std::string s = rng() % 3 == 0 ? "to " : "";
  const int n = 1 + int(rng() % 3);
  for (int i = 0; i < n; ++i) {
    if (i) s += ' ';
    std::string w = kSenseWords[rng() % std::size(kSenseWords)];
    if (rng() % 6 == 0) w[0] = char(std::toupper(static_cast<unsigned char>(w[0])));
    s += w;
  }
  return s;
}

std::string SpellSyllable(const TSyl& s, std::mt19937& rng) {
  std::string out;
  for (char c : s.Letters)
    out += c == 'v' ? (rng() % 4 == 0 ? kUmlaut : std::string("u:")) : std::string(1, c);
  if (rng() % 4 == 0) out[0] = char(std::toupper(static_cast<unsigned char>(out[0])));
  return out + std::to_string(s.Tone);
}

TLine RandomLine(std::mt19937& rng, int chars) {
  TLine line;
  for (int i = 0; i < chars; ++i) line.Key += kChars[rng() % std::size(kChars)];
  if (rng() % 8) {
    for (int i = 0; i < chars; ++i) {
      TSyl s{kSyllables[rng() % kSyllables.size()], 1 + int(rng() % 5)};
      if (i)
        line.Reading += rng() % 12 == 0 ? " , " : rng() % 12 == 0 ? " \xA1\xA4 " : " ";
      line.Reading += rng() % 40 == 0 ? std::string("C") : SpellSyllable(s, rng);
    }
  }
  const int senses = 1 + int(rng() % 3);
  for (int i = 0; i < senses; ++i) {
    if (i) line.Senses += rng() % 2 ? "; " : "/";
    line.Senses += RandomSense(rng);
  }
  return line;
}

std::string Text(const TLine& l) {
  std::string explanation =
      l.Reading.empty() ? l.Senses : "[" + l.Reading + "] " + l.Senses;
  return l.Key + "\xA3\xBA" + explanation;
}

// A query spelt from the start of a reading in one of the ways people type.
std::string QueryFrom(const TLine& line, std::mt19937& rng) {
  std::vector<TSyl> syllables = ReadSyllables(line.Reading);
  syllables.resize(1 + rng() % syllables.size());
  std::string q;
  const int style = int(rng() % 4);  // no tones, digits, marks, a mix
  for (std::size_t i = 0; i < syllables.size(); ++i) {
    TSyl s = syllables[i];
    if (i) q += rng() % 3 == 0 ? " " : rng() % 4 == 0 ? "'" : "";
    int tone = style == 0 ? 0 : style == 3 ? int(rng() % 6) : s.Tone;
    if (tone && rng() % 10 == 0) tone = 1 + int(rng() % 5);  // a wrong one now and then
    const std::size_t vowel = s.Letters.find_first_of("aeiouv");
    const bool mark = style == 2 && tone >= 1 && tone <= 4 && vowel != std::string::npos;
    for (std::size_t k = 0; k < s.Letters.size(); ++k) {
      const char c = s.Letters[k];
      if (mark && k == vowel) {
        q += Marked(c, tone);
      } else if (c == 'v') {
        const int how = int(rng() % 3);
        q += how == 0 ? kUmlaut : how == 1 ? "v" : "u:";
      } else if (c == 'u' && k > 0 && s.Letters[k - 1] == 'j' && rng() % 3 == 0) {
        q += rng() % 2 ? kUmlaut : "v";  // jü and jv are ju
      } else {
        q += rng() % 5 == 0 ? char(std::toupper(static_cast<unsigned char>(c))) : c;
      }
    }
    if (tone && !mark) q += std::to_string(tone);
  }
  return q;
}

std::string RandomEnglishQuery(std::mt19937& rng) {
  static const char* const queries[] = {
      "tea",     "green tea", "to eat", "eat",      "GREEN",  "dog hot", "coll",
      "a",       "green-tea", "Tea!",   "to",       "of tea", "dogs",    "Studies",
      "colours", "studying",  "colour", "dogs hot", "dog",    "tea dog1"};
  return queries[rng() % std::size(queries)];
}

// What the view lists, key line and explanation line of each entry.
std::vector<std::string> Listed(const IRichEdit& view) {
  std::vector<std::string> lines = test::Lines(view);
  if (lines.size() < 3 || lines[1] != texts::kFinished) return {"(no finished search)"};
  std::vector<std::string> out;
  for (std::size_t i = 3; i + 1 < lines.size(); i += 3) {
    if (lines[i].rfind("\xC4\xFA\xB2\xE9", 0) == 0) break;  // the not-found message
    if (lines[i] == texts::kMoreLetters) break;  // nothing yet, letters to come
    out.push_back(lines[i]);
    out.push_back(lines[i + 1]);
  }
  return out;
}

std::vector<std::string> Chars(const std::string& text);

struct TModelHit {
  int Rank;
  std::size_t KeySize;  // in characters
  std::size_t Order;
  const TLine* Line;
};

std::vector<std::string> Sorted(std::vector<TModelHit> hits) {
  std::sort(hits.begin(), hits.end(), [](const TModelHit& a, const TModelHit& b) {
    return std::tie(a.Rank, a.KeySize, a.Order) < std::tie(b.Rank, b.KeySize, b.Order);
  });
  std::vector<std::string> out;
  for (const TModelHit& h : hits) {
    out.push_back(h.Line->Key + "\xA3\xBA");
    const std::string explanation = Text(*h.Line).substr(h.Line->Key.size() + 2);
    out.push_back(std::string(texts::kIndent) + DisplayExplanation(explanation));
  }
  return out;
}

// Files 1.sr..5.sr of up to maxLines - 1 lines each, line(n) making a line
// of file n; all their lines in the files' order.
template <typename F>
std::vector<TLine> WriteRandomFiles(const test::TTempDir& dir, std::mt19937& rng,
                                    int maxLines, F line) {
  std::vector<TLine> all;
  std::string bytes[5];
  for (int n = 1; n <= 5; ++n) {
    for (int i = int(rng() % unsigned(maxLines)); i > 0; --i) {
      all.push_back(line(n));
      bytes[n - 1] += Text(all.back()) + "\n";
    }
  }
  dir.WriteAll(bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);
  return all;
}

std::vector<std::string> RunExtended(
    const std::string& query, TDictImages& images,
    std::size_t sliceBytes = TSearchPacing().SliceBytes) {
  TMemoryRichEdit edit;
  TResultView view(edit);
  TQueryControls controls(query);
  images.Clear();
  TSearchOptions options(TSearchKind::Extended);
  options.Display = TExtendedDisplay{false, false, false};  // as the model shows them
  options.Pacing.SliceBytes = sliceBytes;
  options.Images = &images;
  RunSearch(controls, view, options);
  return Listed(edit);
}

TEST(ExtendedModel, ReadingsAndEnglishWordsAsTheModelsRankThem) {
  test::TTempDir dir;
  std::mt19937 rng(20);
  TDictImages images;
  int readingHits = 0, englishHits = 0, formHits = 0, keyHits = 0;
  for (int round = 0; round < 60; ++round) {
    const std::vector<TLine> all = WriteRandomFiles(dir, rng, 25, [&](int n) {
      return RandomLine(rng, n + (n == 5 ? int(rng() % 2) : 0));
    });
    const std::size_t sliceBytes =
        rng() % 2 ? std::size_t(1 + rng() % 40) : std::size_t(1) << 20;
    for (int q = 0; q < 6 && !all.empty(); ++q) {
      const TLine& from = all[rng() % all.size()];
      const std::string query = rng() % 3 == 0 || from.Reading.empty() ||
                                        from.Reading.find('C') != std::string::npos
                                    ? RandomEnglishQuery(rng)
                                    : QueryFrom(from, rng);
      std::vector<TModelHit> hits;
      for (std::size_t i = 0; i < all.size(); ++i) {
        const TRank r =
            std::min({KeyRank(query, all[i].Key), ReadingRank(query, all[i].Reading),
                      EnglishRank(query, all[i].Senses)});
        if (r != kNone) hits.push_back({r, Chars(all[i].Key).size(), i, &all[i]});
        readingHits += r == kExact || r == kWhole || r == kPrefix;
        englishHits += r == kEqual || r == kWords;
        formHits += r == kEqualForm || r == kWordsForm;
        keyHits += r == kKey;
      }
      ASSERT_EQ(RunExtended(query, images, sliceBytes), Sorted(hits))
          << "round " << round << " query " << ::testing::PrintToString(query);
    }
  }
  // The random cases reach every kind of match, not only misses.
  EXPECT_GT(readingHits, 100);
  EXPECT_GT(englishHits, 100);
  EXPECT_GT(formHits, 20);
  EXPECT_GT(keyHits, 3);
}

// ---------------------------------------------------------------------------
// Wildcards

std::vector<std::string> Chars(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n =
        static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size() ? 2 : 1;
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

bool SameChar(const std::string& a, const std::string& b) {
  if (a.size() != 1 || b.size() != 1) return a == b;
  return std::toupper(static_cast<unsigned char>(a[0])) ==
         std::toupper(static_cast<unsigned char>(b[0]));
}

// Plain backtracking: "*" tries every length.
bool Glob(const std::vector<std::string>& p, std::size_t i,
          const std::vector<std::string>& k, std::size_t j) {
  if (i == p.size()) return j == k.size();
  if (p[i] == "*") {
    for (std::size_t n = j; n <= k.size(); ++n)
      if (Glob(p, i + 1, k, n)) return true;
    return false;
  }
  if (j == k.size()) return false;
  return (p[i] == "?" || SameChar(p[i], k[j])) && Glob(p, i + 1, k, j + 1);
}

TEST(ExtendedModel, WildcardsAsBacktrackingMatchesThem) {
  test::TTempDir dir;
  std::mt19937 rng(7);
  TDictImages images;
  const char* const pieces[] = {"\xD6\xD0", "\xB9\xFA", "\xC8\xCB", "a",
                                "A",        "*",        "?",        "**"};
  int found = 0;
  for (int round = 0; round < 80; ++round) {
    const std::vector<TLine> all = WriteRandomFiles(dir, rng, 20, [&](int n) {
      TLine l;
      const int chars = n + (n == 5 ? int(rng() % 3) : 0);
      for (int c = 0; c < chars; ++c) l.Key += rng() % 5 == 0 ? "a" : kChars[rng() % 3];
      l.Senses = "[x1] " + RandomSense(rng);
      return l;
    });
    for (int q = 0; q < 6; ++q) {
      std::string query;
      const int n = 1 + int(rng() % 4);
      for (int i = 0; i < n; ++i) query += pieces[rng() % std::size(pieces)];
      if (query.find_first_of("*?") == std::string::npos) query += "?";
      std::vector<std::string> pattern;
      for (const std::string& c : Chars(query))
        if (!(c == "*" && !pattern.empty() && pattern.back() == "*"))
          pattern.push_back(c);
      std::vector<TModelHit> hits;
      for (std::size_t i = 0; i < all.size(); ++i)
        if (Glob(pattern, 0, Chars(all[i].Key), 0))
          hits.push_back({0, Chars(all[i].Key).size(), i, &all[i]});
      found += int(hits.size());
      ASSERT_EQ(RunExtended(query, images), Sorted(hits))
          << "round " << round << " query " << ::testing::PrintToString(query);
    }
  }
  EXPECT_GT(found, 200);
}

}  // namespace
}  // namespace velmora
