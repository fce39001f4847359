#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/Search.h"
#include "dict/Texts.h"
#include "platform/classes/Application.h"
#include "platform/classes/Gbk.h"
#include "platform/classes/SysUtils.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/PeakMemory.h"
#include "tests/dict/TempDir.h"
#include "tests/dict/ViewHelpers.h"

namespace velmora {
namespace {

using test::HasFormat;
using test::Lines;

const std::string kZhong = "\xD6\xD0";  // 中
const std::string kGuo = "\xB9\xFA";    // 国
const std::string kMei = "\xC3\xC0";    // 美
const std::string kRen = "\xC8\xCB";    // 人
const std::string kTian = "\xCC\xEC";   // 天
const std::string kColon = "\xA3\xBA";  // the separator
const std::string kZhongGuo = kZhong + kGuo;
constexpr TFontStyles kMarked = fsBold | fsUnderline;

class TFakeControls : public ISearchControls {
 public:
  std::string Query;
  bool SearchEnabled = true;
  bool StopEnabled = false;
  int SearchDisabledCount = 0;
  int QueryReads = 0;
  std::string GetQueryText() override {
    ++QueryReads;
    return Query;
  }
  void SetQueryText(const std::string& text) override { Query = text; }
  void SetSearchEnabled(bool enabled) override {
    SearchEnabled = enabled;
    if (!enabled) ++SearchDisabledCount;
  }
  void SetStopEnabled(bool enabled) override { StopEnabled = enabled; }
};

class SearchTest : public ::testing::Test {
 protected:
  // Each test writes new files; an inode of an earlier test's folder may come
  // back with the same size within one tick of the file clock.
  SearchTest() { SharedDictImages().Clear(); }
  ~SearchTest() override { Application().OnProcessMessages = nullptr; }

  TSearchOutcome Search(const std::string& query) {
    controls_.Query = query;
    const TSearchOutcome outcome = RunSearch(controls_, view_, Options());
    EXPECT_TRUE(controls_.SearchEnabled);
    EXPECT_TRUE(controls_.StopEnabled);
    return outcome;
  }
  std::vector<std::string> Shown() const { return Lines(edit_); }
  // Keys shown, in order (the lines after the status line that end in the
  // separator, or the single-byte keys of lines without one).
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    const auto lines = Shown();
    for (std::size_t i = 3; i + 1 < lines.size(); i += 3) keys.push_back(lines[i]);
    return keys;
  }

  test::TTempDir dir_;
  TMemoryRichEdit edit_;
  TResultView view_{edit_};
  TFakeControls controls_;
  TSearchPacing pacing_;
  TSearchOptions Options(TDictImages* images = nullptr) const {
    TSearchOptions options;
    options.Pacing = pacing_;
    options.Images = images;
    return options;
  }
};

std::string Heading(const std::string& query) {
  return std::string(texts::kHeadingBefore) + query + std::string(texts::kHeadingAfter);
}

TEST_F(SearchTest, ATooShortQueryReadsNothing) {
  dir_.WriteAll();
  ::unlink("1.sr");
  EXPECT_EQ(Search("a!bc" + kZhong.substr(0, 1)), TSearchOutcome::InvalidQuery);
  EXPECT_EQ(controls_.Query, kZhong.substr(0, 1));
  EXPECT_EQ(Shown(), (std::vector<std::string>{std::string(texts::kInvalidQuery), ""}));
  EXPECT_TRUE(HasFormat(edit_, 0, 20, clRed, fsBold));
  EXPECT_EQ(edit_.FirstLineIndent(), 6);
  EXPECT_EQ(edit_.LeftIndent(), 22);
  EXPECT_EQ(controls_.SearchDisabledCount, 1);
}

TEST_F(SearchTest, TheBoxIsReadAndCleanedOncePerSearch) {
  const std::string e = kColon + "e\n";
  dir_.WriteAll("", kZhongGuo + e, "", "", "");
  controls_.Query = "!" + kZhongGuo + "~";
  EXPECT_EQ(Search(controls_.Query), TSearchOutcome::Found);
  EXPECT_EQ(controls_.QueryReads, 1);
  EXPECT_EQ(controls_.Query, kZhongGuo);  // written back cleaned

  // Read ahead by the caller (the window, for its history): the search takes
  // that reading, even of a box changed since, and reads nothing more.
  controls_.Query = "a" + kZhongGuo;
  const TSearchQuery query = ReadQuery(controls_);
  EXPECT_EQ(query.Typed, "a" + kZhongGuo);
  EXPECT_EQ(query.Cleaned, kZhongGuo);
  controls_.Query = kTian;
  controls_.QueryReads = 0;
  for (TSearchKind kind : {TSearchKind::Standard, TSearchKind::Extended}) {
    TSearchOptions options(kind);
    options.Query = query;
    EXPECT_EQ(RunSearch(controls_, view_, options), TSearchOutcome::Found);
    EXPECT_EQ(Keys(), std::vector<std::string>{kZhongGuo + kColon});
  }
  EXPECT_EQ(controls_.QueryReads, 0);
}

TEST_F(SearchTest, AMissingOwnFileIsReportedWithoutHeading) {
  dir_.WriteAll(kZhongGuo + kColon + "x\n");
  ::unlink("2.sr");
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::OwnFileMissing);
  EXPECT_EQ(Shown(), (std::vector<std::string>{std::string(texts::kOwnFileMissing), ""}));
  EXPECT_TRUE(HasFormat(edit_, 0, int(texts::kOwnFileMissing.size()), clRed, fsBold));
}

