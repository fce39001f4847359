#include <gtest/gtest.h>

#include <filesystem>

#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "tests/tools/velmora-gif/CommandTest.h"

namespace velmora::gifTool {
namespace {

namespace fs = std::filesystem;

using StrokesCommand = CommandTest;

TEST_F(StrokesCommand, WritesALoopingAnimationOfTheSizeAsked) {
  const std::string gif = (dir / "zhong.gif").string();
  ASSERT_EQ(Run({"strokes", "-C", data, "中", gif, "--size", "128", "--delay", "80"}), 0)
      << err.str();
  TGIFImage image;
  image.LoadFromFile(gif);
  EXPECT_EQ(image.GetWidth(), 128);
  ASSERT_GT(image.Images->GetCount(), 8);  // four strokes, at least two frames each
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(
      image.Images->GetImage(0)->Extensions->GetExtension(0));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Loops, 0);
  EXPECT_EQ(image.Images->GetImage(1)->GraphicControlExtension->GetDelay(), 8);
}

TEST_F(StrokesCommand, FindsTheDataAsTheDictionaryIsFound) {
  const std::string gif = (dir / "yong.gif").string();
  setenv("VELMORA_DICTIONARY", data.c_str(), 1);
  EXPECT_EQ(Run({"strokes", "永", gif}), 0) << err.str();
  // A folder named with -C wins, and names itself when it lacks the data.
  EXPECT_EQ(Run({"strokes", "-C", dir.string(), "永", gif}), 2);
  EXPECT_TRUE(Said(dir.string()));
  unsetenv("VELMORA_DICTIONARY");
  EXPECT_TRUE(fs::is_regular_file(gif));
}

TEST_F(StrokesCommand, ReportsTroubleWithStatusTwo) {
  const std::string gif = (dir / "out.gif").string();
  EXPECT_EQ(Run({"strokes", "-C", data, "a", gif}), 2);
  EXPECT_TRUE(Said("no stroke order for 'a'"));
  EXPECT_FALSE(fs::exists(gif));
  EXPECT_EQ(Run({"strokes", "-C", data, "中国", gif}), 2);
  EXPECT_TRUE(Said("not one character"));
  EXPECT_EQ(Run({"strokes", "-C", dir.string(), "中", gif}), 2);
  EXPECT_TRUE(Said("cannot open"));
  EXPECT_EQ(Run({"strokes", "-C", data, "中", gif, "--size", "8"}), 2);
  EXPECT_EQ(Run({"strokes", "-C", data, "中", gif, "--delay"}), 2);
  EXPECT_EQ(Run({"strokes", "-C", data, "中"}), 2);
  EXPECT_EQ(Run({"strokes", "-C", data, "中", (dir / "no" / "x.gif").string()}), 2);
  EXPECT_FALSE(fs::exists(gif));
  EXPECT_EQ(Run({"strokes", "--help"}), 0);
  EXPECT_NE(out.str().find("--size PX"), std::string::npos);
}

}  // namespace
}  // namespace velmora::gifTool
