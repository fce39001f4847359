// What learners type, read as meant by the extended search: English forms
// and spellings, full-width and curly characters, tone marks in capitals or
// as combining characters, readings with punctuation, keys of letters or
// digits, and cross-references' readings in senses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/EnglishForms.h"
#include "dict/ExtendedQuery.h"
#include "dict/Search.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

using english::FormsOf;
using Strings = std::vector<std::string>;

std::string G(std::string_view utf8) {
  return gbk::FromUtf8(utf8);
}

bool Has(const Strings& forms, const std::string& form) {
  return std::find(forms.begin(), forms.end(), form) != forms.end();
}

TEST(EnglishForms, InflectionsFindTheirDictionaryForm) {
  for (const auto& [word, form] : {std::pair{"students", "student"},
                                   {"dogs", "dog"},
                                   {"boxes", "box"},
                                   {"studies", "study"},
                                   {"studied", "study"},
                                   {"stopped", "stop"},
                                   {"running", "run"},
                                   {"making", "make"},
                                   {"hoped", "hope"}}) {
    const Strings derived = FormsOf(word).Derived;
    EXPECT_TRUE(Has(derived, form)) << word;
    // No other word: stop is no form of stopped's "stopp", nor hop of hoped.
    EXPECT_FALSE(Has(derived, word)) << word;
  }
  EXPECT_FALSE(Has(FormsOf("hoped").Derived, "hop"));
  EXPECT_FALSE(Has(FormsOf("cares").Derived, "car"));
  // An ending the stemmer does not take away, a derivation, a word that is
  // its own form, short words and words with digits: nothing derived.
  for (const char* word :
       {"news", "university", "organization", "dog", "need", "its", "has", "shi4"})
    EXPECT_TRUE(FormsOf(word).Derived.empty()) << word;
}

TEST(EnglishForms, BritishSpellingsMeanTheAmericanOnesOnly) {
  EXPECT_EQ(FormsOf("colour").Own, (Strings{"colour", "color"}));
  EXPECT_TRUE(FormsOf("colour").Derived.empty());
  // The first and the last of the table, and forms through an inflection.
  EXPECT_EQ(english::AmericanSpelling("aeroplane"), "airplane");
  EXPECT_EQ(english::AmericanSpelling("woollen"), "woolen");
  for (const char* form : {"centre", "center"})
    EXPECT_TRUE(Has(FormsOf("centres").Derived, form));
  EXPECT_TRUE(Has(FormsOf("organisations").Derived, "organization"));
  // Never the other way: "check" is no cheque.
  EXPECT_EQ(FormsOf("check").Own, Strings{"check"});
  EXPECT_FALSE(english::AmericanSpelling("color"));
}

TEST(PlainQuery, FullWidthAndCurlyCharactersInGbk) {
  EXPECT_EQ(PlainQuery(G("ｄｏｇ ＰＫ９９６")), "dog PK996");
  EXPECT_EQ(PlainQuery(G("学＊？")), G("学*?"));
  EXPECT_EQ(PlainQuery(G("Xi’an‘s　x＇y")), "Xi'an's x'y");
  // Other full-width characters, Chinese and the key separator stay.
  EXPECT_EQ(PlainQuery(G("中！：ā")), G("中！：ā"));
  const std::string odd = "\x81";  // a lead byte at the end
  EXPECT_EQ(PlainQuery(odd), odd);
}

