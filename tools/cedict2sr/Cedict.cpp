#include "tools/cedict2sr/Cedict.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/classes/FileWrite.h"
#include "platform/classes/Gbk.h"
#include "platform/classes/SysUtils.h"
#include "velmora/Version.h"

namespace velmora::cedict {

namespace {

constexpr std::string_view kSeparator = "\xA3\xBA";  // the fullwidth colon in GBK
constexpr int kMaxNotes = 10;

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// Checks every character and appends the GBK bytes of `utf8` to `gbk`.
TVerdict EncodeChecked(std::string_view utf8, std::string& gbk, std::size_t* chars) {
  std::u32string text;
  if (!DecodeUtf8(utf8, text)) return TVerdict::NotGbk;
  for (char32_t c : text) {
    if ((c < 0x20 && c != U'\t') || c == 0x7F) return TVerdict::ControlChar;
    // The reserved code points would come out as raw bytes (a line feed among
    // them), so they count as characters GBK has not got.
    if (c >= gbk::kRawByteBase) return TVerdict::NotGbk;
    if (c >= 0x80 && c != U'?' && gbk::Encode(std::u32string_view(&c, 1)) == "?") {
      return TVerdict::NotGbk;
    }
  }
  gbk += gbk::Encode(text);
  if (chars) *chars = text.size();
  return TVerdict::Written;
}

}  // namespace

bool DecodeUtf8(std::string_view utf8, std::u32string& out) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra;
    char32_t c;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out.push_back(c);
    i += extra + 1;
  }
  return true;
}

TLineKind ParseLine(std::string_view line, TCedictEntry& entry, std::string& why) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (IsBlank(line) || line.front() == '#') return TLineKind::Ignored;

  std::u32string scratch;
  if (!DecodeUtf8(line, scratch)) {
    why = "not valid UTF-8";
    return TLineKind::Malformed;
  }

  const std::size_t sp1 = line.find(' ');
  if (sp1 == 0 || sp1 == std::string_view::npos) {
    why = "no traditional and simplified form";
    return TLineKind::Malformed;
  }
  const std::size_t sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 == sp1 + 1) {
    why = "no simplified form";
    return TLineKind::Malformed;
  }
  std::string_view rest = TrimLeft(line.substr(sp2 + 1));
  if (rest.empty() || rest.front() != '[') {
    why = "no [pinyin] after the simplified form";
    return TLineKind::Malformed;
  }
  const std::size_t close = rest.find(']');
  if (close == std::string_view::npos) {
    why = "the pinyin has no closing ]";
    return TLineKind::Malformed;
  }
  std::string_view pinyin = rest.substr(1, close - 1);
  std::string_view defs = TrimRight(TrimLeft(rest.substr(close + 1)));
  if (defs.size() < 2 || defs.front() != '/' || defs.back() != '/') {
    why = "the definitions are not enclosed in /.../";
    return TLineKind::Malformed;
  }
  defs = defs.substr(1, defs.size() - 2);

  entry.traditional.assign(line.substr(0, sp1));
  entry.simplified.assign(line.substr(sp1 + 1, sp2 - sp1 - 1));
  entry.pinyin.assign(pinyin);
  entry.definitions.clear();
  while (true) {
    const std::size_t slash = defs.find('/');
    const std::string_view def = TrimRight(TrimLeft(defs.substr(0, slash)));
    if (!def.empty()) entry.definitions.emplace_back(def);
    if (slash == std::string_view::npos) break;
    defs.remove_prefix(slash + 1);
  }
  if (entry.definitions.empty()) {
    why = "no definitions";
    return TLineKind::Malformed;
  }
  return TLineKind::Entry;
}

TVerdict MakeSrLine(const TCedictEntry& entry, TSrLine& line) {
  std::string key;
  std::size_t chars = 0;
  if (TVerdict v = EncodeChecked(entry.simplified, key, &chars); v != TVerdict::Written) {
    return v;
  }
  if (chars == 0) return TVerdict::ControlChar;

  std::string explanation = "[" + entry.pinyin + "] ";
  for (std::size_t i = 0; i < entry.definitions.size(); ++i) {
    if (i > 0) explanation += "; ";
    explanation += entry.definitions[i];
  }
  std::string bytes = std::move(key);
  // The reader splits a line at the first byte pair 0xA3 0xBA wherever it
  // stands, even across two characters, so such a key would be cut short.
  if (bytes.find(kSeparator) != std::string::npos) return TVerdict::HoldsSeparator;
  bytes += kSeparator;
  if (TVerdict v = EncodeChecked(explanation, bytes, nullptr); v != TVerdict::Written) {
    return v;
  }
  if (bytes.size() > kMaxLineBytes) return TVerdict::TooLong;

  line.file = static_cast<int>(std::min<std::size_t>(chars, 5));
  line.bytes = std::move(bytes);
  return TVerdict::Written;
}

