// velmora-dict-bench [DATA_DIR
//                     [peak|nomatch|kept|process|batch|extended|pieces|listing]]
//
// 1. A query that matches nothing, over the whole dictionary, against a
//    baseline that reads the same five files twice with std::getline and
//    looks for the query in each line with std::string::find. Both run
//    interleaved several times; the best time of each counts.
// 2. The second search of the same folder (the files' images kept), on the
//    dictionary repeated 4 times, against one memchr pass over the same
//    bytes; and the scan's throughput on the dictionary repeated 8 and 32
//    times (linearity).
// 3. Whole processes on the dictionary repeated 4 times: velmora-lookup
//    against grep -F reading the five files twice, and the tool's start-up
//    alone.
// 4. Peak memory (ru_maxrss) of velmora-lookup searching a folder whose 2.sr
//    is one 64 MiB line, against the files' size plus 16 MiB.
// 5. 1,000 of the dictionary's own keys looked up by one velmora-lookup
//    --batch against 1,000 separate runs.
// 6. The extended search (velmora-lookup -x): a reading, an English word, a
//    plural (looked for in its dictionary form too), a wildcard and a
//    traditional query, each matching nothing, as whole
//    processes over the dictionary repeated 32 times against grep -F
//    reading the five files twice, and in process (files kept) in GB/s.
// 7. A first search (nothing kept) over the dictionary repeated 32 times,
//    its files read whole and read in pieces (as a file too large for
//    memory is), against grep -F reading the files twice.
// 8. A listing of every entry (the query "：") over the first 10 % of each
//    file's lines and over all of them, each in a fresh process of this
//    program (best of three each), on the in-memory view and on the Qt view
//    when it is built: time ratio and peak resident memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dict/DictFile.h"
#include "dict/Search.h"
#include "platform/classes/Gbk.h"
#include "platform/richedit/MemoryRichEdit.h"
#ifdef VELMORA_BENCH_QT
#include <QGuiApplication>

#include "platform/richedit/QtRichEdit.h"
#endif

namespace fs = std::filesystem;
using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Two rounds over the five files, the plain way.
std::size_t Baseline(const std::string& query) {
  std::size_t hits = 0;
  for (int round = 0; round < 2; ++round) {
    for (int n = 1; n <= 5; ++n) {
      std::ifstream in(std::to_string(n) + ".sr", std::ios::binary);
      std::string line;
      while (std::getline(in, line))
        if (line.find(query) != std::string::npos) ++hits;
    }
  }
  return hits;
}

int NoMatch() {
  // 龍龍 (FD 88 twice): a pair that no entry holds.
  const std::string query = "\xFD\x88\xFD\x88";
  double best_search = 1e9, best_base = 1e9;
  for (int i = 0; i < 7; ++i) {
    auto t = Clock::now();
    if (Baseline(query) != 0) {
      std::fprintf(stderr, "the no-match query occurs in the dictionary\n");
      return 2;
    }
    best_base = std::min(best_base, Seconds(t));
    TMemoryRichEdit edit;
    TResultView view(edit);
    TQueryControls controls(query);
    t = Clock::now();
    const TSearchOutcome outcome = RunSearch(controls, view);
    best_search = std::min(best_search, Seconds(t));
    if (outcome != TSearchOutcome::NotFound) {
      std::fprintf(stderr, "the no-match search did not end with nothing found\n");
      return 2;
    }
  }
  std::printf(
      "no-match search: %.1f ms, baseline (getline + find, files read twice): "
      "%.1f ms, ratio %.2f (target <= 2)\n",
      best_search * 1e3, best_base * 1e3, best_search / best_base);
  return 0;
}

// Writes the first `percent` % of each file's lines into folder.
void Truncate(const fs::path& folder, int percent) {
  fs::create_directories(folder);
  for (int n = 1; n <= 5; ++n) {
    const std::string name = std::to_string(n) + ".sr";
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    const std::size_t keep = lines.size() * std::size_t(percent) / 100;
    for (std::size_t i = 0; i < keep; ++i) out << lines[i] << '\n';
  }
}

