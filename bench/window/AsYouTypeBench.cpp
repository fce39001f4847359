#include "bench/window/AsYouTypeBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Dict.h"
#include "dict/DictFile.h"
#include "dict/ResultView.h"
#include "dict/Search.h"
#include "platform/classes/Application.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/ResultViewWidget.h"
#include "platform/richedit/MemoryRichEdit.h"

namespace velmora {

namespace {

// Counts the searches the window starts (each disables the search button
// while it runs) and times the first paint of a search started after the
// key that shows a screen of its results: the view full, or all the search
// wrote once it has ended. The time is taken once the paint is done.
class TKeyWatch : public QObject {
 public:
  explicit TKeyWatch(TForm4& form) : form_(form) {
    form_.btnSearch->installEventFilter(this);
    form_.reResult->viewport()->installEventFilter(this);
  }
  ~TKeyWatch() override {
    form_.btnSearch->removeEventFilter(this);
    form_.reResult->viewport()->removeEventFilter(this);
  }
  void KeyGoesNow() {
    clock_.start();
    startedBefore_ = started_;
    painted_ = -1;
    waiting_ = true;
  }
  double PaintedMs() const { return painted_; }
  bool Searching() const { return !form_.btnSearch->isEnabled(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == form_.btnSearch && event->type() == QEvent::EnabledChange &&
        !form_.btnSearch->isEnabled()) {
      ++started_;
    }
    if (watched == form_.reResult->viewport() && event->type() == QEvent::Paint &&
        waiting_ && started_ > startedBefore_) {
      // Whether what was painted filled the view is known once it is done.
      const bool ended = !Searching();
      QTimer::singleShot(0, this, [this, ended] {
        if (!waiting_) return;
        if (ended || form_.reResult->verticalScrollBar()->maximum() > 0) {
          painted_ = double(clock_.nsecsElapsed()) / 1e6;
          waiting_ = false;
        }
      });
    }
    return false;
  }

 private:
  TForm4& form_;
  QElapsedTimer clock_;
  long started_ = 0;
  long startedBefore_ = 0;
  bool waiting_ = false;
  double painted_ = -1;
};

void SendKey(QLineEdit* box, const QString& ch) {
  if (ch.at(0).unicode() < 0x80) {
    auto key = Qt::Key(ch.at(0).toUpper().unicode());
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, ch);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, ch);
    QApplication::sendEvent(box, &release);
  } else {
    // A Chinese character comes from an input method, committed whole.
    QInputMethodEvent commit;
    commit.setCommitString(ch);
    QApplication::sendEvent(box, &commit);
  }
}

void RunFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
}

std::string HeadlessText(const std::string& gbkQuery, double* ms) {
  TMemoryRichEdit edit;
  edit.SetAutoUrlDetect(true);
  TResultView view(edit);
  TQueryControls controls(gbkQuery);
  auto hooks = Application().OnProcessMessages;
  Application().OnProcessMessages = nullptr;
  QElapsedTimer t;
  t.start();
  RunSearch(controls, view, TSearchKind::Extended);
  if (ms) *ms = double(t.nsecsElapsed()) / 1e6;
  Application().OnProcessMessages = hooks;
  return edit.Text();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  std::size_t i = std::size_t(std::ceil(p * double(v.size()))) - 1;
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

bool RunTypingBench(TForm4& form, const TTypingOptions& options) {
  const bool wasOn = form.ExtendedSearch();
  form.SetExtendedSearch(true);
  // A reading, a word, and a pasted-length sentence that no entry holds
  // (split into words at every key).
  const char* const words[] = {
      "zhongguo", "中华人民",
      "我是学生今天我们一起去学校学习中文老师说我们的发音很好明天见"
      "谢谢你好吗"};
  std::vector<double> all, allHeadless;
  bool same = true;
  int missed = 0;
  std::printf("\nas you type (extended search), %d rounds, a key at most every %d ms\n",
              options.Rounds, options.KeyIntervalMs);
  std::printf("%-12s %9s %9s %9s %12s\n", "typed", "p50 ms", "p95 ms", "worst",
              "headless");
  for (const char* word : words) {
    const QString text = QString::fromUtf8(word);
    std::vector<std::vector<double>> perKey(std::size_t(text.size()));
    for (int r = 0; r < options.Rounds; ++r) {
      form.edSearch->clear();
      RunFor(50);
      TKeyWatch watch(form);
      for (qsizetype k = 0; k < text.size(); ++k) {
        QElapsedTimer sinceKey;
        sinceKey.start();
        watch.KeyGoesNow();
        SendKey(form.edSearch, text.mid(k, 1));
        // Until the key's first screen is painted, and the typist's pace.
        while ((watch.PaintedMs() < 0 && sinceKey.elapsed() < 5000) ||
               sinceKey.elapsed() < options.KeyIntervalMs)
          QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        if (watch.PaintedMs() < 0) {
          ++missed;
        } else {
          perKey[std::size_t(k)].push_back(watch.PaintedMs());
        }
      }
      // The last search ends; its view must be a fresh search's.
      QElapsedTimer settle;
      settle.start();
      while (watch.Searching() && settle.elapsed() < 60000) RunFor(5);
      RunFor(20);
      const std::string shown = form.ResultEdit().Text();
      if (shown != HeadlessText(gbk::FromUtf8(word), nullptr)) {
        std::fprintf(stderr, "after typing %s the view differs from a fresh search\n",
                     word);
        same = false;
      }
    }
    for (qsizetype k = 0; k < text.size(); ++k) {
      const std::string typed = text.left(k + 1).toUtf8().toStdString();
      std::vector<double> headless;
      for (int r = 0; r < std::max(3, options.Rounds / 2); ++r) {
        double ms = 0;
        HeadlessText(gbk::FromUtf8(typed), &ms);
        headless.push_back(ms);
      }
      const auto& v = perKey[std::size_t(k)];
      std::printf("%-12s %9.1f %9.1f %9.1f %9.1f ms\n", typed.c_str(), Percentile(v, 0.5),
                  Percentile(v, 0.95),
                  v.empty() ? NAN : *std::max_element(v.begin(), v.end()),
                  Percentile(headless, 0.5));
      all.insert(all.end(), v.begin(), v.end());
      allHeadless.push_back(Percentile(headless, 0.5));
    }
  }
  const double p50 = Percentile(all, 0.5), p95 = Percentile(all, 0.95);
  std::printf(
      "all %zu keys: key to first painted screen p50 %.1f ms, p95 %.1f ms "
      "(target p95 <= 16 ms: %s)\n",
      all.size(), p50, p95, p95 <= 16 ? "met" : "NOT met");
  std::printf(
      "headless search of the same texts, median of the keys: %.1f ms; "
      "window p50 / headless = %.2f\n",
      Percentile(allHeadless, 0.5), p50 / Percentile(allHeadless, 0.5));
  if (missed) std::printf("%d keys painted nothing within 5 s\n", missed);
  std::printf("final views equal a fresh search of the word: %s\n", same ? "yes" : "NO");
  form.SetExtendedSearch(wasOn);
  return same && missed == 0;
}

}  // namespace velmora
