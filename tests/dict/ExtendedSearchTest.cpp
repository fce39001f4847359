// The extended search through its seam: what each kind of query lists and
// in which order, what it marks, traditional queries, the Chinese passes
// against the standard search, and ending when stopped or overtaken.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/ExtendedSearch.h"
#include "dict/Pinyin.h"
#include "dict/Prefilter.h"
#include "dict/Search.h"
#include "dict/Simplified.h"
#include "dict/Texts.h"
#include "dict/Wildcard.h"
#include "platform/classes/Application.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

using test::HasFormat;
using test::Lines;

const std::string kColon = "\xA3\xBA";
const std::string kZhong = "\xD6\xD0";    // 中
const std::string kGuo = "\xB9\xFA";      // 国
const std::string kGuoTrad = "\x87\xF8";  // 國
const std::string kRen = "\xC8\xCB";      // 人
const std::string kXue = "\xD1\xA7";      // 学
const std::string kXi = "\xCE\xF7";       // 西
const std::string kAn = "\xB0\xB2";       // 安
const std::string kXian = "\xCF\xC8";     // 先
constexpr TFontStyles kMarked = fsBold | fsUnderline;

class ExtendedSearchTest : public ::testing::Test {
 protected:
  ExtendedSearchTest() { SharedDictImages().Clear(); }
  ~ExtendedSearchTest() override { Application().OnProcessMessages = nullptr; }

  TSearchOutcome Search(const std::string& query,
                        TSearchKind kind = TSearchKind::Extended) {
    TQueryControls controls(query);
    TSearchOptions options(kind);
    options.Pacing = pacing_;
    // The entries as the standard search shows them; the learner's display
    // is tested on its own.
    options.Display = TExtendedDisplay{false, false, false};
    return RunSearch(controls, view_, options);
  }
  std::vector<std::string> Keys() const { return test::KeysListed(edit_); }

  test::TTempDir dir_;
  TMemoryRichEdit edit_;
  TResultView view_{edit_};
  TSearchPacing pacing_;
};

TEST_F(ExtendedSearchTest, QueriesAreReadByWhatTheyHold) {
  EXPECT_EQ(ExtendedKindOf("zhong1 guo2"), TExtendedKind::Latin);
  EXPECT_EQ(ExtendedKindOf("zh\xA8\xAEngguo"), TExtendedKind::Latin);  // zhóngguo
  EXPECT_EQ(ExtendedKindOf("green tea"), TExtendedKind::Latin);
  EXPECT_EQ(ExtendedKindOf(kXue + "*"), TExtendedKind::Wildcard);
  EXPECT_EQ(ExtendedKindOf(kZhong + "?" + kRen), TExtendedKind::Wildcard);
  EXPECT_EQ(ExtendedKindOf(kZhong + kGuoTrad), TExtendedKind::Chinese);
  EXPECT_EQ(ExtendedKindOf("x" + kZhong), TExtendedKind::Chinese);
  // A double-byte character whose second byte is "?" is no wildcard.
  EXPECT_EQ(ExtendedKindOf("\x81?"), TExtendedKind::Chinese);
  EXPECT_EQ(ExtendedKindOf("!!"), TExtendedKind::Chinese);  // cleaned away: invalid
}

TEST_F(ExtendedSearchTest, LatinQueriesAreRankedReadingThenSenseThenPrefixThenWords) {
  dir_.WriteAll(kXian + kColon + "[xian1] first; China (old)\n" + kXi + kColon +
                    "[xi1] west\n" + kGuo + kColon + "[guo2] country; china\n",
                kZhong + kGuo + kColon + "[Zhong1 guo2] China\n" + kXi + kAn + kColon +
                    "[Xi1 an1] Xi'an\n" + kZhong + kRen + kColon +
                    "[zhong1 guo4] china (the word)\n",
                kZhong + kGuo + kRen + kColon + "[Zhong1 guo2 ren2] Chinese person\n" +
                    kXue + kXue + kXue + kColon + "[xue2 xue2 xue2] made in China\n");
  EXPECT_EQ(Search("zhong1 guo2"), TSearchOutcome::Found);
  // Whole reading with both tones, then a reading that begins with it; a
  // reading with another tone is no match.
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + kGuo, kZhong + kGuo + kRen}));

  Search("zhongguo");
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + kGuo, kZhong + kRen,
                                              kZhong + kGuo + kRen}));
  Search("china");
  // A sense equal to the query (remarks aside) before words inside a sense;
  // shorter keys first, then file order.
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXian, kGuo, kZhong + kGuo, kZhong + kRen,
                                              kXue + kXue + kXue}));
  Search("xian");  // xian or xi an
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXian, kXi + kAn}));
  Search("xi'an");  // only xi an
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXi + kAn}));
  Search("XI1");  // the whole reading with its tone, then reading prefixes
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXi, kXi + kAn}));
}

