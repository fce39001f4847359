// What the user does to the view's text: typing, deleting, undoing and
// copying.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtColor.h"
#include "platform/richedit/QtRichEdit.h"

namespace velmora {
namespace {

// Line breaks of any kind become CR LF, as an edit control stores typed ones.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    int width = richedit::BreakWidthAt(text, i);
    if (width) {
      out += "\r\n";
      i += width;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

// ---- editing by the user --------------------------------------------------

void TQtRichEdit::EditSelection(std::string_view gbk) {
  std::string bytes = WithCrLf(gbk);
  int from = SelStart(), to = from + SelLength();
  if (bytes.empty() && from == to) return;
  TCharFormat format = from > 0 ? FormatAt(from - 1) : FormatAt(0);
  UndoStep step{from, text_.substr(from, to - from), runs_.Slice(from, to),
                int(bytes.size())};
  // Typing goes on in one step: a letter after the last one joins it, a
  // line break starts the next.
  bool joined = false;
  if (!undo_.empty() && from == to && bytes.find_first_of("\r\n") == std::string::npos) {
    UndoStep& top = undo_.back();
    if (top.pos + top.inserted == from && top.inserted > 0 && bytes.size() <= 2) {
      top.inserted += int(bytes.size());
      joined = true;
    }
  }
  if (!joined) undo_.push_back(std::move(step));
  Replace(from, to, bytes, format);
  anchor_ = caret_ = from + int(bytes.size());
  if (OnScrollIntoView) OnScrollIntoView(caret_);
  Changed();
}

void TQtRichEdit::DeleteAtCaret(bool backward) {
  if (SelLength() == 0) {
    int other = backward ? PreviousCharPos(caret_) : NextCharPos(caret_);
    if (other == caret_) return;
    anchor_ = other;
  }
  int from = SelStart(), to = from + SelLength();
  undo_.push_back(
      UndoStep{from, text_.substr(from, to - from), runs_.Slice(from, to), 0});
  Replace(from, to, {}, TCharFormat{});
  anchor_ = caret_ = from;
  if (OnScrollIntoView) OnScrollIntoView(caret_);
  Changed();
}

bool TQtRichEdit::Undo() {
  if (undo_.empty()) return false;
  UndoStep step = std::move(undo_.back());
  undo_.pop_back();
  int to = std::min(step.pos + step.inserted, TextLength());
  Replace(step.pos, to, step.removed, TCharFormat{});
  // The removed text comes back in its own formats.
  for (size_t k = 0; k < step.removedRuns.size(); ++k) {
    int a = step.pos + step.removedRuns[k].start;
    int z = k + 1 < step.removedRuns.size() ? step.pos + step.removedRuns[k + 1].start
                                            : step.pos + int(step.removed.size());
    runs_.Change(a, z, [&](TCharFormat& f) { f = step.removedRuns[k].format; });
  }
  if (!step.removed.empty())
    InvalidateLines(LineFromChar(step.pos),
                    LineFromChar(step.pos + int(step.removed.size()) - 1));
  anchor_ = step.pos;
  caret_ = step.pos + int(step.removed.size());
  if (OnScrollIntoView) OnScrollIntoView(caret_);
  Changed();
  return true;
}

// ---- clipboard and scrolling ----------------------------------------------

QString TQtRichEdit::SelectionHtml() const {
  int from = SelStart(), to = from + SelLength();
  QString html = QStringLiteral("<html><body><p style=\"white-space: pre-wrap\">");
  const std::vector<Run> runs = runs_.Slice(from, to);
  for (size_t i = 0; i < runs.size(); ++i) {
    int a = from + runs[i].start;
    int z = i + 1 < runs.size() ? from + runs[i + 1].start : to;
    const TCharFormat& f = runs[i].format;
    QString style;
    if (IsRgb(f.Color)) style += "color:" + ToQColor(f.Color).name() + ";";
    if (f.Style & fsBold) style += "font-weight:bold;";
    if (f.Style & fsItalic) style += "font-style:italic;";
    if (f.Style & (fsUnderline | fsStrikeOut)) {
      style += "text-decoration:";
      if (f.Style & fsUnderline) style += " underline";
      if (f.Style & fsStrikeOut) style += " line-through";
      style += ";";
    }
    QString text =
        QStringFromGbk(std::string_view(text_).substr(a, z - a)).toHtmlEscaped();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    text.replace(QChar('\n'), QStringLiteral("<br>"));
    // A lone CR is text; HTML shows it as a space.
    text.replace(QChar('\r'), QStringLiteral("&#13;"));
    if (style.isEmpty())
      html += text;
    else
      html += "<span style=\"" + style + "\">" + text + "</span>";
  }
  html += QStringLiteral("</p></body></html>");
  return html;
}

void TQtRichEdit::CopySelection() {
  if (SelLength() == 0) return;
  QString plain = QStringFromGbk(richedit::PlainTextForCopy(SelectedText()));
  QString html = SelectionHtml();
  if (clipboard_) {
    clipboard_(plain, html);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    auto* data = new QMimeData;
    data->setHtml(html);
    data->setText(plain);
    QGuiApplication::clipboard()->setMimeData(data);
  }
}

void TQtRichEdit::OfferSelection() {
  if (SelLength() == 0) return;
  QString plain = QStringFromGbk(richedit::PlainTextForCopy(SelectedText()));
  if (primary_) {
    primary_(plain);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
             QGuiApplication::clipboard()->supportsSelection()) {
    QGuiApplication::clipboard()->setText(plain, QClipboard::Selection);
  }
}

}  // namespace velmora
