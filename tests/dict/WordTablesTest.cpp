// The side tables: counts and ranks by key, traditional forms by entry, and
// what a damaged, hand-edited or outdated table gives.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "dict/DictFile.h"
#include "dict/WordTables.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

const std::string kShi = "\xCA\xC7";     // 是
const std::string kXue = "\xD1\xA7";     // 学
const std::string kSheng = "\xC9\xFA";   // 生
const std::string kGan = "\xB8\xC9";     // 干
const std::string kGanDry = "\xC7\xAC";  // 乾
const std::string kGanDo = "\x8E\xD6";   // 幹
const std::string kColon = "\xA3\xBA";

void Write(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

class WordTablesTest : public ::testing::Test {
 protected:
  test::TTempDir dir_;
  TDictImages images_;
};

TEST_F(WordTablesTest, CountsAndRanksByKey) {
  // Out of order, a malformed line, a zero count and a remark: the reader
  // keeps what it can use.
  Write("frequency.txt", "# remark\n#total 99\n" + kXue + kSheng + "\t40\n" + kShi +
                             "\t900\nbroken line\n" + kXue + "\t40\n" + kSheng +
                             "\t0\nabc\t7x\n");
  const auto table = WordFrequency(images_);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Size(), 3u);
  EXPECT_EQ(table->Count(kShi), 900u);
  EXPECT_EQ(table->Count(kXue + kSheng), 40u);
  EXPECT_EQ(table->Count(kSheng), 0u);
  EXPECT_EQ(table->Count("abc"), 0u);
  EXPECT_EQ(table->Rank(kShi), 1u);
  // Equal counts share the better rank.
  EXPECT_EQ(table->Rank(kXue), 2u);
  EXPECT_EQ(table->Rank(kXue + kSheng), 2u);
  EXPECT_EQ(table->Rank(kSheng), 0u);
  // A character's share for one of its readings.
  Write("frequency.txt",
        kShi + "\t900\n" + kShi + "[shi4]\t800\n" + kShi + "[Shi4]\t100\n");
  const auto shared = WordFrequency(images_);
  EXPECT_EQ(shared->Size(), 1u);
  EXPECT_EQ(shared->EntryCount(kShi, "shi4"), 800u);
  EXPECT_EQ(shared->EntryCount(kShi, "shi2"), 900u);  // no share: the key's count
  EXPECT_EQ(shared->Rank(kShi), 1u);
  // Asked again of the same file, the same index.
  EXPECT_EQ(WordFrequency(images_), shared);
}

TEST_F(WordTablesTest, AFolderWithoutTablesHasNone) {
  EXPECT_FALSE(WordFrequency(images_));
  EXPECT_FALSE(TraditionalForms(images_));
  std::filesystem::create_directory("frequency.txt");
  EXPECT_FALSE(WordFrequency(images_));
}

TEST_F(WordTablesTest, TraditionalFormsByEntryByKeyAndBack) {
  // Two entries of 干 with different traditional forms, in 1.sr.
  const std::string first = kGan + kColon + "[gan1] dry\n";
  const std::string second = kGan + kColon + "[gan4] to do\n";
  Write("1.sr", first + second);
  Write("2.sr", "");
  const std::string sizes =
      "#sizes " + std::to_string(first.size() + second.size()) + " 0 0 0 0\n";
  Write("traditional.txt", sizes + "1\t" + std::to_string(first.size()) + "\t" + kGan +
                               "\t" + kGanDo + "\n1\t0\t" + kGan + "\t" + kGanDry + "\n");
  const auto table = TraditionalForms(images_);
  ASSERT_TRUE(table);
  EXPECT_TRUE(table->MatchesFiles());
  EXPECT_EQ(table->Of(1, 0, kGan), kGanDry);
  EXPECT_EQ(table->Of(1, first.size(), kGan), kGanDo);
  EXPECT_EQ(table->Of(1, 3, kGan), "");    // no entry starts there
  EXPECT_EQ(table->Of(1, 0, kShi), "");    // another key stands there now
  EXPECT_EQ(table->OfKey(kGan), kGanDry);  // the first entry in the files
  EXPECT_EQ(table->SimplifiedOf(kGanDo), kGan);
  EXPECT_EQ(table->SimplifiedOf(kGan), "");

  // The files change size: offsets no longer hold, the keys still do.
  Write("1.sr", first);
  const auto outdated = TraditionalForms(images_);
  ASSERT_TRUE(outdated);
  EXPECT_FALSE(outdated->MatchesFiles());
  EXPECT_EQ(outdated->Of(1, 0, kGan), "");
  EXPECT_EQ(outdated->OfKey(kGan), kGanDry);
}

TEST_F(WordTablesTest, TablesWithCrLfLineEndsAnswerAsWithLf) {
  // Counts, remarks and forms would otherwise end in the CR: no counts, no
  // total, sizes that never match, and forms shown with a CR.
  Write("frequency.txt", "#total 5000\r\n" + kShi + "\t900\r\n" + kXue + "\t40\r\n");
  const auto frequency = WordFrequency(images_);
  ASSERT_TRUE(frequency);
  EXPECT_EQ(frequency->Count(kShi), 900u);
  EXPECT_EQ(frequency->Rank(kXue), 2u);
  EXPECT_EQ(frequency->Total(), 5000u);

  const std::string entry = kGan + kColon + "[gan1] dry\r\n";
  Write("1.sr", entry);
  Write("traditional.txt", "#sizes " + std::to_string(entry.size()) +
                               " 0 0 0 0\r\n1\t0\t" + kGan + "\t" + kGanDry + "\r\n");
  const auto traditional = TraditionalForms(images_);
  ASSERT_TRUE(traditional);
  EXPECT_TRUE(traditional->MatchesFiles());
  EXPECT_EQ(traditional->Of(1, 0, kGan), kGanDry);
  EXPECT_EQ(traditional->SimplifiedOf(kGanDry), kGan);
}

TEST_F(WordTablesTest, TheBundledTablesMatchTheBundledFiles) {
  std::filesystem::current_path(VELMORA_DATA_DIR);
  const auto frequency = WordFrequency(images_);
  const auto traditional = TraditionalForms(images_);
  if (!frequency || !traditional) GTEST_SKIP() << "the bundled folder has no side tables";
  EXPECT_GT(frequency->Count(kShi), frequency->Count(kGan));
  EXPECT_TRUE(traditional->MatchesFiles());
  EXPECT_EQ(traditional->OfKey(kXue), "\x8C\x57");  // 學
}

}  // namespace
}  // namespace velmora
