// The byte streams every reader and writer of the program goes through: the
// memory stream, the read-only view of someone else's bytes and the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/classes/Classes.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Count(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(i * 7 + 1);
  return b;
}

// data.bin in a fresh temporary folder, removed with the folder.
class TempFile {
 public:
  std::string Name() const { return (folder_ / "data.bin").string(); }
  void Write(const Bytes& bytes) const {
    folder_.Write("data.bin",
                  {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  }
  Bytes Read() const {
    std::ifstream in(Name(), std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
  }

 private:
  test::TTempFolder folder_{"velmora-stream"};
};

// What every seekable stream shares, run on each kind over the same 10 bytes.
enum class Kind { Memory, ReadOnly, File };

const char* Name(Kind kind) {
  return kind == Kind::Memory ? "Memory" : kind == Kind::ReadOnly ? "ReadOnly" : "File";
}
// For the test names ctest lists.
void PrintTo(Kind kind, std::ostream* out) {
  *out << Name(kind);
}

class StreamKinds : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    switch (GetParam()) {
      case Kind::Memory:
        stream_ = std::make_unique<TMemoryStream>(data_);
        break;
      case Kind::ReadOnly:
        stream_ = std::make_unique<TReadOnlyMemoryStream>(data_.data(), data_.size());
        break;
      case Kind::File:
        file_.Write(data_);
        stream_ = std::make_unique<TFileStream>(file_.Name(), TFileMode::fmOpenRead);
        break;
    }
  }
  const Bytes data_ = Count(10);
  TempFile file_;
  std::unique_ptr<TStream> stream_;
};

TEST_P(StreamKinds, ReadIsShortOnlyAtTheEnd) {
  TStream& s = *stream_;
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_EQ(s.GetPosition(), 0);
  std::uint8_t buf[16] = {};
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(Bytes(buf, buf + 4), Bytes(data_.begin(), data_.begin() + 4));
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.Read(buf, 16), 6);
  EXPECT_EQ(buf[5], data_[9]);
  EXPECT_EQ(s.GetPosition(), 10);
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_EQ(s.Read(buf, 0), 0);
  EXPECT_EQ(s.GetPosition(), 10);
}

TEST_P(StreamKinds, SeekFromEachOriginAndSizeKeepsThePosition) {
  TStream& s = *stream_;
  EXPECT_EQ(s.Seek(3, TSeekOrigin::soBeginning), 3);
  EXPECT_EQ(s.Seek(2, TSeekOrigin::soCurrent), 5);
  EXPECT_EQ(s.Seek(-1, TSeekOrigin::soCurrent), 4);
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.Seek(-2, TSeekOrigin::soEnd), 8);
  std::uint8_t b = 0;
  EXPECT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, data_[8]);
  s.SetPosition(1);
  EXPECT_EQ(s.GetPosition(), 1);
}

// Past the end is allowed and reads nothing; before the start every kind
// stops at the start, whichever origin the offset counts from.
TEST_P(StreamKinds, SeekOutsideTheBytes) {
  TStream& s = *stream_;
  EXPECT_EQ(s.Seek(5, TSeekOrigin::soEnd), 15);
  std::uint8_t b = 0;
  EXPECT_EQ(s.Read(&b, 1), 0);
  EXPECT_EQ(s.GetSize(), 10);
  for (const auto& [offset, origin] :
       {std::pair{-1, TSeekOrigin::soBeginning}, std::pair{-5, TSeekOrigin::soCurrent},
        std::pair{-11, TSeekOrigin::soEnd}}) {
    s.SetPosition(4);
    EXPECT_EQ(s.Seek(offset, origin), 0) << offset;
  }
  EXPECT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, data_[0]);
}

TEST_P(StreamKinds, ReadBufferRaisesOnAShortRead) {
  TStream& s = *stream_;
  std::uint8_t buf[16];
  s.ReadBuffer(buf, 10);
  s.ReadBuffer(buf, 0);  // nothing asked, nothing missing
  s.SetPosition(7);
  EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
}

INSTANTIATE_TEST_SUITE_P(Classes, StreamKinds,
                         ::testing::Values(Kind::Memory, Kind::ReadOnly, Kind::File),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           return Name(info.param);
                         });

TEST(TMemoryStreamTest, WriteOverwritesThenGrows) {
  TMemoryStream s(Count(4));
  s.SetPosition(2);
  const std::uint8_t more[] = {0xA0, 0xA1, 0xA2};
  EXPECT_EQ(s.Write(more, 3), 3);
  EXPECT_EQ(s.GetPosition(), 5);
  EXPECT_EQ(s.Bytes(), (Bytes{1, 8, 0xA0, 0xA1, 0xA2}));
  EXPECT_EQ(s.Write(more, 0), 0);
  EXPECT_EQ(s.Write(more, -1), 0);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.Memory(), s.Bytes().data());

  // Past the end: the gap is filled with zeros.
  TMemoryStream gap;
  gap.SetPosition(3);
  EXPECT_EQ(gap.GetSize(), 0);
  gap.WriteBuffer(more, 1);
  EXPECT_EQ(gap.Bytes(), (Bytes{0, 0, 0, 0xA0}));
}

