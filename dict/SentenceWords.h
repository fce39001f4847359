// The words a sentence is made of, for the extended search's answer to a
// Chinese query that no entry holds: the entries whose keys are pieces of
// the text, found in one sweep of the files, and the most probable split of
// the text into them (TWordModel).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dict/DictFile.h"
#include "dict/DictText.h"
#include "dict/Prefilter.h"
#include "dict/SearchRun.h"

namespace velmora {

class TWordFrequency;

// The entries whose keys are pieces of a text, found in one sweep of the
// files: each line's key is looked up among the text's pieces. No index is
// kept between searches, so a sentence costs about one reading of the files.
class TPieceEntries {
 public:
  struct TFound {
    int File = 0;
    std::size_t Offset = 0;
    std::string_view Line;
  };
  // The longest piece looked for, in characters.
  static constexpr std::size_t kLongest = 12;

  explicit TPieceEntries(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); i += LeadByteLengthAt(text, i)) {
      const std::string_view c = text.substr(i, LeadByteLengthAt(text, i));
      firsts_.insert(c);
      firstBits_[FirstIndex(c)] = true;
    }
    if (firsts_.size() <= kFewFirsts) finder_.emplace(FirstCharacters());
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < text.size(); i += LeadByteLengthAt(text, i))
      at.push_back(i);
    at.push_back(text.size());
    for (std::size_t i = 0; i + 1 < at.size(); ++i)
      for (std::size_t j = i + 1; j < at.size() && j - i <= kLongest; ++j) {
        pieces_.insert(text.substr(at[i], at[j] - at[i]));
        longestBytes_ = std::max(longestBytes_, at[j] - at[i]);
        lengths_[std::min<std::size_t>(j - i, 5)] = true;
      }
  }

  // Sweeps 1.sr..5.sr (those whose keys can be as long as a piece); false
  // when the search was stopped. Only the lines that begin with one of the
  // text's characters are looked at.
  bool Sweep(TSearchRun& run) {
    for (int number = 1; number <= 5; ++number) {
      if (!lengths_[number]) continue;
      std::shared_ptr<const TDictImage> image = run.Open(number);
      if (!image) continue;
      const std::string_view bytes = image->Bytes();
      const bool swept =
          finder_ ? SweepFound(run, number, bytes) : SweepAll(run, number, bytes);
      if (!swept) return false;
      held_.push_back(std::move(image));
    }
    return true;
  }

  // A few first characters: their line starts are found by the vector
  // search; more would make it slow, and every line is looked at.
  bool SweepFound(TSearchRun& run, int number, std::string_view bytes) {
    TNeedleLines lines(bytes, *finder_, run.Pacing().SliceBytes);
    std::string_view line;
    for (;;) {
      const TNeedleLines::TStep step = lines.Next(line);
      if (step == TNeedleLines::TStep::End) return true;
      if (step == TNeedleLines::TStep::Slice) {
        if (run.Stopped(false)) return false;
        continue;
      }
      Look(number, bytes, line);
    }
  }
  bool SweepAll(TSearchRun& run, int number, std::string_view bytes) {
    std::size_t lines = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
      const char* nl = static_cast<const char*>(
          std::memchr(bytes.data() + pos, '\n', bytes.size() - pos));
      const std::size_t end = nl ? std::size_t(nl - bytes.data()) : bytes.size();
      const std::string_view line = bytes.substr(pos, end - pos);
      if (!line.empty() &&
          firstBits_[FirstIndex(line.substr(0, LeadByteLengthAt(line, 0)))])
        Look(number, bytes, line);
      pos = end + 1;
      if (++lines % 4096 == 0 && run.Stopped(false)) return false;
    }
    return true;
  }
  // Keeps the line when its key is a piece.
  void Look(int number, std::string_view bytes, std::string_view line) {
    const std::size_t sep = FindAtBoundary(
        line.substr(0, longestBytes_ + kKeySeparator.size()), kKeySeparator);
    if (sep == std::string_view::npos) return;
    const auto it = pieces_.find(line.substr(0, sep));
    if (it != pieces_.end())
      found_[*it].push_back(
          TFound{number, std::size_t(line.data() - bytes.data()), line});
  }

  bool Has(std::string_view piece) const { return found_.count(piece) != 0; }
  const std::vector<TFound>& Entries(std::string_view piece) const {
    return found_.at(piece);
  }

 private:
  static constexpr std::size_t kFewFirsts = 4;

  // Each character of the text where a line begins.
  TNeedleFinder FirstCharacters() const {
    std::vector<TNeedle> needles;
    for (std::string_view c : firsts_) {
      needles.push_back(
          TNeedle{std::string(c), false, [](std::string_view bytes, std::size_t at) {
                    return at == 0 || bytes[at - 1] == '\n';
                  }});
    }
    return TNeedleFinder(std::move(needles));
  }

  // A character's one or two bytes as an index of firstBits_.
  static std::size_t FirstIndex(std::string_view c) {
    const auto b = [&](std::size_t k) {
      return std::size_t(static_cast<unsigned char>(c[k]));
    };
    return c.size() == 2 ? b(0) << 8 | b(1) : b(0);
  }

  std::unordered_set<std::string_view> firsts_;
  std::vector<bool> firstBits_ = std::vector<bool>(1 << 16);
  std::optional<TNeedleFinder> finder_;
  std::unordered_set<std::string_view> pieces_;
  std::size_t longestBytes_ = 0;
  bool lengths_[6] = {};
  std::unordered_map<std::string_view, std::vector<TFound>> found_;
  std::vector<std::shared_ptr<const TDictImage>> held_;
};

// The words of the most probable split that are keys, each once, in the
// order of the text.
std::vector<std::string_view> WordsOf(std::string_view text, const TPieceEntries& keys,
                                      const TWordFrequency* frequency);

}  // namespace velmora