TEST_F(SearchTest, TheViewLineByLine) {
  dir_.WriteAll(
      kZhong + kColon + "middle\n",
      kZhongGuo + kColon + "<A HREF=\"Map.GIF\">Map</A> of " + kZhongGuo + "\r\n",
      kMei + kGuo + kRen + kColon + "people of " + kZhongGuo + "\n");
  controls_.Query = "x" + kZhongGuo + "!";
  EXPECT_EQ(RunSearch(controls_, view_), TSearchOutcome::Found);
  EXPECT_EQ(controls_.Query, kZhongGuo);

  const std::string heading = Heading(kZhongGuo);
  const std::string expl1 = "file://map.gif map of " + kZhongGuo;
  const std::string expl2 = "people of " + kZhongGuo;
  ASSERT_EQ(Shown(), (std::vector<std::string>{heading, std::string(texts::kFinished), "",
                                               kZhongGuo + kColon, "      " + expl1, "",
                                               kMei + kGuo + kRen + kColon,
                                               "      " + expl2, "", ""}));
  // Heading: blue and bold, the query in it marked.
  const int h = int(heading.size());
  EXPECT_TRUE(HasFormat(edit_, 0, 13, clBlue, fsBold));
  EXPECT_TRUE(HasFormat(edit_, 13, 4, MatchColor, kMarked));
  EXPECT_TRUE(HasFormat(edit_, 17, h - 17, clBlue, fsBold));
  // The status line keeps the plain format of the text it replaced.
  const int status = edit_.LineIndex(1);
  EXPECT_TRUE(HasFormat(edit_, status, 9, clDefault, 0));
  // Key form: the key blue with its match marked; the explanation green,
  // its occurrences of the query not marked.
  int key = edit_.LineIndex(3);
  EXPECT_TRUE(HasFormat(edit_, key, 4, MatchColor, kMarked));
  EXPECT_TRUE(HasFormat(edit_, key + 4, 2, clBlue, fsBold));
  int expl = edit_.LineIndex(4);
  EXPECT_TRUE(HasFormat(edit_, expl, 6, clDefault, 0));
  EXPECT_TRUE(HasFormat(edit_, expl + 6, int(expl1.size()), ExplanationColor, fsBold));
  // Explanation form: the key unmarked, the query in the explanation marked.
  key = edit_.LineIndex(6);
  EXPECT_TRUE(HasFormat(edit_, key, 8, clBlue, fsBold));
  expl = edit_.LineIndex(7) + 6;
  EXPECT_TRUE(HasFormat(edit_, expl, 10, ExplanationColor, fsBold));
  EXPECT_TRUE(HasFormat(edit_, expl + 10, 4, MatchColor, kMarked));
  // The CR of the CR LF file is part of the line break, not of the text.
  EXPECT_EQ(edit_.LineIndex(5) - edit_.LineIndex(4), int(6 + expl1.size() + 2));
}

