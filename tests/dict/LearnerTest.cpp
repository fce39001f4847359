// The learner's side tables, the entries found again in a view, the text
// fed to the speech program, tone marks and the Anki file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dict/AnkiExport.h"
#include "dict/DictFile.h"
#include "dict/LearnerTables.h"
#include "dict/Pronunciation.h"
#include "dict/Search.h"
#include "dict/ViewEntries.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

std::string G(const std::string& utf8) {
  return gbk::FromUtf8(utf8);
}

// The bundled data folder, entered for the test's length.
class TBundled {
 public:
  TBundled() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(VELMORA_DATA_DIR);
  }
  ~TBundled() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

TEST(LearnerTablesTest, BundledTablesKnowLevelsRadicalsAndStrokes) {
  const TBundled bundled;
  TDictImages images;
  const auto tables = LearnerTables(images);
  EXPECT_EQ(tables->Facts(G("学生")).Level, 1);
  EXPECT_EQ(tables->Facts(G("学生")).Radical, "");  // a word has no radical
  const TCardFacts xue = tables->Facts(G("学"));
  EXPECT_EQ(xue.Radical, G("子"));
  EXPECT_EQ(xue.Strokes, 8);
  EXPECT_EQ(tables->Facts(G("龍")).Strokes, 16);
  EXPECT_EQ(tables->Facts(G("一般")).Level, 3);
  EXPECT_EQ(tables->Facts(G("啰唆")).Level, 6);
  EXPECT_EQ(tables->Facts(G("中学生")).Level, 0);
  EXPECT_EQ(tables->Facts(G("的")).Band, 1);
  EXPECT_GT(tables->Facts(G("中学生")).Band, 1);
}

class LearnerFolderTest : public ::testing::Test {
 protected:
  LearnerFolderTest() { dir_.WriteAll(); }
  TCardFacts Facts(const std::string& key) {
    return LearnerTables(images_)->Facts(G(key));
  }
  test::TTempDir dir_;
  TDictImages images_;
};

TEST_F(LearnerFolderTest, EachTableAloneGivesItsOwnFacts) {
  EXPECT_EQ(Facts("学").Level, 0);
  EXPECT_EQ(Facts("学").Radical, "");

  dir_.Write("hsk.txt", G("# levels\n学\t1\n"));
  EXPECT_EQ(Facts("学").Level, 1);
  EXPECT_EQ(Facts("学").Strokes, 0);

  std::filesystem::remove(dir_.Path() / "hsk.txt");
  dir_.Write("radicals.txt", G("学\t子\t8\n"));
  EXPECT_EQ(Facts("学").Level, 0);
  EXPECT_EQ(Facts("学").Band, 0);
  EXPECT_EQ(Facts("学").Radical, G("子"));
  EXPECT_EQ(Facts("学").Strokes, 8);

  std::filesystem::remove(dir_.Path() / "radicals.txt");
  dir_.Write("frequency.txt", G("学\t5\n"));
  EXPECT_EQ(Facts("学").Band, 1);
  EXPECT_EQ(Facts("学").Strokes, 0);
}

TEST_F(LearnerFolderTest, TablesEditedByHandStillAnswer) {
  // Unsorted, CR LF, remarks, damaged lines and an out-of-range level.
  dir_.Write("hsk.txt",
             G("学生\t1\r\n# note\r\nnone\r\n\t3\r\n中国\t2\r\n大\t9\r\n爱\t1\r\n"));
  dir_.Write("radicals.txt", G("学\t子\n字\t\n人\t人\tx\n"));
  EXPECT_EQ(Facts("中国").Level, 2);
  EXPECT_EQ(Facts("学生").Level, 1);
  EXPECT_EQ(Facts("爱").Level, 1);
  EXPECT_EQ(Facts("大").Level, 0);
  EXPECT_EQ(Facts("学").Radical, "");  // no stroke count: no half a fact
  EXPECT_EQ(Facts("人").Strokes, 0);
}

TEST_F(LearnerFolderTest, RewrittenTableIsReadAgain) {
  dir_.Write("hsk.txt", G("学生\t1\n"));
  EXPECT_EQ(Facts("学生").Level, 1);
  dir_.Write("hsk.txt", G("学生\t4\n中国\t2\n"));
  EXPECT_EQ(Facts("学生").Level, 4);
}

TEST(FrequencyBandTest, BandsFollowTheRank) {
  EXPECT_EQ(FrequencyBand(0), 0);
  EXPECT_EQ(FrequencyBand(1), 1);
  EXPECT_EQ(FrequencyBand(1000), 1);
  EXPECT_EQ(FrequencyBand(1001), 2);
  EXPECT_EQ(FrequencyBand(10000), 3);
  EXPECT_EQ(FrequencyBand(30001), 5);
}

