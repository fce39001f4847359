// What the extended search puts first: common words before rare ones, the
// English and reading answers of one query mixed by frequency, readings
// still being typed, and sentences split into words (against a brute-force
// best split).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/ExtendedDisplay.h"
#include "dict/ExtendedSearch.h"
#include "dict/Pinyin.h"
#include "dict/Ranking.h"
#include "dict/Search.h"
#include "dict/Segmenter.h"
#include "dict/Simplified.h"
#include "dict/Texts.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

const std::string kColon = "\xA3\xBA";
const std::string kShi = "\xCA\xC7";     // 是
const std::string kShiAge = "\xCA\xC0";  // 世
const std::string kShiTen = "\xCA\xAE";  // 十
const std::string kNi = "\xC4\xE3";      // 你
const std::string kYou = "\xD3\xD0";     // 有
const std::string kYouHe = "\xD3\xC7";   // 忧
const std::string kWo = "\xCE\xD2";      // 我
const std::string kXue = "\xD1\xA7";     // 学
const std::string kSheng = "\xC9\xFA";   // 生
const std::string kZhong = "\xD6\xD0";   // 中
const std::string kGuo = "\xB9\xFA";     // 国

class AnswerOrderTest : public ::testing::Test {
 protected:
  AnswerOrderTest() { SharedDictImages().Clear(); }

  TSearchOutcome Search(const std::string& query) {
    TQueryControls controls(query);
    TSearchOptions options(TSearchKind::Extended);
    options.Display = TExtendedDisplay{false, false, false};  // keys as they stand
    return RunSearch(controls, view_, options);
  }
  std::vector<std::string> Keys() const { return test::KeysListed(edit_); }
  std::string Text() const { return edit_.Text(); }

  test::TTempDir dir_;
  TMemoryRichEdit edit_;
  TResultView view_{edit_};
};

TEST_F(AnswerOrderTest, CommonWordsFirstAndTheTableIsOptional) {
  dir_.WriteAll(kShiAge + kColon + "[shi4] life; age\n" + kShiTen + kColon +
                    "[shi2] ten\n" + kShi + kColon + "[shi4] is; are\n" + kShi + kColon +
                    "[Shi4] surname Shi\n",
                kShi + kShi + kColon + "[shi4 shi4] yes indeed\n");
  Search("shi");
  // Without a table: today's order, shorter keys, then the files' order.
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{kShiAge, kShiTen, kShi, kShi, kShi + kShi}));

  dir_.Write("frequency.txt",
             kShiTen + "\t300\n" + kShi + "\t9000\n" + kShiAge + "\t500\n");
  Search("shi");
  // 是's real entry first; its surname entry weighs a hundredth of the
  // count, below 世 and 十 but above keys the table does not count.
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{kShi, kShiAge, kShiTen, kShi, kShi + kShi}));
  EXPECT_NE(Text().find("is; are"), std::string::npos);
  EXPECT_LT(Text().find("is; are"), Text().find("surname"));
}

TEST_F(AnswerOrderTest, AChineseQueryListsEachPassCommonWordsFirst) {
  dir_.WriteAll(
      kXue + kColon + "[xue2] to learn\n",
      kShi + kXue + kColon + "[shi4 xue2] (made up)\n" + kXue + kSheng + kColon +
          "[xue2 sheng5] student\n",
      kWo + kXue + kSheng + kColon + "[wo3 xue2 sheng5] (made up)\n" + kZhong + kXue +
          kSheng + kColon + "[zhong1 xue2 sheng1] middle-school student\n",
      "",
      kSheng + kSheng + kSheng + kSheng + kSheng + kColon + "[x] about " + kXue + "\n");
  Search(kXue);
  // Without a table, each pass in the files' order.
  const std::vector<std::string> asFiled = {kXue,
                                            kShi + kXue,
                                            kXue + kSheng,
                                            kWo + kXue + kSheng,
                                            kZhong + kXue + kSheng,
                                            kSheng + kSheng + kSheng + kSheng + kSheng};
  EXPECT_EQ(Keys(), asFiled);
  dir_.Write("frequency.txt",
             kXue + kSheng + "\t900\n" + kZhong + kXue + kSheng + "\t80\n");
  Search(kXue);
  // The key pass of the other files by frequency, the uncounted shorter
  // first; the explanation pass after them.
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{kXue, kXue + kSheng, kZhong + kXue + kSheng,
                                      kShi + kXue, kWo + kXue + kSheng,
                                      kSheng + kSheng + kSheng + kSheng + kSheng}));
}

