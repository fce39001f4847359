// The learner's card, measured on a dictionary folder.
//
//   velmora-card-bench coverage [-C DIR]
//     The entries of DIR/1.sr..5.sr (each key as often as it has entries)
//     that get an HSK level, a frequency band, and for a one-character key a
//     radical and stroke count; and the same weighted by the word counts of
//     DIR/frequency.txt, that is by how often the words occur in text.
//   velmora-card-bench pronunciation [-C DIR] [--levels N]
//     For every entry of a word of two characters or more of HSK levels 1..N
//     (default 3) with a reading: the tones espeak-ng -x says for the reading
//     against the reading's own, after the third-tone change (a third tone
//     before a third tone is said as a second). Prints the mismatches.
//   velmora-card-bench latency [--rounds N]
//     From starting espeak-ng to its first bytes of sound (WAV on standard
//     output) for a two-syllable reading, against starting and ending a
//     program that does nothing (/bin/true) in the same run; medians.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/KeyEntries.h"
#include "dict/LearnerTables.h"
#include "dict/Pinyin.h"
#include "dict/Pronunciation.h"
#include "dict/WordTables.h"
#include "platform/classes/Gbk.h"
#include "platform/classes/Programs.h"

extern char** environ;

using namespace velmora;

namespace {

double Share(double part, double whole) {
  return whole > 0 ? 100.0 * part / whole : 0;
}

int Coverage() {
  TDictImages images;
  const auto tables = LearnerTables(images);
  const auto frequency = WordFrequency(images);
  struct TCount {
    double All = 0, Level = 0, Band = 0;
  } entries, weighted;
  double chars = 0, charsWithRadical = 0, charWeight = 0, charWeightWithRadical = 0;
  for (int file = 1; file <= 5; ++file) {
    const auto image = images.Open(DictFileName(file));
    if (!image) continue;
    const std::string_view bytes = image->Bytes();
    for (std::size_t start = 0; start < bytes.size();) {
      std::size_t end = bytes.find('\n', start);
      if (end == std::string_view::npos) end = bytes.size();
      std::string_view key = SplitLine(bytes.substr(start, end - start)).Key;
      start = end + 1;
      if (key.size() < 2 || key.substr(key.size() - 2) != kKeySeparator) continue;
      key.remove_suffix(2);
      const TCardFacts facts = tables->Facts(key);
      const double weight = frequency ? double(frequency->Count(key)) : 0;
      for (auto [count, w] : {std::pair{&entries, 1.0}, std::pair{&weighted, weight}}) {
        count->All += w;
        if (facts.Level) count->Level += w;
        if (facts.Band) count->Band += w;
      }
      if (key.size() == 2 && gbk::DecodedLengthAt(key, 0) == 2) {
        chars += 1;
        charWeight += weight;
        if (facts.Strokes) {
          charsWithRadical += 1;
          charWeightWithRadical += weight;
        }
      }
    }
  }
  std::printf("entries: %.0f; with a level %.1f %%, a frequency band %.1f %%\n",
              entries.All, Share(entries.Level, entries.All),
              Share(entries.Band, entries.All));
  std::printf("one-character entries: %.0f; with a radical and strokes %.1f %%\n", chars,
              Share(charsWithRadical, chars));
  std::printf(
      "weighted by word counts: a level %.1f %%, a band %.1f %%, characters with a "
      "radical %.1f %%\n",
      Share(weighted.Level, weighted.All), Share(weighted.Band, weighted.All),
      Share(charWeightWithRadical, charWeight));
  return 0;
}

// Runs args with standard output to a pipe; the bytes it wrote, and the
// time from the start to the first of them.
std::string RunCapture(const std::vector<std::string>& args, double* firstMs = nullptr) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addclose(&actions, fds[0]);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string out;
  char buf[65536];
  bool first = true;
  for (ssize_t n; error == 0 && (n = ::read(fds[0], buf, sizeof buf)) > 0;) {
    if (first && firstMs)
      *firstMs =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
              .count();
    first = false;
    out.append(buf, std::size_t(n));
  }
  ::close(fds[0]);
  if (error == 0) WaitProgram(pid);
  if (firstMs && first)
    *firstMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
            .count();
  return out;
}

// Tones of espeak-ng's phonemes: a tone contour per syllable (55, 35, 214
// or 21, 51, and lower level ones for the neutral tone).
std::vector<int> SaidTones(const std::string& phonemes) {
  std::vector<int> tones;
  std::string digits;
  auto flush = [&] {
    if (digits.empty()) return;
    int tone = 5;
    if (digits == "55") tone = 1;
    if (digits == "35") tone = 2;
    if (digits == "214" || digits == "21" || digits == "213") tone = 3;
    if (digits == "51" || digits == "53") tone = 4;
    tones.push_back(tone);
    digits.clear();
  };
  for (char c : phonemes) {
    if (c >= '0' && c <= '9')
      digits += c;
    else
      flush();
  }
  flush();
  return tones;
}