class ViewEntriesTest : public ::testing::Test {
 protected:
  // A search of query in a dictionary written to the test's folder.
  std::string Search(const std::string& query) {
    dir_.WriteAll(G("学：[xue2] to learn\n"),
                  G("学生：[xue2 sheng5] student\n上学：to go to school\n"),
                  G("中学生：[zhong1 xue2 sheng1] middle-school student\n"));
    SharedDictImages().Clear();
    TMemoryRichEdit edit;
    TResultView view(edit);
    TQueryControls controls(G(query));
    RunSearch(controls, view);
    return edit.Text();
  }
  test::TTempDir dir_;
};

TEST_F(ViewEntriesTest, EntriesOfASearchWithTheirReadings) {
  const std::string text = Search("学");
  const std::vector<TViewEntry> entries = ViewEntries(text, SharedDictImages());
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].Key, G("学"));
  EXPECT_EQ(entries[0].Reading, "xue2");
  EXPECT_EQ(entries[1].Key, G("学生"));
  EXPECT_EQ(entries[1].Reading, "xue2 sheng5");
  EXPECT_EQ(entries[2].Key, G("上学"));
  EXPECT_EQ(entries[2].Reading, "");  // no reading in the file
  EXPECT_EQ(entries[3].Reading, "zhong1 xue2 sheng1");
  ASSERT_TRUE(FirstEntry(text, SharedDictImages()));
  EXPECT_EQ(FirstEntry(text, SharedDictImages())->Key, G("学"));
}

// The standard search shows readings lowered; the entry has the file's own,
// that of the entry shown where a key has the same reading in two cases.
TEST_F(ViewEntriesTest, ReadingsInTheFilesOwnCase) {
  dir_.WriteAll(G("A：[A] (slang) to steal\n中：[zhong1] middle\n中：[Zhong1] China\n"));
  SharedDictImages().Clear();
  TMemoryRichEdit edit;
  TResultView view(edit);
  TQueryControls controls(G("："));
  RunSearch(controls, view);
  const std::vector<TViewEntry> entries = ViewEntries(edit.Text(), SharedDictImages());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Reading, "A");
  EXPECT_EQ(entries[1].Reading, "zhong1");
  EXPECT_EQ(entries[2].Reading, "Zhong1");
}

TEST_F(ViewEntriesTest, EntryAtAPositionOnEitherLineOnly) {
  const std::string text = Search("学生");
  const std::vector<TViewEntry> entries = ViewEntries(text, SharedDictImages());
  ASSERT_EQ(entries.size(), 2u);
  for (const TViewEntry& e : entries) {
    for (int at : {e.Start, e.Start + 1, e.End - 1, e.End}) {
      const auto found = EntryAt(text, at, SharedDictImages());
      ASSERT_TRUE(found) << at;
      EXPECT_EQ(found->Key, e.Key);
    }
  }
  EXPECT_FALSE(EntryAt(
      text, 0, SharedDictImages()));  // the heading, which ends in the separator too
  EXPECT_FALSE(EntryAt(text, entries[0].Start - 1, SharedDictImages()));
  EXPECT_FALSE(EntryAt(text, int(text.size()) + 1, SharedDictImages()));
  EXPECT_FALSE(FirstEntry(Search("不在"), SharedDictImages()));
}

// The extended search shows the traditional form beside the key and the
// reading with tone marks: the entry is still the dictionary's, reading
// with tone digits included, which is what the speech program is fed.
TEST_F(ViewEntriesTest, ExtendedViewGivesTheDictionarysKeyAndReading) {
  dir_.WriteAll(G("绿：[lu:4] green\n"),
                G("绿色：[lu:4 se4] green\n学生：[xue2 sheng5] student\n"));
  dir_.Write("traditional.txt", "");
  SharedDictImages().Clear();
  TMemoryRichEdit edit;
  TResultView view(edit);
  TQueryControls controls(G("绿色"));
  RunSearch(controls, view, TSearchOptions(TSearchKind::Extended));
  ASSERT_NE(edit.Text().find(G("[lǜ sè]")), std::string::npos)
      << gbk::ToUtf8(edit.Text());
  const auto first = FirstEntry(edit.Text(), SharedDictImages());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Key, G("绿色"));
  EXPECT_EQ(first->Reading, "lu:4 se4");
  // A key shown with its traditional form is the dictionary's key.
  const std::string shown = G("h\r\ns\r\n学生（學生）：\r\n      [xué sheng] student\n");
  const auto traditional = FirstEntry(shown, SharedDictImages());
  ASSERT_TRUE(traditional);
  EXPECT_EQ(traditional->Key, G("学生"));
  EXPECT_EQ(traditional->Reading, "xue2 sheng5");
  // Marks the files do not give: no reading rather than a wrong one.
  EXPECT_EQ(FirstEntry(G("h\r\ns\r\n学生：\r\n      [xuě shēng] x\n"), SharedDictImages())
                ->Reading,
            "");
}

