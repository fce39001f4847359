// Writes a listing the way the search does (key line, its highlight, a match
// mark, an explanation line and its colour) into a view, N entries and then
// 10N entries, and prints the time ratios. Linear growth gives about 10; the
// program fails (status 1) when the Qt view's ratio is above 12 and more than
// a tenth above both the bare document's and the in-memory view's.
//
// The baseline "document" does the same inserts and formats straight on a
// bare QTextDocument. It shows how much of the growth is the document's own
// (its trees are searched in O(log n)).
//
//   velmora-richedit-bench [--entries N] [--layout]
//
// --layout gives the bare document a layout first, as an editor showing it
// does, and has the Qt view lay out its last screen, as the window following
// the output does. Each figure is the best of a few runs (two for the bare
// document, ten for the views, whose times are milliseconds); freeing is not
// timed.
#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/richedit/MemoryRichEdit.h"
#include "platform/richedit/QtRichEdit.h"

using namespace velmora;

namespace {

int LastLineStart(const IRichEdit& v) {
  return v.LineIndex(v.LineFromChar(v.TextLength()));
}

void Mark(IRichEdit& v, int start, int length, TColor color, TFontStyles style) {
  v.SetSelection(start, length);
  v.SetSelColor(color);
  v.SetSelStyle(style);
}

void WriteListing(IRichEdit& v, int entries) {
  v.Clear();
  v.SetParagraphIndents(6, 22);
  v.AppendLine("heading \xA1\xB8\xA3\xBA\xA1\xB9");
  v.AppendLine("status......\n");
  const std::string key = "\xD6\xD0\xCE\xC4\xA3\xBA";  // two characters and the colon
  const std::string explanation =
      "      [zhong1 wen2] the chinese language; see file://zw.htm more\r\n";
  for (int i = 0; i < entries; ++i) {
    v.AppendLine(key);
    int start = LastLineStart(v) - int(key.size()) - 2;
    Mark(v, start, int(key.size()), RGB(0, 0, 255), fsBold);
    Mark(v, start + 4, 2, RGB(255, 119, 119), fsBold | fsUnderline);
    v.AppendLine(explanation);
    start = LastLineStart(v) - int(explanation.size()) - 2;
    Mark(v, start, int(explanation.size()), RGB(0, 106, 0), 0);
  }
}

// The same listing on a bare document, one edit block per operation like the
// view, without byte positions, breaks, links or the program's formats.
void WriteBareListing(QTextDocument& doc, int entries) {
  QTextCursor end(&doc);
  auto append = [&](const QString& text, int breaks) {
    end.beginEditBlock();
    end.movePosition(QTextCursor::End);
    end.insertText(text, QTextCharFormat());
    for (int i = 0; i < breaks; ++i) end.insertBlock();
    end.endEditBlock();
  };
  auto mark = [&](int start, int length, const QColor& color, bool underline) {
    QTextCursor c(&doc);
    c.beginEditBlock();
    c.setPosition(start);
    c.setPosition(start + length, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    f.setForeground(color);
    f.setFontWeight(QFont::Bold);
    f.setFontUnderline(underline);
    c.mergeCharFormat(f);
    c.endEditBlock();
  };
  const QString key = QString::fromUtf8("中文：");
  const QString explanation =
      "      [zhong1 wen2] the chinese language; see file://zw.htm more";
  append("heading", 1);
  append("status......", 2);
  for (int i = 0; i < entries; ++i) {
    append(key, 1);
    int start = doc.characterCount() - 1 - int(key.size()) - 1;
    mark(start, int(key.size()), QColor(0, 0, 255), false);
    mark(start + 2, 1, QColor(255, 119, 119), true);
    append(explanation, 2);
    start = doc.characterCount() - 1 - int(explanation.size()) - 2;
    mark(start, int(explanation.size()), QColor(0, 106, 0), false);
  }
}

// The best of some runs.
double Seconds(int runs, const std::function<void()>& run) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    run();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int entries = 12000;
  bool layout = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--entries") && i + 1 < argc &&
        std::atoi(argv[i + 1]) > 0) {
      entries = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--layout")) {
      layout = true;
    } else {
      std::fprintf(stderr, "usage: %s [--entries N] [--layout]\n", argv[0]);
      return 2;
    }
  }
  if (!std::getenv("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  // Views are kept until the end so that freeing them stays out of the times.
  std::vector<std::unique_ptr<IRichEdit>> views;
  std::vector<std::unique_ptr<QTextDocument>> documents;
  auto timeView = [&](int n, bool qt) {
    return Seconds(10, [&] {
      if (qt) {
        auto edit = std::make_unique<TQtRichEdit>();
        edit->SetAutoUrlDetect(true);
        TQtRichEdit* shown = edit.get();
        views.push_back(std::move(edit));
        WriteListing(*shown, n);
        // A view following the output lays out its last screen.
        if (layout) shown->EnsureLaidOut(shown->LineCount() - 40, shown->LineCount() - 1);
        return;
      } else {
        views.push_back(std::make_unique<TMemoryRichEdit>());
      }
      WriteListing(*views.back(), n);
    });
  };
  auto timeDocument = [&](int n) {
    return Seconds(2, [&] {
      documents.push_back(std::make_unique<QTextDocument>());
      documents.back()->setUndoRedoEnabled(false);
      if (layout) documents.back()->documentLayout();
      WriteBareListing(*documents.back(), n);
    });
  };
  auto report = [&](const char* name, double t1, double t10) {
    std::printf("%-8s %7d entries %8.3f s   %8d entries %8.3f s   ratio %5.2f\n", name,
                entries, t1, entries * 10, t10, t10 / t1);
    std::fflush(stdout);
  };

  double d1 = timeDocument(entries), d10 = timeDocument(entries * 10);
  report("document", d1, d10);
  documents.clear();
  double q1 = timeView(entries, true), q10 = timeView(entries * 10, true);
  report("qt", q1, q10);
  views.clear();
  double m1 = timeView(entries, false), m10 = timeView(entries * 10, false);
  report("memory", m1, m10);
  // A loaded machine slows big working sets down more than small ones (the
  // views are kept, and the 10N ones no longer fit in the caches); the
  // baselines then pass 12 themselves, and the view must add no growth of
  // its own beyond a tenth of theirs. The in-memory view does amortised O(1)
  // work per line in plain vectors, like the Qt view's model.
  double ratio = q10 / q1;
  return ratio <= 12 || ratio <= 1.1 * std::max(d10 / d1, m10 / m1) ? 0 : 1;
}