TEST_F(ExtendedSearchTest, TheViewKeepsTheStandardFormatsAndMarksTheMatch) {
  dir_.WriteAll("", kZhong + kGuo + kColon + "[Zhong1 guo2] China; green tea\n");
  ASSERT_EQ(Search("green tea"), TSearchOutcome::Found);
  const std::vector<std::string> lines = Lines(edit_);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], std::string(texts::kHeadingBefore) + "green tea" +
                          std::string(texts::kHeadingAfter));
  EXPECT_EQ(lines[1], texts::kFinished);
  EXPECT_EQ(lines[3], kZhong + kGuo + kColon);
  const std::string shown = "      [zhong1 guo2] china; green tea";
  EXPECT_EQ(lines[4], shown);
  int key = edit_.LineIndex(3), text = edit_.LineIndex(4) + 6;
  EXPECT_TRUE(HasFormat(edit_, key, 6, clBlue, fsBold));
  const int words = text + int(shown.find("green")) - 6;
  EXPECT_TRUE(HasFormat(edit_, text, words - text, ExplanationColor, fsBold));
  EXPECT_TRUE(HasFormat(edit_, words, 9, MatchColor, kMarked));

  Search("zhongguo");  // one byte shorter: the entry one position earlier
  text -= 1;
  key -= 1;
  EXPECT_TRUE(HasFormat(edit_, text, 1, ExplanationColor, fsBold));  // "["
  EXPECT_TRUE(HasFormat(edit_, text + 1, 11, MatchColor, kMarked));  // zhong1 guo2
  EXPECT_TRUE(HasFormat(edit_, text + 12, 2, ExplanationColor, fsBold));

  Search(kZhong + "*");  // the wildcard's literal characters in the key
  key = edit_.LineIndex(3);
  EXPECT_TRUE(HasFormat(edit_, key, 2, MatchColor, kMarked));
  EXPECT_TRUE(HasFormat(edit_, key + 2, 4, clBlue, fsBold));

  Search("nothing here");
  EXPECT_EQ(Lines(edit_)[3] + "\n" + Lines(edit_)[4] + "\n",
            std::string(texts::kNotFound)
                .substr(0, std::string(texts::kNotFound).rfind('\n') + 1));
}

TEST_F(ExtendedSearchTest, ToneMarksAndTheSpellingsOfUmlaut) {
  const std::string lv = "\xC2\xCC";  // 绿
  dir_.WriteAll(lv + kColon + "[lu:4] green\n" + kXue + kColon + "[xue2] to learn\n");
  for (const std::string q : {"lv4", "lu:4",
                              "L\xA8\xB9"
                              "4",
                              "l\xA8\xB8", "LV"}) {
    Search(q);
    EXPECT_EQ(Keys(), std::vector<std::string>{lv}) << q;
  }
  Search("l\xA8\xB7");  // lǚ: the wrong tone
  EXPECT_TRUE(Keys().empty());
}

