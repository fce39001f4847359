// Conversion of a CC-CEDICT text (UTF-8) into the dictionary files 1.sr..5.sr
// (GBK, one "key：explanation" entry per line).
#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cedict {

// One CC-CEDICT line "TRAD SIMP [pin1 yin1] /def1/def2/", fields in UTF-8.
struct TCedictEntry {
  std::string traditional;
  std::string simplified;
  std::string pinyin;
  std::vector<std::string> definitions;
};

enum class TLineKind { Entry, Ignored, Malformed };

// Parses one line without its line feed (a trailing CR is allowed). Blank and
// comment lines are TLineKind::Ignored; for Malformed, `why` says what is wrong.
TLineKind ParseLine(std::string_view line, TCedictEntry& entry, std::string& why);

// Strict UTF-8 decoding: false for overlong forms, surrogates, truncated or
// stray bytes and values above U+10FFFF.
bool DecodeUtf8(std::string_view utf8, std::u32string& out);

// The widest line the window's reader has always taken whole; longer lines
// are left out so the files stay readable by every reader of the format.
constexpr std::size_t kMaxLineBytes = 4095;

enum class TVerdict {
  Written,
  NotGbk,          // a character GBK cannot hold
  HoldsSeparator,  // the key's bytes contain the separator pair 0xA3 0xBA
  TooLong,         // the line would exceed kMaxLineBytes
  ControlChar,     // a control character would break the line format
};

// The GBK line of an entry (without its line feed) and the file it goes to.
struct TSrLine {
  int file = 0;  // 1..5
  std::string bytes;
};

TVerdict MakeSrLine(const TCedictEntry& entry, TSrLine& line);

struct TSummary {
  long lines = 0;
  long entries = 0;  // well-formed entry lines
  long malformed = 0;
  long notGbk = 0;
  long holdsSeparator = 0;
  long tooLong = 0;
  long controlChar = 0;
  std::array<long, 5> written{};  // per file 1..5

  long Skipped() const { return notGbk + holdsSeparator + tooLong + controlChar; }
};

// Reads CC-CEDICT lines from `in` and appends each entry's line with its line
// feed to out[file - 1], in the order of the source. Malformed lines are
// reported to `diag` (the first few with their line numbers) and skipped.
TSummary Convert(std::istream& in, const std::array<std::ostream*, 5>& out,
                 std::ostream& diag);

// The command line: cedict2sr [-o OUTDIR] INPUT. Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::cedict
