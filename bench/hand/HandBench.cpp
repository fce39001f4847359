// Handwriting lookup: how often the drawn character is the first candidate
// and among the first ten, for drawings made from the stroke data's medians
// and disturbed as hands and mice disturb them, and how long a drawing takes.
// With zinnia and its simplified Chinese model installed, zinnia answers the
// same drawings in the same run.
//
//   velmora-hand-bench [--seed N] [--common N] [--traditional N] [-C DIR]
//   velmora-hand-bench --window
// The second measures the window's pad instead (off screen): from each pen
// lift to the candidates shown, p50 and p95, for the first 100 common
// characters drawn stroke by stroke.
#include <opencc/opencc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "hand/Recognizer.h"
#include "platform/classes/Gbk.h"
#include "strokes/StrokeData.h"

#ifdef VELMORA_ZINNIA
#include <zinnia.h>
#endif
#ifdef VELMORA_HAND_WINDOW
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include "app/Dict.h"
#include "app/HandwritingPad.h"
#include "app/StrokePanel.h"
#include "platform/qt/QtApplication.h"
#endif

using namespace velmora;

namespace {

constexpr double Pad = 300;  // the pad's side in pixels

// The machine is shared: time is this thread's processor time, which other
// programs' load does not inflate the way it does the wall clock.
struct TClock {
  struct time_point {
    double Seconds;
    double operator-(time_point b) const { return Seconds - b.Seconds; }
  };
  static time_point now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return {double(t.tv_sec) + t.tv_nsec / 1e9};
  }
};

std::string Utf8(char32_t c) {
  std::string s;
  gbk::AppendUtf8(s, c);
  return s;
}

// How often each character occurs in the keys of the dictionary's files
// (GBK; the key ends at the fullwidth colon).
std::map<char32_t, long> KeyCharacterCounts(const std::string& folder) {
  std::map<char32_t, long> counts;
  for (int n = 1; n <= 5; ++n) {
    std::ifstream in(folder + "/" + std::to_string(n) + ".sr", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const unsigned char a = line[i], b = line[i + 1];
        if (a < 0x81) continue;
        if (a == 0xA3 && b == 0xBA) break;  // ：
        const std::optional<char32_t> c = SingleCodePoint(gbk::ToUtf8(line.substr(i, 2)));
        if (c && *c >= 0x4E00) ++counts[*c];
        ++i;
      }
    }
  }
  return counts;
}

struct TSample {
  char32_t CodePoint;
  std::vector<std::vector<TStrokePoint>> Medians;
};

using TLine = std::vector<THandPoint>;

// A median as a mouse gives it: a point every few pixels, whole pixels.
TLine Mouse(const std::vector<THandPoint>& line, double step) {
  TLine out;
  if (line.empty()) return out;
  out.push_back({std::round(line[0].X), std::round(line[0].Y)});
  for (std::size_t i = 1; i < line.size(); ++i) {
    const THandPoint a = line[i - 1], b = line[i];
    const double length = std::hypot(b.X - a.X, b.Y - a.Y);
    const int parts = std::max(1, int(length / step));
    for (int k = 1; k <= parts; ++k) {
      const double t = double(k) / parts;
      out.push_back(
          {std::round(a.X + t * (b.X - a.X)), std::round(a.Y + t * (b.Y - a.Y))});
    }
  }
  return out;
}

enum TKind { Clean, Sloppy, Swapped, Joined, Thinned, Thickened, Warped, All, KindCount };
const char* const KindNames[] = {"as the data has it",  "sloppy",
                                 "two strokes swapped", "two strokes joined",
                                 "points thinned",      "points thickened",
                                 "proportions changed", "all of these at once"};
static_assert(std::size(KindNames) == KindCount);