TEST_F(ExtendedSearchTest, EnglishWordsAreWholeWordsInOneSense) {
  dir_.WriteAll(kXue + kColon + "[xue2] to learn; to study\n" + kRen + kColon +
                "[ren2] person; people; learned man\n" + kAn + kColon +
                "[an1] tea/green; (coll.) to study hard\n" + kXi + kColon +
                "[xi1] green-tea; TEAPOT\n");
  Search("study");
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXue, kAn}));
  Search("to study");  // "to study hard" holds the phrase: words inside
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXue, kAn}));
  Search("learn");  // not "learned"
  EXPECT_EQ(Keys(), std::vector<std::string>{kXue});
  Search("green tea");  // not across the "/" between senses
  EXPECT_EQ(Keys(), std::vector<std::string>{kXi});
  Search("tea");  // not inside "teapot"
  EXPECT_EQ(Keys(), (std::vector<std::string>{kAn, kXi}));
  Search("xue");  // the reading is no English
  EXPECT_EQ(Keys(), std::vector<std::string>{kXue});
}

// A run of "*" means one; read as many, each would be matched on its own
// against every key (a megabyte of them never finished).
TEST(Wildcard, RunsOfStarsAreReadAsOne) {
  const auto w = TWildcard::Parse(" " + std::string(1 << 20, '*') + kXue + "**?***");
  ASSERT_TRUE(w);
  // Compared whole, but not printed whole on failure.
  EXPECT_TRUE(w->Pattern() == "*" + kXue + "*?*") << w->Pattern().size() << " bytes";
  EXPECT_TRUE(w->Match(kRen + kXue + kZhong));
  EXPECT_FALSE(w->Match(kXue));
}

// A character GBK cannot hold comes as "?"; taken as a wildcard it would
// list every one-character key (or se?or for señor). The query is refused,
// naming the character, whatever the rest would have been.
TEST_F(ExtendedSearchTest, ACharacterGBKCannotHoldIsRefusedNeverAWildcard) {
  dir_.WriteAll(kXue + kColon + "one\n", "sexor" + kColon + "x\n", "", "", "");
  auto search = [&](const std::string& typed, const std::string& cleaned,
                    const std::string& name, TSearchKind kind) {
    TQueryControls controls(typed);
    TSearchOptions options(kind);
    options.Query = TSearchQuery{typed, cleaned, name};
    return RunSearch(controls, view_, options);
  };
  for (const char* name : {"U+1F600", "0xFF"}) {
    EXPECT_EQ(search("?", "", name, TSearchKind::Extended), TSearchOutcome::InvalidQuery);
    EXPECT_EQ(Lines(edit_), (std::vector<std::string>{
                                std::string(texts::kUnencodableQuery) + name, ""}));
    EXPECT_TRUE(HasFormat(edit_, 0, edit_.LineIndex(1) - 2, clRed, fsBold));
  }
  // The standard search drops the "?" as it always has.
  EXPECT_EQ(search(kXue + "?", kXue, "U+1F600", TSearchKind::Standard),
            TSearchOutcome::Found);
  EXPECT_EQ(Keys(), std::vector<std::string>{kXue});
}

// Spaces and tabs around a query (a paste, a terminal) are not part of it.
TEST_F(ExtendedSearchTest, SpacesAndTabsAroundTheQueryAreDropped) {
  dir_.WriteAll(kXue + kColon + "one\n", kXue + kRen + kColon + "two\n", "", "", "");
  for (const std::string& query : {"\t" + kXue + kRen + " \t", " \t" + kXue + "*\t"}) {
    Search(query);
    EXPECT_EQ(Lines(edit_)[1], texts::kFinished) << query;
    ASSERT_FALSE(Keys().empty()) << query;
    EXPECT_EQ(Keys().back(), kXue + kRen) << query;
  }
}

