#include "platform/richedit/QtRichEdit.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

#include "platform/classes/Gbk.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/QtColor.h"

namespace velmora {
namespace {

const QColor kLinkColor(0, 0, 255);
// Lines kept laid out: a few screens, so that scrolling back and forth does
// not lay the same lines out again, and memory stays bounded.
constexpr size_t kLayoutCacheLines = 1500;

QTextCharFormat LookOf(const TCharFormat& p, bool link) {
  QTextCharFormat f;
  if (IsRgb(p.Color))
    f.setForeground(ToQColor(p.Color));
  else if (link)
    f.setForeground(kLinkColor);
  if (p.Style & fsBold) f.setFontWeight(QFont::Bold);
  if (p.Style & fsItalic) f.setFontItalic(true);
  if (p.Style & fsStrikeOut) f.setFontStrikeOut(true);
  if ((p.Style & fsUnderline) || link) f.setFontUnderline(true);
  return f;
}

}  // namespace

struct TQtRichEdit::LineLayout {
  QTextLayout layout;
  // Byte offset in the line of each UTF-16 index of the layout's text, and
  // of its end.
  std::vector<int> byteAt;
  int height = 0;

  int Utf16Of(int byteOffset) const {
    auto it = std::lower_bound(byteAt.begin(), byteAt.end(), byteOffset);
    return int(it - byteAt.begin());
  }
  // The UTF-16 index of the character holding byteOffset.
  int Utf16Holding(int byteOffset) const {
    auto it = std::upper_bound(byteAt.begin(), byteAt.end(), byteOffset);
    int i = std::max(int(it - byteAt.begin()) - 1, 0);
    while (i > 0 && byteAt[i - 1] == byteAt[i]) --i;  // a surrogate pair
    return i;
  }
};

TQtRichEdit::TQtRichEdit() {
  QFont font;
  font.setPixelSize(17);
  baseFont_ = font;
  font_ = font;
  FontChanged();
  Clear();
}

TQtRichEdit::~TQtRichEdit() = default;

void TQtRichEdit::Changed() const {
  if (OnChanged) OnChanged();
}

// ---- text model -----------------------------------------------------------

void TQtRichEdit::Clear() {
  text_.clear();
  lineStarts_.assign(1, 0);
  runs_.Clear();
  anchor_ = caret_ = 0;
  undo_.clear();
  layouts_.clear();
  contentWidth_ = 0;
  heights_.Assign({EstimatedHeight(0)});
  Changed();
}

int TQtRichEdit::LineFromChar(int pos) const {
  return richedit::LineHolding(lineStarts_, pos);
}

int TQtRichEdit::LineIndex(int line) const {
  return richedit::LineStart(lineStarts_, line);
}

int TQtRichEdit::LineEnd(int line) const {
  if (line + 1 >= LineCount()) return TextLength();
  int next = lineStarts_[line + 1];
  bool crLf =
      text_[next - 1] == '\n' && next - 2 >= lineStarts_[line] && text_[next - 2] == '\r';
  return next - (crLf ? 2 : 1);
}

std::string_view TQtRichEdit::LineText(int line) const {
  return std::string_view(text_).substr(lineStarts_[line],
                                        LineEnd(line) - lineStarts_[line]);
}

void TQtRichEdit::Replace(int from, int to, std::string_view bytes,
                          const TCharFormat& format) {
  const int delta = int(bytes.size()) - (to - from);
  const int oldLength = TextLength();

  // Runs: the replaced span goes, the new bytes get one run.
  runs_.Replace(from, to, int(bytes.size()), format);

  // Lines: starts after the old `to` + 2 belong to breaks the edit did not
  // touch (a break is at most 2 bytes, and only its first byte's neighbour
  // decides its width); the rest is found again from the start of the line
  // of the edit.
  int line = LineFromChar(from);
  int lastOldLine = LineFromChar(std::min(to, oldLength));
  auto kept = std::lower_bound(lineStarts_.begin(), lineStarts_.end(), to + 3);
  std::vector<int> tail(kept, lineStarts_.end());
  int oldLines = LineCount();

  text_.replace(from, to - from, bytes);

  const int limit = to + 3 + delta;
  lineStarts_.resize(line + 1);
  std::string_view text = text_;
  for (size_t i = lineStarts_[line]; i < text.size() && int(i) < limit;) {
    int width = richedit::BreakWidthAt(text, i);
    if (width == 0) {
      ++i;
      continue;
    }
    i += width;
    if (int(i) < limit) lineStarts_.push_back(int(i));
  }
  for (int start : tail) lineStarts_.push_back(start + delta);

  // Heights and layouts: lines [line, lastOldLine] became [line, newLast].
  int newLast = lastOldLine + (LineCount() - oldLines);
  if (LineCount() == oldLines) {
    InvalidateLines(line, newLast);
  } else if (from == oldLength && lastOldLine == oldLines - 1) {
    // Appending: the lines before stay as they are.
    for (int j = line; j < oldLines; ++j) layouts_.erase(j);
    std::vector<int> fresh;
    for (int j = line; j < LineCount(); ++j) fresh.push_back(EstimatedHeight(j));
    for (int j = line; j < oldLines; ++j) heights_.Set(j, fresh[j - line]);
    for (int j = oldLines; j < LineCount(); ++j) heights_.Append(fresh[j - line]);
  } else {
    std::vector<int> fresh;
    for (int j = line; j <= newLast; ++j) fresh.push_back(EstimatedHeight(j));
    heights_.Splice(line, lastOldLine - line + 1, fresh);
    // Line numbers moved: laid-out lines are found again when shown.
    layouts_.clear();
  }
  if (heights_.Size() != LineCount()) {  // never expected; stay consistent
    layouts_.clear();
    std::vector<int> all(LineCount());
    for (int j = 0; j < LineCount(); ++j) all[j] = EstimatedHeight(j);
    heights_.Assign(std::move(all));
  }
}

void TQtRichEdit::AppendLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  int end = TextLength();
  Replace(end, end, line, TCharFormat{});
  Changed();
}

