#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dict/DictFile.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

// Every line of some bytes as a plain reading gives them: split at LF, the
// last line without LF only when it is not empty, each line cut at its first
// NUL.
std::vector<std::string> AllLines(const std::string& bytes) {
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

std::vector<std::string> Candidates(const std::string& bytes, const std::string& needle,
                                    std::size_t slice, int* slices = nullptr) {
  const TSubstringFinder finder(needle);
  TCandidateLines lines(bytes, finder, slice);
  std::vector<std::string> out;
  std::string_view line;
  for (;;) {
    const auto step = lines.Next(line);
    if (step == TCandidateLines::TStep::End) break;
    if (step == TCandidateLines::TStep::Line) {
      // A view into the bytes, never a copy.
      EXPECT_GE(line.data(), bytes.data());
      EXPECT_LE(line.data() + line.size(), bytes.data() + bytes.size());
      out.emplace_back(line);
    } else if (slices) {
      ++*slices;
    }
  }
  return out;
}

TEST(DictFile, EmptyNeedleListsEveryLineAsItStands) {
  const std::string bytes("one\r\n\ntwo\0hidden\nlast", 22);
  EXPECT_EQ(Candidates(bytes, "", 1 << 20),
            (std::vector<std::string>{"one\r", "", "two", "last"}));
  EXPECT_EQ(Candidates("x\n", "", 3), std::vector<std::string>{"x"});
  EXPECT_TRUE(Candidates("", "", 5).empty());
}

TEST(DictFile, FinderAgreesWithAPlainSearch) {
  // Needles at every offset around the vector block edges and at the end.
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const std::size_t n = rng() % 200;
    for (std::size_t i = 0; i < n; ++i) text.push_back(char("ab\xA3\xBA\n"[rng() % 5]));
    std::string needle;
    for (std::size_t i = 1 + rng() % 5; i > 0; --i)
      needle.push_back(char("ab\xA3\xBA\n"[rng() % 5]));
    const TSubstringFinder finder(needle);
    for (std::size_t from = 0; from <= text.size(); from += 1 + rng() % 7)
      ASSERT_EQ(finder.Find(text, from), text.find(needle, from)) << round << " " << from;
  }
}