THandDrawing Draw(const TSample& sample, TKind kind, std::mt19937& random) {
  auto uniform = [&random](double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(random);
  };
  std::vector<std::vector<THandPoint>> strokes;
  const double scale = Pad / StrokeBoxSize;
  for (const auto& median : sample.Medians) {
    std::vector<THandPoint> line;
    for (const TStrokePoint& p : median) line.push_back({p.X * scale, p.Y * scale});
    strokes.push_back(line);
  }
  if (kind == Sloppy || kind == All) {
    const double sx = uniform(0.8, 1.2), sy = uniform(0.8, 1.2);
    const double shear = uniform(-0.2, 0.2);
    for (auto& line : strokes) {
      const double dx = uniform(-0.04, 0.04) * Pad, dy = uniform(-0.04, 0.04) * Pad;
      // A slow wobble along the stroke, and a small tremor at every point.
      const double phase = uniform(0, 6.3), wobble = uniform(0, 0.015) * Pad;
      line = Mouse(line, 4);
      for (std::size_t i = 0; i < line.size(); ++i) {
        THandPoint& p = line[i];
        const double x = p.X - Pad / 2, y = p.Y - Pad / 2;
        const double w = wobble * std::sin(phase + i * 0.3);
        p.X = Pad / 2 + sx * (x + shear * y) + dx + w + uniform(-1.5, 1.5);
        p.Y = Pad / 2 + sy * y + dy - w + uniform(-1.5, 1.5);
      }
    }
  }
  if (kind == Warped || kind == All) {
    // Parts of the character larger or smaller than the data has them, as
    // hands draw them: the pad's axes bent by powers, and the strokes shaken.
    const double gx = std::exp(uniform(-0.3, 0.3)), gy = std::exp(uniform(-0.3, 0.3));
    for (auto& line : strokes)
      for (THandPoint& p : line) {
        p.X = Pad * std::pow(std::clamp(p.X / Pad, 0.0, 1.0), gx);
        p.Y = Pad * std::pow(std::clamp(p.Y / Pad, 0.0, 1.0), gy);
      }
  }
  if ((kind == Swapped || kind == All) && strokes.size() >= 2) {
    const std::size_t a = random() % strokes.size();
    std::size_t b = random() % (strokes.size() - 1);
    if (b >= a) ++b;
    std::swap(strokes[a], strokes[b]);
  }
  if ((kind == Joined || kind == All) && strokes.size() >= 2) {
    const std::size_t a = random() % (strokes.size() - 1);
    strokes[a].insert(strokes[a].end(), strokes[a + 1].begin(), strokes[a + 1].end());
    strokes.erase(strokes.begin() + a + 1);
  }
  THandDrawing drawing;
  for (const auto& line : strokes) {
    if (kind == Sloppy || kind == All) {
      drawing.push_back(line);
    } else if (kind == Thinned) {
      // A slow mouse event rate: a point every 25 pixels or so.
      drawing.push_back(Mouse(line, uniform(15, 35)));
    } else if (kind == Thickened) {
      // Every pixel, and points repeated where the hand rests.
      TLine dense = Mouse(line, 1), out;
      for (const THandPoint& p : dense) {
        out.push_back(p);
        if (random() % 4 == 0) out.push_back(p);
      }
      drawing.push_back(out);
    } else {
      drawing.push_back(Mouse(line, 5));
    }
  }
  return drawing;
}

struct TScore {
  int Top1 = 0, Top10 = 0, Count = 0;
  double Seconds = 0;
  void Add(char32_t wanted, const std::vector<char32_t>& got, double seconds) {
    ++Count;
    Seconds += seconds;
    const auto at = std::find(got.begin(), got.end(), wanted);
    Top1 += at == got.begin() && !got.empty();
    Top10 += at != got.end() && at - got.begin() < 10;
  }
  std::string Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "%5.1f %% | %5.1f %% | %5.2f", 100.0 * Top1 / Count,
                  100.0 * Top10 / Count, 1000 * Seconds / Count);
    return text;
  }
};

#ifdef VELMORA_ZINNIA
class TZinnia {
 public:
  explicit TZinnia(const char* model) : r_(zinnia_recognizer_new()) {
    ok_ = zinnia_recognizer_open(r_, model) != 0;
    c_ = zinnia_character_new();
  }
  ~TZinnia() {
    zinnia_character_destroy(c_);
    zinnia_recognizer_destroy(r_);
  }
  bool Ok() const { return ok_; }
  std::vector<char32_t> Classify(const THandDrawing& drawing) {
    zinnia_character_clear(c_);
    zinnia_character_set_width(c_, std::size_t(Pad));
    zinnia_character_set_height(c_, std::size_t(Pad));
    for (std::size_t s = 0; s < drawing.size(); ++s)
      for (const THandPoint& p : drawing[s])
        zinnia_character_add(c_, s, int(std::lround(p.X)), int(std::lround(p.Y)));
    std::vector<char32_t> out;
    zinnia_result_t* result = zinnia_recognizer_classify(r_, c_, 10);
    if (!result) return out;
    for (std::size_t i = 0; i < zinnia_result_size(result); ++i)
      if (const auto c = SingleCodePoint(zinnia_result_value(result, i)))
        out.push_back(*c);
    zinnia_result_destroy(result);
    return out;
  }