void TQtRichEdit::ReplaceLine(int line, std::string_view text) {
  int start = LineIndex(line);
  if (start < 0) return;
  int end = LineEnd(line);
  // Text that replaces nothing continues the format before it.
  TCharFormat format = end > start ? FormatAt(start)
                       : start > 0 ? FormatAt(start - 1)
                                   : TCharFormat{};
  // The user's undo steps lie in text that moves now.
  if (start < TextLength()) undo_.clear();
  Replace(start, end, text, format);
  MoveSelection(start, end, int(text.size()));
  Changed();
}

void TQtRichEdit::MoveSelection(int from, int to, int newLength) {
  const bool forward = anchor_ <= caret_;
  const richedit::TSelectionRange moved = richedit::SelectionAfterReplace(
      SelStart(), SelStart() + SelLength(), from, to, newLength);
  // The caret stays at the end it was at, so the user's next Shift+arrow
  // goes on from there.
  anchor_ = forward ? moved.Start : moved.Start + moved.Length;
  caret_ = forward ? moved.Start + moved.Length : moved.Start;
}

// ---- selection and format -------------------------------------------------

void TQtRichEdit::SetSelection(int start, int length) {
  richedit::TSelectionRange kept = richedit::ClampSelection(start, length, TextLength());
  anchor_ = kept.Start;
  caret_ = kept.Start + kept.Length;
  if (OnScrollIntoView) OnScrollIntoView(caret_);
  Changed();
}

void TQtRichEdit::SetAnchorAndCaret(int anchor, int caret) {
  // Inside a double-byte character or a CR LF: its start.
  auto boundary = [this](int pos) {
    pos = std::clamp(pos, 0, TextLength());
    return pos == TextLength() ? pos : PreviousCharPos(pos + 1);
  };
  anchor_ = boundary(anchor);
  caret_ = boundary(caret);
  if (OnScrollIntoView) OnScrollIntoView(caret_);
  Changed();
}

std::string TQtRichEdit::SelectedText() const {
  return text_.substr(SelStart(), SelLength());
}

template <typename F>
void TQtRichEdit::FormatSelection(F change) {
  if (SelLength() == 0) return;
  int from = SelStart(), to = from + SelLength();
  runs_.Change(from, to, change);
  InvalidateLines(LineFromChar(from), LineFromChar(to - 1));
  Changed();
}

void TQtRichEdit::SetSelColor(TColor color) {
  FormatSelection([color](TCharFormat& f) { f.Color = color; });
}

void TQtRichEdit::SetSelStyle(TFontStyles style) {
  FormatSelection([style](TCharFormat& f) { f.Style = style; });
}

TCharFormat TQtRichEdit::FormatAt(int pos) const {
  if (pos < 0 || pos >= TextLength()) return TCharFormat{};
  return runs_.At(pos);
}

void TQtRichEdit::SetParagraphIndents(double firstLineIndentPt, double leftIndentPt) {
  if (firstLineIndentPt == firstIndent_ && leftIndentPt == leftIndent_) return;
  firstIndent_ = firstLineIndentPt;
  leftIndent_ = leftIndentPt;
  InvalidateAllLayouts();
}

