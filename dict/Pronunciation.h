// Saying an entry's reading. Speech comes from espeak-ng, run as a program
// of its own (never linked, never through a shell) with the voice that reads
// pinyin with tone digits: it is fed the entry's own reading, not a guess
// from the characters, which misreads words such as 银行 or 长大. The
// default Mandarin voice reads tone digits as English numbers, so the voice
// is always given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

inline constexpr char kSpeechProgram[] = "espeak-ng";
inline constexpr char kSpeechPackage[] = "espeak-ng";  // the Debian package
inline constexpr char kSpeechVoice[] = "cmn-latn-pinyin";

// The text for the voice: the reading's syllables (letters with a tone
// digit) in lower case, u: written v, one space between them; anything else
// (a middle dot, a comma) parts syllables. Empty when the reading holds no
// letter.
std::string SpokenReading(std::string_view reading);

// The argument vector that says spoken with program: to the sound card, or
// into wavFile when one is given.
std::vector<std::string> SpeechArguments(const std::string& program,
                                         const std::string& spoken,
                                         const std::string& wavFile = {});

}  // namespace velmora
