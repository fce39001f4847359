// Readings in pinyin. A query such as "zhongguo", "zhong1 guo2", "Zhong'guo"
// or "zhōngguó" is read into letters with the tones and syllable breaks it
// gives; a dictionary reading such as "[Zhong1 guo2]" is compared with it
// syllable by syllable.
//
// Spelling is brought to one form on both sides: lower case, and ü as 'v'
// whether it is written ü, v or u: (the dictionary writes u:). After j, q, x
// and y the two dots are dropped, as pinyin drops them (jü is ju).
//
// The query is not split on its own: the reading in the file decides where
// its syllables end, and the query matches when those syllables, each a
// syllable of Mandarin, spell its letters without crossing a break the query
// gives (a space, an apostrophe, a tone digit). So "xian" matches both
// [xian1] and [xi1 an1], and "xi'an" only the second. A tone is compared
// only where the query gives one, by digit or by mark; the file gives tones
// as digits, as CC-CEDICT writes them. Punctuation in a reading ("yi1 bu4
// zuo4 , er4 bu4 xiu1") is passed over: the query need not type it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::pinyin {

// True when letters (normalised spelling: lower case, ü as v) spell a
// syllable of Mandarin as the dictionary writes them, including the
// interjections (m, n, ng, hm, hng) and the suffix r.
bool IsSyllable(std::string_view letters);
// True when some syllable begins with letters (normalised spelling).
bool IsSyllablePrefix(std::string_view letters);

// What a reading holds of a query.
enum class TReadingMatch {
  None,
  Exact,   // the whole reading, and the query gives every syllable's tone
  Whole,   // the whole reading, some tones not given
  Prefix,  // the reading begins with the query's syllables
};

class TReadingQuery {
 public:
  // A query (GBK) made only of letters, tone digits after a letter,
  // tone-marked vowels, ü, spaces and apostrophes that can be split into
  // syllables; nullopt for any other. Letters that split only when the
  // last syllable is still being typed ("zho", "zhongg", "nih") read as the
  // beginning of a reading when there are three letters or more:
  // Partial() is true, and Match then finds only
  // readings that begin with them (Prefix).
  static std::optional<TReadingQuery> Parse(std::string_view gbk);
  bool Partial() const { return partial_; }
  // True when the query ends inside a syllable still being typed, so that
  // more letters may make a reading of it.
  bool CanGrow() const { return growable_; }

  // Bytes that every line with a matching reading holds (letters compared
  // without regard to case): the separator, "[" and the beginning of the
  // first syllable, cut before a ü, which files spell in more than one way.
  std::string Needle() const;

  // A quick look at the text after a reading's "[" (it may run on past the
  // line, whose end stops the look like any byte but a letter): false only when Match
  // would find nothing there, because the reading's letters part from the query's or it
  // ends before them. Tones are not compared; where the text is anything but plain
  // letters, digits and spaces it says true and leaves the reading to Match.
  bool MayBeginWith(std::string_view text) const;

  // Compares the inside of a reading's brackets; matchedEnd receives the
  // byte offset, within reading, just past the last syllable that matched.
  TReadingMatch Match(std::string_view reading, std::size_t* matchedEnd = nullptr) const;

 private:
  struct TLetter {
    char Letter = 0;     // a-z, v for ü
    int Mark = 0;        // the tone of a tone-marked vowel, 0 if none
    int DigitTone = 0;   // a tone digit right after this letter, 0 if none
    bool Break = false;  // a syllable must end after this letter
  };
  std::vector<TLetter> letters_;
  std::string needle_;
  bool partial_ = false;
  bool growable_ = false;
};

// The inside of the brackets of a reading that opens an explanation
// ("[zhong1 guo2] China" gives "zhong1 guo2"), or nullopt when the
// explanation doesn't begin with one.
std::optional<std::string_view> ReadingOf(std::string_view explanation);

}  // namespace velmora::pinyin