// A key with a lone CR, selected in the view and looked up: the CR is an
// ordinary byte, so the heading stays one line and the status replaces the
// searching line, not the heading's second half.
TEST_F(SearchTest, ALoneCrInTheQueryIsText) {
  const std::string query = kZhong + "\r" + kGuo;
  dir_.WriteAll("", query + kColon + "odd key\n");
  EXPECT_EQ(Search(query), TSearchOutcome::Found);
  const std::string heading = Heading(query);
  ASSERT_EQ(Shown(), (std::vector<std::string>{heading, std::string(texts::kFinished), "",
                                               query + kColon, "      odd key", "", ""}));
  EXPECT_TRUE(HasFormat(edit_, 13, 5, MatchColor, kMarked));
  EXPECT_TRUE(HasFormat(edit_, 18, int(heading.size()) - 18, clBlue, fsBold));
}

// A paste from a terminal or an editor brings its line break. The box holds
// one line: the text before the break is searched, written back, and the
// heading and the status line stay whole.
TEST_F(SearchTest, AQueryIsReadUpToItsFirstLineBreak) {
  dir_.WriteAll("", kZhongGuo + kColon + "e\n", "", "", "");
  for (const std::string& rest : {std::string("\n"), std::string("\r\n"),
                                  "\n" + kTian + "\n", "\r\n\r\n" + kTian}) {
    EXPECT_EQ(Search(kZhongGuo + rest), TSearchOutcome::Found);
    EXPECT_EQ(controls_.Query, kZhongGuo);
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{Heading(kZhongGuo), std::string(texts::kFinished),
                                        "", kZhongGuo + kColon, "      e", "", ""}));
  }
}

TEST_F(SearchTest, ThePassesRunInOrder) {
  // Own file 2.sr first, then the others by number; explanation matches last,
  // by number again, the own file included; an entry is listed once for
  // each file that holds it.
  const std::string e = kColon + "e\n";
  dir_.WriteAll(
      kZhongGuo + "1" + e + "a" + kColon + kZhongGuo + "\n",
      kZhongGuo + "2" + e + kZhongGuo + "2" + e + "b" + kColon + kZhongGuo + "\n",
      "c" + kColon + kZhongGuo + "\n", "",
      kZhongGuo + kRen + kTian + "5" + e + "d" + kZhongGuo + "\n");
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{
                        kZhongGuo + "2" + kColon, kZhongGuo + "2" + kColon,
                        kZhongGuo + "1" + kColon, kZhongGuo + kRen + kTian + "5" + kColon,
                        "a" + kColon, "b" + kColon, "c" + kColon, "d"}));
  // A line without separator shows its first byte as key and the rest as
  // explanation.
  EXPECT_EQ(Shown()[3 + 3 * 7 + 1], "      " + kZhongGuo);
}

TEST_F(SearchTest, TheOwnFileFollowsTheQueryLength) {
  const std::string six = kZhong + kGuo + kMei + kRen + kTian + kZhong;
  dir_.WriteAll(six + "a" + kColon + "\n", six + "b" + kColon + "\n", "",
                six + "d" + kColon + "\n", six + "e" + kColon + "\n");
  EXPECT_EQ(Search(six), TSearchOutcome::Found);
  EXPECT_EQ(Keys().front(), six + "e" + kColon);
  // A space between two characters stays and the own file is 2.sr.
  dir_.WriteAll(kZhong + " " + kGuo + "a" + kColon + "\n",
                kZhong + " " + kGuo + "b" + kColon + "\n");
  EXPECT_EQ(Search(kZhong + " " + kGuo), TSearchOutcome::Found);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhong + " " + kGuo + "b" + kColon,
                                              kZhong + " " + kGuo + "a" + kColon}));
}