// ---- links ----------------------------------------------------------------

void TQtRichEdit::SetAutoUrlDetect(bool on) {
  if (on == urlDetect_) return;
  urlDetect_ = on;
  InvalidateAllLayouts();
}

std::vector<TLinkRange> TQtRichEdit::Links() const {
  if (!urlDetect_) return {};
  return richedit::FindLinks(text_);
}

std::optional<TLinkRange> TQtRichEdit::LinkAt(int bytePos) const {
  if (!urlDetect_ || bytePos < 0 || bytePos >= TextLength()) return std::nullopt;
  int line = LineFromChar(bytePos);
  int start = lineStarts_[line];
  for (TLinkRange link : richedit::FindLinks(LineText(line))) {
    link.Start += start;
    if (bytePos >= link.Start && bytePos < link.Start + link.Length) return link;
  }
  return std::nullopt;
}

// ---- character boundaries -------------------------------------------------

int TQtRichEdit::NextCharPos(int pos) const {
  if (pos >= TextLength()) return TextLength();
  if (int width = richedit::BreakWidthAt(text_, pos)) return pos + width;
  return pos + gbk::DecodedLengthAt(text_, pos);
}

int TQtRichEdit::PreviousCharPos(int pos) const {
  if (pos <= 0) return 0;
  pos = std::min(pos, TextLength());
  // Characters are found from the start of the line: a trail byte alone
  // does not say where its character begins.
  int line = LineFromChar(pos - 1);
  int at = lineStarts_[line];
  int previous = at;
  while (at < pos) {
    previous = at;
    at = NextCharPos(at);
  }
  return previous;
}

std::pair<int, int> TQtRichEdit::WordAt(int pos) const {
  int line = LineFromChar(pos);
  int start = lineStarts_[line];
  std::string_view bytes = LineText(line);
  if (bytes.empty()) return {start, start};
  QString s = QStringFromGbk(bytes);
  // UTF-16 index <-> byte offset for this line.
  std::vector<int> byteAt;
  std::u32string u = gbk::Decode(bytes);
  int b = 0;
  for (char32_t c : u) {
    byteAt.push_back(b);
    if (c > 0xFFFF) byteAt.push_back(b);
    b += gbk::EncodedLength(c);
  }
  byteAt.push_back(b);
  int offset = std::min(pos - start, int(bytes.size()) - 1);
  int index =
      int(std::upper_bound(byteAt.begin(), byteAt.end(), offset) - byteAt.begin()) - 1;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Word, s);
  finder.setPosition(index);
  int from = finder.isAtBoundary() ? index : int(finder.toPreviousBoundary());
  finder.setPosition(index);
  int to = int(finder.toNextBoundary());
  if (from < 0) from = 0;
  if (to < 0) to = int(s.size());
  return {start + byteAt[from], start + byteAt[to]};
}

// ---- layout ---------------------------------------------------------------

double TQtRichEdit::IndentPixels(double points) const {
  return points * 96.0 / 72.0 * zoom_ / 100.0;
}

void TQtRichEdit::FontChanged() {
  font_ = baseFont_;
  if (baseFont_.pixelSize() > 0)
    font_.setPixelSize(
        std::max(1, int(std::lround(baseFont_.pixelSize() * zoom_ / 100.0))));
  else
    font_.setPointSizeF(baseFont_.pointSizeF() * zoom_ / 100.0);
  QFontMetricsF metrics(font_);
  lineSpacing_ = std::max(1, int(std::ceil(metrics.height())));
  // A double-byte character is about one full-width glyph.
  byteWidth_ = std::max(1.0, metrics.horizontalAdvance(QChar(0x4E2D)) / 2.0);
  InvalidateAllLayouts();
}

void TQtRichEdit::SetFont(const QFont& font) {
  baseFont_ = font;
  FontChanged();
}

void TQtRichEdit::SetTextColor(const QColor& color) {
  // The view sets it on every paint: only a new colour is a change.
  if (color == textColor_) return;
  textColor_ = color;
  Changed();
}

void TQtRichEdit::SetZoom(int percent) {
  percent = std::clamp(percent, 50, 400);
  if (percent == zoom_) return;
  zoom_ = percent;
  FontChanged();
}

void TQtRichEdit::SetLayoutWidth(int pixels) {
  pixels = std::max(pixels, 1);
  if (pixels == width_) return;
  width_ = pixels;
  InvalidateAllLayouts();
}

