#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

std::vector<std::string> ReadAll(const std::string& name) {
  TDictFile file;
  EXPECT_TRUE(file.Open(name));
  std::vector<std::string> lines;
  std::string_view line;
  while (file.ReadLine(line)) lines.emplace_back(line);
  return lines;
}

// What the reader must deliver for some bytes: split at LF, the last line
// without LF only when it is not empty, each line cut at its first NUL.
std::vector<std::string> Expected(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t lf = bytes.find('\n', start);
    if (lf == std::string::npos) lf = bytes.size();
    std::string line = bytes.substr(start, lf - start);
    lines.push_back(line.substr(0, line.find('\0')));
    start = lf + 1;
  }
  return lines;
}

TEST(DictFile, ReadsLinesAsTheyStand) {
  test::TTempDir dir;
  dir.Write("a.sr", std::string("one\r\n\ntwo\0hidden\nlast", 22));
  EXPECT_EQ(ReadAll("a.sr"), (std::vector<std::string>{"one\r", "", "two", "last"}));
  dir.Write("b.sr", "x\n");
  EXPECT_EQ(ReadAll("b.sr"), std::vector<std::string>{"x"});
  dir.Write("empty.sr", "");
  EXPECT_TRUE(ReadAll("empty.sr").empty());
}

TEST(DictFile, LongLinesAreReadWholeAndDoNotEndTheFile) {
  test::TTempDir dir;
  const std::string exact(4095, 'a'), over(4096, 'b'), huge(1 << 20, 'c');
  dir.Write("long.sr", exact + "\n" + over + "\nafter\n" + huge + "\nend");
  EXPECT_EQ(ReadAll("long.sr"),
            (std::vector<std::string>{exact, over, "after", huge, "end"}));
}

TEST(DictFile, AgreesWithASimpleSplitOnRandomBytes) {
  // Random line lengths around and across the reader's block boundaries,
  // with NULs and CRs sprinkled in.
  test::TTempDir dir;
  std::mt19937 rng(7);
  std::string bytes;
  while (bytes.size() < 900'000) {
    const std::size_t length = rng() % 3 == 0 ? rng() % 70'000 : rng() % 40;
    for (std::size_t i = 0; i < length; ++i) {
      const unsigned r = rng() % 64;
      bytes.push_back(r == 0 ? '\0' : r == 1 ? '\r' : char(0x81 + rng() % 120));
    }
    bytes.push_back('\n');
  }
  bytes.append("tail");
  dir.Write("r.sr", bytes);
  EXPECT_EQ(ReadAll("r.sr"), Expected(bytes));
}

TEST(DictFile, OpensOnlyReadableRegularFiles) {
  test::TTempDir dir;
  TDictFile file;
  EXPECT_FALSE(file.Open("missing.sr"));
  std::filesystem::create_directory("3.sr");
  EXPECT_FALSE(file.Open("3.sr"));
  // A FIFO without a writer would block a plain open for ever.
  ASSERT_EQ(::mkfifo("fifo.sr", 0600), 0);
  EXPECT_FALSE(file.Open("fifo.sr"));
  dir.Write("1.sr", "a\nb\n");
  // The same reader goes on to the next file.
  ASSERT_TRUE(file.Open("1.sr"));
  std::string_view line;
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line, "a");
  file.Close();
  EXPECT_FALSE(file.ReadLine(line));
  ASSERT_TRUE(file.Open("1.sr"));
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line, "a");
  if (::geteuid() != 0) {  // root reads whatever the mode says
    ::chmod("1.sr", 0);
    EXPECT_FALSE(file.Open("1.sr"));
  }
}

}  // namespace
}  // namespace velmora