TEST_F(SearchTest, NothingFound) {
  dir_.WriteAll(kTian + kColon + "x\n", "", "", "", "");
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::NotFound);
  const auto lines = Shown();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], texts::kFinished);
  const std::string message(texts::kNotFound);
  EXPECT_EQ(lines[3] + "\n" + lines[4] + "\n" + lines[5], message);
  EXPECT_EQ(lines[5], "https://www.mdbg.net/chinese/dictionary?page=cedict");
  const int start = edit_.LineIndex(3);
  EXPECT_TRUE(HasFormat(edit_, start, int(message.size()), clRed, fsBold));
}

TEST_F(SearchTest, AFileMissingInPassTwoOverwritesTheHeading) {
  dir_.WriteAll(kZhongGuo + "1" + kColon + "\n", kZhongGuo + "2" + kColon + "\n", "",
                kZhongGuo + "4" + kColon + "\n", "");
  ::unlink("3.sr");
  std::filesystem::create_directory("3.sr");  // a folder can't be read either
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::OtherFileMissing);
  const auto lines = Shown();
  EXPECT_EQ(lines[0], std::string(texts::kFileMissing) + "3.sr");
  EXPECT_EQ(lines[1], texts::kSearching.substr(0, texts::kSearching.size() - 1));
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhongGuo + "2" + kColon,
                                              kZhongGuo + "1" + kColon}));
}

TEST_F(SearchTest, AStopEndsTheSearchBeforeTheNextEntry) {
  // Five lines per file, the third of each matching by explanation only.
  std::string file;
  for (int i = 0; i < 5; ++i)
    file += (i == 2 ? kTian + kColon + kZhongGuo : kTian + kColon + "x") + "\n";
  dir_.WriteAll(file, file, file, file, file);
  pacing_.Interval = std::chrono::hours(1);  // messages run only after entries
  int runs = 0;
  Application().OnProcessMessages = [&] {
    // The stop command, pressed after the second entry.
    if (++runs == 2) {
      StopRequested = true;
      view_.ReplaceLine(1, texts::kStopped);
      view_.MarkSpan(view_.LineStart(1), 9, clRed, fsBold);
      controls_.SetSearchEnabled(true);
    }
  };
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Stopped);
  EXPECT_EQ(runs, 2);
  const auto shown = Shown();
  EXPECT_EQ(shown[1], texts::kStopped);
  EXPECT_EQ(Keys().size(), 2u);
  ASSERT_EQ(shown.size(), 10u);  // no not-found message, nothing after the stop
  // Without a stop, messages run once after every entry shown.
  runs = -100;
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Found);
  EXPECT_EQ(runs, -95);
}

// A search started from within the messages another lets run (a caller
// that does not queue its searches) ends the older one there, so that the
// older never writes into the newer one's view.
TEST_F(SearchTest, ASearchStartedInsideAnotherEndsTheOlderOne) {
  std::string many;
  for (int i = 0; i < 200; ++i) many += kZhongGuo + kColon + "x\n";
  dir_.WriteAll(kTian + kColon + "x\n", many);
  pacing_.Interval = std::chrono::hours(1);  // messages run only after entries
  int runs = 0;
  TSearchOutcome inner = TSearchOutcome::InvalidQuery;
  Application().OnProcessMessages = [&] {
    if (++runs == 3) inner = Search(kTian);
  };
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Stopped);
  EXPECT_EQ(inner, TSearchOutcome::Found);
  const std::string nested = edit_.Text();
  Application().OnProcessMessages = nullptr;
  EXPECT_EQ(Search(kTian), TSearchOutcome::Found);
  EXPECT_EQ(edit_.Text(), nested);
}

TEST_F(SearchTest, MessagesRunWhileAScanFindsNothing) {
  // A stop pressed while the scan passes lines that can't match ends the
  // search there; nothing found so far, so no not-found message either.
  std::string file;
  for (int i = 0; i < 2000; ++i) file += kTian + kColon + "x\n";
  dir_.WriteAll(file, file + kMei + kRen + kColon + "\n", file, file, file);
  pacing_.SliceBytes = 64;
  pacing_.Interval = std::chrono::nanoseconds(0);
  int runs = 0;
  Application().OnProcessMessages = [&] {
    if (++runs == 10) StopRequested = true;
  };
  EXPECT_EQ(Search(kMei + kRen), TSearchOutcome::Stopped);
  EXPECT_EQ(runs, 10);
  EXPECT_EQ(Shown().size(), 4u);
  // Without the stop, messages ran about once per slice of each file (the
  // explanation pass reuses the candidates of the key pass), and the entry
  // behind the long stretch is still found.
  runs = -1'000'000;
  EXPECT_EQ(Search(kMei + kRen), TSearchOutcome::Found);
  EXPECT_GE(runs + 1'000'000, int(5 * file.size() / 64));
}

