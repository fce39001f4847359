// A word list as a file for Anki's text import: UTF-8, fields parted by
// tabs, and header lines that tell the importer the separator, that fields
// are HTML, the columns, the note type, the deck and which column holds the
// note's guid. The guid is made from the word alone, so that importing a
// later export of the same words updates their notes instead of adding
// new ones.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dict/DictFile.h"
#include "dict/KeyEntries.h"

namespace velmora {

// One note: UTF-8 text, not yet escaped.
struct TAnkiNote {
  std::string Simplified;
  std::string Traditional;
  std::string Reading;  // with tone marks
  std::string Meaning;  // HTML: escaped by the caller, <br> and <b> used
  int Level = 0;        // HSK level, 0 for none
};

inline constexpr char kAnkiDeck[] = "Velmora";
inline constexpr char kAnkiNoteType[] = "Basic";

// The guid of a word's note (word in UTF-8): "vm" and 16 hexadecimal digits
// of a 64-bit FNV-1a hash, the same in every export and on every machine.
std::string AnkiGuid(std::string_view word);

// The whole file: headers, then one line per note.
std::string AnkiFile(const std::vector<TAnkiNote>& notes);

// Text for HTML: &, <, > and " as entities (velmora-lookup's page uses it
// too).
std::string HtmlEscape(std::string_view utf8);
// The same for a field of the file, with tabs and line breaks as spaces,
// since a field holds neither.
std::string HtmlField(std::string_view utf8);

// The note of a word (GBK, without the separator) from its entries in the
// dictionary (dict/KeyEntries.h): the readings of its entries with tone
// marks, and their explanations, each after its reading when the word has
// more than one entry. traditional and level as known (traditional empty:
// the same as the word). False when the word has no entry.
bool MakeAnkiNote(std::string_view word, const std::vector<TKeyEntry>& entries,
                  std::string_view traditional, int level, TAnkiNote& note);

// The file of the words (GBK, each once) from the dictionary and side
// tables of the current folder, through images. Words the dictionary lacks
// are left out and go to missing.
std::string AnkiFileOfWords(const std::vector<std::string>& words, TDictImages& images,
                            std::vector<std::string>& missing);

}  // namespace velmora
