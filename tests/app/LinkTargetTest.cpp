#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/LinkTarget.h"
#include "platform/classes/Gbk.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST(LinkTarget, PrefixEndsInOneSeparatorExceptAtTheRoot) {
  EXPECT_EQ(FileLinkPrefix("/home/ann/dict"), "file:///home/ann/dict/");
  EXPECT_EQ(FileLinkPrefix("/home/ann/dict/"), "file:///home/ann/dict/");
  EXPECT_EQ(FileLinkPrefix("/"), "file:////");
}

TEST(LinkTarget, EveryFileSchemeIsReplacedWhateverItsCase) {
  const std::string prefix = "file:///d/";
  int count = -1;
  EXPECT_EQ(RewriteFileLinks("file://help.htm", prefix, &count), "file:///d/help.htm");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(RewriteFileLinks("FILE://help.htm", prefix, &count), "file:///d/help.htm");
  EXPECT_EQ(RewriteFileLinks("File://a.htmfILe://b.htm", prefix, &count),
            "file:///d/a.htmfile:///d/b.htm");
  EXPECT_EQ(count, 2);
  // The inserted prefix itself holds "file://" and must not be replaced again.
  EXPECT_EQ(RewriteFileLinks("file://file://x", prefix, &count), "file:///d/file:///d/x");
  EXPECT_EQ(count, 2);
}

TEST(LinkTarget, LinksWithoutTheSchemeStayAsTheyAre) {
  int count = -1;
  EXPECT_EQ(RewriteFileLinks("http://example.org/file:/x", "file:///d/", &count),
            "http://example.org/file:/x");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(RewriteFileLinks("", "file:///d/", &count), "");
  EXPECT_EQ(RewriteFileLinks("file:/", "file:///d/", &count), "file:/");
}

TEST(LinkTarget, MatchesStartOnlyAtCharacterBoundaries) {
  // 0x81 0x46 is one double-byte character whose second byte is "F": the
  // "ILE://" after it is not a scheme.
  const std::string inside =
      "\x81"
      "FILE://x";
  int count = -1;
  EXPECT_EQ(RewriteFileLinks(inside, "P/", &count), gbk::ToUtf8(inside));
  EXPECT_EQ(count, 0);
  // After a whole double-byte character (中) a scheme is found, and the text
  // comes back as UTF-8.
  EXPECT_EQ(RewriteFileLinks("\xD6\xD0"
                             "file://a",
                             "P/", &count),
            "中P/a");
  EXPECT_EQ(count, 1);
}

class LinkCase : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velmora-linkcase-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Touch(const std::string& relative) {
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative) << "x";
  }
  std::string Dir() const { return dir_.string(); }
  fs::path dir_;
};

TEST_F(LinkCase, ALowerCasedNameFindsTheOneFileThatDiffersInCase) {
  Touch("Help.HTM");
  EXPECT_EQ(ResolveLinkCase(Dir(), "help.htm"), "Help.HTM");
  Touch("Docs/Intro.htm");
  EXPECT_EQ(ResolveLinkCase(Dir(), "docs/intro.htm"), "Docs/Intro.htm");
}

TEST_F(LinkCase, ExistingNamesAndUnclearNamesStayAsWritten) {
  Touch("help.htm");
  Touch("Help.htm");
  EXPECT_EQ(ResolveLinkCase(Dir(), "help.htm"), "help.htm");  // exists as written
  EXPECT_EQ(ResolveLinkCase(Dir(), "HELP.htm"), "HELP.htm");  // two candidates
  EXPECT_EQ(ResolveLinkCase(Dir(), "missing.htm"), "missing.htm");
  EXPECT_EQ(ResolveLinkCase(Dir() + "/nowhere", "a.htm"), "a.htm");
}

}  // namespace
}  // namespace velmora
