#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "dict/LinkTarget.h"
#include "platform/classes/Gbk.h"
#include "tests/TempFolder.h"

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
  test::TTempFolder dir("velmora-linkcase");
  for (const char* name : {"Docs/Intro.htm", "help.htm", "Help.htm"})
    dir.Write(name, "x");
  const std::string d = dir.Path().string();
  EXPECT_EQ(ResolveLinkCase(d, "docs/intro.htm"), "Docs/Intro.htm");
  EXPECT_EQ(ResolveLinkCase(d, "help.htm"), "help.htm");  // exists as written
  EXPECT_EQ(ResolveLinkCase(d, "HELP.htm"), "HELP.htm");  // two candidates
  EXPECT_EQ(ResolveLinkCase(d, "docs/missing.htm"), "docs/missing.htm");
  EXPECT_EQ(ResolveLinkCase(d + "/nowhere", "a.htm"), "a.htm");
}

TEST(LinkTarget, FileUrlEncodesEverythingAHandlerCouldReadAsSyntax) {
  EXPECT_EQ(FileUrl("/a b/#1%/中.htm"), "file:///a%20b/%231%25/%E4%B8%AD.htm");
  EXPECT_EQ(FileUrl("/d/x-y_z.~1/A?b"), "file:///d/x-y_z.~1/A%3Fb");
  EXPECT_EQ(FileUrl("/d/h.htm", "part 2"), "file:///d/h.htm#part%202");
}

class LinkFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dict_ / "Docs");
    fs::create_directories(top_ / "outside");
    for (fs::path p : {dict_ / "Help.htm", dict_ / "Docs/a.htm", top_ / "outside/secret"})
      std::ofstream(p) << "x";
  }
  std::string D() const { return dict_.string(); }

  test::TTempFolder top_{"velmora-linkfolder"};
  fs::path dict_ = top_ / "dict #1 %";
};

TEST_F(LinkFolderTest, OnlyFilesThatResolveInsideTheFolderAreFound) {
  const std::string help = (dict_ / "Help.htm").string();
  EXPECT_EQ(FileInsideFolder(D(), "help.htm"), help);
  EXPECT_EQ(FileInsideFolder(D(), "Docs/../Help.htm"), help);
  EXPECT_EQ(FileInsideFolder(D(), "/Help.htm"), help);  // still below the folder
  EXPECT_EQ(FileInsideFolder(D(), "Docs"), (dict_ / "Docs").string());
  EXPECT_EQ(FileInsideFolder(D(), "missing.htm"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "../outside/secret"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "Docs/../../outside/secret"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "/../../../../../../../../etc/passwd"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), ".."), std::nullopt);
  // A folder whose name begins like the dictionary's is not inside it.
  fs::create_directories(top_ / "dict #1 %x");
  std::ofstream(top_ / "dict #1 %x/f") << "x";
  EXPECT_EQ(FileInsideFolder(D(), "../dict #1 %x/f"), std::nullopt);

  // Symbolic links count by where they lead.
  fs::create_symlink(top_ / "outside/secret", dict_ / "leak.htm");
  fs::create_directory_symlink(top_ / "outside", dict_ / "out");
  fs::create_symlink(dict_ / "Help.htm", dict_ / "alias.htm");
  fs::create_symlink(top_ / "nowhere", dict_ / "dangling.htm");
  EXPECT_EQ(FileInsideFolder(D(), "leak.htm"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "out/secret"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "dangling.htm"), std::nullopt);
  EXPECT_EQ(FileInsideFolder(D(), "alias.htm"), help);
  // The folder given through a link of its own is the folder it leads to.
  fs::create_directory_symlink(dict_, top_ / "via");
  EXPECT_EQ(FileInsideFolder((top_ / "via").string(), "Help.htm"), help);
}

TEST_F(LinkFolderTest, ClickTargetIsTheEncodedFileUrlOrNothing) {
  const std::string help = FileUrl((dict_ / "Help.htm").string());
  EXPECT_EQ(LinkOpenTarget("file://help.htm", D()), help);
  EXPECT_EQ(LinkOpenTarget("FILE://Help.htm", D()), help);
  EXPECT_EQ(LinkOpenTarget("file://help.htm#Intro", D()),
            FileUrl((dict_ / "Help.htm").string(), "Intro"));
  EXPECT_EQ(LinkOpenTarget("file://../outside/secret", D()), std::nullopt);
  EXPECT_EQ(LinkOpenTarget("file://missing.htm#x", D()), std::nullopt);
  EXPECT_EQ(LinkOpenTarget("file://a.htmfile://b.htm", D()), std::nullopt);
  // Other links go as they are.
  EXPECT_EQ(LinkOpenTarget("http://example.org/?u=file://x", D()),
            "http://example.org/?u=file://x");
  EXPECT_EQ(LinkOpenTarget("mailto:\xD6\xD0@example.org", D()), "mailto:中@example.org");
}

}  // namespace
}  // namespace velmora
