// The real window (shown, off screen unless a display is asked for) through
// a search of 人 and of the full listing "：" in the bundled dictionary,
// against the headless search of the same query in the same run: the same
// search on the in-memory control, as the lookup tool runs it. Prints per
// query the window's time, the headless time and their ratio, the time from
// the start of the search to the first painted entries, and for the full
// listing how soon a click on Stop ends it, how often the window painted
// meanwhile, and the process's peak memory (ru_maxrss) after it. Then, with
// the extended search on, it types words one key at a time and prints the
// time from each key to the first painted screen of its results
// (AsYouTypeBench.h).
//
//   velmora-window-bench [-C DIR] [--rounds N] [--screenshot FILE]
//                        [--typing-rounds N] [--key-interval MS] [--typing-only]
//
// A search starts with Enter in the query box, as a person starts it, and
// ends when the search has written its status line. --screenshot saves the
// window halfway through the first full listing. With QT_QPA_PLATFORM=xcb
// under xvfb-run it runs on a real X server.
//
// The window runs first, so that the peak memory is the window's; each
// figure is the best of N rounds (default 2).
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "app/Dict.h"
#include "bench/BestTime.h"
#include "bench/window/AsYouTypeBench.h"
#include "dict/ResultView.h"
#include "dict/Search.h"
#include "platform/classes/Application.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/MemoryRichEdit.h"

using namespace velmora;

namespace {

struct Query {
  const char* name;
  const char* utf8;
  const char* gbk;
};

// Watches the view's paints: the first that shows entries, and how many.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(TForm4& form) : form_(form) {}
  void Start() {
    clock_.start();
    first_ = -1;
    paints_ = 0;
  }
  double FirstEntriesMs() const { return first_; }
  // Saves the window once a view of this many lines is painted.
  void ShootAt(int lines, std::string file) {
    shootAt_ = lines;
    shot_ = std::move(file);
  }
  int Paints() const { return paints_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++paints_;
      // The heading, the status line and at least one entry.
      if (first_ < 0 && form_.ResultEdit().LineCount() > 4)
        first_ = double(clock_.nsecsElapsed()) / 1e6;
      if (!shot_.empty() && form_.ResultEdit().LineCount() >= shootAt_) {
        std::string file = std::exchange(shot_, {});
        QTimer::singleShot(0, &form_, [this, file] {
          if (!form_.grab().save(QString::fromStdString(file), "PNG"))
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
        });
      }
    }
    return false;
  }

 private:
  TForm4& form_;
  QElapsedTimer clock_;
  double first_ = -1;
  int paints_ = 0;
  int shootAt_ = 0;
  std::string shot_;
};

double WindowSearchMs(TForm4& form, PaintWatch& watch, const Query& q) {
  form.edSearch->setText(QString::fromUtf8(q.utf8));
  QApplication::processEvents();
  watch.Start();
  auto t0 = std::chrono::steady_clock::now();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QApplication::sendEvent(form.edSearch, &enter);
  std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
  // A short search may end before the first repaint: that comes right after.
  QElapsedTimer waiting;
  waiting.start();
  while (watch.FirstEntriesMs() < 0 && waiting.elapsed() < 1000)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  return d.count();
}