TEST_F(SearchTest, EachPassOpensItsFilesAtItsTurn) {
  // The own file disappears during pass 1: its bytes were read, so pass 1
  // ends, pass 2 lists the other files, and pass 3 reports it.
  const std::string e = kColon + "e\n";
  dir_.WriteAll(kZhongGuo + "1" + e, kZhongGuo + "2" + e + kZhongGuo + "3" + e,
                kZhongGuo + "4" + e);
  Application().OnProcessMessages = [&] { ::unlink("2.sr"); };
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::OtherFileMissing);
  EXPECT_EQ(Shown()[0], std::string(texts::kFileMissing) + "2.sr");
  EXPECT_EQ(Keys(), (std::vector<std::string>{
                        kZhongGuo + "2" + kColon, kZhongGuo + "3" + kColon,
                        kZhongGuo + "1" + kColon, kZhongGuo + "4" + kColon}));
}

TEST_F(SearchTest, ImagesAreReadOnceAndAgainWhenAFileChanges) {
  TDictImages images;
  const std::string e = kColon + "e\n";
  dir_.WriteAll(kZhongGuo + "1" + e, kZhongGuo + "2" + e, "", "", "");
  controls_.Query = kZhongGuo;
  EXPECT_EQ(RunSearch(controls_, view_, Options(&images)), TSearchOutcome::Found);
  EXPECT_EQ(images.Reads(), 5);  // passes 1 to 3 share one image of each file
  EXPECT_EQ(RunSearch(controls_, view_, Options(&images)), TSearchOutcome::Found);
  EXPECT_EQ(images.Reads(), 5);  // nothing read for the second search

  // A file cut short while the search runs: the pass that scans it goes on
  // with the bytes read, and the next pass that opens it reads it anew.
  dir_.WriteAll(
      "", kZhongGuo + "a" + e + kZhongGuo + "b" + e + kTian + kColon + kZhongGuo + "\n");
  bool truncated = false;
  Application().OnProcessMessages = [&] {
    if (!truncated) truncated = ::truncate("2.sr", 0) == 0;
  };
  EXPECT_EQ(RunSearch(controls_, view_, Options(&images)), TSearchOutcome::Found);
  EXPECT_TRUE(truncated);
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhongGuo + "a" + kColon,
                                              kZhongGuo + "b" + kColon}));
}

// A file larger than what is read whole is searched piece by piece: the
// same answer, in memory of a few pieces, whatever the file's size.
TEST_F(SearchTest, AFileTooLargeToReadWholeIsSearchedInBoundedMemory) {
  std::string filler;
  for (int i = 0; i < 100; ++i) filler += kMei + kTian + kColon + "filler line\n";
  std::string large;
  for (int i = 0; large.size() < (std::size_t(16) << 20); ++i) {
    large += filler;
    if (i == 7 || i == 5000) large += kZhongGuo + kColon + "x\n";
  }
  large += kTian + kColon + "y " + kZhongGuo;  // the last line, without a line feed
  dir_.WriteAll(kZhong + kColon + "a\n", large, kZhongGuo + kRen + kColon + "b\n", "",
                "");
  TDictImages images;
  images.Reading = {std::size_t(1) << 20, std::size_t(64) << 10};
  controls_.Query = kZhongGuo;
  test::StartPeak();
  EXPECT_EQ(RunSearch(controls_, view_, Options(&images)), TSearchOutcome::Found);
  EXPECT_LT(test::PeakSinceStart(), 512 << 10);
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{kZhongGuo + kColon, kZhongGuo + kColon,
                                      kZhongGuo + kRen + kColon, kTian + kColon}));
  EXPECT_EQ(Shown()[1], texts::kFinished);
  EXPECT_EQ(images.Reads(), 4);  // the small ones, whole
}

