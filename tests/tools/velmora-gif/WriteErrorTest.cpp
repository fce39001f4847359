// What the commands do when their files can't be written: exit 2 with the
// system's reason, and leave no short file where a whole one was.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/SmallDisk.h"
#include "tests/tools/velmora-gif/CommandTest.h"
#include "tools/velmora-gif/Png.h"

namespace velmora::gifTool {
namespace {

using WriteErrors = CommandTest;

TEST_F(WriteErrors, ADeviceThatTakesNothingIsTrouble) {
  const std::string png = (dir / "one.png").string();
  ASSERT_TRUE(WritePng(png, 2, 2, PngColor::Grey, std::vector<std::uint8_t>(4, 9)));
  EXPECT_EQ(Run({"encode", "/dev/full", png}), 2);
  EXPECT_TRUE(Said("No space left on device"));
  EXPECT_EQ(Run({"strokes", "-C", data, "一", "/dev/full"}), 2);
  EXPECT_TRUE(Said("No space left on device"));
  std::string why;
  EXPECT_FALSE(
      WritePng("/dev/full", 2, 2, PngColor::Grey, std::vector<std::uint8_t>(4), &why));
  EXPECT_NE(why.find("No space left on device"), std::string::npos) << why;
  // Reading a folder names the reason.
  EXPECT_EQ(Run({"frames", dir.string(), (dir / "out").string()}), 2);
  EXPECT_TRUE(Said("Is a directory"));
  EXPECT_EQ(Run({"info", dir.string()}), 2);
  EXPECT_TRUE(Said("Is a directory"));
}

TEST_F(WriteErrors, AFullDiskKeepsTheFilesThatWereThere) {
  test::TSmallDisk disk(128);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  const std::string gif = disk.Write("zhong.gif", "old");
  disk.Fill(0);
  EXPECT_EQ(Run({"strokes", "-C", data, "中", gif}), 2);
  EXPECT_TRUE(Said("No space left on device"));
  EXPECT_EQ(Contents(gif), "old");
  EXPECT_EQ(Run({"frames", data + "/t1.gif", disk.Path().string()}), 2);
  EXPECT_TRUE(Said("No space left on device"));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(disk.Path()))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left.size(), 2u);  // the filler and zhong.gif: no part of anything
}

}  // namespace
}  // namespace velmora::gifTool