TSummary Convert(std::istream& in, const std::array<std::ostream*, 5>& out,
                 std::ostream& diag) {
  TSummary sum;
  std::string text;
  TCedictEntry entry;
  TSrLine sr;
  std::string why;
  int notes = 0;
  auto note = [&](const std::string& what) {
    if (notes++ < kMaxNotes)
      diag << "cedict2sr: line " << sum.lines << ": " << what << '\n';
  };

  while (std::getline(in, text)) {
    ++sum.lines;
    std::string_view line = text;
    if (sum.lines == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    switch (ParseLine(line, entry, why)) {
      case TLineKind::Ignored:
        continue;
      case TLineKind::Malformed:
        ++sum.malformed;
        note("malformed, skipped (" + why + ")");
        continue;
      case TLineKind::Entry:
        break;
    }
    ++sum.entries;
    switch (MakeSrLine(entry, sr)) {
      case TVerdict::Written:
        *out[sr.file - 1] << sr.bytes << '\n';
        ++sum.written[sr.file - 1];
        break;
      case TVerdict::NotGbk:
        // Common in the real data and harmless; counted in the summary only.
        ++sum.notGbk;
        break;
      case TVerdict::HoldsSeparator:
        ++sum.holdsSeparator;
        note("skipped " + entry.simplified + ": the key holds the separator bytes");
        break;
      case TVerdict::TooLong:
        ++sum.tooLong;
        note("skipped " + entry.simplified + ": longer than 4095 bytes in GBK");
        break;
      case TVerdict::ControlChar:
        ++sum.controlChar;
        note("skipped " + entry.simplified + ": holds a control character");
        break;
    }
  }
  if (notes > kMaxNotes) {
    diag << "cedict2sr: ... and " << (notes - kMaxNotes) << " more lines like these\n";
  }
  return sum;
}

namespace {

constexpr const char* kUsage =
    "Usage: cedict2sr [-o OUTDIR] INPUT\n"
    "Converts a CC-CEDICT file (UTF-8; '-' reads standard input) into the\n"
    "dictionary files 1.sr..5.sr in OUTDIR (default: the current folder).\n"
    "Each entry becomes the GBK line 'simplified：[pinyin] def1; def2'; the\n"
    "file number is the key's character count, capped at 5. Entries GBK cannot\n"
    "hold are skipped and counted; existing files are replaced only when the\n"
    "conversion succeeds.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUTDIR  write the files into OUTDIR (created if missing)\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n"
    "\n"
    "Exit status: 0 on success, 2 on bad usage, unreadable input, an input\n"
    "without a single entry that can be written, or files that cannot be\n"
    "written.\n";

namespace fs = std::filesystem;

// The five files are made in memory and written beside their final names,
// which they take only once all five are written whole, so a failed run
// leaves the previous dictionary intact.
class TOutputSet {
 public:
  explicit TOutputSet(const fs::path& dir) : dir_(dir) {}

  // Opened before the conversion, so that a folder that takes no files is
  // said before the input is read.
  bool Open(std::ostream& err) {
    return Try(err, [this] {
      for (int i = 0; i < 5; ++i) files_[i].emplace(FinalName(i).string());
    });
  }

  std::array<std::ostream*, 5> Streams() {
    std::array<std::ostream*, 5> s;
    for (int i = 0; i < 5; ++i) s[i] = &texts_[i];
    return s;
  }

  bool Commit(std::ostream& err) {
    return Try(err, [this] {
      for (int i = 0; i < 5; ++i) {
        files_[i]->Write(texts_[i].view());
        files_[i]->Close();
      }
      for (int i = 0; i < 5; ++i) files_[i]->Commit();
    });
  }

 private:
  fs::path FinalName(int i) const { return dir_ / (std::to_string(i + 1) + ".sr"); }
  template <typename Step>
  static bool Try(std::ostream& err, Step step) {
    try {
      step();
      return true;
    } catch (const EStreamError& e) {
      err << "cedict2sr: " << e.Message << '\n';
      return false;
    }
  }

  fs::path dir_;
  std::array<std::optional<TFileReplacement>, 5> files_;  // removed unless committed
  std::array<std::ostringstream, 5> texts_;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << "cedict2sr: " << problem << "\nTry 'cedict2sr --help'.\n";
  return 2;
}

struct TOptions {
  bool help = false;
  bool version = false;
  std::string outdir = ".";
  std::string input;  // "-" for standard input
};

// Reads the command line into opts. False with `problem` set for a usage
// error; --help ends the reading where it stands.
bool ParseArgs(const std::vector<std::string>& args, TOptions& opts,
               std::string& problem) {
  std::vector<std::string> inputs;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && (a == "-h" || a == "--help")) {
      opts.help = true;
      return true;
    } else if (options && a == "--version") {
      opts.version = true;
      return true;
    } else if (options && (a == "-o" || a == "--output")) {
      if (i + 1 == args.size()) {
        problem = a + " needs a folder";
        return false;
      }
      opts.outdir = args[++i];
    } else if (options && a.starts_with("--output=")) {
      opts.outdir = a.substr(9);
    } else if (options && a == "--") {
      options = false;
    } else if (options && a.size() > 1 && a[0] == '-') {
      problem = "unknown option " + a;
      return false;
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.size() != 1) {
    problem = inputs.empty() ? "no input file given" : "more than one input file";
    return false;
  }
  if (opts.outdir.empty()) {
    problem = "the output folder name is empty";
    return false;
  }
  opts.input = inputs[0];
  return true;
}

// The stream to read `input` from: standard input for "-", else `file`
// opened on it. Null after saying why it cannot be read.
std::istream* OpenInput(const std::string& input, std::ifstream& file,
                        std::ostream& err) {
  if (input == "-") return &std::cin;
  std::error_code ec;
  if (fs::is_directory(input, ec)) {
    err << "cedict2sr: " << input << " is a folder, not a CC-CEDICT file\n";
    return nullptr;
  }
  file.open(input, std::ios::binary);
  if (!file) {
    err << "cedict2sr: cannot open " << input << ": " << std::strerror(errno) << '\n';
    return nullptr;
  }
  return &file;
}

bool MakeOutputFolder(const std::string& outdir, std::ostream& err) {
  std::error_code ec;
  fs::create_directories(outdir, ec);
  if (ec || !fs::is_directory(outdir)) {
    err << "cedict2sr: cannot use the output folder " << outdir << ": "
        << (ec ? ec.message() : "not a folder") << '\n';
    return false;
  }
  return true;
}

void ReportSummary(const TSummary& sum, long written, const TOptions& opts,
                   std::ostream& err) {
  err << "cedict2sr: " << sum.entries << " entries read from " << opts.input << " ("
      << sum.lines << " lines)\n";
  err << "cedict2sr: " << written << " written to " << opts.outdir << ":";
  for (int i = 0; i < 5; ++i) err << ' ' << (i + 1) << ".sr " << sum.written[i];
  err << '\n';
  err << "cedict2sr: " << sum.Skipped() << " skipped (" << sum.notGbk
      << " with characters GBK cannot hold, " << sum.holdsSeparator
      << " with the separator bytes in the key, " << sum.tooLong
      << " longer than 4095 bytes, " << sum.controlChar << " with control characters), "
      << sum.malformed << " malformed lines\n";
}

// Converts opts.input into 1.sr..5.sr in opts.outdir. The files are replaced
// only when the whole input was read and something could be written.
int WriteDictionary(const TOptions& opts, std::ostream& err) {
  std::ifstream file;
  std::istream* in = OpenInput(opts.input, file, err);
  if (!in) return 2;
  if (!MakeOutputFolder(opts.outdir, err)) return 2;

  TOutputSet files(opts.outdir);
  if (!files.Open(err)) return 2;
  const TSummary sum = Convert(*in, files.Streams(), err);
  if (in->bad()) {
    err << "cedict2sr: reading " << opts.input << " failed\n";
    return 2;
  }
  if (sum.entries == 0) {
    err << "cedict2sr: no CC-CEDICT entries in " << opts.input
        << "; the dictionary files were left as they were\n";
    return 2;
  }
  long written = 0;
  for (long n : sum.written) written += n;
  if (written == 0) {
    err << "cedict2sr: none of the " << sum.entries << " entries in " << opts.input
        << " could be written; the dictionary files were left as they were\n";
    return 2;
  }
  if (!files.Commit(err)) return 2;
  ReportSummary(sum, written, opts, err);
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TOptions opts;
  std::string problem;
  if (!ParseArgs(args, opts, problem)) return Usage(err, problem);
  if (opts.help) {
    out << kUsage;
    return 0;
  }
  if (opts.version) {
    out << "cedict2sr " VELMORA_VERSION "\n";
    return 0;
  }
  return WriteDictionary(opts, err);
}

}  // namespace velmora::cedict
