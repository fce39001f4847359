// The order of the extended search's answers. Inside each group of matches
// (a whole reading or a sense that says just the query before a reading's
// beginning or a word inside a sense), the entries of common words come
// first: a learner reads the first screen, and the file order of the data
// says nothing about how common a word is. Then shorter keys, counted in
// characters, then the order of the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora {
struct TEntry;
class TWordFrequency;
}  // namespace velmora

namespace velmora::ranking {

// An entry whose every sense only points to another word ("variant of 涎",
// "surname Shi", "used in 葡萄", "see 西安"): it is listed after the real
// entries of words nearly as common (see EntryWeight).
bool OnlyPointsElsewhere(std::string_view explanation);

// What an entry weighs: its key's count, the count divided by
// kPointerDivisor for an entry that only points elsewhere. 0 for a key the
// table does not count (rare), or when there is no table.
inline constexpr std::uint64_t kPointerDivisor = 100;
std::uint64_t EntryWeight(std::uint64_t keyCount, std::string_view explanation);

// How common an entry's word is, in the reading it gives (0 without a
// table): EntryWeight of its count, doubled, with one more for a reading in
// lower case. A character's proper-noun reading ([Zhong1] China) has the
// count of its common one ([zhong1] middle), and the common one comes first.
std::uint64_t EntryWeight(const TEntry& entry, const TWordFrequency* frequency);

// What an English match weighs: the word's weight shared among its senses
// (by the square root of their number, a measure word's "CL:" not counted)
// and divided by the place of the first sense that holds word (lower case;
// 1 when none does). A word that means just the query comes before a more
// common one for which the query is one sense of many (teacher: 教师 and 老师
// before 先生 "teacher; gentleman; sir; ..."), and one whose first sense it
// is before one that has it far down (eat: 吃 before 用 "... (courteous) to
// eat").
std::uint64_t SenseShare(std::uint64_t weight, std::string_view explanation,
                         std::string_view word);

// Characters of a GBK key.
std::size_t CharCount(std::string_view key);

}  // namespace velmora::ranking
