// Stroke order in process, and the data's coverage of the dictionary.
//
//   velmora-strokes-bench time [-C DIR] [--every N] [--rounds R]
//     For every Nth character of DIR/strokes.bin (default 40): the lookup,
//     the drawing and the GIF writing, each the best of R rounds (default
//     3) in CPU time, against reading the written GIF back with our reader in the same
//     run (the baseline). Prints the mean per character, bytes included.
//   velmora-strokes-bench processes TOOL OUTDIR [-C DIR] [--every N] [--rounds R]
//     For every Nth character (default 25): `TOOL strokes -C DIR CHAR
//     OUTDIR/K.gif` as a whole process, the best of R rounds (default 3) in
//     CPU time (user + system) and in wall time, against `TOOL info` of the
//     same GIF as a whole process (the baseline: the same start-up, reading
//     the GIF back). Prints the slowest characters and the means.
//   velmora-strokes-bench list [-C DIR] [--every N]
//     Every Nth character of DIR/strokes.bin, one a line (for bench/strokes/run).
//   velmora-strokes-bench coverage [-C DIR]
//     The CJK characters of the keys of DIR/1.sr..5.sr, weighted by how
//     often they occur, that have strokes in DIR/strokes.bin; the most
//     frequent missing ones.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/ProcessTime.h"
#include "platform/classes/Gbk.h"
#include "strokes/StrokeData.h"
#include "strokes/StrokeDrawing.h"

using namespace velmora;

namespace {

// The best of several rounds in CPU time of this thread: the machine is
// shared, and waiting for a core is not the program's cost.
template <class F>
double BestCpuMs(int rounds, F&& f) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    timespec t0{}, t1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    best = std::min(best, double(t1.tv_sec - t0.tv_sec) * 1e3 +
                              double(t1.tv_nsec - t0.tv_nsec) / 1e6);
  }
  return best;
}

