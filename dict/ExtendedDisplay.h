// How the extended search shows an entry, as learners read it: readings
// with tone marks ([zhōng guó], ü for u:), the explanation in its own
// letter case (China, I, Xi Jinping), and the traditional form beside the
// key where it differs. Each is a choice (TExtendedDisplay, in the search's
// options); the standard search never uses any of them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One reading's syllables with tone marks: "zhong1 guo2" gives "zhōng guó"
// (GBK), "nu:3" gives "nǚ", "lu:" gives "lü", a neutral tone (5) no mark.
// GBK has no capital marked vowels, so a marked capital vowel is lowered
// ("Ou1" gives "ōu"). A token that is not a syllable with a tone digit
// ("xx5" aside, "," or "·") is kept as it is. Tests may call it directly.
std::string ToneMarked(std::string_view reading);

// Every bracketed reading of an explanation's shown text with tone marks:
// the opening one and those of cross-references (西安市[xi1 an1 shi4]).
// map receives, for each byte offset of text and one past its end, the
// offset it has in the result, so that marks found in text can be moved.
std::string WithToneMarks(std::string_view text, std::vector<std::size_t>* map = nullptr);

// The explanation's text as shown before tone marks: links reduced to their
// text as the standard search shows them, letters lowered or in their own
// case.
std::string ShownExplanation(std::string_view explanation, bool ownCase);

}  // namespace velmora
