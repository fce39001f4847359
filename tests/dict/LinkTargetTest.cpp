#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dict/LinkTarget.h"
#include "platform/classes/Gbk.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST(LinkTarget, PrefixEndsInOneSeparatorExceptAtTheRoot) {
  EXPECT_EQ(FileLinkPrefix("/home/ann/dict"), "file:///home/ann/dict/");
  EXPECT_EQ(FileLinkPrefix("/home/ann/dict/"), "file:///home/ann/dict/");
  EXPECT_EQ(FileLinkPrefix("/"), "file:////");
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

// The single-file case is covered through the window; here the parts of a
// path and the names that must stay as written.
TEST(LinkTarget, EachPartOfAPathFindsTheOneNameThatDiffersInCase) {
  fs::path dir =
      fs::temp_directory_path() / ("velmora-linkcase-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Docs");
  for (const char* name : {"Docs/Intro.htm", "help.htm", "Help.htm"}) {
    std::ofstream(dir / name) << "x";
  }
  const std::string d = dir.string();
  EXPECT_EQ(ResolveLinkCase(d, "docs/intro.htm"), "Docs/Intro.htm");
  EXPECT_EQ(ResolveLinkCase(d, "help.htm"), "help.htm");  // exists as written
  EXPECT_EQ(ResolveLinkCase(d, "HELP.htm"), "HELP.htm");  // two candidates
  EXPECT_EQ(ResolveLinkCase(d, "docs/missing.htm"), "docs/missing.htm");
  EXPECT_EQ(ResolveLinkCase(d + "/nowhere", "a.htm"), "a.htm");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmora
