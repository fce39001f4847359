// The forms of an English word that a learner means by it: the American
// spelling of a British one ("colour" means "color"), and the dictionary
// form of a plural or an inflected verb ("students" means "student",
// "studies" and "studied" mean "study", "running" means "run").
//
// Dictionary forms come from undoing one inflectional ending (-s, -es,
// -ies, -ied, -ed, -d, -ing, with a doubled consonant or a dropped e put
// back) and keeping a candidate only where the Snowball English stemmer
// gives it the same stem as the word. The ending alone over-reaches
// ("news" is no plural of "new"); the stemmer alone over-reaches more
// ("organization" and "organ" share a stem), so each keeps the other in
// check. Only inflections are undone, never derivations, and only in one
// direction: a word the dictionary would list under its own form (dog,
// color) is never widened to its inflections or British spellings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::english {

// The American spelling of a British one (lower case), from a short table
// of our own: words whose American form the dictionary's senses use.
std::optional<std::string_view> AmericanSpelling(std::string_view lower);

struct TWordForms {
  // The word as typed (lower case) and its American spelling if it has one:
  // a sense that holds either holds the word itself.
  std::vector<std::string> Own;
  // Its dictionary forms and their American spellings; none of Own.
  std::vector<std::string> Derived;
};

// The forms of one word (lower case, letters and digits). Words with
// digits, and words shorter than four letters (its, has), have no derived
// forms.
TWordForms FormsOf(std::string_view lower);

}  // namespace velmora::english