// Runs in a fresh process: one listing over the folder, then prints
// "seconds maxrss_kib entries".
int Listing(const char* folder, bool memoryView, int argc, char** argv) {
  std::unique_ptr<IRichEdit> edit;
#ifdef VELMORA_BENCH_QT
  std::unique_ptr<QGuiApplication> app;
  if (!memoryView) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<QGuiApplication>(argc, argv);
    edit = std::make_unique<TQtRichEdit>();
  }
#else
  (void)argc;
  (void)argv;
#endif
  if (!edit) edit = std::make_unique<TMemoryRichEdit>();
  (void)memoryView;
  fs::current_path(folder);
  TResultView view(*edit);
  TQueryControls controls("\xA3\xBA");
  const auto t = Clock::now();
  const TSearchOutcome outcome = RunSearch(controls, view);
  const double seconds = Seconds(t);
  if (outcome != TSearchOutcome::Found) return 2;
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("%f %ld %d\n", seconds, usage.ru_maxrss, (edit->LineCount() - 4) / 3);
  return 0;
}

struct TListingResult {
  double seconds = 0;
  long maxrssKib = 0;
  int entries = 0;
};

bool RunListing(const char* self, const fs::path& folder, bool memoryView,
                TListingResult& result) {
  const std::string command = std::string("'") + self + "' --listing '" +
                              folder.string() + "'" + (memoryView ? " --memory" : "");
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return false;
  const int fields = std::fscanf(pipe, "%lf %ld %d", &result.seconds, &result.maxrssKib,
                                 &result.entries);
  return ::pclose(pipe) == 0 && fields == 3;
}

int Listings(const char* self, bool memoryView) {
  const fs::path tmp =
      fs::temp_directory_path() / ("velmora-dict-bench-" + std::to_string(::getpid()));
  Truncate(tmp / "part", 10);
  // The best of three fresh processes for each size, as the machine is shared.
  TListingResult part{1e9, 0, 0}, full{1e9, 0, 0};
  bool ok = true;
  for (int i = 0; i < 3 && ok; ++i) {
    TListingResult p, f;
    ok = RunListing(self, tmp / "part", memoryView, p) &&
         RunListing(self, fs::current_path(), memoryView, f);
    if (p.seconds < part.seconds) part = p;
    if (f.seconds < full.seconds) full = f;
  }
  fs::remove_all(tmp);
  if (!ok) {
    std::fprintf(stderr, "a listing run failed\n");
    return 2;
  }
#ifdef VELMORA_BENCH_QT
  const char* viewName = memoryView ? "in-memory view" : "Qt view";
#else
  const char* viewName = "in-memory view";
#endif
  std::printf(
      "listing on the %s: 10 %% of the lines (%d entries) %.2f s, all (%d "
      "entries) %.2f s, ratio %.2f (target <= 12); peak memory of the full "
      "listing %.1f MiB\n",
      viewName, part.entries, part.seconds, full.entries, full.seconds,
      full.seconds / part.seconds, double(full.maxrssKib) / 1024);
  return 0;
}

// 龍龍 in GBK (FD 88 twice): no entry holds it.
const std::string kNoMatch = "\xFD\x88\xFD\x88";

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The five files of the current folder, each repeated `times` times, in
// folder.
std::uintmax_t Repeat(const fs::path& folder, int times) {
  fs::create_directories(folder);
  std::uintmax_t total = 0;
  for (int n = 1; n <= 5; ++n) {
    const std::string name = std::to_string(n) + ".sr";
    std::ifstream in(name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < times; ++i) out << bytes;
    total += bytes.size() * std::uintmax_t(times);
  }
  // The side tables come along: the extended search ranks with them.
  for (const char* table : {"frequency.txt", "traditional.txt"})
    if (fs::exists(table))
      fs::copy_file(table, folder / table, fs::copy_options::overwrite_existing);
  return total;
}

