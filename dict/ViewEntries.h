// The entries a search wrote into the result view, found again in the
// view's text: a key line ending in the separator, then its explanation
// line, indented. The card, the pronunciation and velmora-lookup --json
// take the entry from what the view shows, so they always agree with it.
// The extended search may show a key with its traditional form beside it
// (学生（學生）) and a reading with tone marks ([xué sheng]): the key is
// then the dictionary's key, and the reading the dictionary's own, with
// tone digits, looked up in the files through images.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TDictImages;

struct TViewEntry {
  int Start = 0;            // view position of the key line's first byte
  int End = 0;              // just past the explanation line's text
  std::string Key;          // GBK, without the separator
  std::string Explanation;  // GBK, as shown, without the indent
  std::string Reading;      // the entry's reading with tone digits, or empty
};

// Every entry of the view's text (GBK, line breaks as the view keeps them:
// CR LF or a lone LF), in order. The heading and status lines are never
// entries.
std::vector<TViewEntry> ViewEntries(std::string_view text, TDictImages& images);

// The entry whose key or explanation line holds position, found from the
// lines around it, so that a long listing is not read whole; nothing when
// position is on no entry's lines.
std::optional<TViewEntry> EntryAt(std::string_view text, int position,
                                  TDictImages& images);
// The first entry of the view, read from the top.
std::optional<TViewEntry> FirstEntry(std::string_view text, TDictImages& images);

}  // namespace velmora