TEST(PlainQuery, ToneMarksComposedAndLoweredBeforeGbk) {
  auto plain = [](std::u32string_view s) { return PlainQuery(s); };
  EXPECT_EQ(plain(U"zho\u0304ngguo\u0301"), U"zh\u014Dnggu\u00F3");
  EXPECT_EQ(plain(U"\u00C0om\u00E9n"), U"\u00E0om\u00E9n");
  EXPECT_EQ(plain(U"ZH\u014CNGGU\u00D3"), U"ZH\u014DNGGU\u00F3");
  EXPECT_EQ(plain(U"\u014C\u0075zh\u014Du"), U"\u014Duzh\u014Du");
  // ü, typed composed or as u with two marks, capital or not.
  EXPECT_EQ(plain(U"lu\u0308\u0300"), U"l\u01DC");
  EXPECT_EQ(plain(U"L\u00DC\u0300"), U"L\u01DC");
  EXPECT_EQ(plain(U"NU\u0308\u030C"), U"N\u01DA");
  EXPECT_EQ(plain(U"\uFF44\uFF4F\uFF47\u2019"), U"dog'");
  // A mark on anything else, and two tone marks, are left for the box's
  // conversion to refuse.
  EXPECT_EQ(plain(U"n\u0301"), U"n\u0301");
  EXPECT_EQ(plain(U"a\u0304\u0301"), U"\u0101\u0301");
  EXPECT_EQ(plain(U"\u0304a"), U"\u0304a");
  // Composed forms convert to the GBK the reading search reads.
  EXPECT_EQ(gbk::Encode(plain(U"ZHO\u0304NGGUO\u0301")), G("ZHōNGGUó"));
}

TEST(PlainQuery, EveryToneMarkedVowelComposesAndLowersToItsGbkForm) {
  // GBK's row of pinyin vowels, A8A1 to A8BA: a, e, i, o, u and ü with
  // tones 1 to 4, then ü and ê; and the capitals typed, in the same order.
  std::string row;
  for (int trail = 0xA1; trail <= 0xBA; ++trail) row += {'\xA8', char(trail)};
  const std::u32string lower = gbk::Decode(row);
  const std::u32string upper = U"ĀÁǍÀĒÉĚÈĪÍǏÌŌÓǑÒŪÚǓÙǕǗǙǛÜÊ";
  ASSERT_EQ(lower.size(), 26u);
  ASSERT_EQ(upper.size(), 26u);
  const char32_t tones[] = {0x304, 0x301, 0x30C, 0x300};
  const std::u32string bases = U"aeiouü", capitals = U"AEIOUÜ";
  auto expect = [](std::u32string typed, char32_t want) {
    EXPECT_EQ(PlainQuery(typed), std::u32string(1, want))
        << gbk::ToUtf8(gbk::Encode(typed));
  };
  for (std::size_t i = 0; i < lower.size(); ++i) {
    expect({upper[i]}, lower[i]);
    expect({lower[i]}, lower[i]);
  }
  for (std::size_t v = 0; v < bases.size(); ++v) {
    for (std::size_t t = 0; t < 4; ++t) {
      expect({bases[v], tones[t]}, lower[4 * v + t]);
      expect({capitals[v], tones[t]}, lower[4 * v + t]);
    }
  }
  for (char32_t u : {U'u', U'U'}) expect({u, 0x308}, lower[24]);
  for (char32_t e : {U'e', U'E'}) expect({e, 0x302}, lower[25]);
}

class LearnerQueryTest : public ::testing::Test {
 protected:
  LearnerQueryTest() { SharedDictImages().Clear(); }

  // The view's text after an extended search for a query given in UTF-8.
  std::string Search(std::string_view utf8) {
    TQueryControls controls(G(utf8));
    RunSearch(controls, view_, TSearchOptions{TSearchKind::Extended});
    lines_ = test::Lines(edit_);
    return edit_.Text();
  }
  // The keys listed, in order, in UTF-8.
  Strings Keys() const {
    Strings keys;
    for (const std::string& key : test::KeysListed(edit_))
      keys.push_back(gbk::ToUtf8(key));
    return keys;
  }

  test::TTempDir dir_;
  TMemoryRichEdit edit_;
  TResultView view_{edit_};
  Strings lines_;
};

