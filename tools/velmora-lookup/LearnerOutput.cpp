#include "tools/velmora-lookup/LearnerOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "dict/AnkiExport.h"
#include "dict/LearnerTables.h"
#include "dict/Pronunciation.h"
#include "dict/ViewEntries.h"
#include "platform/classes/Gbk.h"
#include "platform/classes/Programs.h"
#include "tools/common/Json.h"

namespace velmora {

namespace {

using tools::JsonString;

std::string NumberOrNull(int n) {
  return n ? std::to_string(n) : "null";
}

}  // namespace

std::string EntriesJson(const IRichEdit& view, TDictImages& images) {
  const auto tables = LearnerTables(images);
  std::string out = "[";
  const char* comma = "";
  for (const TViewEntry& entry : ViewEntries(view.Text(), images)) {
    const TCardFacts facts = tables->Facts(entry.Key);
    out += comma;
    comma = ", ";
    out += "{\"key\": " + JsonString(gbk::ToUtf8(entry.Key)) + ", \"reading\": " +
           (entry.Reading.empty() ? "null" : JsonString(gbk::ToUtf8(entry.Reading))) +
           ", \"level\": " + NumberOrNull(facts.Level) +
           ", \"frequency_band\": " + NumberOrNull(facts.Band) + ", \"radical\": " +
           (facts.Radical.empty() ? "null" : JsonString(gbk::ToUtf8(facts.Radical))) +
           ", \"strokes\": " + NumberOrNull(facts.Strokes) + "}";
  }
  return out + "]";
}

std::string WithField(std::string json, const std::string& name,
                      const std::string& value) {
  const std::size_t close = json.rfind('}');
  if (close == std::string::npos) return json;
  json.insert(close, ", " + JsonString(name) + ": " + value);
  return json;
}

int SayFirstEntry(const IRichEdit& view, const std::string& wavFile, TWrite write) {
  const std::optional<TViewEntry> first = FirstEntry(view.Text(), SharedDictImages());
  if (!first) {
    std::fprintf(stderr, "velmora-lookup: nothing found to say\n");
    return 1;
  }
  const TViewEntry& entry = *first;
  const std::string key = gbk::ToUtf8(entry.Key);
  const std::string spoken = SpokenReading(entry.Reading);
  if (spoken.empty()) {
    std::fprintf(stderr, "velmora-lookup: the entry %s has no reading to say\n",
                 key.c_str());
    return 1;
  }
  const std::string program = FindProgram(kSpeechProgram);
  if (program.empty()) {
    std::fprintf(stderr,
                 "velmora-lookup: cannot say %s: %s is not installed (Debian package "
                 "%s)\n",
                 key.c_str(), kSpeechProgram, kSpeechPackage);
    return 2;
  }
  if (!write(key + " [" + spoken + "]\n")) return 2;
  const pid_t pid = StartProgram(SpeechArguments(program, spoken, wavFile), false);
  if (pid < 0) {
    std::fprintf(stderr, "velmora-lookup: cannot start %s: %s\n", program.c_str(),
                 std::strerror(errno));
    return 2;
  }
  const int status = WaitProgram(pid);
  if (status != 0) {
    std::fprintf(stderr, "velmora-lookup: %s failed (exit status %d)\n", program.c_str(),
                 status);
    return 2;
  }
  return 0;
}

int WriteAnkiFile(std::istream& input, bool raw, TDictImages& images, TWrite write) {
  std::vector<std::string> words;
  std::set<std::string> seen;
  std::string line;
  while (std::getline(input, line)) {
    // The word alone: blanks around it and a CR before the line feed go.
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    std::string word = raw ? line : gbk::FromUtf8(line);
    if (seen.insert(word).second) words.push_back(std::move(word));
  }
  std::vector<std::string> missing;
  const std::string file = AnkiFileOfWords(words, images, missing);
  for (const std::string& word : missing)
    std::fprintf(stderr, "velmora-lookup: %s is not a word of the dictionary; left out\n",
                 gbk::ToUtf8(word).c_str());
  if (!write(file)) return 2;
  return missing.empty() ? 0 : 1;
}

}  // namespace velmora
