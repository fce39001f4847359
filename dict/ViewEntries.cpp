#include "dict/ViewEntries.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "dict/DictFile.h"
#include "dict/ExtendedDisplay.h"
#include "dict/KeyEntries.h"
#include "dict/Pinyin.h"
#include "dict/Texts.h"
#include "platform/classes/Gbk.h"

namespace velmora {

namespace {

struct TViewLine {
  std::size_t Start = 0;
  std::size_t Next = 0;   // where the following line starts, npos for none
  std::string_view Text;  // without its break
};

// The line that starts at start.
TViewLine LineFrom(std::string_view text, std::size_t start) {
  const std::size_t lf = text.find('\n', start);
  std::size_t end = lf == std::string_view::npos ? text.size() : lf;
  if (end > start && lf != std::string_view::npos && text[end - 1] == '\r') --end;
  return {start, lf == std::string_view::npos ? std::string_view::npos : lf + 1,
          text.substr(start, end - start)};
}

// The start of the line that holds position.
std::size_t LineStartAt(std::string_view text, std::size_t position) {
  const std::size_t lf =
      position == 0 ? std::string_view::npos : text.rfind('\n', position - 1);
  return lf == std::string_view::npos ? 0 : lf + 1;
}

// Where the third line starts: entries come after the heading and the
// status line.
std::size_t FirstEntryLine(std::string_view text) {
  std::size_t start = 0;
  for (int line = 0; line < 2 && start != std::string_view::npos; ++line)
    start = LineFrom(text, start).Next;
  return start;
}

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// The key without a traditional form shown beside it: 学生（學生） gives 学生.
std::string_view DictionaryKey(std::string_view shown) {
  constexpr std::string_view kOpen = "\xA3\xA8", kClose = "\xA3\xA9";  // （ ）
  if (!EndsWith(shown, kClose)) return shown;
  for (std::size_t i = 0; i < shown.size();
       i += std::size_t(gbk::DecodedLengthAt(shown, i)))
    if (i > 0 && shown.substr(i, kOpen.size()) == kOpen) return shown.substr(0, i);
  return shown;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A reading as the view shows it becomes the dictionary's own: the reading
// of the key's entry that shows so. The standard search shows it lowered
// ([a] for [A], [zhong1] for [Zhong1]), and it keeps what it shows when the
// files have changed since; one shown with tone marks is not guessed back
// from the marks: no reading then.
using TFileEntries = std::map<std::string, std::vector<TKeyEntry>, std::less<>>;

void UseFileReading(TViewEntry& entry, const TFileEntries& files) {
  const bool marked = std::any_of(entry.Reading.begin(), entry.Reading.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80;
  });
  std::string shown = std::move(entry.Reading);
  entry.Reading = marked ? std::string() : shown;
  const auto found = files.find(entry.Key);
  if (found == files.end()) return;
  // The entry whose explanation the view shows lowered first ([zhong1]
  // China is Zhong1), then the same letters in the same case, then in any.
  for (const int pass : {0, 1, 2}) {
    for (const TKeyEntry& e : found->second) {
      const auto reading = pinyin::ReadingOf(e.Explanation);
      if (!reading) continue;
      const std::string as = marked ? ToneMarked(*reading) : std::string(*reading);
      if (pass == 0   ? SameLetters(e.Explanation, entry.Explanation)
          : pass == 1 ? as == shown
                      : SameLetters(as, shown)) {
        entry.Reading = std::string(*reading);
        return;
      }
    }
  }
}

// The readings of the entries, looked up in the files in one sweep.
void UseFileReadings(std::vector<TViewEntry>& entries, TDictImages& images) {
  std::set<std::string, std::less<>> keys;
  for (const TViewEntry& entry : entries) keys.insert(entry.Key);
  if (keys.empty()) return;
  const TFileEntries files = EntriesOfKeys(keys, images);
  for (TViewEntry& entry : entries) UseFileReading(entry, files);
}

std::optional<TViewEntry> WithFileReading(std::optional<TViewEntry> entry,
                                          TDictImages& images) {
  if (entry) UseFileReading(*entry, EntriesOfKeys({entry->Key}, images));
  return entry;
}

// The entry of a key line and the line after it, if they make one; its
// reading as shown.
std::optional<TViewEntry> EntryOfLines(std::string_view text, const TViewLine& key) {
  if (key.Next == std::string_view::npos) return std::nullopt;
  const TViewLine next = LineFrom(text, key.Next);
  if (key.Text.size() <= kKeySeparator.size() || !EndsWith(key.Text, kKeySeparator) ||
      next.Text.substr(0, texts::kIndent.size()) != texts::kIndent)
    return std::nullopt;
  TViewEntry entry;
  entry.Start = int(key.Start);
  entry.End = int(next.Start + next.Text.size());
  entry.Key = std::string(
      DictionaryKey(key.Text.substr(0, key.Text.size() - kKeySeparator.size())));
  entry.Explanation = std::string(next.Text.substr(texts::kIndent.size()));
  if (const std::optional<std::string_view> reading =
          pinyin::ReadingOf(entry.Explanation))
    entry.Reading = std::string(*reading);
  return entry;
}

}  // namespace

std::vector<TViewEntry> ViewEntries(std::string_view text, TDictImages& images) {
  std::vector<TViewEntry> entries;
  for (std::size_t start = FirstEntryLine(text); start != std::string_view::npos;) {
    const TViewLine line = LineFrom(text, start);
    if (std::optional<TViewEntry> entry = EntryOfLines(text, line)) {
      start = LineFrom(text, line.Next).Next;
      entries.push_back(std::move(*entry));
    } else {
      start = line.Next;
    }
  }
  UseFileReadings(entries, images);
  return entries;
}

std::optional<TViewEntry> FirstEntry(std::string_view text, TDictImages& images) {
  for (std::size_t start = FirstEntryLine(text); start != std::string_view::npos;) {
    const TViewLine line = LineFrom(text, start);
    if (std::optional<TViewEntry> entry = EntryOfLines(text, line))
      return WithFileReading(std::move(entry), images);
    start = line.Next;
  }
  return std::nullopt;
}

std::optional<TViewEntry> EntryAt(std::string_view text, int position,
                                  TDictImages& images) {
  if (position < 0 || std::size_t(position) > text.size()) return std::nullopt;
  const std::size_t first = FirstEntryLine(text);
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t start = LineStartAt(text, std::size_t(position));
  if (start < first) return std::nullopt;
  // On a key line, or on the explanation line after one.
  if (auto entry = EntryOfLines(text, LineFrom(text, start)))
    return WithFileReading(std::move(entry), images);
  if (start == first) return std::nullopt;
  const std::size_t before = LineStartAt(text, start - 1);
  if (before < first) return std::nullopt;
  auto entry = EntryOfLines(text, LineFrom(text, before));
  if (entry && std::size_t(entry->End) >= start)
    return WithFileReading(std::move(entry), images);
  return std::nullopt;
}

}  // namespace velmora
