#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/SmallDisk.h"
#include "tests/TempFolder.h"
#include "tools/cedict2sr/Cedict.h"

namespace velmora::cedict {
namespace {

namespace fs = std::filesystem;

// GBK bytes of the words the tests use.
const std::string kZhongguo = "\xD6\xD0\xB9\xFA";  // 中国
const std::string kSep = "\xA3\xBA";               // ：

const char* const kSample =
    "# CC-CEDICT\n"
    "#! date=2026-01-01\n"
    "\n"
    "中國 中国 [Zhong1 guo2] /China/Middle Kingdom/\n"
    "好 好 [hao3] /good/\n"
    "broken line without fields\n"
    "𠀀 𠀀 [ha1] /a character GBK has not got/\n"
    "中華人民共和國 中华人民共和国 [Zhong1 hua2 Ren2 min2 Gong4 he2 guo2] /People's "
    "Republic of China/PRC/\n"
    "你好 你好 [ni3 hao3 /hello/\n"
    "好 好 [hao4] /to be fond of//to like/\r\n"
    "一二三四五 一二三四五 [yi1 er4 san1 si4 wu3] /one to five/";

struct Converted {
  TSummary sum;
  std::array<std::string, 5> files;
  std::string diag;
};

Converted ConvertText(const std::string& text) {
  std::istringstream in(text);
  std::array<std::ostringstream, 5> outs;
  std::array<std::ostream*, 5> ptrs;
  for (int i = 0; i < 5; ++i) ptrs[i] = &outs[i];
  std::ostringstream diag;
  Converted c;
  c.sum = Convert(in, ptrs, diag);
  for (int i = 0; i < 5; ++i) c.files[i] = outs[i].str();
  c.diag = diag.str();
  return c;
}

TEST(CedictConvert, WritesEachEntryToTheFileOfItsKeyLengthInSourceOrder) {
  const Converted c = ConvertText(kSample);
  EXPECT_EQ(c.sum.entries, 6);
  EXPECT_EQ(c.sum.malformed, 2);
  EXPECT_EQ(c.sum.notGbk, 1);
  EXPECT_EQ(c.sum.Skipped(), 1);
  EXPECT_EQ(c.sum.written, (std::array<long, 5>{2, 1, 0, 0, 2}));

  // Definitions joined with "; ", the empty one dropped, the CR of a CR LF
  // source gone; both readings of 好 kept in order.
  EXPECT_EQ(c.files[0], "\xBA\xC3" + kSep + "[hao3] good\n" + "\xBA\xC3" + kSep +
                            "[hao4] to be fond of; to like\n");
  EXPECT_EQ(c.files[1], kZhongguo + kSep + "[Zhong1 guo2] China; Middle Kingdom\n");
  EXPECT_EQ(c.files[2], "");
  // Seven characters and five both land in 5.sr.
  ASSERT_EQ(c.files[4].find("\xD6\xD0\xBB\xAA"), 0u);                   // 中华...
  EXPECT_NE(c.files[4].find("\n\xD2\xBB\xB6\xFE"), std::string::npos);  // ...一二
  EXPECT_EQ(c.files[4].back(), '\n');

  // Malformed lines are reported with their numbers.
  EXPECT_NE(c.diag.find("line 6:"), std::string::npos) << c.diag;
  EXPECT_NE(c.diag.find("line 9:"), std::string::npos) << c.diag;
}

TEST(CedictParse, RejectsMalformedLinesWithAReasonAndIgnoresCommentsAndBlanks) {
  TCedictEntry e;
  std::string why;
  EXPECT_EQ(ParseLine("# comment", e, why), TLineKind::Ignored);
  EXPECT_EQ(ParseLine("  \r", e, why), TLineKind::Ignored);
  EXPECT_EQ(ParseLine("", e, why), TLineKind::Ignored);
  for (const char* bad : {
           "中國",                            // one field
           "中國 中国",                       // no pinyin
           "中國  [Zhong1 guo2] /China/",     // empty simplified form
           "中國 中国 /China/",               // no pinyin
           "中國 中国 [Zhong1 guo2 /China/",  // unclosed pinyin
           "中國 中国 [Zhong1 guo2] China",   // no slashes
           "中國 中国 [Zhong1 guo2] /China",  // no closing slash
           "中國 中国 [Zhong1 guo2] ///",     // only empty definitions
           "中國 中国 [Zhong1 guo2] /",       // a lone slash
           "\xE4\xB8 \xE4\xB8 [a] /b/",       // cut UTF-8
       }) {
    why.clear();
    EXPECT_EQ(ParseLine(bad, e, why), TLineKind::Malformed) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  // Definitions may hold brackets and the pinyin of cross references.
  ASSERT_EQ(ParseLine("國 国 [guo2] /see 中國|中国[Zhong1 guo2]/ ", e, why),
            TLineKind::Entry);
  EXPECT_EQ(e.traditional, "國");
  EXPECT_EQ(e.simplified, "国");
  EXPECT_EQ(e.pinyin, "guo2");
  EXPECT_EQ(e.definitions, std::vector<std::string>{"see 中國|中国[Zhong1 guo2]"});
}

TEST(CedictParse, StrictUtf8) {
  std::u32string out;
  EXPECT_TRUE(DecodeUtf8("a中𠀀", out));
  EXPECT_EQ(out, U"a中𠀀");
  for (const char* bad :
       {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE4\xB8", "\xFF"}) {
    EXPECT_FALSE(DecodeUtf8(bad, out)) << bad;
  }
}

TCedictEntry MakeEntry(std::string simplified, std::vector<std::string> defs) {
  return TCedictEntry{"T", std::move(simplified), "pin1", std::move(defs)};
}

TEST(CedictLine, RefusesEntriesThatWouldBreakTheLineFormat) {
  TSrLine line;
  // The pair 0xA3 0xBA across two characters (埃 = B0 A3, 好 = BA C3) would
  // split the key early; so would a fullwidth colon in the key.
  EXPECT_EQ(MakeSrLine(MakeEntry("埃好", {"x"}), line), TVerdict::HoldsSeparator);
  EXPECT_EQ(MakeSrLine(MakeEntry("好：", {"x"}), line), TVerdict::HoldsSeparator);
  // A separator in the explanation is harmless: the first one splits.
  ASSERT_EQ(MakeSrLine(MakeEntry("埃", {"a：b"}), line), TVerdict::Written);
  EXPECT_EQ(line.bytes, "\xB0\xA3" + kSep + "[pin1] a" + kSep + "b");
  EXPECT_EQ(line.file, 1);

  // Code points that the codec reserves for raw bytes must not smuggle a line
  // feed or any other byte into the file.
  EXPECT_EQ(MakeSrLine(MakeEntry("好", {"a\U0010FF0Ab"}), line), TVerdict::NotGbk);
  EXPECT_EQ(MakeSrLine(MakeEntry("好", {"a\x01b"}), line), TVerdict::ControlChar);
  EXPECT_EQ(MakeSrLine(MakeEntry("好", {"smile 😀"}), line), TVerdict::NotGbk);
  // A question mark of the source is kept, not mistaken for a lost character.
  ASSERT_EQ(MakeSrLine(MakeEntry("好", {"why?", "é–ü"}), line), TVerdict::Written);
  EXPECT_EQ(line.bytes, "\xBA\xC3" + kSep + "[pin1] why?; \xA8\xA6\xA8\x43\xA8\xB9");

  // The longest line is kMaxLineBytes bytes without its line feed.
  const std::size_t fixed = 2 + 2 + std::string("[pin1] ").size();
  ASSERT_EQ(MakeSrLine(MakeEntry("好", {std::string(kMaxLineBytes - fixed, 'a')}), line),
            TVerdict::Written);
  EXPECT_EQ(line.bytes.size(), kMaxLineBytes);
  EXPECT_EQ(
      MakeSrLine(MakeEntry("好", {std::string(kMaxLineBytes - fixed + 1, 'a')}), line),
      TVerdict::TooLong);
}

class CedictRun : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& text) {
    return dir_.Write(name, text);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return cedict::Run(args, out_, err_);
  }

  test::TTempFolder dir_{"cedict2sr-test"};
  std::ostringstream out_, err_;
};

TEST_F(CedictRun, WritesAllFiveFilesAndASummary) {
  const fs::path input = Write("cedict.u8", kSample);
  const fs::path out = dir_ / "new" / "folder";
  ASSERT_EQ(Run({"-o", out.string(), input.string()}), 0) << err_.str();
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(fs::exists(out / (std::to_string(i) + ".sr")));
  EXPECT_EQ(Read(out / "2.sr"),
            kZhongguo + kSep + "[Zhong1 guo2] China; Middle Kingdom\n");
  EXPECT_EQ(Read(out / "3.sr"), "");
  EXPECT_NE(err_.str().find("6 entries read"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("1 with characters GBK cannot hold"), std::string::npos);
  EXPECT_NE(err_.str().find("2 malformed lines"), std::string::npos);
  for (const auto& e : fs::directory_iterator(out)) {
    EXPECT_EQ(e.path().extension(), ".sr") << "left behind: " << e.path();
  }
}

TEST_F(CedictRun, FailuresExitWithTwoAndKeepTheOldDictionary) {
  Write("2.sr", "old");
  const std::string empty = Write("empty.u8", "# only a comment\n").string();
  const std::string dir = dir_.Path().string();

  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("Usage: cedict2sr"), std::string::npos);

  EXPECT_EQ(Run({}), 2);
  EXPECT_NE(err_.str().find("no input file"), std::string::npos);
  EXPECT_EQ(Run({"--bogus", empty}), 2);
  EXPECT_NE(err_.str().find("unknown option --bogus"), std::string::npos);
  EXPECT_EQ(Run({empty, "-o"}), 2);
  EXPECT_EQ(Run({"-o", dir, (dir_ / "missing.u8").string()}), 2);
  EXPECT_NE(err_.str().find("cannot open"), std::string::npos);
  EXPECT_EQ(Run({"-o", dir, dir}), 2);
  EXPECT_NE(err_.str().find("is a folder"), std::string::npos);
  // A file with no entries at all (the wrong file, most likely) must not wipe
  // the dictionary that is there.
  EXPECT_EQ(Run({"-o", dir, empty}), 2);
  EXPECT_NE(err_.str().find("no CC-CEDICT entries"), std::string::npos);
  // Nor must one whose entries were all skipped.
  EXPECT_EQ(Run({"-o", dir, Write("lost.u8", "𠀀 𠀀 [ha1] /x/\n").string()}), 2);
  EXPECT_NE(err_.str().find("none of the 1 entries"), std::string::npos);
  // The output folder cannot be made below a plain file.
  EXPECT_EQ(Run({"-o", (dir_ / "2.sr" / "x").string(), Write("ok.u8", kSample).string()}),
            2);

  EXPECT_EQ(Read(dir_ / "2.sr"), "old");
  EXPECT_FALSE(fs::exists(dir_ / "1.sr"));
  for (const auto& e : fs::directory_iterator(dir_.Path()))
    EXPECT_EQ(e.path().string().find(".sr.new-"), std::string::npos) << e.path();
}

// A dictionary that does not fit: the old one stays, no part of the new one
// is left, and the reason is said.
TEST_F(CedictRun, AFullDiskKeepsTheOldDictionary) {
  test::TSmallDisk disk(64);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  disk.Write("2.sr", "old");
  std::string many;
  for (int i = 0; i < 3000; ++i)
    many += "中國 中国 [Zhong1 guo2] /China/Middle Kingdom/\n";
  const std::string input = Write("many.u8", many).string();
  disk.Fill(8192);
  EXPECT_EQ(Run({"-o", disk.Path().string(), input}), 2);
  EXPECT_NE(err_.str().find("No space left on device"), std::string::npos) << err_.str();
  EXPECT_EQ(Read(disk / "2.sr"), "old");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(disk.Path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".filler", "2.sr"}));
}

}  // namespace
}  // namespace velmora::cedict