TEST_F(AnswerOrderTest, AnEnglishWordAndAReadingAreRankedTogether) {
  dir_.WriteAll(kYouHe + kColon + "[you1] worry\n" + kYou + kColon + "[you3] to have\n" +
                kNi + kColon + "[ni3] you\n");
  dir_.Write("frequency.txt", kNi + "\t5000\n" + kYou + "\t8000\n" + kYouHe + "\t10\n");
  Search("you");
  EXPECT_EQ(Keys(), (std::vector<std::string>{kYou, kNi, kYouHe}));
}

TEST_F(AnswerOrderTest, AReadingStillBeingTyped) {
  dir_.WriteAll(kZhong + kColon + "[zhong1] middle\n",
                kZhong + kGuo + kColon + "[Zhong1 guo2] China\n" + kXue + kSheng +
                    kColon + "[xue2 sheng5] student\n");
  dir_.Write("frequency.txt", kZhong + kGuo + "\t900\n" + kZhong + "\t100\n");
  EXPECT_EQ(Search("zho"), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + kGuo, kZhong}));
  Search("zhongg");
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + kGuo}));
  Search("xues");
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXue + kSheng}));

  // Letters that could still become a reading but match nothing yet: no
  // failure, a word to type on, in the view's own colours.
  EXPECT_EQ(Search("zhongguozh"), TSearchOutcome::NotFound);
  EXPECT_EQ(Text().find(texts::kNotFound.substr(0, 8)), std::string::npos);
  EXPECT_NE(Text().find(texts::kMoreLetters), std::string::npos);
  // Whole syllables that no reading begins with, and letters no reading
  // can grow from: the not-found message.
  Search("zhongguoxue");
  EXPECT_NE(Text().find(texts::kNotFound.substr(0, 8)), std::string::npos);
  Search("zhongguoqq");
  EXPECT_NE(Text().find(texts::kNotFound.substr(0, 8)), std::string::npos);
}

// A reading of random syllables, and every query made of a beginning of
// its letters: the partial query matches exactly the readings whose letters
// begin with it.
TEST(PartialReading, MatchesTheReadingsWhoseLettersBeginWithIt) {
  const std::vector<std::string> syllables = {"zhong", "guo", "xue", "sheng", "ni",
                                              "hao",   "an",  "xi",  "shi",   "e"};
  std::mt19937 rng(7);
  int partial = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> readings;
    std::vector<std::string> joined;
    for (int r = 0; r < 6; ++r) {
      std::string reading, letters;
      for (int k = 1 + int(rng() % 3); k > 0; --k) {
        const std::string& s = syllables[rng() % syllables.size()];
        reading += (reading.empty() ? "" : " ") + s + std::to_string(1 + rng() % 4);
        letters += s;
      }
      readings.push_back(reading);
      joined.push_back(letters);
    }
    const std::string& source = joined[rng() % joined.size()];
    const std::string query = source.substr(0, 1 + rng() % source.size());
    const auto q = pinyin::TReadingQuery::Parse(query);
    // One or two letters that are no syllable begin too many readings.
    if (query.size() < 3 && !q) continue;
    ASSERT_TRUE(q) << query;
    if (!q->Partial()) continue;
    ++partial;
    for (std::size_t r = 0; r < readings.size(); ++r) {
      const bool expected = joined[r].starts_with(query);
      EXPECT_EQ(q->Match(readings[r]) != pinyin::TReadingMatch::None, expected)
          << query << " in " << readings[r];
    }
  }
  EXPECT_GT(partial, 50);
}