TEST_F(ExtendedSearchTest, ATraditionalQueryFindsTheSimplifiedFormOnce) {
  if (ToSimplified(kZhong + kGuoTrad) != kZhong + kGuo)
    GTEST_SKIP() << "the conversion's data is not installed";
  dir_.WriteAll(
      "", kZhong + kGuo + kColon + "China\n" + kGuo + kRen + kColon + "x\n",
      kZhong + kGuo + kRen + kColon + "person of " + kZhong + kGuoTrad + "\n", "",
      "other" + kColon + "see " + kZhong + kGuo + " and " + kZhong + kGuoTrad + "\n");
  ASSERT_EQ(Search(kZhong + kGuoTrad), TSearchOutcome::Found);
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{kZhong + kGuo, kZhong + kGuo + kRen, "other"}));
  // Both forms marked in an explanation.
  const std::vector<std::string> lines = Lines(edit_);
  const int text = edit_.LineIndex(10) + 6;
  EXPECT_TRUE(HasFormat(edit_, text + 4, 4, MatchColor, kMarked));
  EXPECT_TRUE(HasFormat(edit_, text + 13, 4, MatchColor, kMarked));
  // The standard search of the same query lists only what holds 中國.
  Search(kZhong + kGuoTrad, TSearchKind::Standard);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + kGuo + kRen, "other"}));
}

// Chinese characters without traditional ones: the extended search writes
// exactly what the standard one writes, formats included.
TEST_F(ExtendedSearchTest, ChineseQueriesListWhatTheStandardSearchLists) {
  const char* const pieces[] = {"\xD6\xD0", "\xB9\xFA", "\xA3\xBA", "\xB0\xA3",
                                "\xBA\xA1", "\x81\x61", "a",        " ",
                                "\n",       "\n"};
  const char* const queries[] = {
      "\xD6\xD0", "\xD6\xD0\xB9\xFA", "\xA3\xBA", "\xB0\xA3\xBA\xA1",
      "\x81\x61", "a\xD6\xD0!",       "\xD6"};
  std::mt19937 rng(3);
  TDictImages images;
  for (int round = 0; round < 40; ++round) {
    std::string files[5];
    for (std::string& f : files)
      for (int i = int(rng() % 60); i > 0; --i) f += pieces[rng() % std::size(pieces)];
    dir_.WriteAll(files[0], files[1], files[2], files[3], files[4]);
    TSearchOptions options;
    options.Display = TExtendedDisplay{false, false, false};
    options.Pacing.SliceBytes =
        rng() % 2 ? std::size_t(1 + rng() % 30) : std::size_t(1) << 20;
    options.Images = &images;
    for (const char* q : queries) {
      TMemoryRichEdit a, b;
      TResultView va(a), vb(b);
      TQueryControls ca(q), cb(q);
      images.Clear();
      options.Kind = TSearchKind::Standard;
      const TSearchOutcome oa = RunSearch(ca, va, options);
      images.Clear();
      options.Kind = TSearchKind::Extended;
      const TSearchOutcome ob = RunSearch(cb, vb, options);
      // Where nothing holds the query, the extended search may list the
      // words it is made of instead (tested on its own elsewhere).
      if (oa == TSearchOutcome::NotFound && ob == TSearchOutcome::Found) continue;
      ASSERT_EQ(oa, ob);
      ASSERT_EQ(a.Text(), b.Text()) << ::testing::PrintToString(std::string(q));
      for (int p = 0; p < a.TextLength(); ++p) {
        ASSERT_EQ(a.FormatAt(p).Color, b.FormatAt(p).Color) << p;
        ASSERT_EQ(a.FormatAt(p).Style, b.FormatAt(p).Style) << p;
      }
    }
  }
}

TEST_F(ExtendedSearchTest, MissingFilesAreReportedAsTheStandardSearchDoes) {
  dir_.WriteAll("", kZhong + kGuo + kColon + "[zhong1 guo2] China\n");
  ::unlink("1.sr");
  EXPECT_EQ(Search("zhongguo"), TSearchOutcome::OwnFileMissing);
  EXPECT_EQ(Lines(edit_)[0], texts::kOwnFileMissing);
  dir_.Write("1.sr", "");
  ::unlink("4.sr");
  EXPECT_EQ(Search("zhongguo"), TSearchOutcome::OtherFileMissing);
  EXPECT_EQ(Lines(edit_)[0], std::string(texts::kFileMissing) + "4.sr");
  EXPECT_EQ(Keys(), std::vector<std::string>{kZhong + kGuo});  // found before it stays
}

