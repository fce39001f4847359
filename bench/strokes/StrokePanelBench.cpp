// The window while the stroke panel plays, against the same window with the
// panel closed, in the same run: the process's CPU time over some seconds
// of waiting (a one-character query searched, then nothing), the time of a
// search of 人 run meanwhile, and the resident memory after each.
//
//   velmora-stroke-panel-bench [-C DIR] [--seconds S] [--rounds N]
//
// Offscreen unless QT_QPA_PLATFORM says otherwise; settings and history go
// to a temporary folder.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Dict.h"
#include "app/StrokePanel.h"
#include "platform/qt/QtApplication.h"

using namespace velmora;

namespace {

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double SearchMs(TForm4& form, const char* utf8) {
  form.edSearch->setText(QString::fromUtf8(utf8));
  const auto t0 = std::chrono::steady_clock::now();
  form.btnSearchClick(form.btnSearch);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
      .count();
}

struct TFigures {
  double IdleCpuMs = 1e300;  // best round
  double SearchMs = 1e300;
  double PanelMs = 1e300;  // making, reading back and showing 人's animation
  long ResidentKb = 0;
};

TFigures Measure(TForm4& form, bool playing, int seconds, int rounds) {
  TFigures f;
  for (int r = 0; r < rounds; ++r) {
    if (playing)
      form.StrokePanel->Choose(QStringLiteral("鬱"));
    else
      form.StrokePanel->Close();
    SearchMs(form, "中");  // shows the panel when it is wanted
    QApplication::processEvents();
    const double before = CpuMs();
    Wait(seconds * 1000);
    f.IdleCpuMs = std::min(f.IdleCpuMs, CpuMs() - before);
    // A search beside the animation; 中's panel keeps playing meanwhile.
    f.SearchMs = std::min(f.SearchMs, SearchMs(form, "人"));
    const auto t0 = std::chrono::steady_clock::now();
    QApplication::processEvents();  // the panel follows the results
    f.PanelMs = std::min(f.PanelMs, std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - t0)
                                        .count());
    f.ResidentKb = std::max(f.ResidentKb, ResidentKb());
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = VELMORA_DATA_DIR;
  int seconds = 5, rounds = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "-C"))
      dir = argv[i + 1];
    else if (!std::strcmp(argv[i], "--seconds"))
      seconds = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--rounds"))
      rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::filesystem::path state =
      std::filesystem::temp_directory_path() /
      ("velmora-stroke-panel-bench-" + std::to_string(getpid()));
  setenv("XDG_STATE_HOME", (state / "state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (state / "config").c_str(), 1);
  std::filesystem::current_path(dir);
  QApplication app(argc, argv);
  InstallQtApplicationHooks();
  TForm4 form;
  form.DoCreate();
  form.show();
  Wait(200);

  // Closed first, so that the memory the panel adds shows in the second.
  const TFigures closed = Measure(form, false, seconds, rounds);
  const TFigures playing = Measure(form, true, seconds, rounds);
  std::printf("%-26s %12s %12s %8s\n", "", "panel closed", "playing", "ratio");
  std::printf("%-26s %12.1f %12.1f %8.2f\n", "CPU ms over the wait", closed.IdleCpuMs,
              playing.IdleCpuMs, playing.IdleCpuMs / std::max(closed.IdleCpuMs, 0.1));
  std::printf("%-26s %12.1f %12.1f %8.2f\n", "CPU % of one core",
              100 * closed.IdleCpuMs / (seconds * 1000.0),
              100 * playing.IdleCpuMs / (seconds * 1000.0),
              playing.IdleCpuMs / std::max(closed.IdleCpuMs, 0.1));
  std::printf("%-26s %12.1f %12.1f %8.2f\n", "search of 人, ms", closed.SearchMs,
              playing.SearchMs, playing.SearchMs / closed.SearchMs);
  std::printf("%-26s %12.1f %12.1f %8.2f\n", "then the panel, ms", closed.PanelMs,
              playing.PanelMs, playing.PanelMs / std::max(closed.PanelMs, 0.01));
  std::printf("%-26s %12ld %12ld %8.2f\n", "resident KB", closed.ResidentKb,
              playing.ResidentKb, double(playing.ResidentKb) / double(closed.ResidentKb));
  std::printf("(%d s waits, best of %d rounds)\n", seconds, rounds);
  std::error_code ec;
  std::filesystem::remove_all(state, ec);
  return 0;
}