// Both searches over the bundled dictionary, its files read whole and read
// in small pieces: the same view (the traditional forms aside, which need a
// line's place in its file). 2.sr..4.sr are read in pieces, the smaller
// files and the word counts whole.
TEST_F(SearchTest, PiecesGiveTheAnswerOfTheWholeFiles) {
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(VELMORA_DATA_DIR);
  auto view = [](TSearchKind kind, const char* utf8, bool pieces) {
    TDictImages images;
    if (pieces) images.Reading = {std::size_t(1) << 20, std::size_t(64) << 10};
    TSearchOptions options(kind);
    options.Images = &images;
    options.Display.Traditional = false;
    TMemoryRichEdit edit;
    TResultView result(edit);
    TQueryControls controls(gbk::FromUtf8(utf8));
    RunSearch(controls, result, options);
    return edit.Text();
  };
  for (const auto& [kind, query] : {std::pair{TSearchKind::Standard, "中国"},
                                    {TSearchKind::Extended, "中国"},
                                    {TSearchKind::Extended, "zhongguo"},
                                    {TSearchKind::Extended, "学*"},
                                    {TSearchKind::Extended, "green tea"}}) {
    const std::string whole = view(kind, query, false);
    EXPECT_GT(std::count(whole.begin(), whole.end(), '\n'), 20) << query;
    EXPECT_EQ(view(kind, query, true), whole) << query;
  }
  std::filesystem::current_path(here);
}

// Memory that runs out in a search is the class library's exception,
// naming the file being searched; the search button comes back.
TEST_F(SearchTest, MemoryRunningOutNamesTheFile) {
  dir_.WriteAll("", kZhongGuo + kColon + "a\n", "", "", "");
  Application().OnProcessMessages = [] { throw std::bad_alloc(); };
  controls_.Query = kZhongGuo;
  try {
    RunSearch(controls_, view_, Options());
    ADD_FAILURE() << "no exception";
  } catch (const EOutOfMemory& e) {
    EXPECT_EQ(std::string(e.what()), "Out of memory while searching 2.sr");
  }
  EXPECT_TRUE(controls_.SearchEnabled);
}

TEST_F(SearchTest, LongLinesAndCrLfFilesAreSearchedLikeAnyOther) {
  const std::string longLine = kTian + kColon + std::string(5000, 'x');
  dir_.WriteAll("", longLine + "\n" + kZhongGuo + kColon + "a\r\n" + longLine + "\r\n" +
                        kTian + kColon + "b " + kZhongGuo + "\r\n");
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Found);
  const auto lines = Shown();
  EXPECT_EQ(Keys(), (std::vector<std::string>{kZhongGuo + kColon, kTian + kColon}));
  EXPECT_EQ(lines[4], "      a");
  EXPECT_EQ(lines[7], "      b " + kZhongGuo);
}

TEST_F(SearchTest, BadInputNeverBreaksTheSearch) {
  std::mt19937 rng(3);
  std::string binary;
  for (int i = 0; i < 200'000; ++i) binary.push_back(char(rng()));
  // A lead byte at the end of a line and before an invalid byte, NULs.
  const std::string odd = std::string("\xD6\n\xD6\x0A\xD6\x7F", 6) + kZhongGuo + kColon +
                          std::string("x\0\xD6\xD0\n", 5) + kColon + "\n" + kZhongGuo;
  dir_.WriteAll(binary, odd, "", binary.substr(1000), binary.substr(0, 7));
  for (const std::string& query : {kZhongGuo, std::string("\xFE\xFE"),
                                   std::string("\x81\x81\x81"), std::string(" \t")}) {
    const TSearchOutcome outcome = Search(query);
    EXPECT_TRUE(outcome == TSearchOutcome::Found || outcome == TSearchOutcome::NotFound);
    EXPECT_EQ(Shown()[1], texts::kFinished);
  }
  // The NUL hid the rest of its line.
  EXPECT_EQ(Search(kZhongGuo), TSearchOutcome::Found);
  const auto lines = Shown();
  EXPECT_EQ(lines[4], "      x");
}

}  // namespace
}  // namespace velmora