// Results as you type: each keystroke starts a search from within the
// messages that the search under way lets run, after asking it to stop.
TEST_F(ExtendedSearchTest, ASearchStartedInsideAnotherEndsTheOlderOne) {
  std::string many;
  for (int i = 0; i < 2000; ++i) many += kZhong + kGuo + kColon + "[zhong1 guo2] China\n";
  dir_.WriteAll(kXue + kColon + "[xue2] to learn\n", many);
  pacing_.SliceBytes = 64;
  pacing_.Interval = std::chrono::nanoseconds(0);
  int calls = 0;
  TSearchOutcome inner = TSearchOutcome::InvalidQuery;
  Application().OnProcessMessages = [&] {
    if (++calls != 50) return;
    StopRequested = true;
    inner = Search("learn");
  };
  EXPECT_EQ(Search("zhongguo"), TSearchOutcome::Stopped);
  EXPECT_EQ(inner, TSearchOutcome::Found);
  // The view is the newer search's alone, as a fresh search writes it.
  const std::string nested = edit_.Text();
  Application().OnProcessMessages = nullptr;
  Search("learn");
  EXPECT_EQ(nested, edit_.Text());
}

// The first sieve against a plain search of every needle at every place.
TEST(Prefilter, FindsTheFirstPlaceAnyNeedleBegins) {
  std::mt19937 rng(11);
  const std::string alphabet = "aAbB:[\xA3\xBA\n\x81 ";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int i = int(rng() % 400); i > 0; --i) text += alphabet[rng() % alphabet.size()];
    std::vector<TNeedle> needles;
    for (int n = int(rng() % 4); n > 0; --n) {
      TNeedle needle;
      for (int i = 1 + int(rng() % 5); i > 0; --i)
        needle.Bytes += alphabet[rng() % alphabet.size()];
      needle.AnyCase = rng() % 2;
      needles.push_back(needle);
    }
    const TNeedleFinder finder(needles);
    const std::size_t from = rng() % (text.size() + 1);
    std::size_t expected = std::string::npos;
    for (std::size_t i = from; i < text.size() && expected == std::string::npos; ++i) {
      for (const TNeedle& n : needles) {
        if (n.Bytes.size() > text.size() - i) continue;
        bool same = true;
        for (std::size_t k = 0; k < n.Bytes.size() && same; ++k) {
          char a = text[i + k], b = n.Bytes[k];
          if (n.AnyCase) {
            a = char(std::tolower(static_cast<unsigned char>(a)));
            b = char(std::tolower(static_cast<unsigned char>(b)));
          }
          same = a == b;
        }
        if (same) expected = i;
      }
      if (needles.empty()) expected = i;
    }
    ASSERT_EQ(finder.Find(text, from), expected) << "round " << round;
  }
}

// The look at a reading's letters before it is split may pass a reading
// that doesn't match, never refuse one that does; text cut short (the end
// of a slice) leaves the reading to the full test.
TEST(ReadingQuery, TheQuickLookRefusesOnlyWhatMatchRefuses) {
  const auto query = pinyin::TReadingQuery::Parse("nv3 er2");
  ASSERT_TRUE(query);
  for (const char* reading : {"nu:3 er2", "Nu:3 er2 zi5", "nv3 er2", "NV3 ER2", "nu3 er2",
                              "ni3 er2", "nu:3", "nu:3 e",
                              "n\xA8\xB9"
                              "3 er2",
                              "nu:3'er2"}) {
    const bool matches = query->Match(reading) != pinyin::TReadingMatch::None;
    EXPECT_TRUE(!matches || query->MayBeginWith(std::string(reading) + "] x\n"))
        << reading;
  }
  EXPECT_FALSE(query->MayBeginWith("ni3 er2] x\n"));
  EXPECT_FALSE(query->MayBeginWith("nv3] x\n"));
  EXPECT_FALSE(query->MayBeginWith("nv3 an2] x\n"));
  EXPECT_TRUE(query->MayBeginWith("nu"));
  EXPECT_TRUE(query->MayBeginWith("nv3 e"));
}

}  // namespace
}  // namespace velmora
