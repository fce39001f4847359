// The search against a small, slow reading of the dictionary rules: every
// file read byte by byte, every line split and tested by itself, in the
// three passes. Random dictionaries make the cases the rules care about:
// double-byte characters whose bytes look like ASCII or like the separator,
// separators split across characters, CR, NUL, long lines, files with and
// without a last line feed.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/Search.h"
#include "dict/Texts.h"
#include "platform/richedit/MemoryRichEdit.h"
#include "tests/dict/TempDir.h"

namespace velmora {
namespace {

namespace model {

bool Lead(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

// The characters of a text: a lead byte takes the next byte along.
std::vector<std::string> Chars(const std::string& text) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Lead(text[i]) && i + 1 < text.size() ? 2 : 1;
    chars.push_back(text.substr(i, n));
    i += n;
  }
  return chars;
}

std::string Clean(const std::string& query) {
  std::string out;
  for (const std::string& c : Chars(query))
    if (c.size() == 2 || static_cast<unsigned char>(c[0]) < 0x21 ||
        static_cast<unsigned char>(c[0]) > 0x7E)
      out += c;
  return out;
}

std::string Upper(const std::string& text) {
  std::string out;
  for (std::string c : Chars(text)) {
    if (c.size() == 1 && c[0] >= 'a' && c[0] <= 'z') c[0] = char(c[0] - 32);
    out += c;
  }
  return out;
}

bool Contains(const std::string& text, const std::string& query) {
  const std::string t = Upper(text), q = Upper(query);
  std::size_t at = 0;
  for (const std::string& c : Chars(t)) {
    if (t.compare(at, q.size(), q) == 0) return true;
    at += c.size();
  }
  return false;
}

// The lines as the search reads them; a file read in pieces of pieceBytes
// passes over a line whose text is as long as a piece.
std::vector<std::string> Lines(const std::string& bytes, std::size_t pieceBytes) {
  std::vector<std::string> lines;
  std::string stored;
  bool any = false;
  for (char c : bytes) {
    if (c == '\n') {
      if (const std::string text = stored.substr(0, stored.find('\0'));
          text.size() < pieceBytes)
        lines.push_back(text);
      stored.clear();
      any = false;
    } else {
      stored.push_back(c);
      any = true;
    }
  }
  if (const std::string text = stored.substr(0, stored.find('\0'));
      any && text.size() < pieceBytes)
    lines.push_back(text);
  return lines;
}

// What the view holds after a complete search.
std::string View(const std::vector<std::string>& files, const std::string& typed,
                 std::size_t pieceBytes) {
  const std::string query = Clean(typed);
  if (query.size() < 2) return std::string(texts::kInvalidQuery) + "\r\n";
  const int own = std::min<int>(int(query.size() / 2), 5);
  std::string view = std::string(texts::kHeadingBefore) + query +
                     std::string(texts::kHeadingAfter) + "\r\n" +
                     std::string(texts::kFinished) + "\n\r\n";
  bool found = false;
  for (int pass = 1; pass <= 3; ++pass) {
    for (int number = 1; number <= 5; ++number) {
      if ((pass == 1) != (number == own) && pass != 3) continue;
      for (const std::string& line : Lines(files[std::size_t(number - 1)], pieceBytes)) {
        std::size_t p = line.find("\xA3\xBA");
        const std::string key =
            p == std::string::npos ? line.substr(0, 1) : line.substr(0, p + 2);
        const std::string explanation = p == std::string::npos
                                            ? (line.empty() ? "" : line.substr(1))
                                            : line.substr(p + 2);
        const bool keyMatch = Contains(key, query);
        if (pass < 3 ? keyMatch : !keyMatch && Contains(explanation, query)) {
          found = true;
          view += key + "\r\n" + std::string(texts::kIndent) +
                  DisplayExplanation(explanation) + "\n\r\n";
        }
      }
    }
  }
  if (!found) view += std::string(texts::kNotFound) + "\r\n";
  return view;
}

}  // namespace model

const char* const kPieces[] = {
    "\xD6\xD0",  // 中
    "\xB9\xFA",  // 国
    "\xD6\xD0\xB9\xFA",
    "\xA3\xBA",  // the separator
    "\xB0\xA3",  // ends in the separator's first byte
    "\xBA\xA1",  // starts with its second byte
    "\x81\x61",  // a second byte that looks like "a"
    "\x81\x41",  // and like "A"
    "a",
    "A",
    " ",
    "\r",
    "\n",
    "\n",
    "\n",
    "\xD6",
};

std::string RandomFile(std::mt19937& rng) {
  std::string file;
  const int lines = int(rng() % 30);
  for (int i = 0; i < lines; ++i) {
    const int length = rng() % 25 == 0 ? 1000 + int(rng() % 2000) : int(rng() % 12);
    for (int k = 0; k < length; ++k) {
      const unsigned r = rng() % 100;
      if (r == 0)
        file.push_back('\0');
      else if (r < 4)
        file.push_back(char(0x80 + rng() % 128));
      else
        file += kPieces[rng() % std::size(kPieces)];
    }
    if (i + 1 < lines || rng() % 2) file.push_back('\n');
  }
  return file;
}

std::string RandomQuery(std::mt19937& rng) {
  static const char* const queries[] = {"\xD6\xD0",
                                        "\xB9\xFA",
                                        "\xD6\xD0\xB9\xFA",
                                        "\xA3\xBA",
                                        "\xA3\xBA\xD6\xD0",
                                        "\xD6\xD0\xA3\xBA",
                                        "\x81\x61",
                                        "\x81\x41",
                                        "\xB0\xA3\xBA\xA1",
                                        "\xD6\xD0 \xB9\xFA",
                                        "\xD0\xB9",
                                        "a\xD6\xD0!",
                                        "\xD6",
                                        "\t\xD6\xD0",
                                        "\xD6\xD0\xB9\xFA\xD6\xD0\xB9\xFA\xD6\xD0"};
  return queries[rng() % std::size(queries)];
}

TEST(SearchModel, TheScanListsWhatALineByLineReadingLists) {
  test::TTempDir dir;
  std::mt19937 rng(2024);
  TDictImages images;
  for (int round = 0; round < 120; ++round) {
    std::vector<std::string> files;
    for (int n = 0; n < 5; ++n) files.push_back(RandomFile(rng));
    dir.WriteAll(files[0], files[1], files[2], files[3], files[4]);
    // Small slices cut lines and occurrences at every place; so do small
    // pieces of files read in pieces.
    TSearchOptions options;
    options.Pacing.SliceBytes =
        rng() % 2 ? std::size_t(1 + rng() % 50) : std::size_t(1) << 20;
    options.Images = &images;
    const bool pieces = rng() % 2;
    images.Reading.MostWhole = pieces ? 0 : TDictReading{}.MostWhole;
    images.Reading.PieceBytes = pieces ? std::size_t(1 + rng() % 3000) : 1;
    for (int q = 0; q < 4; ++q) {
      const std::string query = RandomQuery(rng);
      TMemoryRichEdit edit;
      TResultView view(edit);
      TQueryControls controls(query);
      images.Clear();  // the files change every round, faster than the clock
      RunSearch(controls, view, options);
      ASSERT_EQ(edit.Text(),
                model::View(files, query, pieces ? images.Reading.PieceBytes : SIZE_MAX))
          << "round " << round << " query " << ::testing::PrintToString(query)
          << " pieces of " << (pieces ? images.Reading.PieceBytes : 0);
    }
  }
}

}  // namespace
}  // namespace velmora