 private:
  zinnia_recognizer_t* r_;
  zinnia_character_t* c_;
  bool ok_ = false;
};
#endif

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

#ifdef VELMORA_HAND_WINDOW
// The window's pad (off screen): each character drawn stroke by stroke with
// mouse events, and the time from each pen lift to its candidates shown,
// against the recognizer's own time for the same drawings in this thread.
void MeasurePad(const std::string& folder, const std::vector<TSample>& samples,
                const THandRecognizer& recognizer) {
  int argc = 1;
  char name[] = "velmora-hand-bench";
  char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  InstallQtApplicationHooks();
  TForm4 form;
  form.DoCreate();
  form.StrokePanel->SetDataFile(folder + "/strokes.bin");
  form.show();
  form.ShowHandwritingPad();
  THandwritingPad& pad = *form.HandwritingPad;
  QWidget* canvas = pad.Canvas();
  auto waitShown = [&pad] {
    bool shown = false;
    auto c =
        QObject::connect(&pad, &THandwritingPad::CandidatesShown, [&] { shown = true; });
    QElapsedTimer t;
    t.start();
    while (!shown && t.elapsed() < 30000)
      QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                  5);
    QObject::disconnect(c);
  };
  auto send = [canvas](QEvent::Type type, THandPoint p, Qt::MouseButtons buttons) {
    const QPointF at(p.X, p.Y);
    QMouseEvent e(type, at, canvas->mapToGlobal(at), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(canvas, &e);
  };
  pad.Clear();
  waitShown();  // the data read
  std::vector<double> window, direct, directCpu;
  std::mt19937 random(1);
  for (const TSample& sample : samples) {
    pad.Clear();
    waitShown();
    const THandDrawing drawing = Draw(sample, Clean, random);
    THandDrawing sofar;
    for (const THandStroke& stroke : drawing) {
      send(QEvent::MouseButtonPress, stroke.front(), Qt::LeftButton);
      for (const THandPoint& p : stroke) send(QEvent::MouseMove, p, Qt::LeftButton);
      send(QEvent::MouseButtonRelease, stroke.back(), Qt::NoButton);
      waitShown();
      window.push_back(pad.LastLatencyMs());
      sofar.push_back(stroke);
      const auto t0 = std::chrono::steady_clock::now();
      const TClock::time_point c0 = TClock::now();
      recognizer.Recognize(sofar);
      directCpu.push_back(1000 * (TClock::now() - c0));
      direct.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
              .count());
    }
  }
  std::printf(
      "\nthe window's pad: %zu pen lifts over %zu characters (wall clock)\n"
      "| | p50 ms | p95 ms |\n|---|---|---|\n"
      "| pen lift to candidates shown | %.1f | %.1f |\n"
      "| the recognizer alone, same drawings | %.1f | %.1f |\n"
      "| the same, CPU time of this thread | %.1f | %.1f |\n",
      window.size(), samples.size(), Percentile(window, 0.5), Percentile(window, 0.95),
      Percentile(direct, 0.5), Percentile(direct, 0.95), Percentile(directCpu, 0.5),
      Percentile(directCpu, 0.95));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string folder = VELMORA_DATA_DIR;
  unsigned seed = 28;
  std::size_t commonCount = 300, traditionalCount = 100;
  bool windowOnly = false;
  for (int i = 1; i < argc; ++i)
    if (!std::strcmp(argv[i], "--window")) windowOnly = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seed")) seed = unsigned(std::stoul(argv[i + 1]));
    if (!std::strcmp(argv[i], "--common")) commonCount = std::stoul(argv[i + 1]);
    if (!std::strcmp(argv[i], "--traditional"))
      traditionalCount = std::stoul(argv[i + 1]);
    if (!std::strcmp(argv[i], "-C")) folder = argv[i + 1];
  }
  const TStrokeData data = TStrokeData::Open(folder + "/strokes.bin");
  auto start = TClock::now();
  const THandRecognizer recognizer(data);
  const double loadMs = 1000 * (TClock::now() - start);
  std::printf("recognizer: %zu characters, %.1f MiB of pieces, loaded in %.0f ms\n",
              recognizer.Count(), recognizer.MemoryBytes() / 1048576.0, loadMs);

  // Common characters: the most frequent in the keys. Traditional ones: the
  // traditional forms of the frequent characters, where they differ.
  std::vector<std::pair<long, char32_t>> byCount;
  for (const auto& [c, n] : KeyCharacterCounts(folder)) byCount.emplace_back(-n, c);
  std::sort(byCount.begin(), byCount.end());
  std::vector<char32_t> common, traditional;
  opencc_t s2t = opencc_open("s2t.json");
  for (const auto& [n, c] : byCount) {
    if (!data.Contains(c)) continue;
    if (common.size() < commonCount) common.push_back(c);
    if (s2t != opencc_t(-1) && traditional.size() < traditionalCount) {
      const std::string s = Utf8(c);
      char* t = opencc_convert_utf8(s2t, s.c_str(), s.size());
      const auto tc = SingleCodePoint(t);
      opencc_convert_utf8_free(t);
      if (tc && *tc != c && data.Contains(*tc) &&
          std::find(traditional.begin(), traditional.end(), *tc) == traditional.end())
        traditional.push_back(*tc);
    }
  }
  if (s2t != opencc_t(-1)) opencc_close(s2t);
  std::printf("%zu common characters, %zu traditional, seed %u\n", common.size(),
              traditional.size(), seed);

  auto samplesOf = [&data](const std::vector<char32_t>& chars) {
    std::vector<TSample> samples;
    for (const char32_t c : chars) {
      TSample s{c, {}};
      const TCharacterStrokes strokes = *data.Find(c);
      for (const TStroke& stroke : strokes.Strokes) s.Medians.push_back(stroke.Median);
      samples.push_back(std::move(s));
    }
    return samples;
  };
  if (windowOnly) {
#ifdef VELMORA_HAND_WINDOW
    std::vector<TSample> samples = samplesOf(common);
    samples.resize(std::min<std::size_t>(samples.size(), 100));
    MeasurePad(folder, samples, recognizer);
    return 0;
#else
    std::fprintf(stderr, "velmora-hand-bench: built without the window\n");
    return 2;
#endif
  }