// Candidates are exactly the lines whose bytes (before or after a NUL, but
// not across lines) hold the needle, plus lines where an occurrence with a
// line feed starts; whatever the slice size.
TEST(DictFile, CandidatesAreTheLinesThatHoldTheNeedle) {
  std::mt19937 rng(7);
  std::string bytes;
  while (bytes.size() < 300'000) {
    const std::size_t length = rng() % 5 == 0 ? rng() % 40'000 : rng() % 40;
    for (std::size_t i = 0; i < length; ++i) {
      const unsigned r = rng() % 64;
      bytes.push_back(r == 0   ? '\0'
                      : r == 1 ? '\r'
                      : r < 8  ? char("\xD6\xD0\xB9\xFA"[r % 4])
                               : char(0x81 + rng() % 120));
    }
    bytes.push_back('\n');
  }
  bytes.append("tail\xD6\xD0");
  for (const std::string needle :
       {"\xD6\xD0", "\xD0\xB9\xFA", "\xD6\xD0\xB9\xFA\xD6", "l\xD6", "\r\n"}) {
    std::vector<std::string> expected;
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t lf = bytes.find('\n', start);
      if (lf == std::string::npos) lf = bytes.size();
      const std::size_t at = bytes.find(needle, start);
      if (at != std::string::npos && at <= lf) {
        const std::string line = bytes.substr(start, lf - start);
        expected.push_back(line.substr(0, line.find('\0')));
      }
      start = lf + 1;
    }
    for (std::size_t slice :
         {std::size_t(1), std::size_t(3), std::size_t(4096), std::size_t(1) << 20})
      EXPECT_EQ(Candidates(bytes, needle, slice), expected) << slice;
  }
  EXPECT_EQ(Candidates(bytes, "", 1000), AllLines(bytes));
  // Control comes back after every slice while nothing is found.
  int slices = 0;
  EXPECT_EQ(Candidates(std::string(100'000, 'x') + "\nab\n", "ab", 4096, &slices),
            std::vector<std::string>{"ab"});
  EXPECT_EQ(slices, 100'000 / 4096);  // the last slice holds the candidate
}

TEST(DictFile, ImagesAreKeptWhileTheFileStaysTheSame) {
  test::TTempDir dir;
  TDictImages images;
  dir.Write("1.sr", "abc\n");
  auto first = images.Open("1.sr");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Bytes(), "abc\n");
  EXPECT_EQ(images.Open("1.sr"), first);
  EXPECT_EQ(images.Reads(), 1);

  // Rewritten with the same size: the modification time tells.
  dir.Write("1.sr", "xyz\n");
  struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "1.sr", times, 0), 0);
  auto second = images.Open("1.sr");
  EXPECT_EQ(second->Bytes(), "xyz\n");
  EXPECT_EQ(images.Reads(), 2);
  // The search that still holds the old image keeps its bytes.
  EXPECT_EQ(first->Bytes(), "abc\n");
  // Replaced by another file under the same name (a new inode).
  dir.Write("new.sr", "xyz\n");
  ::rename("new.sr", "1.sr");
  EXPECT_EQ(images.Open("1.sr")->Bytes(), "xyz\n");
  EXPECT_EQ(images.Reads(), 3);
  // Touched only: read again, since the bytes may differ.
  times[1] = {54321, 1};
  ASSERT_EQ(::utimensat(AT_FDCWD, "1.sr", times, 0), 0);
  images.Open("1.sr");
  EXPECT_EQ(images.Reads(), 4);
  images.Open("1.sr");
  EXPECT_EQ(images.Reads(), 4);
  // Rewritten with the same size and its modification time put back, as
  // cp -p and touch -r do: the change time tells. Rewritten until the
  // file system's clock has moved on, so that the change time differs.
  struct stat before {};
  ASSERT_EQ(::stat("1.sr", &before), 0);
  struct stat after {};
  for (int tries = 0; tries < 200; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    dir.Write("1.sr", "pqr\n");
    const struct timespec kept[2] = {{0, UTIME_OMIT}, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, "1.sr", kept, 0), 0);
    ASSERT_EQ(::stat("1.sr", &after), 0);
    if (after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
        after.st_ctim.tv_nsec != before.st_ctim.tv_nsec)
      break;
  }
  ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(images.Open("1.sr")->Bytes(), "pqr\n");
  EXPECT_EQ(images.Reads(), 5);
  // Gone: no image, and a file that comes back is read.
  ::unlink("1.sr");
  EXPECT_FALSE(images.Open("1.sr"));
  dir.Write("1.sr", "abc\n");
  EXPECT_EQ(images.Open("1.sr")->Bytes(), "abc\n");
}

TEST(DictFile, OpensOnlyReadableRegularFiles) {
  test::TTempDir dir;
  TDictImages images;
  EXPECT_FALSE(images.Open("missing.sr"));
  std::filesystem::create_directory("3.sr");
  EXPECT_FALSE(images.Open("3.sr"));
  // A FIFO without a writer would block a plain open for ever.
  ASSERT_EQ(::mkfifo("fifo.sr", 0600), 0);
  EXPECT_FALSE(images.Open("fifo.sr"));
  dir.Write("1.sr", "");
  ASSERT_TRUE(images.Open("1.sr"));
  EXPECT_EQ(images.Open("1.sr")->Bytes(), "");
  if (::geteuid() != 0) {  // root reads whatever the mode says
    ::chmod("1.sr", 0);
    EXPECT_FALSE(images.Open("1.sr"));
  }
}

}  // namespace
}  // namespace velmora