// Seconds of one search in folder, with the images given (read already, or
// not).
double TimedSearch(const fs::path& folder, const std::string& query, TDictImages& images,
                   TSearchOutcome expected) {
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  TMemoryRichEdit edit;
  TResultView view(edit);
  TQueryControls controls(query);
  const auto t = Clock::now();
  TSearchOptions options;
  options.Images = &images;
  const TSearchOutcome outcome = RunSearch(controls, view, options);
  const double seconds = Seconds(t);
  fs::current_path(before);
  if (outcome != expected) {
    std::fprintf(stderr, "a search in %s ended unexpectedly\n", folder.c_str());
    std::exit(2);
  }
  return seconds;
}

// One memchr pass over the images for a byte that none holds.
double MemchrSeconds(const std::vector<std::shared_ptr<const TDictImage>>& images,
                     int absent) {
  const auto t = Clock::now();
  for (const auto& image : images) {
    if (std::memchr(image->Bytes().data(), absent, image->Bytes().size())) {
      std::fprintf(stderr, "the byte looked for is there\n");
      std::exit(2);
    }
  }
  return Seconds(t);
}

int KeptImages(const fs::path& tmp) {
  const fs::path x4 = tmp / "x4", x8 = tmp / "x8", x32 = tmp / "x32";
  const std::uintmax_t bytes4 = Repeat(x4, 4);
  TDictImages images;
  TimedSearch(x4, kNoMatch, images, TSearchOutcome::NotFound);  // reads the files
  const int reads = images.Reads();
  // A byte the dictionary doesn't hold, so that memchr runs through.
  std::array<bool, 256> present{};
  const fs::path data = fs::current_path();
  fs::current_path(x4);
  std::vector<std::shared_ptr<const TDictImage>> kept;
  for (int n = 1; n <= 5; ++n) {
    kept.push_back(images.Open(DictFileName(n)));
    for (unsigned char c : kept.back()->Bytes()) present[c] = true;
  }
  fs::current_path(data);
  const int absent =
      int(std::find(present.begin(), present.end(), false) - present.begin());
  std::vector<double> search, scan;
  for (int i = 0; i < 15; ++i) {
    search.push_back(TimedSearch(x4, kNoMatch, images, TSearchOutcome::NotFound));
    scan.push_back(MemchrSeconds(kept, absent));
  }
  if (images.Reads() != reads) {
    std::fprintf(stderr, "a kept image was read again\n");
    return 2;
  }
  std::printf(
      "second search, images kept, dictionary x4 (%.1f MB): %.2f ms, one memchr pass "
      "over the same bytes %.2f ms, ratio %.2f (medians of 15)\n",
      double(bytes4) / 1e6, Median(search) * 1e3, Median(scan) * 1e3,
      Median(search) / Median(scan));
  fs::remove_all(x4);

  double rate[2] = {};
  std::vector<char> evictBuffer(std::size_t(256) << 20, 1);
  unsigned long evicted = 0;
  const fs::path sized[2] = {x8, x32};
  const int times[2] = {8, 32};
  double memchrRate[2] = {};
  for (int k = 0; k < 2; ++k) {
    const std::uintmax_t bytes = Repeat(sized[k], times[k]);
    TDictImages own;
    TimedSearch(sized[k], kNoMatch, own, TSearchOutcome::NotFound);
    fs::current_path(sized[k]);
    std::vector<std::shared_ptr<const TDictImage>> held;
    for (int n = 1; n <= 5; ++n) held.push_back(own.Open(DictFileName(n)));
    fs::current_path(data);
    std::vector<double> t, m;
    for (int i = 0; i < 9; ++i) {
      // From memory, not from the processor's cache, at either size: the
      // smaller folder would otherwise fit in part.
      auto evict = [&] {
        unsigned long sum = 0;
        for (std::size_t at = 0; at < evictBuffer.size(); at += 64)
          sum += evictBuffer[at] + unsigned(i);
        evicted += sum;
      };
      evict();
      t.push_back(TimedSearch(sized[k], kNoMatch, own, TSearchOutcome::NotFound));
      evict();
      m.push_back(MemchrSeconds(held, absent));
    }
    const double best = *std::min_element(t.begin(), t.end());
    const double bestMemchr = *std::min_element(m.begin(), m.end());
    rate[k] = double(bytes) / best / 1e9;
    memchrRate[k] = double(bytes) / bestMemchr / 1e9;
    std::printf(
        "throughput of a second search, no match, dictionary x%d (%.0f MB): %.2f GB/s "
        "(%.1f ms); memchr over the same images %.2f GB/s (best of 9 each)\n",
        times[k], double(bytes) / 1e6, rate[k], best * 1e3, memchrRate[k]);
    held.clear();
    fs::remove_all(sized[k]);
  }
  std::printf("throughput x32 / x8: %.2f (1.00 is linear); memchr x32 / x8: %.2f%s\n",
              rate[1] / rate[0], memchrRate[1] / memchrRate[0], evicted ? "" : " ");
  return 0;
}

