// How the extended search shows an entry, as learners read it: readings
// with tone marks ([zhōng guó], ü for u:), the explanation in its own
// letter case (China, I, Xi Jinping), and the traditional form beside the
// key where it differs. Each is a choice (TExtendedDisplay, in the search's
// options); the standard search never uses any of them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dict/DictFile.h"
#include "dict/SearchRun.h"
#include "dict/WordTables.h"

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

// Byte ranges [first, second) of a key or a shown text that matched.
using TSpans = std::vector<std::pair<std::size_t, std::size_t>>;

// Marks spans of the text that starts at view position base.
void MarkMatches(TResultView& view, int base, const TSpans& spans);
// The key line, blue, with the given spans of the key marked.
void ShowKey(TResultView& view, std::string_view key, const TSpans& marks);

// Writes entries as the extended search shows them (TExtendedDisplay):
// the traditional form beside the key, the explanation in its own case and
// with tone marks, and the marks of what matched moved along.
class TEntryWriter {
 public:
  TEntryWriter(TSearchRun& run, const TExtendedDisplay& display)
      : run_(run), display_(display) {}

  // The entry whose line starts at offset in file (1..5; 0 when unknown).
  // keyMarks are spans of the key without its separator; textMarks(text)
  // gives the spans of the explanation's text before tone marks.
  template <typename TTextMarks>
  void Show(const TEntry& entry, int file, std::size_t offset, const TSpans& keyMarks,
            TTextMarks&& textMarks) {
    TResultView& view = run_.View();
    const std::string_view bare = BareKey(entry.Key);
    // The table is read when the first entry is shown: a search that finds
    // nothing never reads it.
    if (display_.Traditional && !traditionalRead_) {
      traditional_ = TraditionalForms(run_.Images());
      traditionalRead_ = true;
    }
    const std::string_view traditional =
        traditional_ && file ? traditional_->Of(file, offset, bare) : std::string_view();
    if (traditional.empty()) {
      ShowKey(view, entry.Key, keyMarks);
    } else {
      std::string line(bare);
      line.append("\xA3\xA8").append(traditional).append("\xA3\xA9");
      line.append(entry.Key.substr(bare.size()));
      ShowKey(view, line, keyMarks);
    }
    std::string text = ShownExplanation(entry.Explanation, display_.OwnCase);
    TSpans marks = textMarks(std::string_view(text));
    if (display_.ToneMarks) {
      std::vector<std::size_t> map;
      text = WithToneMarks(text, &map);
      for (auto& [from, to] : marks) {
        from = map[from];
        to = map[to];
      }
    }
    const TShownText shown = ShowExplanationText(view, std::move(text));
    MarkMatches(view, shown.Start, marks);
  }

 private:
  TSearchRun& run_;
  const TExtendedDisplay display_;
  std::shared_ptr<const TTraditionalForms> traditional_;
  bool traditionalRead_ = false;
};

}  // namespace velmora