TEST(TMemoryStreamTest, SetSizeCutsOrPadsAndKeepsThePositionInside) {
  TMemoryStream s(Count(10));
  s.SetPosition(8);
  s.SetSize(12);
  EXPECT_EQ(s.GetSize(), 12);
  EXPECT_EQ(s.Bytes()[11], 0);
  EXPECT_EQ(s.GetPosition(), 8);
  s.SetSize(5);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.GetPosition(), 5);
  std::uint8_t b = 0;
  EXPECT_EQ(s.Read(&b, 1), 0);
  // A negative size empties the stream; the position does not follow it
  // below the start, where a read would take bytes before the data.
  s.SetSize(-3);
  EXPECT_EQ(s.Read(&b, 1), 0);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetPosition(), 0);

  TMemoryStream cleared(Count(3));
  cleared.Seek(0, TSeekOrigin::soEnd);
  cleared.Clear();
  EXPECT_EQ(cleared.GetSize(), 0);
  EXPECT_EQ(cleared.GetPosition(), 0);
}

TEST(TMemoryStreamTest, CopyFromMovesMoreThanOneChunkAndNothingFromNothing) {
  const Bytes big = Count(200000);  // the copy goes in pieces of 64 KiB
  TMemoryStream from(big);
  TMemoryStream to;
  to.WriteBuffer("x", 1);
  EXPECT_EQ(to.CopyFrom(from, 0), std::int64_t(big.size()));
  ASSERT_EQ(to.GetSize(), std::int64_t(big.size() + 1));
  EXPECT_TRUE(std::equal(big.begin(), big.end(), to.Bytes().begin() + 1));
  TMemoryStream empty, none;
  EXPECT_EQ(none.CopyFrom(empty, 0), 0);
  EXPECT_EQ(none.GetSize(), 0);
}

// Loading a missing file raises and keeps the data.
TEST(TMemoryStreamTest, FilesRoundTrip) {
  TempFile file;
  TMemoryStream s(Count(300));
  s.SaveToFile(file.Name());
  EXPECT_EQ(file.Read(), Count(300));
  TMemoryStream back(Count(5));
  back.SetPosition(5);
  back.LoadFromFile(file.Name());
  EXPECT_EQ(back.Bytes(), Count(300));
  EXPECT_EQ(back.GetPosition(), 0);
  EXPECT_THROW(back.LoadFromFile(file.Name() + ".missing"), EFOpenError);
  EXPECT_EQ(back.Bytes(), Count(300));
}

TEST(TReadOnlyMemoryStreamTest, WritingIsRefusedAndAnEmptyViewReadsNothing) {
  const Bytes data = Count(4);
  TReadOnlyMemoryStream s(data.data(), data.size());
  EXPECT_EQ(s.Write(data.data(), 2), 0);
  EXPECT_THROW(s.WriteBuffer(data.data(), 2), EWriteError);
  s.WriteBuffer(data.data(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  EXPECT_EQ(data, Count(4));

  TReadOnlyMemoryStream empty(nullptr, 0);
  std::uint8_t b = 0;
  EXPECT_EQ(empty.GetSize(), 0);
  EXPECT_EQ(empty.Read(&b, 1), 0);
  EXPECT_THROW(empty.ReadBuffer(&b, 1), EReadError);
}

// A file read whole: its bytes, however they arrive. A pipe has no size to
// go by and delivers more than the first buffer holds.
TEST(ReadFileBytesTest, RegularFilesPipesAndFailures) {
  TempFile file;
  EXPECT_THROW(ReadFileBytes(file.Name()), EFOpenError);
  file.Write({});
  EXPECT_EQ(ReadFileBytes(file.Name()).Size, 0u);
  file.Write(Count(300));
  TFileBytes bytes = ReadFileBytes(file.Name());
  EXPECT_EQ(Bytes(bytes.Data.get(), bytes.Data.get() + bytes.Size), Count(300));

  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const Bytes large = Count(200 * 1024);
  std::thread writer([&] {
    std::size_t at = 0;
    while (at < large.size()) {
      const ssize_t n = write(ends[1], large.data() + at, large.size() - at);
      if (n <= 0) break;
      at += std::size_t(n);
    }
    close(ends[1]);
  });
  bytes = ReadFileBytes("/dev/fd/" + std::to_string(ends[0]));
  writer.join();
  close(ends[0]);
  EXPECT_EQ(Bytes(bytes.Data.get(), bytes.Data.get() + bytes.Size), large);

  const std::string folder = std::filesystem::temp_directory_path().string();
  try {
    ReadFileBytes(folder);
    FAIL() << "read a folder";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Cannot read file \"" + folder + "\": Is a directory");
  }
}

// Create empties a file, read-only writes nothing.
TEST(TFileStreamTest, EachModeWritesAsItSays) {
  TempFile file;
  file.Write(Count(8));
  {
    TFileStream s(file.Name(), TFileMode::fmCreate);
    EXPECT_EQ(s.GetSize(), 0);
    s.WriteBuffer("ab", 2);
    EXPECT_EQ(s.GetSize(), 2);
    EXPECT_EQ(s.GetPosition(), 2);
  }
  EXPECT_EQ(file.Read(), (Bytes{'a', 'b'}));

  file.Write(Count(4));
  {
    TFileStream s(file.Name(), TFileMode::fmOpenRead);
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  }
  EXPECT_EQ(file.Read(), Count(4));
}

}  // namespace
}  // namespace velmora
