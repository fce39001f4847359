#include "dict/Pronunciation.h"

#include <cctype>

namespace velmora {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string SpokenReading(std::string_view reading) {
  std::string spoken;
  for (std::size_t i = 0; i < reading.size();) {
    if (!IsLetter(reading[i])) {
      ++i;  // a space, a middle dot, a comma, a stray digit: no syllable
      continue;
    }
    if (!spoken.empty()) spoken += ' ';
    while (i < reading.size() && (IsLetter(reading[i]) || reading[i] == ':')) {
      if (reading[i] == ':') {
        if (spoken.back() == 'u') spoken.back() = 'v';  // the dictionary's u: is ü
      } else {
        spoken += char(std::tolower(static_cast<unsigned char>(reading[i])));
      }
      ++i;
    }
    if (i < reading.size() && reading[i] >= '1' && reading[i] <= '5')
      spoken += reading[i++];
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

}  // namespace velmora
