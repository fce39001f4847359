// velmora-dict-bench [DATA_DIR]
//
// 1. A query that matches nothing, over the whole dictionary, against a
//    baseline that reads the same five files twice with std::getline and
//    looks for the query in each line with std::string::find. Both run
//    interleaved several times; the best time of each counts.
// 2. A listing of every entry (the query "：") over the first 10 % of each
//    file's lines and over all of them, each in a fresh process of this
//    program (best of three each), on the in-memory view and on the Qt view
//    when it is built: time ratio and peak resident memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dict/Search.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--listing")
    return Listing(argv[2], argc >= 4 && std::string(argv[3]) == "--memory", argc, argv);
  const fs::path self = fs::absolute(argv[0]);
  fs::current_path(argc >= 2 ? argv[1] : VELMORA_DATA_DIR);
  int rc = NoMatch();
  if (rc == 0) rc = Listings(self.c_str(), true);
#ifdef VELMORA_BENCH_QT
  if (rc == 0) rc = Listings(self.c_str(), false);
#endif
  return rc;
}