// ---------------------------------------------------------------------------
// Sentences

// Every split of text into single characters and words, the best score.
double BestByBruteForce(const std::vector<std::string>& chars, const TWordModel& model) {
  const std::size_t n = chars.size();
  double best = -INFINITY;
  for (unsigned cuts = 0; cuts < (1u << (n - 1)); ++cuts) {
    std::string text, word;
    std::vector<TWordPiece> split;
    bool valid = true;
    std::size_t from = 0;
    for (std::size_t i = 0; i < n; ++i) {
      word += chars[i];
      if (i + 1 == n || cuts & (1u << i)) {
        if (word.size() > 2 && !model.IsWord(word)) valid = false;
        split.push_back(TWordPiece{from, word.size()});
        from += word.size();
        text += word;
        word.clear();
      }
    }
    if (valid) best = std::max(best, SplitScore(text, split, model));
  }
  return best;
}

TEST(Segmenter, FindsTheBestSplitOfRandomDictionaries) {
  const std::vector<std::string> alphabet = {kWo, kShi, kXue, kSheng};
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::map<std::string, std::uint64_t> words;
    for (int w = int(rng() % 8); w > 0; --w) {
      std::string word;
      for (int k = 1 + int(rng() % 3); k > 0; --k)
        word += alphabet[rng() % alphabet.size()];
      words[word] = rng() % 3 ? rng() % 1000 : 0;
    }
    TWordModel model;
    model.IsWord = [&](std::string_view w) { return words.count(std::string(w)) > 0; };
    const bool counted = rng() % 4 != 0;
    if (counted) {
      model.Count = [&](std::string_view w) {
        const auto it = words.find(std::string(w));
        return it == words.end() ? std::uint64_t(0) : it->second;
      };
      model.Total = 5000;
    }
    model.LongestWord = 3;
    std::vector<std::string> chars;
    std::string text;
    for (int k = 1 + int(rng() % 8); k > 0; --k) {
      chars.push_back(alphabet[rng() % alphabet.size()]);
      text += chars.back();
    }
    const std::vector<TWordPiece> split = SplitIntoWords(text, model);
    std::size_t covered = 0;
    for (const TWordPiece& p : split) {
      ASSERT_EQ(p.From, covered);
      covered += p.Size;
    }
    ASSERT_EQ(covered, text.size());
    EXPECT_NEAR(SplitScore(text, split, model), BestByBruteForce(chars, model), 1e-9)
        << "round " << round;
  }
}

TEST_F(AnswerOrderTest, ASentenceListsItsWordsInTheOrderOfTheText) {
  // 是's second entry only points to its first: a sentence leaves it out.
  dir_.WriteAll(kWo + kColon + "[wo3] I\n" + kShi + kColon + "[shi4] is\n" + kShi +
                    kColon + "[shi4] variant of " + kShi + "[shi4]\n" + kXue + kColon +
                    "[xue2] to learn\n" + kSheng + kColon + "[sheng1] to be born\n",
                kXue + kSheng + kColon + "[xue2 sheng5] student\n" + kShi + kXue +
                    kColon + "[shi4 xue2] (made up) a word across the split\n");
  dir_.Write("frequency.txt", "#total 100000\n" + kWo + "\t3000\n" + kShi + "\t8000\n" +
                                  kXue + kSheng + "\t400\n" + kXue + "\t600\n" + kSheng +
                                  "\t500\n" + kShi + kXue + "\t1\n");
  EXPECT_EQ(Search(kWo + kShi + kXue + kSheng), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kWo, kShi, kXue + kSheng}));
  // One heading for the whole, and the search's end.
  const std::vector<std::string> lines = test::Lines(edit_);
  EXPECT_NE(lines[0].find(kWo + kShi + kXue + kSheng), std::string::npos);
  EXPECT_EQ(lines[1], texts::kFinished);

  // A query an entry holds is no sentence.
  Search(kXue + kSheng);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXue + kSheng}));
}

