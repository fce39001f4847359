#include <gtest/gtest.h>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Query.h"

namespace velmora {
namespace {

// Characters whose second byte is an ASCII letter or lies where a plain byte
// search would find something.
constexpr std::string_view kShang = "\x81\x41";             // 丄, second byte 'A'
constexpr std::string_view kShaA = "\x81\x61";              // 乤, second byte 'a'
constexpr std::string_view kZhongGuo = "\xD6\xD0\xB9\xFA";  // 中国
constexpr std::string_view kXie = "\xD0\xB9";               // 泄: bytes 2-3 of 中国
constexpr std::string_view kColon = "\xA3\xBA";

TEST(DictText, FindsOnlyOccurrencesThatStartACharacter) {
  EXPECT_EQ(FindAtBoundary(kZhongGuo, kXie), std::string_view::npos);
  EXPECT_EQ(FindAtBoundary(kZhongGuo, "\xB9\xFA"), 2u);
  // The same bytes later on a boundary are still found.
  std::string text = std::string(kZhongGuo) + "x" + std::string(kXie);
  EXPECT_EQ(FindAtBoundary(text, kXie), 5u);
  // A lead byte at the end of the text, or before an invalid second byte,
  // still takes the next byte along.
  EXPECT_EQ(FindAtBoundary("\x81"
                           "a"
                           "a",
                           "a"),
            2u);
  EXPECT_EQ(FindAtBoundary("ab\x81", "\x81"), 2u);
}

TEST(DictText, CaseFoldingTouchesOnlySingleByteLetters) {
  std::string text = "Ab" + std::string(kShaA) + std::string(kShang) + "zZ";
  std::string upper = text, lower = text;
  UpperAscii(upper);
  LowerAscii(lower);
  EXPECT_EQ(upper, "AB" + std::string(kShaA) + std::string(kShang) + "ZZ");
  EXPECT_EQ(lower, "ab" + std::string(kShaA) + std::string(kShang) + "zz");
}

TEST(DictText, MatcherIgnoresCaseButNeverConfusesCharacters) {
  EXPECT_TRUE(TMatcher("ab").In("xAB"));
  EXPECT_TRUE(TMatcher("AB").In("xab"));
  EXPECT_FALSE(TMatcher(kShaA).In(kShang));
  EXPECT_FALSE(TMatcher(kShang).In(kShaA));
  EXPECT_TRUE(TMatcher(kShang).In("a" + std::string(kShang)));
  EXPECT_FALSE(TMatcher(kXie).In(kZhongGuo));
  // A query with letters goes through the folded copy, still on boundaries.
  EXPECT_TRUE(TMatcher("x" + std::string(kShaA)).In("X" + std::string(kShaA)));
  EXPECT_FALSE(TMatcher("x" + std::string(kShaA)).In("X" + std::string(kShang)));
  EXPECT_FALSE(
      TMatcher("A").In("\x81"
                       "a"));
  EXPECT_FALSE(TMatcher(kZhongGuo).In("\xD6\xD0"));
}

TEST(DictText, SplitsAtTheFirstSeparatorPair) {
  const std::string line =
      "\xD6\xD0" + std::string(kColon) + "a" + std::string(kColon) + "b";
  TEntry e = SplitLine(line);
  EXPECT_EQ(e.Key, "\xD6\xD0" + std::string(kColon));
  EXPECT_EQ(e.Explanation, "a" + std::string(kColon) + "b");

  e = SplitLine("abc");  // no separator: the first byte is the key
  EXPECT_EQ(e.Key, "a");
  EXPECT_EQ(e.Explanation, "bc");
  e = SplitLine("");
  EXPECT_EQ(e.Key, "");
  EXPECT_EQ(e.Explanation, "");
  e = SplitLine(kColon);
  EXPECT_EQ(e.Key, kColon);
  EXPECT_EQ(e.Explanation, "");

  // 埃好: the second byte of 埃 and the first of 好 make the separator pair,
  // and the line splits there.
  e = SplitLine(
      "\xB0\xA3\xBA\xC3"
      "x");
  EXPECT_EQ(e.Key, "\xB0\xA3\xBA");
  EXPECT_EQ(e.Explanation,
            "\xC3"
            "x");
}

TEST(DictText, ExplanationIsLoweredAndItsLinksRewritten) {
  EXPECT_EQ(DisplayExplanation("See <A HREF=\"Pic/One.JPG\">Photo</A> now"),
            "see file://pic/one.jpg photo now");
  // The three rewrites are independent of one another.
  EXPECT_EQ(DisplayExplanation("a\">b</a>c"), "a bc");
  EXPECT_EQ(DisplayExplanation("<a  href=\"x\">"), "<a  href=\"x ");
  EXPECT_EQ(DisplayExplanation(std::string(kShang) + "X\r"), std::string(kShang) + "x\r");
}

TEST(Query, CleaningRemovesPrintableAsciiCharactersOnly) {
  EXPECT_EQ(CleanQuery("abc"), "");
  EXPECT_EQ(CleanQuery("\xD6\xD0x"), "\xD6\xD0");
  EXPECT_EQ(CleanQuery("!\xD6\xD0 ~\xB9\xFA\t"), "\xD6\xD0 \xB9\xFA\t");
  // Second bytes in the printable range belong to their characters.
  EXPECT_EQ(CleanQuery(std::string(kShang) + "A" + std::string(kShaA)),
            std::string(kShang) + std::string(kShaA));
  EXPECT_EQ(CleanQuery("a\x81"), "\x81");
}

}  // namespace
}  // namespace velmora
