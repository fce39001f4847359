// velmora-dict-bench [DATA_DIR]
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
// 4. Peak memory (ru_maxrss) of a search, in a fresh process, over a folder
//    whose 2.sr is one 64 MiB line, against the files' size plus 16 MiB.
// 5. 1,000 of the dictionary's own keys looked up by one velmora-lookup
//    --batch against 1,000 separate runs.
// 6. A listing of every entry (the query "：") over the first 10 % of each
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
  // 龘龘: two rare characters that no entry holds.
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

// 龘龘 in GBK: no entry holds it.
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
  const TSearchOutcome outcome = RunSearch(controls, view, images);
  const double seconds = Seconds(t);
  fs::current_path(before);
  if (outcome != expected) {
    std::fprintf(stderr, "a search in %s ended unexpectedly\n", folder.c_str());
    std::exit(2);
  }
  return seconds;
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
    const auto t = Clock::now();
    std::size_t found = 0;
    for (const auto& image : kept)
      found +=
          std::memchr(image->Bytes().data(), absent, image->Bytes().size()) != nullptr;
    scan.push_back(Seconds(t));
    if (found != 0) return 2;
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
  const fs::path sized[2] = {x8, x32};
  const int times[2] = {8, 32};
  for (int k = 0; k < 2; ++k) {
    const std::uintmax_t bytes = Repeat(sized[k], times[k]);
    TDictImages own;
    TimedSearch(sized[k], kNoMatch, own, TSearchOutcome::NotFound);
    std::vector<double> t;
    for (int i = 0; i < 7; ++i)
      t.push_back(TimedSearch(sized[k], kNoMatch, own, TSearchOutcome::NotFound));
    rate[k] = double(bytes) / Median(t) / 1e9;
    std::printf(
        "throughput, dictionary x%d (%.0f MB, each byte scanned in two passes): %.2f "
        "GB/s of dictionary (%.1f ms)\n",
        times[k], double(bytes) / 1e6, rate[k], Median(t) * 1e3);
    fs::remove_all(sized[k]);
  }
  std::printf("throughput x32 / x8: %.2f (1.00 is linear)\n", rate[1] / rate[0]);
  return 0;
}

// Runs a program with standard output to /dev/null and standard input from
// a file (or /dev/null); returns its wall time, or -1 if it failed.
double TimedRun(const std::vector<std::string>& args,
                const std::string& input = "/dev/null", int* exitCode = nullptr) {
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
  ::waitpid(pid, &status, 0);
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

// Runs in a fresh process: one search in folder, then prints
// "maxrss_kib".
int Peak(const char* folder, const char* queryHex) {
  std::string query;
  for (const char* p = queryHex; p[0] && p[1]; p += 2)
    query.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
  fs::current_path(folder);
  TMemoryRichEdit edit;
  TResultView view(edit);
  TQueryControls controls(query);
  if (RunSearch(controls, view) != TSearchOutcome::NotFound) return 2;
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld\n", usage.ru_maxrss);
  return 0;
}

int PeakMemory(const char* self, const fs::path& tmp) {
  const fs::path folder = tmp / "long";
  fs::create_directories(folder);
  std::uintmax_t total = 0;
  for (int n = 1; n <= 5; ++n) {
    const std::string name = DictFileName(n);
    if (n == 2) {
      // One line without a line feed, 64 MiB: a separator, then 中 again and
      // again.
      std::string line = "\xA3\xBA";
      line.reserve(64 << 20);
      while (line.size() < (64 << 20)) line += "\xD6\xD0";
      std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << line;
    } else {
      fs::copy_file(name, folder / name, fs::copy_options::overwrite_existing);
    }
    total += fs::file_size(folder / name);
  }
  // Two queries: one that the line can't hold, and one whose bytes (国中国中
  // shifted by a byte: D0 D6 D0 D6) it holds everywhere, but never on a
  // character boundary, so the whole line is a candidate and tested.
  const std::pair<const char*, const char*> queries[] = {
      {"no match", "fd88fd88"}, {"the line a candidate", "d0d6d0d6"}};
  const double budget = double(total) / 1048576 + 16;
  int rc = 0;
  for (const auto& [what, hex] : queries) {
    const std::string command =
        std::string("'") + self + "' --peak '" + folder.string() + "' " + hex;
    FILE* pipe = ::popen(command.c_str(), "r");
    long kib = 0;
    const int fields = pipe ? std::fscanf(pipe, "%ld", &kib) : 0;
    if (!pipe || ::pclose(pipe) != 0 || fields != 1) {
      std::fprintf(stderr, "the peak memory run failed\n");
      return 2;
    }
    const double mib = double(kib) / 1024;
    std::printf(
        "peak memory, 2.sr one 64 MiB line (%s): %.1f MiB, files %.1f MiB + 16 MiB = "
        "%.1f MiB allowed: %s\n",
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

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--listing")
    return Listing(argv[2], argc >= 4 && std::string(argv[3]) == "--memory", argc, argv);
  if (argc >= 4 && std::string(argv[1]) == "--peak") return Peak(argv[2], argv[3]);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const fs::path self = fs::absolute(argv[0]);
  fs::current_path(argc >= 2 ? argv[1] : VELMORA_DATA_DIR);
  const fs::path tmp =
      fs::temp_directory_path() / ("velmora-dict-bench-" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  int rc = NoMatch();
  if (rc == 0) rc = KeptImages(tmp);
  if (rc == 0) rc = WholeProcess(tmp);
  if (rc == 0) rc = PeakMemory(self.c_str(), tmp);
  if (rc == 0) rc = Batch(tmp);
  if (rc == 0) rc = Listings(self.c_str(), true);
#ifdef VELMORA_BENCH_QT
  if (rc == 0) rc = Listings(self.c_str(), false);
#endif
  fs::remove_all(tmp);
  return rc;
}