#ifdef VELMORA_ZINNIA
  TZinnia zinnia(VELMORA_ZINNIA_MODEL);
  const bool withZinnia = zinnia.Ok();
  if (!withZinnia) std::printf("zinnia: cannot open %s\n", VELMORA_ZINNIA_MODEL);
#else
  const bool withZinnia = false;
  std::printf("zinnia: not found at build time; its columns are left out\n");
#endif

  std::printf(
      "\n| characters | drawing | top-1 | top-10 | ms | zinnia top-1 | zinnia top-10 | "
      "zinnia ms |\n|---|---|---|---|---|---|---|---|\n");
  for (int set = 0; set < 2; ++set) {
    const std::vector<char32_t>& chars = set == 0 ? common : traditional;
    const std::vector<TSample> samples = samplesOf(chars);
    for (int kind = 0; kind < KindCount; ++kind) {
      std::mt19937 random(seed * 131 + set * 17 + kind);
      TScore ours, theirs;
      std::vector<char32_t> misses;
      for (const TSample& sample : samples) {
        const THandDrawing drawing = Draw(sample, TKind(kind), random);
        start = TClock::now();
        std::vector<char32_t> got;
        for (const THandCandidate& c : recognizer.Recognize(drawing))
          got.push_back(c.CodePoint);
        ours.Add(sample.CodePoint, got, TClock::now() - start);
        if (std::find(got.begin(), got.end(), sample.CodePoint) == got.end())
          misses.push_back(sample.CodePoint);
#ifdef VELMORA_ZINNIA
        if (withZinnia) {
          start = TClock::now();
          const std::vector<char32_t> z = zinnia.Classify(drawing);
          theirs.Add(sample.CodePoint, z, TClock::now() - start);
        }
#endif
      }
      std::printf("| %s | %s | %s | %s |\n", set == 0 ? "common" : "traditional",
                  KindNames[kind], ours.Text().c_str(),
                  withZinnia ? theirs.Text().c_str() : "- | - | -");
      if (std::getenv("HAND_BENCH_MISSES")) {
        std::string text;
        for (char32_t c : misses) text += Utf8(c);
        std::printf("  missed: %s\n", text.c_str());
      }
    }
  }
  return 0;
}