int TQtRichEdit::EstimatedHeight(int line) const {
  if (line >= LineCount()) return lineSpacing_;
  int bytes = LineEnd(line) - lineStarts_[line];
  double first = width_ - IndentPixels(firstIndent_);
  double rest = first - IndentPixels(leftIndent_);
  double needed = bytes * byteWidth_;
  int lines = 1;
  if (needed > first && first > 0)
    lines += int(std::ceil((needed - first) / std::max(rest, 1.0)));
  return lines * lineSpacing_;
}

void TQtRichEdit::InvalidateLines(int first, int last) {
  last = std::min(last, LineCount() - 1);
  for (int j = std::max(first, 0); j <= last; ++j) {
    layouts_.erase(j);
    heights_.Set(j, EstimatedHeight(j));
  }
}

void TQtRichEdit::InvalidateAllLayouts() {
  layouts_.clear();
  contentWidth_ = 0;
  std::vector<int> heights(LineCount());
  for (int j = 0; j < LineCount(); ++j) heights[j] = EstimatedHeight(j);
  heights_.Assign(std::move(heights));
  Changed();
}

TQtRichEdit::LineLayout& TQtRichEdit::Layout(int line) {
  auto found = layouts_.find(line);
  if (found != layouts_.end()) return *found->second;

  auto l = std::make_unique<LineLayout>();
  std::string_view bytes = LineText(line);
  const int lineStart = lineStarts_[line];
  std::u32string u = gbk::Decode(bytes);
  QString s = QString::fromUcs4(u.data(), qsizetype(u.size()));
  l->byteAt.reserve(s.size() + 1);
  int b = 0;
  for (char32_t c : u) {
    l->byteAt.push_back(b);
    if (c > 0xFFFF) l->byteAt.push_back(b);
    b += gbk::EncodedLength(c);
  }
  l->byteAt.push_back(b);

  // Formats: the program's runs, with links marked on top.
  std::vector<TLinkRange> links;
  if (urlDetect_) links = richedit::FindLinks(bytes);
  std::vector<int> cuts{0, int(bytes.size())};
  for (const Run& r : runs_.Slice(lineStart, lineStart + int(bytes.size())))
    cuts.push_back(r.start);
  for (const TLinkRange& link : links) {
    cuts.push_back(link.Start);
    cuts.push_back(link.Start + link.Length);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  QList<QTextLayout::FormatRange> formats;
  for (size_t k = 0; k + 1 < cuts.size(); ++k) {
    int a = cuts[k], z = cuts[k + 1];
    if (a >= z || a >= int(bytes.size())) continue;
    bool link = std::any_of(links.begin(), links.end(), [a](const TLinkRange& r) {
      return a >= r.Start && a < r.Start + r.Length;
    });
    TCharFormat p = FormatAt(lineStart + a);
    if (p.IsDefault() && !link) continue;
    int from = l->Utf16Of(a);
    formats.append({from, l->Utf16Of(z) - from, LookOf(p, link)});
  }

  QTextLayout& layout = l->layout;
  layout.setText(s);
  layout.setFont(font_);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setTabStopDistance(IndentPixels(36));  // half an inch
  layout.setTextOption(option);
  layout.setFormats(formats);
  layout.setCacheEnabled(true);
  const double first = IndentPixels(firstIndent_);
  const double rest = first + IndentPixels(leftIndent_);
  double y = 0;
  double widest = 0;
  layout.beginLayout();
  for (QTextLine tl = layout.createLine(); tl.isValid(); tl = layout.createLine()) {
    double x = tl.lineNumber() == 0 ? first : rest;
    tl.setLineWidth(std::max(width_ - x, 8.0));
    tl.setPosition(QPointF(x, y));
    y += tl.height();
    widest = std::max(widest, x + tl.naturalTextWidth());
  }
  layout.endLayout();
  l->height = std::max(1, int(std::ceil(y)));
  contentWidth_ = std::max(contentWidth_, int(std::ceil(widest)));
  heights_.Set(line, l->height);
  if (layouts_.size() >= kLayoutCacheLines) TrimCache(line - 200, line + 200);
  return *layouts_.emplace(line, std::move(l)).first->second;
}

void TQtRichEdit::TrimCache(int keepFirst, int keepLast) {
  for (auto it = layouts_.begin(); it != layouts_.end();) {
    if (it->first < keepFirst || it->first > keepLast)
      it = layouts_.erase(it);
    else
      ++it;
  }
}

void TQtRichEdit::EnsureLaidOut(int first, int last) {
  last = std::min(last, LineCount() - 1);
  for (int j = std::max(first, 0); j <= last; ++j) Layout(j);
}

int TQtRichEdit::HitTest(QPointF point, bool exact) {
  if (exact && (point.y() < 0 || point.y() >= DocumentHeight())) return -1;
  int line = LineAtY(std::llround(std::floor(point.y())));
  LineLayout& l = Layout(line);
  double y = point.y() - LineTop(line);
  const QTextLayout& layout = l.layout;
  int index = 0;
  bool found = false;
  for (int k = 0; k < layout.lineCount(); ++k) {
    QTextLine tl = layout.lineAt(k);
    bool last = k + 1 == layout.lineCount();
    if (y < tl.y() + tl.height() || last) {
      if (exact) {
        if (y < tl.y() || y >= tl.y() + tl.height()) return -1;
        double left = tl.x(), right = tl.x() + tl.naturalTextWidth();
        if (point.x() < left || point.x() >= right) return -1;
        // The character under the point: the cursor position to its left.
        index = tl.xToCursor(point.x(), QTextLine::CursorOnCharacter);
        if (index >= tl.textStart() + tl.textLength()) return -1;
      } else {
        index = tl.xToCursor(point.x(), QTextLine::CursorBetweenCharacters);
      }
      found = true;
      break;
    }
  }
  if (!found) return lineStarts_[line];
  index = std::clamp(index, 0, int(l.byteAt.size()) - 1);
  return lineStarts_[line] + l.byteAt[index];
}

QRectF TQtRichEdit::CaretRect(int pos) {
  pos = std::clamp(pos, 0, TextLength());
  int line = LineFromChar(pos);
  LineLayout& l = Layout(line);
  int index = l.Utf16Holding(std::min(pos - lineStarts_[line], l.byteAt.back()));
  double top = double(LineTop(line));
  QTextLine tl = l.layout.lineForTextPosition(index);
  if (!tl.isValid()) tl = l.layout.lineAt(l.layout.lineCount() - 1);
  if (!tl.isValid()) return QRectF(0, top, 1, lineSpacing_);
  double x = tl.cursorToX(index);
  return QRectF(x, top + tl.y(), 1, tl.height());
}

int TQtRichEdit::PositionOnNextDisplayLine(int pos, qreal x, bool up) {
  QRectF r = CaretRect(pos);
  double y = up ? r.top() - 1 : r.bottom() + 1;
  if (y < 0) return 0;
  if (y >= DocumentHeight()) return TextLength();
  return HitTest(QPointF(x, y), false);
}

void TQtRichEdit::Paint(QPainter& painter, const TPaintOptions& o) {
  if (LineCount() == 0) return;
  painter.setPen(textColor_);
  int line = LineAtY(o.top);
  const int selFrom = SelStart(), selTo = SelStart() + SelLength();
  int last = line;
  for (; line < LineCount() && LineTop(line) < o.top + o.height; ++line) {
    LineLayout& l = Layout(line);
    last = line;
    const int start = lineStarts_[line];
    const int end = LineEnd(line);
    QPointF at(-o.left, double(LineTop(line) - o.top));
    QList<QTextLayout::FormatRange> selections;
    if (o.showSelection && selTo > selFrom && selFrom <= end && selTo > start) {
      QTextCharFormat f;
      f.setBackground(o.highlight);
      f.setForeground(o.highlightedText);
      int a = l.Utf16Of(std::max(selFrom, start) - start);
      int z = l.Utf16Of(std::min(selTo, end) - start);
      if (z > a) selections.append({a, z - a, f});
      if (selTo > end && line + 1 < LineCount()) {
        // The selected line break: a sliver after the line's text.
        QTextLine tl = l.layout.lineAt(l.layout.lineCount() - 1);
        if (tl.isValid()) {
          painter.fillRect(QRectF(at.x() + tl.x() + tl.naturalTextWidth(),
                                  at.y() + tl.y(), byteWidth_, tl.height()),
                           o.highlight);
        }
      }
    }
    painter.setPen(textColor_);
    l.layout.draw(&painter, at, selections);
    if (o.showCaret && caret_ >= start && caret_ <= end)
      l.layout.drawCursor(&painter, at, l.Utf16Holding(caret_ - start), 1);
  }
  if (layouts_.size() >= kLayoutCacheLines) TrimCache(LineAtY(o.top) - 200, last + 200);
}

void TQtRichEdit::ScrollToTop() {
  if (OnScrollToTop) OnScrollToTop();
}

}  // namespace velmora
