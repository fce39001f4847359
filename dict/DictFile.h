// The dictionary files 1.sr..5.sr: one image of each file in memory, kept
// between searches while the file stays the same; finding the lines that may
// hold a query; splitting a line into key and explanation, and turning an
// explanation into the text that is shown.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "dict/FoundLines.h"

namespace velmora {

// The separator between key and explanation, a fullwidth colon in GBK.
inline constexpr std::string_view kKeySeparator = "\xA3\xBA";

// "1.sr" .. "5.sr", relative to the current folder.
std::string DictFileName(int number);

// What tells one version of a file from another without reading it.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  std::int64_t MtimeSec = 0;
  long MtimeNsec = 0;
  // The change time: unlike the modification time, no tool can set it back
  // (cp -p, touch -r), so a rewrite of the same size is seen.
  std::int64_t CtimeSec = 0;
  long CtimeNsec = 0;
  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
};

// How dictionary files are read. A file of up to MostWhole bytes is read
// whole into memory and kept between searches. A larger one, or one whose
// bytes don't fit into the memory there is, is read anew at every pass, in
// pieces of PieceBytes cut at line ends, so that a file of any size is
// searched in bounded memory. Tests shrink both.
struct TDictReading {
  std::size_t MostWhole = std::size_t(1) << 30;
  std::size_t PieceBytes = std::size_t(8) << 20;
};

// All bytes of one dictionary file, read in one go into memory of our own,
// or, for a file too large for that, the open file that TDictPieces reads.
// The bytes are a private copy, not a mapping of the file: a file that is
// truncated or rewritten while a search scans it can't pull pages from under
// the scan (a shrunken mapping faults with SIGBUS), and the search goes on
// with the bytes it read.
class TDictImage {
 public:
  TDictImage() = default;
  ~TDictImage();
  TDictImage(const TDictImage&) = delete;
  TDictImage& operator=(const TDictImage&) = delete;

  // Whether the bytes are in memory. Bytes() is empty when they are not.
  bool Whole() const { return whole_; }
  std::string_view Bytes() const { return {data_.get(), size_}; }
  const TFileIdentity& Identity() const { return identity_; }

 private:
  friend class TDictImages;
  friend class TDictPieces;
  bool whole_ = true;
  struct TFree {
    void operator()(char* p) const;
  };
  std::unique_ptr<char, TFree> data_;
  std::size_t size_ = 0;
  TFileIdentity identity_;
  bool reusable_ = false;  // false when the file changed while it was read
  std::size_t pieceBytes_ = 0;
  // Kept open while the image lives, so that no other file can take over
  // the inode and pass for this one.
  int fd_ = -1;
};

// The images of the files a search opened, by name. Opening a file whose
// device, inode, size, modification and change times are what they were
// reads nothing; any change reads it anew. (A rewrite in place that keeps the
// size within one tick of the file system's clock goes unseen.)
class TDictImages {
 public:
  // Opens the file (relative to the current folder) and returns its image;
  // null when it can't be opened for reading. Only regular files count: a
  // folder or a device of that name would either fail to read or never
  // end. A read error ends the image as the end of the file would.
  std::shared_ptr<const TDictImage> Open(const std::string& fileName);
  // Forgets every image.
  void Clear() { images_.clear(); }
  // How the files opened from now on are read.
  TDictReading Reading;
  // How many times a file was read whole from the disk.
  int Reads() const { return reads_; }

 private:
  std::map<std::string, std::shared_ptr<const TDictImage>> images_;
  int reads_ = 0;
};

// The bytes of an image as runs of whole lines, in order: all of them at
// once when they are in memory, otherwise read from the file a piece at a
// time. A piece stays valid until the next call. A line longer than a
// piece is searched by its text up to its first NUL when that fits, and
// passed over when it doesn't (no dictionary entry is megabytes long).
class TDictPieces {
 public:
  explicit TDictPieces(const TDictImage& image) : image_(image) {}
  // The next piece; false at the end of the file (or at a read error).
  bool Next(std::string_view& piece);

 private:
  // Reads on from offset_ until the buffer is full or the file ends.
  void Fill();
  const TDictImage& image_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t filled_ = 0;    // bytes in the buffer
  std::size_t consumed_ = 0;  // of them, given out as the last piece
  off_t offset_ = 0;          // where the next read starts
  bool ended_ = false;        // the file has no more bytes
  bool skipping_ = false;     // inside a long line, up to its line feed
};

// The images the search keeps between searches, for the whole process.
TDictImages& SharedDictImages();

// Finds a byte string in a larger one with vector compares of its first and
// last byte, and a full compare only where both agree.
class TSubstringFinder {
 public:
  explicit TSubstringFinder(std::string_view needle);
  // The first occurrence that starts in [from, text.size()), or npos.
  std::size_t Find(std::string_view text, std::size_t from) const;
  std::size_t MaxSize() const { return needle_.size(); }

 private:
  std::string needle_;
};

// The lines of an image that contain the needle's bytes somewhere, in order
// (see TFoundLines for what a line is).
using TCandidateLines = TFoundLines<TSubstringFinder>;

struct TEntry {
  std::string_view Key;          // ends in the separator when the line has one
  std::string_view Explanation;  // as read
};

// A key without its separator.
inline std::string_view BareKey(std::string_view key) {
  if (key.ends_with(kKeySeparator)) key.remove_suffix(kKeySeparator.size());
  return key;
}

// Splits at the first separator byte pair, wherever it stands. The key keeps
// its separator. A line without one has its first byte as key and the rest as
// explanation.
TEntry SplitLine(std::string_view line);

// The explanation as shown: ASCII letters lowered, then link markup
// (<a href="target">label</a>) rewritten to "file://target label".
std::string DisplayExplanation(std::string_view explanation);

}  // namespace velmora