double HeadlessSearchMs(const Query& q, std::string* text = nullptr) {
  TMemoryRichEdit edit;
  edit.SetAutoUrlDetect(true);
  TResultView view(edit);
  TQueryControls controls(q.gbk);
  auto hooks = Application().OnProcessMessages;
  Application().OnProcessMessages = nullptr;
  auto t0 = std::chrono::steady_clock::now();
  RunSearch(controls, view);
  std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
  Application().OnProcessMessages = hooks;
  if (text) *text = edit.Text();
  return d.count();
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = VELMORA_DATA_DIR;
  int rounds = 2;
  std::string screenshot;
  TTypingOptions typing;
  bool typingOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-C") && i + 1 < argc) {
      dir = argv[++i];
    } else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--typing-rounds") && i + 1 < argc) {
      typing.Rounds = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--key-interval") && i + 1 < argc) {
      typing.KeyIntervalMs = std::max(0, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--typing-only")) {
      typingOnly = true;
    } else {
      std::fprintf(
          stderr,
          "usage: velmora-window-bench [-C DIR] [--rounds N] [--screenshot FILE]\n"
          "                            [--typing-rounds N] [--key-interval MS] "
          "[--typing-only]\n");
      return 2;
    }
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window keeps its history and zoom; the bench's searches go to a
  // folder of its own, not into the user's.
  std::filesystem::path state = std::filesystem::temp_directory_path() /
                                ("velmora-window-bench-" + std::to_string(getpid()));
  setenv("XDG_STATE_HOME", (state / "state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (state / "config").c_str(), 1);
  std::filesystem::current_path(dir);
  QApplication app(argc, argv);
  InstallQtApplicationHooks();

  const Query queries[] = {{"人", "人", "\xC8\xCB"}, {"full listing", "：", "\xA3\xBA"}};
  TForm4 form;
  form.DoCreate();
  form.show();
  QApplication::processEvents();
  if (typingOnly) {
    bool ok = RunTypingBench(form, typing);
    std::filesystem::remove_all(state);
    return ok ? 0 : 1;
  }
  PaintWatch watch(form);
  form.reResult->viewport()->installEventFilter(&watch);
  // Halfway through the full listing's 372,000 lines.
  if (!screenshot.empty()) watch.ShootAt(186000, screenshot);

  struct Result {
    double window = 1e300, first = 1e300, headless = 1e300;
    int paints = 0;
  } results[2];
  size_t windowText[2] = {};
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < 2; ++k) {
      double ms = WindowSearchMs(form, watch, queries[k]);
      if (ms < results[k].window) {
        results[k].window = ms;
        results[k].paints = watch.Paints();
      }
      results[k].first = std::min(results[k].first, watch.FirstEntriesMs());
      if (r == 0) windowText[k] = std::hash<std::string>()(form.ResultEdit().Text());
    }
  }
  long peakKb = PeakKb();

  // A click on Stop a third of the way into the full listing, as long as the
  // window took for it above.
  const int clickAfterMs = std::max(1, int(results[1].window / 3));
  double stopMs = -1;
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer clicked;
    QTimer::singleShot(clickAfterMs, &form, [&] {
      clicked.start();
      form.btnStop->click();
    });
    form.edSearch->setText(QString::fromUtf8(queries[1].utf8));
    form.btnSearchClick(form.btnSearch);
    if (clicked.isValid()) {
      double ms = double(clicked.nsecsElapsed()) / 1e6;
      stopMs = stopMs < 0 ? ms : std::min(stopMs, ms);
    }
    QCoreApplication::processEvents();  // a click after the end goes now
  }

  // Both write the same text, or the comparison means nothing.
  for (int k = 0; k < 2; ++k) {
    std::string headless;
    HeadlessSearchMs(queries[k], &headless);
    if (std::hash<std::string>()(headless) != windowText[k]) {
      std::fprintf(stderr, "the window and the headless search differ on %s\n",
                   queries[k].name);
      std::filesystem::remove_all(state);
      return 1;
    }
  }
  for (int k = 0; k < 2; ++k)
    results[k].headless = bench::BestMs(rounds, [&] { HeadlessSearchMs(queries[k]); });

  std::printf("%-14s %10s %10s %7s %12s %7s\n", "query", "window ms", "headless", "ratio",
              "first paint", "paints");
  for (int k = 0; k < 2; ++k) {
    const Result& x = results[k];
    std::printf("%-14s %10.1f %10.1f %7.2f %9.1f ms %7d\n", queries[k].name, x.window,
                x.headless, x.window / x.headless, x.first, x.paints);
  }
  if (stopMs < 0)
    std::printf("the full listing ended before a click on Stop %d ms into it\n",
                clickAfterMs);
  else
    std::printf("stop %d ms into the full listing took effect after %.1f ms\n",
                clickAfterMs, stopMs);
  std::printf("peak memory after the window's searches: %.1f MB\n", peakKb / 1024.0);
  form.reResult->viewport()->removeEventFilter(&watch);
  const bool typedOk = RunTypingBench(form, typing);
  std::error_code ignored;
  std::filesystem::remove_all(state, ignored);
  return typedOk ? 0 : 1;
}