TEST_F(AnswerOrderTest, TraditionalQueriesByTheDatasOwnPairsFirst) {
  const std::string zhaoji = "\xD7\xC5\xBC\xB1";          // 着急
  const std::string zhuji = "\xD6\xF8\xBC\xB1";           // 著急, its traditional form
  const std::string gan = "\xB8\xC9", qian = "\xC7\xAC";  // 干, 乾
  const std::string one =
      gan + kColon + "[gan1] dry\n" + qian + kColon + "[qian2] heaven\n";
  const std::string two = zhaoji + kColon + "[zhao2 ji2] to worry\n";
  dir_.WriteAll(one, two);
  dir_.Write("traditional.txt", "#sizes " + std::to_string(one.size()) + " " +
                                    std::to_string(two.size()) + " 0 0 0\n1\t0\t" + gan +
                                    "\t" + qian + "\n2\t0\t" + zhaoji + "\t" + zhuji +
                                    "\n");
  // The pair of the data finds the entry, whatever the general conversion
  // makes of the query.
  EXPECT_EQ(Search(zhuji), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{zhaoji}));
  // 乾 is a key of its own: it is not taken for 干.
  Search(qian);
  EXPECT_EQ(Keys(), (std::vector<std::string>{qian}));
}

TEST_F(AnswerOrderTest, WildcardsInTraditionalCharacters) {
  const std::string xueTrad = "\x8C\x57";  // 學
  if (ToSimplified(xueTrad) != kXue)
    GTEST_SKIP() << "the conversion's data is not installed";
  dir_.WriteAll(kXue + kColon + "[xue2] to learn\n",
                kXue + kSheng + kColon + "[xue2 sheng5] student\n");
  EXPECT_EQ(Search(xueTrad + "*"), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kXue, kXue + kSheng}));
}

// ---------------------------------------------------------------------------
// Showing entries as learners read them

TEST(ToneMarks, ReadingsAsLearnersReadThem) {
  EXPECT_EQ(ToneMarked("zhong1 guo2"), "zh\xA8\xADng gu\xA8\xAE");  // zhōng guó
  EXPECT_EQ(ToneMarked("nu:3 er2"), "n\xA8\xB7 \xA8\xA6r");         // nǚ ér
  EXPECT_EQ(ToneMarked("lu:"), "l\xA8\xB9");                        // lü
  EXPECT_EQ(ToneMarked("hao3 dou4 le5"), "h\xA8\xA3o d\xA8\xB0u le");
  EXPECT_EQ(ToneMarked("gui4"), "gu\xA8\xAC");  // the last vowel: guì
  // A capital marked vowel is lowered (GBK has none); others keep theirs.
  EXPECT_EQ(ToneMarked("Ou1 zhou1"), "\xA8\xADu zh\xA8\xADu");
  EXPECT_EQ(ToneMarked("Zhong1"), "Zh\xA8\xADng");
  EXPECT_EQ(ToneMarked("yi1 bu4 zuo4 , er4 bu4 xiu1"),
            "y\xA8\xA9 b\xA8\xB4 zu\xA8\xB0 , \xA8\xA8r b\xA8\xB4 xi\xA8\xB1");
  EXPECT_EQ(ToneMarked("xx5 A"), "xx5 A");  // no syllables: as they are

  // Cross-references too, and offsets move with the text.
  std::vector<std::size_t> map;
  const std::string text = "[xi1 an1] see [xi1]";
  const std::string marked = WithToneMarks(text, &map);
  EXPECT_EQ(marked, "[x\xA8\xA9 \xA8\xA1n] see [x\xA8\xA9]");
  EXPECT_EQ(map[1], 1u);  // x
  EXPECT_EQ(map[8], 8u);  // ]
  EXPECT_EQ(map[text.size()], marked.size());
}