// Runs a program with standard output to /dev/null and standard input from
// a file (or /dev/null); returns its wall time, or -1 if it failed, and its
// resource usage if asked.
double TimedRun(const std::vector<std::string>& args,
                const std::string& input = "/dev/null", int* exitCode = nullptr,
                rusage* usage = nullptr) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto t = Clock::now();
  pid_t pid;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  rusage ignored{};
  ::wait4(pid, &status, 0, usage ? usage : &ignored);
  const double seconds = Seconds(t);
  if (!WIFEXITED(status)) return -1;
  if (exitCode) *exitCode = WEXITSTATUS(status);
  return seconds;
}

int WholeProcess(const fs::path& tmp) {
  const fs::path x4 = tmp / "x4", none = tmp / "none";
  const std::uintmax_t bytes = Repeat(x4, 4);
  fs::create_directories(none);
  const std::string utf8 = gbk::ToUtf8(kNoMatch);
  std::vector<std::string> grep = {"grep", "-F", "--", kNoMatch};
  for (int n = 1; n <= 5; ++n) grep.push_back((x4 / DictFileName(n)).string());
  const std::vector<std::string> lookup = {VELMORA_LOOKUP, "-C", x4.string(), "--plain",
                                           utf8};
  const std::vector<std::string> startup = {VELMORA_LOOKUP, "-C", none.string(),
                                            "--plain", utf8};
  ::setenv("LC_ALL", "C", 1);
  std::vector<double> tool, base, start;
  for (int i = 0; i < 21; ++i) {
    int code = -1;
    const double t = TimedRun(lookup, "/dev/null", &code);
    const double g1 = TimedRun(grep), g2 = TimedRun(grep);
    const double s = TimedRun(startup);
    if (t < 0 || code != 1 || g1 < 0 || g2 < 0 || s < 0) {
      std::fprintf(stderr, "a whole-process run failed\n");
      return 2;
    }
    tool.push_back(t);
    base.push_back(g1 + g2);
    start.push_back(s);
  }
  std::printf(
      "whole process, no match, dictionary x4 (%.1f MB): velmora-lookup %.1f ms, grep -F "
      "reading the files twice %.1f ms, ratio %.2f (goal <= 1.5, moonshot <= 1.0); "
      "start-up alone %.1f ms (medians of 21)\n",
      double(bytes) / 1e6, Median(tool) * 1e3, Median(base) * 1e3,
      Median(tool) / Median(base), Median(start) * 1e3);
  fs::remove_all(x4);
  return 0;
}

