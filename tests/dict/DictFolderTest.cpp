#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dict/DictFolder.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class DictFolderTest : public ::testing::Test {
 protected:
  DictFolderTest() {
    fs::create_directories(dir_ / "prefix" / "bin");
    fs::create_directories(dir_ / "here");
    inputs_.Current = (dir_ / "here").string();
    inputs_.Executable = (dir_ / "prefix" / "bin" / "velmora").string();
  }
  std::string Installed() const {
    return (dir_ / "prefix" / "share" / "velmora").string();
  }

  test::TTempFolder dir_{"velmora-folder"};
  TDictFolderInputs inputs_;
};

TEST_F(DictFolderTest, OrderOfChoice) {
  dir_.Write("prefix/share/velmora/5.sr", "");
  TDictFolder chosen = ChooseDictFolder(inputs_);
  EXPECT_EQ(chosen.Source, TDictFolderSource::Installed);
  EXPECT_EQ(chosen.Path, Installed());

  // Any one file, even a dangling link, makes the current folder a dictionary.
  fs::create_symlink(dir_ / "gone", dir_ / "here" / "3.sr");
  chosen = ChooseDictFolder(inputs_);
  EXPECT_EQ(chosen.Source, TDictFolderSource::Current);
  EXPECT_EQ(chosen.Path, inputs_.Current);

  inputs_.Environment = "";  // set but empty counts as unset
  EXPECT_EQ(ChooseDictFolder(inputs_).Source, TDictFolderSource::Current);
  inputs_.Environment = "/from/env";
  EXPECT_EQ(ChooseDictFolder(inputs_).Path, "/from/env");
  inputs_.Option = "rel/dir";
  chosen = ChooseDictFolder(inputs_);
  EXPECT_EQ(chosen.Source, TDictFolderSource::Option);
  EXPECT_EQ(chosen.Path, "rel/dir");
}

TEST_F(DictFolderTest, InstalledOnlyWhenItHoldsADictionary) {
  fs::create_directories(Installed());
  dir_.Write("prefix/share/velmora/t1.gif", "");
  EXPECT_EQ(InstalledDictFolder(inputs_.Executable), std::nullopt);
  TDictFolder chosen = ChooseDictFolder(inputs_);
  EXPECT_EQ(chosen.Source, TDictFolderSource::Fallback);
  EXPECT_EQ(chosen.Path, inputs_.Current);
  EXPECT_EQ(InstalledDictFolder(""), std::nullopt);
}

// The stroke data is taken from the folder only as a file; this test
// program has no installed data beside it to fall back on.
TEST_F(DictFolderTest, StrokeDataOnlyAsARegularFile) {
  const std::string here = (dir_ / "here").string();
  EXPECT_EQ(StrokeDataFile(here), std::nullopt);
  fs::create_directories(dir_ / "here" / "strokes.bin");
  EXPECT_EQ(StrokeDataFile(here), std::nullopt);
  fs::remove(dir_ / "here" / "strokes.bin");
  // A folder the user named gives its file, whatever stands there.
  EXPECT_EQ(StrokeDataFile(here, true), (dir_ / "here" / "strokes.bin").string());
  fs::remove(dir_ / "here" / "strokes.bin");
  dir_.Write("here/strokes.bin", "x");
  EXPECT_EQ(StrokeDataFile(here), (dir_ / "here" / "strokes.bin").string());
}

TEST_F(DictFolderTest, FailuresNameTheFileAndTheReason) {
  const TDictFolder folder{(dir_ / "here").string(), TDictFolderSource::Option};
  const fs::path before = fs::current_path();
  ASSERT_EQ(EnterDictFolder(folder), "");
  EXPECT_EQ(DictOpenFailures(folder),
            std::vector<std::string>{"no dictionary files 1.sr..5.sr in " + folder.Path +
                                     " (given with -C)"});
  for (const char* name : {"1.sr", "3.sr", "4.sr"})
    dir_.Write(fs::path("here") / name, "");
  fs::create_directory(dir_ / "here" / "2.sr");
  dir_.Write("here/5.sr", "");
  fs::permissions(dir_ / "here" / "5.sr", fs::perms::none);
  std::vector<std::string> lines = DictOpenFailures(folder);
  fs::current_path(before);
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], "cannot open 2.sr in " + folder.Path +
                          " (given with -C): not a regular file");
  // Whoever may read any file sees no trouble with 5.sr.
  if (::geteuid() != 0) {
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "cannot open 5.sr in " + folder.Path +
                            " (given with -C): Permission denied");
  }
  EXPECT_NE(EnterDictFolder({(dir_ / "none").string(), TDictFolderSource::Environment})
                .find("none (given by $VELMORA_DICTIONARY): No such file or directory"),
            std::string::npos);
}

}  // namespace
}  // namespace velmora
