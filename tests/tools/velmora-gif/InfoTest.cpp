// velmora-gif: the info JSON, exit statuses and command-line errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "tests/TempFolder.h"
#include "tests/gif/GIFBuilder.h"
#include "tools/velmora-gif/GIFCommands.h"

namespace velmora::test {
namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun Tool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = gifTool::Main(args, out, err);
  return {status, out.str(), err.str()};
}

class GifInfo : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    std::string path = (dir_ / ("t" + std::to_string(n_++) + ".gif")).string();
    TMemoryStream(bytes).SaveToFile(path);
    return path;
  }

  test::TTempFolder dir_{"velmora-gif-info"};
  int n_ = 0;
};

// The reference: the hash library itself, over the indices we expect.
std::string Hash(const Bytes& bytes) {
  char s[17];
  std::snprintf(s, sizeof s, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits(bytes.data(), bytes.size())));
  return s;
}

TEST_F(GifInfo, DescribesFramesExtensionsAndWarnings) {
  const Bytes loop = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                      'E',  '2',  '.', '0', 3,   1,   4,   0,   0};
  Bytes gif = GifBuilder()
                  .Header(5, 4, 4)
                  .Raw(loop)
                  .Gce(0x0B, 20, 3)
                  .Comment({"say \"hi\"", "\xc4\xe3\xba\xc3"})  // GBK for a greeting
                  .Descriptor(1, 2, 2, 1, 0x40)
                  .Codes(2, {{4, 3}, {1, 3}, {2, 3}, {5, 3}})
                  .Descriptor(0, 0, 0, 0)  // takes the screen's size, with a warning
                  .Codes(2, {{4, 3}, {3, 3}, {5, 3}})
                  .Trailer()
                  .data;
  Bytes second(20, 0);
  second[0] = 3;
  ToolRun r = Tool({"info", Write(gif)});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      r.out,
      "{\"screen\": {\"width\": 5, \"height\": 4, \"background_index\": 0, \"aspect\": "
      "0, "
      "\"global_colors\": 4}, \"frames\": ["
      "{\"left\": 1, \"top\": 2, \"width\": 2, \"height\": 1, \"interlaced\": true, "
      "\"local_colors\": 0, \"transparent\": true, \"transparent_index\": 3, \"delay\": "
      "20, "
      "\"disposal\": 2, \"user_input\": true, \"pixels_xxh3\": \"" +
          Hash({1, 2}) +
          "\"}, "
          "{\"left\": 0, \"top\": 0, \"width\": 5, \"height\": 4, \"interlaced\": false, "
          "\"local_colors\": 0, \"transparent\": false, \"transparent_index\": null, "
          "\"delay\": null, \"disposal\": null, \"user_input\": null, "
          "\"pixels_xxh3\": "
          "\"" +
          Hash(second) +
          "\"}], \"loops\": 4, \"comments\": [\"say "
          "\\\"hi\\\"\xe4\xbd\xa0\xe5\xa5\xbd\"], "
          "\"warnings\": [\"Image exceeds Logical Screen size\"], \"error\": null}\n");
}

TEST_F(GifInfo, FailedLoadStillReportsWhatWasRead) {
  Bytes gif = GifBuilder()
                  .Header(2, 1, 4)
                  .Descriptor(0, 0, 2, 1)
                  .Codes(2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}})
                  .Comment({"tail"})
                  .Descriptor(0, 0, 2, 1)
                  .Raw({12})
                  .data;
  ToolRun r = Tool({"info", Write(gif)});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("\"frames\": [{\"left\": 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"pixels_xxh3\": \"" + Hash({1, 1}) + "\"}]"), std::string::npos);
  EXPECT_NE(r.out.find("\"error\": \"ClearCode too large\"}"), std::string::npos)
      << r.out;

  // A frame without an image hashes nothing.
  Bytes trailing = GifBuilder().Header(1, 1, 2).Comment({"only"}).Trailer().data;
  r = Tool({"info", Write(trailing)});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"width\": 0, \"height\": 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"" + Hash({}) + "\""), std::string::npos) << r.out;
}

// Control characters, DEL among them, come out escaped, as in the lookup
// tool's JSON.
TEST_F(GifInfo, ControlCharactersInCommentsAreEscaped) {
  Bytes gif = GifBuilder()
                  .Header(1, 1, 2)
                  .Comment({"a\x01"
                            "b\x7F"
                            "c\td\\"})
                  .Trailer()
                  .data;
  ToolRun r = Tool({"info", Write(gif)});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"comments\": [\"a\\u0001b\\u007fc\\td\\\\\"]"),
            std::string::npos)
      << r.out;
}

TEST_F(GifInfo, CommandLine) {
  ToolRun r = Tool({"info", (dir_ / "missing.gif").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot open"), std::string::npos);

  r = Tool({"info"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("expected one FILE"), std::string::npos);
  EXPECT_EQ(Tool({"frobnicate"}).status, 2);
  EXPECT_EQ(Tool({}).status, 2);

  r = Tool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("info FILE"), std::string::npos);
  EXPECT_EQ(Tool({"info", "--help"}).status, 0);
}

}  // namespace
}  // namespace velmora::test
