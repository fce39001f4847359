// The entries of a few keys in one sweep of the files: every file, lines
// split as the files split them or at characters, both ways of finding line
// starts alike, and a sweep that is told to stop.
#include <gtest/gtest.h>

#include <string>

#include "dict/DictFile.h"
#include "dict/KeyEntries.h"
#include "platform/classes/Gbk.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

std::string G(std::string_view utf8) {
  return gbk::FromUtf8(utf8);
}

using TFound = std::map<std::string, std::vector<TKeyEntry>, std::less<>>;

// "file:explanation" of each entry of key, in order.
std::vector<std::string> Listed(const TFound& found, const std::string& key) {
  std::vector<std::string> listed;
  if (const auto it = found.find(key); it != found.end())
    for (const TKeyEntry& e : it->second)
      listed.push_back(std::to_string(e.File) + ":" + e.Explanation);
  return listed;
}

class KeyEntriesTest : public ::testing::Test {
 protected:
  test::TTempDir dir_;
  TDictImages images_;
};

TEST_F(KeyEntriesTest, EveryFileIsSweptAndOnlyWholeKeysCount) {
  // 埃好 is B0A3 BAC3: the separator's bytes A3 BA stand across its two
  // characters, so the files' key is B0 alone.
  dir_.WriteAll(G("学：to learn\r\n生：life\n"),
                G("学生：student\r\n埃好：across\n学习：study\n"), "", "",
                G("学：out of place\n"));
  const TFound found = EntriesOfKeys({G("学"), G("学生"), G("埃好"), G("中国")}, images_);
  EXPECT_EQ(Listed(found, G("学")),
            (std::vector<std::string>{"1:to learn", "5:out of place"}));
  EXPECT_EQ(Listed(found, G("学生")), std::vector<std::string>{"2:student"});
  EXPECT_FALSE(found.count(G("埃好")));
  EXPECT_EQ(Listed(EntriesOfKeys({"\xB0"}, images_), "\xB0"),
            std::vector<std::string>{"2:\xC3" + G("：across")});
  EXPECT_FALSE(found.count(G("中国")));
  EXPECT_TRUE(EntriesOfKeys({}, images_).empty());
}

TEST_F(KeyEntriesTest, SplitAtCharactersTheKeyIsWhole) {
  dir_.WriteAll("", G("埃好：across\n"));
  const std::string key = G("埃好");
  TKeySweep sweep({key}, TKeySweep::TFiles::OfTheirLengths,
                  TKeySweep::TSplit::AtCharacters);
  ASSERT_TRUE(sweep.Sweep({[&](int n) { return images_.Open(DictFileName(n)); }}));
  ASSERT_TRUE(sweep.Has(key));
  EXPECT_EQ(sweep.Entries(key)[0].Line, G("埃好：across"));
}

TEST_F(KeyEntriesTest, ManyFirstCharactersFindWhatFewFind) {
  // Up to four first characters are found by the vector search, more by
  // a look at every line's first character.
  std::string one, two;
  const std::vector<std::string> chars = {"大", "小", "中", "人", "学", "生", "a"};
  for (const std::string& c : chars) {
    one += G(c) + G("：") + c + "\n";
    two += "x" + G(c) + G("：no\n") + G(c + c) + G("：") + c + c + "\n";
  }
  // A key that is a lead byte alone, as the files split 埃好：.
  two += G("埃好：across\n");
  dir_.WriteAll(one, two);
  std::set<std::string, std::less<>> all = {"\xB0"};
  for (const std::string& c : chars) all.insert({G(c), G(c + c)});
  const TFound many = EntriesOfKeys(all, images_);
  for (const std::string& key : all) {
    const TFound few = EntriesOfKeys({key}, images_);
    ASSERT_EQ(Listed(few, key).size(), 1u) << key;
    EXPECT_EQ(Listed(many, key), Listed(few, key)) << key;
  }
}

TEST_F(KeyEntriesTest, AStoppedSweepSaysSo) {
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += G("学：x\n");
  dir_.WriteAll(lines);
  for (const std::vector<std::string_view>& keys :
       {std::vector<std::string_view>{"\xD1\xA7"},
        std::vector<std::string_view>{"a", "b", "c", "d", "e"}}) {
    TKeySweep sweep(keys, TKeySweep::TFiles::Every, TKeySweep::TSplit::AsTheFiles);
    int asked = 0;
    EXPECT_FALSE(sweep.Sweep({[&](int n) { return images_.Open(DictFileName(n)); },
                              [&] { return ++asked > 0; }, 64}));
    EXPECT_EQ(asked, 1);
  }
}

}  // namespace
}  // namespace velmora