TEST_F(AnswerOrderTest, TheLearnersDisplayAndItsChoices) {
  const std::string xueTrad = "\x8C\x57";  // 學
  const std::string line =
      kXue + kSheng + kColon + "[xue2 sheng5] Student; see " + kXue + "[xue2]\n";
  dir_.WriteAll("", line);
  dir_.Write("traditional.txt", "#sizes 0 " + std::to_string(line.size()) +
                                    " 0 0 0\n2\t0\t" + kXue + kSheng + "\t" + xueTrad +
                                    kSheng + "\n");
  auto search = [&](const TExtendedDisplay& display) {
    TQueryControls controls("xuesheng");
    TSearchOptions options(TSearchKind::Extended);
    options.Display = display;
    RunSearch(controls, view_, options);
    const std::vector<std::string> lines = test::Lines(edit_);
    return lines.size() > 4 ? lines[3] + "|" + lines[4] : std::string();
  };
  // All three: 学生（學生）, tone marks everywhere, the letters' own case.
  EXPECT_EQ(search(TExtendedDisplay{}),
            kXue + kSheng + "\xA3\xA8" + xueTrad + kSheng + "\xA3\xA9" + kColon +
                "|      [xu\xA8\xA6 sheng] Student; see " + kXue + "[xu\xA8\xA6]");
  // None: as the standard search shows it.
  EXPECT_EQ(
      search(TExtendedDisplay{false, false, false}),
      kXue + kSheng + kColon + "|      [xue2 sheng5] student; see " + kXue + "[xue2]");
  // The marks of the reading follow it into its new form.
  search(TExtendedDisplay{});
  const std::size_t reading = edit_.Text().find("[xu\xA8\xA6");
  ASSERT_NE(reading, std::string::npos);
  const int at = int(reading) + 1;
  EXPECT_TRUE(edit_.FormatAt(at).Style & fsUnderline);
  EXPECT_TRUE(edit_.FormatAt(at + 9).Style & fsUnderline);  // the g of sheng
  EXPECT_FALSE(edit_.FormatAt(at + 10).Style & fsUnderline);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// An English word finds first the words that mean just it, or mean it
// first, before more common words for which it is one sense of many; and a
// character's common reading comes before its proper noun's, which the
// table counts alike.
TEST_F(AnswerOrderTest, WhatAWordMeansFirstAndCommonReadingsFirst) {
  const auto g = [](const char* utf8) { return gbk::FromUtf8(utf8); };
  dir_.WriteAll(
      g("用：[yong4] to use; to employ; to need; (courteous) to eat\n"
        "吃：[chi1] to eat; to consume; to suffer\n"
        "中：[Zhong1] China; Chinese; surname Zhong\n"
        "中：[zhong1] within; among; middle\n"),
      g("先生：[xian1 sheng5] teacher; gentleman; sir; mister; husband; CL:位[wei4]\n"
        "老师：[lao3 shi1] teacher; CL:個|个[ge4]\n"));
  dir_.Write("frequency.txt", g("中\t2000\n中[Zhong1]\t2000\n中[zhong1]\t2000\n"
                                "先生\t14000\n吃\t30000\n用\t90000\n老师\t6400\n"));
  Search("teacher");
  EXPECT_EQ(Keys(), (std::vector<std::string>{g("老师"), g("先生")}));
  Search("eat");
  EXPECT_EQ(Keys(), (std::vector<std::string>{g("吃"), g("用")}));
  Search("zhong");
  ASSERT_EQ(Keys(), (std::vector<std::string>{g("中"), g("中")}));
  EXPECT_LT(Text().find("middle"), Text().find("China"));
}

}  // namespace
}  // namespace velmora