// A first search (nothing kept) of the dictionary repeated 32 times, with
// the files read whole as usual and with them read in pieces, as a file too
// large for memory is, each against grep -F reading the files twice.
int Pieces(const fs::path& tmp) {
  const fs::path x32 = tmp / "x32";
  const std::uintmax_t bytes = Repeat(x32, 32);
  std::vector<std::string> grep = {"grep", "-F", "--", kNoMatch};
  for (int n = 1; n <= 5; ++n) grep.push_back((x32 / DictFileName(n)).string());
  ::setenv("LC_ALL", "C", 1);
  std::vector<double> whole, pieces, base;
  for (int i = 0; i < 9; ++i) {
    TDictImages first;
    whole.push_back(TimedSearch(x32, kNoMatch, first, TSearchOutcome::NotFound));
    TDictImages none;
    none.Reading.MostWhole = 0;
    pieces.push_back(TimedSearch(x32, kNoMatch, none, TSearchOutcome::NotFound));
    const double g1 = TimedRun(grep), g2 = TimedRun(grep);
    if (g1 < 0 || g2 < 0) {
      std::fprintf(stderr, "grep failed\n");
      return 2;
    }
    base.push_back(g1 + g2);
  }
  std::printf(
      "first search, no match, dictionary x32 (%.0f MB): files read whole %.1f ms, in "
      "pieces of %zu MiB %.1f ms, grep -F reading the files twice %.1f ms; ratios to "
      "grep: whole %.2f, pieces %.2f; pieces / whole %.2f (medians of 9)\n",
      double(bytes) / 1e6, Median(whole) * 1e3, TDictReading{}.PieceBytes >> 20,
      Median(pieces) * 1e3, Median(base) * 1e3, Median(whole) / Median(base),
      Median(pieces) / Median(base), Median(pieces) / Median(whole));
  fs::remove_all(x32);
  return 0;
}

int PeakMemory(const fs::path& tmp) {
  const fs::path folder = tmp / "long";
  fs::create_directories(folder);
  std::uintmax_t total = 0;
  for (int n = 1; n <= 5; ++n) {
    const std::string name = DictFileName(n);
    if (n == 2) {
      // One line without a line feed, 64 MiB: a separator, then 中 again and
      // again.
      // Written in pieces: the kernel counts this process's own resident
      // memory at the spawn into the child's peak.
      std::string piece;
      for (int i = 0; i < (1 << 19); ++i) piece += "\xD6\xD0";
      std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
      out << "\xA3\xBA" << piece.substr(2);
      for (int i = 1; i < 64; ++i) out << piece;
    } else {
      fs::copy_file(name, folder / name, fs::copy_options::overwrite_existing);
    }
    total += fs::file_size(folder / name);
  }
  // Two queries: one that the line can't hold, and one whose bytes (those of
  // 中中 shifted by one, D0 D6 D0 D6) it holds everywhere, but never on a
  // character boundary, so the whole line is a candidate and tested.
  const std::pair<const char*, std::string> queries[] = {
      {"no match", kNoMatch}, {"the line a candidate", "\xD0\xD6\xD0\xD6"}};
  const double budget = double(total) / 1048576 + 16;
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  std::printf("(the bench's own resident memory, which the kernel counts in: %.1f MiB)\n",
              double(resident) * double(::sysconf(_SC_PAGESIZE)) / 1048576);
  int rc = 0;
  for (const auto& [what, raw] : queries) {
    int code = -1;
    rusage usage{};
    if (TimedRun({VELMORA_LOOKUP, "-C", folder.string(), "--raw", "--plain", raw},
                 "/dev/null", &code, &usage) < 0 ||
        code != 1) {
      std::fprintf(stderr, "the peak memory run failed\n");
      return 2;
    }
    const double mib = double(usage.ru_maxrss) / 1024;
    std::printf(
        "peak memory of velmora-lookup, 2.sr one 64 MiB line (%s): %.1f MiB, files "
        "%.1f MiB + 16 MiB = %.1f MiB allowed: %s\n",
        what, mib, double(total) / 1048576, budget, mib <= budget ? "within" : "OVER");
    if (mib > budget) rc = 1;
  }
  fs::remove_all(folder);
  return rc;
}