std::vector<int> ReadingTones(const std::string& spoken) {
  std::vector<int> tones;
  std::size_t start = 0;
  while (start < spoken.size()) {
    std::size_t end = spoken.find(' ', start);
    if (end == std::string::npos) end = spoken.size();
    const char last = spoken[end - 1];
    tones.push_back(last >= '1' && last <= '5' ? last - '0' : 5);
    start = end + 1;
  }
  // The third-tone change, from the left.
  for (std::size_t i = 0; i + 1 < tones.size(); ++i)
    if (tones[i] == 3 && tones[i + 1] == 3) tones[i] = 2;
  return tones;
}

int Pronunciation(int levels) {
  const std::string program = FindProgram(kSpeechProgram);
  if (program.empty()) {
    std::fprintf(stderr, "velmora-card-bench: espeak-ng is not installed\n");
    return 2;
  }
  TDictImages images;
  const auto tables = LearnerTables(images);
  const auto hsk = images.Open(std::string(kHskFileName));
  if (!hsk) return 2;
  // The words of the levels asked for, of two characters or more.
  std::set<std::string, std::less<>> words;
  const std::string_view bytes = hsk->Bytes();
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    const std::string_view key = line.substr(0, line.find('\t'));
    const int level = tables->Facts(key).Level;
    if (!line.empty() && line[0] != '#' && level > 0 && level <= levels &&
        key.size() >= 4)
      words.emplace(key);
  }
  const auto found = EntriesOfKeys(words, images);
  int checked = 0, syllables = 0, mismatches = 0;
  for (const std::string& key : words) {
    const auto entries = found.find(key);
    if (entries == found.end()) continue;
    for (const TKeyEntry& e : entries->second) {
      const auto reading = pinyin::ReadingOf(e.Explanation);
      if (!reading) continue;
      const std::string spoken = SpokenReading(*reading);
      const std::string said =
          RunCapture({program, "-q", "-x", "-v", kSpeechVoice, "--", spoken});
      const std::vector<int> want = ReadingTones(spoken), got = SaidTones(said);
      ++checked;
      syllables += int(want.size());
      if (want != got) {
        ++mismatches;
        std::string line = said;
        line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
        std::printf("mismatch: %s [%s] -> %s\n", gbk::ToUtf8(key).c_str(), spoken.c_str(),
                    line.c_str());
      }
    }
  }
  std::printf(
      "HSK 1-%d entries of two characters or more: %d (%d syllables); tone "
      "mismatches: %d\n",
      levels, checked, syllables, mismatches);
  return 0;
}

int Latency(int rounds) {
  const std::string program = FindProgram(kSpeechProgram);
  if (program.empty()) {
    std::fprintf(stderr, "velmora-card-bench: espeak-ng is not installed\n");
    return 2;
  }
  std::vector<double> speech, start;
  for (int i = 0; i < rounds; ++i) {
    double ms = 0;
    RunCapture({program, "-v", kSpeechVoice, "--stdout", "--", "xue2 sheng5"}, &ms);
    speech.push_back(ms);
    RunCapture({"/bin/true"}, &ms);
    start.push_back(ms);
  }
  std::sort(speech.begin(), speech.end());
  std::sort(start.begin(), start.end());
  const double s = speech[speech.size() / 2], t = start[start.size() / 2];
  std::printf(
      "start to first sound (median of %d): espeak-ng %.1f ms, /bin/true to its end "
      "%.1f ms, ratio %.1f\n",
      rounds, s, t, s / t);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  std::string dir = VELMORA_DATA_DIR;
  int levels = 3, rounds = 20;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-C" && i + 1 < argc)
      dir = argv[++i];
    else if (arg == "--levels" && i + 1 < argc)
      levels = std::atoi(argv[++i]);
    else if (arg == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
  }
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  if (ec) {
    std::fprintf(stderr, "velmora-card-bench: %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 2;
  }
  if (mode == "coverage") return Coverage();
  if (mode == "pronunciation") return Pronunciation(levels);
  if (mode == "latency") return Latency(rounds);
  std::fprintf(stderr,
               "usage: velmora-card-bench coverage|pronunciation|latency [-C DIR] "
               "[--levels N] [--rounds N]\n");
  return 2;
}
