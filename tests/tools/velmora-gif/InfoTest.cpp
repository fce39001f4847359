// velmora-gif: the info JSON, exit statuses and command-line errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "tests/gif/GIFBuilder.h"
#include "tests/tools/velmora-gif/CommandTest.h"

namespace velmora::gifTool {
namespace {

using test::Bytes;
using test::GifBuilder;

class GifInfo : public CommandTest {
 protected:
  std::string Write(const Bytes& bytes) {
    return folder.Write("t" + std::to_string(n_++) + ".gif",
                        std::string(bytes.begin(), bytes.end()));
  }
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
  EXPECT_EQ(Run({"info", Write(gif)}), 0);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(
      out.str(),
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
  EXPECT_EQ(Run({"info", Write(gif)}), 2);
  EXPECT_NE(out.str().find("\"frames\": [{\"left\": 0"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"pixels_xxh3\": \"" + Hash({1, 1}) + "\"}]"),
            std::string::npos);
  EXPECT_NE(out.str().find("\"error\": \"ClearCode too large\"}"), std::string::npos)
      << out.str();

  // A frame without an image hashes nothing.
  Bytes trailing = GifBuilder().Header(1, 1, 2).Comment({"only"}).Trailer().data;
  EXPECT_EQ(Run({"info", Write(trailing)}), 0);
  EXPECT_NE(out.str().find("\"width\": 0, \"height\": 0"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("\"" + Hash({}) + "\""), std::string::npos) << out.str();
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
  EXPECT_EQ(Run({"info", Write(gif)}), 0);
  EXPECT_NE(out.str().find("\"comments\": [\"a\\u0001b\\u007fc\\td\\\\\"]"),
            std::string::npos)
      << out.str();
}

TEST_F(GifInfo, CommandLine) {
  EXPECT_EQ(Run({"info", (dir / "missing.gif").string()}), 2);
  EXPECT_EQ(out.str(), "");
  EXPECT_TRUE(Said("cannot open"));

  EXPECT_EQ(Run({"info"}), 2);
  EXPECT_TRUE(Said("expected one FILE"));
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({}), 2);

  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("info FILE"), std::string::npos);
  EXPECT_EQ(Run({"info", "--help"}), 0);
}

}  // namespace
}  // namespace velmora::gifTool
