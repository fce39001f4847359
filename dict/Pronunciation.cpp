#include "dict/Pronunciation.h"

#include <array>
#include <cctype>

namespace velmora {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The syllables of a reading as "letters digit?" pieces (u: as v), and the
// text between them.
struct TPiece {
  std::string Letters;  // empty for text between syllables
  int Tone = 0;         // 1..5, 0 when no digit follows
  std::string Other;
};

std::vector<TPiece> Pieces(std::string_view reading) {
  std::vector<TPiece> pieces;
  for (std::size_t i = 0; i < reading.size();) {
    if (!IsLetter(reading[i])) {
      if (pieces.empty() || !pieces.back().Letters.empty()) pieces.push_back({});
      pieces.back().Other += reading[i++];
      continue;
    }
    TPiece piece;
    while (i < reading.size() && (IsLetter(reading[i]) || reading[i] == ':')) {
      if (reading[i] == ':') {
        if (!piece.Letters.empty() &&
            (piece.Letters.back() == 'u' || piece.Letters.back() == 'U'))
          piece.Letters.back() = piece.Letters.back() == 'u' ? 'v' : 'V';
      } else {
        piece.Letters += reading[i];
      }
      ++i;
    }
    if (i < reading.size() && reading[i] >= '1' && reading[i] <= '5')
      piece.Tone = reading[i++] - '0';
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

// UTF-8 of a vowel (a e i o u v, either case) with a tone mark of tone 1..4.
std::string MarkedVowel(char vowel, int tone) {
  static const std::array<std::array<const char*, 4>, 6> lower = {{
      {"ā", "á", "ǎ", "à"},
      {"ē", "é", "ě", "è"},
      {"ī", "í", "ǐ", "ì"},
      {"ō", "ó", "ǒ", "ò"},
      {"ū", "ú", "ǔ", "ù"},
      {"ǖ", "ǘ", "ǚ", "ǜ"},
  }};
  static const std::array<std::array<const char*, 4>, 6> upper = {{
      {"Ā", "Á", "Ǎ", "À"},
      {"Ē", "É", "Ě", "È"},
      {"Ī", "Í", "Ǐ", "Ì"},
      {"Ō", "Ó", "Ǒ", "Ò"},
      {"Ū", "Ú", "Ǔ", "Ù"},
      {"Ǖ", "Ǘ", "Ǚ", "Ǜ"},
  }};
  static const std::string_view vowels = "aeiouv";
  const std::size_t row =
      vowels.find(char(std::tolower(static_cast<unsigned char>(vowel))));
  return std::isupper(static_cast<unsigned char>(vowel))
             ? upper[row][std::size_t(tone - 1)]
             : lower[row][std::size_t(tone - 1)];
}

bool IsVowel(char c) {
  return std::string_view("aeiouvAEIOUV").find(c) != std::string_view::npos;
}

std::string MarkSyllable(const std::string& letters, int tone) {
  std::size_t at = std::string::npos;
  const std::string lower = [&] {
    std::string s;
    for (char c : letters) s += char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }();
  if (tone >= 1 && tone <= 4) {
    if ((at = lower.find('a')) == std::string::npos &&
        (at = lower.find('e')) == std::string::npos) {
      at = lower.find("ou");
      if (at == std::string::npos)
        for (std::size_t i = lower.size(); i-- > 0;)
          if (IsVowel(lower[i])) {
            at = i;
            break;
          }
    }
  }
  std::string out;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    if (i == at) {
      out += MarkedVowel(letters[i], tone);
    } else if (letters[i] == 'v' || letters[i] == 'V') {
      out += letters[i] == 'v' ? "ü" : "Ü";
    } else {
      out += letters[i];
    }
  }
  return out;
}

}  // namespace

std::string SpokenReading(std::string_view reading) {
  std::string spoken;
  for (const TPiece& piece : Pieces(reading)) {
    if (piece.Letters.empty()) continue;
    if (!spoken.empty()) spoken += ' ';
    for (char c : piece.Letters)
      spoken += char(std::tolower(static_cast<unsigned char>(c)));
    if (piece.Tone) spoken += char('0' + piece.Tone);
  }
  return spoken;
}

std::vector<std::string> SpeechArguments(const std::string& program,
                                         const std::string& spoken,
                                         const std::string& wavFile) {
  std::vector<std::string> args = {program, "-v", kSpeechVoice};
  if (!wavFile.empty()) {
    args.push_back("-w");
    args.push_back(wavFile);
  }
  // The text after "--", so that nothing in it is taken for an option.
  args.push_back("--");
  args.push_back(spoken);
  return args;
}

std::string ToneMarked(std::string_view reading) {
  std::string out;
  bool afterSyllable = false;
  for (const TPiece& piece : Pieces(reading)) {
    if (piece.Letters.empty()) {
      // One space between syllables joins them; other text stays.
      if (piece.Other.find_first_not_of(' ') != std::string::npos) {
        out += piece.Other;
        afterSyllable = false;
      }
      continue;
    }
    const char first = char(std::tolower(static_cast<unsigned char>(piece.Letters[0])));
    if (afterSyllable && (first == 'a' || first == 'e' || first == 'o')) out += '\'';
    out += MarkSyllable(piece.Letters, piece.Tone);
    afterSyllable = true;
  }
  return out;
}

}  // namespace velmora
