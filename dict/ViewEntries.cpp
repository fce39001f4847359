#include "dict/ViewEntries.h"

#include <optional>

#include "dict/DictFile.h"
#include "dict/Pinyin.h"
#include "dict/Texts.h"

namespace velmora {

namespace {

struct TViewLine {
  std::size_t Start = 0;
  std::string_view Text;  // without its break
};

std::vector<TViewLine> SplitLines(std::string_view text) {
  std::vector<TViewLine> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t lf = text.find('\n', start);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (end > start && lf != std::string_view::npos && text[end - 1] == '\r') --end;
    lines.push_back({start, text.substr(start, end - start)});
    if (lf == std::string_view::npos) break;
    start = lf + 1;
  }
  return lines;
}

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

}  // namespace

std::vector<TViewEntry> ViewEntries(std::string_view text) {
  const std::vector<TViewLine> lines = SplitLines(text);
  std::vector<TViewEntry> entries;
  // Lines 0 and 1 are the heading and the status line.
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    const std::string_view key = lines[i].Text;
    const std::string_view next = lines[i + 1].Text;
    if (key.size() <= kKeySeparator.size() || !EndsWith(key, kKeySeparator) ||
        next.substr(0, texts::kIndent.size()) != texts::kIndent)
      continue;
    TViewEntry entry;
    entry.Start = int(lines[i].Start);
    entry.End = int(lines[i + 1].Start + next.size());
    entry.Key = std::string(key.substr(0, key.size() - kKeySeparator.size()));
    entry.Explanation = std::string(next.substr(texts::kIndent.size()));
    if (const std::optional<std::string_view> reading =
            pinyin::ReadingOf(entry.Explanation))
      entry.Reading = std::string(*reading);
    entries.push_back(std::move(entry));
    ++i;
  }
  return entries;
}

const TViewEntry* EntryAt(const std::vector<TViewEntry>& entries, int position,
                          bool orFirst) {
  for (const TViewEntry& entry : entries)
    if (position >= entry.Start && position <= entry.End) return &entry;
  return orFirst && !entries.empty() ? &entries.front() : nullptr;
}

}  // namespace velmora
