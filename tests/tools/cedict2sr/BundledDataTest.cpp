// Checks the files in data/ that the program ships with, so a regeneration
// that went wrong shows up here and not as missing search results.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/classes/Gbk.h"

namespace {

namespace fs = std::filesystem;

const fs::path kData = VELMORA_DATA_DIR;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(BundledDictionary, EveryLineIsAnEntryInTheFileOfItsKeyLength) {
  long total = 0;
  for (int n = 1; n <= 5; ++n) {
    const fs::path file = kData / (std::to_string(n) + ".sr");
    ASSERT_TRUE(fs::is_regular_file(file)) << file;
    const std::string text = ReadAll(file);
    ASSERT_FALSE(text.empty()) << file;
    EXPECT_EQ(text.back(), '\n') << file;

    long bad = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string_view line(text.data() + start, end - start);
      start = end + 1;
      ++total;

      const std::size_t sep = line.find("\xA3\xBA");
      const std::u32string key =
          sep == std::string_view::npos ? U"" : velmora::gbk::Decode(line.substr(0, sep));
      const std::u32string all = velmora::gbk::Decode(line);
      const bool ok = !key.empty() && line.size() <= 4095 && sep + 2 < line.size() &&
                      static_cast<int>(std::min<std::size_t>(key.size(), 5)) == n &&
                      // The first separator must be a whole character, and no byte may
                      // be left over that does not decode.
                      velmora::gbk::Decode(line.substr(0, sep + 2)).back() == U'：' &&
                      std::none_of(all.begin(), all.end(), [](char32_t c) {
                        return c < 0x20 || c >= velmora::gbk::kRawByteBase;
                      });
      if (!ok && ++bad <= 3) ADD_FAILURE() << file << ": " << velmora::gbk::ToUtf8(line);
    }
    EXPECT_EQ(bad, 0) << file;
  }
  EXPECT_GT(total, 100000);
}

TEST(BundledDictionary, HoldsCommonWordsWhereTheSearchLooksFirst) {
  const std::string two = ReadAll(kData / "2.sr");
  EXPECT_NE(two.find("\n" + velmora::gbk::FromUtf8("中国：[Zhong1 guo2] China")),
            std::string::npos);
  const std::string one = ReadAll(kData / "1.sr");
  EXPECT_NE(one.find("\n" + velmora::gbk::FromUtf8("犇：[")), std::string::npos);
}

struct Picture {
  const char* name;
  int width, height;
  bool animated;
};

TEST(BundledPictures, HaveTheSizesTheWindowIsLaidOutFor) {
  for (const Picture& p :
       {Picture{"t1.gif", 499, 120, true}, Picture{"t2.gif", 499, 41, false},
        Picture{"w.gif", 499, 224, false}}) {
    const std::string gif = ReadAll(kData / p.name);
    ASSERT_GE(gif.size(), 13u) << p.name;
    EXPECT_EQ(gif.substr(0, 6), "GIF89a") << p.name;
    auto word = [&](int at) {
      return static_cast<unsigned char>(gif[at]) | static_cast<unsigned char>(gif[at + 1])
                                                       << 8;
    };
    EXPECT_EQ(word(6), p.width) << p.name;
    EXPECT_EQ(word(8), p.height) << p.name;
    EXPECT_LT(gif.size(), 100u * 1024) << p.name;
    // An endless loop is what makes the banner keep moving.
    EXPECT_EQ(gif.find("NETSCAPE2.0\x03\x01\x00\x00", 0, 15) != std::string::npos,
              p.animated)
        << p.name;
  }
}

}  // namespace