int Batch(const fs::path& tmp) {
  // 1,000 keys spread evenly over the five files, without their separator.
  std::vector<std::string> keys;
  for (int n = 1; n <= 5; ++n) {
    std::ifstream in(DictFileName(n), std::ios::binary);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) {
      const std::size_t colon = line.find("\xA3\xBA");
      if (colon != std::string::npos && colon > 0) all.push_back(line.substr(0, colon));
    }
    for (std::size_t i = 0; i < 200 && !all.empty(); ++i)
      keys.push_back(gbk::ToUtf8(all[i * all.size() / 200]));
  }
  const fs::path list = tmp / "keys.txt";
  {
    std::ofstream out(list);
    for (const std::string& k : keys) out << k << '\n';
  }
  const std::string folder = fs::current_path().string();
  int code = -1;
  const double batch =
      TimedRun({VELMORA_LOOKUP, "-C", folder, "--batch", "--json"}, list.string(), &code);
  if (batch < 0 || code != 0) {
    std::fprintf(stderr, "the batch run failed\n");
    return 2;
  }
  double separate = 0;
  for (const std::string& k : keys) {
    const double t = TimedRun({VELMORA_LOOKUP, "-C", folder, "--json", k});
    if (t < 0) return 2;
    separate += t;
  }
  std::printf(
      "batch: %zu of the dictionary's keys in one --batch run %.2f s, in %zu separate "
      "runs %.2f s, ratio %.3f\n",
      keys.size(), batch, keys.size(), separate, batch / separate);
  return 0;
}

struct TExtendedCase {
  const char* What;
  std::string Query;  // GBK
  // What no entry holds but its words: the search splits it and lists them.
  bool Sentence = false;
};

