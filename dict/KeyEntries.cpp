#include "dict/KeyEntries.h"

#include <algorithm>
#include <cstring>

#include "dict/DictFile.h"
#include "dict/DictText.h"

namespace velmora {

namespace {

// A character's one or two bytes as an index of a bitmap of characters.
std::size_t FirstIndex(std::string_view c) {
  const auto b = [&](std::size_t k) {
    return std::size_t(static_cast<unsigned char>(c[k]));
  };
  return c.size() == 2 ? b(0) << 8 | b(1) : b(0);
}

std::string_view FirstCharacter(std::string_view text) {
  return text.substr(0, LeadByteLengthAt(text, 0));
}

// Each of the characters where a line begins.
TNeedleFinder LineStarts(const std::unordered_set<std::string_view>& firsts) {
  std::vector<TNeedle> needles;
  for (std::string_view c : firsts) {
    needles.push_back(
        TNeedle{std::string(c), false, [](std::string_view bytes, std::size_t at) {
                  return at == 0 || bytes[at - 1] == '\n';
                }});
  }
  return TNeedleFinder(std::move(needles));
}

}  // namespace

TKeySweep::TKeySweep(const std::vector<std::string_view>& keys, TFiles files,
                     TSplit split)
    : atCharacters_(split == TSplit::AtCharacters) {
  std::unordered_set<std::string_view> firsts;
  for (std::string_view key : keys) {
    if (key.empty()) continue;
    keys_.insert(key);
    longestBytes_ = std::max(longestBytes_, key.size());
    const std::string_view first = FirstCharacter(key);
    firsts.insert(first);
    firstBits_[FirstIndex(first)] = true;
    // A key that is a lead byte alone (the files' split can make one) begins
    // lines whose first character is that lead byte with any other.
    if (first.size() == 1 && IsGbkLeadByte(static_cast<unsigned char>(first[0])))
      for (std::size_t trail = 0; trail < 256; ++trail)
        firstBits_[FirstIndex(first) << 8 | trail] = true;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < key.size() && characters < 5;
         i += LeadByteLengthAt(key, i))
      ++characters;
    files_[characters] = true;
  }
  if (files == TFiles::Every)
    for (int number = 1; number <= 5; ++number) files_[number] = !keys_.empty();
  if (firsts.size() <= kFewFirsts) finder_.emplace(LineStarts(firsts));
}

bool TKeySweep::Sweep(const TSource& source) {
  for (int number = 1; number <= 5; ++number) {
    if (!files_[number]) continue;
    std::shared_ptr<const TDictImage> image = source.Open(number);
    if (!image) continue;
    const std::string_view bytes = image->Bytes();
    const bool swept =
        finder_ ? SweepFound(source, number, bytes) : SweepAll(source, number, bytes);
    if (!swept) return false;
    held_.push_back(std::move(image));
  }
  return true;
}

// The line starts of a few first characters are found by the vector search.
// Stopped() is asked after each stretch without one and every 4096 lines.
bool TKeySweep::SweepFound(const TSource& source, int number, std::string_view bytes) {
  TNeedleLines lines(bytes, *finder_, source.SliceBytes);
  std::string_view line;
  for (std::size_t looked = 0;;) {
    const TNeedleLines::TStep step = lines.Next(line);
    if (step == TNeedleLines::TStep::End) return true;
    if (step == TNeedleLines::TStep::Slice) {
      if (source.Stopped()) return false;
      continue;
    }
    Look(number, bytes, line);
    if (++looked % 4096 == 0 && source.Stopped()) return false;
  }
}

bool TKeySweep::SweepAll(const TSource& source, int number, std::string_view bytes) {
  std::size_t lines = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const char* nl = static_cast<const char*>(
        std::memchr(bytes.data() + pos, '\n', bytes.size() - pos));
    const std::size_t end = nl ? std::size_t(nl - bytes.data()) : bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    if (!line.empty() && firstBits_[FirstIndex(FirstCharacter(line))])
      Look(number, bytes, line);
    pos = end + 1;
    if (++lines % 4096 == 0 && source.Stopped()) return false;
  }
  return true;
}

// Keeps the line when its key is one asked for.
void TKeySweep::Look(int number, std::string_view bytes, std::string_view line) {
  // Only a separator within reach of the longest key matters.
  const std::string_view reach = line.substr(0, longestBytes_ + kKeySeparator.size());
  const std::size_t sep =
      atCharacters_ ? FindAtBoundary(reach, kKeySeparator) : reach.find(kKeySeparator);
  if (sep == std::string_view::npos) return;
  const auto it = keys_.find(line.substr(0, sep));
  if (it != keys_.end())
    found_[*it].push_back(TFound{number, std::size_t(line.data() - bytes.data()), line});
}

std::map<std::string, std::vector<TKeyEntry>, std::less<>> EntriesOfKeys(
    const std::set<std::string, std::less<>>& keys, TDictImages& images) {
  TKeySweep sweep({keys.begin(), keys.end()}, TKeySweep::TFiles::Every,
                  TKeySweep::TSplit::AsTheFiles);
  sweep.Sweep({[&](int number) { return images.Open(DictFileName(number)); }});
  std::map<std::string, std::vector<TKeyEntry>, std::less<>> found;
  for (const std::string& key : keys) {
    if (!sweep.Has(key)) continue;
    std::vector<TKeyEntry>& entries = found[key];
    for (const TKeySweep::TFound& entry : sweep.Entries(key)) {
      std::string_view line = entry.Line;
      if (line.ends_with('\r')) line.remove_suffix(1);
      entries.push_back({entry.File, std::string(SplitLine(line).Explanation)});
    }
  }
  return found;
}

}  // namespace velmora
