// The dictionary files 1.sr..5.sr: reading them line by line, splitting a
// line into key and explanation, and turning an explanation into the text
// that is shown.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// The separator between key and explanation, a fullwidth colon in GBK.
inline constexpr std::string_view kKeySeparator = "\xA3\xBA";

// "1.sr" .. "5.sr", relative to the current folder.
std::string DictFileName(int number);

// Reads one dictionary file line by line in big blocks. A line is the bytes
// before a line feed; a CR before it stays in the line. Lines of any length
// are read whole. A NUL byte ends a line's text. One reader is reused for
// every file of a search.
class TDictFile {
 public:
  TDictFile();
  ~TDictFile();
  TDictFile(const TDictFile&) = delete;
  TDictFile& operator=(const TDictFile&) = delete;

  // False when the file can't be opened for reading. Only regular files
  // count: a folder or a device of that name would either fail on the
  // first read or never end.
  bool Open(const std::string& fileName);
  bool IsOpen() const { return fd_ >= 0; }
  // The next line, valid until the next call; false at the end of the file.
  // A read error ends the file as the end would.
  bool ReadLine(std::string_view& line);
  void Close();

 private:
  bool Fill();

  int fd_ = -1;
  std::unique_ptr<char[]> buf_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;    // start of the unread bytes
  std::size_t scanned_ = 0;  // bytes from begin_ known to hold no line feed
  std::size_t end_ = 0;
  bool eof_ = false;
};

struct TEntry {
  std::string_view Key;          // ends in the separator when the line has one
  std::string_view Explanation;  // as read
};

// Splits at the first separator byte pair, wherever it stands. The key keeps
// its separator. A line without one has its first byte as key and the rest as
// explanation.
TEntry SplitLine(std::string_view line);

// The explanation as shown: ASCII letters lowered, then link markup
// (<a href="target">label</a>) rewritten to "file://target label".
std::string DisplayExplanation(std::string_view explanation);

}  // namespace velmora