int Extended(const fs::path& tmp) {
  const fs::path x32 = tmp / "x32";
  const std::uintmax_t bytes = Repeat(x32, 32);
  // Each matches nothing in the bundled dictionary, so every file is read
  // to its end.
  const TExtendedCase cases[] = {
      {"reading", "qiongzhuai"},
      {"English", "quixotically"},
      {"English plural", "quixotisms"},  // also quixotism
      {"wildcard", "*\xFD\x93?"},        // *龘? (*龍? finds 龙 keys: patterns convert)
      // 龍龍國, also 龙龙国: no entry holds either, so both are split into
      // words, which a sweep of the files finds.
      {"traditional, split", "\xFD\x88\xFD\x88\x87\xF8", true},
      {"standard (not -x)", kNoMatch},
  };
  ::setenv("LC_ALL", "C", 1);
  std::printf("extended search, no match, dictionary x32 (%.0f MB):\n",
              double(bytes) / 1e6);
  // Two baselines: grep -F looking for the query's own bytes, and grep -F
  // looking for 龍龍 as the standard search's measurement does (grep's time
  // depends on its needle; 龍龍 is among its fastest).
  std::vector<std::string> common = {"grep", "-F", "--", kNoMatch};
  for (int n = 1; n <= 5; ++n) common.push_back((x32 / DictFileName(n)).string());
  // The cases take turns, round by round, so that all meet the same load.
  const std::size_t count = std::size(cases);
  std::vector<std::vector<std::string>> lookups, greps;
  for (const TExtendedCase& c : cases) {
    std::vector<std::string> grep = {"grep", "-F", "--", c.Query};
    for (int n = 1; n <= 5; ++n) grep.push_back((x32 / DictFileName(n)).string());
    greps.push_back(grep);
    std::vector<std::string> lookup = {VELMORA_LOOKUP, "-C", x32.string(), "--plain"};
    if (c.Query != kNoMatch) lookup.push_back("-x");
    lookup.push_back(gbk::ToUtf8(c.Query));
    lookups.push_back(lookup);
  }
  std::vector<std::vector<double>> tool(count), own(count), base(count);
  for (int round = 0; round < 9; ++round) {
    for (std::size_t k = 0; k < count; ++k) {
      int code = -1;
      const double t = TimedRun(lookups[k], "/dev/null", &code);
      const double g1 = TimedRun(greps[k]), g2 = TimedRun(greps[k]);
      const double c1 = TimedRun(common), c2 = TimedRun(common);
      if (t < 0 || code != (cases[k].Sentence ? 0 : 1) || g1 < 0 || g2 < 0 || c1 < 0 ||
          c2 < 0) {
        std::fprintf(stderr, "an extended whole-process run failed (%s): exit %d\n",
                     cases[k].What, code);
        return 2;
      }
      tool[k].push_back(t);
      own[k].push_back(g1 + g2);
      base[k].push_back(c1 + c2);
    }
  }
  for (std::size_t k = 0; k < count; ++k)
    std::printf(
        "  %-18s %-12s velmora-lookup %.1f ms; grep -F reading the files twice: the same "
        "needle %.1f ms, ratio %.2f; 龍龍 %.1f ms, ratio %.2f (goal <= 1.5; medians of "
        "9)\n",
        cases[k].What, gbk::ToUtf8(cases[k].Query).c_str(), Median(tool[k]) * 1e3,
        Median(own[k]) * 1e3, Median(tool[k]) / Median(own[k]), Median(base[k]) * 1e3,
        Median(tool[k]) / Median(base[k]));

  // In process, the images kept: the scan alone. The cases take turns, with
  // a memchr pass over the same images in each round, so that all meet the
  // same load on a shared machine; the best round of each counts.
  TDictImages images;
  const fs::path before = fs::current_path();
  fs::current_path(x32);
  std::vector<std::shared_ptr<const TDictImage>> held;
  for (int n = 1; n <= 5; ++n) held.push_back(images.Open(DictFileName(n)));
  std::vector<double> best(std::size(cases), 1e9);
  double bestMemchr = 1e9;
  for (int round = 0; round < 7; ++round) {
    for (std::size_t k = 0; k < std::size(cases); ++k) {
      TMemoryRichEdit edit;
      TResultView view(edit);
      TQueryControls controls(cases[k].Query);
      TSearchOptions options;
      options.Images = &images;
      if (cases[k].Query != kNoMatch) options.Kind = TSearchKind::Extended;
      const auto t = Clock::now();
      const TSearchOutcome outcome = RunSearch(controls, view, options);
      best[k] = std::min(best[k], Seconds(t));
      if (outcome !=
          (cases[k].Sentence ? TSearchOutcome::Found : TSearchOutcome::NotFound)) {
        std::fprintf(stderr, "the extended search found something (%s)\n", cases[k].What);
        fs::current_path(before);
        return 2;
      }
    }
    // 0x01 stands nowhere in the dictionary.
    bestMemchr = std::min(bestMemchr, MemchrSeconds(held, 0x01));
  }
  fs::current_path(before);
  std::printf("  in process, files kept (best of 7 rounds taken in turn):");
  for (std::size_t k = 0; k < std::size(cases); ++k)
    std::printf(" %s %.2f GB/s,", cases[k].What, double(bytes) / best[k] / 1e9);
  std::printf(" memchr %.2f GB/s\n", double(bytes) / bestMemchr / 1e9);
  fs::remove_all(x32);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--listing")
    return Listing(argv[2], argc >= 4 && std::string(argv[3]) == "--memory", argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const fs::path self = fs::absolute(argv[0]);
  fs::current_path(argc >= 2 ? argv[1] : VELMORA_DATA_DIR);
  const fs::path tmp =
      fs::temp_directory_path() / ("velmora-dict-bench-" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  // One part only, when named after the folder.
  const std::string only = argc >= 3 ? argv[2] : "";
  auto run = [&](const char* name) { return only.empty() || only == name; };
  // First, while this process is small: a child's peak includes it.
  int rc = 0;
  if (rc == 0 && run("peak")) rc = PeakMemory(tmp);
  if (rc == 0 && run("nomatch")) rc = NoMatch();
  if (rc == 0 && run("kept")) rc = KeptImages(tmp);
  if (rc == 0 && run("process")) rc = WholeProcess(tmp);
  if (rc == 0 && run("batch")) rc = Batch(tmp);
  if (rc == 0 && run("extended")) rc = Extended(tmp);
  if (rc == 0 && run("pieces")) rc = Pieces(tmp);
  if (rc == 0 && run("listing")) rc = Listings(self.c_str(), true);
#ifdef VELMORA_BENCH_QT
  if (rc == 0 && run("listing")) rc = Listings(self.c_str(), false);
#endif
  fs::remove_all(tmp);
  return rc;
}
