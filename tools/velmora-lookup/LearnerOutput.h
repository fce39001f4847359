// What velmora-lookup adds for learners: the entries of a view with their
// card facts for --json, saying an entry's reading (--say) and a word list
// as an Anki file (--anki).
#pragma once

#include <istream>
#include <string>

#include "dict/DictFile.h"
#include "platform/richedit/RichEdit.h"

namespace velmora {

// The "entries" array: one object per entry of the view, with its key and
// reading (UTF-8), its HSK level and frequency band, and for a character its
// radical and stroke count; null where the tables have nothing.
std::string EntriesJson(const IRichEdit& view, TDictImages& images);

// json, one object ending in "}\n", with the field added last.
std::string WithField(std::string json, const std::string& name,
                      const std::string& value);

// Writes to standard output; false (said on standard error) when it failed.
using TWrite = bool (*)(const std::string& out);

// Says the first entry's reading with espeak-ng, into wavFile when given.
// Exit status: 0 said, 1 no entry or no reading, 2 espeak-ng missing or
// failing. Messages go to standard error; what is said, through write.
int SayFirstEntry(const IRichEdit& view, const std::string& wavFile, TWrite write);

// The notes of the words of input (one a line; UTF-8, or GBK when raw) as an
// Anki file, through write. Words the dictionary lacks are named on
// standard error and left out. Exit status 0 when every word was found, 1
// when some were not, 2 when the file could not be written.
int WriteAnkiFile(std::istream& input, bool raw, TDictImages& images, TWrite write);

}  // namespace velmora