TEST(PronunciationTest, SpokenReadingIsTheDictionarysSyllables) {
  EXPECT_EQ(SpokenReading("lu:4 se4"), "lv4 se4");
  EXPECT_EQ(SpokenReading("Zhong1 guo2"), "zhong1 guo2");
  EXPECT_EQ(SpokenReading("yi1 dian3 r5"), "yi1 dian3 r5");
  EXPECT_EQ(SpokenReading("Ke4 lin2 dun4 · Bu4 lai2 er4"), "ke4 lin2 dun4 bu4 lai2 er4");
  EXPECT_EQ(SpokenReading("; rm -rf /"), "rm rf");
  EXPECT_EQ(SpokenReading(" , "), "");
  const std::vector<std::string> say = SpeechArguments("/bin/e", "-v en");
  EXPECT_EQ(say,
            (std::vector<std::string>{"/bin/e", "-v", "cmn-latn-pinyin", "--", "-v en"}));
  const std::vector<std::string> wav = SpeechArguments("/bin/e", "ni3", "out.wav");
  EXPECT_EQ(wav, (std::vector<std::string>{"/bin/e", "-v", "cmn-latn-pinyin", "-w",
                                           "out.wav", "--", "ni3"}));
}

// A file read back as Anki's text import reads it: header lines "#key:value"
// at the top, then one note per line, fields parted by the separator (a
// field in double quotes may hold it), as many fields as columns, and a
// note whose guid is already in the collection updates that note.
struct TAnkiRead {
  std::map<std::string, std::string> Headers;
  std::vector<std::vector<std::string>> Rows;
};

TAnkiRead ReadAnki(const std::string& file) {
  TAnkiRead read;
  std::istringstream in(file);
  std::string line;
  bool body = false;
  while (std::getline(in, line)) {
    if (!body && line.rfind('#', 0) == 0) {
      const std::size_t colon = line.find(':');
      EXPECT_NE(colon, std::string::npos) << line;
      read.Headers[line.substr(1, colon - 1)] = line.substr(colon + 1);
      continue;
    }
    body = true;
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"' && fields.back().empty() && !quoted) {
        quoted = true;
      } else if (c == '"' && quoted) {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          fields.back() += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else if (c == '\t' && !quoted) {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    read.Rows.push_back(fields);
  }
  return read;
}

TEST(AnkiExportTest, HeaderAndEscapedFields) {
  TAnkiNote note{"学生", "學生", "xuésheng", "a <b>\"student\"</b> & more", 1};
  TAnkiNote plain{"绿色", "", "lǜsè", "green\tcolour", 0};
  const std::string file = AnkiFile({note, plain});
  EXPECT_EQ(file.substr(0, file.find("学生")),
            "#separator:tab\n#html:true\n"
            "#columns:Simplified\tTraditional\tReading\tMeaning\tLevel\tGUID\n"
            "#notetype:Basic\n#deck:Velmora\n#guid column:6\n");
  const TAnkiRead read = ReadAnki(file);
  ASSERT_EQ(read.Rows.size(), 2u);
  EXPECT_EQ(read.Rows[0], (std::vector<std::string>{"学生", "學生", "xuésheng",
                                                    "a <b>\"student\"</b> & more",
                                                    "HSK 1", AnkiGuid("学生")}));
  // The meaning's tab must not split the note; a missing traditional form
  // is the word itself.
  EXPECT_EQ(read.Rows[1],
            (std::vector<std::string>{"绿色", "绿色", "lǜsè", "green colour", "",
                                      AnkiGuid("绿色")}));
  EXPECT_EQ(HtmlField("<a&\"b\">"), "&lt;a&amp;&quot;b&quot;&gt;");
  EXPECT_EQ(AnkiGuid("学生"),
            "vmaf6ad01abb6c8f15");  // the same on every machine, every run
}

TEST(AnkiExportTest, FiveHundredWordsImportedTwiceAreFiveHundredNotes) {
  const TBundled bundled;
  TDictImages images;
  // Five hundred HSK words of the bundled data, from its table.
  std::vector<std::string> words;
  const std::string hsk(images.Open("hsk.txt")->Bytes());
  std::istringstream in(hsk);
  for (std::string line; words.size() < 500 && std::getline(in, line);)
    if (line[0] != '#') words.push_back(line.substr(0, line.find('\t')));
  std::vector<std::string> missing;
  const std::string first = AnkiFileOfWords(words, images, missing);
  // 4,990 of the 4,995 HSK words are keys; these are among them or named.
  EXPECT_LE(missing.size(), 5u);
  std::map<std::string, std::vector<std::string>> collection;
  for (const std::string& file : {first, AnkiFileOfWords(words, images, missing)}) {
    const TAnkiRead read = ReadAnki(file);
    EXPECT_EQ(read.Headers.at("separator"), "tab");
    const std::size_t columns = 6, guid = std::stoul(read.Headers.at("guid column")) - 1;
    for (const auto& row : read.Rows) {
      ASSERT_EQ(row.size(), columns);
      collection[row[guid]] = row;
    }
  }
  EXPECT_EQ(collection.size(), 500 - missing.size() / 2);
  const auto xs = collection.find(AnkiGuid("学生"));
  if (xs != collection.end()) {
    EXPECT_EQ(xs->second[2], "xué sheng");
    EXPECT_EQ(xs->second[4], "HSK 1");
  }
}

}  // namespace
}  // namespace velmora
