#include "dict/Ranking.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Pinyin.h"
#include "dict/WordTables.h"

namespace velmora::ranking {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// What a sense says when it only names another word. Lower case, as the
// file writes them.
bool Points(std::string_view sense) {
  static constexpr std::array<std::string_view, 9> kPointers = {
      "variant of ",
      "old variant of ",
      "archaic variant of ",
      "Japanese variant of ",
      "erhua variant of ",
      "surname ",
      "used in ",
      "see ",
      "also written ",
  };
  while (!sense.empty() && sense.front() == ' ') sense.remove_prefix(1);
  for (std::string_view p : kPointers)
    if (StartsWith(sense, p)) return true;
  // "(old) variant of ...", "(archaic) used in ...": a remark first.
  if (StartsWith(sense, "(")) {
    const std::size_t close = sense.find(')');
    if (close != std::string_view::npos) return Points(sense.substr(close + 1));
  }
  return false;
}

// Calls each(sense) for every sense of an explanation that says something:
// its parts between semicolons after the reading.
template <typename TEach>
void ForEachSense(std::string_view explanation, TEach each) {
  if (const auto reading = pinyin::ReadingOf(explanation))
    explanation.remove_prefix(reading->size() + 2);
  while (!explanation.empty()) {
    const std::size_t end = FindAtBoundary(explanation, ";");
    const std::string_view sense = explanation.substr(0, end);
    if (sense.find_first_not_of(' ') != std::string_view::npos) each(sense);
    if (end == std::string_view::npos) break;
    explanation.remove_prefix(end + 1);
  }
}

}  // namespace

bool OnlyPointsElsewhere(std::string_view explanation) {
  bool any = false, all = true;
  ForEachSense(explanation, [&](std::string_view sense) {
    any = true;
    all = all && Points(sense);
  });
  return any && all;
}

std::uint64_t SenseShare(std::uint64_t weight, std::string_view explanation,
                         std::string_view word) {
  std::size_t senses = 0, at = 0;
  ForEachSense(explanation, [&](std::string_view sense) {
    while (sense.front() == ' ') sense.remove_prefix(1);
    if (StartsWith(sense, "CL:")) return;
    ++senses;
    if (at == 0 && !word.empty() &&
        std::search(sense.begin(), sense.end(), word.begin(), word.end(),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == b;
                    }) != sense.end())
      at = senses;
  });
  const double share = std::sqrt(double(std::max<std::size_t>(senses, 1))) *
                       double(std::max<std::size_t>(at, 1));
  if (share <= 1) return weight;
  return std::max<std::uint64_t>(weight ? 1 : 0, std::uint64_t(double(weight) / share));
}

std::uint64_t EntryWeight(std::uint64_t keyCount, std::string_view explanation) {
  if (keyCount == 0) return 0;
  if (!OnlyPointsElsewhere(explanation)) return keyCount;
  // Still before the keys the table does not count.
  return std::max<std::uint64_t>(1, keyCount / kPointerDivisor);
}

// How common an entry's word is, in the reading it gives (0 without a
// table). Doubled, with one more for a reading in lower case: a character's
// proper-noun reading ([Zhong1] China) has the count of its common one
// ([zhong1] middle), and the common one comes first.
std::uint64_t EntryWeight(const TEntry& entry, const TWordFrequency* frequency) {
  if (!frequency) return 0;
  const std::string_view key = BareKey(entry.Key);
  const std::optional<std::string_view> reading = pinyin::ReadingOf(entry.Explanation);
  const std::uint64_t count =
      reading ? frequency->EntryCount(key, *reading) : frequency->Count(key);
  const std::uint64_t weight = EntryWeight(count, entry.Explanation);
  const bool common = reading && !reading->empty() &&
                      !(reading->front() >= 'A' && reading->front() <= 'Z');
  return weight == 0 ? 0 : 2 * weight + (common ? 1 : 0);
}

std::size_t CharCount(std::string_view key) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < key.size(); i += LeadByteLengthAt(key, i)) ++chars;
  return chars;
}

}  // namespace velmora::ranking