TEST_F(LearnerQueryTest, FullWidthAndCurlyQueriesListWhatPlainOnesList) {
  dir_.WriteAll(G("学：[xue2] to learn\n狗：[gou3] dog\n"),
                G("西安：[Xi1 an1] Xi'an\n学生：[xue2 sheng5] student\n"));
  for (const auto& [typed, plain] : {std::pair{"ｄｏｇ", "dog"},
                                     {"Ｘｉ’ａｎ", "Xi'an"},
                                     {"学＊", "学*"},
                                     {"？", "?"}}) {
    const std::string want = Search(plain);
    EXPECT_EQ(Search(typed), want) << typed;
    EXPECT_FALSE(Keys().empty()) << typed;
  }
}

TEST_F(LearnerQueryTest, EnglishFormsRankAfterTheWordItselfAndMarkWhatMatched) {
  dir_.WriteAll(G("学生：[xue2 sheng5] student; pupil\n狗：[gou3] dog\n"),
                G("学友：[xue2 you3] fellow students\n颜色：[yan2 se4] color\n"),
                G("学生会：[xue2 sheng5 hui4] students' union\n"));
  Search("students");
  // A sense that is just the dictionary form, then senses holding the word
  // itself; the sense word that matched is marked.
  EXPECT_EQ(Keys(), (Strings{"学生", "学友", "学生会"}));
  const int student = edit_.LineIndex(4) + int(lines_[4].find("student"));
  EXPECT_TRUE(test::HasFormat(edit_, student, 7, MatchColor, fsBold | fsUnderline));
  EXPECT_TRUE(test::HasFormat(edit_, student + 7, 2, ExplanationColor, fsBold));
  Search("colour");  // the American spelling, as the word itself
  EXPECT_EQ(Keys(), Strings{"颜色"});
  Search("dog");  // a dictionary form is not widened to its plural
  EXPECT_EQ(Keys(), Strings{"狗"});
}

TEST_F(LearnerQueryTest, KeysOfLettersOrDigitsComeFirst) {
  dir_.WriteAll(
      G("PK：[P K] to challenge; showdown\n"),
      G("对决：[dui4 jue2] PK\n996：[jiu3 jiu3 liu4] 9am-9pm, six days a week\n"),
      G("字母词：[zi4 mu3 ci2] word containing letters, such as PK or 996\n"));
  Search("pk");
  EXPECT_EQ(Keys(), (Strings{"PK", "对决", "字母词"}));
  Search("996");
  EXPECT_EQ(Keys(), (Strings{"996", "字母词"}));
}

TEST_F(LearnerQueryTest, ReadingsWithPunctuationAreFoundWithoutIt) {
  dir_.WriteAll(
      "", "",
      G("一不做，二不休：[yi1 bu4 zuo4 , er4 bu4 xiu1] in for a penny, in for a "
        "pound\n"),
      G("威廉·莎士比亚：[Wei1 lian2 · Sha1 shi4 bi3 ya4] William Shakespeare\n"));
  for (const char* q : {"yibuzuo erbuxiu", "yi1bu4zuo4er4bu4xiu1", "yibuzuo"}) {
    Search(q);
    EXPECT_EQ(Keys(), Strings{"一不做，二不休"}) << q;
  }
  Search("weilian shashibiya");
  EXPECT_EQ(Keys(), Strings{"威廉·莎士比亚"});
}

TEST_F(LearnerQueryTest, CrossReferenceReadingsAreNoEnglish) {
  dir_.WriteAll(
      G("事：[shi4] matter; thing\n"),
      G("西安：[Xi1 an1] Xi'an, capital of Shaanxi; see also 西安市[Xi1 an1 shi4]\n"
        "商：[shang1] merchant (Tai-lo pr. [shi4])\n"));
  Search("shi4");
  EXPECT_EQ(Keys(), Strings{"事"});
  Search("shaanxi");  // English outside the brackets still counts
  EXPECT_EQ(Keys(), Strings{"西安"});
}

}  // namespace
}  // namespace velmora
