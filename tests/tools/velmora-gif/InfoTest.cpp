// velmora-gif: the info JSON, exit statuses and command-line errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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

std::string Fnv(const Bytes& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  char s[17];
  std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(h));
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
      "\"disposal\": 2, \"user_input\": true, \"pixels_fnv1a64\": \"" +
          Fnv({1, 2}) +
          "\"}, "
          "{\"left\": 0, \"top\": 0, \"width\": 5, \"height\": 4, \"interlaced\": false, "
          "\"local_colors\": 0, \"transparent\": false, \"transparent_index\": null, "
          "\"delay\": null, \"disposal\": null, \"user_input\": null, "
          "\"pixels_fnv1a64\": "
          "\"" +
          Fnv(second) +
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
  EXPECT_NE(r.out.find("\"pixels_fnv1a64\": \"" + Fnv({1, 1}) + "\"}]"),
            std::string::npos);
  EXPECT_NE(r.out.find("\"error\": \"ClearCode too large\"}"), std::string::npos)
      << r.out;

  // A frame without an image hashes nothing.
  Bytes trailing = GifBuilder().Header(1, 1, 2).Comment({"only"}).Trailer().data;
  r = Tool({"info", Write(trailing)});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"width\": 0, \"height\": 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"cbf29ce484222325\""), std::string::npos) << r.out;
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

// The hashes computed side by side are each range's own: ranges of other
// lengths (empty ones, one byte, more ranges than lanes) neither end a lane
// early nor mix into each other's chain.
TEST(Fnv1a64Each, SameAsOneAtATime) {
  std::vector<Bytes> ranges;
  for (std::size_t size : {0, 5, 1000, 1, 0, 77, 3000, 2, 999, 4, 0, 64}) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = std::uint8_t(i * 131 + size * 7);
    ranges.push_back(bytes);
  }
  for (std::size_t count : {0, 1, 3, 4, 5, 12}) {
    std::vector<gifTool::TBytesView> views;
    for (std::size_t i = 0; i < count; ++i)
      views.push_back({ranges[i].data(), ranges[i].size()});
    const std::vector<unsigned long long> hashes = gifTool::Fnv1a64Each(views);
    ASSERT_EQ(hashes.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
      char s[17];
      std::snprintf(s, sizeof s, "%016llx", hashes[i]);
      EXPECT_EQ(s, Fnv(ranges[i])) << "range " << i << " of " << count;
    }
  }
}

}  // namespace
}  // namespace velmora::test
