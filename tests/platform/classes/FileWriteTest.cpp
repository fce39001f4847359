// Files written whole or not at all: a full disk or a device that takes
// nothing is an error naming the reason, and the file that was there stays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/classes/Classes.h"
#include "platform/classes/FileWrite.h"
#include "tests/SmallDisk.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The message of what f raises, or "" when it raises nothing.
template <typename F>
std::string Raised(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "";
}

TEST(FileWrite, ADeviceThatTakesNothingIsAnErrorWithItsReason) {
  // Buffered bytes fail only when written out: at Close.
  TFileStream full("/dev/full", TFileMode::fmCreate);
  full.WriteBuffer("GIF89a", 6);
  EXPECT_EQ(Raised([&] { full.Close(); }),
            "Cannot write file \"/dev/full\": No space left on device");
  EXPECT_NE(Raised([] { WriteWholeFile("/dev/full", "x"); }).find("No space left"),
            std::string::npos);
  // Devices are written in place and never removed; so is what the system's
  // names of open files lead to.
  EXPECT_TRUE(fs::exists("/dev/full"));
  WriteWholeFile("/dev/null", "x");
  test::TTempFolder dir("velmora-filewrite");
  const std::string out = dir.Write("out", "");
  const int fd = ::open(out.c_str(), O_WRONLY | O_APPEND);
  WriteWholeFile("/proc/self/fd/" + std::to_string(fd), "through");
  ::close(fd);
  EXPECT_EQ(Read(out), "through");
}

TEST(FileWrite, AFullDiskKeepsTheOldFileAndLeavesNothingBehind) {
  test::TSmallDisk disk(64);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  const std::string file = disk.Write("picture.gif", "old");
  disk.Fill(0);
  const std::string large(64 * 1024, 'n');
  EXPECT_EQ(Raised([&] {
              TFileStream s(file, TFileMode::fmCreate);
              s.WriteBuffer(large.data(), std::int64_t(large.size()));
              s.Close();
            }),
            "Cannot write file \"" + file + "\": No space left on device");
  // Without Close, a stream whose bytes did not all get out keeps quiet, but
  // leaves no short file either.
  {
    TFileStream s(file, TFileMode::fmCreate);
    s.WriteBuffer("new", 3);
  }
  EXPECT_THROW(WriteWholeFile(file, large), EWriteError);
  EXPECT_EQ(Read(file), "old");
  EXPECT_EQ(Names(disk.Path()), (std::vector<std::string>{".filler", "picture.gif"}));
}

TEST(FileWrite, AnExceptionLeavingTheWriterKeepsTheOldFile) {
  test::TTempFolder dir("velmora-filewrite");
  const std::string file = dir.Write("out.gif", "old");
  EXPECT_THROW(
      {
        TFileStream s(file, TFileMode::fmCreate);
        s.WriteBuffer("new", 3);
        throw std::runtime_error("the encoder gave up");
      },
      std::runtime_error);
  EXPECT_EQ(Read(file), "old");
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"out.gif"}));
  // Written whole, the file takes the name, with the old file's mode.
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  {
    TFileStream s(file, TFileMode::fmCreate);
    s.WriteBuffer("new", 3);
  }
  EXPECT_EQ(Read(file), "new");
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(FileWrite, LinksAreWrittenThroughAndNeverFollowedToAStrangersFile) {
  test::TTempFolder dir("velmora-filewrite");
  const std::string target = dir.Write("kept/history", "old");
  fs::create_symlink("kept/history", dir / "link");
  WriteWholeFile((dir / "link").string(), "new");
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(LinkTarget((dir / "link").string()), (dir / "kept/history").string());

  // A link planted where the temporary file goes is left alone.
  const std::string victim = dir.Write("victim", "mine");
  const fs::path planted = target + ".new-" + std::to_string(::getpid());
  fs::create_symlink(victim, planted);
  WriteWholeFile(target, "newer");
  EXPECT_EQ(Read(target), "newer");
  EXPECT_EQ(Read(victim), "mine");
  EXPECT_TRUE(fs::is_symlink(planted));
}

TEST(FileWrite, OpeningErrorsNameTheReason) {
  test::TTempFolder dir("velmora-filewrite");
  const std::string folder = dir.Path().string();
  EXPECT_EQ(Raised([&] { TFileStream s(folder, TFileMode::fmCreate); }),
            "Cannot create file \"" + folder + "\": Is a directory");
  const std::string missing = (dir / "none" / "x.gif").string();
  EXPECT_EQ(Raised([&] { TFileStream s(missing, TFileMode::fmCreate); }),
            "Cannot create file \"" + missing + "\": No such file or directory");
  EXPECT_EQ(Raised([&] { TFileStream s(missing, TFileMode::fmOpenRead); }),
            "Cannot open file \"" + missing + "\": No such file or directory");
  for (TFileMode mode : {TFileMode::fmOpenRead, TFileMode::fmOpenReadWrite})
    EXPECT_THROW(TFileStream(missing, mode), EFOpenError);
  EXPECT_EQ(Raised([&] { ReadFileBytes(missing); }),
            "Cannot open file \"" + missing + "\": No such file or directory");
}

}  // namespace
}  // namespace velmora
