#include "dict/AnkiExport.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "dict/ExtendedDisplay.h"
#include "dict/KeyEntries.h"
#include "dict/LearnerTables.h"
#include "dict/Pinyin.h"
#include "dict/Pronunciation.h"
#include "dict/WordTables.h"
#include "platform/classes/Gbk.h"

namespace velmora {

namespace {

struct TWordEntry {
  std::string Reading;      // UTF-8 with tone marks, or empty
  std::string Explanation;  // UTF-8, without the reading
};

// An entry of the word: its reading with tone marks and its explanation
// without the reading.
TWordEntry WordEntry(std::string_view explanation) {
  TWordEntry entry;
  if (const std::optional<std::string_view> reading = pinyin::ReadingOf(explanation)) {
    entry.Reading = gbk::ToUtf8(ToneMarked(*reading));
    explanation.remove_prefix(reading->size() + 2);
    while (!explanation.empty() && explanation[0] == ' ') explanation.remove_prefix(1);
  }
  entry.Explanation = gbk::ToUtf8(explanation);
  return entry;
}

}  // namespace

std::string AnkiGuid(std::string_view word) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : word) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[19];
  std::snprintf(text, sizeof text, "vm%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string HtmlEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string HtmlField(std::string_view utf8) {
  std::string out = HtmlEscape(utf8);
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out;
}

std::string AnkiFile(const std::vector<TAnkiNote>& notes) {
  std::string out =
      "#separator:tab\n"
      "#html:true\n"
      "#columns:Simplified\tTraditional\tReading\tMeaning\tLevel\tGUID\n";
  out += std::string("#notetype:") + kAnkiNoteType + "\n";
  out += std::string("#deck:") + kAnkiDeck + "\n";
  out += "#guid column:6\n";
  for (const TAnkiNote& note : notes) {
    out += HtmlField(note.Simplified) + '\t' +
           HtmlField(note.Traditional.empty() ? note.Simplified : note.Traditional) +
           '\t' + HtmlField(note.Reading) + '\t';
    // Already HTML; only the separators must not stand in it.
    for (char c : note.Meaning) out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    out += '\t';
    if (note.Level) out += "HSK " + std::to_string(note.Level);
    out += '\t' + AnkiGuid(note.Simplified) + '\n';
  }
  return out;
}

bool MakeAnkiNote(std::string_view word, const std::vector<TKeyEntry>& found,
                  std::string_view traditional, int level, TAnkiNote& note) {
  if (found.empty()) return false;
  std::vector<TWordEntry> entries;
  for (const TKeyEntry& e : found) entries.push_back(WordEntry(e.Explanation));
  note = {};
  note.Simplified = gbk::ToUtf8(word);
  note.Traditional = traditional.empty() ? note.Simplified : gbk::ToUtf8(traditional);
  note.Level = level;
  for (const TWordEntry& entry : entries) {
    if (!entry.Reading.empty() &&
        (", " + note.Reading + ", ").find(", " + entry.Reading + ", ") ==
            std::string::npos)
      note.Reading += (note.Reading.empty() ? "" : ", ") + entry.Reading;
    if (!note.Meaning.empty()) note.Meaning += "<br>";
    if (entries.size() > 1 && !entry.Reading.empty())
      note.Meaning += "<b>" + HtmlField(entry.Reading) + "</b> ";
    note.Meaning += HtmlField(entry.Explanation);
  }
  return true;
}

std::string AnkiFileOfWords(const std::vector<std::string>& words, TDictImages& images,
                            std::vector<std::string>& missing) {
  const auto tables = LearnerTables(images);
  const auto traditional = TraditionalForms(images);
  const auto found = EntriesOfKeys({words.begin(), words.end()}, images);
  std::vector<TAnkiNote> notes;
  for (const std::string& word : words) {
    TAnkiNote note;
    const std::string_view form =
        traditional ? traditional->OfKey(word) : std::string_view();
    const auto entries = found.find(word);
    if (entries != found.end() &&
        MakeAnkiNote(word, entries->second, form, tables->Facts(word).Level, note))
      notes.push_back(std::move(note));
    else
      missing.push_back(word);
  }
  return AnkiFile(notes);
}

}  // namespace velmora
