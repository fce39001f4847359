// Writes a listing the way the search does (key line, its highlight, a match
// mark, an explanation line and its colour) into a view, N entries and then
// 10N entries, and prints the time ratio. Linear growth gives about 10; the
// program fails (status 1) above 12.
//
//   velmora-richedit-bench [--entries N] [--layout]
//
// --layout gives the Qt document a layout first, as an editor showing it does.
#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

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

double Seconds(const std::function<void()>& run) {
  auto t0 = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  int entries = 12000;
  bool layout = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--entries") && i + 1 < argc) {
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

  bool ok = true;
  for (const char* name : {"memory", "qt"}) {
    auto make = [&]() -> std::unique_ptr<IRichEdit> {
      if (!std::strcmp(name, "memory")) return std::make_unique<TMemoryRichEdit>();
      auto qt = std::make_unique<TQtRichEdit>();
      qt->SetAutoUrlDetect(true);
      if (layout) qt->Document()->documentLayout();
      return qt;
    };
    std::unique_ptr<IRichEdit> small = make(), large = make();
    double t1 = Seconds([&] { WriteListing(*small, entries); });
    double t10 = Seconds([&] { WriteListing(*large, entries * 10); });
    double ratio = t10 / t1;
    std::printf(
        "%-6s %7d entries %8.3f s  %8d entries %8.3f s  ratio %5.2f  (%d bytes)\n", name,
        entries, t1, entries * 10, t10, ratio, large->TextLength());
    if (ratio > 12) ok = false;
  }
  return ok ? 0 : 1;
}