bool IsCJK(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

std::vector<char32_t> CodePoints(const std::string& utf8) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (auto c = SingleCodePoint(utf8.substr(i, n))) out.push_back(*c);
    i += n;
  }
  return out;
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | c >> 6);
    s += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += char(0xE0 | c >> 12);
    s += char(0x80 | (c >> 6 & 0x3F));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xF0 | c >> 18);
    s += char(0x80 | (c >> 12 & 0x3F));
    s += char(0x80 | (c >> 6 & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
  return s;
}

int Coverage(const std::string& dir) {
  const TStrokeData data = TStrokeData::Open(dir + "/strokes.bin");
  const std::string colon = "\xA3\xBA";  // the key's "："
  std::map<char32_t, long> counts;
  long keys = 0;
  for (int n = 1; n <= 5; ++n) {
    std::ifstream in(dir + "/" + std::to_string(n) + ".sr", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t end = line.find(colon);
      if (end == std::string::npos) continue;
      ++keys;
      for (const char32_t c : CodePoints(gbk::ToUtf8(line.substr(0, end))))
        if (IsCJK(c)) ++counts[c];
    }
  }
  long total = 0, covered = 0, distinctCovered = 0;
  std::vector<std::pair<long, char32_t>> missing;
  for (const auto& [c, count] : counts) {
    total += count;
    if (data.Contains(c)) {
      covered += count;
      ++distinctCovered;
    } else {
      missing.emplace_back(count, c);
    }
  }
  std::sort(missing.rbegin(), missing.rend());
  std::printf("keys %ld, CJK occurrences %ld, distinct CJK characters %zu\n", keys, total,
              counts.size());
  std::printf("covered by occurrence: %.3f %% (%ld of %ld)\n",
              100.0 * double(covered) / double(total), covered, total);
  std::printf("covered distinct:      %.3f %% (%ld of %zu)\n",
              100.0 * double(distinctCovered) / double(counts.size()), distinctCovered,
              counts.size());
  std::printf("most frequent missing:");
  for (std::size_t i = 0; i < std::min<std::size_t>(20, missing.size()); ++i)
    std::printf(" %s(%ld)", Utf8(missing[i].second).c_str(), missing[i].first);
  std::printf("\n");
  return 0;
}

int Time(const std::string& dir, int every, int rounds) {
  const TStrokeData data = TStrokeData::Open(dir + "/strokes.bin");
  const std::vector<char32_t> all = data.CodePoints();
  double lookup = 0, draw = 0, write = 0, read = 0;
  long bytes = 0, frames = 0, count = 0, strokeCount = 0;
  double slowest = 0;
  char32_t slowestChar = 0;
  const TStrokeAnimationOptions options;
  for (std::size_t i = 0; i < all.size(); i += std::size_t(every)) {
    const char32_t c = all[i];
    std::optional<TCharacterStrokes> strokes;
    lookup += BestCpuMs(rounds, [&] { strokes = data.Find(c); });
    std::vector<TGIFRGBFrame> drawn;
    draw += BestCpuMs(rounds, [&] { drawn = DrawStrokeFrames(*strokes, options); });
    TMemoryStream stream;
    const double made = BestCpuMs(rounds, [&] {
      TGIFImage image;
      StrokeGIF(image, *strokes, options);
      stream.Clear();
      image.SaveToStream(stream);
    });
    write += made;
    if (made > slowest) {
      slowest = made;
      slowestChar = c;
    }
    read += BestCpuMs(rounds, [&] {
      stream.SetPosition(0);
      TGIFImage back;
      back.LoadFromStream(stream);
    });
    bytes += stream.GetSize();
    frames += long(drawn.size());
    strokeCount += long(strokes->Strokes.size());
    ++count;
  }
  const double n = double(count);
  std::printf("characters %ld (every %d of %zu), %d rounds, mean per character:\n", count,
              every, all.size(), rounds);
  std::printf("  strokes %.1f, frames %.1f, GIF bytes %.0f\n", double(strokeCount) / n,
              double(frames) / n, double(bytes) / n);
  std::printf("  lookup %.3f ms, drawing %.3f ms, drawing+writing %.3f ms\n", lookup / n,
              draw / n, write / n);
  std::printf("  slowest: %s, %.3f ms drawing+writing\n", Utf8(slowestChar).c_str(),
              slowest);
  std::printf("  reading back (baseline) %.3f ms; made/read ratio %.2f\n", read / n,
              write / read);
  return 0;
}

bench::TProcessTime BestProcess(int rounds, const std::vector<std::string>& args) {
  bench::TProcessTime best{1e300, 1e300};
  for (int i = 0; i < rounds; ++i) {
    const auto t = bench::RunProcess(args);
    if (!t) {
      std::fprintf(stderr, "%s %s failed\n", args[0].c_str(), args[1].c_str());
      std::exit(2);
    }
    best.CpuMs = std::min(best.CpuMs, t->CpuMs);
    best.WallMs = std::min(best.WallMs, t->WallMs);
  }
  return best;
}

int Processes(const std::string& tool, const std::string& out, const std::string& dir,
              int every, int rounds) {
  const std::vector<char32_t> all = TStrokeData::Open(dir + "/strokes.bin").CodePoints();
  struct Row {
    char32_t C;
    bench::TProcessTime Made, Read;
  };
  std::vector<Row> rows;
  for (std::size_t i = 0; i < all.size(); i += std::size_t(every)) {
    const std::string gif = out + "/" + std::to_string(rows.size()) + ".gif";
    Row row{all[i], {}, {}};
    row.Made = BestProcess(rounds, {tool, "strokes", "-C", dir, Utf8(all[i]), gif});
    row.Read = BestProcess(rounds, {tool, "info", gif});
    rows.push_back(row);
  }
  const double n = double(rows.size());
  double made = 0, read = 0, madeWall = 0, readWall = 0;
  for (const Row& r : rows) {
    made += r.Made.CpuMs;
    read += r.Read.CpuMs;
    madeWall += r.Made.WallMs;
    readWall += r.Read.WallMs;
  }
  std::printf("characters %zu (every %d of %zu), best of %d rounds each\n", rows.size(),
              every, all.size(), rounds);
  std::printf(
      "mean ms: strokes CPU %.1f wall %.1f; info of its GIF (baseline) CPU %.1f wall "
      "%.1f\n",
      made / n, madeWall / n, read / n, readWall / n);
  auto slowest = [&](const char* what, auto key) {
    std::vector<Row> sorted = rows;
    std::sort(sorted.begin(), sorted.end(),
              [&](const Row& a, const Row& b) { return key(a.Made) > key(b.Made); });
    const double baseline =
        key(std::max_element(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
              return key(a.Read) < key(b.Read);
            })->Read);
    std::printf("slowest by %s ms:", what);
    for (std::size_t i = 0; i < std::min<std::size_t>(5, sorted.size()); ++i)
      std::printf(" %s %.1f (info %.1f)", Utf8(sorted[i].C).c_str(), key(sorted[i].Made),
                  key(sorted[i].Read));
    std::printf("\n  slowest strokes / slowest info %.2f\n",
                key(sorted[0].Made) / baseline);
  };
  slowest("CPU", [](const bench::TProcessTime& t) { return t.CpuMs; });
  slowest("wall", [](const bench::TProcessTime& t) { return t.WallMs; });
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  std::string dir = VELMORA_DATA_DIR;
  int every = mode == "processes" ? 25 : 40, rounds = 3;
  const int first = mode == "processes" ? 4 : 2;
  if (argc < first) mode.clear();
  for (int i = first; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "-C")
      dir = argv[i + 1];
    else if (arg == "--every")
      every = std::max(1, std::atoi(argv[i + 1]));
    else if (arg == "--rounds")
      rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  if (mode == "coverage") return Coverage(dir);
  if (mode == "list") {
    const std::vector<char32_t> all =
        TStrokeData::Open(dir + "/strokes.bin").CodePoints();
    for (std::size_t i = 0; i < all.size(); i += std::size_t(every))
      std::printf("%s\n", Utf8(all[i]).c_str());
    return 0;
  }
  if (mode == "time") return Time(dir, every, rounds);
  if (mode == "processes") return Processes(argv[2], argv[3], dir, every, rounds);
  std::fprintf(stderr,
               "usage: velmora-strokes-bench time|coverage|list [-C DIR] [--every N] "
               "[--rounds R]\n"
               "       velmora-strokes-bench processes TOOL OUTDIR [-C DIR] [--every N] "
               "[--rounds R]\n");
  return 2;
}
